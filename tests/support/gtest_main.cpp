// Test entry for every GoogleTest binary: gives the tests the build's program
// folder and source tree through the environment (unless the caller set them),
// whether they are started by CTest or by hand, then runs the cases.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QVR_BIN_DIR", QVR_TEST_BIN_DIR, 0);
  setenv("QVR_SOURCE_DIR", QVR_TEST_SOURCE_DIR, 0);
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
