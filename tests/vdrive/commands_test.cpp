// Answers and refusals of the identification, state and structure commands,
// per medium.

#include <fstream>

#include "vdrive_fixture.h"

namespace qvr::vdrive::test {
namespace {

using Commands = VdriveTest;

TEST_F(Commands, Inquiry) {
  Reply full = In(Cdb({0x12, 0, 0, 0, 96, 0}), 96);
  ASSERT_TRUE(full.Good());
  EXPECT_EQ(full.data[0], 0x05);
  EXPECT_EQ(full.data[1], 0x80) << "removable";
  EXPECT_EQ(std::string(full.data.begin() + 8, full.data.begin() + 32), "QVR     Virtual Recorder");
  EXPECT_EQ(In(Cdb({0x12, 0, 0, 0, 36, 0}), 96).data.size(), 36u) << "allocation length";
  Reply serial = In(Cdb({0x12, 1, 0x80, 0, 64, 0}), 64);
  ASSERT_TRUE(serial.Good());
  EXPECT_EQ(serial.data[1], 0x80);
  EXPECT_EQ(In(Cdb({0x12, 1, 0x83, 0, 64, 0}), 64).SenseText(), "5/24/00");
  EXPECT_EQ(In(Cdb({0x12, 0, 0x80, 0, 64, 0}), 64).SenseText(), "5/24/00") << "page without EVPD";
  EXPECT_EQ(In(Cdb({0x12, 2, 0, 0, 64, 0}), 64).SenseText(), "5/24/00");
}

struct MediumCase {
  const char* name;
  std::uint16_t profile;
  int disc_byte2;        // READ DISC INFORMATION byte 2 of the new disc
  std::uint32_t blocks;  // first descriptor of READ FORMAT CAPACITIES
  int descriptor_type;
  bool atip;
  std::uint32_t free_blocks;  // READ TRACK INFORMATION track 1 (blank: the invisible track)
};

TEST_F(Commands, NewMediaAsARealDriveReportsThem) {
  const MediumCase cases[] = {
      {"cd-r", 0x0009, 0x00, 359849, 2, true, 359849},
      {"cd-rw", 0x000A, 0x10, 359849, 2, true, 359849},
      {"dvd-r", 0x0011, 0x00, 2298496, 2, false, 2298496},
      {"dvd-rw", 0x0014, 0x10, 2298496, 1, false, 2298496},
      {"dvd+r", 0x001B, 0x00, 2295104, 2, false, 2295104},
      {"dvd+rw", 0x001A, 0x10, 2295104, 1, false, 2295104},
      {"dvd+r-dl", 0x002B, 0x00, 4173824, 2, false, 4173824},
      {"dvd-ram", 0x0012, 0x1F, 2236704, 2, false, 2236704},
      {"bd-r", 0x0041, 0x00, 12219392, 2, false, 12219392},
      {"bd-re", 0x0043, 0x10, 12219392, 1, false, 12219392},
  };
  for (const MediumCase& c : cases) {
    SCOPED_TRACE(c.name);
    Insert(c.name);
    Reply config = In(Cdb({0x46, 2, 0, 0, 0, 0, 0, 0, 112, 0}), 112);
    ASSERT_TRUE(config.Good());
    EXPECT_EQ(config.Be16At(6), c.profile);
    Reply info = DiscInfo();
    ASSERT_TRUE(info.Good());
    EXPECT_EQ(info.data[2], c.disc_byte2);
    EXPECT_EQ(info.data[4], 1) << "one (empty) session";
    Reply capacities = In(Cdb({0x23, 0, 0, 0, 0, 0, 0, 0, 124, 0}), 124);
    ASSERT_TRUE(capacities.Good());
    EXPECT_EQ(capacities.Be32At(4), c.blocks);
    EXPECT_EQ(capacities.data[8] & 0x03, c.descriptor_type);
    Reply atip = In(Cdb({0x43, 2, 4, 0, 0, 0, 0, 0, 30, 0}), 30);
    EXPECT_EQ(atip.Good(), c.atip);
    if (c.atip) {
      EXPECT_EQ(atip.data[6] & 0xC0, c.profile == 0x000A ? 0xC0 : 0x80) << "disc type bit tells CD-RW";
      EXPECT_EQ(MsfToLba(atip.data[12], atip.data[13], atip.data[14]), 359849);
    }
    Reply track = TrackInfo(1);
    ASSERT_TRUE(track.Good());
    EXPECT_EQ(track.Be32At(16), c.free_blocks);
    if (c.profile != 0x0012) {  // DVD-RAM comes formatted: one track spans it
      EXPECT_EQ(In(Cdb({0x43, 0, 0, 0, 0, 0, 0, 0, 12, 0}), 12).SenseText(), "5/24/00") << "no TOC on a blank disc";
    }
  }
}

TEST_F(Commands, PressedDiscsFromAnImage) {
  std::string image = folder_ + "/pressed.iso";
  std::vector<std::uint8_t> data = Pattern(100, 9);
  std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
  struct Case {
    const char* name;
    std::uint16_t profile;
  };
  for (const Case& c : {Case{"cd-rom", 0x0008}, Case{"dvd-rom", 0x0010}, Case{"bd-rom", 0x0040}}) {
    SCOPED_TRACE(c.name);
    std::string error;
    EXPECT_FALSE(drive().Insert(*MediaKindFromName(c.name), "", &error)) << "a pressed disc needs an image";
    Insert(c.name, image);
    EXPECT_EQ(In(Cdb({0x46, 2, 0, 0, 0, 0, 0, 0, 8, 0}), 8).Be16At(6), c.profile);
    EXPECT_EQ(DiscInfo().data[2] & 0x03, 2);
    EXPECT_EQ(In(Cdb({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 8).Be32At(0), 99u);
    Reply back = Read(0, 100);
    ASSERT_TRUE(back.Good());
    EXPECT_EQ(back.data, data);
    EXPECT_EQ(Read(100, 1).SenseText(), "5/21/00");
    EXPECT_EQ(Write(0, 1, Pattern(1, 0)).SenseText(), "7/27/00");
    EXPECT_EQ(None(Cdb({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})).SenseText(), "5/30/05");
  }
  std::string error;
  EXPECT_FALSE(drive().Insert(MediaKind::kCdR, image, &error)) << "a blank disc takes no image";
}

TEST_F(Commands, FeaturesOfTheCurrentMedium) {
  struct Case {
    const char* medium;
    int feature;
    bool current;
    int data_byte;  // first data byte, -1 when not checked
  };
  const Case cases[] = {
      {"dvd+rw", 0x002A, true, 0x01},  {"dvd+r", 0x002A, false, -1}, {"dvd+r", 0x002B, true, 0x01},
      {"dvd+r-dl", 0x003B, true, 0x01}, {"dvd-r", 0x002F, true, 0x46}, {"dvd-rw", 0x002F, true, 0x46},
      {"cd-r", 0x002D, true, -1},      {"cd-rw", 0x002E, true, -1},  {"bd-re", 0x0041, true, -1},
      {"bd-r", 0x0040, true, -1},      {"dvd-ram", 0x0020, true, -1}, {"cd-r", 0x0020, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.medium) + " feature " + std::to_string(c.feature));
    Insert(c.medium);
    Reply r = In(Cdb({0x46, 2, c.feature >> 8, c.feature & 255, 0, 0, 0, 0, 112, 0}), 112);
    ASSERT_TRUE(r.Good());
    ASSERT_GE(r.data.size(), 12u);
    EXPECT_EQ(r.Be16At(8), c.feature);
    EXPECT_EQ(r.data[10] & 0x01, c.current ? 1 : 0);
    if (c.data_byte >= 0) {
      EXPECT_EQ(r.data[12], c.data_byte);
    }
  }
  Reply absent = In(Cdb({0x46, 2, 0x00, 0x33, 0, 0, 0, 0, 112, 0}), 112);
  EXPECT_EQ(absent.data.size(), 8u) << "an unknown feature answers the header alone";
  EXPECT_EQ(In(Cdb({0x46, 3, 0, 0, 0, 0, 0, 0, 112, 0}), 112).SenseText(), "5/24/00");
  drive().Eject();
  Reply none = In(Cdb({0x46, 0, 0, 0, 0, 0, 0, 1, 0, 0}), 256);
  EXPECT_EQ(none.Be16At(6), 0) << "no current profile without a disc";
}

TEST_F(Commands, NoMediumAndTray) {
  const std::vector<std::vector<std::uint8_t>> need_disc = {
      Cdb({0x00, 0, 0, 0, 0, 0}),
      Cdb({0x51, 0, 0, 0, 0, 0, 0, 0, 34, 0}),
      Cdb({0x52, 1, 0, 0, 0, 1, 0, 0, 48, 0}),
      Cdb({0x43, 0, 0, 0, 0, 0, 0, 0, 12, 0}),
      Cdb({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
      Cdb({0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}),
      Cdb({0x23, 0, 0, 0, 0, 0, 0, 0, 12, 0}),
      Cdb({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
      Cdb({0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
  };
  for (const auto& cdb : need_disc) {
    Reply r = Drive::DirectionOf(cdb[0]) == DataDirection::kNone ? None(cdb) : In(cdb, 2048);
    EXPECT_EQ(r.SenseText(), "2/3A/01") << int{cdb[0]};
  }
  Insert("cd-r");
  ASSERT_TRUE(None(Cdb({0x1E, 0, 0, 0, 1, 0})).Good());
  EXPECT_EQ(None(Cdb({0x1B, 0, 0, 0, 2, 0})).SenseText(), "5/53/02") << "removal prevented";
  ASSERT_TRUE(None(Cdb({0x1E, 0, 0, 0, 0, 0})).Good());
  ASSERT_TRUE(None(Cdb({0x1B, 0, 0, 0, 2, 0})).Good());
  EXPECT_EQ(None(Cdb({0x00, 0, 0, 0, 0, 0})).SenseText(), "2/3A/02") << "tray open";
  EXPECT_TRUE(In(Cdb({0x12, 0, 0, 0, 36, 0}), 36).Good());
  ASSERT_TRUE(None(Cdb({0x1B, 0, 0, 0, 3, 0})).Good());
  EXPECT_TRUE(None(Cdb({0x00, 0, 0, 0, 0, 0})).Good()) << "the disc came back in";
}

TEST_F(Commands, UnknownOpcodesAndShortCdbs) {
  Insert("cd-r");
  for (int op : {0x42, 0x06, 0xD8, 0xFF, 0xAD, 0x2E}) {
    EXPECT_EQ(In(Cdb({op, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 16).SenseText(), "5/20/00") << op;
  }
  EXPECT_EQ(In(Cdb({0x28, 0, 0, 0, 0, 0}), 2048).SenseText(), "5/24/00") << "6 bytes of a 10-byte command";
  EXPECT_EQ(In({}, 16).SenseText(), "5/24/00");
  CommandResult null_buffer = drive().Execute(Cdb({0x12, 0, 0, 0, 36, 0}), nullptr, 36, DataDirection::kIn);
  EXPECT_TRUE(null_buffer.transfer_error);
}

TEST_F(Commands, ModeSelectValidation) {
  struct Case {
    const char* what;
    const char* medium;
    int byte, value;  // on the page
    const char* sense;
  };
  const Case cases[] = {
      {"layer jump write type", "cd-r", 2, 0x04, "5/26/00"},
      {"multi-session 10b", "cd-r", 3, 0x84, "5/26/00"},
      {"reserved data block type", "cd-r", 4, 0x05, "5/26/00"},
      {"session format 30h", "cd-r", 8, 0x30, "5/26/00"},
      {"raw audio blocks in a data track", "cd-r", 4, 0x00, "5/26/00"},
      {"raw write without sub-channel", "cd-r", 2, 0x03, "5/26/00"},
      {"track at once on DVD-R", "dvd-r", 2, 0x01, "5/26/00"},
      {"audio blocks on DVD-R", "dvd-rw", 4, 0x00, "5/26/00"},
      {"test write on DVD+RW", "dvd+rw", 2, 0x11, "5/26/00"},
      {"test write on BD-R", "bd-r", 2, 0x11, "5/26/00"},
      {"page length", "cd-r", 1, 0x30, "5/26/00"},
      {"session at once audio", "cd-r", 2, 0x02, "-"},
      {"incremental DVD-R", "dvd-r", 2, 0x00, "-"},
      {"test write on CD-RW", "cd-rw", 2, 0x11, "-"},
      {"DVD+R ignores the page", "dvd+r", 2, 0x02, "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Insert(c.medium);
    Reply r = SelectWriteParameters([&c](std::uint8_t* p) { p[c.byte] = static_cast<std::uint8_t>(c.value); });
    EXPECT_EQ(r.SenseText(), c.sense);
    if (r.Good()) {
      EXPECT_EQ(ModeSense(0x05).data[8 + c.byte], c.value) << "the page sticks";
    }
  }
  Insert("cd-r");
  std::vector<std::uint8_t> header(8, 0);
  EXPECT_EQ(Out(Cdb({0x55, 0x00, 0, 0, 0, 0, 0, 0, 8, 0}), header).SenseText(), "5/24/00") << "PF clear";
  EXPECT_EQ(Out(Cdb({0x55, 0x11, 0, 0, 0, 0, 0, 0, 8, 0}), header).SenseText(), "5/24/00") << "save pages";
  EXPECT_EQ(Out(Cdb({0x55, 0x10, 0, 0, 0, 0, 0, 0, 4, 0}), header).SenseText(), "5/1A/00");
  EXPECT_TRUE(Out(Cdb({0x55, 0x10, 0, 0, 0, 0, 0, 0, 9, 0}), header).result.transfer_error) << "list longer than the data";
  Reply caps = ModeSense(0x2A);
  std::vector<std::uint8_t> list(caps.data.begin(), caps.data.end());
  list[0] = list[1] = 0;
  list[8 + 2] ^= 0x01;
  int n = static_cast<int>(list.size());
  EXPECT_EQ(Out(Cdb({0x55, 0x10, 0, 0, 0, 0, 0, n >> 8, n & 255, 0}), list).SenseText(), "5/26/00")
      << "capabilities are not changeable";
  EXPECT_EQ(In(Cdb({0x5A, 0, 0xC5, 0, 0, 0, 0, 1, 0, 0}), 256).SenseText(), "5/39/00") << "no saved pages";
  EXPECT_EQ(In(Cdb({0x5A, 0, 0x0E, 0, 0, 0, 0, 1, 0, 0}), 256).SenseText(), "5/24/00");
  Reply all = In(Cdb({0x5A, 0, 0x3F, 0, 0, 0, 0, 1, 0, 0}), 256);
  ASSERT_TRUE(all.Good());
  EXPECT_EQ(all.data[8], 0x01);
  EXPECT_EQ(all.data[8 + 12], 0x05);
  EXPECT_EQ(all.data[8 + 12 + 52], 0x2A);
}

TEST_F(Commands, SpeedsRoundToTheMediumsTable) {
  struct Case {
    const char* medium;
    int requested;
    int reported;
  };
  const Case cases[] = {
      {"cd-r", 5000, 4234}, {"cd-r", 0xFFFF, 8467}, {"cd-r", 100, 706},
      {"cd-rw", 8467, 4234}, {"dvd+r", 11000, 5540}, {"bd-r", 40000, 35964},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.medium) + " " + std::to_string(c.requested));
    Insert(c.medium);
    ASSERT_TRUE(None(Cdb({0xBB, 0, 0xFF, 0xFF, c.requested >> 8, c.requested & 255, 0, 0, 0, 0, 0, 0})).Good());
    Reply page = ModeSense(0x2A);
    EXPECT_EQ(page.Be16At(8 + 28), c.reported);
    EXPECT_EQ(page.Be16At(8 + 20), c.reported);
  }
  Insert("dvd+r");
  std::vector<std::uint8_t> descriptor(28, 0);
  descriptor[11] = 100;                   // end LBA
  descriptor[14] = 0x2B, descriptor[15] = 0x48;  // read 11080 KB
  descriptor[18] = 0x03, descriptor[19] = 0xE8;  // in 1000 ms
  descriptor[22] = 0x2B, descriptor[23] = 0x48;  // write 11080 KB
  descriptor[26] = 0x03, descriptor[27] = 0xE8;
  ASSERT_TRUE(Out(Cdb({0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}), descriptor).Good());
  EXPECT_EQ(ModeSense(0x2A).Be16At(8 + 28), 11080);
  descriptor[26] = descriptor[27] = 0;
  EXPECT_EQ(Out(Cdb({0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}), descriptor).SenseText(), "5/26/00");
  EXPECT_EQ(Out(Cdb({0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0}), descriptor).SenseText(), "5/1A/00");
}

TEST_F(Commands, MediaEventsAreReportedOnce) {
  auto media_event = [this] {
    Reply r = In(Cdb({0x4A, 1, 0, 0, 0x10, 0, 0, 0, 8, 0}), 8);
    EXPECT_TRUE(r.Good());
    EXPECT_EQ(r.data[2] & 0x07, 4);
    return std::make_pair(int{r.data[4]}, int{r.data[5]});
  };
  Insert("dvd+r");
  EXPECT_EQ(media_event(), std::make_pair(2, 2)) << "new media, present";
  EXPECT_EQ(media_event(), std::make_pair(0, 2));
  drive().Eject();
  EXPECT_EQ(media_event(), std::make_pair(3, 0)) << "media removal";
  EXPECT_EQ(In(Cdb({0x4A, 0, 0, 0, 0x10, 0, 0, 0, 8, 0}), 8).SenseText(), "5/24/00") << "polled only";
  Reply none = In(Cdb({0x4A, 1, 0, 0, 0x40, 0, 0, 0, 8, 0}), 8);
  EXPECT_EQ(none.data[2], 0x80) << "no supported class asked";
}

TEST_F(Commands, TrackAndTocRefusals) {
  Insert("cd-r");
  EXPECT_EQ(TrackInfo(5).SenseText(), "5/24/00");
  EXPECT_EQ(In(Cdb({0x52, 3, 0, 0, 0, 1, 0, 0, 48, 0}), 48).SenseText(), "5/24/00");
  EXPECT_EQ(TrackInfo(0xFF).Be32At(12), 0u) << "the invisible track of a blank disc";
  Insert("dvd+r");
  EXPECT_EQ(In(Cdb({0x43, 0, 2, 0, 0, 0, 0, 0, 48, 0}), 48).SenseText(), "5/24/00") << "no raw TOC on DVD";
  EXPECT_EQ(In(Cdb({0x43, 0, 4, 0, 0, 0, 0, 0, 48, 0}), 48).SenseText(), "5/24/00") << "no ATIP on DVD";
}

TEST_F(Commands, RequestSenseWithoutAutoSense) {
  std::uint8_t sense[18];
  CommandResult tur = drive().Execute(Cdb({0x00, 0, 0, 0, 0, 0}), nullptr, 0, DataDirection::kNone, false);
  EXPECT_EQ(tur.status, 2);
  Insert("cd-r");  // the pending sense stays until it is asked for
  CommandResult rs = drive().Execute(Cdb({0x03, 0, 0, 0, 18, 0}), sense, 18, DataDirection::kIn, false);
  ASSERT_TRUE(rs.Good());
  EXPECT_EQ(sense[0], 0x70);
  EXPECT_EQ(sense[2], 0x02);
  EXPECT_EQ(sense[12], 0x3A);
  drive().Execute(Cdb({0x03, 0, 0, 0, 18, 0}), sense, 18, DataDirection::kIn, false);
  EXPECT_EQ(sense[2], 0x00) << "read once";
  EXPECT_EQ(sense[12], 0x00);
}

TEST_F(Commands, ControlCommands) {
  struct Case {
    const char* medium;
    std::vector<std::uint8_t> cdb;
    std::vector<std::uint8_t> data;
    const char* sense;
  };
  std::vector<std::uint8_t> stamp = Cdb({0, 0x14, 0, 0, 0, 0, 0, 0});
  for (char ch : std::string("2026121110xx00")) stamp.push_back(static_cast<std::uint8_t>(ch));
  const Case cases[] = {
      {"cd-r", Cdb({0x01, 0, 0, 0, 0, 0}), {}, "-"},
      {"cd-r", Cdb({0x2B, 0, 0, 0x05, 0x8F, 0x3D, 0, 0, 0, 0}), {}, "5/21/00"},  // LBA 359849 + 4500
      {"cd-r", Cdb({0x2B, 0, 0, 0, 0x10, 0, 0, 0, 0, 0}), {}, "-"},
      {"cd-r", Cdb({0x54, 1, 0, 0, 0, 0, 0, 0, 0, 0}), {}, "-"},
      {"dvd+r", Cdb({0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0}), stamp, "5/24/00"},
      {"dvd-r", Cdb({0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0}), stamp, "5/26/00"},
      {"dvd-r", Cdb({0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 8, 0, 0}), Cdb({0, 6, 0, 0, 0, 0, 0, 0}), "5/1A/00"},
      {"dvd-r", Cdb({0x53, 1, 0, 0, 0, 0, 0, 0, 16, 0}), {}, "5/24/00"},
      {"dvd-ram", Cdb({0x53, 0, 0, 0, 0, 0, 0, 0, 16, 0}), {}, "5/2C/00"},
      {"dvd-r", Cdb({0x53, 0, 0, 0, 0, 0, 0, 0, 0, 0}), {}, "5/24/00"},
      {"cd-r", Cdb({0xBB, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), {}, "5/24/00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.medium) + " " + std::to_string(c.cdb[0]));
    Insert(c.medium);
    Reply r = c.data.empty() ? None(c.cdb) : Out(c.cdb, c.data);
    EXPECT_EQ(r.SenseText(), c.sense);
  }
  Reply blocks = In(Cdb({0x5C, 1, 0, 0, 0, 0, 0, 0, 12, 0}), 12);
  ASSERT_TRUE(blocks.Good());
  EXPECT_EQ(blocks.Be32At(8), 4u * 1024 * 1024 / 2048) << "buffer capacity in blocks";
}

TEST_F(Commands, ReadCdOfADataSector) {
  Insert("cd-r");
  ASSERT_TRUE(Write(0, 1, Pattern(1, 5)).Good());
  Reply raw = In(Cdb({0xBE, 0x08, 0, 0, 0, 0, 0, 0, 1, 0xF8, 0, 0}), 2352);
  ASSERT_TRUE(raw.Good()) << raw.SenseText();
  ASSERT_EQ(raw.data.size(), 2352u);
  EXPECT_EQ(raw.data[0], 0x00);
  EXPECT_EQ(raw.data[1], 0xFF);
  EXPECT_EQ(raw.data[11], 0x00);
  EXPECT_EQ(raw.data[12], 0x00);  // 00:02:00 in BCD
  EXPECT_EQ(raw.data[13], 0x02);
  EXPECT_EQ(raw.data[15], 0x01) << "mode 1";
  std::vector<std::uint8_t> user = Pattern(1, 5);
  EXPECT_TRUE(std::equal(user.begin(), user.end(), raw.data.begin() + 16));
  // EDC and the P and Q parity of ECMA-130: each codeword has zero syndromes.
  auto mul = [](int a, int b) {
    int r = 0;
    for (; b; b >>= 1, a = (a << 1) ^ ((a & 0x80) ? 0x11D : 0)) {
      if (b & 1) r ^= a;
    }
    return r & 0xFF;
  };
  auto power = [&mul](int n) {
    int r = 1;
    while (n-- > 0) r = mul(r, 2);
    return r;
  };
  const std::uint8_t* v = raw.data.data() + 12;
  for (int j = 0; j < 86; ++j) {
    int s0 = 0, s1 = 0;
    for (int k = 0; k < 26; ++k) {
      s0 ^= v[j + 86 * k];
      s1 ^= mul(v[j + 86 * k], power(25 - k));
    }
    EXPECT_EQ(s0 | s1, 0) << "P column " << j;
  }
  for (int q = 0; q < 52; ++q) {
    int s0 = 0, s1 = 0, index = (q >> 1) * 86 + (q & 1);
    for (int k = 0; k < 45; ++k) {
      int symbol = k < 43 ? v[index] : v[2236 + q + (k - 43) * 52];
      s0 ^= symbol;
      s1 ^= mul(symbol, power(44 - k));
      index = (index + 88) % 2236;
    }
    EXPECT_EQ(s0 | s1, 0) << "Q diagonal " << q;
  }
  std::uint32_t crc = 0;  // over data and the stored EDC: zero when the EDC matches
  for (int i = 0; i < 2068; ++i) {
    crc ^= raw.data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0xD8018001u : 0);
  }
  EXPECT_EQ(crc, 0u);
  EXPECT_NE(raw.Be32At(2064), 0u);
  Reply user_only = In(Cdb({0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0}), 2352);
  EXPECT_EQ(user_only.data, user);
  EXPECT_EQ(In(Cdb({0xBE, 0x04, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0}), 2352).SenseText(), "5/64/00") << "not CD-DA";
  EXPECT_EQ(In(Cdb({0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0x10, 1, 0}), 2352).SenseText(), "5/24/00") << "no sub-channel";
  Insert("dvd-ram");
  EXPECT_EQ(In(Cdb({0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0}), 2352).SenseText(), "5/30/02");
}

}  // namespace
}  // namespace qvr::vdrive::test
