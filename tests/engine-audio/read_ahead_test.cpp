#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "qvr/audio/read_ahead.h"

namespace fs = std::filesystem;
using namespace qvr::audio;

namespace {

constexpr std::uint64_t kTwoMiB = 2 * 1024 * 1024;

struct ReadAheadFiles : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("qvr-readahead-" + std::to_string(getpid()));
  std::atomic<bool> stop{false};
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }
  std::string File(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  static ReadEntry Data(const std::string& file, std::uint64_t offset, std::uint64_t count, std::uint64_t end,
                        bool end_of_track) {
    ReadEntry e;
    e.file_name = file;
    e.kind = kReadDiscAtOnceData;
    e.offset = offset;
    e.count = count;
    e.data_end = end;
    e.end_of_track = end_of_track;
    return e;
  }
};

}  // namespace

TEST_F(ReadAheadFiles, StreamIsTheQueueInOrderCutIntoBlocksWithPaddingAndMarkers) {
  std::vector<std::uint8_t> bytes(100000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const std::string a = File("a.raw", bytes);
  ReadEntry silence;
  silence.count = 2 * 2352;
  silence.kind = kReadPregapSilence;
  // 30 sectors from byte 10 with data only up to byte 60010: the rest reads as zeros.
  std::vector<ReadEntry> queue = {silence, Data(a, 10, 30 * 2352, 60010, true), Data(a, 0, 2352, 100000, true)};
  CueReadAhead reader(queue, kTwoMiB);
  reader.Start();
  ASSERT_EQ(reader.WaitForFill(std::chrono::seconds(10)), CueReadAhead::Fill::kReady);

  std::vector<std::uint8_t> stream;
  std::vector<std::pair<std::size_t, bool>> blocks;
  std::unique_ptr<CacheBlock> block;
  while (reader.GetBlock(block, stop) == CueReadAhead::Take::kBlock) {
    blocks.emplace_back(block->data.size(), block->end_of_track);
    stream.insert(stream.end(), block->data.begin(), block->data.end());
  }
  const std::vector<std::pair<std::size_t, bool>> expected_blocks = {
      {2 * 2352, false}, {27 * 2352, false}, {3 * 2352, true}, {2352, true}};
  EXPECT_EQ(blocks, expected_blocks) << "a block never mixes two entries";
  std::vector<std::uint8_t> expected(2 * 2352, 0);
  expected.insert(expected.end(), bytes.begin() + 10, bytes.begin() + 60010);
  expected.resize(expected.size() + 30 * 2352 - 60000, 0);
  expected.insert(expected.end(), bytes.begin(), bytes.begin() + 2352);
  EXPECT_EQ(stream, expected);
  EXPECT_EQ(reader.BytesToDeliver(), 0u);
  EXPECT_EQ(reader.ErrorText(), "");
}

TEST_F(ReadAheadFiles, TheListHoldsAtMostCapacityLessOneBlocks) {
  ReadEntry silence;
  silence.count = 200ull * kBlockBytes;
  CueReadAhead reader({silence}, kTwoMiB);
  EXPECT_EQ(reader.Capacity(), 31u);
  reader.Start();
  ASSERT_EQ(reader.WaitForFill(std::chrono::seconds(10)), CueReadAhead::Fill::kReady);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(reader.MostBlocksListed(), 30u);
  std::unique_ptr<CacheBlock> block;
  std::size_t taken = 0;
  while (reader.GetBlock(block, stop) == CueReadAhead::Take::kBlock) ++taken;
  EXPECT_EQ(taken, 200u);
  EXPECT_EQ(reader.MostBlocksListed(), 30u);
}

TEST_F(ReadAheadFiles, ASourceThatCannotBeOpenedEndsReadingWithItsName) {
  const std::string gone = (dir / "gone.wav").string();
  fs::create_directory(dir / "folder.wav");
  for (const std::string& path : {gone, (dir / "folder.wav").string()}) {
    ReadEntry silence;
    silence.count = 2352;
    CueReadAhead reader({silence, Data(path, 44, 2352, 2396, true)}, kTwoMiB);
    reader.Start();
    EXPECT_EQ(reader.WaitForFill(std::chrono::seconds(10)), CueReadAhead::Fill::kFailed);
    EXPECT_EQ(reader.ErrorText(), "CAN'T OPEN FILE \"" + path + "\" OR FILE IS IN USES BY OTHER SOFTWARE");
    EXPECT_EQ(reader.CurrentFile(), path);
  }
}

TEST_F(ReadAheadFiles, AbortWakesBothSides) {
  ReadEntry silence;
  silence.count = 1000ull * kBlockBytes;
  CueReadAhead reader({silence}, kTwoMiB);
  reader.Start();
  ASSERT_EQ(reader.WaitForFill(std::chrono::seconds(10)), CueReadAhead::Fill::kReady);
  reader.Abort();  // the producer waits on a full list
  reader.Join();
  EXPECT_EQ(reader.ErrorText(), kAbortedText);

  CueReadAhead idle({silence}, kTwoMiB);  // never started: a consumer would wait forever
  std::thread consumer([&] {
    std::unique_ptr<CacheBlock> block;
    EXPECT_EQ(idle.GetBlock(block, stop), CueReadAhead::Take::kStopped);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  stop = true;
  idle.Wake();
  consumer.join();
}
