# Launches tmw itself, so it needs the composer built.
if(TARGET tmw)
  tunemill_bench(app_bench DEPS)
  add_dependencies(app_bench tmw)
endif()
