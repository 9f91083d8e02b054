# Needs the song file reader and the module conversion.
if(TARGET storage AND TARGET modules AND EXISTS ${PROJECT_SOURCE_DIR}/modules/convert.h)
  tunemill_bench(render_bench DEPS playback storage modules)
endif()
