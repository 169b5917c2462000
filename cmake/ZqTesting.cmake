# zq_add_test(NAME name SOURCES ... LIBS ...)
# One GoogleTest executable per test folder, built outside the installation
# folder and registered with CTest case by case, labelled with its folder name
# (engine, platform, gui_core, ...) so that a run can pick programs: ctest -L engine.
include(GoogleTest)

function(zq_add_test)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  zq_register_test(${ARG_NAME})
endfunction()

# What every test executable shares: its folder, its definitions, and its
# cases registered with CTest under its folder's label; further arguments are
# more CTest properties of its cases.
function(zq_register_test name)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    ZQ_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
    ZQ_INSTALL_LAYOUT_DIR="${ZQ_INSTALL_LAYOUT_DIR}")
  # The folder below tests/, with "_" for "/": engine, platform, gui_core, setup_core.
  file(RELATIVE_PATH label ${CMAKE_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE "/" "_" label ${label})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${label} ${ARGN})
endfunction()

# zq_add_qt_test(NAME name SOURCES ... LIBS ...)
# As zq_add_test, for widget tests: Qt's test library, a main that makes the
# QApplication, and Qt's offscreen platform, so they run without a display.
function(zq_add_qt_test)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/tests/qt_gtest_main.cpp)
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} Qt6::Widgets Qt6::Test GTest::gtest)
  zq_register_test(${ARG_NAME} ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()
