# Needs the loader (song files and the module conversion).
if(TARGET loading)
  tunemill_bench(render_bench DEPS playback loading)
endif()
