#pragma once
// The layout of a data image: where every descriptor, path table, directory
// extent, the boot catalog and image, the UDF area and every file lie. Computed
// once by PrepareLayout; the header writer and the producer both follow the
// region list it makes, so the image is streamed in the order it was laid out.
//
// Image order: system area, volume descriptors from 16, (UDF fixed sectors),
// ISO L/M path tables, Joliet L/M path tables, ISO directories, Joliet
// directories, boot catalog, zero padding up to 149, boot image, UDF area,
// file data from FileDataStart, zero tail to a multiple of 32 sectors (with
// the UDF bridge the last sector is the closing anchor).

#include <cstdint>
#include <string>
#include <vector>

#include "qvr/data/image_tree.h"
#include "qvr/data/udf_bridge.h"

namespace qvr::data {

struct ImageOptions {
  bool joliet = true;
  bool iso1999 = false;
  bool udf = false;
  std::string volumeId;        // as given (UTF-8), at most 32 characters
  std::u16string volumeId16;   // the same in UTF-16
  std::string bootImagePath;   // empty: no El Torito boot image
  uint32_t bootImageSize = 0;  // 2048, 1228800, 1474560 or 2949120
  bool operator==(const ImageOptions&) const = default;
};

enum class RegionKind : uint8_t { Header, BootImage, UdfArea, FileData, Tail };

struct Region {
  RegionKind kind;
  uint32_t start;    // image sector
  uint32_t sectors;
};

struct ImageLayout {
  // Where the image goes on the medium (0 for an image file or a blank disc)
  // and the size of a volume it extends; both set before the header is written.
  uint32_t SessionStart = 0;
  uint32_t VolumeBase = 0;

  uint32_t PrimarySector = 16, BootRecordSector = 0, EnhancedSector = 0, JolietSector = 0;
  uint32_t TerminatorSector = 0;
  uint32_t ISOPathTableSize = 0, JolietPathTableSize = 0;
  uint32_t ISOLPathTable = 0, ISOMPathTable = 0, JolietLPathTable = 0, JolietMPathTable = 0;
  uint32_t ISODirArea = 0, ISODirSectors = 0, JolietDirArea = 0, JolietDirSectors = 0;
  uint32_t BootCatalogSector = 0, BootImageSector = 0;
  int32_t PadSectors = 0;
  uint32_t HeaderSectors = 0;  // sectors the header writer produces
  uint32_t UDFAreaStart = 0, UDFAreaSectors = 0;
  uint32_t FileDataStart = 0, FileDataSectors = 0;
  uint32_t TotalSectors = 0;   // a multiple of 32
  bool AnchorAligned = false;  // data ended on a 32-sector boundary before the anchor was added
  std::vector<Region> regions; // in image order
};

// True when the file occupies sectors of the file data area.
inline bool OccupiesFileData(const TFileEntry& e) {
  return !e.IsDirectory() && e.Size > 0 && !e.ExtentIsAbsolute;
}

// Sorts and sizes the tree and lays out the image. Returns the image size
// before rounding: FileDataStart + FileDataSectors (+1 with the UDF bridge).
uint32_t PrepareLayout(ImageTree& tree, const ImageOptions& options, UdfBridge& udf, ImageLayout& layout);

// Directory extent sizes (ISO or Joliet): sets each directory's size and
// relative extent in creation order; returns the area's sectors.
uint32_t SizeDirectories(ImageTree& tree, bool joliet, bool iso1999);
// File extents relative to the file data area; returns its sectors.
uint32_t AssignFileExtents(ImageTree& tree);
uint32_t IsoPathTableSize(const ImageTree& tree, bool iso1999);
uint32_t JolietPathTableSize(const ImageTree& tree);

}  // namespace qvr::data
