# MIDI import and export of a long, busy file.
tunemill_bench(midi_bench DEPS midi loading storage)
if(TARGET stock_bank)
  add_dependencies(midi_bench stock_bank)
endif()
