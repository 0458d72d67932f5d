#pragma once
// TSCSIRequest: one SCSI command as the ASPI execute block carries it, with a
// 32-byte sense area right behind the published block (the library writes
// SRB_SenseLen = 24 bytes there). Both deliveries, SG_IO and the ASPI library,
// take this block.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qvr/platform/wnaspi32.h"

namespace qvr::data {

#pragma pack(push, 1)
struct TSCSIRequest {
  aspi::SRB_ExecSCSICmd srb;
  uint8_t senseTail[32 - (aspi::SENSE_LEN + 2)];
};
#pragma pack(pop)

constexpr uint8_t kSenseRequestLength = 24;
constexpr std::size_t kSenseAreaBytes = 32;

// Request status values.
constexpr uint8_t kRequestPending = aspi::SS_PENDING;
constexpr uint8_t kRequestDone = aspi::SS_COMP;
constexpr uint8_t kRequestError = aspi::SS_ERR;

enum class DataDirection : uint8_t { None, In, Out };

inline uint8_t* SenseArea(TSCSIRequest& r) {
  return reinterpret_cast<uint8_t*>(&r) + offsetof(aspi::SRB_ExecSCSICmd, SenseArea);
}
inline const uint8_t* SenseArea(const TSCSIRequest& r) {
  return reinterpret_cast<const uint8_t*>(&r) + offsetof(aspi::SRB_ExecSCSICmd, SenseArea);
}

// A zero-filled request for cdb (length 6, 10 or 12) and its data phase.
inline TSCSIRequest MakeRequest(const uint8_t* cdb, uint8_t cdbLength, DataDirection direction, void* buffer,
                                uint32_t length) {
  TSCSIRequest r;
  std::memset(&r, 0, sizeof r);
  r.srb.SRB_Flags = static_cast<uint8_t>(aspi::SRB_EVENT_NOTIFY |
                                         (direction == DataDirection::In    ? aspi::SRB_DIR_IN
                                          : direction == DataDirection::Out ? aspi::SRB_DIR_OUT
                                                                            : 0));
  r.srb.SRB_CDBLen = cdbLength;
  std::memcpy(r.srb.CDBByte, cdb, cdbLength);
  r.srb.SRB_BufPointer = static_cast<uint8_t*>(buffer);
  r.srb.SRB_BufLen = length;
  return r;
}

}  // namespace qvr::data
