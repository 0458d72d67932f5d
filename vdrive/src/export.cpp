#include "qvr/vdrive/export.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "sector_store.h"

namespace qvr::vdrive {

namespace {

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

std::string CueTime(std::int64_t frames) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(frames / 4500),
                static_cast<long long>((frames / 75) % 60), static_cast<long long>(frames % 75));
  return buf;
}

}  // namespace

bool ExportIso(Drive& drive, int session, const std::string& path, std::int64_t* blocks, std::string* error) {
  MediumInfo info = drive.Info();
  if (!info.present) return Fail(error, "no disc in the drive");
  const Medium& m = info.medium;
  std::int64_t end = 0;
  if (m.IsPressed()) {
    if (session > 1) return Fail(error, "the disc has one session");
    end = m.image_blocks;
  } else if (m.IsOverwritable()) {
    if (session > 1) return Fail(error, "an overwritable disc has one session");
    end = m.written_end;
  } else {
    int last = m.LastSessionWithData();
    if (session > last) return Fail(error, "the disc has no session " + std::to_string(session) + " with data");
    int upto = session == 0 ? last : session;
    for (const Track& t : m.tracks) {
      if (t.session <= upto && !t.audio) end = std::max(end, t.NextWritable());
    }
  }
  if (end <= 0) return Fail(error, "the disc holds no data track");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return Fail(error, "cannot create " + path);
  constexpr int kChunk = 256;
  std::vector<std::uint8_t> chunk(kChunk * kBlockSize);
  for (std::int64_t lba = 0; lba < end; lba += kChunk) {
    int n = static_cast<int>(std::min<std::int64_t>(kChunk, end - lba));
    drive.ReadBlocks(lba, n, false, chunk.data());
    out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(n * kBlockSize));
  }
  out.close();
  if (!out) return Fail(error, "cannot write " + path);
  if (blocks) *blocks = end;
  return true;
}

bool ExportCue(Drive& drive, const std::string& cue_path, std::string* error) {
  MediumInfo info = drive.Info();
  if (!info.present) return Fail(error, "no disc in the drive");
  const Medium& m = info.medium;
  if (!m.IsCd()) return Fail(error, "BIN/CUE export needs a CD");
  std::vector<Track> tracks;
  for (const Track& t : m.tracks) {
    if (t.session == 1 && t.recorded > 0) tracks.push_back(t);
  }
  if (tracks.empty()) return Fail(error, "the disc holds no tracks");
  std::filesystem::path bin = cue_path;
  bin.replace_extension(".bin");
  std::ofstream data(bin, std::ios::binary | std::ios::trunc);
  std::ofstream cue(cue_path, std::ios::trunc);
  if (!data || !cue) return Fail(error, "cannot create " + cue_path + " and " + bin.string());
  std::int64_t base = tracks.front().start;
  std::int64_t end = tracks.back().NextWritable();
  constexpr int kChunk = 256;
  std::vector<std::uint8_t> raw(kChunk * kCdRawSize);
  for (std::int64_t lba = base; lba < end; lba += kChunk) {
    int n = static_cast<int>(std::min<std::int64_t>(kChunk, end - lba));
    drive.ReadBlocks(lba, n, true, raw.data());
    data.write(reinterpret_cast<const char*>(raw.data()), static_cast<std::streamsize>(n * kCdRawSize));
  }
  cue << "FILE \"" << bin.filename().string() << "\" BINARY\n";
  for (const Track& t : tracks) {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", t.number);
    const char* mode = t.audio ? "AUDIO" : (t.form == SectorForm::kMode1 ? "MODE1/2352" : "MODE2/2352");
    cue << "  TRACK " << number << ' ' << mode << "\n";
    if (t.pregap_start < t.start && t.pregap_start >= base) cue << "    INDEX 00 " << CueTime(t.pregap_start - base) << "\n";
    cue << "    INDEX 01 " << CueTime(t.start - base) << "\n";
    int index = 2;
    for (std::int64_t position : t.indexes) {
      std::snprintf(number, sizeof number, "%02d", index++);
      cue << "    INDEX " << number << ' ' << CueTime(position - base) << "\n";
    }
  }
  data.close();
  cue.close();
  if (!data || !cue) return Fail(error, "cannot write " + cue_path);
  return true;
}

}  // namespace qvr::vdrive
