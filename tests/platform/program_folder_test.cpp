#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "qvr/platform/program_folder.h"

namespace fs = std::filesystem;
using qvr::platform::ProgramFolder;

TEST(ProgramFolder, HomeVariableWinsAndFolderIsCreatedWithTrailingSlash) {
  fs::path home = fs::temp_directory_path() / "qvr-program-folder-test" / "nested";
  fs::remove_all(home.parent_path());
  setenv("QUORVELLA_HOME", home.c_str(), 1);
  EXPECT_EQ(ProgramFolder(), home.string() + "/");
  EXPECT_TRUE(fs::is_directory(home));
  unsetenv("QUORVELLA_HOME");
  fs::remove_all(home.parent_path());
}

TEST(ProgramFolder, WithoutHomeVariableItIsTheWritableExecutableFolder) {
  unsetenv("QUORVELLA_HOME");
  // The test binary's folder is writable in a build tree, so it is the program folder.
  EXPECT_EQ(ProgramFolder(), qvr::platform::ExecutableFolder());
}
