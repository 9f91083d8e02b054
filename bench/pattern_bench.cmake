# The pattern window: a full redraw of a maximized window and one step of a note-drawing drag.
if(TARGET app)
  tunemill_bench(pattern_bench DEPS app)
endif()
