// Writing: disc-at-once audio from LBA -150, track-at-once multisession CD,
// DVD+R sessions, DVD-R reservations, overwrite media and test writes.

#include "vdrive_fixture.h"

namespace qvr::vdrive::test {
namespace {

class Writing : public VdriveTest {
 protected:
  // Audio disc-at-once set-up: write type SAO, raw blocks, disc closed after the session.
  void SelectDiscAtOnce() {
    ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) {
                  p[2] = 0x02;
                  p[3] = 0x04;
                  p[4] = 0x00;
                  p[8] = 0x00;
                }).Good());
  }
  Reply SendCue(const std::vector<std::uint8_t>& cue) {
    int n = static_cast<int>(cue.size());
    return Out(Cdb({0x5D, 0, 0, 0, 0, 0, n >> 16, (n >> 8) & 255, n & 255, 0}), cue);
  }
  // Two audio tracks: 1 with a 2 s pregap and 100 sectors, 2 with a 2 s pregap and 50.
  static std::vector<std::uint8_t> TwoTrackCue() {
    return Cdb({0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0,    //
                0x01, 0x01, 0x00, 0x00, 0, 0, 0, 0,    // track 1 index 0 at 00:00:00 (LBA -150)
                0x01, 0x01, 0x01, 0x00, 0, 0, 2, 0,    // track 1 index 1 at 00:02:00 (LBA 0)
                0x01, 0x02, 0x00, 0x00, 0, 0, 3, 25,   // track 2 index 0 at LBA 100
                0x01, 0x02, 0x01, 0x00, 0, 0, 5, 25,   // track 2 index 1 at LBA 250
                0x01, 0xAA, 0x01, 0x01, 0, 0, 6, 0});  // lead-out at LBA 300
  }
  // Writes the whole program area of TwoTrackCue in 27-sector blocks.
  void WriteAudioProgram(const std::vector<std::uint8_t>& audio) {
    const int total = 450;
    for (int done = 0; done < total; done += 27) {
      int n = std::min(27, total - done);
      std::vector<std::uint8_t> chunk(audio.begin() + done * 2352, audio.begin() + (done + n) * 2352);
      Reply w = Write(-150 + done, n, chunk);
      ASSERT_TRUE(w.Good()) << "at " << done << ": " << w.SenseText();
    }
  }
  void WriteData(std::int64_t lba, int blocks, int seed) {
    std::vector<std::uint8_t> data = Pattern(blocks, seed);
    for (int done = 0; done < blocks; done += 32) {
      int n = std::min(32, blocks - done);
      std::vector<std::uint8_t> chunk(data.begin() + done * 2048, data.begin() + (done + n) * 2048);
      Reply w = Write(lba + done, n, chunk);
      ASSERT_TRUE(w.Good()) << "at " << lba + done << ": " << w.SenseText();
    }
  }
};

TEST_F(Writing, DiscAtOnceAudioFromMinus150) {
  Insert("cd-r");
  SelectDiscAtOnce();
  ASSERT_TRUE(SendCue(TwoTrackCue()).Good());
  // The cue sheet lays out the tracks before any data arrives.
  EXPECT_EQ(TrackInfo(2).Be32At(8), 250u);
  std::vector<std::uint8_t> audio = Pattern(450, 3, 2352);
  EXPECT_EQ(Write(-149, 1, std::vector<std::uint8_t>(2352)).SenseText(), "5/21/02");
  WriteAudioProgram(audio);
  EXPECT_EQ(Write(300, 1, std::vector<std::uint8_t>(2352)).SenseText(), "5/21/00") << "the lead-out is the end";
  ASSERT_TRUE(Sync().Good());

  Reply info = DiscInfo();
  EXPECT_EQ(info.data[2] & 0x03, 2) << "a disc-at-once session with multi-session 00b finalizes the disc";
  Reply toc = In(Cdb({0x43, 0, 0, 0, 0, 0, 0, 0, 100, 0}), 100);
  ASSERT_TRUE(toc.Good());
  ASSERT_EQ(toc.Be16At(0), 2 + 3 * 8);
  EXPECT_EQ(toc.data[5], 0x10);  // audio track, ADR 1
  EXPECT_EQ(toc.Be32At(8), 0u);
  EXPECT_EQ(toc.Be32At(16), 250u);
  EXPECT_EQ(toc.data[22], 0xAA);
  EXPECT_EQ(toc.Be32At(24), 300u);
  // Sectors read back as written, the pregap of track 2 included.
  Reply cd = In(Cdb({0xBE, 0x04, 0, 0, 0, 100, 0, 0, 2, 0x10, 0, 0}), 2 * 2352);
  ASSERT_TRUE(cd.Good()) << cd.SenseText();
  EXPECT_TRUE(std::equal(cd.data.begin(), cd.data.end(), audio.begin() + 250 * 2352));
  EXPECT_EQ(Read(0, 1).SenseText(), "5/64/00") << "audio sectors are not READ (10) blocks";
  EXPECT_EQ(In(Cdb({0xBE, 0x08, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0}), 2352).SenseText(), "5/64/00");
}

TEST_F(Writing, DiscAtOnceTestWriteRecordsNothing) {
  Insert("cd-rw");
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) {
                p[2] = 0x12;  // session at once, test write
                p[3] = 0x04;
                p[4] = 0x00;
              }).Good());
  ASSERT_TRUE(SendCue(TwoTrackCue()).Good());
  WriteAudioProgram(Pattern(450, 3, 2352));
  ASSERT_TRUE(Sync().Good());
  EXPECT_EQ(DiscInfo().data[2], 0x10) << "blank as before";
  EXPECT_EQ(In(Cdb({0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0x10, 0, 0}), 2352).SenseText(), "5/21/00");
}

TEST_F(Writing, CueSheetRefusals) {
  struct Case {
    const char* what;
    int entry, byte, value;  // change byte of entry of TwoTrackCue (-1: none)
    const char* sense;
  };
  const Case cases[] = {
      {"lead-in not track 0", 0, 1, 0x01, "5/26/00"},
      {"first index 0 not at 00:00:00", 1, 7, 1, "5/26/00"},
      {"track numbers skip", 3, 1, 0x03, "5/26/00"},
      {"times go backwards", 3, 6, 1, "5/26/00"},
      {"index numbers skip", 4, 2, 0x02, "5/26/00"},
      {"data form against CTL", 2, 3, 0x10, "5/26/00"},
      {"lead-out beyond the disc", 5, 5, 99, "5/26/00"},
      {"unknown ADR", 2, 0, 0x05, "5/26/00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Insert("cd-r");
    SelectDiscAtOnce();
    std::vector<std::uint8_t> cue = TwoTrackCue();
    cue[static_cast<std::size_t>(c.entry * 8 + c.byte)] = static_cast<std::uint8_t>(c.value);
    EXPECT_EQ(SendCue(cue).SenseText(), c.sense);
    EXPECT_TRUE(DiscInfo().data[2] == 0x00 + 0x00) << "a refused cue sheet changes nothing";
  }
  Insert("cd-r");
  EXPECT_EQ(SendCue(TwoTrackCue()).SenseText(), "5/2C/00") << "track at once takes no cue sheet";
  SelectDiscAtOnce();
  EXPECT_EQ(Write(-150, 1, std::vector<std::uint8_t>(2352)).SenseText(), "5/2C/00") << "SAO writes need a cue sheet";
  Insert("dvd-r");
  EXPECT_EQ(SendCue(TwoTrackCue()).SenseText(), "5/2C/00");
}

TEST_F(Writing, MultisessionCdLayout) {
  Insert("cd-r");
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) { p[3] = 0xC4; }).Good());  // next session allowed
  EXPECT_EQ(Write(1, 1, Pattern(1, 0)).SenseText(), "5/21/02") << "only the next writable address";
  WriteData(0, 300, 1);
  ASSERT_TRUE(Sync().Good());
  ASSERT_TRUE(CloseSession().Good());

  Reply info = DiscInfo();
  EXPECT_EQ(info.data[2], 0x01) << "appendable, last session empty";
  EXPECT_EQ(info.data[4], 2);
  EXPECT_EQ(info.data[6], 2);
  Reply t1 = TrackInfo(1);
  EXPECT_EQ(t1.Be32At(24), 302u) << "300 blocks and 2 run-out blocks";
  // Lead-out 6750, lead-in 4500 and pregap 150 lie between the sessions.
  Reply t2 = TrackInfo(2);
  EXPECT_EQ(t2.Be32At(8), 11702u);
  EXPECT_EQ(t2.Be32At(12), 11702u);
  EXPECT_EQ(t2.data[7] & 0x01, 1);
  EXPECT_EQ(t2.Be32At(16), 359849u - 11702u);
  EXPECT_EQ(Write(302, 1, Pattern(1, 0)).SenseText(), "5/21/02") << "the gap is not writable";

  WriteData(11702, 100, 2);
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) { p[3] = 0x04; }).Good());  // last session
  ASSERT_TRUE(CloseSession().Good());
  EXPECT_EQ(DiscInfo().data[2] & 0x03, 2);
  Reply ms = In(Cdb({0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}), 12);
  EXPECT_EQ(ms.data[3], 2) << "last complete session";
  EXPECT_EQ(ms.Be32At(8), 11702u);
  Reply raw = In(Cdb({0x43, 2, 2, 0, 0, 0, 0, 1, 0, 0}), 256);
  ASSERT_TRUE(raw.Good());
  int b0 = 0;
  for (std::size_t i = 4; i + 11 <= raw.data.size(); i += 11) {
    if (raw.data[i + 3] == 0xB0) {
      ++b0;
      EXPECT_EQ(MsfToLba(raw.data[i + 4], raw.data[i + 5], raw.data[i + 6]), 11702) << "next program area";
    }
  }
  EXPECT_EQ(b0, 1) << "only the first session points to a next one";
  EXPECT_EQ(Write(11802, 1, Pattern(1, 0)).SenseText(), "5/21/02") << "a complete disc takes no writes";
  Reply back = Read(11702, 2);
  ASSERT_TRUE(back.Good());
  std::vector<std::uint8_t> expected = Pattern(100, 2);
  EXPECT_TRUE(std::equal(back.data.begin(), back.data.end(), expected.begin()));
  EXPECT_EQ(Read(400, 1).SenseText(), "5/21/00");
}

TEST_F(Writing, CdTrackAtOnceFlushClosesTrackAndOverburnMargin) {
  Insert("cd-r");
  WriteData(0, 10, 1);
  ASSERT_TRUE(Sync().Good());
  Reply next = TrackInfo(0xFF);
  EXPECT_EQ(next.data[2], 2) << "the flush ended track 1";
  EXPECT_EQ(next.Be32At(12), 10u + 2 + 150) << "run-out and the next track's pregap";
  // The last block a write may reach is the capacity plus the overburn margin.
  std::int64_t start = 162;
  const std::int64_t capacity = 359849, margin = 4500;
  EXPECT_EQ(Out(Cdb({0x2A, 0, 0, 0, 0, 0, 0, 0, 0, 0}), {}).result.status, 0) << "zero blocks is a no-op";
  std::vector<std::uint8_t> one = Pattern(1, 0);
  // Reserve the span up to the margin to reach the end without writing it all.
  std::int64_t size = capacity + margin - start;
  auto s = static_cast<std::uint32_t>(size);
  EXPECT_EQ(None(Cdb({0x53, 0, 0, 0, 0, int(s >> 24), int((s >> 16) & 255), int((s >> 8) & 255), int(s & 255), 0}))
                .SenseText(),
            "-");
  EXPECT_EQ(None(Cdb({0x53, 0, 0, 0, 0, 0, 0, 0, 1, 0})).SenseText(), "5/24/00") << "no room behind it";
}

TEST_F(Writing, DvdPlusRSessions) {
  Insert("dvd+r");
  WriteData(0, 1000, 1);
  ASSERT_TRUE(CloseTrack(1).Good());
  ASSERT_TRUE(None(Cdb({0x5B, 0, 2, 0, 0, 0xFF, 0, 0, 0, 0})).Good());
  EXPECT_EQ(TrackInfo(1).Be32At(24), 1008u) << "padded to the ECC block";
  Reply t2 = TrackInfo(2);
  EXPECT_EQ(t2.Be32At(8) % 16, 0u);
  EXPECT_GT(t2.Be32At(8), 1008u) << "behind the closure of session 1";
  EXPECT_EQ(DiscInfo().data[4], 2);
  std::int64_t second = t2.Be32At(8);
  WriteData(second, 64, 2);
  ASSERT_TRUE(CloseTrack(2).Good());
  ASSERT_TRUE(None(Cdb({0x5B, 0, 6, 0, 0, 0, 0, 0, 0, 0})).Good()) << "finalize";
  Reply info = DiscInfo();
  EXPECT_EQ(info.data[2] & 0x03, 2);
  EXPECT_EQ(info.data[4], 2);
  Reply ms = In(Cdb({0x43, 0, 1, 0, 0, 0, 0, 0, 12, 0}), 12);
  EXPECT_EQ(ms.Be32At(8), static_cast<std::uint32_t>(second));
  EXPECT_EQ(None(Cdb({0x5B, 0, 3, 0, 0, 0, 0, 0, 0, 0})).SenseText(), "5/24/00") << "no function 3 on DVD+R";
}

TEST_F(Writing, DvdRReservedTrackAsTheDataEngineWritesIt) {
  Insert("dvd-r");
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) {
                p[2] = 0x20;  // incremental, LS_V
                p[3] = 0xE5;  // multi-session 11b, FP, track mode 5
                p[5] = 16;
                p[13] = 16;
              }).Good());
  std::vector<std::uint8_t> stamp = Cdb({0, 0x14, 0, 0, 0, 0, 0, 0});
  for (char ch : std::string("20261211101500")) stamp.push_back(static_cast<std::uint8_t>(ch));
  ASSERT_TRUE(Out(Cdb({0xBF, 0, 0, 0, 0, 0, 0, 0x0F, 0, 22, 0, 0}), stamp).Good());
  ASSERT_TRUE(None(Cdb({0x53, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0})).Good());  // 256 blocks
  EXPECT_EQ(TrackInfo(1).data[6] & 0x80, 0x80) << "reserved";
  EXPECT_EQ(TrackInfo(2).Be32At(8), 256u);
  WriteData(0, 256, 4);
  EXPECT_EQ(Write(256, 1, Pattern(1, 0)).SenseText(), "5/21/02") << "the reservation is full";
  ASSERT_TRUE(CloseTrack(1).Good());
  ASSERT_TRUE(CloseTrack(2).Good()) << "closing the blank invisible track is harmless";
  ASSERT_TRUE(None(Cdb({0x5B, 0, 2, 0, 0, 3, 0, 0, 0, 0})).Good());
  Reply info = DiscInfo();
  EXPECT_EQ(info.data[2], 0x01) << "multi-session 11b keeps it appendable";
  EXPECT_EQ(TrackInfo(2).Be32At(8), 256u + 17408u);
}

TEST_F(Writing, DvdRDiscAtOnceNeedsAReservation) {
  Insert("dvd-r");
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) { p[2] = 0x02; }).Good());
  EXPECT_EQ(Write(0, 16, Pattern(16, 1)).SenseText(), "5/2C/00");
  ASSERT_TRUE(None(Cdb({0x53, 0, 0, 0, 0, 0, 0, 0, 32, 0})).Good());
  EXPECT_TRUE(Write(0, 16, Pattern(16, 1)).Good());
}

TEST_F(Writing, DvdPlusRwOverwriteAfterFormat) {
  Insert("dvd+rw");
  EXPECT_EQ(Write(0, 1, Pattern(1, 0)).SenseText(), "5/30/05") << "unformatted";
  std::vector<std::uint8_t> plus_rw_full = Cdb({0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05, 0x40, 0x98, 0, 0, 0});
  ASSERT_TRUE(Out(Cdb({0x04, 0x11, 0, 0, 0, 0}), plus_rw_full).Good());
  WriteData(100000, 40, 1);
  WriteData(0, 32, 2);
  WriteData(16, 32, 3);  // overwrite half of the previous write
  Reply back = Read(0, 48);
  ASSERT_TRUE(back.Good());
  std::vector<std::uint8_t> a = Pattern(32, 2), b = Pattern(32, 3);
  EXPECT_TRUE(std::equal(a.begin(), a.begin() + 16 * 2048, back.data.begin()));
  EXPECT_TRUE(std::equal(b.begin(), b.end(), back.data.begin() + 16 * 2048));
  EXPECT_EQ(Write(2295104 - 1, 2, Pattern(2, 0)).SenseText(), "5/21/00");
  Reply info = DiscInfo();
  EXPECT_EQ(info.data[2] & 0x13, 0x12) << "erasable and complete";
  EXPECT_EQ(TrackInfo(1).Be32At(24), 2295104u);
  ASSERT_TRUE(None(Cdb({0x5B, 0, 3, 0, 0, 0xFF, 0, 0, 0, 0})).Good());
  EXPECT_EQ(None(Cdb({0x5B, 0, 1, 0, 0, 1, 0, 0, 0, 0})).SenseText(), "5/24/00");
}

TEST_F(Writing, TestWriteLeavesTheMediumUnchanged) {
  Insert("cd-r");
  ASSERT_TRUE(SelectWriteParameters([](std::uint8_t* p) { p[2] |= 0x10; }).Good());
  WriteData(0, 64, 1);
  EXPECT_EQ(TrackInfo(1).Be32At(12), 64u) << "the simulation advances its address";
  ASSERT_TRUE(CloseSession().Good());
  Reply info = DiscInfo();
  EXPECT_EQ(info.data[2], 0x00) << "still blank";
  EXPECT_EQ(Read(0, 1).SenseText(), "5/21/00");
  EXPECT_TRUE(drive().Info().medium.tracks.empty());
  // Media without simulation refuse the test-write bit.
  Insert("dvd+r");
  EXPECT_EQ(SelectWriteParameters([](std::uint8_t* p) { p[2] |= 0x10; }).SenseText(), "5/26/00");
}

TEST_F(Writing, BufferFillsAndDrains) {
  Insert("dvd-ram");
  set_->SetTimeScale(1);  // the buffer drains at the real write speed
  Reply before = In(Cdb({0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}), 12);
  ASSERT_TRUE(before.Good());
  EXPECT_EQ(before.Be32At(4), before.Be32At(8)) << "empty";
  WriteData(0, 256, 1);
  Reply during = In(Cdb({0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}), 12);
  EXPECT_LT(during.Be32At(8), during.Be32At(4));
  ASSERT_TRUE(Sync().Good());
  Reply after = In(Cdb({0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}), 12);
  EXPECT_EQ(after.Be32At(4), after.Be32At(8)) << "the flush empties it";
}

}  // namespace
}  // namespace qvr::vdrive::test
