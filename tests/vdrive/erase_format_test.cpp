// BLANK and FORMAT UNIT per medium, and long operations that answer not ready.

#include <chrono>
#include <thread>

#include "vdrive_fixture.h"

namespace qvr::vdrive::test {
namespace {

using EraseFormat = VdriveTest;

const std::vector<std::uint8_t> kPlusRwFull = Cdb({0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, 0});
const std::vector<std::uint8_t> kRamFull = Cdb({0x00, 0x82, 0x00, 0x08, 0x00, 0x22, 0x21, 0x20, 0x00, 0x00, 0x08, 0x00});
const std::vector<std::uint8_t> kQuickFirst = Cdb({0x00, 0xA2, 0x00, 0x08, 0x00, 0x00, 0x03, 0xE8, 0x54, 0, 0, 0x10});
const std::vector<std::uint8_t> kGrowRestricted = Cdb({0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x4C, 0, 0, 0x10});
const std::vector<std::uint8_t> kBdReFormat = Cdb({0x00, 0x82, 0x00, 0x08, 0x00, 0x00, 0x02, 0x80, 0xC0, 0x00, 0x10, 0x00});

TEST_F(EraseFormat, BlankingACdRwWaitsLikeARealDrive) {
  Insert("cd-rw");
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) { p[3] = 0xC4; }).Good());
  ASSERT_TRUE(Write(0, 16, Pattern(16, 1)).Good());
  ASSERT_TRUE(CloseSession().Good());
  ASSERT_EQ(DiscInfo().data[4], 2);
  set_->SetTimeScale(0.005);  // a minimal blank takes 300 ms
  ASSERT_TRUE(None(Cdb({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})).Good());
  EXPECT_EQ(None(Cdb({0x00, 0, 0, 0, 0, 0})).SenseText(), "2/04/08");
  EXPECT_EQ(DiscInfo().SenseText(), "2/04/08") << "polled with READ DISC INFORMATION";
  Reply sense = In(Cdb({0x03, 0, 0, 0, 18, 0}), 18);
  ASSERT_TRUE(sense.Good());
  EXPECT_EQ(sense.data[12], 0x04);
  EXPECT_EQ(sense.data[15] & 0x80, 0x80) << "progress indication";
  EXPECT_TRUE(In(Cdb({0x12, 0, 0, 0, 36, 0}), 36).Good()) << "INQUIRY is answered meanwhile";
  int polls = 0;
  while (None(Cdb({0x00, 0, 0, 0, 0, 0})).SenseText() == "2/04/08" && polls < 600) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ++polls;
  }
  EXPECT_GT(polls, 0);
  EXPECT_TRUE(None(Cdb({0x00, 0, 0, 0, 0, 0})).Good());
  Reply info = DiscInfo();
  EXPECT_EQ(info.data[2], 0x10) << "blank and erasable";
  EXPECT_EQ(info.data[4], 1);
  EXPECT_EQ(Read(0, 1).SenseText(), "5/21/00");
  EXPECT_TRUE(Write(0, 16, Pattern(16, 2)).Good()) << "writable from the start again";
}

TEST_F(EraseFormat, BlankRefusals) {
  struct Case {
    const char* medium;
    int byte1;
    const char* sense;
  };
  const Case cases[] = {
      {"cd-r", 0x11, "5/30/05"}, {"dvd+rw", 0x10, "5/30/05"}, {"dvd-ram", 0x11, "5/30/05"},
      {"cd-rw", 0x12, "5/24/00"}, {"cd-rw", 0x10, "-"},      {"dvd-rw", 0x11, "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.medium) + " " + std::to_string(c.byte1));
    Insert(c.medium);
    EXPECT_EQ(None(Cdb({0xA1, c.byte1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})).SenseText(), c.sense);
  }
}

TEST_F(EraseFormat, FormatUnitPerMedium) {
  struct Case {
    const char* what;
    const char* medium;
    std::vector<std::uint8_t> list;
    const char* sense;
    std::uint16_t profile_after;
    std::uint32_t capacity_after;  // READ FORMAT CAPACITIES current descriptor
  };
  std::vector<std::uint8_t> plus_rw_type0 = kPlusRwFull;
  plus_rw_type0[8] = 0x00;
  std::vector<std::uint8_t> ram_512 = kRamFull;
  ram_512[10] = 0x02;
  std::vector<std::uint8_t> too_many = kPlusRwFull;
  too_many[5] = 0x30;
  const Case cases[] = {
      {"DVD+RW full", "dvd+rw", kPlusRwFull, "-", 0x001A, 2295104},
      {"DVD-RAM full", "dvd-ram", kRamFull, "-", 0x0012, 2236704},
      {"DVD-RW quick", "dvd-rw", kQuickFirst, "-", 0x0013, 2298496},
      {"BD-RE with spares", "bd-re", kBdReFormat, "-", 0x0043, 11826176},
      {"grow on a sequential DVD-RW", "dvd-rw", kGrowRestricted, "5/26/00", 0x0014, 2298496},
      {"DVD+RW with type 00h", "dvd+rw", plus_rw_type0, "5/26/00", 0x001A, 2295104},
      {"DVD-RAM with 512-byte blocks", "dvd-ram", ram_512, "5/26/00", 0x0012, 2236704},
      {"more blocks than the disc", "dvd+rw", too_many, "5/26/00", 0x001A, 2295104},
      {"CD-R", "cd-r", kPlusRwFull, "5/30/06", 0x0009, 359849},
      {"DVD+R", "dvd+r", kPlusRwFull, "5/30/06", 0x001B, 2295104},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Insert(c.medium);
    EXPECT_EQ(Out(Cdb({0x04, 0x11, 0, 0, 0, 0}), c.list).SenseText(), c.sense);
    EXPECT_EQ(In(Cdb({0x46, 2, 0, 0, 0, 0, 0, 0, 8, 0}), 8).Be16At(6), c.profile_after);
    EXPECT_EQ(In(Cdb({0x23, 0, 0, 0, 0, 0, 0, 0, 12, 0}), 12).Be32At(4), c.capacity_after);
  }
  Insert("dvd+rw");
  EXPECT_EQ(Out(Cdb({0x04, 0x01, 0, 0, 0, 0}), kPlusRwFull).SenseText(), "5/24/00") << "no format data";
  std::vector<std::uint8_t> long_descriptor = kPlusRwFull;
  long_descriptor[3] = 16;
  EXPECT_TRUE(Out(Cdb({0x04, 0x11, 0, 0, 0, 0}), long_descriptor).result.transfer_error);
}

TEST_F(EraseFormat, FormatReportsFormatInProgress) {
  Insert("dvd+rw");
  set_->SetTimeScale(0.005);  // 300 ms
  ASSERT_TRUE(Out(Cdb({0x04, 0x11, 0, 0, 0, 0}), kPlusRwFull).Good());
  EXPECT_EQ(Write(0, 16, Pattern(16, 1)).SenseText(), "2/04/04");
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_TRUE(Write(0, 16, Pattern(16, 1)).Good());
}

TEST_F(EraseFormat, RestrictedOverwriteDvdRw) {
  Insert("dvd-rw");
  ASSERT_TRUE(Out(Cdb({0x04, 0x11, 0, 0, 0, 0}), kQuickFirst).Good());
  EXPECT_EQ(DiscInfo().data[2] & 0x03, 2);
  EXPECT_EQ(Write(5, 16, Pattern(16, 1)).SenseText(), "5/21/02") << "ECC blocks only";
  EXPECT_EQ(Write(0, 10, Pattern(10, 1)).SenseText(), "5/21/02");
  ASSERT_TRUE(Write(0, 32, Pattern(32, 1)).Good());
  ASSERT_TRUE(Write(1008, 32, Pattern(32, 2)).Good()) << "grows at the end of the 1000 (1008) formatted blocks";
  EXPECT_EQ(Write(4096, 16, Pattern(16, 3)).SenseText(), "5/21/02") << "but not beyond it";
  ASSERT_TRUE(Out(Cdb({0x04, 0x11, 0, 0, 0, 0}), kGrowRestricted).Good());
  ASSERT_TRUE(Write(4096, 16, Pattern(16, 3)).Good());
  Reply back = Read(0, 32);
  EXPECT_TRUE(back.Good() && back.data == Pattern(32, 1)) << "growing keeps the data";
  ASSERT_TRUE(None(Cdb({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})).Good());
  EXPECT_EQ(In(Cdb({0x46, 2, 0, 0, 0, 0, 0, 0, 8, 0}), 8).Be16At(6), 0x0014) << "blanked back to sequential";
}

}  // namespace
}  // namespace qvr::vdrive::test
