#pragma once
// Finding a mode page in a MODE SENSE (10) answer and the big-endian fields in it.

#include <cstdint>

namespace qvr::audio {

// Offset of the page in the answer: 16 when a block descriptor precedes it,
// 7 for drives that answer one byte short of the header (when allowed), else 8.
inline int ModePageOffset(const std::uint8_t* answer, std::uint8_t page, bool allow_short_header) {
  if ((answer[16] & 0x3F) == page) return 16;
  if (allow_short_header && (answer[8] & 0x3F) != page && (answer[7] & 0x3F) == page) return 7;
  return 8;
}

inline std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

inline void PutBe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}

}  // namespace qvr::audio
