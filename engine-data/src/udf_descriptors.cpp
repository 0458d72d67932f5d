// The fixed UDF volume structures (ECMA-167 part 3 and 4, OSTA UDF 1.50).
#include <cstring>

#include "qvr/data/byte_fields.h"
#include "qvr/data/udf_bridge.h"

namespace qvr::data {

namespace {

using namespace udf;

constexpr std::string_view kUdf150Domain("\x50\x01\x03", 3);
constexpr std::string_view kUdf150DomainFileSet("\x50\x01", 2);
constexpr std::string_view kUdf150Os("\x50\x01\x06", 3);

uint8_t* SectorAt(uint8_t* image, uint32_t sector) { return image + size_t{sector} * kSectorBytes; }

}  // namespace

void UdfBridge::WriteVolumeSequence(uint8_t* image, uint32_t first) const {
  const uint32_t so = sessionOffset_;

  uint8_t* d = SectorAt(image, first);  // Primary Volume Descriptor
  Put32LE(d + 16, 1);
  PutDString(d + 24, 32, volumeId_);
  Put16LE(d + 56, 1);
  Put16LE(d + 58, 1);
  Put16LE(d + 60, 2);
  Put16LE(d + 62, 3);
  Put32LE(d + 64, 1);
  Put32LE(d + 68, 1);
  d[72] = 8;
  PutText(d + 73, "0CFE90CB");
  d[72 + 127] = 9;
  PutOstaCharspec(d + 200);
  PutOstaCharspec(d + 264);
  PutTimestamp(d + 376, recordingTime_);
  PutImplementationId(d + 388);
  FinishTag(d, kPrimaryVolume, 496, first + so);

  d = SectorAt(image, first + 1);  // Logical Volume Descriptor
  Put32LE(d + 16, 2);
  PutOstaCharspec(d + 20);
  PutDString(d + 84, 128, volumeId_);
  Put32LE(d + 212, kSectorBytes);
  PutRegid(d + 216, "*OSTA UDF Compliant", kUdf150Domain);
  PutLongAd(d + 248, 4096, so);
  Put32LE(d + 264, 6);
  Put32LE(d + 268, 1);
  PutImplementationId(d + 272);
  Put32LE(d + 432, 8192);
  Put32LE(d + 436, kIntegritySector + so);
  d[440] = 1;
  d[441] = 6;
  Put16LE(d + 442, 1);
  Put16LE(d + 444, 0);
  FinishTag(d, kLogicalVolume, 430, first + 1 + so);

  d = SectorAt(image, first + 2);  // Partition Descriptor
  Put32LE(d + 16, 3);
  Put16LE(d + 20, 1);
  Put16LE(d + 22, 0);
  PutRegid(d + 24, "+NSR02", kUdf150Os);
  Put32LE(d + 184, 1);
  Put32LE(d + 188, kPartitionStart);
  Put32LE(d + 192, so + partitionLength_);
  PutImplementationId(d + 196);
  FinishTag(d, kPartition, 496, first + 2 + so);

  d = SectorAt(image, first + 3);  // Unallocated Space Descriptor
  Put32LE(d + 16, 4);
  FinishTag(d, kUnallocatedSpace, 8, first + 3 + so);

  d = SectorAt(image, first + 4);  // Implementation Use Volume Descriptor
  Put32LE(d + 16, 5);
  PutRegid(d + 20, "*UDF LV Info", kUdf150Os);
  PutOstaCharspec(d + 52);
  PutDString(d + 116, 128, volumeId_);
  PutImplementationId(d + 352);
  FinishTag(d, kImplementationUse, 496, first + 4 + so);

  d = SectorAt(image, first + 5);  // Terminating Descriptor
  FinishTag(d, kTerminating, 496, first + 5 + so);
}

void UdfBridge::WriteDescriptors(uint8_t* image) const {
  const uint32_t so = sessionOffset_;
  static constexpr const char* kRecognition[] = {"BEA01", "NSR02", "TEA01"};
  for (uint32_t i = 0; i < 3; ++i) {
    uint8_t* d = SectorAt(image, vrsStart_ + i);
    PutText(d + 1, kRecognition[i]);
    d[6] = 1;
  }
  WriteVolumeSequence(image, kMainVds);
  WriteVolumeSequence(image, kReserveVds);

  uint8_t* d = SectorAt(image, kIntegritySector);  // Logical Volume Integrity Descriptor
  PutTimestamp(d + 16, recordingTime_);
  Put32LE(d + 28, 1);
  Put64LE(d + 40, uint64_t{directoryCount_} + fileCount_ + 16);
  Put32LE(d + 72, 1);
  Put32LE(d + 76, 48);
  Put32LE(d + 80, 0);
  Put32LE(d + 84, so + partitionLength_);
  PutImplementationId(d + 88);
  Put32LE(d + 120, fileCount_);
  Put32LE(d + 124, directoryCount_);
  Put16LE(d + 128, 0x0150);
  Put16LE(d + 130, 0x0150);
  Put16LE(d + 132, 0x0150);
  FinishTag(d, kIntegrity, 120, kIntegritySector + so);
  FinishTag(SectorAt(image, kIntegritySector + 1), kTerminating, 496, kIntegritySector + 1 + so);

  WriteAnchor(SectorAt(image, kAnchorSector), kAnchorSector);

  d = SectorAt(image, kPartitionStart);  // File Set Descriptor
  PutTimestamp(d + 16, recordingTime_);
  Put16LE(d + 28, 3);
  Put16LE(d + 30, 3);
  Put32LE(d + 32, 1);
  Put32LE(d + 36, 1);
  PutOstaCharspec(d + 48);
  PutDString(d + 112, 128, volumeId_);
  PutOstaCharspec(d + 240);
  PutDString(d + 304, 32, volumeId_);
  PutLongAd(d + 400, kSectorBytes, Block(areaStart_));
  PutRegid(d + 416, "*OSTA UDF Compliant", kUdf150DomainFileSet);
  FinishTag(d, kFileSet, 496, Block(kPartitionStart));
  FinishTag(SectorAt(image, kPartitionStart + 1), kTerminating, 496, Block(kPartitionStart + 1));
}

void UdfBridge::WriteAnchor(uint8_t* d, uint32_t imageSector) const {
  std::memset(d, 0, kSectorBytes);
  Put32LE(d + 16, 32768);
  Put32LE(d + 20, kMainVds + sessionOffset_);
  Put32LE(d + 24, 32768);
  Put32LE(d + 28, kReserveVds + sessionOffset_);
  FinishTag(d, kAnchor, 496, imageSector + sessionOffset_);
}

}  // namespace qvr::data
