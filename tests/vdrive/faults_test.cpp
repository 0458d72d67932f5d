// Faults on demand, and the command trace.

#include <chrono>
#include <thread>

#include "vdrive_fixture.h"

namespace qvr::vdrive::test {
namespace {

class Faults : public VdriveTest {
 protected:
  void Add(const std::string& rule) {
    std::string error;
    ASSERT_TRUE(drive().AddFault(rule, &error)) << rule << ": " << error;
  }
  Reply Tur() { return None(Cdb({0x00, 0, 0, 0, 0, 0})); }
};

TEST_F(Faults, FailTheNthCommandOfAnOpcode) {
  Insert("dvd+r");
  Add("fail 2a nth=2 times=2 sense=3/0c/00");
  EXPECT_TRUE(Write(0, 16, Pattern(16, 1)).Good());
  EXPECT_TRUE(Tur().Good()) << "other opcodes do not count";
  EXPECT_EQ(Write(16, 16, Pattern(16, 1)).SenseText(), "3/0C/00");
  EXPECT_EQ(Write(16, 16, Pattern(16, 1)).SenseText(), "3/0C/00");
  EXPECT_TRUE(Write(16, 16, Pattern(16, 1)).Good()) << "a failed write wrote nothing";
  Add("fail * sense=6/28/00");
  EXPECT_EQ(DiscInfo().SenseText(), "6/28/00");
  EXPECT_TRUE(DiscInfo().Good());
  Add("fail 51,52 nth=1 sense=2/04/01");
  EXPECT_EQ(TrackInfo(1).SenseText(), "2/04/01");
  EXPECT_TRUE(drive().Faults().empty());
}

TEST_F(Faults, BusyNotReadyAndLongWrite) {
  Insert("cd-r");
  Add("busy 2");
  EXPECT_EQ(Tur().result.status, 8);
  EXPECT_EQ(In(Cdb({0x12, 0, 0, 0, 36, 0}), 36).result.status, 8);
  EXPECT_TRUE(Tur().Good());
  Add("notready 300");
  EXPECT_EQ(Tur().SenseText(), "2/04/01");
  EXPECT_TRUE(In(Cdb({0x12, 0, 0, 0, 36, 0}), 36).Good()) << "INQUIRY answers meanwhile";
  Add("longwrite 300");
  EXPECT_EQ(Write(0, 1, Pattern(1, 0)).SenseText(), "2/04/01") << "the first rule answers first";
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_TRUE(Tur().Good());
  Add("longwrite 300");
  EXPECT_EQ(Write(0, 1, Pattern(1, 0)).SenseText(), "2/04/08");
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_TRUE(Write(0, 1, Pattern(1, 0)).Good()) << "the block is taken once the drive is ready";
}

TEST_F(Faults, WriteErrorAtAnLbaAndRefusedCueSheet) {
  Insert("dvd-ram");
  Add("write-error 100");
  EXPECT_TRUE(Write(0, 32, Pattern(32, 1)).Good());
  EXPECT_EQ(Write(96, 8, Pattern(8, 1)).SenseText(), "3/0C/00");
  EXPECT_EQ(Write(100, 1, Pattern(1, 1)).SenseText(), "3/0C/00") << "every write touching it";
  EXPECT_TRUE(Write(101, 1, Pattern(1, 1)).Good());
  Insert("cd-r");
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) {
                p[2] = 0x02;
                p[4] = 0x00;
              }).Good());
  std::vector<std::uint8_t> cue = Cdb({0x01, 0, 0, 0x01, 0, 0, 0, 0, 0x01, 1, 0, 0, 0, 0, 0, 0,  //
                                       0x01, 1, 1, 0, 0, 0, 2, 0, 0x01, 0xAA, 1, 0x01, 0, 0, 4, 0});
  Add("cue-refuse sense=5/2c/00");
  EXPECT_EQ(Out(Cdb({0x5D, 0, 0, 0, 0, 0, 0, 0, 32, 0}), cue).SenseText(), "5/2C/00");
  EXPECT_TRUE(Out(Cdb({0x5D, 0, 0, 0, 0, 0, 0, 0, 32, 0}), cue).Good()) << "refused once";
}

TEST_F(Faults, MediumRemovedAndUnformatted) {
  Insert("cd-r");
  Add("remove after=1");
  EXPECT_TRUE(Tur().Good());
  EXPECT_EQ(Tur().SenseText(), "2/3A/01");
  Reply event = In(Cdb({0x4A, 1, 0, 0, 0x10, 0, 0, 0, 8, 0}), 8);
  EXPECT_EQ(event.data[4], 3) << "media removal";
  drive().ClearFaults();
  EXPECT_TRUE(Tur().Good()) << "clear brings the disc back";
  Insert("dvd+rw");
  ASSERT_TRUE(Out(Cdb({0x04, 0x11, 0, 0, 0, 0}), Cdb({0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, 0}))
                  .Good());
  ASSERT_TRUE(Write(0, 16, Pattern(16, 1)).Good());
  Add("unformat");
  EXPECT_EQ(Write(0, 16, Pattern(16, 1)).SenseText(), "5/30/05");
}

TEST_F(Faults, RulesParseOrAreRefused) {
  Insert("cd-r");
  for (const char* bad : {"", "frobnicate", "fail 2a", "fail zz sense=3/0c/00", "fail 2a sense=9/99",
                          "fail 2a nth=0 sense=3/0c/00", "fail 2a sense=0/00/00", "busy 0", "busy", "notready x",
                          "write-error", "remove 5", "cue-refuse 3", "fail 2a sense=3/0c/00 colour=red", "unformat"}) {
    std::string error;
    EXPECT_FALSE(drive().AddFault(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_TRUE(drive().Faults().empty());
  for (const char* good : {"fail 28,2a nth=3 times=2 sense=3/11/00", "busy 4", "write-error 77 sense=3/0c/02",
                           "cue-refuse", "remove after=9"}) {
    FaultRule rule, again;
    ASSERT_TRUE(FaultRule::Parse(good, 0, rule, nullptr)) << good;
    ASSERT_TRUE(FaultRule::Parse(rule.Format(), 0, again, nullptr)) << rule.Format();
    EXPECT_EQ(again.Format(), rule.Format());
  }
}

TEST_F(Faults, TraceRecordsEveryCommand) {
  drive().ClearTrace();
  Insert("cd-r");
  ASSERT_TRUE(Write(0, 2, Pattern(2, 1)).Good());
  EXPECT_EQ(Write(7, 1, Pattern(1, 1)).SenseText(), "5/21/02");
  Add("busy 1");
  Tur();
  std::vector<TraceEntry> trace = drive().Trace();
  ASSERT_EQ(trace.size(), 3u);
  EXPECT_EQ(trace[0].seq, 1u);
  EXPECT_EQ(trace[0].opcode, 0x2A);
  EXPECT_EQ(trace[0].cdb, Cdb({0x2A, 0, 0, 0, 0, 0, 0, 0, 2, 0}));
  EXPECT_EQ(trace[0].length, 4096u);
  EXPECT_EQ(trace[0].direction, "out");
  EXPECT_EQ(trace[0].status, "GOOD");
  EXPECT_EQ(trace[1].status, "CHECK");
  EXPECT_EQ(trace[1].sense.Text(), "5/21/02");
  EXPECT_EQ(trace[2].status, "BUSY");
  EXPECT_EQ(trace[2].direction, "none");
  TraceEntry parsed;
  ASSERT_TRUE(TraceEntry::Parse(trace[1].Format(), parsed));
  EXPECT_EQ(parsed.Format(), trace[1].Format());
  EXPECT_EQ(trace[1].Format(), "2 2A 2a000000000700000100 2048 out CHECK 5/21/02");
  drive().ClearTrace();
  EXPECT_TRUE(drive().Trace().empty());
}

// Random CDBs and data of random length on every medium: each gets a SCSI
// status, and no answer claims more bytes than the buffer holds.
TEST_F(Faults, RandomCommandsNeverBreakTheDrive) {
  const int opcodes[] = {0x00, 0x01, 0x03, 0x04, 0x12, 0x1B, 0x1E, 0x23, 0x25, 0x28, 0x2A, 0x2B, 0x2F, 0x35,
                         0x43, 0x46, 0x4A, 0x51, 0x52, 0x53, 0x54, 0x55, 0x5A, 0x5B, 0x5C, 0x5D, 0xA1, 0xA8,
                         0xAA, 0xB6, 0xBB, 0xBE, 0xBF, 0x77};
  std::uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  for (MediaKind kind : {MediaKind::kCdR, MediaKind::kCdRw, MediaKind::kDvdRw, MediaKind::kDvdPlusR,
                         MediaKind::kDvdPlusRw, MediaKind::kDvdRam, MediaKind::kBdRe}) {
    std::string error;
    ASSERT_TRUE(drive().Insert(kind, "", &error));
    for (int i = 0; i < 400; ++i) {
      std::vector<std::uint8_t> cdb(12);
      cdb[0] = static_cast<std::uint8_t>(opcodes[next() % std::size(opcodes)]);
      for (std::size_t b = 1; b < cdb.size(); ++b) cdb[b] = static_cast<std::uint8_t>(next() % 4 == 0 ? next() : next() % 3);
      if (cdb[0] == 0x1B) cdb[4] &= 0x01;  // keep the tray closed
      std::vector<std::uint8_t> data(next() % 5000);
      for (auto& byte : data) byte = static_cast<std::uint8_t>(next());
      DataDirection dir = Drive::DirectionOf(cdb[0]);
      CommandResult r = drive().Execute(cdb, data.data(), data.size(), dir);
      EXPECT_TRUE(r.status == 0 || r.status == 2 || r.status == 8);
      EXPECT_LE(r.transferred, data.size());
    }
  }
}

}  // namespace
}  // namespace qvr::vdrive::test
