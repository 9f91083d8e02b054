# Opening the instrument browser on the stock bank, as the composer does it.
if(TARGET app)
  tunemill_bench(browser_bench DEPS app)
  if(TARGET stock_bank)
    add_dependencies(browser_bench stock_bank)
    add_custom_command(TARGET browser_bench POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TUNEMILL_DATA_DIR}/tmill.bnk $<TARGET_FILE_DIR:browser_bench>/tmill.bnk
      COMMENT "Placing the stock bank beside the browser benchmark")
  endif()
endif()
