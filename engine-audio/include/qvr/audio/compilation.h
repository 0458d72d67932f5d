#pragma once
// The audio compilation: a chain of source files, each with its tracks, and
// the indexes of every track as sector positions in its file.

#include <cstdint>
#include <string>
#include <vector>

namespace qvr::audio {

enum class TTrackType : std::uint8_t {
  ttAudio, ttCDG, ttMode1_2048, ttMode1_2352, ttMode2_2336, ttMode2_2352, ttCDI2336, ttCDI2352
};

// File kinds of AddFile.
constexpr std::uint8_t kFileWave = 0;
constexpr std::uint8_t kFileRaw = 2;  // 2352-byte sectors

constexpr std::uint32_t kSectorBytes = 2352;
constexpr int kMaxIndexesPerTrack = 100;
constexpr std::size_t kMaxIndexesPerFile = 10000;

struct TTrack {
  TTrackType kind = TTrackType::ttAudio;
  std::uint32_t pregap = 0;  // frames of silence before index 1
  int index_count = 0;
};

struct TFiles {
  std::string name;
  std::uint8_t kind = kFileWave;
  std::uint64_t length = 0;       // sectors
  std::uint64_t data_offset = 0;  // first byte of the audio data
  std::uint64_t data_bytes = 0;   // bytes of audio data; the last sector is padded with zeros
  std::vector<TTrack> tracks;
  std::vector<std::uint32_t> index_positions;  // sectors from the start of the data
  std::vector<std::uint32_t> index_lengths;    // sectors
};

// The PCM data of a WAVE file, found by walking its chunks.
struct WaveData {
  bool ok = false;
  std::uint64_t offset = 0;
  std::uint64_t bytes = 0;
  std::string error;  // why the file is refused
};

// Accepts 44.1 kHz 16-bit stereo PCM only.
WaveData InspectWave(const std::string& path);

class AudioCompilation {
 public:
  bool AddFile(const std::string& name, std::uint8_t kind);
  void AddTrack(TTrackType kind);
  bool AddIndex(int minutes, int seconds, int frames) { return AddIndexFrames(minutes * 4500 + seconds * 75 + frames); }
  bool AddIndexFrames(int frames);
  void SetPregap(std::uint32_t frames);
  void Clear();

  const std::vector<TFiles>& files() const { return files_; }
  // Why the last AddFile failed.
  const std::string& last_error() const { return last_error_; }

 private:
  std::vector<TFiles> files_;
  std::uint32_t last_position_ = 0;
  std::string last_error_;
};

}  // namespace qvr::audio
