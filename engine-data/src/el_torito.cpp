#include "qvr/data/el_torito.h"

#include "qvr/data/byte_fields.h"

namespace qvr::data {

bool IsBootImageSize(uint64_t size) {
  return size == 2048 || size == 1228800 || size == 1474560 || size == 2949120;
}

uint8_t BootMediaType(uint32_t size) {
  switch (size) {
    case 1228800: return 1;
    case 1474560: return 2;
    case 2949120: return 3;
    default: return 0;
  }
}

void WriteBootRecord(uint8_t* d, uint32_t catalogSector) {
  d[0] = 0;
  PutText(d + 1, "CD001");
  d[6] = 1;
  PutText(d + 7, "EL TORITO SPECIFICATION");
  Put32LE(d + 71, catalogSector);
}

void WriteBootCatalog(uint8_t* d, uint32_t imageSize, uint32_t loadSector) {
  // Validation entry: the 16 words of the first 32 bytes sum to zero.
  d[0] = 1;
  d[1] = 0;
  PutText(d + 4, "Orvane CD/DVD Burner");
  d[30] = 0x55;
  d[31] = 0xAA;
  uint32_t sum = 0;
  for (int i = 0; i < 32; i += 2) sum += Get16LE(d + i);
  Put16LE(d + 28, (0x10000 - (sum & 0xFFFF)) & 0xFFFF);
  // Default entry.
  const uint8_t media = BootMediaType(imageSize);
  d[32] = 0x88;
  d[33] = media;
  Put16LE(d + 34, 0);
  d[36] = 0;
  Put16LE(d + 38, media == 0 ? 4 : 1);
  Put32LE(d + 40, loadSector);
}

}  // namespace qvr::data
