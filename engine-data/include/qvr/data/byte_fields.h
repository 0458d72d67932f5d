#pragma once
// Writers of the fixed-width fields of disc structures. ISO 9660 records many
// numbers "both-byte order" (little-endian then big-endian); UDF is little-endian.

#include <cstdint>
#include <cstring>
#include <string_view>

namespace qvr::data {

inline void Put8(uint8_t* p, uint32_t v) { p[0] = static_cast<uint8_t>(v); }
inline void Put16LE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put16BE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void Put32LE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put32BE(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}
inline void Put64LE(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Put16Both(uint8_t* p, uint32_t v) {
  Put16LE(p, v);
  Put16BE(p + 2, v);
}
inline void Put32Both(uint8_t* p, uint32_t v) {
  Put32LE(p, v);
  Put32BE(p + 4, v);
}
inline void PutText(uint8_t* p, std::string_view text) { std::memcpy(p, text.data(), text.size()); }

inline uint32_t Get16LE(const uint8_t* p) { return p[0] | (p[1] << 8); }
inline uint32_t Get32LE(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint32_t Get32BE(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

constexpr uint32_t kSectorBytes = 2048;
constexpr uint64_t SectorsFor(uint64_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

}  // namespace qvr::data
