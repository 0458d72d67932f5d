#include "qvr/vdrive/medium.h"

#include <algorithm>

namespace qvr::vdrive {

namespace {

std::int64_t AlignUp(std::int64_t value, std::int64_t unit) { return (value + unit - 1) / unit * unit; }

}  // namespace

bool Medium::IsOverwritable() const {
  switch (kind) {
    case MediaKind::kDvdPlusRw:
    case MediaKind::kDvdRam:
    case MediaKind::kBdRe:
      return true;
    case MediaKind::kDvdRw:
      return restricted_overwrite;
    default:
      return false;
  }
}

std::uint16_t Medium::Profile() const {
  if (kind == MediaKind::kDvdRw) return restricted_overwrite ? profile::kDvdRwRestricted : profile::kDvdRwSequential;
  return Spec().profile;
}

std::int64_t Medium::Capacity() const {
  if (IsPressed()) return image_blocks;
  if (IsOverwritable() && formatted && !intermediate) return formatted_blocks;
  return Spec().capacity;
}

bool Medium::IsBlank() const {
  if (IsPressed()) return false;
  if (IsOverwritable()) return !formatted;
  return tracks.empty() && closed_sessions == 0;
}

int Medium::DiscStatus() const {
  if (IsPressed()) return 2;
  if (IsOverwritable()) {
    if (!formatted) return 0;
    return (kind == MediaKind::kDvdRam || kind == MediaKind::kBdRe) ? 3 : 2;
  }
  if (finalized) return 2;
  return IsBlank() ? 0 : 1;
}

int Medium::LastSessionState() const {
  if (IsPressed() || finalized) return 3;
  if (IsOverwritable()) return formatted ? 3 : 0;
  for (const Track& t : tracks) {
    if (t.session == OpenSession()) return 1;
  }
  return 0;
}

int Medium::ReportedSessions() const {
  if (IsPressed() || IsOverwritable()) return 1;
  return finalized ? closed_sessions : closed_sessions + 1;
}

int Medium::NextTrackNumber() const { return tracks.empty() ? 1 : tracks.back().number + 1; }

int Medium::FirstTrackInLastSession() const {
  if (!IsSequential()) return 1;
  int session = finalized ? closed_sessions : OpenSession();
  for (const Track& t : tracks) {
    if (t.session == session) return t.number;
  }
  return NextTrackNumber();
}

int Medium::LastTrackInLastSession() const {
  if (!IsSequential()) return 1;
  if (finalized) return tracks.empty() ? 1 : tracks.back().number;
  const Track& last = tracks.empty() ? Track{} : tracks.back();
  if (!tracks.empty() && last.session == OpenSession() && !last.closed && last.reserved == 0) return last.number;
  return NextTrackNumber();
}

std::int64_t Medium::GapAfterSession(int session) const {
  switch (kind) {
    case MediaKind::kCdR:
    case MediaKind::kCdRw:
      // Lead-out (90 s after the first session, 30 s later), lead-in 60 s, pregap 2 s.
      return (session == 1 ? 6750 : 2250) + 4500 + kCdPregap;
    case MediaKind::kDvdR:
    case MediaKind::kDvdRw:
      // Border-out (larger after the first border) and the next border-in.
      return session == 1 ? 17408 : 4096;
    case MediaKind::kDvdPlusR:
    case MediaKind::kDvdPlusRDl:
      return 6144;  // session closure and the next intro
    default:
      return 4096;
  }
}

std::int64_t Medium::SessionEnd(int session) const {
  std::int64_t end = 0;
  for (const Track& t : tracks) {
    if (t.session == session) end = t.End();
  }
  return end;
}

std::int64_t Medium::SessionStart(int session) const {
  for (const Track& t : tracks) {
    if (t.session == session) return t.start;
  }
  return session == OpenSession() ? OpenSessionStart() : 0;
}

std::int64_t Medium::OpenSessionStart() const {
  if (closed_sessions == 0) return 0;
  std::int64_t start = SessionEnd(closed_sessions) + GapAfterSession(closed_sessions);
  return IsCd() ? start : AlignUp(start, kEccBlock);
}

std::int64_t Medium::InvisibleTrackStart() const {
  if (!tracks.empty() && tracks.back().session == OpenSession()) {
    const Track& last = tracks.back();
    if (!last.closed && last.reserved == 0) return last.start;
    return IsCd() ? last.End() + kCdPregap : AlignUp(last.End(), kEccBlock);
  }
  return OpenSessionStart();
}

Track Medium::InvisibleTrack() const {
  if (!tracks.empty()) {
    const Track& last = tracks.back();
    if (last.session == OpenSession() && !last.closed && last.reserved == 0) return last;
  }
  Track t;
  t.number = NextTrackNumber();
  t.session = OpenSession();
  t.start = InvisibleTrackStart();
  t.pregap_start = IsCd() ? t.start - kCdPregap : t.start;
  return t;
}

Track* Medium::OpenTrack() {
  for (Track& t : tracks) {
    if (t.session == OpenSession() && !t.closed) return &t;
  }
  return nullptr;
}

const Track* Medium::FindTrack(int number) const {
  for (const Track& t : tracks) {
    if (t.number == number) return &t;
  }
  return nullptr;
}

const Track* Medium::TrackAt(std::int64_t lba) const {
  for (const Track& t : tracks) {
    std::int64_t first = (t.disc_at_once && (t.recorded > 0 || t.closed)) ? t.pregap_start : t.start;
    if (lba >= first && lba < t.NextWritable()) return &t;
  }
  return nullptr;
}

int Medium::LastSessionWithData() const {
  int session = 0;
  for (const Track& t : tracks) {
    if (t.recorded > 0) session = std::max(session, t.session);
  }
  return session;
}

std::int64_t Medium::ReadableEnd() const {
  if (IsPressed()) return image_blocks;
  if (IsOverwritable()) return formatted ? (intermediate ? formatted_blocks : Capacity()) : 0;
  std::int64_t end = 0;
  for (const Track& t : tracks) end = std::max(end, t.NextWritable());
  return end;
}

void Medium::MakeBlank() {
  tracks.clear();
  closed_sessions = 0;
  finalized = false;
  written_end = 0;
  restricted_overwrite = false;
  intermediate = false;
  formatted = Spec().formatted_when_new;
  formatted_blocks = formatted ? Spec().capacity : 0;
}

}  // namespace qvr::vdrive
