// READ (10), READ (12), READ CD and VERIFY (10). Reads always see the disc as
// recorded (a running test write changes nothing on it).

#include <cstring>

#include "command.h"

namespace qvr::vdrive {

namespace {

// Finds what holds lba and how its data sits; a sense when it holds none.
struct Located {
  Sense sense;
  bool audio = false;
  SectorForm form = SectorForm::kMode1;
};

Located Locate(const Medium& m, std::int64_t lba) {
  Located at;
  if (lba < 0) {
    at.sense = sense::kLbaOutOfRange;
  } else if (m.IsPressed() || m.IsOverwritable()) {
    if (m.IsOverwritable() && !m.formatted) at.sense = sense::kCannotReadIncompatible;
    else if (lba >= m.ReadableEnd()) at.sense = sense::kLbaOutOfRange;
  } else if (const Track* t = m.TrackAt(lba)) {
    at.audio = t->audio;
    at.form = t->form;
  } else {
    at.sense = sense::kLbaOutOfRange;
  }
  return at;
}

void ReadBlocks(Ctx& ctx, std::int64_t lba, std::int64_t count) {
  if (!ctx.RequireMedium()) return;
  if (count == 0) return;
  const Medium& m = ctx.state.medium;
  if (ctx.length < static_cast<std::size_t>(count) * kBlockSize) {
    ctx.result.transfer_error = true;
    return;
  }
  for (std::int64_t i = 0; i < count; ++i) {
    Located at = Locate(m, lba + i);
    if (at.sense.IsError()) return ctx.Check(at.sense);
    if (at.audio) return ctx.Check(sense::kIllegalModeForTrack);
    if (!ctx.store.ReadUser(lba + i, at.form, ctx.data + i * kBlockSize)) return ctx.Check(sense::kUnrecoveredRead);
    ctx.result.transferred = static_cast<std::size_t>(i + 1) * kBlockSize;
  }
}

}  // namespace

void CmdRead10(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  ReadBlocks(ctx, static_cast<std::int32_t>(Be32(c + 2)), Be16(c + 7));
}

void CmdRead12(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  ReadBlocks(ctx, static_cast<std::int32_t>(Be32(c + 2)), Be32(c + 6));
}

void CmdVerify10(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  if (c[1] & 0x02) return ctx.Check(sense::kInvalidFieldInCdb);  // byte compare is not offered
  if (!ctx.RequireMedium()) return;
  std::int64_t lba = static_cast<std::int32_t>(Be32(c + 2));
  for (std::int64_t i = 0; i < Be16(c + 7); ++i) {
    Located at = Locate(ctx.state.medium, lba + i);
    if (at.sense.IsError()) return ctx.Check(at.sense);
  }
}

void CmdReadCd(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  int expected = (c[1] >> 2) & 0x07;
  std::int64_t lba = static_cast<std::int32_t>(Be32(c + 2));
  std::int64_t count = Be24(c + 6);
  std::uint8_t fields = c[9];
  if (expected > 5 || (fields & 0x06) != 0 || (c[10] & 0x07) != 0) return ctx.Check(sense::kInvalidFieldInCdb);
  if (!ctx.RequireMedium()) return;
  const Medium& m = ctx.state.medium;
  if (!m.IsCd()) return ctx.Check(sense::kCannotReadIncompatible);
  std::vector<std::uint8_t> out;
  std::uint8_t raw[kCdRawSize];
  for (std::int64_t i = 0; i < count; ++i) {
    Located at = Locate(m, lba + i);
    if (at.sense.IsError()) return ctx.Check(at.sense);
    bool type_ok = expected == 0 || (expected == 1 && at.audio) ||
                   (expected == 2 && !at.audio && at.form == SectorForm::kMode1) ||
                   (expected == 3 && !at.audio && at.form == SectorForm::kMode2Formless) ||
                   (expected == 4 && !at.audio && at.form == SectorForm::kMode2Form1);
    if (!type_ok) return ctx.Check(sense::kIllegalModeForTrack);
    if (!ctx.store.ReadRaw(lba + i, raw)) return ctx.Check(sense::kUnrecoveredRead);
    if (at.audio) {
      if (fields & 0xF8) out.insert(out.end(), raw, raw + kCdRawSize);
      if (out.size() > ctx.length) break;
      continue;
    }
    std::size_t header_end = at.form == SectorForm::kMode1 ? 16 : 24;
    FormLayout user = LayoutOf(at.form);
    if (fields & 0x80) out.insert(out.end(), raw, raw + 12);
    if (fields & 0x20) out.insert(out.end(), raw + 12, raw + 16);
    if ((fields & 0x40) && header_end > 16) out.insert(out.end(), raw + 16, raw + header_end);
    if (fields & 0x10) out.insert(out.end(), raw + user.offset, raw + user.offset + user.length);
    if (fields & 0x08) out.insert(out.end(), raw + user.offset + user.length, raw + kCdRawSize);
    if (out.size() > ctx.length) break;  // more than the host can take: refused below
  }
  if (ctx.length < out.size()) {
    ctx.result.transfer_error = true;
    return;
  }
  ctx.ReplyIn(out, out.size());
}

}  // namespace qvr::vdrive
