// What the audio engine reads of its drive and disc: capabilities, medium
// type, disc status, readiness; and the write parameters it leaves behind.
#include <algorithm>
#include <cstring>

#include "qvr/audio/mode_pages.h"
#include "qvr/audio/scsi_device.h"

namespace qvr::audio {

namespace {

// Page 2Ah reports a write speed of 0 on some drives; the writer then uses this.
constexpr std::uint16_t kFallbackWriteSpeed = 1385;

}  // namespace

bool TSCSIDevice::ReadCapabilities() {
  capabilities_ = 0;
  max_write_speed_ = 0;
  max_read_speed_ = 0;
  std::uint8_t answer[255];
  if (ModeSense10(0x2A, true, answer, sizeof answer)) {
    const std::uint8_t* p = answer + ModePageOffset(answer, 0x2A, true);
    using namespace capability;
    std::uint32_t caps = 0;
    if (p[2] & 0x01) caps |= kReadCdR;
    if (p[2] & 0x02) caps |= kReadCdRw;
    if (p[2] & 0x04) caps |= kReadMethod2;
    if (p[2] & 0x08) caps |= kReadDvdRom;
    if (p[2] & 0x10) caps |= kReadDvdR;
    if (p[2] & 0x20) caps |= kReadDvdRam;
    if (p[3] & 0x01) caps |= kWriteCdR;
    if (p[3] & 0x02) caps |= kWriteCdRw;
    if (p[3] & 0x04) caps |= kTestWrite;
    if (p[3] & 0x10) caps |= kWriteDvdR;
    if (p[3] & 0x20) caps |= kWriteDvdRam;
    bool underrun = (p[4] & 0x80) != 0 || quirks_.underrun_protection;
    if (!underrun) {
      std::uint8_t vendor[255];
      underrun = ModeSense10(0x30, false, vendor, sizeof vendor) &&
                 (vendor[7] == 0x30 || vendor[8] == 0x30 || vendor[16] == 0x30);
    }
    if (underrun) caps |= kUnderrunProtection;
    std::uint16_t max_write = Be16(p + 18), max_read = Be16(p + 8);
    if (caps & kWriteDvdRam) {
      if (max_write == 0) max_write = 1;
      if (max_read == 0) max_read = 1;
    }
    max_write_speed_ = max_write;
    max_read_speed_ = max_read;
    struct {
      std::uint16_t feature;
      std::uint32_t bit;
    } const features[] = {{0x2A, kWriteDvdPlusRw}, {0x3B, kWriteDvdPlusR}, {0x2F, kWriteDvdMinusR}};
    for (const auto& f : features) {
      std::uint8_t config[114] = {};
      if (GetConfiguration(2, f.feature, config, sizeof config) && Be16(config + 8) == f.feature) caps |= f.bit;
    }
    capabilities_ = caps;
  }

  std::uint8_t current[128];
  if (!ModeSense10(0x2A, false, current, sizeof current)) return false;
  const int offset = ModePageOffset(current, 0x2A, true);
  std::uint8_t* p = current + offset;
  if (Be16(p + 20) == 0) PutBe16(p + 20, kFallbackWriteSpeed);
  if (Be16(p + 18) == 0) PutBe16(p + 18, kFallbackWriteSpeed);
  {
    std::lock_guard lock(state_mutex_);
    page_2a_.fill(0);
    std::copy(p, current + sizeof current, page_2a_.begin());
  }
  current_write_speed_ = Be16(p + 20);
  max_write_speed_ = std::max<std::uint16_t>(max_write_speed_, Be16(p + 18));
  max_read_speed_ = std::max<std::uint16_t>(max_read_speed_, Be16(p + 8));
  return true;
}

std::uint8_t TSCSIDevice::GetMediumType() {
  std::uint8_t type = 0;
  std::uint8_t config[114] = {};
  if (GetConfiguration(2, 0, config, sizeof config)) {
    switch (Be16(config + 6)) {
      case 0x0008: type = 1; break;
      case 0x0009: type = 2; break;
      case 0x000A: type = 3; break;
      case 0x0010: type = 4; break;
      case 0x0011: type = 5; break;
      case 0x0012: type = 6; break;
      case 0x0013: type = 8; break;
      case 0x0014: type = 9; break;
      case 0x001A: type = 10; break;
      case 0x001B: type = 11; break;
      case 0x002B: type = 12; break;
      case 0x0020: type = 13; break;
      case 0x0021: type = 14; break;
      case 0x0022: type = 15; break;
      default: type = 0; break;
    }
  }
  if (type == 0) {
    std::uint8_t atip[26] = {};
    if (ReadTocPmaAtip(4, true, atip, sizeof atip)) {
      if (!(atip[6] & 0x80)) type = 1;
      else if (atip[6] & 0x40) type = 3;
      else type = 2;
    }
  }
  if (type == 0 && ReadDiscInformation()) type = (LastDiscInformation()[2] & 0x10) ? 3 : 2;
  if (type == 0 && TestUnitReady()) type = 1;
  return type;
}

int TSCSIDevice::GetDiscStatus() {
  if (!ReadDiscInformation()) return -1;
  switch (LastDiscInformation()[2] & 0x03) {
    case 0: return 0;
    case 1: return 1;
    case 2: return 2;
    default: return 3;
  }
}

bool TSCSIDevice::IsDiscErasable() {
  if (ReadDiscInformation()) return (LastDiscInformation()[2] & 0x10) != 0;
  const std::uint8_t type = GetMediumType();
  return type == 6 || type == 8 || type == 9 || type == 10;
}

bool TSCSIDevice::WaitUntilReady(int total_ms, int interval_ms) {
  // The ASC byte of this buffer doubles as the "not ready yet" mark.
  std::uint8_t sense[40] = {};
  std::uint8_t& mark = sense[12];
  int budget = total_ms;
  auto last_asc = [this] { return LastOutcome().asc(); };

  if (quirks_.slow_ready) {
    do {
      Sleep(1500);
      budget -= 1500;
      if (budget < 0) break;
      TestUnitReady();
    } while (last_asc() == 0x04);
  }
  if (GetMediumType() == 6) {
    mark = 0x04;
  } else {
    do {
      Sleep(interval_ms);
      ReadDiscInformation();
      budget -= interval_ms;
      if (budget < 0) return false;
    } while (last_asc() == 0x04);
  }
  if (TestUnitReady() && mark == 0) return true;

  for (;;) {
    do {
      Sleep(interval_ms);
      budget -= interval_ms;
      if (budget < 0) return false;
      TestUnitReady();
    } while (last_asc() == 0x04);
    for (;;) {
      std::memset(sense, 0, sizeof sense);
      RequestSense(sense, sizeof sense);
      budget -= interval_ms;
      if (sense[0] == 0xF0) mark = 0x04;
      if (mark == 0) return true;
      if (budget < 0) return false;
      Sleep(interval_ms);
    }
  }
}

bool TSCSIDevice::RestoreWriteParameters() {
  std::uint8_t answer[512];
  if (!ModeSense10(0x05, false, answer, sizeof answer)) return false;
  std::uint8_t page[54] = {};
  std::memcpy(page, answer + ModePageOffset(answer, 0x05, true), sizeof page);
  page[0] &= 0x3F;
  page[1] = 0x32;
  page[2] = static_cast<std::uint8_t>(0x01 | (quirks_.restore_sets_bit_20 ? 0x20 : 0x00));
  page[3] = static_cast<std::uint8_t>(0x04 | (FinalizeDisc ? 0x00 : 0xC0));
  page[4] = 0x08;
  for (int i = 5; i <= 13; ++i) page[i] = 0;
  page[14] = 0x00;
  page[15] = 0x96;
  std::uint8_t parameters[8 + 52] = {};
  std::memcpy(parameters + 8, page, 52);
  {
    std::lock_guard lock(state_mutex_);
    std::copy(std::begin(page), std::end(page), write_parameters_.begin());
  }
  return ModeSelect10(parameters, static_cast<std::uint8_t>(page[1] + 10));
}

void TSCSIDevice::SetWriteSpeed(std::uint16_t kbps) {
  SetCdSpeed(read_speed_, kbps);
  write_speed_ = kbps;
}

}  // namespace qvr::audio
