#pragma once
// Burning to a drive: where the new session starts (PrepareDriveBurn, on the
// caller's thread before the image cache is filled) and the sink the write
// job streams into (DriveSink): the drive set-up before the first write,
// WRITE (10) per cache slot with the retry rules, and the closing sequence of
// the medium.

#include <cstdint>

#include "qvr/data/engine_state.h"
#include "qvr/data/image_sink.h"
#include "qvr/data/scsi_device.h"

namespace qvr::data {

struct DrivePlacement {
  uint32_t sessionStart = 0;
  uint32_t volumeBase = 0;
  uint32_t udfSessionOffset = 0;
  bool parametersAccepted = false;  // the drive took the write parameters page
};

// Write parameters, the format a DVD-RW needs, and the start of the new
// session. mediaType is the medium's code (GetMediaType).
DrivePlacement PrepareDriveBurn(TSCSIDevice& d, uint8_t mediaType);

// Repeats poll (after sleeping when sleepFirst) while the drive answers
// "not ready" (ASC 04h), at most an hour of polls.
template <typename Poll>
void WhileNotReady(TSCSIDevice& d, bool sleepFirst, int sleepMs, Poll poll) {
  for (int i = 0; i < 3600000 / sleepMs; ++i) {
    if (sleepFirst) d.Waits.Sleep(sleepMs);
    poll();
    if (!sleepFirst && d.Asc() == 0x04) d.Waits.Sleep(sleepMs);
    if (d.Asc() != 0x04) return;
  }
}

// The FORMAT UNIT lists of burning and erasing.
extern const uint8_t kQuickFirst[12], kQuickSecond[12], kGrowRestricted[12], kPlusRWFull[12], kBDREFormat[12];
// Sectors a write must be a multiple of on the medium.
uint32_t WriteBlocking(uint8_t mediaType);
// The format a medium needs before its first write (null: none).
const uint8_t* FirstWriteFormat(uint8_t mediaType);

class DriveSink final : public ImageSink {
 public:
  // sessionStart: where a compilation's session starts; burnFromFile: an
  // image file is written from sector 0.
  DriveSink(TSCSIDevice& device, EngineState& state, uint8_t mediaType, bool burnFromFile, uint32_t sessionStart,
            uint32_t totalSectors);

  void Begin() override;
  bool Write(const uint8_t* data, uint32_t bytes, uint32_t lba) override;
  bool Close(bool failed) override;

 private:
  bool WriteSlot(const uint8_t* data, uint32_t bytes, uint32_t lba);
  bool CopyFirstSlotToSectorZero(const uint8_t* data, uint32_t bytes);
  bool FormatForFirstWrite();
  bool Failed();
  void CloseByMedium();

  TSCSIDevice& d_;
  EngineState& state_;
  const uint8_t media_;
  const bool burnFromFile_;
  const uint32_t sessionStart_, totalSectors_;
  int sessions_ = 0;
  bool first_ = true;
  bool formatTried_ = false;
  int countdown_ = 2;
};

}  // namespace qvr::data
