#pragma once
// Sizes of ISO 9660 and Joliet directory and path-table records, and the rule
// that places records into sectors. Layout and writer both use these, so the
// sizes computed first are the sizes written.

#include <cstdint>
#include <string_view>

#include "qvr/data/image_tree.h"

namespace qvr::data {

// A data length field holds 32 bits; larger files are recorded as several
// extents (ISO 9660 level 3) of at most this many bytes, each but the last
// with the multi-extent flag.
constexpr uint64_t kMaxExtentBytes = 0xFFFFF800;

inline uint32_t ExtentCount(uint64_t size) {
  return size <= 0xFFFFFFFFull ? 1 : static_cast<uint32_t>((size + kMaxExtentBytes - 1) / kMaxExtentBytes);
}
inline uint32_t RecordCount(const TFileEntry& e) { return e.IsDirectory() ? 1 : ExtentCount(e.Size); }

inline std::string_view IsoIdentifier(const TFileEntry& e, bool iso1999) {
  return iso1999 ? std::string_view(e.Iso1999Name) : std::string_view(e.ShortName);
}
inline uint32_t IsoRecordLength(uint32_t identifierLength) {
  return 33 + identifierLength + (identifierLength % 2 == 0 ? 1 : 0);
}
inline uint32_t JolietRecordLength(const TFileEntry& e) {
  return 34 + 2 * static_cast<uint32_t>(e.JolietName.size());
}
inline uint32_t IsoPathRecordLength(uint32_t identifierLength) {
  return 8 + identifierLength + (identifierLength % 2);
}

// Records never straddle a sector: one that does not fit starts the next sector.
class RecordPlacer {
 public:
  // Offset of the record within the extent.
  uint32_t Place(uint32_t length) {
    if (length > free_) {
      used_ += free_;
      free_ = 2048;
    }
    const uint32_t at = used_;
    used_ += length;
    free_ -= length;
    return at;
  }
  uint32_t Sectors() const { return (used_ + free_) / 2048; }

 private:
  uint32_t used_ = 68;  // "." and ".."
  uint32_t free_ = 1980;
};

}  // namespace qvr::data
