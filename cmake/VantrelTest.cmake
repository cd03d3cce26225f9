# One line registers a test file with CTest. Every test runs with its
# XDG_DATA_HOME and XDG_CONFIG_HOME under the build tree, so that no test ever
# reaches the real user's trash or remembered folders:
#   vantrel_gtest(test_name file.cpp LIBS...)   core tests, GoogleTest, no display
#   vantrel_qtest(test_name file.cpp LIBS...)   widget tests, Qt Test, off-screen platform
find_package(GTest REQUIRED)

function(vantrel_gtest name source)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main ${ARGN})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "VANTREL_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp;XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-tmp/xdg-data;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-tmp/xdg-config"
    LABELS core)
endfunction()

function(vantrel_qtest name source)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARGN})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VANTREL_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp;XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-tmp/xdg-data;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-tmp/xdg-config"
    LABELS widgets)
endfunction()
