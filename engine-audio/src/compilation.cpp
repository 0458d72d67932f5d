#include "qvr/audio/compilation.h"

#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace qvr::audio {

namespace {

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

bool FileSize(const std::string& path, std::uint64_t* size) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

std::uint64_t Sectors(std::uint64_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

}  // namespace

WaveData InspectWave(const std::string& path) {
  WaveData wave;
  std::uint64_t size = 0;
  std::ifstream in(path, std::ios::binary);
  if (!FileSize(path, &size) || !in) {
    wave.error = "cannot read " + path;
    return wave;
  }
  std::uint8_t riff[12];
  if (!in.read(reinterpret_cast<char*>(riff), 12) || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "WAVE", 4) != 0) {
    wave.error = path + " is not a WAVE file";
    return wave;
  }
  bool have_format = false;
  std::uint64_t at = 12;
  while (at + 8 <= size) {
    std::uint8_t chunk[8];
    in.seekg(static_cast<std::streamoff>(at));
    if (!in.read(reinterpret_cast<char*>(chunk), 8)) break;
    const std::uint64_t chunk_size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      std::uint8_t fmt[40] = {};
      if (chunk_size < 16 || !in.read(reinterpret_cast<char*>(fmt), std::min<std::uint64_t>(chunk_size, 40))) break;
      std::uint16_t tag = Le16(fmt);
      if (tag == 0xFFFE && chunk_size >= 40) tag = Le16(fmt + 24);  // extensible: the sub-format
      if (tag != 1 || Le16(fmt + 2) != 2 || Le32(fmt + 4) != 44100 || Le16(fmt + 14) != 16) {
        wave.error = path + " is not 44.1 kHz 16-bit stereo PCM";
        return wave;
      }
      have_format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_format) break;
      wave.offset = at + 8;
      // Writers that stream leave the size at 0 or all ones; the file then ends the data.
      const std::uint64_t rest = size - wave.offset;
      wave.bytes = (chunk_size == 0 || chunk_size == 0xFFFFFFFFu) ? rest : std::min(chunk_size, rest);
      wave.ok = true;
      return wave;
    }
    at += 8 + chunk_size + (chunk_size & 1);
  }
  wave.error = path + " has no audio data";
  return wave;
}

bool AudioCompilation::AddFile(const std::string& name, std::uint8_t kind) {
  last_error_.clear();
  TFiles file;
  file.name = name;
  file.kind = kind;
  if (kind == kFileWave) {
    WaveData wave = InspectWave(name);
    if (!wave.ok) {
      last_error_ = wave.error;
      return false;
    }
    file.data_offset = wave.offset;
    file.data_bytes = wave.bytes;
  } else if (kind == kFileRaw) {
    if (!FileSize(name, &file.data_bytes)) {
      last_error_ = "cannot read " + name;
      return false;
    }
  }
  file.length = Sectors(file.data_bytes);
  files_.push_back(std::move(file));
  last_position_ = 0;
  return true;
}

void AudioCompilation::AddTrack(TTrackType kind) {
  if (files_.empty()) return;
  TTrack track;
  track.kind = kind;
  files_.back().tracks.push_back(track);
}

bool AudioCompilation::AddIndexFrames(int frames) {
  if (files_.empty() || files_.back().tracks.empty() || frames < 0) return false;
  TFiles& file = files_.back();
  TTrack& track = file.tracks.back();
  const auto f = static_cast<std::uint32_t>(frames);
  if (last_position_ != 0 && (f <= last_position_ || track.index_count >= kMaxIndexesPerTrack)) return false;
  if (track.index_count >= kMaxIndexesPerTrack || file.index_positions.size() >= kMaxIndexesPerFile) return false;
  if (f > file.length) return false;  // an index past the end of the file has no audio
  if (!file.index_positions.empty()) file.index_lengths.back() = f - last_position_;
  file.index_positions.push_back(f);
  file.index_lengths.push_back(static_cast<std::uint32_t>(file.length - f));
  ++track.index_count;
  last_position_ = f;
  return true;
}

void AudioCompilation::SetPregap(std::uint32_t frames) {
  if (!files_.empty() && !files_.back().tracks.empty()) files_.back().tracks.back().pregap = frames;
}

void AudioCompilation::Clear() {
  files_.clear();
  last_position_ = 0;
  last_error_.clear();
}

}  // namespace qvr::audio
