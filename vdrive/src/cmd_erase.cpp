// BLANK (CD-RW, DVD-RW) and FORMAT UNIT (DVD+RW, DVD-RAM, DVD-RW, BD-RE).

#include "command.h"

namespace qvr::vdrive {

namespace {

void Wipe(Ctx& ctx) {
  ctx.state.simulation.reset();
  ctx.state.cue = CuePlan{};
  ctx.store.Clear();
  ctx.dirty = true;
}

}  // namespace

void CmdBlank(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  bool immediate = c[1] & 0x10;
  int type = c[1] & 0x07;
  if (!ctx.RequireMedium()) return;
  Medium& m = ctx.state.medium;
  if (m.kind != MediaKind::kCdRw && m.kind != MediaKind::kDvdRw) return ctx.Check(sense::kCannotWriteIncompatible);
  if (type != 0 && type != 1) return ctx.Check(sense::kInvalidFieldInCdb);
  m.MakeBlank();
  Wipe(ctx);
  bool dvd = m.kind == MediaKind::kDvdRw;
  double seconds = type == 0 ? duration::kBlankFull * (dvd ? 2.5 : 1.0) : duration::kBlankMinimal;
  ctx.LongOperation(seconds, sense::kLongWriteInProgress, immediate);
}

void CmdFormatUnit(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  if ((c[1] & 0x10) == 0 || (c[1] & 0x07) != 1 || (c[1] & 0x08)) return ctx.Check(sense::kInvalidFieldInCdb);
  if (ctx.length < 4 || !ctx.data) {
    ctx.result.transfer_error = true;
    return;
  }
  std::size_t descriptor_length = Be16(ctx.data + 2);
  if (!ctx.TakeOut(4 + descriptor_length)) return;
  if (!ctx.RequireMedium()) return;
  if (descriptor_length != 8) return ctx.Check(sense::kParameterListLength);
  const std::uint8_t* h = ctx.data;
  const std::uint8_t* d = ctx.data + 4;
  bool immediate = h[1] & 0x02;
  std::int64_t blocks = Be32(d);
  int type = d[4] >> 2;
  std::uint32_t param = Be24(d + 5);
  Medium& m = ctx.state.medium;
  const MediaSpec& spec = m.Spec();
  auto bad = [&ctx] { ctx.Check(sense::kInvalidFieldInParameters); };
  bool fits = blocks <= spec.capacity || blocks == 0xFFFFFFFF;
  double seconds = duration::kFormatQuick;
  switch (m.kind) {
    case MediaKind::kDvdPlusRw:
      if (type != 0x26 || !fits) return bad();
      Wipe(ctx);
      m.formatted = true;
      m.formatted_blocks = spec.capacity;
      m.written_end = 0;
      break;
    case MediaKind::kDvdRam:
      if (type != 0x00 || param != 2048 || !fits) return bad();
      Wipe(ctx);
      m.formatted = true;
      m.formatted_blocks = spec.capacity;
      m.written_end = 0;
      seconds = duration::kFormatFull;
      break;
    case MediaKind::kDvdRw:
      if (param != kEccBlock || !fits) return bad();
      if (type == 0x13) {
        // Grows the restricted-overwrite area to the whole disc; data stays.
        if (!m.restricted_overwrite) return bad();
        m.intermediate = false;
        m.formatted_blocks = spec.capacity;
        ctx.state.simulation.reset();
        ctx.dirty = true;
        break;
      }
      if (type != 0x00 && type != 0x10 && type != 0x15) return bad();
      Wipe(ctx);
      m.MakeBlank();
      m.restricted_overwrite = true;
      m.formatted = true;
      m.intermediate = type == 0x15;
      m.formatted_blocks = type == 0x15 ? (std::min<std::int64_t>(blocks, spec.capacity) + kEccBlock - 1) / kEccBlock * kEccBlock
                                        : spec.capacity;
      if (type != 0x15) seconds = duration::kFormatFull;
      break;
    case MediaKind::kBdRe:
      if ((type != 0x00 && type != 0x30 && type != 0x31) || !fits) return bad();
      Wipe(ctx);
      m.formatted = true;
      m.formatted_blocks = type == 0x31 ? spec.capacity : 11826176;
      m.written_end = 0;
      break;
    default:
      return ctx.Check(sense::kCannotFormatIncompatible);
  }
  ctx.LongOperation(seconds, sense::kFormatInProgress, immediate);
}

}  // namespace qvr::vdrive
