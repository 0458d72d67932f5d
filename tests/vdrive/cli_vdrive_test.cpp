// qvr vdrive: discs, status, faults, trace and exports from the command line.

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "qvr/cli/cli.h"
#include "vdrive_fixture.h"

namespace qvr::vdrive::test {
namespace {

struct Outcome {
  int code;
  std::string out, err;
};

class CliVdrive : public VdriveTest {
 protected:
  void SetUp() override {
    VdriveTest::SetUp();
    const char* old = std::getenv("QUORVELLA_HOME");
    saved_home_ = old ? old : "";
    setenv("QUORVELLA_HOME", folder_.c_str(), 1);
  }
  void TearDown() override {
    if (saved_home_.empty()) unsetenv("QUORVELLA_HOME");
    else setenv("QUORVELLA_HOME", saved_home_.c_str(), 1);
    VdriveTest::TearDown();
  }
  Outcome Qvr(std::vector<std::string> args) {
    args.insert(args.begin(), "vdrive");
    std::ostringstream out, err;
    int code = cli::Run(args, out, err);
    return {code, out.str(), err.str()};
  }
  std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void WriteBlocks(std::int64_t lba, const std::vector<std::uint8_t>& data, std::size_t block = 2048, int per = 32) {
    int blocks = static_cast<int>(data.size() / block);
    for (int done = 0; done < blocks; done += per) {
      int n = std::min(per, blocks - done);
      std::vector<std::uint8_t> chunk(data.begin() + done * block, data.begin() + (done + n) * block);
      ASSERT_TRUE(Write(lba + done, n, chunk).Good()) << lba + done;
    }
  }
  std::string saved_home_;
};

TEST_F(CliVdrive, InsertStatusAndRefusals) {
  EXPECT_NE(Qvr({"list"}).out.find("QVR Virtual Recorder"), std::string::npos);
  Outcome insert = Qvr({"insert", "0", "dvd+r"});
  EXPECT_EQ(insert.code, 0) << insert.err;
  EXPECT_EQ(In(Cdb({0x46, 2, 0, 0, 0, 0, 0, 0, 8, 0}), 8).Be16At(6), 0x001B);
  std::string letter(1, set_->LetterOf(0));
  Outcome status = Qvr({"status", letter});
  EXPECT_EQ(status.code, 0);
  EXPECT_NE(status.out.find("medium: DVD+R"), std::string::npos) << status.out;
  EXPECT_NE(status.out.find("state: blank"), std::string::npos);
  EXPECT_NE(status.out.find("next writable address: 0"), std::string::npos);
  struct Refusal {
    std::vector<std::string> args;
    const char* message;
  };
  const Refusal refusals[] = {
      {{"insert", "0", "floppy"}, "unknown medium"},
      {{"insert", "7", "cd-r"}, "no virtual drive"},
      {{"insert", "0", "dvd-rom"}, "needs --image"},
      {{"insert", "0", "cd-r", "--image", "/nonexistent.iso"}, "takes no image"},
      {{"export-iso", "0"}, "needs a FILE"},
      {{"export-iso", "0", folder_ + "/x.iso"}, "no data track"},
      {{"fault", "0", "busy"}, "busy needs"},
      {{"frobnicate", "0"}, "unknown command"},
      {{"status"}, "needs a DRIVE"},
  };
  for (const Refusal& r : refusals) {
    Outcome o = Qvr(r.args);
    EXPECT_NE(o.code, 0) << r.args[0];
    EXPECT_NE(o.err.find(r.message), std::string::npos) << o.err;
  }
  EXPECT_EQ(Qvr({"eject", "0"}).code, 0);
  EXPECT_NE(Qvr({"status", "0"}).out.find("no disc"), std::string::npos);
}

TEST_F(CliVdrive, ExportIsoEqualsTheWrittenImage) {
  ASSERT_EQ(Qvr({"insert", "0", "dvd+r"}).code, 0);
  std::vector<std::uint8_t> image = Pattern(300, 11);
  WriteBlocks(0, image);
  ASSERT_TRUE(CloseTrack(1).Good());
  ASSERT_TRUE(CloseSession().Good());
  Outcome o = Qvr({"export-iso", "0", folder_ + "/out.iso"});
  ASSERT_EQ(o.code, 0) << o.err;
  EXPECT_EQ(FileBytes(folder_ + "/out.iso"), image);
  EXPECT_NE(o.out.find("session 1 start 0"), std::string::npos) << o.out;
}

TEST_F(CliVdrive, ExportIsoOfAMultisessionCd) {
  ASSERT_EQ(Qvr({"insert", "0", "cd-r"}).code, 0);
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) { p[3] = 0xC4; }).Good());
  std::vector<std::uint8_t> first = Pattern(300, 1), second = Pattern(100, 2);
  WriteBlocks(0, first);
  ASSERT_TRUE(CloseSession().Good());
  WriteBlocks(11702, second);
  ASSERT_TRUE(CloseSession().Good());
  Outcome whole = Qvr({"export-iso", "0", folder_ + "/all.iso"});
  ASSERT_EQ(whole.code, 0) << whole.err;
  EXPECT_NE(whole.out.find("session 2 start 11702"), std::string::npos) << whole.out;
  std::vector<std::uint8_t> all = FileBytes(folder_ + "/all.iso");
  ASSERT_EQ(all.size(), (11702u + 100u) * 2048u);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), all.begin()));
  EXPECT_TRUE(std::all_of(all.begin() + 300 * 2048, all.begin() + 11702 * 2048, [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::equal(second.begin(), second.end(), all.begin() + 11702 * 2048));
  ASSERT_EQ(Qvr({"export-iso", "0", "--session", "1", folder_ + "/one.iso"}).code, 0);
  EXPECT_EQ(FileBytes(folder_ + "/one.iso"), first);
  EXPECT_NE(Qvr({"export-iso", "0", "--session", "3", folder_ + "/three.iso"}).code, 0);
  EXPECT_NE(Qvr({"status", "0"}).out.find("track 2 session 2 start 11702 length 102"), std::string::npos);
}

// Two sessions made by genisoimage (the second with -C and -M, as a
// multisession burn does) and read back with isoinfo -T from the exported image.
TEST_F(CliVdrive, MultisessionIsoSeenByIndependentTools) {
  if (std::system("command -v genisoimage >/dev/null && command -v isoinfo >/dev/null") != 0)
    GTEST_SKIP() << "genisoimage and isoinfo are not installed";
  auto sh = [](const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); };
  std::string f = folder_;
  ASSERT_EQ(sh("mkdir -p " + f + "/one " + f + "/two && echo first >" + f + "/one/first.txt && echo second >" + f +
               "/two/second.txt"), 0);
  ASSERT_EQ(sh("genisoimage -quiet -R -J -V ONE -o " + f + "/s1.iso " + f + "/one"), 0);
  ASSERT_EQ(Qvr({"insert", "0", "cd-r"}).code, 0);
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) { p[3] = 0xC4; }).Good());
  WriteBlocks(0, FileBytes(f + "/s1.iso"));
  ASSERT_TRUE(CloseSession().Good());
  // What "-msinfo" asks: the last session's start and the next writable address.
  Reply toc = In(Cdb({0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}), 12);
  std::uint32_t last_start = toc.Be32At(8), next = TrackInfo(0xFF).Be32At(12);
  ASSERT_EQ(Qvr({"export-iso", "0", f + "/prev.iso"}).code, 0);
  ASSERT_EQ(sh("genisoimage -quiet -R -J -V TWO -C " + std::to_string(last_start) + "," + std::to_string(next) +
               " -M " + f + "/prev.iso -o " + f + "/s2.iso " + f + "/two"), 0);
  WriteBlocks(next, FileBytes(f + "/s2.iso"));
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) { p[3] = 0x04; }).Good());
  ASSERT_TRUE(CloseSession().Good());
  ASSERT_EQ(Qvr({"export-iso", "0", f + "/all.iso"}).code, 0);
  std::string listing = f + "/listing.txt";
  ASSERT_EQ(std::system(("isoinfo -R -f -T " + std::to_string(next) + " -i " + f + "/all.iso >" + listing).c_str()), 0);
  std::vector<std::uint8_t> text = FileBytes(listing);
  std::string names(text.begin(), text.end());
  EXPECT_NE(names.find("first.txt"), std::string::npos) << names;
  EXPECT_NE(names.find("second.txt"), std::string::npos) << names;
}

TEST_F(CliVdrive, ExportCueOfAnAudioDisc) {
  ASSERT_EQ(Qvr({"insert", "0", "cd-rw"}).code, 0);
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) {
                p[2] = 0x02;
                p[3] = 0x04;
                p[4] = 0x00;
              }).Good());
  std::vector<std::uint8_t> cue = Cdb({0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0,  0x01, 0x01, 0x00, 0x00, 0, 0, 0, 0,
                                       0x01, 0x01, 0x01, 0x00, 0, 0, 2, 0,  0x01, 0x02, 0x00, 0x00, 0, 0, 3, 25,
                                       0x01, 0x02, 0x01, 0x00, 0, 0, 5, 25, 0x01, 0xAA, 0x01, 0x01, 0, 0, 6, 0});
  ASSERT_TRUE(Out(Cdb({0x5D, 0, 0, 0, 0, 0, 0, 0, 48, 0}), cue).Good());
  std::vector<std::uint8_t> audio = Pattern(450, 4, 2352);
  WriteBlocks(-150, audio, 2352, 27);
  ASSERT_TRUE(Sync().Good());
  Outcome o = Qvr({"export-cue", "0", folder_ + "/disc.cue"});
  ASSERT_EQ(o.code, 0) << o.err;
  std::vector<std::uint8_t> bin = FileBytes(folder_ + "/disc.bin");
  EXPECT_TRUE(bin.size() == 300u * 2352u && std::equal(bin.begin(), bin.end(), audio.begin() + 150 * 2352));
  std::vector<std::uint8_t> text = FileBytes(folder_ + "/disc.cue");
  EXPECT_EQ(std::string(text.begin(), text.end()),
            "FILE \"disc.bin\" BINARY\n"
            "  TRACK 01 AUDIO\n"
            "    INDEX 01 00:00:00\n"
            "  TRACK 02 AUDIO\n"
            "    INDEX 00 00:01:25\n"
            "    INDEX 01 00:03:25\n");
}

TEST_F(CliVdrive, FaultAndTrace) {
  ASSERT_EQ(Qvr({"insert", "0", "cd-r"}).code, 0);
  ASSERT_EQ(Qvr({"trace", "0", "--clear"}).code, 0);
  ASSERT_EQ(Qvr({"fault", "0", "fail", "00", "sense=2/04/01"}).code, 0);
  EXPECT_NE(Qvr({"fault", "0", "list"}).out.find("fail 00 nth=1 times=1 sense=2/04/01"), std::string::npos);
  EXPECT_EQ(None(Cdb({0x00, 0, 0, 0, 0, 0})).SenseText(), "2/04/01");
  Outcome trace = Qvr({"trace", "0"});
  EXPECT_EQ(trace.out, "1 00 000000000000 0 none CHECK 2/04/01\n");
  ASSERT_EQ(Qvr({"fault", "0", "busy", "3"}).code, 0);
  ASSERT_EQ(Qvr({"fault", "0", "clear"}).code, 0);
  EXPECT_TRUE(None(Cdb({0x00, 0, 0, 0, 0, 0})).Good());
  ASSERT_EQ(Qvr({"time-scale", "0.25"}).code, 0);
  EXPECT_EQ(set_->TimeScale(), 0.25) << "a running drive set follows drives.ini";
  EXPECT_NE(Qvr({"time-scale", "fast"}).code, 0);
}

}  // namespace
}  // namespace qvr::vdrive::test
