#pragma once
// Faults injected on demand. A rule is one line of text:
//
//   fail OP[,OP...]|* [nth=N] [times=K] sense=K/AA/QQ
//                           fail the Nth command (default 1) of those opcodes
//                           (hexadecimal, * = any) counted from now, and the
//                           K-1 that follow it (default times=1)
//   busy N                  answer the next N commands with target status BUSY
//   notready MS             not ready, becoming ready (2/04/01) for MS milliseconds
//   longwrite MS            not ready, long write in progress (2/04/08) for MS ms
//   write-error LBA [sense=K/AA/QQ]
//                           every write touching LBA fails (default 3/0C/00)
//   cue-refuse [sense=K/AA/QQ]
//                           the next SEND CUE SHEET fails (default 5/26/00)
//   remove [after=N]        the medium disappears after N more commands (default 0)
//   unformat                a formatted DVD+RW or BD-RE loses its format
//
// "clear" (not a rule) removes every rule and brings back a removed medium.

#include <cstdint>
#include <string>

#include "qvr/vdrive/sense.h"

namespace qvr::vdrive {

struct FaultRule {
  enum class Kind : std::uint8_t { kFail, kBusy, kNotReady, kLongWrite, kWriteError, kCueRefuse, kRemove, kUnformat };
  Kind kind = Kind::kFail;
  std::string opcodes;      // kFail: hexadecimal opcodes joined by ',' or "*"
  std::int64_t nth = 1;     // kFail: commands of the opcodes still to pass before it fires, plus 1
  std::int64_t times = 1;   // kFail: how many commands fail once it fires
  std::int64_t count = 0;   // kBusy: commands; kRemove: commands before removal
  std::int64_t lba = 0;     // kWriteError
  std::int64_t until_ms = 0;  // kNotReady / kLongWrite: wall-clock end
  Sense sense;

  bool MatchesOpcode(std::uint8_t op) const;
  std::string Format() const;  // one line, parseable by Parse
  // Parses a rule. MS durations become absolute times from now_ms.
  static bool Parse(const std::string& text, std::int64_t now_ms, FaultRule& out, std::string* error);
};

}  // namespace qvr::vdrive
