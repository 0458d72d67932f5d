#pragma once
// The two plans of an audio job, built from the compilation: the MMC cue
// sheet sent before a disc-at-once write, and the read queue that tells the
// read-ahead which bytes of which file, or how much silence, form the stream.

#include <cstdint>
#include <string>
#include <vector>

#include "qvr/audio/compilation.h"

namespace qvr::audio {

constexpr std::size_t kMaxCueEntries = 256;
constexpr std::size_t kMaxReadEntries = 256;
constexpr int kMaxTracks = 99;
constexpr std::uint32_t kLeadSilenceBytes = 150 * kSectorBytes;  // 352 800

// Kinds of read entries besides the file kinds.
constexpr std::uint8_t kReadPregapSilence = 5;
constexpr std::uint8_t kReadDiscAtOnceData = 7;
constexpr std::uint8_t kTrackKindSilence = 8;

struct CueEntry {
  std::uint8_t ctl_adr = 0;
  std::uint8_t tno = 0;
  std::uint8_t index = 0;
  std::uint8_t data_form = 0;
  std::uint8_t scms = 0;
  std::uint8_t minutes = 0, seconds = 0, frames = 0;
  bool operator==(const CueEntry&) const = default;
};

struct ReadEntry {
  std::string file_name;  // empty: silence
  std::uint8_t kind = 0;
  std::uint8_t track_kind = 0;
  std::uint64_t offset = 0;  // first byte in the file
  std::uint64_t count = 0;   // bytes of the stream
  std::uint64_t data_end = 0;  // bytes from here on read as zeros (padding of the last sector)
  bool end_of_track = false;
  bool pregap = false;
  bool operator==(const ReadEntry&) const = default;
};

struct BurnPlan {
  std::vector<CueEntry> cue_sheet;
  std::vector<ReadEntry> read_queue;
  std::uint64_t total_bytes = 0;
};

// Results of BuildBurnPlan.
constexpr int kPlanOk = 0;
constexpr int kPlanEmpty = -1;             // no file
constexpr int kPlanFileWithoutTrack = -2;
constexpr int kPlanTooManyCueEntries = -3;
constexpr int kPlanTooManyReadEntries = -4;
constexpr int kPlanUnsupportedFirstTrack = -5;  // Mode 2 2336 has no lead-in form
constexpr int kPlanTrackWithoutIndex = -6;
constexpr int kPlanTooManyTracks = -7;  // a CD holds tracks 1 to 99

// Builds both plans; on failure plan is left empty.
int BuildBurnPlan(const std::vector<TFiles>& files, bool track_at_once, BurnPlan& plan);

// The job's error text for a plan result.
std::string PlanErrorText(int result);

// The cue sheet as sent with SEND CUE SHEET.
std::vector<std::uint8_t> CueSheetBytes(const std::vector<CueEntry>& entries);

struct TrackKindInfo {
  std::uint8_t ctl_adr;
  std::uint32_t sector_size;
  std::uint8_t lead_in_form, track_form, lead_out_form;
};
TrackKindInfo TrackKindTable(TTrackType kind);
bool IsAudioTrack(TTrackType kind);

}  // namespace qvr::audio
