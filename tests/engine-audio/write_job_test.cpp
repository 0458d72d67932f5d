#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "fake_recorder.h"
#include "qvr/audio/cue_burner.h"
#include "wave_files.h"

namespace fs = std::filesystem;
using namespace qvr::audio;

namespace {

struct Job : ::testing::Test {
  fs::path dir = fs::temp_directory_path() / ("qvr-job-" + std::to_string(getpid()));
  FakeRecorder recorder;
  AspiLayer layer{recorder.Environment()};
  std::unique_ptr<TCueBurner> burner;
  std::vector<std::pair<std::string, int>> messages;
  std::mutex mutex;
  std::condition_variable done_cv;
  std::vector<std::string> done;  // OnWriteDone texts
  std::vector<std::vector<std::uint8_t>> pcm;
  std::vector<std::string> files;

  void SetUp() override {
    fs::create_directories(dir);
    burner = std::make_unique<TCueBurner>(layer);
    burner->Sleep = [](int) {};
    burner->OnDebugMessage = [this](TSCSIDevice&, const std::string& m, std::uint8_t t) {
      std::lock_guard lock(mutex);
      messages.emplace_back(m, t);
    };
    burner->OnWriteDone = [this](TCueBurner&, const std::string& error) {
      std::lock_guard lock(mutex);
      done.push_back(error);
      done_cv.notify_all();
    };
    ASSERT_TRUE(burner->InitializeASPI(true, ""));
    burner->SelectDevice(burner->Devices().at(0));
    ASSERT_TRUE(burner->HasDevice());
  }
  void TearDown() override {
    burner.reset();
    fs::remove_all(dir);
  }

  // Three tracks of odd lengths, one index each, pregap 150.
  void Compilation(std::size_t first_bytes = 40 * 2352 + 100) {
    const std::size_t sizes[] = {first_bytes, 2352 * 3 + 5, 17 * 2352};
    burner->ClearCompilation();
    for (int i = 0; i < 3; ++i) {
      pcm.push_back(SinePcm(sizes[i], 220.0 * (i + 1), i));
      files.push_back((dir / ("t" + std::to_string(i) + ".wav")).string());
      WriteWave(files.back(), pcm.back());
      ASSERT_TRUE(burner->AddFile(files.back(), kFileWave));
      burner->AddTrack(TTrackType::ttAudio);
      ASSERT_TRUE(burner->AddIndex(0, 0, 0));
      burner->SetPregap(150);
    }
  }

  std::string WaitDone() {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(done_cv.wait_for(lock, std::chrono::seconds(30), [&] { return !done.empty(); }));
    std::string text = done.empty() ? "(no end)" : done.back();
    lock.unlock();
    burner->WaitForJob();
    return text;
  }

  static std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> bytes) {
    bytes.resize((bytes.size() + 2351) / 2352 * 2352, 0);
    return bytes;
  }

  int Reports(const std::string& text) {
    std::lock_guard lock(mutex);
    int n = 0;
    for (const auto& m : messages) n += m.first == text;
    return n;
  }
};

}  // namespace

TEST_F(Job, DiscAtOnceWritesTheCueSheetsStreamFromMinus150) {
  Compilation();
  burner->WriteMethod = TWriteMethod::wmDAO;
  ASSERT_TRUE(burner->Burn()) << burner->LastError();
  EXPECT_EQ(WaitDone(), "");
  EXPECT_EQ(recorder.cue_sheet, CueSheetBytes(burner->Plan().cue_sheet));
  EXPECT_EQ(recorder.write_lbas.front(), -150);
  std::vector<std::uint8_t> expected(2 * 150 * 2352, 0);  // lead silence and the first pregap
  for (int i = 0; i < 3; ++i) {
    if (i > 0) expected.resize(expected.size() + 150 * 2352, 0);
    std::vector<std::uint8_t> track = Padded(pcm[i]);
    expected.insert(expected.end(), track.begin(), track.end());
  }
  EXPECT_EQ(recorder.Stream(-150), expected);
  EXPECT_EQ(burner->BytesWritten(), burner->TotalBytes());
  EXPECT_EQ(recorder.Count(0x5B), 0u) << "the drive closes a disc-at-once session itself";
  EXPECT_EQ(recorder.write_type & 0x0F, 0x01) << "write parameters restored to track-at-once";
  EXPECT_EQ(Reports(">>> BURN PROCESS STARTED"), 1);
  const std::size_t blocks = recorder.write_lbas.size();
  EXPECT_EQ(recorder.Count(0x5C), (blocks - 1) / 5) << "buffer polled every fifth block from the sixth on";
  EXPECT_EQ(burner->GetCacheFill(), 0) << "no job, no fill";
}

TEST_F(Job, TrackAtOnceWritesEachTrackAtTheDrivesNextAddressAndClosesTheSession) {
  Compilation();
  burner->WriteMethod = TWriteMethod::wmTAO;
  ASSERT_TRUE(burner->Burn()) << burner->LastError();
  EXPECT_EQ(WaitDone(), "");
  EXPECT_TRUE(recorder.cue_sheet.empty()) << "no cue sheet track-at-once";
  // Track starts: 0, then behind each closed track (run-out and pregap made by the drive).
  std::int32_t start = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(recorder.Stream(start), Padded(pcm[i])) << "track " << i + 1;
    start += static_cast<std::int32_t>(Padded(pcm[i]).size() / 2352) + 152;
  }
  EXPECT_EQ(recorder.Count(0x35), 4u) << "one per track and one at the end";
  EXPECT_EQ(recorder.closed_sessions, 1);
  EXPECT_EQ(burner->BytesWritten(), burner->TotalBytes());
}

TEST_F(Job, ARefusedCueSheetEndsTheJobAndWritesNothing) {
  Compilation();
  burner->WriteMethod = TWriteMethod::wmDAO;
  recorder.refuse_cue = true;
  ASSERT_TRUE(burner->Burn());
  EXPECT_EQ(WaitDone(), "SEND CUE SHEET FAILED");
  EXPECT_EQ(recorder.write_attempts, 0);
  EXPECT_EQ(Reports(">>> BURN PROCESS START FAILED"), 1);
  EXPECT_EQ(recorder.Count(0x1E), 0u) << "no closing sequence";
  EXPECT_EQ(burner->LastError(), "SEND CUE SHEET FAILED");
}

TEST_F(Job, LongWriteInProgressIsRetriedWithoutLosingABlock) {
  Compilation();
  burner->WriteMethod = TWriteMethod::wmDAO;
  recorder.long_write_answers = 7;
  ASSERT_TRUE(burner->Burn());
  EXPECT_EQ(WaitDone(), "");
  EXPECT_EQ(recorder.write_attempts, static_cast<int>(recorder.write_lbas.size()) + 7);
  EXPECT_EQ(recorder.Stream(-150).size(), burner->TotalBytes());
}

TEST_F(Job, AnotherWriteFailureEndsWithItsTextAndStillCloses) {
  Compilation();
  burner->WriteMethod = TWriteMethod::wmDAO;
  recorder.write_error_lba = 200;
  ASSERT_TRUE(burner->Burn());
  EXPECT_EQ(WaitDone(), "WRITER ERROR [MEDIUM ERROR (WRITE ERROR)]");
  EXPECT_EQ(recorder.Count(0x1E), 1u) << "closing sequence ran: medium removal allowed";
}

TEST_F(Job, AbortEndsWithItsTextAndStillRunsTheClosingSequence) {
  Compilation(400 * 2352);
  burner->WriteMethod = TWriteMethod::wmTAO;
  // Hold the writer on its first block until Abort has been called.
  std::mutex gate;
  std::condition_variable gate_cv;
  bool first_write = false, aborted = false;
  burner->Sleep = [&](int) {
    std::unique_lock lock(gate);
    first_write = true;
    gate_cv.notify_all();
    gate_cv.wait(lock, [&] { return aborted; });
  };
  recorder.long_write_answers = 1;
  ASSERT_TRUE(burner->Burn());
  {
    std::unique_lock lock(gate);
    gate_cv.wait(lock, [&] { return first_write; });
    // Everything was read; all but the writer's first block is listed.
    const double listed = static_cast<double>(burner->TotalBytes() - kLeadSilenceBytes - 27 * 2352);
    EXPECT_EQ(burner->GetCacheFill(), std::lround(100 * listed / (2 << 20)));
    burner->Abort();
    aborted = true;
  }
  gate_cv.notify_all();
  EXPECT_EQ(WaitDone(), "OPERATION ABORTED BY USER");
  EXPECT_TRUE(recorder.write_lbas.empty());
  EXPECT_EQ(recorder.closed_sessions, 1) << "track-at-once closing closes the session";
  EXPECT_EQ(recorder.Count(0x1E), 1u);
}

TEST_F(Job, AMissingSourceNamesTheFile) {
  Compilation();
  fs::remove(files[0]);
  burner->WriteMethod = TWriteMethod::wmDAO;
  EXPECT_FALSE(burner->Burn());
  const std::string text = "CAN'T OPEN FILE \"" + files[0] + "\" OR FILE IS IN USES BY OTHER SOFTWARE";
  EXPECT_EQ(burner->LastError(), text);
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0], text);
  EXPECT_EQ(burner->CurrentFile(), files[0]);
  EXPECT_EQ(recorder.write_attempts, 0);

  // Missing once writing has begun: the job ends with the same text after closing.
  done.clear();
  Compilation(200 * 2352);
  fs::remove(files.back());
  ASSERT_TRUE(burner->Burn());
  const std::string last = "CAN'T OPEN FILE \"" + files.back() + "\" OR FILE IS IN USES BY OTHER SOFTWARE";
  EXPECT_EQ(WaitDone(), last);
  EXPECT_EQ(recorder.Count(0x1E), 1u);
}

TEST_F(Job, ACompleteDiscIsRefusedBeforeAnythingStarts) {
  Compilation();
  recorder.disc_status = 2;
  recorder.erasable = true;
  EXPECT_FALSE(burner->Burn());
  EXPECT_EQ(Reports(">>> DISC IS NOT WRITABLE"), 1);
  EXPECT_EQ(Reports(">>> BUT DISC IS ERASABLE, ERASE IT FIRST"), 1);
  EXPECT_TRUE(done.empty());
  EXPECT_FALSE(burner->Running());
  recorder.erasable = false;
  EXPECT_FALSE(burner->Burn());
  EXPECT_EQ(Reports(">>> BUT DISC IS ERASABLE, ERASE IT FIRST"), 1);
}

TEST_F(Job, CacheSizeIsWholeMebibytesOfAtLeastTwo) {
  struct Case {
    std::uint64_t set, stored;
  } cases[] = {{1 << 20, 2 << 20}, {0, 2 << 20}, {5 * (1 << 20) + 7, 5 << 20}, {64 << 20, 64 << 20}};
  for (const Case& c : cases) {
    burner->SetCacheSize(c.set);
    EXPECT_EQ(burner->CacheSize(), c.stored);
  }
}
