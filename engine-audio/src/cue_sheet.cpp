#include "qvr/audio/cue_sheet.h"

namespace qvr::audio {

TrackKindInfo TrackKindTable(TTrackType kind) {
  switch (kind) {
    case TTrackType::ttAudio:
    case TTrackType::ttCDG: return {0x01, 2352, 0x01, 0x00, 0x01};
    case TTrackType::ttMode1_2048: return {0x41, 2048, 0x14, 0x10, 0x14};
    case TTrackType::ttMode1_2352: return {0x41, 2352, 0x14, 0x10, 0x14};
    case TTrackType::ttMode2_2336: return {0x41, 2336, 0x24, 0x30, 0x24};  // only after another track
    case TTrackType::ttMode2_2352: return {0x41, 2352, 0x24, 0x20, 0x24};
    case TTrackType::ttCDI2336: return {0x41, 2336, 0x24, 0x20, 0x24};
    case TTrackType::ttCDI2352: return {0x41, 2336, 0x24, 0x21, 0x24};
  }
  return {0x01, 2352, 0x01, 0x00, 0x01};
}

bool IsAudioTrack(TTrackType kind) { return kind == TTrackType::ttAudio || kind == TTrackType::ttCDG; }

namespace {

CueEntry Entry(std::uint8_t ctl, std::uint8_t tno, std::uint8_t index, std::uint8_t form, std::uint64_t p) {
  return {ctl, tno, index, form, 0, static_cast<std::uint8_t>(p / 4500), static_cast<std::uint8_t>((p / 75) % 60),
          static_cast<std::uint8_t>(p % 75)};
}

ReadEntry Silence(std::uint64_t bytes, std::uint8_t kind, std::uint8_t track_kind, bool pregap) {
  ReadEntry e;
  e.kind = kind;
  e.track_kind = track_kind;
  e.count = bytes;
  e.pregap = pregap;
  return e;
}

}  // namespace

int BuildBurnPlan(const std::vector<TFiles>& files, bool track_at_once, BurnPlan& plan) {
  plan = BurnPlan{};
  if (files.empty()) return kPlanEmpty;
  std::size_t tracks = 0;
  for (const TFiles& file : files) {
    if (file.tracks.empty()) return kPlanFileWithoutTrack;
    for (const TTrack& track : file.tracks) {
      if (track.index_count <= 0) return kPlanTrackWithoutIndex;
    }
    tracks += file.tracks.size();
  }
  if (tracks > kMaxTracks) return kPlanTooManyTracks;
  const TTrack& first_track = files.front().tracks.front();
  if (first_track.kind == TTrackType::ttMode2_2336) return kPlanUnsupportedFirstTrack;

  BurnPlan built;
  auto& cue = built.cue_sheet;
  auto& queue = built.read_queue;
  const TrackKindInfo first = TrackKindTable(first_track.kind);
  if (!track_at_once) {
    queue.push_back(Silence(kLeadSilenceBytes, files.front().kind, static_cast<std::uint8_t>(first_track.kind), false));
  }
  cue.push_back(Entry(first.ctl_adr, 0, 0, first.lead_in_form, 0));
  cue.push_back(Entry(first.ctl_adr, 1, 0, first.track_form, 0));
  std::uint64_t p = 150;
  std::uint64_t track_totals = 0;
  int tno = 1;
  bool first_of_disc = true;
  TTrackType last_kind = first_track.kind;

  for (const TFiles& file : files) {
    // The stream starts at the file's first index: what lies before it is not
    // part of any track and is neither read nor counted.
    const std::uint64_t base = file.kind == kFileWave ? file.data_offset : 0;
    const std::uint64_t data_end = base + file.data_bytes;
    std::size_t next_index = 0;
    for (const TTrack& track : file.tracks) {
      const TrackKindInfo info = TrackKindTable(track.kind);
      const auto track_kind = static_cast<std::uint8_t>(track.kind);
      std::uint64_t offset = base + std::uint64_t{file.index_positions[next_index]} * info.sector_size;
      const std::uint64_t track_start = offset;
      int n = 0;
      if (track.pregap != 0) {
        if (!track_at_once) {
          queue.push_back(Silence(std::uint64_t{track.pregap} * info.sector_size, kReadPregapSilence,
                                  kTrackKindSilence, true));
        }
        if (!first_of_disc) cue.push_back(Entry(info.ctl_adr, static_cast<std::uint8_t>(tno), 0, info.track_form, p));
        n = 1;
        p += track.pregap;
      } else {
        n = (first_of_disc || file.kind == kFileWave || track.index_count == 1) ? 1 : 0;
      }
      std::uint64_t track_bytes = 0;
      for (int i = 0; i < track.index_count; ++i) {
        const std::uint64_t length = file.index_lengths[next_index++];
        const std::uint64_t bytes = length * info.sector_size;
        if (!track_at_once) {
          ReadEntry e;
          e.file_name = file.name;
          e.kind = kReadDiscAtOnceData;
          e.track_kind = track_kind;
          e.offset = offset;
          e.count = bytes;
          e.data_end = data_end;
          queue.push_back(e);
        }
        cue.push_back(Entry(info.ctl_adr, static_cast<std::uint8_t>(tno), static_cast<std::uint8_t>(n),
                            info.track_form, p));
        offset += bytes;
        p += length;
        ++n;
        track_bytes += bytes;
      }
      if (track_at_once) {
        // One entry with the whole track's audio; the drive writes the pauses.
        ReadEntry e;
        e.file_name = file.name;
        e.kind = file.kind;
        e.track_kind = track_kind;
        e.offset = track_start;
        e.count = track_bytes;
        e.data_end = data_end;
        queue.push_back(e);
      }
      queue.back().end_of_track = true;
      track_totals += track_bytes;
      last_kind = track.kind;
      ++tno;
      first_of_disc = false;
    }
  }
  const TrackKindInfo last = TrackKindTable(last_kind);
  cue.push_back(Entry(last.ctl_adr, 0xAA, 1, first.lead_out_form, p));

  if (cue.size() > kMaxCueEntries) return kPlanTooManyCueEntries;
  if (queue.size() > kMaxReadEntries) return kPlanTooManyReadEntries;
  built.total_bytes = track_at_once ? kLeadSilenceBytes + track_totals : p * kSectorBytes;
  plan = std::move(built);
  return kPlanOk;
}

std::string PlanErrorText(int result) {
  switch (result) {
    case kPlanOk: return {};
    case kPlanEmpty: return "NO AUDIO FILES TO WRITE";
    case kPlanFileWithoutTrack: return "FILE WITHOUT TRACK";
    case kPlanTooManyCueEntries: return "TOO MANY CUE SHEET ENTRIES (MORE THAN 256)";
    case kPlanTooManyReadEntries: return "TOO MANY READ ENTRIES (MORE THAN 256)";
    case kPlanUnsupportedFirstTrack: return "MODE 2 (2336) CAN'T BE THE FIRST TRACK";
    case kPlanTrackWithoutIndex: return "TRACK WITHOUT INDEX";
    case kPlanTooManyTracks: return "TOO MANY TRACKS (MORE THAN 99)";
    default: return "INVALID COMPILATION";
  }
}

std::vector<std::uint8_t> CueSheetBytes(const std::vector<CueEntry>& entries) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(entries.size() * 8);
  for (const CueEntry& e : entries) {
    bytes.insert(bytes.end(), {e.ctl_adr, e.tno, e.index, e.data_form, e.scms, e.minutes, e.seconds, e.frames});
  }
  return bytes;
}

}  // namespace qvr::audio
