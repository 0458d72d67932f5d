#include "qvr/data/udf_bridge.h"

#include <algorithm>
#include <cstring>

#include "qvr/data/byte_fields.h"

namespace qvr::data {

namespace {

uint32_t IdentifierLength(const TFileEntry& child) {
  const uint32_t nameBytes = 1 + 2 * static_cast<uint32_t>(child.UDFName.size());
  return (38 + nameBytes + 3) & ~3u;
}

constexpr uint32_t kParentIdentifierLength = 40;

}  // namespace

void UdfBridge::Init(uint32_t vrsSector, std::u16string_view volumeId) {
  vrsStart_ = vrsSector;
  volumeId_ = std::u16string(volumeId.substr(0, 15));
  recordingTime_ = udf::NowUtc();
  directoryCount_ = 1;
  fileCount_ = 0;
  areaSectors_ = 0;
  items_.clear();
}

void UdfBridge::EnterDirectory(TDirEntry* dir, uint32_t& next, uint64_t& uniqueId) {
  dir->UDFLinkCount = 1;
  uint64_t bytes = kParentIdentifierLength;
  for (const TFileEntry* c = dir->FirstChild; c; c = c->Next) {
    if (c->IsDirectory()) {
      ++dir->UDFLinkCount;
      ++directoryCount_;
    } else {
      ++fileCount_;
    }
    bytes += IdentifierLength(*c);
  }
  dir->UDFIdentifierBytes = bytes;
  const bool isRoot = dir->Parent == dir;
  dir->UDFEntrySector = next++;
  items_.push_back({ItemKind::DirectoryEntry, dir->UDFEntrySector, 1, isRoot ? 0 : uniqueId++, dir, nullptr});
  dir->UDFIdentifierSector = next;
  const auto sectors = static_cast<uint32_t>(SectorsFor(bytes));
  items_.push_back({ItemKind::Identifiers, next, sectors, 0, dir, nullptr});
  next += sectors;
}

uint32_t UdfBridge::Layout(ImageTree& tree, uint32_t startSector) {
  areaStart_ = startSector;
  uint32_t next = startSector;
  uint64_t uniqueId = 16;
  items_.clear();
  directoryCount_ = 1;
  fileCount_ = 0;

  struct Frame {
    TDirEntry* dir;
    TFileEntry* child;
  };
  std::vector<Frame> stack;
  EnterDirectory(tree.Root(), next, uniqueId);
  stack.push_back({tree.Root(), tree.Root()->FirstChild});
  while (!stack.empty()) {
    Frame& top = stack.back();
    TFileEntry* c = top.child;
    if (!c) {
      stack.pop_back();
      continue;
    }
    top.child = c->Next;
    if (c->IsDirectory()) {
      EnterDirectory(c->Directory, next, uniqueId);
      stack.push_back({c->Directory, c->Directory->FirstChild});
    } else {
      c->UDFEntryLocation = next;
      items_.push_back({ItemKind::FileEntry, next, 1, uniqueId++, nullptr, c});
      ++next;
    }
  }
  areaSectors_ = next - startSector;
  return areaSectors_;
}

void UdfBridge::Finish(uint32_t fileDataStart, uint32_t lastSector) {
  fileDataStart_ = fileDataStart;
  lastSector_ = lastSector;
  partitionLength_ = lastSector - kAnchorSector - 1;
}

void UdfBridge::WriteFileEntry(uint8_t* d, const Item& item) const {
  std::memset(d, 0, kSectorBytes);
  const bool isDir = item.kind == ItemKind::DirectoryEntry;
  const uint64_t length = isDir ? item.dir->UDFIdentifierBytes : item.file->Size;
  // ICB tag: strategy 4, one entry, file type, short allocation descriptors.
  Put16LE(d + 20, 4);
  Put16LE(d + 24, 1);
  d[27] = isDir ? 4 : 5;
  Put32LE(d + 36, 0xFFFFFFFF);
  Put32LE(d + 40, 0xFFFFFFFF);
  Put32LE(d + 44, 0x14A5);
  Put16LE(d + 48, isDir ? item.dir->UDFLinkCount : 1);
  Put64LE(d + 56, length);
  Put64LE(d + 64, SectorsFor(length));
  udf::PutTimestamp(d + 72, recordingTime_);
  udf::PutTimestamp(d + 84, recordingTime_);
  udf::PutTimestamp(d + 96, recordingTime_);
  Put32LE(d + 108, 1);
  udf::PutImplementationId(d + 128);
  Put64LE(d + 160, item.uniqueId);
  Put32LE(d + 172, kSectorBytes - 176);

  uint32_t block = 0;
  if (isDir) {
    block = Block(item.dir->UDFIdentifierSector);
  } else if (length > 0) {
    block = item.file->ExtentIsAbsolute ? item.file->Extent - kPartitionStart
                                        : Block(fileDataStart_ + item.file->Extent);
  }
  uint8_t* ad = d + 176;
  uint64_t remaining = length;
  do {
    const auto piece = static_cast<uint32_t>(std::min<uint64_t>(remaining, kMaxShortAdBytes));
    Put32LE(ad, piece);
    Put32LE(ad + 4, remaining > 0 ? block : 0);
    ad += 8;
    block += piece / kSectorBytes;
    remaining -= piece;
  } while (remaining > 0 && ad + 8 <= d + kSectorBytes);
  udf::FinishTag(d, udf::kFileEntry, kSectorBytes - 16, Block(item.sector));
}

void UdfBridge::BuildIdentifiers(const TDirEntry* dir) {
  identifiers_.assign(SectorsFor(dir->UDFIdentifierBytes) * kSectorBytes, 0);
  uint32_t offset = 0;
  auto put = [&](const TFileEntry* child, const TDirEntry* target, bool parent) {
    const uint32_t length = parent ? kParentIdentifierLength : IdentifierLength(*child);
    uint8_t* f = identifiers_.data() + offset;
    Put16LE(f + 16, 1);
    f[18] = static_cast<uint8_t>((target ? 2 : 0) | (parent ? 8 : 0));
    const uint32_t icb = target ? target->UDFEntrySector : child->UDFEntryLocation;
    udf::PutLongAd(f + 20, kSectorBytes, Block(icb));
    if (!parent) f[19] = static_cast<uint8_t>(udf::PutCompressedUnicode(f + 38, child->UDFName));
    udf::FinishTag(f, udf::kFileIdentifier, length - 16, Block(dir->UDFIdentifierSector + offset / kSectorBytes));
    offset += length;
  };
  put(nullptr, dir->Parent, true);
  for (const TFileEntry* c = dir->FirstChild; c; c = c->Next) put(c, c->Directory, false);
}

void UdfBridge::ResetGenerator() {
  item_ = 0;
  sectorInItem_ = 0;
  identifiers_.clear();
}

void UdfBridge::Generate(uint8_t* out, uint32_t sectors) {
  for (uint32_t s = 0; s < sectors; ++s, out += kSectorBytes) {
    if (item_ >= items_.size()) {
      std::memset(out, 0, kSectorBytes);
      continue;
    }
    const Item& item = items_[item_];
    if (item.kind == ItemKind::Identifiers) {
      if (sectorInItem_ == 0) BuildIdentifiers(item.dir);
      std::memcpy(out, identifiers_.data() + size_t{sectorInItem_} * kSectorBytes, kSectorBytes);
    } else {
      WriteFileEntry(out, item);
    }
    if (++sectorInItem_ == item.sectors) {
      sectorInItem_ = 0;
      ++item_;
    }
  }
}

}  // namespace qvr::data
