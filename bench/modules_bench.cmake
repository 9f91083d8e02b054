# Module import and export. The export of the demo songs reads them with the song loader.
tunemill_bench(modules_bench DEPS modules loading storage)
if(TARGET stock_bank)
  add_dependencies(modules_bench stock_bank)
endif()
