// WRITE (10/12), SEND CUE SHEET, RESERVE TRACK, CLOSE TRACK/SESSION and
// SYNCHRONIZE CACHE: where a disc may be written, and how sessions close.

#include <algorithm>
#include <cstring>

#include "command.h"

namespace qvr::vdrive {

namespace {

// Host bytes per block of a cue sheet data form (0: the drive generates it).
std::size_t CueFormBytes(std::uint8_t form) {
  switch (form & 0x3F) {
    case 0x00: return kCdRawSize;  // CD-DA
    case 0x10: return 2048;        // mode 1 user data
    case 0x11: return kCdRawSize;  // mode 1 raw
    case 0x20: return 2336;        // mode 2
    case 0x21: return kCdRawSize;  // mode 2 raw
    default: return 0;             // 01h, 14h, 24h: generated
  }
}

bool KnownCueForm(std::uint8_t form) {
  switch (form & 0x3F) {
    case 0x00: case 0x01: case 0x10: case 0x11: case 0x14: case 0x20: case 0x21: case 0x24: return true;
    default: return false;
  }
}

struct BlockFormat {
  std::size_t bytes;
  bool audio;
  bool raw;              // the host sends whole 2352-byte sectors (or more)
  SectorForm form;
  std::size_t offset;    // where the host's bytes go in the 2352-byte sector
};

// Host block of a track-at-once or packet write, from mode page 05h.
bool TaoBlockFormat(int data_block_type, BlockFormat& f) {
  switch (data_block_type) {
    case 0: f = {2352, true, true, SectorForm::kAudio, 0}; return true;
    case 1: f = {2368, true, true, SectorForm::kAudio, 0}; return true;
    case 2:
    case 3: f = {2448, true, true, SectorForm::kAudio, 0}; return true;
    case 8: f = {2048, false, false, SectorForm::kMode1, 16}; return true;
    case 9: f = {2336, false, false, SectorForm::kMode2Formless, 16}; return true;
    case 10: f = {2048, false, false, SectorForm::kMode2Form1, 24}; return true;
    case 11: f = {2056, false, false, SectorForm::kMode2Form1, 16}; return true;
    case 12: f = {2324, false, false, SectorForm::kMode2Form1, 24}; return true;
    case 13: f = {2332, false, false, SectorForm::kMode2Form1, 20}; return true;
    default: return false;
  }
}

SectorForm FormOfCue(std::uint8_t form) {
  switch (form & 0x3F) {
    case 0x00: case 0x01: return SectorForm::kAudio;
    case 0x10: case 0x11: case 0x14: return SectorForm::kMode1;
    default: return SectorForm::kMode2Form1;
  }
}

bool StoreBlock(Ctx& ctx, std::int64_t lba, const BlockFormat& f, const std::uint8_t* data) {
  if (ctx.Simulating()) return true;
  if (!ctx.state.medium.IsCd()) return ctx.store.WriteUser(lba, SectorForm::kMode1, data);
  if (f.raw) return ctx.store.WriteRaw(lba, data);
  return ctx.store.WritePart(lba, f.form, f.offset, data, f.bytes);
}

const FaultRule* WriteErrorIn(const DriveState& st, std::int64_t lba, std::int64_t count) {
  for (const FaultRule& rule : st.faults) {
    if (rule.kind == FaultRule::Kind::kWriteError && rule.lba >= lba && rule.lba < lba + count) return &rule;
  }
  return nullptr;
}

// A test write runs on a copy of the disc that is dropped when it ends.
Medium& WritableMedium(Ctx& ctx) {
  if (ctx.state.write_params.TestWrite() && ctx.state.medium.Spec().test_write && !ctx.state.simulation) {
    ctx.state.simulation = ctx.state.medium;
  }
  ctx.dirty = true;
  return ctx.Active();
}

void CloseTrack(const Medium& m, Track& t) {
  if (t.closed) return;
  t.closed = true;
  if (t.disc_at_once) {
    t.recorded = std::max(t.recorded, t.reserved);
    t.padding = 0;
  } else if (t.reserved) {
    t.padding = std::max<std::int64_t>(0, t.reserved - t.recorded);
  } else if (m.IsCd()) {
    t.padding = kCdRunOut;
  } else {
    t.padding = (kEccBlock - t.recorded % kEccBlock) % kEccBlock;
  }
}

// Closes the open session; finalize leaves no room for another.
void CloseSession(Ctx& ctx, Medium& m, bool finalize) {
  for (Track& t : m.tracks) {
    if (t.session == m.OpenSession()) CloseTrack(m, t);
  }
  m.closed_sessions++;
  std::int64_t next = m.SessionEnd(m.closed_sessions) + m.GapAfterSession(m.closed_sessions);
  m.finalized = finalize || next + kEccBlock >= m.Spec().capacity;
  ctx.dirty = true;
}

bool OpenSessionHasTracks(const Medium& m) {
  return std::any_of(m.tracks.begin(), m.tracks.end(), [&m](const Track& t) { return t.session == m.OpenSession(); });
}

// A disc-at-once session whose data all arrived: the drive writes lead-in and
// lead-out and closes it.
void FinishDiscAtOnce(Ctx& ctx, bool immediate) {
  Medium& m = ctx.Active();
  ctx.state.cue = CuePlan{};
  CloseSession(ctx, m, ctx.state.write_params.MultiSession() != 3);
  ctx.EndSimulation();
  ctx.LongOperation(duration::kCloseSession, sense::kLongWriteInProgress, immediate);
}

void WriteDiscAtOnce(Ctx& ctx, Medium& m, std::int64_t lba, std::int64_t count) {
  CuePlan& cue = ctx.state.cue;
  if (lba != cue.next_lba) return ctx.Check(sense::kInvalidAddressForWrite);
  if (lba + count > cue.leadout) return ctx.Check(sense::kLbaOutOfRange);
  std::size_t total = 0;
  for (std::int64_t i = 0; i < count; ++i) {
    std::size_t bytes = cue.BlockSizeAt(lba + i);
    if (bytes == 0) return ctx.Check(sense::kInvalidAddressForWrite);
    total += bytes;
  }
  if (!ctx.TakeOut(total)) return;
  if (const FaultRule* rule = WriteErrorIn(ctx.state, lba, count)) return ctx.Check(rule->sense);
  const std::uint8_t* p = ctx.data;
  for (std::int64_t i = 0; i < count; ++i) {
    std::int64_t at = lba + i;
    const CueTrack* ct = cue.TrackOf(at);
    std::uint8_t form = at < ct->start ? ct->pregap_form : ct->data_form;
    std::size_t bytes = CueFormBytes(form);
    BlockFormat f{bytes, (form & 0x30) == 0, bytes == kCdRawSize, FormOfCue(form), bytes == 2048 ? 16u : 16u};
    if (!StoreBlock(ctx, at, f, p)) return ctx.Check(sense::kWriteError);
    p += bytes;
    for (Track& t : m.tracks) {
      if (t.number == ct->number && at >= t.start) t.recorded = std::max(t.recorded, at + 1 - t.start);
    }
  }
  cue.next_lba = lba + count;
  ctx.FillBuffer(total);
}

void WriteSequential(Ctx& ctx, Medium& m, std::int64_t lba, std::int64_t count) {
  const WriteParameters& wp = ctx.state.write_params;
  if (!m.CanAppend()) return ctx.Check(sense::kInvalidAddressForWrite);
  if (m.IsCd() && wp.WriteType() != kWriteTypeTao && wp.WriteType() != kWriteTypePacket)
    return ctx.Check(sense::kCommandSequence);  // session at once needs a cue sheet; raw is not offered
  BlockFormat f{2048, false, false, SectorForm::kMode1, 0};
  if (m.IsCd() && !TaoBlockFormat(wp.DataBlockType(), f)) return ctx.Check(sense::kIllegalModeForTrack);
  // The track that takes the write: an open one whose next writable address it is.
  Track* target = nullptr;
  for (Track& t : m.tracks) {
    if (t.session == m.OpenSession() && !t.closed && t.NextWritable() == lba) target = &t;
  }
  bool new_track = false;
  if (!target) {
    Track* open = m.OpenTrack();
    bool open_ended = open && open->reserved == 0;
    if (open_ended || lba != m.InvisibleTrackStart()) return ctx.Check(sense::kInvalidAddressForWrite);
    new_track = true;
  }
  bool dash = m.kind == MediaKind::kDvdR || m.kind == MediaKind::kDvdRw;
  if (dash && wp.WriteType() == kWriteTypeSao && !(target && target->reserved))
    return ctx.Check(sense::kCommandSequence);  // disc at once writes into a reserved track
  std::int64_t limit = target && target->reserved ? target->start + target->reserved
                                                  : m.Spec().capacity + m.Spec().overburn;
  if (lba + count > limit) return ctx.Check(target && target->reserved ? sense::kInvalidAddressForWrite
                                                                       : sense::kLbaOutOfRange);
  if (target && m.IsCd() && target->recorded > 0 && target->audio != f.audio) return ctx.Check(sense::kIllegalModeForTrack);
  std::size_t total = f.bytes * static_cast<std::size_t>(count);
  if (!ctx.TakeOut(total)) return;
  if (const FaultRule* rule = WriteErrorIn(ctx.state, lba, count)) return ctx.Check(rule->sense);
  for (std::int64_t i = 0; i < count; ++i) {
    if (!StoreBlock(ctx, lba + i, f, ctx.data + static_cast<std::size_t>(i) * f.bytes)) return ctx.Check(sense::kWriteError);
  }
  if (new_track) {
    Track t;
    t.number = m.NextTrackNumber();
    t.session = m.OpenSession();
    t.start = lba;
    t.pregap_start = m.IsCd() ? lba - kCdPregap : lba;
    t.audio = f.audio;
    t.form = f.form;
    t.incremental = wp.WriteType() == kWriteTypePacket && m.IsCd();
    m.tracks.push_back(t);
    target = &m.tracks.back();
  } else if (target->recorded == 0 && m.IsCd()) {
    target->audio = f.audio;
    target->form = f.form;
  }
  target->recorded += count;
  ctx.FillBuffer(total);
}

void WriteOverwrite(Ctx& ctx, Medium& m, std::int64_t lba, std::int64_t count) {
  if (!m.formatted) return ctx.Check(sense::kCannotWriteIncompatible);
  std::int64_t end = lba + count;
  if (m.restricted_overwrite) {
    if (lba % kEccBlock != 0 || count % kEccBlock != 0) return ctx.Check(sense::kInvalidAddressForWrite);
    std::int64_t writable = m.intermediate ? std::max(m.formatted_blocks, m.written_end) : m.Capacity();
    if (lba > writable) return ctx.Check(sense::kInvalidAddressForWrite);
    if (end > m.Spec().capacity) return ctx.Check(sense::kLbaOutOfRange);
  } else if (end > m.Capacity()) {
    return ctx.Check(sense::kLbaOutOfRange);
  }
  if (!ctx.TakeOut(static_cast<std::size_t>(count) * kBlockSize)) return;
  if (const FaultRule* rule = WriteErrorIn(ctx.state, lba, count)) return ctx.Check(rule->sense);
  for (std::int64_t i = 0; i < count; ++i) {
    if (!ctx.store.WriteUser(lba + i, SectorForm::kMode1, ctx.data + static_cast<std::size_t>(i) * kBlockSize))
      return ctx.Check(sense::kWriteError);
  }
  m.written_end = std::max(m.written_end, end);
  if (m.intermediate) m.formatted_blocks = std::max(m.formatted_blocks, end);
  ctx.dirty = true;
  ctx.FillBuffer(static_cast<std::size_t>(count) * kBlockSize);
}

void Write(Ctx& ctx, std::int64_t lba, std::int64_t count) {
  if (!ctx.RequireMedium()) return;
  const Medium& disc = ctx.state.medium;
  if (disc.IsPressed()) return ctx.Check(sense::kWriteProtected);
  if (count == 0) return;
  if (ctx.state.write_params.TestWrite() && !disc.Spec().test_write) return ctx.Check(sense::kCommandSequence);
  if (disc.IsOverwritable()) return WriteOverwrite(ctx, ctx.state.medium, lba, count);
  Medium& m = WritableMedium(ctx);
  if (ctx.state.cue.active) return WriteDiscAtOnce(ctx, m, lba, count);
  WriteSequential(ctx, m, lba, count);
}

}  // namespace

std::size_t CuePlan::BlockSizeAt(std::int64_t lba) const {
  const CueTrack* t = TrackOf(lba);
  if (!t) return 0;
  return CueFormBytes(lba < t->start ? t->pregap_form : t->data_form);
}

const CueTrack* CuePlan::TrackOf(std::int64_t lba) const {
  const CueTrack* found = nullptr;
  for (const CueTrack& t : tracks) {
    if (lba >= t.pregap_start && lba < leadout) found = &t;
  }
  return found;
}

void CmdWrite10(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  Write(ctx, static_cast<std::int32_t>(Be32(c + 2)), Be16(c + 7));
}

void CmdWrite12(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  Write(ctx, static_cast<std::int32_t>(Be32(c + 2)), Be32(c + 6));
}

void CmdSendCueSheet(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  std::size_t n = Be24(c + 6);
  if (!ctx.RequireMedium()) return;
  const Medium& disc = ctx.state.medium;
  if (!disc.IsCd() || !disc.IsSequential() || !disc.CanAppend()) return ctx.Check(sense::kCommandSequence);
  if (ctx.state.write_params.WriteType() != kWriteTypeSao) return ctx.Check(sense::kCommandSequence);
  if (n == 0 || n % 8 != 0) return ctx.Check(sense::kInvalidFieldInCdb);
  if (!ctx.TakeOut(n)) return;
  for (auto it = ctx.state.faults.begin(); it != ctx.state.faults.end(); ++it) {
    if (it->kind == FaultRule::Kind::kCueRefuse) {
      Sense s = it->sense;
      ctx.state.faults.erase(it);
      ctx.dirty = true;
      return ctx.Check(s);
    }
  }
  {
    const Medium& active = ctx.Active();
    if (OpenSessionHasTracks(active) || ctx.state.cue.active) return ctx.Check(sense::kCommandSequence);
  }
  // Parse: lead-in, track entries, lead-out; ADR 2 and 3 (catalogue, ISRC) are skipped.
  struct Entry {
    std::uint8_t ctl_adr, tno, index, form;
    std::int64_t lba;
  };
  std::vector<Entry> entries;
  for (std::size_t pos = 0; pos < n; pos += 8) {
    const std::uint8_t* e = ctx.data + pos;
    int adr = e[0] & 0x0F;
    if (adr == 2 || adr == 3) continue;
    if (adr != 1 || e[4] != 0 || e[6] > 59 || e[7] > 74) return ctx.Check(sense::kInvalidFieldInParameters);
    entries.push_back({e[0], e[1], e[2], e[3], MsfToLba(e[5], e[6], e[7])});
  }
  const Medium& base = ctx.Active();
  std::int64_t session_start = base.OpenSessionStart();
  auto bad = [&ctx] { ctx.Check(sense::kInvalidFieldInParameters); };
  if (entries.size() < 3) return bad();
  const Entry& lead_in = entries.front();
  const Entry& lead_out = entries.back();
  if (lead_in.tno != 0 || lead_in.index != 0 || CueFormBytes(lead_in.form) != 0 || !KnownCueForm(lead_in.form))
    return bad();
  if (lead_out.tno != 0xAA || lead_out.index != 1 || CueFormBytes(lead_out.form) != 0 || !KnownCueForm(lead_out.form))
    return bad();
  CuePlan plan;
  plan.leadout = lead_out.lba;
  int expected_tno = base.NextTrackNumber();
  std::int64_t previous = session_start - kCdPregap - 1;
  for (std::size_t i = 1; i + 1 < entries.size(); ++i) {
    const Entry& e = entries[i];
    if (!KnownCueForm(e.form) || e.lba <= previous) return bad();
    bool audio = (e.ctl_adr & 0x40) == 0;
    if (audio != ((e.form & 0x30) == 0)) return bad();
    previous = e.lba;
    bool new_track = plan.tracks.empty() || e.tno != plan.tracks.back().number;
    if (new_track) {
      if (e.tno != expected_tno || e.tno > 99 || e.index > 1) return bad();
      if (plan.tracks.empty() && (e.index != 0 || e.lba != session_start - kCdPregap)) return bad();
      CueTrack t;
      t.number = e.tno;
      t.ctl_adr = e.ctl_adr;
      t.pregap_start = e.lba;
      t.start = e.index == 1 ? e.lba : -1;
      t.pregap_form = e.form;
      t.data_form = e.form;
      plan.tracks.push_back(t);
      ++expected_tno;
      continue;
    }
    CueTrack& t = plan.tracks.back();
    int next_index = t.start < 0 ? 1 : static_cast<int>(2 + t.indexes.size());
    if (e.index != next_index) return bad();
    if (e.index == 1) {
      t.start = e.lba;
      t.data_form = e.form;
    } else {
      t.indexes.push_back(e.lba);
    }
  }
  for (const CueTrack& t : plan.tracks) {
    if (t.start < 0) return bad();  // every track needs an index 1
  }
  if (plan.tracks.empty() || plan.tracks.front().start < session_start || plan.leadout <= previous) return bad();
  if (plan.leadout > base.Spec().capacity + base.Spec().overburn) return bad();
  const CueTrack& first = plan.tracks.front();
  plan.first_lba = CueFormBytes(first.pregap_form) ? first.pregap_start : first.start;
  plan.next_lba = plan.first_lba;
  plan.active = true;
  Medium& m = WritableMedium(ctx);
  for (std::size_t i = 0; i < plan.tracks.size(); ++i) {
    const CueTrack& ct = plan.tracks[i];
    std::int64_t end = i + 1 < plan.tracks.size() ? plan.tracks[i + 1].pregap_start : plan.leadout;
    Track t;
    t.number = ct.number;
    t.session = m.OpenSession();
    t.pregap_start = ct.pregap_start;
    t.start = ct.start;
    t.reserved = end - ct.start;
    t.audio = (ct.ctl_adr & 0x40) == 0;
    t.form = FormOfCue(ct.data_form);
    t.disc_at_once = true;
    t.indexes = ct.indexes;
    m.tracks.push_back(t);
  }
  ctx.state.cue = plan;
  ctx.dirty = true;
}

void CmdReserveTrack(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  if (c[1] & 0x01) return ctx.Check(sense::kInvalidFieldInCdb);  // reservation by LBA is not offered
  std::int64_t size = Be32(c + 5);
  if (!ctx.RequireMedium()) return;
  const Medium& disc = ctx.state.medium;
  if (!disc.IsSequential() || !disc.CanAppend() || ctx.state.cue.active) return ctx.Check(sense::kCommandSequence);
  if (size == 0) return ctx.Check(sense::kInvalidFieldInCdb);
  Medium& m = WritableMedium(ctx);
  Track* open = m.OpenTrack();
  if (open && open->reserved == 0) return ctx.Check(sense::kCommandSequence);  // an incomplete track is open
  if (!m.IsCd()) size = (size + kEccBlock - 1) / kEccBlock * kEccBlock;
  std::int64_t start = m.InvisibleTrackStart();
  if (start + size > m.Spec().capacity + m.Spec().overburn) return ctx.Check(sense::kInvalidFieldInCdb);
  Track t;
  t.number = m.NextTrackNumber();
  t.session = m.OpenSession();
  t.start = start;
  t.pregap_start = m.IsCd() ? start - kCdPregap : start;
  t.reserved = size;
  t.audio = m.IsCd() && ctx.state.write_params.DataBlockType() <= 3;
  t.form = t.audio ? SectorForm::kAudio : SectorForm::kMode1;
  m.tracks.push_back(t);
}

void CmdCloseTrackSession(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  bool immediate = c[1] & 0x01;
  int function = c[2] & 0x07;
  int number = Be16(c + 4);
  if (!ctx.RequireMedium()) return;
  const Medium& disc = ctx.state.medium;
  using K = MediaKind;
  std::vector<int> allowed;
  switch (disc.kind) {
    case K::kCdR: case K::kCdRw: case K::kDvdR: allowed = {1, 2}; break;
    case K::kDvdRw: allowed = disc.restricted_overwrite ? std::vector<int>{1, 2, 3} : std::vector<int>{1, 2}; break;
    case K::kDvdPlusR: case K::kDvdPlusRDl: allowed = {1, 2, 5, 6}; break;
    case K::kDvdPlusRw: allowed = {0, 2, 3}; break;
    case K::kBdR: allowed = {1, 2, 6}; break;
    default: break;
  }
  if (std::find(allowed.begin(), allowed.end(), function) == allowed.end()) return ctx.Check(sense::kInvalidFieldInCdb);
  if (disc.IsOverwritable()) {
    // Ends background formatting or an intermediate state; the disc stays as it is.
    return ctx.LongOperation(duration::kCloseTrack, sense::kLongWriteInProgress, immediate);
  }
  if (!disc.CanAppend()) return ctx.Check(sense::kCommandSequence);
  Medium& m = WritableMedium(ctx);
  if (function == 1) {
    if (ctx.state.cue.active) return ctx.Check(sense::kCommandSequence);
    Track* t = nullptr;
    for (Track& candidate : m.tracks) {
      if (candidate.number == number) t = &candidate;
    }
    if (number == 0xFF && !t) t = m.OpenTrack();
    if (!t) {
      // Closing the blank invisible track has nothing to do.
      if (number == m.InvisibleTrack().number && m.InvisibleTrack().recorded == 0) return;
      return ctx.Check(sense::kInvalidFieldInCdb);
    }
    if (t->closed) return;
    CloseTrack(m, *t);
    return ctx.LongOperation(duration::kCloseTrack, sense::kLongWriteInProgress, immediate);
  }
  if (ctx.state.cue.active) {
    if (ctx.state.cue.next_lba != ctx.state.cue.leadout) return ctx.Check(sense::kCommandSequence);
    return FinishDiscAtOnce(ctx, immediate);
  }
  bool finalize_function = function == 5 || function == 6;
  bool has_tracks = OpenSessionHasTracks(m);
  if (!has_tracks && !finalize_function) return ctx.Check(sense::kCommandSequence);
  if (!has_tracks && (m.closed_sessions == 0 || m.IsCd())) return ctx.Check(sense::kCommandSequence);
  bool finalize = finalize_function;
  if (m.IsCd() || m.kind == K::kDvdR || m.kind == K::kDvdRw) finalize = ctx.state.write_params.MultiSession() != 3;
  if (has_tracks) {
    CloseSession(ctx, m, finalize);
  } else {
    m.finalized = true;
  }
  ctx.EndSimulation();
  ctx.LongOperation(m.finalized ? duration::kFinalize : duration::kCloseSession, sense::kLongWriteInProgress, immediate);
}

void CmdSynchronizeCache(Ctx& ctx) {
  bool immediate = ctx.cdb[1] & 0x02;
  if (!ctx.RequireMedium()) return;
  ctx.DrainBuffer();
  int speed = std::max(1, CurrentWriteSpeed(ctx.state));
  double flush_seconds = static_cast<double>(ctx.state.buffer_fill) / 1000.0 / speed;
  if (ctx.state.buffer_fill != 0) ctx.dirty = true;
  ctx.state.buffer_fill = 0;
  CuePlan& cue = ctx.state.cue;
  if (cue.active && cue.next_lba == cue.leadout) return FinishDiscAtOnce(ctx, immediate);
  Medium& m = ctx.Active();
  if (m.IsCd() && m.IsSequential() && ctx.state.write_params.WriteType() == kWriteTypeTao && !cue.active) {
    // Track at once: the flush ends the track (run-out and link blocks).
    Track* open = m.OpenTrack();
    if (open && open->reserved == 0 && open->recorded > 0) {
      CloseTrack(m, *open);
      ctx.dirty = true;
    }
  }
  ctx.LongOperation(flush_seconds, sense::kLongWriteInProgress, immediate);
}

}  // namespace qvr::vdrive
