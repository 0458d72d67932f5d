#include "qvr/data/image_layout.h"

#include "qvr/data/byte_fields.h"
#include "qvr/data/iso_records.h"

namespace qvr::data {

namespace {

uint32_t PathIdentifierLength(const TDirEntry& d, bool iso1999) {
  return static_cast<uint32_t>(IsoIdentifier(*d.Entry, iso1999).size());
}

}  // namespace

uint32_t SizeDirectories(ImageTree& tree, bool joliet, bool iso1999) {
  uint32_t total = 0;
  for (const auto& dir : tree.Directories()) {
    RecordPlacer placer;
    for (const TFileEntry* c = dir->FirstChild; c; c = c->Next) {
      const uint32_t length = joliet ? JolietRecordLength(*c)
                                     : IsoRecordLength(static_cast<uint32_t>(IsoIdentifier(*c, iso1999).size()));
      for (uint32_t k = RecordCount(*c); k > 0; --k) placer.Place(length);
    }
    const uint32_t sectors = placer.Sectors();
    (joliet ? dir->JolietExtent : dir->ISOExtent) = total;
    (joliet ? dir->JolietSize : dir->ISOSize) = sectors * kSectorBytes;
    total += sectors;
  }
  return total;
}

uint32_t AssignFileExtents(ImageTree& tree) {
  uint64_t total = 0;
  for (const auto& e : tree.Files()) {
    if (e->IsDirectory() || e->ExtentIsAbsolute) continue;
    if (e->Size == 0) {
      e->Extent = 0;
      continue;
    }
    e->Extent = static_cast<uint32_t>(total);
    total += SectorsFor(e->Size);
  }
  return static_cast<uint32_t>(total);
}

uint32_t IsoPathTableSize(const ImageTree& tree, bool iso1999) {
  uint32_t size = 10;
  for (const TDirEntry* d : tree.PathTableOrder())
    if (d != tree.Root()) size += IsoPathRecordLength(PathIdentifierLength(*d, iso1999));
  return size;
}

uint32_t JolietPathTableSize(const ImageTree& tree) {
  uint32_t size = 10;
  for (const TDirEntry* d : tree.PathTableOrder())
    if (d != tree.Root()) size += 8 + 2 * static_cast<uint32_t>(d->Entry->JolietName.size());
  return size;
}

uint32_t PrepareLayout(ImageTree& tree, const ImageOptions& options, UdfBridge& udf, ImageLayout& layout) {
  const uint32_t sessionStart = layout.SessionStart, volumeBase = layout.VolumeBase;
  layout = ImageLayout{};
  layout.SessionStart = sessionStart;
  layout.VolumeBase = volumeBase;
  const bool boot = !options.bootImagePath.empty();
  tree.SortDirectories();

  // Volume descriptors in the order they are written.
  uint32_t p = 16;
  layout.PrimarySector = p++;
  if (boot) layout.BootRecordSector = p++;
  if (options.iso1999) layout.EnhancedSector = p++;
  if (options.joliet) layout.JolietSector = p++;
  layout.TerminatorSector = p++;

  if (options.udf) {
    udf.Init(p, options.volumeId16);
    p = UdfBridge::kFirstFreeSector;
  }

  auto placeTables = [&p](uint32_t size, uint32_t& l, uint32_t& m) {
    const auto sectors = static_cast<uint32_t>(SectorsFor(size));
    l = p;
    m = p + sectors;
    p += 2 * sectors;
  };
  layout.ISOPathTableSize = IsoPathTableSize(tree, options.iso1999);
  placeTables(layout.ISOPathTableSize, layout.ISOLPathTable, layout.ISOMPathTable);
  if (options.joliet) {
    layout.JolietPathTableSize = JolietPathTableSize(tree);
    placeTables(layout.JolietPathTableSize, layout.JolietLPathTable, layout.JolietMPathTable);
  }

  layout.ISODirArea = p;
  layout.ISODirSectors = SizeDirectories(tree, false, options.iso1999);
  p += layout.ISODirSectors;
  if (options.joliet) {
    layout.JolietDirArea = p;
    layout.JolietDirSectors = SizeDirectories(tree, true, options.iso1999);
    p += layout.JolietDirSectors;
  }
  if (boot) layout.BootCatalogSector = p++;

  layout.PadSectors = 150 - static_cast<int32_t>(p);
  if (p < 150) p = 150;
  layout.HeaderSectors = p;
  layout.regions.push_back({RegionKind::Header, 0, p});

  layout.FileDataSectors = AssignFileExtents(tree);

  // The boot image comes before the UDF area, here and in the stream.
  if (boot) {
    layout.BootImageSector = p;
    const auto sectors = static_cast<uint32_t>(SectorsFor(options.bootImageSize));
    layout.regions.push_back({RegionKind::BootImage, p, sectors});
    p += sectors;
  }
  if (options.udf) {
    layout.UDFAreaStart = p;
    layout.UDFAreaSectors = udf.Layout(tree, p);
    layout.regions.push_back({RegionKind::UdfArea, p, layout.UDFAreaSectors});
    p += layout.UDFAreaSectors;
  }

  layout.FileDataStart = p;
  layout.regions.push_back({RegionKind::FileData, p, layout.FileDataSectors});
  uint32_t total = p + layout.FileDataSectors;
  const uint32_t imageSize = total + (options.udf ? 1 : 0);
  if (options.udf) {
    layout.AnchorAligned = total % 32 == 0;
    total += 1;
  }
  layout.TotalSectors = (total + 31) / 32 * 32;
  const uint32_t dataEnd = layout.FileDataStart + layout.FileDataSectors;
  layout.regions.push_back({RegionKind::Tail, dataEnd, layout.TotalSectors - dataEnd});
  if (options.udf) udf.Finish(layout.FileDataStart, layout.TotalSectors - 1);
  return imageSize;
}

}  // namespace qvr::data
