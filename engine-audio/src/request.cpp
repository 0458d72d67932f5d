#include "qvr/audio/request.h"

#include <algorithm>
#include <cstdio>

#include "qvr/audio/sense_texts.h"

namespace qvr::audio {

namespace {

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

}  // namespace

std::string ErrorTextOf(std::uint8_t status, std::uint8_t host_status, std::uint8_t target_status,
                        const std::uint8_t* sense) {
  std::string text = StatusText(status, host_status, target_status);
  if (text == "CHECK CONDITION") {
    std::string key = SenseKeyText(sense);
    // Keys without a text of their own keep CHECK CONDITION.
    if (key != "CHECK CONDITION") text = key;
    std::string detail = AdditionalSenseText(sense[12], sense[13]);
    if (detail.empty()) detail = std::to_string(sense[12]) + "," + std::to_string(sense[13]);
    if (sense[7] != 0) text += " (" + detail + ")";
  }
  return text;
}

bool IsRoutineFailure(std::uint8_t opcode, std::uint8_t asc, std::uint8_t ascq) {
  static constexpr std::uint8_t kRoutine[] = {0x00, 0x01, 0x04, 0x12, 0x1B, 0x1E, 0x23, 0x35, 0x43,
                                              0x46, 0x51, 0x52, 0x55, 0x5A, 0x5C, 0xB6, 0xBB};
  if (std::find(std::begin(kRoutine), std::end(kRoutine), opcode) != std::end(kRoutine)) return true;
  return asc == 0x04 && ascq == 0x08;
}

std::string ErrorReportLine(const RequestBlock& block, std::uint8_t adapter, std::uint8_t target,
                            std::uint8_t lun, const RequestOutcome& outcome) {
  const aspi::SRB_ExecSCSICmd& srb = block.srb;
  std::string d = std::to_string(adapter) + ":" + Hex(target, 1) + ":" + std::to_string(lun) + " <" +
                  Hex(outcome.status, 2) + ">" + " [" + Hex(srb.SRB_BufLen, 5) + "]";
  std::string cdb;
  for (int i = 1; i <= 15; ++i) cdb += Hex(srb.CDBByte[i], 2) + " ";
  d = "(" + Hex(srb.CDBByte[0], 2) + ") {" + Hex(srb.SRB_Flags, 2) + "|" + Hex(srb.SRB_CDBLen, 2) + "} - " + d +
      " " + cdb;
  d = CommandName(srb.CDBByte[0]) + " " + d + " " + "|";
  if (srb.SRB_BufLen != 0 && srb.SRB_BufPointer != nullptr) {
    std::uint32_t last = std::min<std::uint32_t>(256, srb.SRB_BufLen - 1);
    for (std::uint32_t i = 0; i <= last; ++i) d += Hex(srb.SRB_BufPointer[i], 2) + " ";
  }
  const auto& s = outcome.sense;
  return "<<< " + d + "= " + Hex(outcome.host_status, 2) + " " + Hex(outcome.target_status, 2) + " " +
         Hex(s[0], 2) + " " + Hex(s[2], 2) + " " + "ASC:" + Hex(s[12], 2) + ",ASQ:" + Hex(s[13], 2) + " " +
         outcome.error_text;
}

}  // namespace qvr::audio
