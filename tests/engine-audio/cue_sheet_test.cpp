#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "qvr/audio/compilation.h"
#include "qvr/audio/cue_sheet.h"
#include "wave_files.h"

namespace fs = std::filesystem;
using namespace qvr::audio;

namespace {

struct Folder : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("qvr-cue-" + std::to_string(getpid()));
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
  std::string Wave(const std::string& name, std::size_t pcm_bytes, const WaveSpec& spec = {}) {
    std::string path = (dir / name).string();
    WriteWave(path, SinePcm(pcm_bytes, 440), spec);
    return path;
  }
};

// A WAVE file of whole sectors with one index at 0, as the audio workflow adds them.
void AddWaveTrack(AudioCompilation& c, const std::string& path, std::uint32_t pregap) {
  ASSERT_TRUE(c.AddFile(path, kFileWave)) << c.last_error();
  c.AddTrack(TTrackType::ttAudio);
  ASSERT_TRUE(c.AddIndex(0, 0, 0));
  c.SetPregap(pregap);
}

std::vector<std::uint8_t> Hex(std::initializer_list<int> bytes) {
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

TEST_F(Folder, WorkedExampleDiscAtOnce) {
  AudioCompilation c;
  AddWaveTrack(c, Wave("one.wav", 1000 * 2352), 150);
  AddWaveTrack(c, Wave("two.wav", 500 * 2352), 150);
  BurnPlan plan;
  ASSERT_EQ(BuildBurnPlan(c.files(), false, plan), kPlanOk);
  EXPECT_EQ(CueSheetBytes(plan.cue_sheet), (Hex({
                                               0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,  //
                                               0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  //
                                               0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x04, 0x00,  //
                                               0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x11, 0x19,  //
                                               0x01, 0x02, 0x01, 0x00, 0x00, 0x00, 0x13, 0x19,  //
                                               0x01, 0xAA, 0x01, 0x01, 0x00, 0x00, 0x1A, 0x00,  //
                                           })));
  const std::string one = (dir / "one.wav").string(), two = (dir / "two.wav").string();
  ASSERT_EQ(plan.read_queue.size(), 5u);
  const ReadEntry expected[] = {
      {"", kFileWave, 0, 0, 352800, 0, false, false},
      {"", kReadPregapSilence, kTrackKindSilence, 0, 352800, 0, false, true},
      {one, kReadDiscAtOnceData, 0, 44, 2352000, 44 + 2352000, true, false},
      {"", kReadPregapSilence, kTrackKindSilence, 0, 352800, 0, false, true},
      {two, kReadDiscAtOnceData, 0, 44, 1176000, 44 + 1176000, true, false},
  };
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(plan.read_queue[i], expected[i]) << "entry " << i;
  EXPECT_EQ(plan.total_bytes, 4586400u);
}

TEST_F(Folder, TrackAtOnceReadsEachTracksAudioOnceAndInOrder) {
  AudioCompilation c;
  AddWaveTrack(c, Wave("one.wav", 1000 * 2352), 150);
  AddWaveTrack(c, Wave("two.wav", 500 * 2352 - 7), 150);
  // A raw file with two tracks of two indexes each.
  std::string raw = (dir / "disc.bin").string();
  { std::ofstream(raw, std::ios::binary) << std::string(300 * 2352, 'r'); }
  ASSERT_TRUE(c.AddFile(raw, kFileRaw));
  c.AddTrack(TTrackType::ttAudio);
  ASSERT_TRUE(c.AddIndexFrames(0));
  ASSERT_TRUE(c.AddIndexFrames(100));
  c.AddTrack(TTrackType::ttAudio);
  ASSERT_TRUE(c.AddIndexFrames(200));
  ASSERT_TRUE(c.AddIndexFrames(250));

  BurnPlan plan;
  ASSERT_EQ(BuildBurnPlan(c.files(), true, plan), kPlanOk);
  const std::string one = (dir / "one.wav").string(), two = (dir / "two.wav").string();
  const ReadEntry expected[] = {
      {one, kFileWave, 0, 44, 1000 * 2352, 44 + 1000 * 2352, true, false},
      {two, kFileWave, 0, 44, 500 * 2352, 44 + 500 * 2352 - 7, true, false},
      {raw, kFileRaw, 0, 0, 200 * 2352, 300 * 2352, true, false},
      {raw, kFileRaw, 0, 200 * 2352, 100 * 2352, 300 * 2352, true, false},
  };
  ASSERT_EQ(plan.read_queue.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(plan.read_queue[i], expected[i]) << "entry " << i;
  EXPECT_EQ(plan.total_bytes, 352800u + (1000 + 500 + 300) * 2352u) << "what the job counts as written";
}

TEST_F(Folder, CueSheetEdgeCases) {
  const std::string w = Wave("w.wav", 100 * 2352);
  struct Case {
    const char* name;
    std::vector<std::uint32_t> pregaps;
    std::vector<CueEntry> expected;
  } cases[] = {
      {"first track without pregap still has index 0 at 0 and index 1 at 2 s",
       {0},
       {{1, 0, 0, 1, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 0, 0, 0, 2, 0}, {1, 0xAA, 1, 1, 0, 0, 3, 25}}},
      {"later track without pregap has no index 0",
       {150, 0},
       {{1, 0, 0, 1, 0, 0, 0, 0},
        {1, 1, 0, 0, 0, 0, 0, 0},
        {1, 1, 1, 0, 0, 0, 4, 0},
        {1, 2, 1, 0, 0, 0, 5, 25},
        {1, 0xAA, 1, 1, 0, 0, 6, 50}}},
      {"pregap of 149 frames",
       {149},
       {{1, 0, 0, 1, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 0, 0, 0, 3, 74}, {1, 0xAA, 1, 1, 0, 0, 5, 24}}},
  };
  for (const Case& c : cases) {
    AudioCompilation comp;
    for (std::uint32_t p : c.pregaps) AddWaveTrack(comp, w, p);
    BurnPlan plan;
    ASSERT_EQ(BuildBurnPlan(comp.files(), false, plan), kPlanOk) << c.name;
    EXPECT_EQ(plan.cue_sheet, c.expected) << c.name;
    std::uint64_t queued = 0;
    for (const ReadEntry& e : plan.read_queue) queued += e.count;
    EXPECT_EQ(queued, plan.total_bytes) << c.name << ": the stream fills the disc up to the lead-out";
  }
}

TEST_F(Folder, NinetyNineTracksFitAndLimitsAreRefusedBeforeAnythingIsBuilt) {
  const std::string w = Wave("w.wav", 10 * 2352);
  AudioCompilation c;
  for (int i = 0; i < 99; ++i) AddWaveTrack(c, w, 150);
  BurnPlan plan;
  ASSERT_EQ(BuildBurnPlan(c.files(), false, plan), kPlanOk);
  EXPECT_EQ(plan.cue_sheet.size(), 200u);
  EXPECT_EQ(plan.read_queue.size(), 199u);
  EXPECT_EQ(plan.cue_sheet[198].tno, 99);

  AddWaveTrack(c, w, 150);
  EXPECT_EQ(BuildBurnPlan(c.files(), false, plan), kPlanTooManyTracks);
  EXPECT_TRUE(plan.cue_sheet.empty() && plan.read_queue.empty());

  // 3 tracks of 100 indexes: 303 cue entries.
  std::string raw = (dir / "long.bin").string();
  { std::ofstream(raw, std::ios::binary) << std::string(400 * 2352, 0); }
  AudioCompilation many;
  ASSERT_TRUE(many.AddFile(raw, kFileRaw));
  int position = 1;
  for (int t = 0; t < 3; ++t) {
    many.AddTrack(TTrackType::ttAudio);
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(many.AddIndexFrames(position++));
    EXPECT_FALSE(many.AddIndexFrames(position)) << "the 101st index of a track";
  }
  EXPECT_EQ(BuildBurnPlan(many.files(), false, plan), kPlanTooManyCueEntries);
  EXPECT_EQ(BuildBurnPlan(many.files(), true, plan), kPlanTooManyCueEntries);
  EXPECT_TRUE(plan.cue_sheet.empty());
}

TEST_F(Folder, IncompleteCompilationsAreRefused) {
  const std::string w = Wave("w.wav", 10 * 2352);
  BurnPlan plan;
  EXPECT_EQ(BuildBurnPlan({}, false, plan), kPlanEmpty);
  AudioCompilation no_track;
  ASSERT_TRUE(no_track.AddFile(w, kFileWave));
  EXPECT_EQ(BuildBurnPlan(no_track.files(), false, plan), kPlanFileWithoutTrack);
  AudioCompilation no_index;
  ASSERT_TRUE(no_index.AddFile(w, kFileWave));
  no_index.AddTrack(TTrackType::ttAudio);
  EXPECT_EQ(BuildBurnPlan(no_index.files(), false, plan), kPlanTrackWithoutIndex);
  AudioCompilation mode2;
  ASSERT_TRUE(mode2.AddFile(w, kFileWave));
  mode2.AddTrack(TTrackType::ttMode2_2336);
  ASSERT_TRUE(mode2.AddIndexFrames(0));
  EXPECT_EQ(BuildBurnPlan(mode2.files(), false, plan), kPlanUnsupportedFirstTrack);
}

TEST_F(Folder, IndexPositions) {
  AudioCompilation c;
  EXPECT_FALSE(c.AddIndexFrames(0)) << "no file, no track";
  ASSERT_TRUE(c.AddFile(Wave("w.wav", 1000 * 2352), kFileWave));
  EXPECT_FALSE(c.AddIndexFrames(0)) << "no track";
  c.AddTrack(TTrackType::ttAudio);
  EXPECT_TRUE(c.AddIndexFrames(0));
  EXPECT_TRUE(c.AddIndexFrames(0)) << "after an index at 0 any position is accepted";
  EXPECT_TRUE(c.AddIndex(0, 2, 0));   // 150
  EXPECT_FALSE(c.AddIndexFrames(150)) << "not after the last";
  EXPECT_FALSE(c.AddIndexFrames(100));
  EXPECT_TRUE(c.AddIndexFrames(151));
  EXPECT_FALSE(c.AddIndexFrames(1001)) << "beyond the file";
  const TFiles& f = c.files()[0];
  EXPECT_EQ(f.index_positions, (std::vector<std::uint32_t>{0, 0, 150, 151}));
  EXPECT_EQ(f.index_lengths, (std::vector<std::uint32_t>{0, 150, 1, 849}));
}

TEST_F(Folder, WaveFilesAreMeasuredByTheirDataChunk) {
  struct Case {
    const char* name;
    std::size_t pcm_bytes;
    WaveSpec spec;
    bool ok;
    std::uint64_t offset, sectors;
  } cases[] = {
      {"whole sectors", 10 * 2352, {}, true, 44, 10},
      {"a file of 2352 n + 5 bytes", 3 * 2352 + 5 - 44, {}, true, 44, 3},
      {"5 bytes past whole sectors are padded, not dropped", 3 * 2352 + 5, {}, true, 44, 4},
      {"fmt chunk of 18 bytes", 2352, {.fmt_size = 18}, true, 46, 1},
      {"a LIST chunk before the data", 2352, {.list_before_data = true}, true, 62, 1},
      {"a chunk after the data is not audio", 2352 + 1, {.trailer_after_data = true}, true, 44, 2},
      {"mono", 2352, {.channels = 1}, false, 0, 0},
      {"48 kHz", 2352, {.rate = 48000}, false, 0, 0},
      {"8 bit", 2352, {.bits = 8}, false, 0, 0},
      {"IEEE float", 2352, {.format = 3}, false, 0, 0},
  };
  for (const Case& c : cases) {
    const std::string path = Wave("case.wav", c.pcm_bytes, c.spec);
    AudioCompilation comp;
    EXPECT_EQ(comp.AddFile(path, kFileWave), c.ok) << c.name;
    if (!c.ok) {
      EXPECT_TRUE(comp.files().empty()) << c.name;
      EXPECT_FALSE(comp.last_error().empty()) << c.name;
      continue;
    }
    const TFiles& f = comp.files()[0];
    EXPECT_EQ(f.data_offset, c.offset) << c.name;
    EXPECT_EQ(f.data_bytes, c.pcm_bytes) << c.name;
    EXPECT_EQ(f.length, c.sectors) << c.name;
  }
  AudioCompilation comp;
  EXPECT_FALSE(comp.AddFile((dir / "missing.wav").string(), kFileWave));
  EXPECT_FALSE(comp.AddFile((dir / "missing.bin").string(), kFileRaw));
  { std::ofstream((dir / "text.wav").string()) << "RIFF....WAVEjunk"; }
  EXPECT_FALSE(comp.AddFile((dir / "text.wav").string(), kFileWave));
  EXPECT_TRUE(comp.files().empty());
}
