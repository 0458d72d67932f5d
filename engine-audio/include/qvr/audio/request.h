#pragma once
// One SCSI request of the audio engine: the execute block it travels in, the
// outcome read back from it, and the texts built from that outcome.

#include <array>
#include <cstdint>
#include <string>

#include "qvr/platform/wnaspi32.h"

namespace qvr::audio {

// Sense bytes kept per request, and asked of the layer.
constexpr std::size_t kSenseRoom = 33;
constexpr std::uint8_t kSenseRequested = 24;

// Request flags of the commands.
constexpr std::uint8_t kFlagsNoData = aspi::SRB_EVENT_NOTIFY;                    // 40h
constexpr std::uint8_t kFlagsDataIn = aspi::SRB_EVENT_NOTIFY | aspi::SRB_DIR_IN;  // 48h
constexpr std::uint8_t kFlagsDataOut = aspi::SRB_EVENT_NOTIFY | aspi::SRB_DIR_OUT;  // 50h

#pragma pack(push, 1)
// The execute block with room for kSenseRoom sense bytes right behind its
// own sense area, where the layer writes them.
struct RequestBlock {
  aspi::SRB_ExecSCSICmd srb{};
  std::uint8_t more_sense[kSenseRoom - (aspi::SENSE_LEN + 2)]{};

  std::uint8_t* sense() { return srb.SenseArea; }
  const std::uint8_t* sense() const { return srb.SenseArea; }
};
#pragma pack(pop)
static_assert(sizeof(RequestBlock) == aspi::kExecHeaderSize + kSenseRoom);

struct RequestOutcome {
  std::uint8_t status = 0;  // SRB_Status; SS_COMP is success
  std::uint8_t host_status = 0;
  std::uint8_t target_status = 0;
  std::array<std::uint8_t, kSenseRoom> sense{};
  bool busy = false;        // the target answered BUSY
  std::string error_text;   // LastErrorText of the request

  bool ok() const { return status == aspi::SS_COMP; }
  std::uint8_t sense_key() const { return sense[2] & 0x0F; }
  std::uint8_t asc() const { return sense[12]; }
  std::uint8_t ascq() const { return sense[13]; }
};

// The text of a failed request: the status text, with CHECK CONDITION replaced
// by the sense-key text and the ASC/ASCQ description appended in brackets.
std::string ErrorTextOf(std::uint8_t status, std::uint8_t host_status, std::uint8_t target_status,
                        const std::uint8_t* sense);

// Operation codes whose failure is routine and not worth the error report.
bool IsRoutineFailure(std::uint8_t opcode, std::uint8_t asc, std::uint8_t ascq);

// The one-line diagnostic of a failed request ("<<< NAME (OP) {FL|LN} - ...").
std::string ErrorReportLine(const RequestBlock& block, std::uint8_t adapter, std::uint8_t target,
                            std::uint8_t lun, const RequestOutcome& outcome);

}  // namespace qvr::audio
