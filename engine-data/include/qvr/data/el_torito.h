#pragma once
// El Torito: the boot record volume descriptor and the boot catalog of a
// bootable image (one default entry, 80x86).

#include <cstdint>

namespace qvr::data {

// 2048 bytes (no emulation) or a 1.2, 1.44 or 2.88 MB floppy image.
bool IsBootImageSize(uint64_t size);
// Boot media type of the catalog's default entry: 0 no emulation, 1-3 floppies.
uint8_t BootMediaType(uint32_t size);

void WriteBootRecord(uint8_t* sector, uint32_t catalogSector);
void WriteBootCatalog(uint8_t* sector, uint32_t imageSize, uint32_t loadSector);

}  // namespace qvr::data
