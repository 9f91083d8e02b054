# Reading and writing song files.
if(TARGET storage)
  tunemill_bench(storage_bench DEPS storage)
endif()
