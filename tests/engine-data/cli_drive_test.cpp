// The qvr drive commands as a user runs them: a qvr process on the virtual
// recorder (no optical drive here, so discovery falls back to the ASPI
// library), its outcome line and exit code.

#include <gtest/gtest.h>

#include <cstdlib>

#include "test_support.h"

namespace qvr::data::test {
namespace {

class QvrDrive : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* bin = std::getenv("QVR_BIN_DIR");
    qvr_ = std::string(bin ? bin : ".") + "/qvr";
    fs::create_directories(home_.path() / "vdrive");
    std::ofstream(home_ / "vdrive/drives.ini") << "[settings]\ntime_scale=0\n[drive0]\nvendor=QVR\n";
  }
  // Runs qvr WORDS (already quoted) in the test's program folder.
  ToolResult Qvr(const std::string& words) {
    return RunTool("QUORVELLA_HOME=" + Quote(home_.path().string()) +
                   " QVR_VDRIVE_TIME_SCALE=0 QVR_WAIT_SCALE=0 " + Quote(qvr_) + " " + words);
  }
  static std::string LastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    const std::size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
  }
  TempDir home_, src_;
  std::string qvr_;
};

TEST_F(QvrDrive, DevicesAndInfoDescribeTheRecorderAndItsDisc) {
  ToolResult devices = Qvr("devices");
  ASSERT_EQ(devices.code, 0) << devices.output;
  EXPECT_NE(devices.output.find("D: 0:0:0,D: QVR      Virtual Recorder"), std::string::npos) << devices.output;
  EXPECT_NE(devices.output.find("[recorder]"), std::string::npos);
  ASSERT_EQ(Qvr("vdrive insert 0 dvd+r").code, 0);
  ToolResult info = Qvr("info -d D:");
  ASSERT_EQ(info.code, 0) << info.output;
  for (const char* line : {"medium: DVD+R (code 11)", "state: blank", "sessions: 0", "free sectors: 2295104",
                           "WriteDVDPLUSR=YES", "UnderrunProtection=YES", "buffer: 4096 KB"})
    EXPECT_NE(info.output.find(line), std::string::npos) << line << "\n" << info.output;
  EXPECT_EQ(Qvr("info -d Z").code, 1);
}

TEST_F(QvrDrive, BurnVerifyAndAppend) {
  ASSERT_EQ(Qvr("vdrive insert 0 cd-r").code, 0);
  WriteFile(src_ / "tree/a.txt", "one\n");
  WriteFile(src_ / "tree/sub/b.txt", std::string(5000, 'b'));
  ToolResult burn = Qvr("burn --volume-id FIRST --verify " + Quote(src_ / "tree"));
  ASSERT_EQ(burn.code, 0) << burn.output;
  EXPECT_NE(burn.output.find("Burn complete: "), std::string::npos) << burn.output;
  EXPECT_EQ(LastLine(burn.output), "Verification passed");
  WriteFile(src_ / "second/tree/c.txt", "three\n");
  ToolResult append = Qvr("burn --import-session last " + Quote(src_ / "second/tree"));
  ASSERT_EQ(append.code, 0) << append.output;
  EXPECT_NE(Qvr("vdrive status 0").output.find("track 2 session 2"), std::string::npos);
  EXPECT_EQ(Qvr("burn --import-session 7 " + Quote(src_ / "tree")).code, 1);
}

TEST_F(QvrDrive, FailuresExitNonZeroWithTheEngineText) {
  ASSERT_EQ(Qvr("vdrive insert 0 cd-r").code, 0);
  WriteFile(src_ / "tree/big.bin", std::string(400000, 'x'));
  ASSERT_EQ(Qvr("vdrive fault 0 write-error 100").code, 0);
  ToolResult burn = Qvr("burn " + Quote(src_ / "tree"));
  EXPECT_EQ(burn.code, 1);
  EXPECT_EQ(LastLine(burn.output), "Burn failed: Hardware Error 3072 (0C/00 WRITE ERROR)");
  ToolResult image = Qvr("burn-image " + Quote(src_ / "missing.iso"));
  EXPECT_EQ(image.code, 1);
  EXPECT_EQ(LastLine(image.output), "Burn failed: Error opening file \\" + (src_ / "missing.iso") + "\\");
  ToolResult erase = Qvr("erase");
  EXPECT_EQ(erase.code, 1);
  EXPECT_NE(erase.output.find("cannot be erased"), std::string::npos) << erase.output;
}

TEST_F(QvrDrive, EraseBurnImageEjectAndLoad) {
  ASSERT_EQ(Qvr("vdrive insert 0 cd-rw").code, 0);
  WriteFile(src_ / "image.iso", std::string(100 * 2048, 'i'));
  ToolResult image = Qvr("burn-image " + Quote(src_ / "image.iso"));
  ASSERT_EQ(image.code, 0) << image.output;
  EXPECT_EQ(LastLine(image.output), "Burn complete: 100 sectors (0.2 MB) written to CD-RW");
  ToolResult erase = Qvr("erase --full");
  ASSERT_EQ(erase.code, 0) << erase.output;
  EXPECT_EQ(LastLine(erase.output), "Erase complete: CD-RW fully erased");
  EXPECT_EQ(LastLine(Qvr("eject").output), "Ejected");
  EXPECT_NE(Qvr("vdrive status 0").output.find("tray open"), std::string::npos);
  EXPECT_EQ(LastLine(Qvr("load").output), "Loaded");
  // A restricted-overwrite DVD-RW takes whole ECC blocks: the short end of an image is padded.
  ASSERT_EQ(Qvr("vdrive insert 0 dvd-rw").code, 0);
  WriteFile(src_ / "tree/a.txt", "a\n");
  ASSERT_EQ(Qvr("burn " + Quote(src_ / "tree")).code, 0);
  WriteFile(src_ / "odd.iso", std::string(100000, 'o'));
  ToolResult odd = Qvr("burn-image " + Quote(src_ / "odd.iso"));
  EXPECT_EQ(odd.code, 0) << odd.output;

  ASSERT_EQ(Qvr("vdrive insert 0 cd-rw").code, 0);
  ASSERT_EQ(Qvr("vdrive fault 0 fail A1 sense=5/24/00").code, 0);
  ToolResult refused = Qvr("erase");
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(LastLine(refused.output), "Erase failed: Hardware Error 9216 (24/00 INVALID FIELD IN CDB)");
}

}  // namespace
}  // namespace qvr::data::test
