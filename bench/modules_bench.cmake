# Module import and export. The export of the demo songs reads them with the song file reader.
tunemill_bench(modules_bench DEPS modules storage)
if(TARGET stock_bank)
  add_dependencies(modules_bench stock_bank)
endif()
