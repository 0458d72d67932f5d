// READ DISC INFORMATION, READ TRACK INFORMATION, READ TOC/PMA/ATIP,
// READ CAPACITY and READ FORMAT CAPACITIES.

#include <algorithm>

#include "command.h"

namespace qvr::vdrive {

namespace {

constexpr Msf kAtipLeadIn{97, 26, 66};

void PutAddress(std::uint8_t* p, std::int64_t lba, bool msf) {
  if (!msf) return Put32(p, static_cast<std::uint32_t>(lba));
  Msf t = LbaToMsf(lba);
  p[0] = 0;
  p[1] = static_cast<std::uint8_t>(t.m);
  p[2] = static_cast<std::uint8_t>(t.s);
  p[3] = static_cast<std::uint8_t>(t.f);
}

std::int64_t Clamp0(std::int64_t v) { return std::max<std::int64_t>(0, v); }

}  // namespace

void CmdReadDiscInformation(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  if ((c[1] & 0x07) != 0) return ctx.Check(sense::kInvalidFieldInCdb);
  if (!ctx.RequireMedium()) return;
  const Medium& m = ctx.Active();
  std::uint8_t d[34] = {};
  Put16(d, sizeof d - 2);
  d[2] = static_cast<std::uint8_t>((m.Spec().erasable ? 0x10 : 0) | m.LastSessionState() << 2 | m.DiscStatus());
  d[3] = 1;
  int sessions = m.ReportedSessions();
  int first = m.FirstTrackInLastSession(), last = m.LastTrackInLastSession();
  d[4] = static_cast<std::uint8_t>(sessions);
  d[5] = static_cast<std::uint8_t>(first);
  d[6] = static_cast<std::uint8_t>(last);
  d[9] = static_cast<std::uint8_t>(sessions >> 8);
  d[10] = static_cast<std::uint8_t>(first >> 8);
  d[11] = static_cast<std::uint8_t>(last >> 8);
  if (m.IsCd() && m.IsSequential()) d[7] = 0x20;  // unrestricted use
  if (m.kind == MediaKind::kDvdPlusRw && m.formatted) d[7] |= 0x03;  // background format complete
  d[8] = 0x00;
  if (m.CanAppend()) {
    if (m.IsCd()) {
      std::int64_t lead_in = m.IsBlank() ? MsfToLba(kAtipLeadIn.m, kAtipLeadIn.s, kAtipLeadIn.f)
                                         : m.OpenSessionStart() - kCdPregap - 4500;
      PutAddress(d + 16, lead_in, true);
      PutAddress(d + 20, m.Spec().capacity, true);
    } else {
      Put32(d + 16, static_cast<std::uint32_t>(m.OpenSessionStart()));
      Put32(d + 20, static_cast<std::uint32_t>(m.Spec().capacity));
    }
  } else {
    Put32(d + 16, 0xFFFFFFFF);
    Put32(d + 20, 0xFFFFFFFF);
  }
  ctx.ReplyIn(d, sizeof d, Be16(c + 7));
}

namespace {

enum class TrackKind { kRecorded, kInvisible, kReserved, kOverwrite, kNone };

void EncodeTrack(const Medium& m, const Track& t, TrackKind kind, std::uint8_t* d) {
  Put16(d, 46);
  d[2] = static_cast<std::uint8_t>(t.number);
  d[3] = static_cast<std::uint8_t>(t.session);
  d[32] = static_cast<std::uint8_t>(t.number >> 8);
  d[33] = static_cast<std::uint8_t>(t.session >> 8);
  bool cd = m.IsCd();
  bool dvd_sequential = !cd && m.IsSequential();
  int track_mode = t.audio ? 0 : (t.incremental || dvd_sequential) ? 5 : 4;
  d[5] = static_cast<std::uint8_t>(track_mode);
  int data_mode = t.audio ? 0x0F : (t.form == SectorForm::kMode1 ? 1 : 2);
  std::int64_t capacity = m.Capacity();
  std::int64_t start = t.start, size = t.Size(), nwa = 0, free = 0, lra = t.start + t.recorded - 1;
  bool nwa_v = false, blank = false;
  switch (kind) {
    case TrackKind::kInvisible:
      blank = t.recorded == 0;
      nwa = t.NextWritable();
      nwa_v = nwa < capacity;
      free = Clamp0(capacity - nwa);
      size = t.recorded + free;
      if (cd && blank) data_mode = 0x0F;
      break;
    case TrackKind::kReserved:
      d[6] |= 0x80;
      blank = t.recorded == 0;
      nwa = t.NextWritable();
      nwa_v = true;
      free = Clamp0(t.reserved - t.recorded);
      break;
    case TrackKind::kOverwrite:
      start = 0;
      if (m.restricted_overwrite) {
        size = std::max(m.written_end, m.intermediate ? m.formatted_blocks : m.written_end);
        nwa = m.written_end;
        nwa_v = true;
        free = Clamp0(capacity - m.written_end);
      } else {
        size = capacity;
        free = capacity;
        blank = !m.formatted;
      }
      lra = m.written_end - 1;
      break;
    case TrackKind::kRecorded:
    case TrackKind::kNone:
      break;
  }
  d[6] |= static_cast<std::uint8_t>((blank ? 0x40 : 0) | (dvd_sequential ? 0x20 : 0) | data_mode);
  d[7] = static_cast<std::uint8_t>((lra >= start ? 0x02 : 0) | (nwa_v ? 0x01 : 0));
  Put32(d + 8, static_cast<std::uint32_t>(start));
  Put32(d + 12, static_cast<std::uint32_t>(nwa_v ? nwa : 0));
  Put32(d + 16, static_cast<std::uint32_t>(free));
  Put32(d + 20, cd ? 0 : static_cast<std::uint32_t>(kEccBlock));
  Put32(d + 24, static_cast<std::uint32_t>(size));
  Put32(d + 28, static_cast<std::uint32_t>(lra >= start ? lra : 0));
}

}  // namespace

void CmdReadTrackInformation(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  int type = c[1] & 0x03;
  std::uint32_t number = Be32(c + 2);
  if (type == 3) return ctx.Check(sense::kInvalidFieldInCdb);
  if (!ctx.RequireMedium()) return;
  const Medium& m = ctx.Active();
  std::uint8_t d[48] = {};
  if (m.IsOverwritable() || m.IsPressed()) {
    // One track spans the whole disc.
    bool ok = (type == 1 && (number == 1 || number == 0xFF)) || (type == 2 && number == 1) ||
              (type == 0 && static_cast<std::int64_t>(number) < m.Capacity());
    if (!ok) return ctx.Check(sense::kInvalidFieldInCdb);
    Track t;
    if (m.IsPressed()) {
      t = m.tracks.front();
      EncodeTrack(m, t, TrackKind::kRecorded, d);
    } else {
      EncodeTrack(m, t, TrackKind::kOverwrite, d);
    }
    return ctx.ReplyIn(d, sizeof d, Be16(c + 7));
  }
  const Track* found = nullptr;
  Track invisible = m.InvisibleTrack();
  bool appendable = m.CanAppend();
  if (type == 1) {
    if (number == 0xFF || (appendable && static_cast<int>(number) == invisible.number)) {
      if (!appendable) return ctx.Check(sense::kInvalidFieldInCdb);
      found = &invisible;
    } else {
      found = m.FindTrack(static_cast<int>(number));
    }
  } else if (type == 2) {
    for (const Track& t : m.tracks) {
      if (t.session == static_cast<int>(number)) {
        found = &t;
        break;
      }
    }
    if (!found && appendable && static_cast<int>(number) == m.OpenSession()) found = &invisible;
  } else {
    auto lba = static_cast<std::int64_t>(static_cast<std::int32_t>(number));
    for (const Track& t : m.tracks) {
      if (lba >= t.pregap_start && lba < t.End()) found = &t;
    }
    if (!found && appendable && lba >= invisible.start && lba < m.Capacity()) found = &invisible;
  }
  if (!found) return ctx.Check(sense::kInvalidFieldInCdb);
  TrackKind kind = TrackKind::kRecorded;
  if (found == &invisible || (!found->closed && found->reserved == 0)) {
    kind = TrackKind::kInvisible;
  } else if (!found->closed) {
    kind = TrackKind::kReserved;
  }
  EncodeTrack(m, *found, kind, d);
  ctx.ReplyIn(d, sizeof d, Be16(c + 7));
}

namespace {

// The tracks a TOC lists: those of closed sessions and closed tracks.
std::vector<Track> TocTracks(const Medium& m) {
  std::vector<Track> tracks;
  if (m.IsOverwritable()) {
    if (!m.formatted) return tracks;
    Track t;
    t.recorded = m.Capacity();
    t.closed = true;
    tracks.push_back(t);
    return tracks;
  }
  for (const Track& t : m.tracks) {
    if (t.session <= m.closed_sessions || t.closed) tracks.push_back(t);
  }
  return tracks;
}

std::uint8_t AdrCtl(const Track& t) { return t.audio ? 0x10 : 0x14; }

std::int64_t LeadOut(const std::vector<Track>& tracks, int session) {
  std::int64_t end = 0;
  for (const Track& t : tracks) {
    if (t.session == session) end = t.End();
  }
  return end;
}

}  // namespace

void CmdReadToc(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  bool msf = c[1] & 0x02;
  int format = c[2] & 0x0F;
  int start = c[6];
  std::size_t allocation = Be16(c + 7);
  if (!ctx.RequireMedium()) return;
  const Medium& m = ctx.Active();
  bool cd = m.IsCd();
  if (format > 4 || format == 3 || (!cd && format >= 2)) return ctx.Check(sense::kInvalidFieldInCdb);
  std::vector<std::uint8_t> d(4, 0);
  if (format == 4) {
    if (m.IsPressed()) return ctx.Check(sense::kInvalidFieldInCdb);
    d.resize(28, 0);
    d[4] = 0x55;                                            // write power, reference speed
    d[5] = 0x40;                                            // unrestricted use
    d[6] = static_cast<std::uint8_t>(0x80 | (m.kind == MediaKind::kCdRw ? 0x40 : 0));
    d[8] = kAtipLeadIn.m;
    d[9] = kAtipLeadIn.s;
    d[10] = kAtipLeadIn.f;
    Msf out = LbaToMsf(m.Spec().capacity);
    d[12] = static_cast<std::uint8_t>(out.m);
    d[13] = static_cast<std::uint8_t>(out.s);
    d[14] = static_cast<std::uint8_t>(out.f);
    Put16(d.data(), static_cast<std::uint32_t>(d.size() - 2));
    return ctx.ReplyIn(d, allocation);
  }
  std::vector<Track> tracks = TocTracks(m);
  if (tracks.empty()) return ctx.Check(sense::kInvalidFieldInCdb);
  int last_session = tracks.back().session;
  if (format == 0) {
    d[2] = static_cast<std::uint8_t>(tracks.front().number);
    d[3] = static_cast<std::uint8_t>(tracks.back().number);
    if (start != 0xAA && start > tracks.back().number) return ctx.Check(sense::kInvalidFieldInCdb);
    for (const Track& t : tracks) {
      if (start == 0xAA || t.number < start) continue;
      std::uint8_t e[8] = {0, AdrCtl(t), static_cast<std::uint8_t>(t.number), 0};
      PutAddress(e + 4, t.start, msf);
      d.insert(d.end(), e, e + 8);
    }
    std::uint8_t e[8] = {0, AdrCtl(tracks.back()), 0xAA, 0};
    PutAddress(e + 4, LeadOut(tracks, last_session), msf);
    d.insert(d.end(), e, e + 8);
  } else if (format == 1) {
    d[2] = 1;
    d[3] = static_cast<std::uint8_t>(last_session);
    const Track* first = nullptr;
    for (const Track& t : tracks) {
      if (t.session == last_session) {
        first = &t;
        break;
      }
    }
    std::uint8_t e[8] = {0, AdrCtl(*first), static_cast<std::uint8_t>(first->number), 0};
    PutAddress(e + 4, first->start, msf);
    d.insert(d.end(), e, e + 8);
  } else {
    d[2] = 1;
    d[3] = static_cast<std::uint8_t>(last_session);
    auto add = [&d](int session, std::uint8_t adr_ctl, std::uint8_t point, Msf at, Msf p) {
      std::uint8_t e[11] = {static_cast<std::uint8_t>(session), adr_ctl, 0, point,
                            static_cast<std::uint8_t>(at.m), static_cast<std::uint8_t>(at.s),
                            static_cast<std::uint8_t>(at.f), 0, static_cast<std::uint8_t>(p.m),
                            static_cast<std::uint8_t>(p.s), static_cast<std::uint8_t>(p.f)};
      d.insert(d.end(), e, e + 11);
    };
    for (int s = 1; s <= last_session; ++s) {
      std::vector<const Track*> in;
      for (const Track& t : tracks) {
        if (t.session == s) in.push_back(&t);
      }
      if (in.empty()) continue;
      std::uint8_t ctl = AdrCtl(*in.front());
      add(s, ctl, 0xA0, {}, Msf{in.front()->number, in.front()->audio ? 0x00 : 0x20, 0});
      add(s, ctl, 0xA1, {}, Msf{in.back()->number, 0, 0});
      add(s, ctl, 0xA2, {}, LbaToMsf(LeadOut(tracks, s)));
      for (const Track* t : in) add(s, AdrCtl(*t), static_cast<std::uint8_t>(t->number), {}, LbaToMsf(t->start));
      bool more_follow = s < m.closed_sessions || !m.finalized;
      if (more_follow && m.IsSequential()) {
        std::int64_t next = LeadOut(tracks, s) + m.GapAfterSession(s);
        add(s, 0x50, 0xB0, LbaToMsf(next), LbaToMsf(m.Spec().capacity));
      }
    }
  }
  Put16(d.data(), static_cast<std::uint32_t>(d.size() - 2));
  ctx.ReplyIn(d, allocation);
}

void CmdReadCapacity(Ctx& ctx) {
  if (!ctx.RequireMedium()) return;
  const Medium& m = ctx.Active();
  std::int64_t end = m.ReadableEnd();
  std::uint8_t d[8] = {};
  Put32(d, static_cast<std::uint32_t>(end > 0 ? end - 1 : 0));
  Put32(d + 4, 2048);
  ctx.ReplyIn(d, sizeof d, sizeof d);
}

void CmdReadFormatCapacities(Ctx& ctx) {
  std::size_t allocation = Be16(ctx.cdb.data() + 7);
  if (!ctx.RequireMedium()) return;
  const Medium& m = ctx.Active();
  std::vector<std::uint8_t> d(4, 0);
  auto add = [&d](std::int64_t blocks, std::uint8_t byte4, std::uint32_t param) {
    std::uint8_t e[8];
    Put32(e, static_cast<std::uint32_t>(blocks));
    e[4] = byte4;
    Put24(e + 5, param);
    d.insert(d.end(), e, e + 8);
  };
  const MediaSpec& spec = m.Spec();
  switch (m.kind) {
    case MediaKind::kDvdPlusRw:
      add(m.formatted ? m.formatted_blocks : spec.capacity, m.formatted ? 2 : 1, 2048);
      add(spec.capacity, 0x26 << 2, 0);
      break;
    case MediaKind::kDvdRam:
      add(m.formatted ? m.formatted_blocks : spec.capacity, m.formatted ? 2 : 1, 2048);
      add(spec.capacity, 0x00, 2048);
      break;
    case MediaKind::kDvdRw:
      add(spec.capacity, m.restricted_overwrite ? 2 : 1, 2048);
      add(spec.capacity, 0x00, 16);
      add(spec.capacity, 0x10 << 2, 16);
      if (m.restricted_overwrite) add(spec.capacity, 0x13 << 2, 16);
      add(spec.capacity, 0x15 << 2, 16);
      break;
    case MediaKind::kBdRe:
      add(m.formatted ? m.formatted_blocks : spec.capacity, m.formatted ? 2 : 1, 2048);
      add(11826176, 0x00, 0x003000);
      add(11826176, 0x30 << 2, 0x003000);
      add(11564032, 0x30 << 2, 0x005000);
      add(12088320, 0x30 << 2, 0x001000);
      add(12219392, 0x31 << 2, 0);
      break;
    default:
      add(m.IsPressed() ? m.image_blocks : spec.capacity, 2, 2048);
      break;
  }
  d[3] = static_cast<std::uint8_t>(d.size() - 4);
  ctx.ReplyIn(d, allocation);
}

}  // namespace qvr::vdrive
