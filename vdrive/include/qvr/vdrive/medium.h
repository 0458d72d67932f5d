#pragma once
// The recorded state of one disc: sessions, tracks, format state. The rules of
// where a disc may be written and what it reports live here; the commands in
// src/cmd_*.cpp read and change this state.

#include <cstdint>
#include <string>
#include <vector>

#include "qvr/vdrive/media.h"

namespace qvr::vdrive {

// How a CD sector's user data sits in its 2352 bytes.
enum class SectorForm : std::uint8_t { kMode1, kMode2Form1, kMode2Formless, kAudio };

struct Track {
  int number = 1;
  int session = 1;
  std::int64_t pregap_start = 0;  // CD index 0; equals start when there is no pregap
  std::int64_t start = 0;         // first user block (CD index 1)
  std::int64_t reserved = 0;      // fixed length from RESERVE TRACK or a cue sheet; 0 = open
  std::int64_t recorded = 0;      // blocks written from start
  std::int64_t padding = 0;       // blocks added when closed (CD run-out, DVD ECC padding)
  bool closed = false;
  bool audio = false;             // CTL: audio (0) or data (4)
  bool incremental = false;       // data recorded incrementally (CTL bit 0)
  bool disc_at_once = false;      // laid out by a cue sheet
  SectorForm form = SectorForm::kMode1;
  std::vector<std::int64_t> indexes;  // positions of index 2 and up

  std::int64_t Size() const { return closed ? recorded + padding : (reserved ? reserved : recorded); }
  std::int64_t End() const { return start + Size(); }
  std::int64_t NextWritable() const { return start + recorded; }
};

struct Medium {
  MediaKind kind = MediaKind::kCdR;
  // Overwritable media.
  bool formatted = false;
  bool restricted_overwrite = false;  // DVD-RW in restricted overwrite mode
  bool intermediate = false;          // DVD-RW quick-formatted: grows at its end
  std::int64_t formatted_blocks = 0;  // usable blocks once formatted (intermediate: formatted end)
  std::int64_t written_end = 0;       // one past the highest block ever written
  // Sequential media.
  std::vector<Track> tracks;
  int closed_sessions = 0;
  bool finalized = false;
  // Pressed media read their data in place from an image file.
  std::string image;
  std::int64_t image_blocks = 0;

  const MediaSpec& Spec() const { return SpecOf(kind); }
  bool IsCd() const { return Spec().family == Family::kCd; }
  bool IsPressed() const { return Spec().recording == Recording::kPressed; }
  // Writes go anywhere (formatted DVD+RW, DVD-RAM, BD-RE, restricted-overwrite DVD-RW).
  bool IsOverwritable() const;
  bool IsSequential() const { return !IsPressed() && !IsOverwritable(); }
  std::uint16_t Profile() const;

  // User blocks of the disc as it stands (formatted capacity, image size, ...).
  std::int64_t Capacity() const;
  // 0 empty, 1 incomplete, 2 complete, 3 random writable (READ DISC INFORMATION byte 2).
  int DiscStatus() const;
  // 0 empty, 1 incomplete, 3 complete.
  int LastSessionState() const;
  int ReportedSessions() const;     // closed sessions plus the open one
  int OpenSession() const { return closed_sessions + 1; }
  bool CanAppend() const { return IsSequential() && !finalized; }
  int FirstTrackInLastSession() const;
  int LastTrackInLastSession() const;
  int NextTrackNumber() const;

  // Where the next track of the open session begins (CD: index 1, behind its pregap).
  std::int64_t InvisibleTrackStart() const;
  // Start of the first track of the open session.
  std::int64_t OpenSessionStart() const;
  Track InvisibleTrack() const;     // the blank track MMC reports behind the last one
  Track* OpenTrack();               // the incomplete or reserved track of the open session
  const Track* FindTrack(int number) const;
  const Track* TrackAt(std::int64_t lba) const;  // the track whose recorded data holds lba
  std::int64_t SessionEnd(int session) const;   // lead-out start of a session
  std::int64_t SessionStart(int session) const; // start of the first track of a session
  int LastSessionWithData() const;
  // One past the last readable user block (READ CAPACITY, export).
  std::int64_t ReadableEnd() const;
  bool IsBlank() const;

  // Blocks between the end of session n and the first track of session n+1.
  std::int64_t GapAfterSession(int session) const;
  // Blank or erase the whole disc back to the state of a new one.
  void MakeBlank();
};

constexpr std::int64_t kCdPregap = 150;
constexpr std::int64_t kCdRunOut = 2;
constexpr std::int64_t kEccBlock = 16;

}  // namespace qvr::vdrive
