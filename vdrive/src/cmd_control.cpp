// TEST UNIT READY, REZERO, SEEK, START STOP UNIT, PREVENT/ALLOW, the speed
// commands, READ BUFFER CAPACITY, SEND OPC INFORMATION and SEND DVD STRUCTURE.

#include <algorithm>
#include <cctype>

#include "command.h"

namespace qvr::vdrive {

namespace {

const MediaSpec& SpeedSpec(const DriveState& state) {
  if (state.medium_present && !SpecOf(state.medium.kind).write_speeds.empty()) return SpecOf(state.medium.kind);
  return SpecOf(MediaKind::kCdR);
}

}  // namespace

int RoundedSpeed(const std::vector<int>& table, int requested) {
  if (table.empty()) return 0;
  if (requested <= 0) return table.back();
  int chosen = table.front();
  for (int speed : table) {
    if (speed <= requested) chosen = speed;
  }
  return chosen;
}

int CurrentWriteSpeed(const DriveState& state) { return RoundedSpeed(SpeedSpec(state).write_speeds, state.write_speed); }

int CurrentReadSpeed(const DriveState& state) {
  int max = state.medium_present ? SpecOf(state.medium.kind).max_read_speed : SpecOf(MediaKind::kCdR).max_read_speed;
  return state.read_speed <= 0 ? max : std::min(max, state.read_speed);
}

void CmdTestUnitReady(Ctx& ctx) { ctx.RequireMedium(); }

void CmdRezero(Ctx& ctx) { ctx.RequireMedium(); }

void CmdSeek10(Ctx& ctx) {
  if (!ctx.RequireMedium()) return;
  std::int64_t lba = static_cast<std::int32_t>(Be32(ctx.cdb.data() + 2));
  const Medium& m = ctx.state.medium;
  std::int64_t end = m.IsPressed() ? m.image_blocks : m.Spec().capacity + m.Spec().overburn;
  if (lba < (m.IsCd() ? -kCdPregap : 0) || lba >= end) ctx.Check(sense::kLbaOutOfRange);
}

void CmdStartStopUnit(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  bool load_eject = c[4] & 0x02;
  bool start = c[4] & 0x01;
  if ((c[4] >> 4) != 0) return;  // power condition change only
  DriveState& st = ctx.state;
  if (!load_eject) {
    if (start) ctx.RequireMedium();
    return;
  }
  if (!start) {
    if (st.prevent_removal) return ctx.Check(sense::kRemovalPrevented);
    if (!st.tray_open) {
      st.tray_open = true;
      st.simulation.reset();
      st.cue = CuePlan{};
      st.busy_until_ms = 0;
      if (st.medium_present) st.media_event = 3;
      ctx.dirty = true;
    }
    return;
  }
  if (st.tray_open) {
    st.tray_open = false;
    if (st.medium_present) st.media_event = 2;
    ctx.dirty = true;
  }
}

void CmdPreventAllow(Ctx& ctx) {
  bool prevent = ctx.cdb[4] & 0x01;
  if (ctx.state.prevent_removal != prevent) {
    ctx.state.prevent_removal = prevent;
    ctx.dirty = true;
  }
}

void CmdSetCdSpeed(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  if ((c[1] & 0x03) > 1) return ctx.Check(sense::kInvalidFieldInCdb);
  int read = Be16(c + 2), write = Be16(c + 4);
  ctx.state.read_speed = read == 0xFFFF ? 0 : read;
  ctx.state.write_speed = write == 0xFFFF ? 0 : write;
  ctx.dirty = true;
}

void CmdSetStreaming(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  std::size_t n = Be16(c + 9);
  if (c[8] != 0) return ctx.Check(sense::kInvalidFieldInCdb);  // only performance descriptors
  if (!ctx.TakeOut(n)) return;
  if (n == 0) return;
  if (n < 28) return ctx.Check(sense::kParameterListLength);
  const std::uint8_t* d = ctx.data;
  if (d[0] & 0x04) {  // RDD: back to the drive's defaults
    ctx.state.read_speed = ctx.state.write_speed = 0;
    ctx.dirty = true;
    return;
  }
  std::uint32_t start = Be32(d + 4), end = Be32(d + 8);
  std::uint32_t read_size = Be32(d + 12), read_time = Be32(d + 16);
  std::uint32_t write_size = Be32(d + 20), write_time = Be32(d + 24);
  if (end < start || read_time == 0 || write_time == 0) return ctx.Check(sense::kInvalidFieldInParameters);
  ctx.state.read_speed = static_cast<int>(std::min<std::uint64_t>(0xFFFF, std::uint64_t{read_size} * 1000 / read_time));
  ctx.state.write_speed = static_cast<int>(std::min<std::uint64_t>(0xFFFF, std::uint64_t{write_size} * 1000 / write_time));
  ctx.dirty = true;
}

void CmdReadBufferCapacity(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  bool blocks = c[1] & 0x01;
  ctx.DrainBuffer();
  std::int64_t blank = kBufferBytes - ctx.state.buffer_fill;
  std::uint8_t d[12] = {};
  Put16(d, 10);
  if (blocks) {
    d[3] = 0x01;
    Put32(d + 8, static_cast<std::uint32_t>(blank / 2048));
  } else {
    Put32(d + 4, static_cast<std::uint32_t>(kBufferBytes));
    Put32(d + 8, static_cast<std::uint32_t>(blank));
  }
  ctx.ReplyIn(d, sizeof d, Be16(c + 7));
}

void CmdSendOpc(Ctx& ctx) {
  std::size_t n = Be16(ctx.cdb.data() + 7);
  if (!ctx.TakeOut(n)) return;
  if (!ctx.RequireMedium()) return;
  if (ctx.state.medium.IsPressed()) ctx.Check(sense::kCannotWriteIncompatible);
}

void CmdSendDvdStructure(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  int format = c[7];
  std::size_t n = Be16(c + 8);
  if (!ctx.RequireMedium()) return;
  const Medium& m = ctx.state.medium;
  bool dash = m.kind == MediaKind::kDvdR || (m.kind == MediaKind::kDvdRw && !m.restricted_overwrite);
  if (format != 0x0F || !dash) return ctx.Check(sense::kInvalidFieldInCdb);
  if (!ctx.TakeOut(n)) return;
  if (n < 22) return ctx.Check(sense::kParameterListLength);
  const std::uint8_t* d = ctx.data;
  if (Be16(d) + 2u != n || !std::all_of(d + 8, d + 22, [](std::uint8_t ch) { return std::isdigit(ch) != 0; }))
    return ctx.Check(sense::kInvalidFieldInParameters);
  if (!m.CanAppend()) return ctx.Check(sense::kCommandSequence);
}

}  // namespace qvr::vdrive
