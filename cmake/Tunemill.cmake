# Shared helpers for the subsystem libraries: warnings, sanitizers and the source globbing that
# lets a subsystem grow without touching its CMakeLists.

set(TUNEMILL_WARNINGS -Wall -Wextra -Werror -Wno-missing-field-initializers)

if(TUNEMILL_SANITIZE)
  add_compile_options(-fsanitize=${TUNEMILL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TUNEMILL_SANITIZE})
  # GCC's flow analysis misreads the sanitizers' instrumentation as uninitialised reads of
  # moved-from variants; the plain build keeps the warning.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND TUNEMILL_WARNINGS -Wno-maybe-uninitialized)
  endif()
endif()

# tunemill_library(name DEPS dep... [EXCLUDE file...]): a static library from every .cpp of the
# calling folder (subfolders included) but the excluded ones, with the project root as its include
# root.
function(tunemill_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(excluded IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  add_library(${name} STATIC ${sources} ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
  target_compile_options(${name} PRIVATE ${TUNEMILL_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# tunemill_test(name DEPS dep... [IMAGES filter]): one GoogleTest program from every .cpp of the
# calling folder. The tests the gtest filter IMAGES names draw pictures for a person to look at;
# they carry the label "images" instead of the program's (ctest -L images makes them, ctest -LE
# images leaves them out).
function(tunemill_test name)
  cmake_parse_arguments(ARG "" "IMAGES" "DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${sources})
  target_compile_options(${name} PRIVATE ${TUNEMILL_WARNINGS})
  target_compile_definitions(${name} PRIVATE
    TUNEMILL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TUNEMILL_BIN_DIR="${PROJECT_BINARY_DIR}/bin")
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
  if(ARG_IMAGES)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${ARG_IMAGES}"
                         PROPERTIES LABELS ${name})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_IMAGES}"
                         PROPERTIES LABELS images)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${name})
  endif()
endfunction()
