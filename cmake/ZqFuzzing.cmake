# zq_add_fuzzer(NAME name SOURCES ... LIBS ...)
# A libFuzzer target, built only when ZQ_BUILD_FUZZERS is on (the fuzz preset,
# clang); otherwise the call does nothing, so test folders call it unguarded.
# Targets go into build/<preset>/fuzz/ and join zq_fuzzers, the one target that
# scripts/fuzz builds; a target's seed corpus is tests/data/fuzz/<name>/.
if(ZQ_BUILD_FUZZERS)
  add_custom_target(zq_fuzzers)
endif()

function(zq_add_fuzzer)
  if(NOT ZQ_BUILD_FUZZERS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS})
  target_link_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${ARG_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_dependencies(zq_fuzzers ${ARG_NAME})
endfunction()
