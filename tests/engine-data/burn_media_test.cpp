// A generated tree burned to every medium of the virtual recorder, read back
// by independent readers, with the write parameters and the closing
// sequence each medium gets.

#include <gtest/gtest.h>

#include "drive_fixture.h"
#include "qvr/data/media_type.h"

namespace qvr::data::test {
namespace {

struct PageExpectation {
  uint8_t writeType, trackMode, multiSession;  // multi-session field (byte 3 bits 7-6)
  bool fixedPacket, linkSizeValid;
  uint32_t packetSize;
  uint8_t linkSize;
};

struct MediumCase {
  const char* medium;
  uint8_t mediaType;
  PageExpectation page;                 // the page of the data phase
  std::vector<std::string> closing;     // CLOSE TRACK/SESSION: immediate, function, number, status
};

const MediumCase kCases[] = {
    {"cd-r", MediaCdR, {1, 4, 0, false, false, 0, 0}, {"1 2 0 GOOD"}},
    {"cd-rw", MediaCdRw, {1, 4, 0, false, false, 0, 0}, {"1 2 0 GOOD"}},
    {"dvd-r", MediaDvdR, {0, 5, 3, true, true, 16, 16}, {"0 1 1 GOOD", "0 1 2 GOOD", "0 2 3 GOOD"}},
    {"dvd-rw", MediaDvdRwSequential, {0, 5, 3, false, true, 16, 16}, {"0 1 1 GOOD", "1 2 0 GOOD"}},
    {"dvd+r", MediaDvdPlusR, {2, 4, 3, true, true, 16, 16}, {"0 1 1 GOOD", "0 2 255 GOOD"}},
    {"dvd+r-dl", MediaDvdPlusRDl, {2, 4, 0, false, true, 0, 0}, {"0 1 1 GOOD", "0 2 0 GOOD"}},
    {"dvd+rw", MediaDvdPlusRw, {2, 4, 0, false, true, 0, 16}, {"0 3 255 GOOD"}},
    // DVD-RAM and BD-RE know no tracks to close: every close is refused and the burn still succeeds.
    {"dvd-ram", MediaDvdRam, {1, 4, 0, false, false, 0, 0}, {"0 1 0 CHECK", "1 1 0 CHECK", "1 2 0 CHECK", "0 2 0 CHECK"}},
    {"bd-r", MediaBdR, {1, 4, 0, false, false, 0, 0}, {"0 1 0 CHECK", "1 1 0 CHECK", "1 2 0 GOOD"}},
    {"bd-re", MediaBdRe, {1, 4, 0, false, false, 0, 0}, {"0 1 0 CHECK", "1 1 0 CHECK", "1 2 0 CHECK", "0 2 0 CHECK"}},
};

class BurnMedia : public DriveTest, public ::testing::WithParamInterface<MediumCase> {};

TEST_P(BurnMedia, TreeReadsBackWithTheMediumsParametersAndClosing) {
  const MediumCase& c = GetParam();
  Insert(c.medium);
  auto b = Burner();
  EXPECT_EQ(b->GetMediaType(), c.mediaType);
  const std::string tree = MakeTree("tree", 1);
  Compile(*b, {tree});
  drive().ClearTrace();
  ASSERT_TRUE(BurnTree(*b)) << b->GetErrorText();
  EXPECT_EQ(b->GetWrittenSectors(), b->GetImageSectors());

  const std::string iso = ExportIso();
  for (const std::string tool : {"xorriso", "bsdtar"}) {
    if (!HaveTool(tool)) continue;
    const std::string out = src_ / ("read-" + tool);
    const ToolResult r = Extract(tool, iso, out);
    ASSERT_EQ(r.code, 0) << tool << ": " << r.output;
    EXPECT_EQ(TreeDifference(out + "/tree", tree), "") << tool;
  }
  if (HaveTool("isoinfo")) {
    EXPECT_NE(RunTool("isoinfo -J -l -i " + Quote(iso)).output.find("Long file name of a report.txt"), std::string::npos);
  }

  // The page in force for the data: the last MODE SELECT before the first WRITE (10).
  const auto selects = ModeSelects();
  ASSERT_GE(selects.size(), 2u);
  std::vector<uint8_t> page;
  {
    std::ifstream in(log_);
    std::string line;
    int seen = 0;
    while (std::getline(in, line) && line.find("WRITE (10)") == std::string::npos) {
      if (line.find("MODE SELECT (10)") != std::string::npos) ++seen;
    }
    page = selects[static_cast<std::size_t>(seen - 1)];
  }
  ASSERT_GE(page.size(), 8u + 16u);
  const uint8_t* p = page.data() + 8;
  EXPECT_EQ(p[0] & 0x3F, 0x05);
  EXPECT_EQ(p[2] & 0x0F, c.page.writeType);
  EXPECT_EQ(p[3] & 0x0F, c.page.trackMode);
  EXPECT_EQ(p[3] >> 6, c.page.multiSession);
  EXPECT_EQ((p[3] & 0x20) != 0, c.page.fixedPacket);
  EXPECT_EQ((p[2] & 0x20) != 0, c.page.linkSizeValid);
  EXPECT_EQ(p[4] & 0x0F, 8);  // mode 1, 2048 bytes
  EXPECT_EQ(Get32BEOf(p + 10), c.page.packetSize);
  EXPECT_EQ(p[5], c.page.linkSize);
  EXPECT_TRUE(p[2] & 0x40) << "BUFE with BurnProof on a drive with underrun protection";
  EXPECT_EQ(ClosingCommands(), c.closing);
}

INSTANTIATE_TEST_SUITE_P(EveryMedium, BurnMedia, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                           std::string name = info.param.medium;
                           for (char& ch : name) ch = (ch == '-' ? '_' : ch == '+' ? 'P' : ch);
                           return name;
                         });

// The disc stays appendable unless FinalizeDisc: CD closes its last session
// with multi-session 00b, DVD+R and DVD+R DL finalize with close function 6.
struct FinalizeCase {
  const char* medium;
  bool finalize;
  uint8_t closingMultiSession;  // of the last MODE SELECT; 255: not checked
  std::string lastClose;
  bool finalized;
};

class Finalizing : public DriveTest, public ::testing::WithParamInterface<FinalizeCase> {};

TEST_P(Finalizing, DiscStaysAppendableUnlessFinalized) {
  const FinalizeCase& c = GetParam();
  Insert(c.medium);
  auto b = Burner();
  b->FinalizeDisc = c.finalize;
  Compile(*b, {MakeTree("tree", 2)});
  drive().ClearTrace();
  ASSERT_TRUE(BurnTree(*b)) << b->GetErrorText();
  const auto closing = ClosingCommands();
  ASSERT_FALSE(closing.empty());
  EXPECT_EQ(closing.back(), c.lastClose);
  if (c.closingMultiSession != 255) {
    EXPECT_EQ(ModeSelects().back()[8 + 3] >> 6, c.closingMultiSession);
  }
  EXPECT_EQ(drive().Info().medium.finalized, c.finalized);
}

INSTANTIATE_TEST_SUITE_P(Rules, Finalizing,
                         ::testing::Values(FinalizeCase{"cd-r", false, 3, "1 2 0 GOOD", false},
                                           FinalizeCase{"cd-r", true, 0, "1 2 0 GOOD", true},
                                           FinalizeCase{"dvd-r", true, 3, "0 2 3 GOOD", false},
                                           FinalizeCase{"dvd+r", false, 255, "0 2 255 GOOD", false},
                                           FinalizeCase{"dvd+r", true, 255, "0 6 0 GOOD", true},
                                           FinalizeCase{"dvd+r-dl", false, 255, "0 2 0 GOOD", false},
                                           FinalizeCase{"dvd+r-dl", true, 255, "0 6 0 GOOD", true}));

}  // namespace
}  // namespace qvr::data::test
