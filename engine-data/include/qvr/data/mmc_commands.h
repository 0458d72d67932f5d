#pragma once
// The MMC commands the data engine sends, each filling one request and
// returning true when the drive completed it. Multi-byte fields are
// big-endian. FORMAT UNIT, MODE SELECT, MODE SENSE, SYNCHRONIZE CACHE and
// BLANK also count a request still pending as success.

#include <cstdint>

#include "qvr/data/scsi_device.h"

namespace qvr::data {

// Sends cdb with its data phase; true on status 1 (or pending when pendingOk).
bool ExecuteCdb(TSCSIDevice& d, const uint8_t* cdb, uint8_t cdbLength, DataDirection direction, void* buffer,
                uint32_t length, bool pendingOk = false);

bool TestUnitReady(TSCSIDevice& d);
bool RezeroUnit(TSCSIDevice& d);
bool FormatUnit(TSCSIDevice& d, uint8_t formatByte, const uint8_t* list, uint32_t length);
bool Inquiry(TSCSIDevice& d, uint8_t* buffer64);
bool StartStopUnit(TSCSIDevice& d, bool immediate, uint8_t operation);  // 3 load, 2 eject
bool AllowRemoval(TSCSIDevice& d);
bool ReadFormatCapacities(TSCSIDevice& d, uint8_t* buffer124);
bool Read10(TSCSIDevice& d, uint32_t lba, uint16_t sectors, uint8_t* buffer);
bool Write10(TSCSIDevice& d, uint32_t lba, uint16_t sectors, uint32_t bytes, const uint8_t* buffer);
bool SynchronizeCache(TSCSIDevice& d, bool immediate);
bool ReadTocPmaAtip(TSCSIDevice& d, uint8_t format, uint8_t track, bool msf, uint8_t* buffer, uint16_t length);
bool GetConfiguration(TSCSIDevice& d, uint16_t startFeature, uint16_t length);  // into ConfigData
bool ReadDiscInformation(TSCSIDevice& d, uint8_t* buffer, uint16_t length);
bool ReadTrackInformation(TSCSIDevice& d, uint8_t track);  // into TrackInfo
bool ReserveTrack(TSCSIDevice& d, uint32_t sectors);
bool ModeSelect10(TSCSIDevice& d, uint8_t* buffer, uint16_t length);
bool ModeSense10(TSCSIDevice& d, uint8_t page, bool defaults, uint8_t* buffer, uint16_t length);
bool CloseTrackSession(TSCSIDevice& d, bool immediate, uint8_t function, uint8_t number);
bool ReadBufferCapacity(TSCSIDevice& d);
bool Blank(TSCSIDevice& d, bool minimal);
bool SetStreaming(TSCSIDevice& d, uint8_t* buffer, uint16_t length);
bool SetCDSpeed(TSCSIDevice& d, uint16_t readSpeed, uint16_t writeSpeed);  // 0 = maximum
bool SendDVDStructure(TSCSIDevice& d, uint8_t format, uint8_t* buffer, uint16_t length);
bool Seek10(TSCSIDevice& d, uint32_t lba);

// READ DISC INFORMATION (64 bytes) into DiscInfo.
inline bool ReadDiscInfo(TSCSIDevice& d, uint16_t length = 64) { return ReadDiscInformation(d, d.DiscInfo.data(), length); }

}  // namespace qvr::data
