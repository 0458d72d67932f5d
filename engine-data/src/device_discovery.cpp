// Discovery of the drives into the 26 slots of the device record: the SG_IO
// nodes /dev/srN first (drive letter D + N), unless the ASPI library is asked
// for or no node can be used; then every host adapter, target and LUN the
// ASPI library answers for.

#include <algorithm>
#include <cstring>

#include "qvr/data/mmc_commands.h"
#include "qvr/data/scsi_device.h"
#include "qvr/platform/optical_drives.h"

namespace qvr::data {

namespace {

// Printable text of an INQUIRY answer field.
std::string Field(const uint8_t* p, std::size_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return s;
}

std::string DescriptionOf(const TDeviceSlot& slot, const uint8_t* inquiry) {
  char text[128];
  const std::string letter(1, slot.DriveLetter);
  std::snprintf(text, sizeof text, "%d:%d:%d,%s: %s %s %s ", slot.HostAdapter, slot.Target, slot.Lun,
                letter.c_str(), Field(inquiry + 8, 8).c_str(), Field(inquiry + 16, 16).c_str(),
                Field(inquiry + 32, 16).c_str());
  return text;
}

// Sends INQUIRY to the address of slot through the transport set up in device.
bool InquireSlot(TSCSIDevice& device, const TDeviceSlot& slot, int slotIndex, uint8_t* answer) {
  device.HostAdapter = slot.HostAdapter;
  device.Target = slot.Target;
  device.Lun = slot.Lun;
  device.SelectedSlot = slotIndex;
  std::memset(answer, 0, 64);
  const bool ok = Inquiry(device, answer);
  device.HostAdapter = device.Target = device.Lun = 255;
  device.SelectedSlot = -1;
  return ok;
}

void ResetRecord(TSCSIDevice& device) {
  CloseDevice(device);
  device.Slots = {};
  device.DeviceCount = 0;
  device.DriveLetter = '?';
  device.DriveType = 255;
  device.HostAdapter = device.Target = device.Lun = 255;
  device.SelectedSlot = -1;
  device.LastOSError = 0;
  device.CloseAfterCommand = false;
  device.TestWrite = false;
  device.Initialised = device.UsePassThrough = false;
  device.SendASPICommand = nullptr;
  device.Aspi.Unload();
  device.Sense = {};
  device.LastSense.store(0);
  device.Busy = false;
  device.SeekQuirk = false;
  device.AccessProblems.clear();
  device.AspiError.clear();
  device.Vendor.clear();
  device.Product.clear();
  device.Revision.clear();
  device.MediaType = 0;
  device.CapsPage = {};
  device.Caps = {};
}

int DiscoverPassThrough(TSCSIDevice& device) {
  platform::DiscoverySources sources;
  sources.dev_folder = device.DevFolder;
  sources.sysfs_block = device.SysfsBlock;
  sources.calls = device.Calls;
  std::vector<TDeviceSlot> front, back;
  for (const platform::OpticalDrive& drive : platform::FindOpticalDrives(sources)) {
    if (!drive.usable()) {
      LogText(device, "System Error Code: " + std::to_string(drive.open_error) + "\r\n");
      device.AccessProblems.push_back(drive.problem);
      continue;
    }
    if (drive.letter == 0) continue;
    TDeviceSlot slot;
    slot.DriveLetter = drive.letter;
    slot.DriveType = 5;
    slot.Node = drive.node;
    if (drive.address) {
      slot.HostAdapter = drive.address->host;
      slot.Target = drive.address->target;
      slot.Lun = drive.address->lun;
      front.push_back(slot);
    } else {
      slot.HostAdapter = 0;
      slot.Target = 0;
      slot.Lun = 0;
      back.push_back(slot);
    }
  }
  // Drives without an address follow the others on host adapters of their own.
  int nextHost = 0;
  for (const TDeviceSlot& s : front) nextHost = std::max(nextHost, s.HostAdapter + 1);
  for (TDeviceSlot& s : back) s.HostAdapter = static_cast<uint8_t>(std::min(254, nextHost++));
  front.insert(front.end(), back.begin(), back.end());
  if (front.size() > kDeviceSlots) front.resize(kDeviceSlots);
  if (front.empty()) return 0;

  device.Initialised = device.UsePassThrough = true;
  int count = 0;
  for (TDeviceSlot& slot : front) {
    device.Slots[static_cast<std::size_t>(count)] = slot;
    uint8_t answer[64];
    const bool ok = InquireSlot(device, slot, count, answer);
    CloseDriveNode(device);
    if (!ok || (answer[0] & 0x1F) != 5) std::memset(answer + 8, ' ', 40);
    slot.Description = DescriptionOf(slot, answer) + slot.Node;
    device.Slots[static_cast<std::size_t>(count)] = slot;
    LogText(device, std::string(1, slot.DriveLetter) + ": " + std::to_string(slot.DriveType) + " - ( " +
                        slot.Description + ")\r\n");
    ++count;
  }
  device.Node.reset();
  device.DeviceCount = static_cast<uint8_t>(count);
  return count;
}

// The letter of a drive the ASPI library found: an SG_IO node at the same
// address, else the library's own drive number.
char AspiLetter(TSCSIDevice& device, const TDeviceSlot& slot) {
  platform::DiscoverySources sources;
  sources.dev_folder = device.DevFolder;
  sources.sysfs_block = device.SysfsBlock;
  sources.calls = device.Calls;
  char letter = '?';
  for (const platform::OpticalDrive& drive : platform::FindOpticalDrives(sources)) {
    if (drive.address && drive.address->host == slot.HostAdapter && drive.address->target == slot.Target &&
        drive.address->lun == slot.Lun && drive.letter)
      letter = drive.letter;
  }
  aspi::SRB_GetDiskInfo info{};
  info.SRB_Cmd = aspi::SC_GET_DISK_INFO;
  info.SRB_HaId = slot.HostAdapter;
  info.SRB_Target = slot.Target;
  info.SRB_Lun = slot.Lun;
  if (device.SendASPICommand(&info) == aspi::SS_COMP && info.SRB_Int13HDriveInfo < 26)
    letter = static_cast<char>('A' + info.SRB_Int13HDriveInfo);
  return letter;
}

bool DiscoverAspi(TSCSIDevice& device, const std::string& libraryPath) {
  if (!device.Aspi.Load(libraryPath)) {
    device.AspiError = device.Aspi.error();
    return false;
  }
  const aspi::DWORD support = device.Aspi.support_info()();
  if (support == 0) {
    device.AspiError = device.Aspi.path() + ": the ASPI library reports no support";
    return false;
  }
  device.SendASPICommand = device.Aspi.send_command();
  device.Initialised = true;
  device.UsePassThrough = false;

  aspi::SRB_HAInquiry ha{};
  ha.SRB_Cmd = aspi::SC_HA_INQUIRY;
  device.SendASPICommand(&ha);
  const int adapters = ha.HA_Count == 0 ? 7 : ha.HA_Count;
  int count = 0;
  for (int h = 0; h < adapters && count < kDeviceSlots; ++h) {
    for (int t = 0; t < 8 && count < kDeviceSlots; ++t) {
      for (int l = 0; l < 7 && count < kDeviceSlots; ++l) {
        TDeviceSlot slot;
        slot.HostAdapter = static_cast<uint8_t>(h);
        slot.Target = static_cast<uint8_t>(t);
        slot.Lun = static_cast<uint8_t>(l);
        uint8_t answer[64];
        if (!InquireSlot(device, slot, count, answer) || (answer[0] & 0x1F) != 5) continue;
        slot.DriveType = 5;
        slot.DriveLetter = AspiLetter(device, slot);
        slot.Description = DescriptionOf(slot, answer);
        device.Slots[static_cast<std::size_t>(count++)] = slot;
      }
    }
  }
  device.DeviceCount = static_cast<uint8_t>(count);
  return true;
}

}  // namespace

bool InitializeDevices(TSCSIDevice& device, bool useAspi, const std::string& aspiLibraryPath,
                       const std::string& logFile) {
  ResetRecord(device);
  device.UseASPI = useAspi;
  if (!logFile.empty() && OpenCommandLog(device, logFile, true)) LogText(device, device.Version + "\r\n");
  if (!useAspi && DiscoverPassThrough(device) > 0) return true;
  return DiscoverAspi(device, aspiLibraryPath);
}

}  // namespace qvr::data
