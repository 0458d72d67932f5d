// Audio burns on the virtual recorder: through `qvr audio` and in-process
// through the ASPI library, checked by exporting the disc as BIN/CUE.

#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "qvr/audio/cue_burner.h"
#include "wave_files.h"

namespace fs = std::filesystem;
using namespace qvr::audio;

namespace {

struct Result {
  int rc = -1;
  std::string output;  // stdout and stderr
};

// The build's program folder: QVR_BIN_DIR, or bin/ beside the tests folder.
std::string BinDir() {
  if (const char* dir = std::getenv("QVR_BIN_DIR"); dir && *dir) return dir;
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : (exe.parent_path().parent_path() / "bin").string();
}

Result Shell(const std::string& command) {
  Result r;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> buffer;
  std::size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.output.append(buffer.data(), n);
  int status = pclose(pipe);
  r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

Result Qvr(const std::string& args) { return Shell("'" + BinDir() + "/qvr' " + args); }

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> bytes) {
  bytes.resize((bytes.size() + 2351) / 2352 * 2352, 0);
  return bytes;
}

struct CueTrack {
  int number = 0;
  int index0 = -1;  // frames from the start of the BIN; -1 when absent
  int index1 = -1;
};

std::vector<CueTrack> ParseCue(const std::string& path) {
  std::vector<CueTrack> tracks;
  std::ifstream in(path);
  std::string word;
  while (in >> word) {
    if (word == "TRACK") {
      tracks.emplace_back();
      in >> tracks.back().number;
    } else if (word == "INDEX" && !tracks.empty()) {
      int index, m, s, f;
      char colon;
      in >> index >> m >> colon >> s >> colon >> f;
      (index == 0 ? tracks.back().index0 : tracks.back().index1) = m * 4500 + s * 75 + f;
    }
  }
  return tracks;
}

class OnVirtualRecorder : public ::testing::Test {
 protected:
  static inline fs::path home_;

  static void SetUpTestSuite() {
    home_ = fs::temp_directory_path() / ("qvr-audio-vdrive-" + std::to_string(getpid()));
    fs::remove_all(home_);
    fs::create_directories(home_);
    setenv("QUORVELLA_HOME", home_.c_str(), 1);
  }
  static void TearDownTestSuite() { fs::remove_all(home_); }

  void SetUp() override {
    ASSERT_TRUE(fs::exists(BinDir() + "/qvr")) << "no qvr in " << BinDir();
    Qvr("vdrive eject 0");
    Qvr("vdrive fault 0 clear");
    Qvr("vdrive trace 0 --clear");
  }

  void Insert(const std::string& medium) {
    Result r = Qvr("vdrive insert 0 " + medium);
    ASSERT_EQ(r.rc, 0) << r.output;
  }

  // Three sine tones of odd lengths; the first file is 2352 x 40 + 5 bytes long.
  void MakeSources() {
    const std::size_t pcm_bytes[] = {2352 * 40 + 5 - 44, 2352 * 25 + 1001, 2352 * 13 + 3};
    for (int i = 0; i < 3; ++i) {
      pcm_.push_back(SinePcm(pcm_bytes[i], 330.0 + 110 * i, i));
      files_.push_back((home_ / ("tone" + std::to_string(i) + ".wav")).string());
      WriteWave(files_.back(), pcm_.back(), {.pad_odd_data = false});
    }
    ASSERT_EQ(fs::file_size(files_[0]), 2352u * 40 + 5);
  }

  std::string Sources() const {
    std::string s;
    for (const std::string& f : files_) s += " '" + f + "'";
    return s;
  }

  // Exports the disc and returns its tracks; bin_ holds the BIN file.
  std::vector<CueTrack> Export() {
    const std::string cue = (home_ / "disc.cue").string();
    Result r = Qvr("vdrive export-cue 0 '" + cue + "'");
    EXPECT_EQ(r.rc, 0) << r.output;
    bin_ = ReadAll((home_ / "disc.bin").string());
    return ParseCue(cue);
  }

  std::vector<std::uint8_t> BinAt(int frame, std::size_t bytes) const {
    const std::size_t from = static_cast<std::size_t>(frame) * 2352;
    if (from + bytes > bin_.size()) return {};
    return std::vector<std::uint8_t>(bin_.begin() + from, bin_.begin() + from + bytes);
  }

  // ffmpeg decodes the track's audio and hands back the same samples.
  void ExpectFfmpegReads(const std::vector<std::uint8_t>& pcm, int track) {
    if (Shell("command -v ffmpeg").rc != 0) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string raw = (home_ / ("track" + std::to_string(track) + ".raw")).string();
    const std::string wav = (home_ / ("track" + std::to_string(track) + ".wav")).string();
    std::ofstream(raw, std::ios::binary).write(reinterpret_cast<const char*>(pcm.data()),
                                                static_cast<std::streamsize>(pcm.size()));
    Result r = Shell("ffmpeg -v error -y -f s16le -ar 44100 -ac 2 -i '" + raw + "' -c:a pcm_s16le '" + wav + "'");
    ASSERT_EQ(r.rc, 0) << r.output;
    AudioCompilation c;
    ASSERT_TRUE(c.AddFile(wav, kFileWave)) << c.last_error();
    EXPECT_EQ(c.files()[0].data_bytes, pcm.size()) << "track " << track;
  }

  std::vector<std::uint8_t> bin_;
  std::vector<std::vector<std::uint8_t>> pcm_;
  std::vector<std::string> files_;
};

}  // namespace

TEST_F(OnVirtualRecorder, DiscAtOnceBurnMatchesTheCueSheetAndTheSources) {
  Insert("cd-r");
  MakeSources();
  Result r = Qvr("audio -d D" + Sources());
  ASSERT_EQ(r.rc, 0) << r.output;
  EXPECT_NE(r.output.find("track 3/3"), std::string::npos) << r.output;

  // The plan the burn used, rebuilt from the same files.
  AudioCompilation c;
  for (const std::string& f : files_) {
    ASSERT_TRUE(c.AddFile(f, kFileWave));
    c.AddTrack(TTrackType::ttAudio);
    c.AddIndex(0, 0, 0);
    c.SetPregap(150);
  }
  BurnPlan plan;
  ASSERT_EQ(BuildBurnPlan(c.files(), false, plan), kPlanOk);
  int base = -1;
  std::vector<CueTrack> expected(3);
  for (const CueEntry& e : plan.cue_sheet) {
    if (e.tno < 1 || e.tno > 3) continue;
    const int frames = e.minutes * 4500 + e.seconds * 75 + e.frames;
    if (e.tno == 1 && e.index == 1) base = frames;
    expected[e.tno - 1].number = e.tno;
    (e.index == 0 ? expected[e.tno - 1].index0 : expected[e.tno - 1].index1) = frames;
  }
  expected[0].index0 = -1;  // the first pregap lies before the exported BIN
  for (int i = 1; i < 3; ++i) expected[i].index0 -= base;
  for (CueTrack& t : expected) t.index1 -= base;

  std::vector<CueTrack> tracks = Export();
  ASSERT_EQ(tracks.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(tracks[i].number, i + 1);
    EXPECT_EQ(tracks[i].index0, expected[i].index0) << "track " << i + 1;
    EXPECT_EQ(tracks[i].index1, expected[i].index1) << "track " << i + 1;
    const std::vector<std::uint8_t> source = Padded(pcm_[i]);
    const std::vector<std::uint8_t> written = BinAt(tracks[i].index1, source.size());
    EXPECT_TRUE(written == source) << "PCM of track " << i + 1;
    if (i > 0) {
      EXPECT_EQ(BinAt(tracks[i].index0, 150 * 2352), std::vector<std::uint8_t>(150 * 2352, 0)) << "pregap silence";
    }
    ExpectFfmpegReads(written, i + 1);
  }
  EXPECT_EQ(bin_.size(), plan.total_bytes - static_cast<std::uint64_t>(base) * 2352)
      << "the BIN ends at the lead-out";
}

TEST_F(OnVirtualRecorder, TrackAtOnceBurnWritesEveryTrackOnceWithTheDrivesPauses) {
  Insert("cd-r");
  MakeSources();
  Result r = Qvr("audio --tao --finalize" + Sources());
  ASSERT_EQ(r.rc, 0) << r.output;
  EXPECT_NE(Qvr("vdrive status 0").output.find("state: complete"), std::string::npos);
  std::vector<CueTrack> tracks = Export();
  ASSERT_EQ(tracks.size(), 3u);
  EXPECT_EQ(tracks[0].index1, 0);
  for (int i = 0; i < 3; ++i) {
    const std::vector<std::uint8_t> source = Padded(pcm_[i]);
    const std::vector<std::uint8_t> written = BinAt(tracks[i].index1, source.size());
    EXPECT_TRUE(written == source) << "PCM of track " << i + 1;
    if (i + 1 < 3) {
      EXPECT_EQ(tracks[i + 1].index1 - tracks[i + 1].index0, 150) << "pregap of track " << i + 2;
      const int tail = tracks[i + 1].index0 - tracks[i].index1 - static_cast<int>(source.size() / 2352);
      EXPECT_EQ(BinAt(tracks[i].index1 + static_cast<int>(source.size() / 2352), tail * 2352u),
                std::vector<std::uint8_t>(tail * 2352u, 0))
          << "only run-out after track " << i + 1;
    }
    ExpectFfmpegReads(written, i + 1);
  }
}

TEST_F(OnVirtualRecorder, ARefusedCueSheetWritesNothing) {
  Insert("cd-r");
  MakeSources();
  ASSERT_EQ(Qvr("vdrive fault 0 cue-refuse").rc, 0);
  Result r = Qvr("audio" + Sources());
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.output.find("SEND CUE SHEET FAILED"), std::string::npos) << r.output;
  EXPECT_NE(Qvr("vdrive status 0").output.find("state: blank"), std::string::npos);
  EXPECT_EQ(Qvr("vdrive trace 0").output.find(" 2A "), std::string::npos) << "no WRITE (10) was sent";
}

TEST_F(OnVirtualRecorder, ACompleteDiscIsRefusedWithTwoReports) {
  Insert("cd-rw");
  MakeSources();
  ASSERT_EQ(Qvr("audio '" + files_[2] + "'").rc, 0);
  Result r = Qvr("audio '" + files_[2] + "'");
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.output.find(">>> DISC IS NOT WRITABLE\n>>> BUT DISC IS ERASABLE, ERASE IT FIRST"), std::string::npos)
      << r.output;
}

TEST_F(OnVirtualRecorder, BadCommandLinesAndSourcesAreRefusedBeforeTheDrive) {
  Insert("cd-r");
  MakeSources();
  struct Case {
    std::string args;
    int rc;
    std::string text;
  } cases[] = {
      {"", 2, "no WAV files given"},
      {"--speed fast '" + files_[0] + "'", 2, "bad speed"},
      {"--pregap-ms -5 '" + files_[0] + "'", 2, "--pregap-ms"},
      {"-d Q '" + files_[0] + "'", 1, "no drive \"Q\""},
      {"'" + (home_ / "absent.wav").string() + "'", 1, "absent.wav"},
  };
  for (const Case& c : cases) {
    Result r = Qvr("audio " + c.args);
    EXPECT_EQ(r.rc, c.rc) << c.args << "\n" << r.output;
    EXPECT_NE(r.output.find(c.text), std::string::npos) << c.args << "\n" << r.output;
  }
  EXPECT_NE(Qvr("vdrive status 0").output.find("state: blank"), std::string::npos);
}

namespace {

// The burner in this process, on the virtual recorder's library.
struct InProcess {
  AspiLayer layer{AspiLayer::Environment{
      [] { return std::vector<qvr::platform::OpticalDrive>{}; }, qvr::platform::RealSystemCalls(),
      [](qvr::platform::AspiLibrary& library, const std::string&) -> std::optional<AspiLayer::EntryPoints> {
        if (!library.LoadFrom({BinDir() + "/libwnaspi32.so"})) return std::nullopt;
        return AspiLayer::EntryPoints{library.support_info(), library.send_command()};
      }}};
  TCueBurner burner{layer};
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<std::string> done;

  bool Start(const std::vector<std::string>& files) {
    burner.Sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 100))); };
    burner.OnWriteDone = [this](TCueBurner&, const std::string& error) {
      std::lock_guard lock(mutex);
      done.push_back(error);
      cv.notify_all();
    };
    if (!burner.InitializeASPI(false, "") || burner.Devices().empty()) return false;
    burner.SelectDevice(burner.Devices()[0]);
    burner.WriteMethod = TWriteMethod::wmDAO;
    for (const std::string& f : files) {
      if (!burner.AddFile(f, kFileWave)) return false;
      burner.AddTrack(TTrackType::ttAudio);
      burner.AddIndex(0, 0, 0);
      burner.SetPregap(150);
    }
    return true;
  }
  std::string Wait() {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(60), [&] { return !done.empty(); }));
    std::string text = done.empty() ? "(no end)" : done.back();
    lock.unlock();
    burner.WaitForJob();
    return text;
  }
};

// The drive's trace: opcode and status of every command.
std::vector<std::pair<std::string, std::string>> Trace() {
  std::vector<std::pair<std::string, std::string>> commands;
  std::istringstream lines(Qvr("vdrive trace 0").output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string number, op, cdb, length, direction, status;
    if (fields >> number >> op >> cdb >> length >> direction >> status) commands.emplace_back(op, status);
  }
  return commands;
}

std::vector<std::string> TraceOpcodes() {
  std::vector<std::string> ops;
  for (const auto& c : Trace()) ops.push_back(c.first);
  return ops;
}

}  // namespace

TEST_F(OnVirtualRecorder, LongWriteInProgressIsRetriedWithoutLosingABlock) {
  Insert("cd-r");
  MakeSources();
  InProcess job;
  ASSERT_TRUE(job.Start(files_));
  // The third WRITE (10) and the four after it find the drive busy with a long write.
  ASSERT_EQ(Qvr("vdrive fault 0 fail 2A nth=3 times=5 sense=2/04/08").rc, 0);
  ASSERT_TRUE(job.burner.Burn()) << job.burner.LastError();
  EXPECT_EQ(job.Wait(), "");
  int refused = 0;
  for (const auto& [op, status] : Trace()) refused += op == "2A" && status != "GOOD";
  EXPECT_EQ(refused, 5) << "five refusals, each block sent again";
  std::vector<CueTrack> tracks = Export();
  ASSERT_EQ(tracks.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(BinAt(tracks[i].index1, Padded(pcm_[i]).size()) == Padded(pcm_[i]));
}

TEST_F(OnVirtualRecorder, AbortEndsTheJobAndStillRunsTheClosingSequence) {
  Insert("cd-r");
  std::string big = (home_ / "long.wav").string();
  WriteWave(big, SinePcm(2352 * 4000, 440));
  InProcess job;
  ASSERT_TRUE(job.Start({big}));
  ASSERT_TRUE(job.burner.Burn()) << job.burner.LastError();
  job.burner.Abort();
  EXPECT_EQ(job.Wait(), "OPERATION ABORTED BY USER");
  EXPECT_EQ(job.burner.LastError(), "OPERATION ABORTED BY USER");
  const std::vector<std::string> ops = TraceOpcodes();
  // What came after the cue sheet and the last write: the closing sequence.
  auto last = std::find_if(ops.rbegin(), ops.rend(), [](const std::string& op) { return op == "2A" || op == "5D"; });
  ASSERT_NE(last, ops.rend());
  std::vector<std::string> after(ops.rbegin(), last);
  std::reverse(after.begin(), after.end());
  for (const char* op : {"35", "55", "1B", "1E"}) {
    EXPECT_NE(std::find(after.begin(), after.end(), op), after.end()) << op << " after the last write";
  }
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "2A"), 0) << "aborted before the first block";
}

TEST_F(OnVirtualRecorder, ASourceThatVanishesBeforeTheBurnIsNamed) {
  Insert("cd-r");
  MakeSources();
  InProcess job;
  ASSERT_TRUE(job.Start(files_));
  fs::remove(files_[0]);
  EXPECT_FALSE(job.burner.Burn());
  const std::string text = "CAN'T OPEN FILE \"" + files_[0] + "\" OR FILE IS IN USES BY OTHER SOFTWARE";
  EXPECT_EQ(job.burner.LastError(), text);
  ASSERT_EQ(job.done.size(), 1u);
  EXPECT_EQ(job.done[0], text);
  EXPECT_NE(Qvr("vdrive status 0").output.find("state: blank"), std::string::npos);
}
