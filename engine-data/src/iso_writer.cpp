#include "qvr/data/iso_writer.h"

#include <algorithm>
#include <cstring>

#include "qvr/data/byte_fields.h"
#include "qvr/data/el_torito.h"
#include "qvr/data/iso_records.h"

namespace qvr::data {

namespace {

enum class Tree { Iso, Joliet };

struct Writer {
  const ImageTree& tree;
  const ImageOptions& options;
  const ImageLayout& layout;
  uint8_t* image;

  uint8_t* Sector(uint32_t s) const { return image + size_t{s} * kSectorBytes; }

  uint32_t DirExtent(const TDirEntry& d, Tree t) const {
    return t == Tree::Iso ? layout.ISODirArea + d.ISOExtent + layout.SessionStart
                          : layout.JolietDirArea + d.JolietExtent + layout.SessionStart;
  }
  uint32_t DirSize(const TDirEntry& d, Tree t) const { return t == Tree::Iso ? d.ISOSize : d.JolietSize; }

  void PutRecord(uint8_t* r, uint32_t length, uint32_t extent, uint32_t dataLength, uint8_t flags,
                 const BrokenDownTime* time, const uint8_t* id, uint32_t idLength) const {
    r[0] = static_cast<uint8_t>(length);
    Put32Both(r + 2, extent);
    Put32Both(r + 10, dataLength);
    if (time) {
      r[18] = static_cast<uint8_t>(std::clamp(int{time->year} - 1900, 0, 255));
      r[19] = static_cast<uint8_t>(time->month);
      r[20] = static_cast<uint8_t>(time->day);
      r[21] = static_cast<uint8_t>(time->hour);
      r[22] = static_cast<uint8_t>(time->minute);
      r[23] = static_cast<uint8_t>(time->second);
      r[24] = static_cast<uint8_t>(static_cast<int8_t>(tree.GMTOffset));
    }
    r[25] = flags;
    Put16Both(r + 28, 1);
    r[32] = static_cast<uint8_t>(idLength);
    std::memcpy(r + 33, id, idLength);
  }

  // The identifier bytes of a child in one tree.
  uint32_t Identifier(const TFileEntry& e, Tree t, uint8_t* out) const {
    if (t == Tree::Joliet) {
      for (std::size_t i = 0; i < e.JolietName.size(); ++i) Put16BE(out + 2 * i, e.JolietName[i]);
      return static_cast<uint32_t>(2 * e.JolietName.size());
    }
    const std::string_view id = IsoIdentifier(e, options.iso1999);
    std::memcpy(out, id.data(), id.size());
    return static_cast<uint32_t>(id.size());
  }

  void WriteDirectory(const TDirEntry& dir, Tree t) const {
    uint8_t* extent = Sector(DirExtent(dir, t) - layout.SessionStart);
    const uint8_t self = 0, parent = 1;
    PutRecord(extent, 34, DirExtent(dir, t), DirSize(dir, t), 2, nullptr, &self, 1);
    PutRecord(extent + 34, 34, DirExtent(*dir.Parent, t), DirSize(*dir.Parent, t), 2, nullptr, &parent, 1);
    RecordPlacer placer;
    uint8_t id[512];
    for (const TFileEntry* c = dir.FirstChild; c; c = c->Next) {
      const uint32_t idLength = Identifier(*c, t, id);
      const uint32_t length = t == Tree::Joliet ? JolietRecordLength(*c) : IsoRecordLength(idLength);
      const uint8_t hidden = (c->Attributes & kAttrHidden) ? 1 : 0;
      if (c->IsDirectory()) {
        const TDirEntry& d = *c->Directory;
        PutRecord(extent + placer.Place(length), length, DirExtent(d, t), DirSize(d, t), 2 | hidden,
                  &c->ModifyTime, id, idLength);
        continue;
      }
      uint32_t start = 0;
      if (c->ExtentIsAbsolute) start = c->Extent;
      else if (c->Size > 0) start = layout.FileDataStart + c->Extent + layout.SessionStart;
      const uint32_t parts = ExtentCount(c->Size);
      uint64_t remaining = c->Size;
      for (uint32_t k = 0; k < parts; ++k) {
        const bool last = k + 1 == parts;
        const auto piece = static_cast<uint32_t>(last ? remaining : kMaxExtentBytes);
        const uint8_t flags = static_cast<uint8_t>(hidden | (last ? 0 : 0x80));
        PutRecord(extent + placer.Place(length), length, start, piece, flags, &c->ModifyTime, id, idLength);
        start += static_cast<uint32_t>(kMaxExtentBytes / kSectorBytes);
        remaining -= piece;
      }
    }
  }

  void WritePathTable(Tree t, uint32_t sector, bool bigEndian) const {
    uint8_t* p = Sector(sector);
    auto put32 = bigEndian ? Put32BE : Put32LE;
    auto put16 = bigEndian ? Put16BE : Put16LE;
    for (const TDirEntry* d : tree.PathTableOrder()) {
      const bool root = d == tree.Root();
      uint8_t id[512] = {0};
      const uint32_t idLength = root ? 1 : Identifier(*d->Entry, t, id);
      p[0] = static_cast<uint8_t>(idLength);
      put32(p + 2, DirExtent(*d, t));
      put16(p + 6, root ? 1 : d->Parent->Number);
      std::memcpy(p + 8, id, idLength);
      p += 8 + idLength + (idLength % 2);
    }
  }

  void WriteVolumeDescriptor(uint32_t sector, uint8_t type, uint8_t version, Tree t, bool escape) const {
    uint8_t* d = Sector(sector);
    d[0] = type;
    PutText(d + 1, "CD001");
    d[6] = version;
    if (t == Tree::Joliet) {
      const std::u16string& v = options.volumeId16;
      for (std::size_t i = 0; i < std::min<std::size_t>(v.size(), 16); ++i) Put16BE(d + 40 + 2 * i, v[i]);
    } else {
      const std::string& v = options.volumeId;
      std::size_t n = 0;
      for (std::size_t i = 0; i < v.size() && n < 32; ++i) {
        const auto c = static_cast<unsigned char>(v[i]);
        if ((c & 0xC0) == 0x80) continue;  // one "_" per non-ASCII character
        d[40 + n++] = c >= 0x80 ? '_' : static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
      }
    }
    Put32Both(d + 80, layout.TotalSectors + layout.VolumeBase);
    if (escape) {
      d[88] = 0x25;
      d[89] = 0x2F;
      d[90] = 0x40;
    }
    Put16Both(d + 120, 1);
    Put16Both(d + 124, 1);
    Put16Both(d + 128, kSectorBytes);
    const bool j = t == Tree::Joliet;
    Put32Both(d + 132, j ? layout.JolietPathTableSize : layout.ISOPathTableSize);
    Put32LE(d + 140, (j ? layout.JolietLPathTable : layout.ISOLPathTable) + layout.SessionStart);
    Put32BE(d + 148, (j ? layout.JolietMPathTable : layout.ISOMPathTable) + layout.SessionStart);
    const uint8_t rootId = 0;
    PutRecord(d + 156, 34, DirExtent(*tree.Root(), t), DirSize(*tree.Root(), t), 2, nullptr, &rootId, 1);
    d[881] = version;
  }
};

}  // namespace

std::vector<uint8_t> WriteHeader(const ImageTree& tree, const ImageOptions& options, const ImageLayout& layout,
                                 const UdfBridge& udf) {
  std::vector<uint8_t> header(size_t{layout.HeaderSectors} * kSectorBytes, 0);
  const Writer w{tree, options, layout, header.data()};

  // The UCS-2 escape sequence marks the Joliet descriptor only; in the primary
  // descriptor (an unused field there) readers take the primary tree for Joliet.
  w.WriteVolumeDescriptor(layout.PrimarySector, 1, 1, Tree::Iso, false);
  if (layout.BootRecordSector)
    WriteBootRecord(w.Sector(layout.BootRecordSector), layout.BootCatalogSector + layout.SessionStart);
  if (layout.EnhancedSector) w.WriteVolumeDescriptor(layout.EnhancedSector, 2, 2, Tree::Iso, false);
  if (layout.JolietSector) w.WriteVolumeDescriptor(layout.JolietSector, 2, 1, Tree::Joliet, true);
  uint8_t* term = w.Sector(layout.TerminatorSector);
  term[0] = 255;
  PutText(term + 1, "CD001");
  term[6] = 1;
  if (options.udf) udf.WriteDescriptors(header.data());

  w.WritePathTable(Tree::Iso, layout.ISOLPathTable, false);
  w.WritePathTable(Tree::Iso, layout.ISOMPathTable, true);
  if (options.joliet) {
    w.WritePathTable(Tree::Joliet, layout.JolietLPathTable, false);
    w.WritePathTable(Tree::Joliet, layout.JolietMPathTable, true);
  }
  for (const auto& dir : tree.Directories()) w.WriteDirectory(*dir, Tree::Iso);
  if (options.joliet)
    for (const auto& dir : tree.Directories()) w.WriteDirectory(*dir, Tree::Joliet);
  if (layout.BootCatalogSector)
    WriteBootCatalog(w.Sector(layout.BootCatalogSector), options.bootImageSize,
                     layout.BootImageSector + layout.SessionStart);
  return header;
}

}  // namespace qvr::data
