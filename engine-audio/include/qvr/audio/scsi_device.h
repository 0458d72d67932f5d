#pragma once
// TSCSIDevice: the audio engine's drive. It lists the drives the ASPI layer
// reaches, selects one by its id line, reads its identity and capabilities,
// and sends the MMC commands the audio writer needs, each through
// ExecuteRequest, which decodes the outcome into LastErrorText and the kept
// sense bytes and reports the first unexpected failure once.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "qvr/audio/aspi_layer.h"
#include "qvr/audio/device_id.h"
#include "qvr/audio/drive_quirks.h"
#include "qvr/audio/request.h"

namespace qvr::audio {

class TSCSIDevice;

// Message types of OnDebugMessage: 0 errors, 1 information, 4 disc state.
using TOnDebugMsg = std::function<void(TSCSIDevice& sender, const std::string& message, std::uint8_t mtype)>;
using TDeviceChangedEvent = std::function<void(TSCSIDevice& sender)>;
using TEraseDoneEvent = std::function<void(TSCSIDevice& sender, bool with_error)>;

enum class TWriteMethod : std::uint8_t { wmDAO, wmSAO, wmTAO };

// Medium type codes of the audio engine, 0-15.
extern const std::array<const char*, 16> MediumTypeNames;
constexpr std::uint8_t kMediumCdRom = 1, kMediumCdR = 2, kMediumCdRw = 3;

// Bits of Capabilities.
namespace capability {
constexpr std::uint32_t kReadCdR = 0x01;
constexpr std::uint32_t kReadCdRw = 0x02;
constexpr std::uint32_t kReadMethod2 = 0x04;
constexpr std::uint32_t kReadDvdRom = 0x08;
constexpr std::uint32_t kReadDvdR = 0x10;
constexpr std::uint32_t kReadDvdRam = 0x40;
constexpr std::uint32_t kWriteCdR = 0x400;
constexpr std::uint32_t kWriteCdRw = 0x800;
constexpr std::uint32_t kTestWrite = 0x1000;
constexpr std::uint32_t kWriteDvdR = 0x2000;
constexpr std::uint32_t kWriteDvdRam = 0x8000;
constexpr std::uint32_t kUnderrunProtection = 0x100000;
constexpr std::uint32_t kWriteDvdPlusRw = 0x200000;
constexpr std::uint32_t kWriteDvdPlusR = 0x400000;
constexpr std::uint32_t kWriteDvdMinusR = 0x800000;
}  // namespace capability

// The fields of READ TRACK INFORMATION the writer uses, in host order.
struct TrackInformation {
  std::uint16_t track_number = 0;
  std::uint16_t session_number = 0;
  std::uint8_t track_mode = 0;
  std::uint8_t data_mode = 0;
  bool blank = false;
  bool nwa_valid = false;
  std::int32_t track_start = 0;
  std::int32_t next_writable = 0;
  std::uint32_t free_blocks = 0;
  std::uint32_t track_size = 0;
};

constexpr std::uint8_t kNoDevice = 254;

class TSCSIDevice {
 public:
  explicit TSCSIDevice(AspiLayer& layer = AspiLayer::Instance());
  virtual ~TSCSIDevice();
  TSCSIDevice(const TSCSIDevice&) = delete;
  TSCSIDevice& operator=(const TSCSIDevice&) = delete;

  // Published settings.
  bool UnderrunProtection = true;
  bool TestWrite = false;
  bool DoDebug = false;
  bool FinalizeDisc = false;
  TWriteMethod WriteMethod = TWriteMethod::wmTAO;
  TOnDebugMsg OnDebugMessage;
  TDeviceChangedEvent OnDeviceChange;
  TEraseDoneEvent OnEraseDone;  // never raised by the audio engine

  // Layer and drive list.
  bool InitializeASPI(bool use_spti, const std::string& dll_path);
  bool ASPIInitialized() const { return layer_.ASPIInitialized(); }
  AspiLayer& layer() { return layer_; }
  void QueryHostAdapter(std::uint8_t adapter);
  int AdapterCount() const { return adapter_count_; }
  void ScanDevices();
  const std::vector<std::string>& Devices() const { return devices_; }

  // Selection and identity.
  bool SelectDevice(const std::string& id);
  const std::string& DeviceId() const { return device_id_; }
  DeviceTriple Triple() const { return {ha_, target_, lun_}; }
  bool HasDevice() const { return ha_ != kNoDevice; }
  char GetDriveLetter();
  const std::string& Description() const { return description_; }
  std::uint8_t PeripheralType() const { return peripheral_type_; }
  const DriveQuirks& Quirks() const { return quirks_; }

  // Drive and disc state.
  bool ReadCapabilities();
  std::uint32_t Capabilities() const { return capabilities_; }
  std::uint16_t DeviceMaxWriteSpeed() const { return max_write_speed_; }
  std::uint16_t DeviceMaxReadSpeed() const { return max_read_speed_; }
  std::uint16_t CurrentWriteSpeed() const { return current_write_speed_; }
  std::uint32_t DeviceBufferSize() const { return buffer_size_; }
  std::uint32_t DeviceFreeBufferSize() const { return free_buffer_size_; }
  std::uint8_t GetMediumType();
  int GetDiscStatus();  // -1 failed, 0 empty, 1 incomplete, 2 complete, 3 other
  bool IsDiscErasable();
  bool WaitUntilReady(int total_ms, int interval_ms);
  bool RestoreWriteParameters();
  TrackInformation LastTrackInformation() const;
  std::array<std::uint8_t, 56> LastDiscInformation() const;
  bool Erasing() const { return false; }

  std::uint16_t ReadSpeed() const { return read_speed_; }
  std::uint16_t WriteSpeed() const { return write_speed_; }
  void SetReadSpeed(std::uint16_t kbps) { read_speed_ = kbps; }
  // Sends SET CD SPEED with the read speed and the new write speed, and keeps
  // the value whatever the drive answered.
  void SetWriteSpeed(std::uint16_t kbps);

  // The outcome of the last request; the calling thread's own last request
  // when it sent one on this device, so a worker is not misled by requests
  // of other threads.
  RequestOutcome LastOutcome() const;
  std::string LastErrorText() const { return LastOutcome().error_text; }
  std::array<std::uint8_t, kSenseRoom> SenseCopy() const { return LastOutcome().sense; }
  bool Busy() const { return LastOutcome().busy; }

  // Commands; each is true when the request completed.
  bool TestUnitReady(std::uint32_t timeout_ms = 5000);
  bool RezeroUnit();
  bool RequestSense(std::uint8_t* buffer, std::uint8_t allocation);
  bool Inquiry();
  bool StartStopUnit(bool load);
  bool PreventAllowRemoval(bool prevent);
  bool Write10(std::int32_t lba, std::uint16_t blocks, const std::uint8_t* data, std::uint32_t length,
               std::uint8_t flags = kFlagsDataOut);
  bool SynchronizeCache(bool immediate, std::uint32_t timeout_ms);
  bool ReadTocPmaAtip(std::uint8_t format, bool msf, std::uint8_t* buffer, std::uint8_t allocation);
  bool GetConfiguration(std::uint8_t rt, std::uint16_t feature, std::uint8_t* buffer, std::uint8_t allocation);
  bool ReadDiscInformation();
  bool ReadTrackInformation(std::uint8_t track);
  bool SendOpcInformation();
  bool ModeSelect10(const std::uint8_t* data, std::uint8_t length);
  bool ModeSense10(std::uint8_t page, bool defaults, std::uint8_t* buffer, std::uint16_t allocation);
  bool CloseTrackSession(bool session, bool immediate);
  bool ReadBufferCapacity();
  bool SendCueSheet(const std::uint8_t* data, std::uint16_t length);
  bool SetCdSpeed(std::uint16_t read_kbps, std::uint16_t write_kbps);

  // The one path of every command to the layer.
  RequestOutcome ExecuteRequest(RequestBlock& block, std::uint32_t timeout_ms);

  void Lock() { device_lock_.lock(); }
  void Unlock() { device_lock_.unlock(); }

  // Waits; tests replace it to run the waiting loops without the clock.
  std::function<void(int ms)> Sleep;

 protected:
  void Report(const std::string& message, std::uint8_t mtype);

 private:
  RequestOutcome Send(std::uint8_t cdb_length, std::initializer_list<std::uint8_t> cdb, std::uint8_t flags,
                      std::uint8_t* data, std::uint32_t length, std::uint32_t timeout_ms);
  bool ReadPage2A();
  void SetNoDevice();

  AspiLayer& layer_;
  const std::uint64_t serial_;
  std::uint8_t ha_ = kNoDevice, target_ = kNoDevice, lun_ = kNoDevice;
  int adapter_count_ = 0;
  std::vector<std::string> devices_;
  std::string device_id_;
  std::string description_;
  std::uint8_t peripheral_type_ = 0x1F;
  std::array<std::uint8_t, 128> inquiry_{};
  DriveQuirks quirks_;
  aspi::SRB_HAInquiry adapter_inquiry_{};

  std::uint32_t capabilities_ = 0;
  std::atomic<std::uint16_t> max_write_speed_{0}, max_read_speed_{0}, current_write_speed_{0};
  std::atomic<std::uint32_t> buffer_size_{0}, free_buffer_size_{0};
  std::atomic<std::uint16_t> read_speed_{0}, write_speed_{0};

  mutable std::mutex state_mutex_;  // guards the answers below and last_outcome_
  std::array<std::uint8_t, 516> page_2a_{};
  std::array<std::uint8_t, 54> write_parameters_{};
  std::array<std::uint8_t, 56> disc_information_{};
  TrackInformation track_information_;
  RequestOutcome last_outcome_;

  std::atomic<bool> error_reported_{false};
  std::mutex device_lock_;

};

}  // namespace qvr::audio
