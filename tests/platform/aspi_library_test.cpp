#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "qvr/platform/aspi_library.h"
#include "qvr/platform/program_folder.h"

namespace fs = std::filesystem;
using qvr::platform::AspiLibrary;

TEST(AspiLibrary, SearchOrder) {
  struct Case {
    std::string explicit_path, program, executable;
    std::vector<std::string> expected;
  } cases[] = {
      {"", "/home/u/q/", "/opt/q/bin/",
       {"/home/u/q/libwnaspi32.so", "/opt/q/bin/libwnaspi32.so", "libwnaspi32.so"}},
      {"/x/my.so", "/home/u/q", "/opt/q/bin",
       {"/x/my.so", "/home/u/q/libwnaspi32.so", "/opt/q/bin/libwnaspi32.so", "libwnaspi32.so"}},
      {"", "/opt/q/bin/", "/opt/q/bin/", {"/opt/q/bin/libwnaspi32.so", "libwnaspi32.so"}},  // portable use
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AspiLibrary::Candidates(c.explicit_path, c.program, c.executable), c.expected);
  }
}

namespace {

struct LoaderFolders : ::testing::Test {
  fs::path root = fs::temp_directory_path() / ("qvr-loader-" + std::to_string(getpid()));
  fs::path first = root / "program";
  fs::path second = root / "executable";
  void SetUp() override {
    fs::remove_all(root);
    fs::create_directories(first);
    fs::create_directories(second);
  }
  void TearDown() override { fs::remove_all(root); }
  static void Place(const char* library, const fs::path& folder) {
    fs::copy_file(library, folder / "libwnaspi32.so", fs::copy_options::overwrite_existing);
  }
};

}  // namespace

TEST_F(LoaderFolders, TheFirstCompleteLibraryWinsAndItsEntriesWork) {
  Place(FAKE_ASPI_NO_SEND, first);
  Place(FAKE_ASPI_COMPLETE, second);
  AspiLibrary library;
  ASSERT_TRUE(library.LoadFrom(AspiLibrary::Candidates("", first.string(), second.string())));
  EXPECT_EQ(library.path(), (second / "libwnaspi32.so").string()) << "the copy without a send entry is passed over";
  EXPECT_EQ(library.support_info()(), 0x0103u);
  unsigned char block[80] = {};
  EXPECT_EQ(library.send_command()(block), 1u);
  EXPECT_EQ(block[1], 1);
  library.Unload();
  EXPECT_FALSE(library.loaded());
}

TEST_F(LoaderFolders, ProgramFolderComesFirst) {
  Place(FAKE_ASPI_COMPLETE, first);
  setenv("QUORVELLA_HOME", first.c_str(), 1);
  AspiLibrary library;
  ASSERT_TRUE(library.Load());
  EXPECT_EQ(library.path(), qvr::platform::ProgramFolder() + "libwnaspi32.so");
  unsetenv("QUORVELLA_HOME");
}

TEST_F(LoaderFolders, NothingLoadableIsAFailureThatSaysWhy) {
  Place(FAKE_ASPI_NO_SEND, first);
  AspiLibrary library;
  EXPECT_FALSE(library.LoadFrom({(first / "libwnaspi32.so").string(), (second / "absent.so").string()}));
  EXPECT_FALSE(library.loaded());
  EXPECT_EQ(library.support_info(), nullptr);
  EXPECT_NE(library.error().find("missing entry point SendASPI32Command"), std::string::npos) << library.error();
  EXPECT_NE(library.error().find("absent.so"), std::string::npos) << library.error();
}
