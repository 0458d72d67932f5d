// The MMC commands of the audio engine's drive, one request each.
#include <algorithm>
#include <cstring>

#include "qvr/audio/scsi_device.h"

namespace qvr::audio {

namespace {

std::uint8_t B(std::uint32_t value, int shift) { return static_cast<std::uint8_t>(value >> shift); }

std::uint32_t Be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

bool TSCSIDevice::TestUnitReady(std::uint32_t timeout_ms) {
  return Send(6, {0x00}, kFlagsNoData, nullptr, 0, timeout_ms).ok();
}

bool TSCSIDevice::RezeroUnit() { return Send(6, {0x01}, kFlagsNoData, nullptr, 0, 10000).ok(); }

bool TSCSIDevice::RequestSense(std::uint8_t* buffer, std::uint8_t allocation) {
  return Send(6, {0x03, 0, 0, 0, allocation}, kFlagsDataIn, buffer, allocation, 10000).ok();
}

bool TSCSIDevice::Inquiry() {
  std::uint8_t answer[128] = {};
  bool ok = Send(6, {0x12, 0, 0, 0, 128}, kFlagsDataIn, answer, sizeof answer, 10000).ok();
  std::memcpy(inquiry_.data(), answer, sizeof answer);
  return ok;
}

bool TSCSIDevice::StartStopUnit(bool load) {
  layer_.SetCloseAfterRequest(true);
  bool ok = Send(6, {0x1B, 0, 0, 0, static_cast<std::uint8_t>(load ? 3 : 2)}, kFlagsNoData, nullptr, 0, 20000).ok();
  layer_.SetCloseAfterRequest(false);
  return ok;
}

bool TSCSIDevice::PreventAllowRemoval(bool prevent) {
  if (prevent) return Send(6, {0x1E, 0, 0, 0, 1}, kFlagsNoData, nullptr, 0, 10000).ok();
  layer_.SetCloseAfterRequest(true);
  bool ok = Send(6, {0x1E, 0, 0, 0, 0}, kFlagsNoData, nullptr, 0, 10000).ok();
  layer_.SetCloseAfterRequest(false);
  return ok;
}

bool TSCSIDevice::Write10(std::int32_t lba, std::uint16_t blocks, const std::uint8_t* data, std::uint32_t length,
                          std::uint8_t flags) {
  const auto a = static_cast<std::uint32_t>(lba);
  return Send(10, {0x2A, 0, B(a, 24), B(a, 16), B(a, 8), B(a, 0), 0, B(blocks, 8), B(blocks, 0)}, flags,
              const_cast<std::uint8_t*>(data), length, 120000)
      .ok();
}

bool TSCSIDevice::SynchronizeCache(bool immediate, std::uint32_t timeout_ms) {
  return Send(10, {0x35, static_cast<std::uint8_t>(immediate ? 0x02 : 0x00)}, kFlagsNoData, nullptr, 0, timeout_ms)
      .ok();
}

bool TSCSIDevice::ReadTocPmaAtip(std::uint8_t format, bool msf, std::uint8_t* buffer, std::uint8_t allocation) {
  return Send(10, {0x43, static_cast<std::uint8_t>(msf ? 0x02 : 0x00), format, 0, 0, 0, 0, 0, allocation},
              kFlagsDataIn, buffer, allocation, 10000)
      .ok();
}

bool TSCSIDevice::GetConfiguration(std::uint8_t rt, std::uint16_t feature, std::uint8_t* buffer,
                                   std::uint8_t allocation) {
  return Send(10, {0x46, rt, B(feature, 8), B(feature, 0), 0, 0, 0, 0, allocation}, kFlagsDataIn, buffer,
              allocation, 30000)
      .ok();
}

bool TSCSIDevice::ReadDiscInformation() {
  std::array<std::uint8_t, 56> answer{};
  if (!Send(10, {0x51, 0, 0, 0, 0, 0, 0, 0, 56}, kFlagsDataIn, answer.data(), 56, 10000).ok()) return false;
  std::lock_guard lock(state_mutex_);
  disc_information_ = answer;
  return true;
}

bool TSCSIDevice::ReadTrackInformation(std::uint8_t track) {
  std::uint8_t a[40] = {};
  if (!Send(10, {0x52, 1, 0, 0, 0, track, 0, 0, 40}, kFlagsDataIn, a, sizeof a, 60000).ok()) return false;
  TrackInformation info;
  info.track_number = static_cast<std::uint16_t>(a[32] << 8 | a[2]);
  info.session_number = static_cast<std::uint16_t>(a[33] << 8 | a[3]);
  info.track_mode = a[5] & 0x0F;
  info.data_mode = a[6] & 0x0F;
  info.blank = (a[6] & 0x40) != 0;
  info.nwa_valid = (a[7] & 0x01) != 0;
  info.track_start = static_cast<std::int32_t>(Be32(a + 8));
  info.next_writable = static_cast<std::int32_t>(Be32(a + 12));
  info.free_blocks = Be32(a + 16);
  info.track_size = Be32(a + 24);
  std::lock_guard lock(state_mutex_);
  track_information_ = info;
  return true;
}

bool TSCSIDevice::SendOpcInformation() { return Send(10, {0x54, 1}, kFlagsNoData, nullptr, 0, 150000).ok(); }

bool TSCSIDevice::ModeSelect10(const std::uint8_t* data, std::uint8_t length) {
  return Send(10, {0x55, 0x10, 0, 0, 0, 0, 0, 0, length}, kFlagsDataOut, const_cast<std::uint8_t*>(data), length,
              10000)
      .ok();
}

bool TSCSIDevice::ModeSense10(std::uint8_t page, bool defaults, std::uint8_t* buffer, std::uint16_t allocation) {
  std::memset(buffer, 0, allocation);
  std::vector<std::uint8_t> answer(allocation);
  const std::uint8_t page_byte = static_cast<std::uint8_t>(defaults ? page | 0x80 : page);
  if (!Send(10, {0x5A, 0, page_byte, 0, 0, 0, 0, B(allocation, 8), B(allocation, 0)}, kFlagsDataIn,
            answer.data(), allocation, 20000)
           .ok()) {
    return false;
  }
  std::memcpy(buffer, answer.data(), allocation);
  return true;
}

bool TSCSIDevice::CloseTrackSession(bool session, bool immediate) {
  return Send(10,
              {0x5B, static_cast<std::uint8_t>(immediate ? 1 : 0), static_cast<std::uint8_t>(session ? 2 : 1), 0, 0,
               static_cast<std::uint8_t>(session ? 0 : 0xFF)},
              kFlagsNoData, nullptr, 0, 180000)
      .ok();
}

bool TSCSIDevice::ReadBufferCapacity() {
  std::uint8_t a[32] = {};
  if (!Send(10, {0x5C, 0, 0, 0, 0, 0, 0, 0, 32}, kFlagsDataIn, a, sizeof a, 10000).ok()) {
    free_buffer_size_ = 0;
    return false;
  }
  const std::uint32_t size = Be32(a + 4);
  const std::uint32_t free = Be32(a + 8);
  buffer_size_ = size;
  free_buffer_size_ = free == 0xFFFFFFFFu ? size : free;
  return true;
}

bool TSCSIDevice::SendCueSheet(const std::uint8_t* data, std::uint16_t length) {
  return Send(10, {0x5D, 0, 0, 0, 0, 0, 0, B(length, 8), B(length, 0)}, kFlagsDataOut,
              const_cast<std::uint8_t*>(data), length, 30000)
      .ok();
}

bool TSCSIDevice::SetCdSpeed(std::uint16_t read_kbps, std::uint16_t write_kbps) {
  const std::uint16_t r = read_kbps == 0 ? 0xFFFF : read_kbps;
  const std::uint16_t w = write_kbps == 0 ? 0xFFFF : write_kbps;
  return Send(12, {0xBB, 0, B(r, 8), B(r, 0), B(w, 8), B(w, 0)}, kFlagsNoData, nullptr, 0, 10000).ok();
}

}  // namespace qvr::audio
