// INQUIRY, REQUEST SENSE, GET CONFIGURATION, MODE SENSE/SELECT (10) and
// GET EVENT STATUS NOTIFICATION.

#include <algorithm>
#include <cstring>

#include "command.h"

namespace qvr::vdrive {

namespace {

void PutText(std::uint8_t* out, const std::string& text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
}

const Medium* PresentMedium(Ctx& ctx) {
  return (ctx.state.medium_present && !ctx.state.tray_open) ? &ctx.Active() : nullptr;
}

}  // namespace

void CmdInquiry(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  bool evpd = c[1] & 0x01;
  std::size_t allocation = Be16(c + 3);
  if ((c[1] & 0xFE) != 0 || (!evpd && c[2] != 0)) return ctx.Check(sense::kInvalidFieldInCdb);
  if (evpd) {
    std::vector<std::uint8_t> page(4, 0);
    page[0] = 0x05;
    page[1] = c[2];
    if (c[2] == 0x00) {
      page.push_back(0x00);
      page.push_back(0x80);
    } else if (c[2] == 0x80) {
      std::string serial = ctx.identity.serial.empty() ? "QVR0000000" : ctx.identity.serial;
      page.insert(page.end(), serial.begin(), serial.end());
    } else {
      return ctx.Check(sense::kInvalidFieldInCdb);
    }
    page[3] = static_cast<std::uint8_t>(page.size() - 4);
    return ctx.ReplyIn(page, allocation);
  }
  std::uint8_t answer[96] = {};
  answer[0] = 0x05;  // CD/DVD device
  answer[1] = 0x80;  // removable medium
  answer[2] = 0x05;  // SPC-3
  answer[3] = 0x02;
  answer[4] = sizeof answer - 5;
  PutText(answer + 8, ctx.identity.vendor, 8);
  PutText(answer + 16, ctx.identity.product, 16);
  PutText(answer + 32, ctx.identity.revision, 4);
  PutText(answer + 36, ctx.identity.serial, 20);
  ctx.ReplyIn(answer, sizeof answer, allocation);
}

void CmdRequestSense(Ctx& ctx) {
  if (ctx.cdb[1] & 0x01) return ctx.Check(sense::kInvalidFieldInCdb);  // descriptor format
  Sense current;
  if (ctx.state.pending_sense.IsError()) {
    current = ctx.state.pending_sense;
    ctx.state.pending_sense = Sense{};
    ctx.dirty = true;
  } else if (ctx.state.busy_until_ms > ctx.now_ms) {
    current = ctx.state.busy_sense;
    std::int64_t span = std::max<std::int64_t>(1, ctx.state.busy_until_ms - ctx.state.busy_start_ms);
    current.progress = static_cast<int>(std::min<std::int64_t>(65535, (ctx.now_ms - ctx.state.busy_start_ms) * 65536 / span));
  } else if (ctx.state.tray_open) {
    current = sense::kNoMediumTrayOpen;
  } else if (!ctx.state.medium_present) {
    current = sense::kNoMediumTrayClosed;
  }
  std::uint8_t bytes[kSenseBytes];
  current.Encode(bytes);
  ctx.ReplyIn(bytes, sizeof bytes, ctx.cdb[4]);
}

// ---- GET CONFIGURATION ----

namespace {

struct Feature {
  std::uint16_t code;
  bool current;
  std::uint8_t version;
  std::vector<std::uint8_t> data;
};

std::vector<Feature> Features(Ctx& ctx) {
  const Medium* m = PresentMedium(ctx);
  auto kind_is = [m](std::initializer_list<MediaKind> kinds) {
    return m && std::find(kinds.begin(), kinds.end(), m->kind) != kinds.end();
  };
  using K = MediaKind;
  bool cd = m && m->IsCd();
  bool dvd = m && m->Spec().family == Family::kDvd;
  bool bd = m && m->Spec().family == Family::kBd;
  bool formatted_rw = m && m->IsOverwritable() && m->formatted;

  std::vector<Feature> f;
  // Profile list, highest first; the current one flagged.
  static const std::uint16_t kProfiles[] = {profile::kBdRe,  profile::kBdRSequential, profile::kBdRom,
                                            profile::kDvdPlusRDl, profile::kDvdPlusR, profile::kDvdPlusRw,
                                            profile::kDvdRwSequential, profile::kDvdRwRestricted, profile::kDvdRam,
                                            profile::kDvdR, profile::kDvdRom, profile::kCdRw, profile::kCdR,
                                            profile::kCdRom};
  std::vector<std::uint8_t> profiles;
  for (std::uint16_t p : kProfiles) {
    bool current = m && m->Profile() == p;
    profiles.insert(profiles.end(), {static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p),
                                     static_cast<std::uint8_t>(current ? 1 : 0), 0});
  }
  f.push_back({0x0000, true, 0, profiles});
  f.push_back({0x0001, true, 2, {0, 0, 0, 2, 0x01, 0, 0, 0}});    // core: ATAPI, DBE
  f.push_back({0x0002, true, 1, {0x02, 0, 0, 0}});               // morphing: OCEvent
  std::uint8_t removable = 0x29 | (ctx.state.prevent_removal ? 0x02 : 0);  // tray, eject, lock
  f.push_back({0x0003, true, 0, {removable, 0, 0, 0}});
  bool readable = m && !(m->IsBlank());
  f.push_back({0x0010, readable, 0, {0, 0, 0x08, 0, 0, 0x01, 0, 0}});  // random readable, 2048
  f.push_back({0x001D, cd || dvd, 0, {}});                              // multi-read
  f.push_back({0x001E, cd, 2, {0x80, 0, 0, 0}});                        // CD read (DAP)
  f.push_back({0x001F, dvd, 1, {0x01, 0, 0x01, 0}});                    // DVD read
  std::vector<std::uint8_t> random(12, 0);
  if (m) Put32(random.data(), static_cast<std::uint32_t>(std::max<std::int64_t>(0, m->Capacity() - 1)));
  Put32(random.data() + 4, 2048);
  Put16(random.data() + 8, m && m->Spec().family != Family::kCd ? 16 : 1);
  f.push_back({0x0020, formatted_rw && kind_is({K::kDvdRam, K::kBdRe, K::kDvdPlusRw}), 1, random});
  bool incremental = kind_is({K::kCdR, K::kCdRw, K::kDvdR, K::kBdR}) || (kind_is({K::kDvdRw}) && !m->restricted_overwrite);
  f.push_back({0x0021, incremental, 1, {0x01, 0x00, 0x40, 0x01, 0x10, 0, 0, 0}});  // mode 1, BUF, link size 16
  f.push_back({0x0023, kind_is({K::kDvdPlusRw, K::kDvdRam, K::kDvdRw, K::kBdRe}), 0, {}});
  f.push_back({0x0024, kind_is({K::kDvdRam, K::kBdRe}), 0, {0x80, 0, 0, 0}});
  f.push_back({0x0026, kind_is({K::kDvdRw}) && m->restricted_overwrite, 0, {}});
  f.push_back({0x0027, kind_is({K::kCdRw}), 0, {0, 0, 0, 0}});
  f.push_back({0x002A, kind_is({K::kDvdPlusRw}), 1, {0x01, 0x00, 0, 0}});  // DVD+RW write
  f.push_back({0x002B, kind_is({K::kDvdPlusR}), 0, {0x01, 0, 0, 0}});       // DVD+R write
  f.push_back({0x002C, kind_is({K::kDvdRw}) && m->restricted_overwrite, 0, {0x01, 0, 0, 0}});
  f.push_back({0x002D, cd && m->Spec().recording == Recording::kSequential, 2, {0x46, 0, 0x00, 0x3F}});  // TAO: BUF, test, CD-RW
  std::vector<std::uint8_t> mastering{0x6E, 0x00, 0xFF, 0xFF};  // BUF, SAO, raw MS, raw, test, CD-RW; cue sheet length
  f.push_back({0x002E, cd && m->Spec().recording == Recording::kSequential, 0, mastering});
  f.push_back({0x002F, kind_is({K::kDvdR, K::kDvdRw}), 1, {0x46, 0, 0, 0}});  // BUF, test write, DVD-RW
  f.push_back({0x003B, kind_is({K::kDvdPlusRDl}), 0, {0x01, 0, 0, 0}});
  f.push_back({0x0040, bd, 0, std::vector<std::uint8_t>(28, 0)});
  f.push_back({0x0041, kind_is({K::kBdR, K::kBdRe}), 0, std::vector<std::uint8_t>(24, 0)});
  f.push_back({0x0100, true, 0, {}});
  f.push_back({0x0105, true, 1, {0, 0, 0, 0}});
  f.push_back({0x0107, true, 3, {0x0F, 0, 0, 0}});  // real-time streaming with write speed
  std::string serial = ctx.identity.serial.empty() ? "QVR0000000" : ctx.identity.serial;
  std::vector<std::uint8_t> serial_bytes(serial.begin(), serial.end());
  while (serial_bytes.size() % 4) serial_bytes.push_back(' ');
  f.push_back({0x0108, true, 0, serial_bytes});
  return f;
}

}  // namespace

void CmdGetConfiguration(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  int rt = c[1] & 0x03;
  std::uint16_t start = Be16(c + 2);
  std::size_t allocation = Be16(c + 7);
  if (rt == 3) return ctx.Check(sense::kInvalidFieldInCdb);
  const Medium* m = PresentMedium(ctx);
  std::vector<std::uint8_t> answer(8, 0);
  Put16(answer.data() + 6, m ? m->Profile() : 0);
  for (const Feature& feature : Features(ctx)) {
    bool take = rt == 2 ? feature.code == start : feature.code >= start && (rt == 0 || feature.current);
    if (!take) continue;
    answer.push_back(static_cast<std::uint8_t>(feature.code >> 8));
    answer.push_back(static_cast<std::uint8_t>(feature.code));
    answer.push_back(static_cast<std::uint8_t>(feature.version << 2 | (feature.current ? 1 : 0) |
                                               (feature.code <= 0x0003 ? 2 : 0)));
    answer.push_back(static_cast<std::uint8_t>(feature.data.size()));
    answer.insert(answer.end(), feature.data.begin(), feature.data.end());
  }
  Put32(answer.data(), static_cast<std::uint32_t>(answer.size() - 4));
  ctx.ReplyIn(answer, allocation);
}

// ---- Mode pages ----

namespace {

enum class PageControl { kCurrent = 0, kChangeable = 1, kDefault = 2, kSaved = 3 };

std::vector<std::uint8_t> CapabilitiesPage(Ctx& ctx, PageControl pc) {
  const Medium* m = PresentMedium(ctx);
  const MediaSpec& spec = m ? m->Spec() : SpecOf(MediaKind::kCdR);
  std::vector<int> speeds = spec.write_speeds;
  std::sort(speeds.rbegin(), speeds.rend());
  std::vector<std::uint8_t> page(32 + 4 * speeds.size(), 0);
  page[0] = 0x2A;
  page[1] = static_cast<std::uint8_t>(page.size() - 2);
  if (pc == PageControl::kChangeable) return page;
  page[2] = 0x3F;  // reads CD-R, CD-RW, method 2, DVD-ROM, DVD-R, DVD-RAM
  page[3] = 0x37;  // writes CD-R, CD-RW, DVD-R, DVD-RAM; test write
  page[4] = 0xF1;  // BUF, multi-session, mode 2 form 1 and 2, audio play
  page[5] = 0x03;  // CD-DA commands, accurate stream
  page[6] = static_cast<std::uint8_t>(0x29 | (ctx.state.prevent_removal ? 0x02 : 0));
  int max_read = spec.max_read_speed;
  int max_write = speeds.empty() ? 0 : speeds.front();
  bool current = pc == PageControl::kCurrent;
  Put16(page.data() + 8, static_cast<std::uint32_t>(max_read));
  Put16(page.data() + 10, 256);
  Put16(page.data() + 12, static_cast<std::uint32_t>(kBufferBytes / 1024));
  Put16(page.data() + 14, static_cast<std::uint32_t>(current ? CurrentReadSpeed(ctx.state) : max_read));
  Put16(page.data() + 18, static_cast<std::uint32_t>(max_write));
  int write_now = current ? CurrentWriteSpeed(ctx.state) : max_write;
  if (speeds.empty()) write_now = 0;
  Put16(page.data() + 20, static_cast<std::uint32_t>(write_now));
  Put16(page.data() + 28, static_cast<std::uint32_t>(write_now));
  Put16(page.data() + 30, static_cast<std::uint32_t>(speeds.size()));
  for (std::size_t i = 0; i < speeds.size(); ++i) Put16(page.data() + 32 + 4 * i + 2, static_cast<std::uint32_t>(speeds[i]));
  return page;
}

std::vector<std::uint8_t> WriteParametersPage(Ctx& ctx, PageControl pc) {
  std::vector<std::uint8_t> page;
  if (pc == PageControl::kCurrent) {
    page.assign(ctx.state.write_params.page.begin(), ctx.state.write_params.page.end());
  } else if (pc == PageControl::kDefault) {
    WriteParameters defaults;
    page.assign(defaults.page.begin(), defaults.page.end());
  } else {
    page.assign(WriteParameters::kSize, 0xFF);
    page[0] = 0x05;
    page[1] = 0x32;
    page[2] = 0x7F;
    page[4] = 0x0F;
    page[6] = 0;
    page[7] = 0x3F;
    page[9] = 0;
  }
  return page;
}

std::vector<std::uint8_t> ErrorRecoveryPage(PageControl pc) {
  std::vector<std::uint8_t> page(12, 0);
  page[0] = 0x01;
  page[1] = 0x0A;
  if (pc == PageControl::kChangeable) page[3] = 0xFF;
  return page;
}

}  // namespace

void CmdModeSense10(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  auto pc = static_cast<PageControl>(c[2] >> 6);
  int code = c[2] & 0x3F;
  std::size_t allocation = Be16(c + 7);
  if (pc == PageControl::kSaved) return ctx.Check(sense::kSavingNotSupported);
  if (c[3] != 0) return ctx.Check(sense::kInvalidFieldInCdb);  // no subpages
  std::vector<std::uint8_t> answer(8, 0);
  auto add = [&answer](const std::vector<std::uint8_t>& page) { answer.insert(answer.end(), page.begin(), page.end()); };
  if (code == 0x01 || code == 0x3F) add(ErrorRecoveryPage(pc));
  if (code == 0x05 || code == 0x3F) add(WriteParametersPage(ctx, pc));
  if (code == 0x2A || code == 0x3F) add(CapabilitiesPage(ctx, pc));
  if (answer.size() == 8) return ctx.Check(sense::kInvalidFieldInCdb);
  Put16(answer.data(), static_cast<std::uint32_t>(answer.size() - 2));
  ctx.ReplyIn(answer, allocation);
}

namespace {

// Checks a write parameters page against the medium it will write.
bool ValidWriteParameters(const WriteParameters& wp, const Medium* m) {
  static const int kBlockTypes[] = {0, 1, 2, 3, 8, 9, 10, 11, 12, 13};
  int type = wp.WriteType();
  int block = wp.DataBlockType();
  if (type > kWriteTypeRaw) return false;
  if (wp.MultiSession() == 2) return false;
  if (std::find(std::begin(kBlockTypes), std::end(kBlockTypes), block) == std::end(kBlockTypes)) return false;
  if (wp.SessionFormat() != 0x00 && wp.SessionFormat() != 0x10 && wp.SessionFormat() != 0x20) return false;
  if (!m) return true;
  const MediaSpec& spec = m->Spec();
  if (spec.family == Family::kCd) {
    if (m->IsPressed() && wp.TestWrite()) return false;
    bool audio_block = block <= 3;
    bool audio_mode = (wp.TrackMode() & 0x04) == 0;
    if (type == kWriteTypeTao && audio_block != audio_mode) return false;
    if (type == kWriteTypePacket && (audio_block || (wp.FixedPacket() && wp.PacketSize() == 0))) return false;
    if (type == kWriteTypeRaw && (block < 1 || block > 3)) return false;
    return true;
  }
  bool dash = m->kind == MediaKind::kDvdR || m->kind == MediaKind::kDvdRw;
  if (dash) return (type == kWriteTypePacket || type == kWriteTypeSao) && block == 8;
  // DVD+R/+RW, DVD-RAM and BD ignore the page, but none can simulate a write.
  return !wp.TestWrite();
}

}  // namespace

void CmdModeSelect10(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  std::size_t n = Be16(c + 7);
  if ((c[1] & 0x10) == 0) return ctx.Check(sense::kInvalidFieldInCdb);  // page format required
  if (c[1] & 0x01) return ctx.Check(sense::kInvalidFieldInCdb);         // cannot save pages
  if (!ctx.TakeOut(n)) return;
  if (n == 0) return;
  if (n < 8) return ctx.Check(sense::kParameterListLength);
  const std::uint8_t* p = ctx.data;
  std::size_t block_descriptors = Be16(p + 6);
  if (block_descriptors != 0 && block_descriptors != 8) return ctx.Check(sense::kInvalidFieldInParameters);
  std::size_t pos = 8 + block_descriptors;
  if (pos > n) return ctx.Check(sense::kParameterListLength);
  WriteParameters wp = ctx.state.write_params;
  bool changed_05 = false;
  while (pos < n) {
    if (pos + 2 > n) return ctx.Check(sense::kParameterListLength);
    int code = p[pos] & 0x3F;
    std::size_t len = p[pos + 1] + 2u;
    if (pos + len > n) return ctx.Check(sense::kParameterListLength);
    if (code == 0x05) {
      if (len != WriteParameters::kSize) return ctx.Check(sense::kInvalidFieldInParameters);
      std::copy(p + pos, p + pos + len, wp.page.begin());
      wp.page[0] = 0x05;
      changed_05 = true;
    } else if (code == 0x01) {
      if (len != 12) return ctx.Check(sense::kInvalidFieldInParameters);
    } else if (code == 0x2A) {
      std::vector<std::uint8_t> now = CapabilitiesPage(ctx, PageControl::kCurrent);
      if (len != now.size() || !std::equal(now.begin() + 2, now.end(), p + pos + 2))
        return ctx.Check(sense::kInvalidFieldInParameters);
    } else {
      return ctx.Check(sense::kInvalidFieldInParameters);
    }
    pos += len;
  }
  if (!changed_05) return;
  if (!ValidWriteParameters(wp, PresentMedium(ctx))) return ctx.Check(sense::kInvalidFieldInParameters);
  bool was_test = ctx.state.write_params.TestWrite();
  ctx.state.write_params = wp;
  if (was_test && !wp.TestWrite()) ctx.EndSimulation();
  ctx.dirty = true;
}

void CmdGetEventStatus(Ctx& ctx) {
  const std::uint8_t* c = ctx.cdb.data();
  if ((c[1] & 0x01) == 0) return ctx.Check(sense::kInvalidFieldInCdb);  // only polled operation
  std::size_t allocation = Be16(c + 7);
  constexpr std::uint8_t kSupported = 0x02 | 0x04 | 0x10;  // operational change, power, media
  std::uint8_t requested = c[4] & kSupported;
  std::vector<std::uint8_t> answer(4, 0);
  answer[3] = kSupported;
  if (requested == 0) {
    answer[2] = 0x80;  // no event available
    Put16(answer.data(), 2);
    return ctx.ReplyIn(answer, allocation);
  }
  int cls = 0;
  if ((requested & 0x10) && ctx.state.media_event != 0) {
    cls = 4;
  } else {
    for (int bit = 1; bit < 8; ++bit) {
      if (requested & (1 << bit)) {
        cls = bit;
        break;
      }
    }
  }
  answer[2] = static_cast<std::uint8_t>(cls);
  std::uint8_t event[4] = {};
  if (cls == 2) {
    event[1] = 0x01;  // power: active
  } else if (cls == 4) {
    event[0] = static_cast<std::uint8_t>(ctx.state.media_event);
    event[1] = static_cast<std::uint8_t>((ctx.state.medium_present ? 0x02 : 0) | (ctx.state.tray_open ? 0x01 : 0));
    if (ctx.state.media_event != 0) {
      ctx.state.media_event = 0;
      ctx.dirty = true;
    }
  }
  answer.insert(answer.end(), event, event + 4);
  Put16(answer.data(), static_cast<std::uint32_t>(answer.size() - 2));
  ctx.ReplyIn(answer, allocation);
}

}  // namespace qvr::vdrive
