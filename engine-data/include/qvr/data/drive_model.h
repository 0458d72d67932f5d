#pragma once
// The drive model of the selected drive: identity, capabilities, medium,
// disc and track state, free space, capacity and speeds, read with the MMC
// commands.

#include <cstdint>

#include "qvr/data/scsi_device.h"

namespace qvr::data {

bool SelectDevice(TSCSIDevice& d, int index);
void RefreshCapabilities(TSCSIDevice& d);
uint8_t GetMediaType(TSCSIDevice& d);
// Capability flag (codes 1-14, 21-32, 41, 42); 72/73 open and close the
// command log at logPath, 77 sets the SEEK quirk; any other code 0.
uint8_t QueryDevice(TSCSIDevice& d, uint8_t code, const std::string& logPath);
bool IsRecorder(const TSCSIDevice& d);
bool IsErasable(TSCSIDevice& d);
bool IsDiscWritable(TSCSIDevice& d);
int GetSessionCount(TSCSIDevice& d);
uint8_t GetLastTrack(TSCSIDevice& d);
uint32_t GetVolumeSize(TSCSIDevice& d);
uint32_t GetFormatCapacity(TSCSIDevice& d);
uint32_t GetFreeBlocks(TSCSIDevice& d);
uint32_t GetDiscCapacity(TSCSIDevice& d);
bool SetSpeeds(TSCSIDevice& d, uint16_t readSpeed, uint16_t writeSpeed);
uint32_t GetDriveBufferUsed(const TSCSIDevice& d);
// The volume descriptor of type 2 (else 1) in sectors base+16 .. base+31;
// its sector, or -1. descriptor receives the 2048 bytes.
int64_t FindVolumeDescriptor(TSCSIDevice& d, uint32_t base, uint8_t* descriptor, uint8_t* foundType);

// Capability codes of QueryDevice.
enum CapabilityCode : uint8_t {
  CapCdRRead = 1, CapCdRwRead = 2, CapDvdRwRead = 5, CapDvdPlusRwRead = 6, CapDvdPlusRRead = 7,
  CapDvdPlusRDlRead = 8, CapDvdRRead = 4, CapDvdRamRead = 3, CapHdDvdRomRead = 9, CapHdDvdRRead = 10,
  CapHdDvdRamRead = 11, CapBdRomRead = 12, CapBdRRead = 13, CapBdReRead = 14, CapCdRWrite = 21,
  CapCdRwWrite = 22, CapDvdRamWrite = 23, CapDvdRWrite = 24, CapDvdRwWrite = 25, CapDvdPlusRwWrite = 26,
  CapDvdPlusRWrite = 27, CapDvdPlusRDlWrite = 28, CapHdDvdRWrite = 29, CapHdDvdRamWrite = 30, CapBdRWrite = 31,
  CapBdReWrite = 32, CapTestWrite = 41, CapUnderrunProtection = 42,
};

}  // namespace qvr::data
