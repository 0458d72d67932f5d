#pragma once
// The UDF 1.50 bridge: volume structures beside ISO 9660 that describe the
// same file data. Laid out once (every File Entry and identifier area gets its
// sector), then generated sector by sector while the image streams, in exactly
// the order of the layout.
//
// Fixed places: recognition sequence after the ISO terminator, main and
// reserve volume descriptor sequences at 32 and 48, integrity sequence at 64,
// anchors at 256 and in the last sector, partition from 257 (file set
// descriptor and its terminator at 257-258).

#include <cstdint>
#include <string>
#include <vector>

#include "qvr/data/image_tree.h"
#include "qvr/data/udf_primitives.h"

namespace qvr::data {

class UdfBridge {
 public:
  static constexpr uint32_t kMainVds = 32, kReserveVds = 48, kIntegritySector = 64;
  static constexpr uint32_t kAnchorSector = 256, kPartitionStart = 257;
  static constexpr uint32_t kFirstFreeSector = 259;
  // A short_ad's length holds 30 bits; longer files take several.
  static constexpr uint32_t kMaxShortAdBytes = 0x3FFFF800;

  // Starts a layout: the recognition sequence at vrsSector, the volume
  // identifier (cut to 15 characters), the recording time now.
  void Init(uint32_t vrsSector, std::u16string_view volumeId);
  // Assigns the UDF area from startSector; returns its length in sectors.
  uint32_t Layout(ImageTree& tree, uint32_t startSector);
  void Finish(uint32_t fileDataStart, uint32_t lastSector);
  // Sectors of an appended session are numbered from the track start.
  void SetSessionOffset(uint32_t offset) { sessionOffset_ = offset; }

  // Writes the recognition sequence, both descriptor sequences, the integrity
  // sequence, the first anchor and the file set descriptor into the image's
  // first kFirstFreeSector sectors (zero elsewhere).
  void WriteDescriptors(uint8_t* image) const;
  void WriteAnchor(uint8_t* sector, uint32_t imageSector) const;

  // Produces the next sectors of the UDF area.
  void ResetGenerator();
  void Generate(uint8_t* out, uint32_t sectors);

  uint32_t AreaStart() const { return areaStart_; }
  uint32_t AreaSectors() const { return areaSectors_; }
  uint32_t LastSector() const { return lastSector_; }
  uint32_t DirectoryCount() const { return directoryCount_; }
  uint32_t FileCount() const { return fileCount_; }
  void SetRecordingTime(const udf::Timestamp& t) { recordingTime_ = t; }

 private:
  enum class ItemKind : uint8_t { DirectoryEntry, Identifiers, FileEntry };
  struct Item {
    ItemKind kind;
    uint32_t sector;   // first image sector
    uint32_t sectors;  // length
    uint64_t uniqueId;
    const TDirEntry* dir;    // DirectoryEntry, Identifiers
    const TFileEntry* file;  // FileEntry
  };

  uint32_t Block(uint32_t imageSector) const { return imageSector + sessionOffset_ - kPartitionStart; }
  void EnterDirectory(TDirEntry* dir, uint32_t& next, uint64_t& uniqueId);
  void WriteFileEntry(uint8_t* d, const Item& item) const;
  void BuildIdentifiers(const TDirEntry* dir);
  void WriteVolumeSequence(uint8_t* image, uint32_t firstSector) const;

  std::u16string volumeId_;
  udf::Timestamp recordingTime_;
  uint32_t vrsStart_ = 0, areaStart_ = 0, areaSectors_ = 0;
  uint32_t lastSector_ = 0, partitionLength_ = 0, fileDataStart_ = 0, sessionOffset_ = 0;
  uint32_t directoryCount_ = 1, fileCount_ = 0;
  std::vector<Item> items_;

  // Generator position.
  std::size_t item_ = 0;
  uint32_t sectorInItem_ = 0;
  std::vector<uint8_t> identifiers_;
};

}  // namespace qvr::data
