# The composer's document: what the undo history costs.
if(TARGET app)
  tunemill_bench(document_bench DEPS app)
endif()
