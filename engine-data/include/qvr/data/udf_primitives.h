#pragma once
// ECMA-167 / OSTA UDF 1.50 building blocks: descriptor tags with their CRC,
// timestamps, dstrings, entity identifiers and character set specifications.

#include <cstdint>
#include <string_view>

namespace qvr::data::udf {

// CRC-ITU-T (polynomial 1021h, initial value 0), as descriptor tags use it.
uint16_t Crc(const uint8_t* data, std::size_t length);

// Fills the 16-byte tag at d: identifier, version 2, serial 1, CRC over the
// crcLength bytes after the tag, location, then the tag checksum.
void FinishTag(uint8_t* d, uint16_t identifier, uint32_t crcLength, uint32_t location);

struct Timestamp {
  uint16_t year = 1980;
  uint8_t month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
Timestamp NowUtc();
void PutTimestamp(uint8_t* p, const Timestamp& t);  // 12 bytes, type 1, offset 0

// dstring of fieldLength bytes: compression ID 16 and UTF-16 big-endian
// characters, as many as fit, the used length in the last byte.
void PutDString(uint8_t* p, std::size_t fieldLength, std::u16string_view text);
// Compressed unicode without length byte (file identifiers); returns bytes.
std::size_t PutCompressedUnicode(uint8_t* p, std::u16string_view text);

void PutRegid(uint8_t* p, std::string_view identifier, std::string_view suffix);
void PutOstaCharspec(uint8_t* p);  // type 0, "OSTA Compressed Unicode"
void PutImplementationId(uint8_t* p);
// long_ad: length, logical block, partition 0.
void PutLongAd(uint8_t* p, uint32_t length, uint32_t block);

enum TagId : uint16_t {
  kPrimaryVolume = 1,
  kAnchor = 2,
  kImplementationUse = 4,
  kPartition = 5,
  kLogicalVolume = 6,
  kUnallocatedSpace = 7,
  kTerminating = 8,
  kIntegrity = 9,
  kFileSet = 256,
  kFileIdentifier = 257,
  kFileEntry = 261,
};

}  // namespace qvr::data::udf
