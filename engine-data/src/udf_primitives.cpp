#include "qvr/data/udf_primitives.h"

#include <array>
#include <cstring>
#include <ctime>

#include "qvr/data/byte_fields.h"

namespace qvr::data::udf {

namespace {

constexpr std::array<uint16_t, 256> MakeCrcTable() {
  std::array<uint16_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i << 8;
    for (int b = 0; b < 8; ++b) crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    table[i] = static_cast<uint16_t>(crc);
  }
  return table;
}
constexpr auto kCrcTable = MakeCrcTable();

}  // namespace

uint16_t Crc(const uint8_t* data, std::size_t length) {
  uint16_t crc = 0;
  for (std::size_t i = 0; i < length; ++i)
    crc = static_cast<uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
  return crc;
}

void FinishTag(uint8_t* d, uint16_t identifier, uint32_t crcLength, uint32_t location) {
  Put16LE(d, identifier);
  Put16LE(d + 2, 2);
  d[4] = 0;
  d[5] = 0;
  Put16LE(d + 6, 1);
  Put16LE(d + 8, Crc(d + 16, crcLength));
  Put16LE(d + 10, crcLength);
  Put32LE(d + 12, location);
  uint8_t sum = 0;
  for (int i = 0; i < 16; ++i)
    if (i != 4) sum = static_cast<uint8_t>(sum + d[i]);
  d[4] = sum;
}

Timestamp NowUtc() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  Timestamp t;
  t.year = static_cast<uint16_t>(tm.tm_year + 1900);
  t.month = static_cast<uint8_t>(tm.tm_mon + 1);
  t.day = static_cast<uint8_t>(tm.tm_mday);
  t.hour = static_cast<uint8_t>(tm.tm_hour);
  t.minute = static_cast<uint8_t>(tm.tm_min);
  t.second = static_cast<uint8_t>(tm.tm_sec);
  return t;
}

void PutTimestamp(uint8_t* p, const Timestamp& t) {
  Put16LE(p, 0x1000);
  Put16LE(p + 2, t.year);
  p[4] = t.month;
  p[5] = t.day;
  p[6] = t.hour;
  p[7] = t.minute;
  p[8] = t.second;
  p[9] = p[10] = p[11] = 0;
}

std::size_t PutCompressedUnicode(uint8_t* p, std::u16string_view text) {
  p[0] = 16;
  for (std::size_t i = 0; i < text.size(); ++i) Put16BE(p + 1 + 2 * i, text[i]);
  return 1 + 2 * text.size();
}

void PutDString(uint8_t* p, std::size_t fieldLength, std::u16string_view text) {
  std::memset(p, 0, fieldLength);
  if (text.empty()) return;
  std::size_t units = std::min(text.size(), (fieldLength - 2) / 2);
  if (units > 0 && text[units - 1] >= 0xD800 && text[units - 1] < 0xDC00) --units;
  const std::size_t used = PutCompressedUnicode(p, text.substr(0, units));
  p[fieldLength - 1] = static_cast<uint8_t>(used);
}

void PutRegid(uint8_t* p, std::string_view identifier, std::string_view suffix) {
  std::memset(p, 0, 32);
  std::memcpy(p + 1, identifier.data(), std::min<std::size_t>(identifier.size(), 23));
  std::memcpy(p + 24, suffix.data(), std::min<std::size_t>(suffix.size(), 8));
}

void PutOstaCharspec(uint8_t* p) {
  std::memset(p, 0, 64);
  PutText(p + 1, "OSTA Compressed Unicode");
}

void PutImplementationId(uint8_t* p) { PutRegid(p, "*Kestrelwick OrvaneUDF", std::string_view("\x06", 1)); }

void PutLongAd(uint8_t* p, uint32_t length, uint32_t block) {
  std::memset(p, 0, 16);
  Put32LE(p, length);
  Put32LE(p + 4, block);
}

}  // namespace qvr::data::udf
