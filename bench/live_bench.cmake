# Needs the playback engine and its output thread on the null device.
if(TARGET playback)
  tunemill_bench(live_bench DEPS playback)
endif()
