#pragma once
// TSCSIDevice: the data engine's record of the drives and of the selected one
// - the device list found by discovery, the transport in use, the sense data
// and busy state of the last command, the transfer ring for speed display,
// the command log - and the drive model read from the selected drive.
//
// Commands come from one thread at a time (the UI thread or one engine
// thread); values the progress display polls are atomics.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qvr/data/scsi_request.h"
#include "qvr/platform/aspi_library.h"
#include "qvr/platform/pass_through.h"

namespace qvr::data {

struct TDeviceSlot {
  char DriveLetter = '?';
  uint8_t DriveType = 255;
  uint8_t HostAdapter = 255, Target = 255, Lun = 255;
  std::string Description;  // "h:t:l,X: VENDOR PRODUCT REV " (+ the node for SG_IO drives)
  std::string Node;         // /dev/srN for pass-through drives; empty for ASPI drives
};

// READ TRACK INFORMATION, fields converted to host order.
struct TTrackInfo {
  uint8_t raw[38] = {};
  uint32_t TrackStart = 0, NextWritable = 0, FreeBlocks = 0, FixedPacketSize = 0, TrackSize = 0,
           LastRecorded = 0;
};

// The last 64 READ(10)/WRITE(10) transfers. The engine thread records, the
// progress display reads; the functions below take the lock.
struct TransferRing {
  static constexpr int kSize = 64;
  std::array<uint64_t, kSize> bytes{};
  std::array<uint64_t, kSize> ticks{};
  int32_t index = 0;
  double msPerTick = 1e-6;  // steady clock nanoseconds
};

// Sleeps of the engine's waits and retries, scaled (tests run them faster).
struct DriveWaits {
  double scale = 1.0;
  void Sleep(int milliseconds) const {
    const auto us = static_cast<int64_t>(milliseconds * 1000.0 * scale);
    if (us > 0) std::this_thread::sleep_for(std::chrono::microseconds(us));
  }
};

constexpr int kDeviceSlots = 26;
constexpr int kCapabilityCodes = 43;

struct TSCSIDevice {
  TSCSIDevice();
  ~TSCSIDevice();
  TSCSIDevice(const TSCSIDevice&) = delete;
  TSCSIDevice& operator=(const TSCSIDevice&) = delete;

  // ---- transport ----
  std::vector<uint8_t> DataBuffer = std::vector<uint8_t>(65536);
  std::array<TDeviceSlot, kDeviceSlots> Slots{};
  uint8_t DeviceCount = 0;
  char DriveLetter = '?';
  uint8_t DriveType = 255;
  uint8_t HostAdapter = 255, Target = 255, Lun = 255;
  int SelectedSlot = -1;
  int LastOSError = 0;
  bool CloseAfterCommand = false;
  bool UseASPI = false;
  bool Initialised = false;
  bool UsePassThrough = false;
  aspi::SendASPI32CommandFn SendASPICommand = nullptr;
  std::array<uint8_t, kSenseAreaBytes> Sense{};
  std::atomic<uint16_t> LastSense{0};
  bool Busy = false;
  bool SeekQuirk = false;
  std::FILE* LogStream = nullptr;
  TransferRing Ring;
  mutable std::mutex RingMutex;
  std::string Version;

  // Linux: the system calls of SG_IO (tests stand in for them), the open node
  // of the selected pass-through drive, the loaded ASPI library, and the
  // optical nodes that exist but cannot be opened (cause and fix).
  platform::SystemCalls Calls = platform::RealSystemCalls();
  std::string DevFolder = "/dev";
  std::string SysfsBlock = "/sys/class/block";
  std::unique_ptr<platform::PassThroughDevice> Node;
  platform::AspiLibrary Aspi;
  std::vector<std::string> AccessProblems;
  std::string AspiError;

  // ---- drive model ----
  std::string Vendor, Product, Revision;
  uint8_t MediaType = 0;
  std::array<uint8_t, 64> CapsPage{};
  uint16_t MaxReadSpeed = 0, CurrentReadSpeed = 0, MaxWriteSpeed = 0, CurrentWriteSpeed = 0, BufferSizeKB = 0;
  uint16_t DefaultMaxReadSpeed = 0, DefaultMaxWriteSpeed = 0;
  std::array<bool, kCapabilityCodes> Caps{};
  std::array<uint8_t, 64> DiscInfo{};
  TTrackInfo TrackInfo;
  std::array<uint8_t, 114> ConfigData{};
  std::atomic<uint32_t> DriveBufferLength{0}, DriveBufferBlank{0};
  uint16_t ReadSpeed = 0, WriteSpeed = 0;

  // Burn options kept in the record (the write, erase and verify threads read them).
  bool BurnProof = true;
  bool TestWrite = false;
  bool FinalizeDisc = false;
  bool QuickErase = false;
  DriveWaits Waits;

  uint8_t SenseKey() const { return Sense[2] & 0x0F; }
  uint8_t Asc() const { return Sense[12]; }
  uint8_t Ascq() const { return Sense[13]; }
  uint16_t SenseCode() const { return static_cast<uint16_t>(Sense[12] << 8 | Sense[13]); }
};

// ---- the transport (scsi_transport.cpp) ----

// Completes and delivers one request; 1 done, 4 error (also without a
// transport or a selected drive).
uint8_t SendCommand(TSCSIDevice& device, TSCSIRequest& request);
// The SG_IO delivery on the selected slot's node.
uint8_t SendPassThrough(TSCSIDevice& device, TSCSIRequest& request);
// Closes the log and the drive node.
void CloseDevice(TSCSIDevice& device);
void CloseDriveNode(TSCSIDevice& device);
void SetCloseAfterCommand(TSCSIDevice& device, bool on);

void ClearTransferRing(TSCSIDevice& device);
void RecordTransfer(TSCSIDevice& device, uint64_t bytes, uint64_t ticks);
uint64_t TransferTicksNow();
// Bytes per second over the ring, rounded up; 0 without time or bytes.
uint32_t TransferRate(const TSCSIDevice& device);

// The 22-character name of an operation code ("" for codes not in the table).
const std::string& CommandName(uint8_t opcode);
// One command log line, CR LF included (the format of the command log).
std::string CommandLogLine(const TSCSIDevice& device, const TSCSIRequest& request, int minute, int second,
                           int millisecond);
// Opens (appending) or creates (truncating) the command log.
bool OpenCommandLog(TSCSIDevice& device, const std::string& path, bool truncate);
void CloseCommandLog(TSCSIDevice& device);
void LogText(TSCSIDevice& device, const std::string& text);

// ---- discovery (device_discovery.cpp) ----

// Finds the drives: SG_IO nodes first unless useAspi, else (or when none is
// usable) the ASPI library. logFile empty: no log.
bool InitializeDevices(TSCSIDevice& device, bool useAspi, const std::string& aspiLibraryPath,
                       const std::string& logFile);

}  // namespace qvr::data
