#include "qvr/data/drive_model.h"

#include <algorithm>
#include <cstring>

#include "qvr/data/byte_fields.h"
#include "qvr/data/media_type.h"
#include "qvr/data/mmc_commands.h"
#include "qvr/data/write_parameters.h"

namespace qvr::data {

namespace {

std::string Trimmed(const uint8_t* p, std::size_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// The capabilities page in a MODE SENSE answer (at byte 8 or 16), or null.
const uint8_t* CapsPageIn(const uint8_t* answer) {
  if ((answer[8] & 0x3F) == 0x2A) return answer + 8;
  if ((answer[16] & 0x3F) == 0x2A) return answer + 16;
  return nullptr;
}

bool FeaturePresent(TSCSIDevice& d, uint16_t feature, bool codeMustMatch) {
  if (!GetConfiguration(d, feature, 112)) return false;
  const uint16_t profile = static_cast<uint16_t>(d.ConfigData[6] << 8 | d.ConfigData[7]);
  const uint16_t code = static_cast<uint16_t>(d.ConfigData[8] << 8 | d.ConfigData[9]);
  if (codeMustMatch) return code == feature;
  return profile == 0 || code == feature;
}

bool DiscInfoOk(TSCSIDevice& d) { return ReadDiscInformation(d, d.DiscInfo.data(), 64); }

}  // namespace

bool SelectDevice(TSCSIDevice& d, int index) {
  d.HostAdapter = d.Target = d.Lun = 255;
  d.DriveLetter = '?';
  d.DriveType = 255;
  if (index < 0 || index >= d.DeviceCount) return false;
  const TDeviceSlot& slot = d.Slots[static_cast<std::size_t>(index)];
  d.SelectedSlot = index;
  d.HostAdapter = slot.HostAdapter;
  d.Target = slot.Target;
  d.Lun = slot.Lun;
  d.DriveLetter = slot.DriveLetter;
  d.DriveType = slot.DriveType;
  d.Node.reset();
  ClearTransferRing(d);
  uint8_t answer[256] = {};
  if (!Inquiry(d, answer)) {
    RefreshCapabilities(d);
    return false;
  }
  d.Vendor = Trimmed(answer + 8, 8);
  d.Product = Trimmed(answer + 16, 16);
  d.Revision = Trimmed(answer + 32, 4);
  RefreshCapabilities(d);
  return true;
}

void RefreshCapabilities(TSCSIDevice& d) {
  d.CapsPage.fill(0);
  d.Caps.fill(false);
  uint8_t* b = d.DataBuffer.data();
  if (ModeSense10(d, 0x2A, true, b, 128)) {
    if (const uint8_t* page = CapsPageIn(b)) {
      std::memcpy(d.CapsPage.data(), page, 64);
      d.DefaultMaxReadSpeed = static_cast<uint16_t>(page[8] << 8 | page[9]);
      d.DefaultMaxWriteSpeed = static_cast<uint16_t>(page[18] << 8 | page[19]);
    }
  }
  if (ModeSense10(d, 0x2A, false, b, 128)) {
    if (const uint8_t* page = CapsPageIn(b)) {
      d.MaxReadSpeed = static_cast<uint16_t>(page[8] << 8 | page[9]);
      d.BufferSizeKB = static_cast<uint16_t>(page[12] << 8 | page[13]);
      d.CurrentReadSpeed = static_cast<uint16_t>(page[14] << 8 | page[15]);
      d.MaxWriteSpeed = static_cast<uint16_t>(page[18] << 8 | page[19]);
      d.CurrentWriteSpeed = static_cast<uint16_t>(page[20] << 8 | page[21]);
    }
  }
  const uint8_t read = d.CapsPage[2], write = d.CapsPage[3];
  d.Caps[CapCdRRead] = read & 0x01;
  d.Caps[CapCdRwRead] = read & 0x02;
  d.Caps[CapDvdRRead] = read & 0x10;
  d.Caps[CapDvdRamRead] = read & 0x20;
  d.Caps[CapCdRWrite] = write & 0x01;
  d.Caps[CapCdRwWrite] = write & 0x02;
  d.Caps[CapTestWrite] = write & 0x04;
  d.Caps[CapDvdRWrite] = write & 0x10;
  d.Caps[CapDvdRamWrite] = write & 0x20;
  d.Caps[CapUnderrunProtection] = (d.CapsPage[4] & 0x80) != 0 || ModeSense10(d, 0x30, true, b, 128);

  if (FeaturePresent(d, 0x002A, false)) {
    d.Caps[CapDvdPlusRwRead] = d.Caps[CapDvdPlusRRead] = true;
    if (d.ConfigData[12] & 0x01) d.Caps[CapDvdPlusRwWrite] = d.Caps[CapDvdPlusRWrite] = true;
  }
  if (FeaturePresent(d, 0x003B, true)) {
    d.Caps[CapDvdPlusRDlRead] = true;
    if (d.ConfigData[12] & 0x01) d.Caps[CapDvdPlusRDlWrite] = true;
  }
  if (FeaturePresent(d, 0x002F, false) && (d.ConfigData[12] & 0x02))
    d.Caps[CapDvdRwRead] = d.Caps[CapDvdRwWrite] = true;
  if (FeaturePresent(d, 0x0040, false)) d.Caps[CapBdRomRead] = d.Caps[CapBdRRead] = d.Caps[CapBdReRead] = true;
  if (FeaturePresent(d, 0x0041, false)) d.Caps[CapBdRWrite] = d.Caps[CapBdReWrite] = true;
  if (FeaturePresent(d, 0x0050, false))
    d.Caps[CapHdDvdRomRead] = d.Caps[CapHdDvdRRead] = d.Caps[CapHdDvdRamRead] = true;
  if (FeaturePresent(d, 0x0051, false)) d.Caps[CapHdDvdRWrite] = d.Caps[CapHdDvdRamWrite] = true;
}

uint8_t QueryDevice(TSCSIDevice& d, uint8_t code, const std::string& logPath) {
  switch (code) {
    case 72: return OpenCommandLog(d, logPath, false) ? 1 : 0;
    case 73: CloseCommandLog(d); return 1;
    case 77: d.SeekQuirk = true; return 1;
    default: break;
  }
  const bool known = (code >= 1 && code <= 14) || (code >= 21 && code <= 32) || code == 41 || code == 42;
  return known && d.Caps[code] ? 1 : 0;
}

uint8_t GetMediaType(TSCSIDevice& d) {
  if (GetConfiguration(d, 0, 114))
    return MediaTypeOfProfile(static_cast<uint16_t>(d.ConfigData[6] << 8 | d.ConfigData[7]));
  uint8_t* b = d.DataBuffer.data();
  std::memset(b, 0, 30);
  if (ReadTocPmaAtip(d, 4, 0, true, b, 30)) {
    if ((b[6] & 0x80) == 0) return MediaCdRom;
    return (b[6] & 0x40) ? MediaCdRw : MediaCdR;
  }
  if (DiscInfoOk(d)) return (d.DiscInfo[2] & 0x10) ? MediaCdRw : MediaCdR;
  return TestUnitReady(d) ? MediaCdRom : MediaNone;
}

bool IsRecorder(const TSCSIDevice& d) { return d.CapsPage[3] != 0; }

bool IsErasable(TSCSIDevice& d) {
  const uint8_t m = GetMediaType(d);
  if (m >= MediaDvdRam && m <= MediaDvdPlusRw) return true;
  return DiscInfoOk(d) && (d.DiscInfo[2] & 0x10);
}

bool IsDiscWritable(TSCSIDevice& d) {
  const uint8_t m = GetMediaType(d);
  if (m == MediaDvdRam || m == MediaDvdRwRestricted || m == MediaDvdPlusRw || m == MediaBdRe) return true;
  if (DiscInfoOk(d)) {
    const int status = d.DiscInfo[2] & 0x03;
    if (status == 0 || status == 1) return true;
    if (status == 2) return false;
  }
  SendWriteParameters(d, false, false, false, m);
  const bool ok = ReadTrackInformation(d, 255) || ReadTrackInformation(d, static_cast<uint8_t>(GetLastTrack(d) + 1));
  return ok && d.TrackInfo.FreeBlocks != 0;
}

int GetSessionCount(TSCSIDevice& d) {
  if (!DiscInfoOk(d)) return d.MediaType == MediaDvdRam ? 1 : 0;
  int sessions = d.DiscInfo[4];
  if (((d.DiscInfo[2] >> 2) & 0x03) == 0) --sessions;
  return std::max(0, sessions);
}

uint8_t GetLastTrack(TSCSIDevice& d) { return DiscInfoOk(d) ? d.DiscInfo[6] : 0; }

int64_t FindVolumeDescriptor(TSCSIDevice& d, uint32_t base, uint8_t* descriptor, uint8_t* foundType) {
  for (uint8_t wanted : {uint8_t{2}, uint8_t{1}}) {
    for (uint32_t s = 16; s <= 31; ++s) {
      if (!Read10(d, base + s, 1, descriptor)) continue;
      if (std::memcmp(descriptor + 1, "CD001", 5) == 0 && descriptor[0] == wanted) {
        if (foundType) *foundType = wanted;
        return base + s;
      }
      if (std::memcmp(descriptor + 1, "CD001", 5) == 0 && descriptor[0] == 255) break;
    }
  }
  return -1;
}

uint32_t GetVolumeSize(TSCSIDevice& d) {
  SendWriteParameters(d, false, false, false, d.MediaType);
  uint8_t descriptor[2048];
  if (FindVolumeDescriptor(d, 0, descriptor, nullptr) < 0) return 0;
  return Get32LE(descriptor + 80);
}

uint32_t GetFormatCapacity(TSCSIDevice& d) {
  uint8_t b[124] = {};
  if (!ReadFormatCapacities(d, b)) return 0;
  const int listed = std::min(4, b[3] / 8);
  if (listed == 0) return 0;
  for (int i = 0; i < listed; ++i) {
    const uint8_t* e = b + 4 + 8 * i;
    const uint32_t blockLength = static_cast<uint32_t>(e[5] << 16 | e[6] << 8 | e[7]);
    if (e[4] == 0 && blockLength == 2048) return Get32BE(e);
  }
  return Get32BE(b + 4);
}

uint32_t GetFreeBlocks(TSCSIDevice& d) {
  if (!IsDiscWritable(d)) return 0;
  const uint8_t m = GetMediaType(d);
  d.MediaType = m;
  SendWriteParameters(d, false, false, false, m);
  const bool ok = DiscInfoOk(d) && ReadTrackInformation(d, GetLastTrack(d));
  if (ok) {
    const uint32_t size = d.TrackInfo.TrackSize;
    if (size == 0xFFFFFFFF) return 0;
    if (m == MediaDvdRam || m == MediaDvdPlusRw || m == MediaBdRe) {
      const uint32_t used = GetVolumeSize(d);
      return size > used ? size - used : 0;
    }
    if (m == MediaDvdRwRestricted) {
      const uint32_t capacity = GetFormatCapacity(d);
      return capacity > size ? capacity - size : 0;
    }
    return std::max(d.TrackInfo.FreeBlocks, size);
  }
  if (m == MediaDvdRam || m == MediaDvdPlusRw) {
    const uint32_t capacity = GetFormatCapacity(d), used = GetVolumeSize(d);
    return capacity > used ? capacity - used : 0;
  }
  return 0;
}

uint32_t GetDiscCapacity(TSCSIDevice& d) {
  SendWriteParameters(d, false, false, false, d.MediaType);
  if (DiscInfoOk(d) && ReadTrackInformation(d, GetLastTrack(d))) {
    if ((d.TrackInfo.raw[6] & 0x10) == 0) return d.TrackInfo.TrackStart + d.TrackInfo.TrackSize;
    return d.TrackInfo.TrackSize == 0xFFFFFFFF ? 0 : GetFormatCapacity(d);
  }
  return GetFormatCapacity(d);
}

bool SetSpeeds(TSCSIDevice& d, uint16_t readSpeed, uint16_t writeSpeed) {
  d.ReadSpeed = readSpeed;
  d.WriteSpeed = writeSpeed;
  return SetCDSpeed(d, readSpeed, writeSpeed);
}

uint32_t GetDriveBufferUsed(const TSCSIDevice& d) {
  const uint32_t length = d.DriveBufferLength.load(), blank = d.DriveBufferBlank.load();
  return length > blank ? length - blank : 0;
}

}  // namespace qvr::data
