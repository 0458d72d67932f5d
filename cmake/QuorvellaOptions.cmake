# The one configuration every target links: language level, warnings, Qt defines.
add_library(qvr_options INTERFACE)
target_compile_features(qvr_options INTERFACE cxx_std_20)
target_compile_options(qvr_options INTERFACE
  $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wno-missing-field-initializers>
  $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra>)
target_compile_definitions(qvr_options INTERFACE
  QT_NO_KEYWORDS
  QT_USE_QSTRINGBUILDER
  _FILE_OFFSET_BITS=64
  QVR_VERSION="${PROJECT_VERSION}")

# Adds a GoogleTest executable for a subsystem's tests and registers its cases with CTest.
#   qvr_add_gtest(NAME name SOURCES a.cpp b.cpp LIBS lib1 lib2)
include(GoogleTest)
function(qvr_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/gtest_main.cpp)
  target_link_libraries(${T_NAME} PRIVATE qvr_options ${T_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  # The test main puts these into the environment (QVR_BIN_DIR, QVR_SOURCE_DIR).
  target_compile_definitions(${T_NAME} PRIVATE
    QVR_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/bin" QVR_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60)
endfunction()

# Adds a Qt Test executable (one test class) and registers it with CTest.
#   qvr_add_qtest(NAME name SOURCES a.cpp LIBS lib1)
function(qvr_add_qtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${T_NAME} PRIVATE qvr_options ${T_LIBS} Qt6::Test)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QVR_BIN_DIR=${CMAKE_BINARY_DIR}/bin;QVR_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
