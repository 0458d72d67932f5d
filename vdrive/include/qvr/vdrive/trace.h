#pragma once
// The command trace: one line per command the drive received.
//
//   SEQ OP CDB LENGTH DIR STATUS SENSE
//   17 2A 2a00000000100000200000 65536 out CHECK 5/21/02
//
// SEQ counts from 1 per drive, OP and CDB are hexadecimal (the CDB as long as
// it was sent), LENGTH is the data length of the request, DIR is in, out or
// none, STATUS is GOOD, CHECK or BUSY and SENSE is K/AA/QQ or "-" when GOOD.

#include <cstdint>
#include <string>
#include <vector>

#include "qvr/vdrive/sense.h"

namespace qvr::vdrive {

struct TraceEntry {
  std::uint64_t seq = 0;
  std::uint8_t opcode = 0;
  std::vector<std::uint8_t> cdb;
  std::uint32_t length = 0;
  std::string direction;  // "in", "out", "none"
  std::string status;     // "GOOD", "CHECK", "BUSY"
  Sense sense;

  std::string Format() const;
  static bool Parse(const std::string& line, TraceEntry& out);
};

}  // namespace qvr::vdrive
