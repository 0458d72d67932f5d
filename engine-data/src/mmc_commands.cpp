#include "qvr/data/mmc_commands.h"

#include <algorithm>
#include <cstring>

#include "qvr/data/byte_fields.h"

namespace qvr::data {

namespace {

bool Timed(TSCSIDevice& d, const uint8_t* cdb, DataDirection dir, uint8_t* buffer, uint32_t bytes) {
  const uint64_t start = TransferTicksNow();
  const bool ok = ExecuteCdb(d, cdb, 10, dir, buffer, bytes);
  RecordTransfer(d, bytes, TransferTicksNow() - start);
  return ok;
}

bool None(TSCSIDevice& d, const uint8_t* cdb, uint8_t length, bool pendingOk = false) {
  return ExecuteCdb(d, cdb, length, DataDirection::None, nullptr, 0, pendingOk);
}

}  // namespace

bool ExecuteCdb(TSCSIDevice& d, const uint8_t* cdb, uint8_t cdbLength, DataDirection direction, void* buffer,
                uint32_t length, bool pendingOk) {
  TSCSIRequest r = MakeRequest(cdb, cdbLength, direction, buffer, length);
  const uint8_t status = SendCommand(d, r);
  return status == kRequestDone || (pendingOk && status == kRequestPending);
}

bool TestUnitReady(TSCSIDevice& d) {
  const uint8_t c[6] = {0x00};
  return None(d, c, 6);
}

bool RezeroUnit(TSCSIDevice& d) {
  const uint8_t c[6] = {0x01};
  return None(d, c, 6);
}

bool FormatUnit(TSCSIDevice& d, uint8_t formatByte, const uint8_t* list, uint32_t length) {
  const uint8_t c[6] = {0x04, formatByte};
  uint8_t copy[12] = {};
  std::memcpy(copy, list, std::min<uint32_t>(length, sizeof copy));
  return ExecuteCdb(d, c, 6, DataDirection::Out, copy, std::min<uint32_t>(length, sizeof copy), true);
}

bool Inquiry(TSCSIDevice& d, uint8_t* buffer64) {
  const uint8_t c[6] = {0x12, 0, 0, 0, 64, 0};
  return ExecuteCdb(d, c, 6, DataDirection::In, buffer64, 64);
}

bool StartStopUnit(TSCSIDevice& d, bool immediate, uint8_t operation) {
  const uint8_t c[6] = {0x1B, static_cast<uint8_t>(immediate ? 1 : 0), 0, 0, operation, 0};
  return None(d, c, 6);
}

bool AllowRemoval(TSCSIDevice& d) {
  const uint8_t c[6] = {0x1E, 0, 0, 0, 0, 0};
  return None(d, c, 6);
}

bool ReadFormatCapacities(TSCSIDevice& d, uint8_t* buffer124) {
  uint8_t c[10] = {0x23};
  Put16BE(c + 7, 124);
  return ExecuteCdb(d, c, 10, DataDirection::In, buffer124, 124);
}

bool Read10(TSCSIDevice& d, uint32_t lba, uint16_t sectors, uint8_t* buffer) {
  uint8_t c[10] = {0x28};
  Put32BE(c + 2, lba);
  Put16BE(c + 7, sectors);
  return Timed(d, c, DataDirection::In, buffer, uint32_t{sectors} * kSectorBytes);
}

bool Write10(TSCSIDevice& d, uint32_t lba, uint16_t sectors, uint32_t bytes, const uint8_t* buffer) {
  uint8_t c[10] = {0x2A};
  Put32BE(c + 2, lba);
  Put16BE(c + 7, sectors);
  return Timed(d, c, DataDirection::Out, const_cast<uint8_t*>(buffer), bytes);
}

bool SynchronizeCache(TSCSIDevice& d, bool immediate) {
  const uint8_t c[10] = {0x35, static_cast<uint8_t>(immediate ? 2 : 0)};
  return None(d, c, 10, true);
}

bool ReadTocPmaAtip(TSCSIDevice& d, uint8_t format, uint8_t track, bool msf, uint8_t* buffer, uint16_t length) {
  uint8_t c[10] = {0x43, static_cast<uint8_t>(msf ? 2 : 0), format, 0, 0, 0, track};
  Put16BE(c + 7, length);
  return ExecuteCdb(d, c, 10, DataDirection::In, buffer, length);
}

bool GetConfiguration(TSCSIDevice& d, uint16_t startFeature, uint16_t length) {
  uint8_t c[10] = {0x46, 2};
  Put16BE(c + 2, startFeature);
  Put16BE(c + 7, length);
  d.ConfigData.fill(0);
  return ExecuteCdb(d, c, 10, DataDirection::In, d.ConfigData.data(),
                    std::min<uint32_t>(length, static_cast<uint32_t>(d.ConfigData.size())));
}

bool ReadDiscInformation(TSCSIDevice& d, uint8_t* buffer, uint16_t length) {
  uint8_t c[10] = {0x51};
  Put16BE(c + 7, length);
  std::memset(buffer, 0, length);
  return ExecuteCdb(d, c, 10, DataDirection::In, buffer, length);
}

bool ReadTrackInformation(TSCSIDevice& d, uint8_t track) {
  uint8_t c[10] = {0x52, 1, 0, 0, 0, track};
  Put16BE(c + 7, 38);
  TTrackInfo& t = d.TrackInfo;
  std::memset(t.raw, 0, sizeof t.raw);
  if (!ExecuteCdb(d, c, 10, DataDirection::In, t.raw, sizeof t.raw)) return false;
  t.TrackStart = Get32BE(t.raw + 8);
  t.NextWritable = Get32BE(t.raw + 12);
  t.FreeBlocks = Get32BE(t.raw + 16);
  t.FixedPacketSize = Get32BE(t.raw + 20);
  t.TrackSize = Get32BE(t.raw + 24);
  t.LastRecorded = Get32BE(t.raw + 28);
  return true;
}

bool ReserveTrack(TSCSIDevice& d, uint32_t sectors) {
  uint8_t c[10] = {0x53};
  Put32BE(c + 5, sectors);
  return None(d, c, 10);
}

bool ModeSelect10(TSCSIDevice& d, uint8_t* buffer, uint16_t length) {
  uint8_t c[10] = {0x55, 0x10};
  Put16BE(c + 7, length);
  return ExecuteCdb(d, c, 10, DataDirection::Out, buffer, length, true);
}

bool ModeSense10(TSCSIDevice& d, uint8_t page, bool defaults, uint8_t* buffer, uint16_t length) {
  uint8_t c[10] = {0x5A, 0, static_cast<uint8_t>(page | (defaults ? 0x80 : 0))};
  Put16BE(c + 7, length);
  std::memset(buffer, 0, length);
  return ExecuteCdb(d, c, 10, DataDirection::In, buffer, length, true);
}

bool CloseTrackSession(TSCSIDevice& d, bool immediate, uint8_t function, uint8_t number) {
  const uint8_t c[10] = {0x5B, static_cast<uint8_t>(immediate ? 1 : 0), function, 0, 0, number};
  return None(d, c, 10);
}

bool ReadBufferCapacity(TSCSIDevice& d) {
  uint8_t c[10] = {0x5C};
  Put16BE(c + 7, 32);
  uint8_t answer[32] = {};
  if (!ExecuteCdb(d, c, 10, DataDirection::In, answer, sizeof answer)) return false;
  d.DriveBufferLength.store(Get32BE(answer + 4));
  d.DriveBufferBlank.store(Get32BE(answer + 8));
  return true;
}

bool Blank(TSCSIDevice& d, bool minimal) {
  const uint8_t c[12] = {0xA1, static_cast<uint8_t>(0x10 | (minimal ? 1 : 0))};
  return None(d, c, 12, true);
}

bool SetStreaming(TSCSIDevice& d, uint8_t* buffer, uint16_t length) {
  uint8_t c[12] = {0xB6};
  Put16BE(c + 9, length);
  return ExecuteCdb(d, c, 12, DataDirection::Out, buffer, length);
}

bool SetCDSpeed(TSCSIDevice& d, uint16_t readSpeed, uint16_t writeSpeed) {
  uint8_t c[12] = {0xBB, 1};
  Put16BE(c + 2, readSpeed == 0 ? 0xFFFF : readSpeed);
  Put16BE(c + 4, writeSpeed == 0 ? 0xFFFF : writeSpeed);
  return None(d, c, 12);
}

bool SendDVDStructure(TSCSIDevice& d, uint8_t format, uint8_t* buffer, uint16_t length) {
  uint8_t c[12] = {0xBF};
  c[7] = format;
  Put16BE(c + 8, length);
  return ExecuteCdb(d, c, 12, DataDirection::Out, buffer, length);
}

bool Seek10(TSCSIDevice& d, uint32_t lba) {
  uint8_t c[10] = {0x2B};
  Put32BE(c + 2, lba);
  return None(d, c, 10);
}

}  // namespace qvr::data
