# zq_add_test(NAME name SOURCES ... LIBS ...)
# One GoogleTest executable per test folder, built outside the installation
# folder and registered with CTest case by case, labelled with its folder name
# (engine, platform, gui_core, ...) so that a run can pick programs: ctest -L engine.
include(GoogleTest)

function(zq_add_test)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  set_target_properties(${ARG_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${ARG_NAME} PRIVATE
    ZQ_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
    ZQ_INSTALL_LAYOUT_DIR="${ZQ_INSTALL_LAYOUT_DIR}")
  # The folder below tests/, with "_" for "/": engine, platform, gui_core, setup_core.
  file(RELATIVE_PATH label ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" label ${label})
  gtest_discover_tests(${ARG_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${label})
endfunction()
