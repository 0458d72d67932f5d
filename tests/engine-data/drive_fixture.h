#pragma once
// The data engine on the virtual recorder: the engine loads libwnaspi32.so
// from the build's program folder (as discovery falls back to it without an
// optical drive) while the test handles discs, faults and the trace through
// the recorder's own API. Both work in one program folder per test binary.

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "qvr/data/disc_burner.h"
#include "qvr/data/source_tree.h"
#include "qvr/vdrive/drive_set.h"
#include "qvr/vdrive/export.h"
#include "test_support.h"

namespace qvr::data::test {

// Waits for one completion event raised on a worker thread.
struct Done {
  std::mutex m;
  std::condition_variable cv;
  int count = 0;
  bool failed = false;
  void Signal(bool f) {
    std::lock_guard lock(m);
    ++count;
    failed = f;
    cv.notify_all();
  }
  bool Wait(int seconds = 60) {
    std::unique_lock lock(m);
    return cv.wait_for(lock, std::chrono::seconds(seconds), [this] { return count > 0; });
  }
};

class DriveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    home_ = new TempDir();
    fs::create_directories(home_->path() / "vdrive");
    std::ofstream(*home_ / "vdrive/drives.ini") << "[settings]\ntime_scale=0\n[drive0]\nvendor=QVR\n";
    setenv("QUORVELLA_HOME", home_->path().c_str(), 1);
    unsetenv("QVR_VDRIVE_TIME_SCALE");
    const char* bin = std::getenv("QVR_BIN_DIR");
    library_ = std::string(bin ? bin : ".") + "/libwnaspi32.so";
  }
  static void TearDownTestSuite() {
    delete home_;
    home_ = nullptr;
  }

  void SetUp() override {
    set_ = std::make_unique<vdrive::DriveSet>(*home_ / "vdrive");
    drive().Eject();
    drive().ClearFaults();
    drive().ClearTrace();
    log_ = src_ / "commands.elg";
  }

  vdrive::Drive& drive() { return *set_->At(0); }

  void Insert(const std::string& medium) {
    std::string error;
    ASSERT_TRUE(drive().Insert(*vdrive::MediaKindFromName(medium), {}, &error)) << error;
  }
  void Fault(const std::string& rule) {
    std::string error;
    ASSERT_TRUE(drive().AddFault(rule, &error)) << error;
  }

  // A burner on the virtual recorder with the command log on.
  std::unique_ptr<TDiscBurner> Burner() {
    auto b = std::make_unique<TDiscBurner>();
    b->SetWaitScale(0.001);
    EXPECT_TRUE(b->InitializeDevices(true, library_, log_));
    EXPECT_GE(b->GetDeviceCount(), 1);
    EXPECT_TRUE(b->SelectDevice(0));
    return b;
  }

  // Writes a small tree of sources: TREE/a.txt, TREE/docs/Long file name of a report.txt,
  // TREE/docs/data.bin (random), TREE/empty.
  std::string MakeTree(const std::string& name, int seed) {
    const std::string root = src_ / name;
    WriteFile(root + "/a.txt", "first file " + std::to_string(seed) + "\n");
    std::string data(150000 + seed * 1000, '\0');
    uint32_t x = 2463534242u + seed;
    for (char& c : data) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      c = static_cast<char>(x);
    }
    WriteFile(root + "/docs/data.bin", data);
    WriteFile(root + "/docs/Long file name of a report.txt", "report\n");
    WriteFile(root + "/empty", "");
    return root;
  }

  // ClearAll, optional import, the paths, PrepareImage.
  void Compile(TDiscBurner& b, const std::vector<std::string>& paths, int importSession = -1) {
    b.ClearAll();
    b.SetReplaceFile(true);
    if (importSession >= 0) b.ImportSession(static_cast<uint8_t>(importSession));
    SourceTreeWalker walker(b, [](const std::string&) {});
    for (const std::string& p : paths) ASSERT_TRUE(walker.AddPath(p, nullptr)) << p;
    b.PrepareImage();
  }

  // Burns the compilation; true when OnWriteDone reported success.
  bool BurnTree(TDiscBurner& b) {
    Done done;
    b.OnWriteDone = [&done](const void*, uint8_t, bool failed) { done.Signal(failed); };
    if (!b.BurnImageTree()) return false;
    EXPECT_TRUE(done.Wait());
    b.WaitIdle();
    EXPECT_EQ(done.count, 1);
    return !done.failed;
  }

  std::string ExportIso(int session = 0) {
    const std::string path = src_ / ("export" + std::to_string(exports_++) + ".iso");
    std::string error;
    std::int64_t blocks = 0;
    EXPECT_TRUE(vdrive::ExportIso(drive(), session, path, &blocks, &error)) << error;
    return path;
  }

  // The CLOSE TRACK/SESSION commands of the trace: "IMMED FUNCTION NUMBER STATUS", e.g. "0 1 1 GOOD".
  std::vector<std::string> ClosingCommands() {
    std::vector<std::string> out;
    for (const vdrive::TraceEntry& e : drive().Trace()) {
      if (e.opcode != 0x5B) continue;
      out.push_back(std::to_string(e.cdb[1] & 1) + " " + std::to_string(e.cdb[2] & 7) + " " +
                    std::to_string(e.cdb[5]) + " " + e.status);
    }
    return out;
  }

  // The data bytes of the MODE SELECT lines of the command log, in order.
  std::vector<std::vector<uint8_t>> ModeSelects() const { return LoggedData("MODE SELECT (10)"); }
  std::vector<std::vector<uint8_t>> LoggedData(const std::string& name) const {
    std::vector<std::vector<uint8_t>> out;
    std::ifstream in(log_);
    std::string line;
    while (std::getline(in, line)) {
      if (line.find(name) == std::string::npos) continue;
      const std::size_t bar = line.find("| ");
      std::istringstream hex(line.substr(bar + 2));
      std::vector<uint8_t> bytes;
      std::string word;
      while (hex >> word && word.find(':') == std::string::npos) bytes.push_back(static_cast<uint8_t>(std::stoul(word, nullptr, 16)));
      out.push_back(bytes);
    }
    return out;
  }

  static inline TempDir* home_ = nullptr;
  static inline std::string library_;
  TempDir src_;
  std::string log_;
  int exports_ = 0;
  std::unique_ptr<vdrive::DriveSet> set_;
};

inline uint32_t Get32BEOf(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// Extracts an image with a reader ("xorriso" or "bsdtar") into dir; the tool's output on failure.
inline ToolResult Extract(const std::string& tool, const std::string& image, const std::string& dir) {
  fs::create_directories(dir);
  if (tool == "xorriso")
    return RunTool("xorriso -abort_on FAILURE -indev " + Quote(image) + " -osirrox on -extract / " + Quote(dir));
  return RunTool("bsdtar -xf " + Quote(image) + " -C " + Quote(dir));
}

// diff -r of two trees; "" when equal.
inline std::string TreeDifference(const std::string& a, const std::string& b) {
  ToolResult r = RunTool("diff -r " + Quote(a) + " " + Quote(b));
  return r.code == 0 ? std::string() : r.output;
}

}  // namespace qvr::data::test
