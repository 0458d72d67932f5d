#include "qvr/audio/scsi_device.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "qvr/audio/sense_texts.h"

namespace qvr::audio {

using namespace qvr::aspi;

const std::array<const char*, 16> MediumTypeNames = {
    "UNKNOWN", "CD-ROM", "CD-R",   "CD-RW",  "DVD-ROM",  "DVD-R",    "DVD-RAM", "DVD-RW",
    "DVD-RW",  "DVD-RW", "DVD+RW", "DVD+R",  "DVD+R DL", "DDCD-ROM", "DDCD-R",  "DDCD-RW",
};

namespace {

constexpr const char* kInvalidDeviceText = "INVALID DEVICE ID / NOT A CD OR DVD DRIVE";

// The last request of this thread, so a worker reads its own outcome even
// while another thread sends requests to the same drive.
// Devices are told apart by a serial number, never by address, so a device
// made where an old one lived does not inherit its outcome.
struct ThreadOutcome {
  std::uint64_t owner = 0;
  RequestOutcome outcome;
};
thread_local ThreadOutcome tls_last;
std::atomic<std::uint64_t> next_serial{1};

// A request in flight. It lives apart from the caller's block and buffer so a
// layer that answers after the time-out writes into memory nobody reuses.
struct PendingRequest {
  RequestBlock block;
  AspiEvent event;
  std::vector<std::uint8_t> data;
};

std::string Printable(const std::uint8_t* p, std::size_t n) {
  std::string s(reinterpret_cast<const char*>(p), n);
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return s;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  std::size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b);
}

}  // namespace

TSCSIDevice::TSCSIDevice(AspiLayer& layer)
    : Sleep([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }),
      layer_(layer),
      serial_(next_serial++) {
  if (layer_.ASPIInitialized()) {
    QueryHostAdapter(0);
    ScanDevices();
  }
}

TSCSIDevice::~TSCSIDevice() = default;

void TSCSIDevice::Report(const std::string& message, std::uint8_t mtype) {
  if (OnDebugMessage) OnDebugMessage(*this, message, mtype);
}

bool TSCSIDevice::InitializeASPI(bool use_spti, const std::string& dll_path) {
  bool ok = false;
  try {
    ok = layer_.InitializeASPI(use_spti, dll_path);
  } catch (...) {
    ok = false;
  }
  if (ok) {
    QueryHostAdapter(0);
    ScanDevices();
  }
  return ok;
}

void TSCSIDevice::QueryHostAdapter(std::uint8_t adapter) {
  adapter_inquiry_ = SRB_HAInquiry{};
  adapter_inquiry_.SRB_Cmd = SC_HA_INQUIRY;
  adapter_inquiry_.SRB_HaId = adapter;
  if (!layer_.ASPIInitialized() || layer_.SendCommand(&adapter_inquiry_) != SS_COMP ||
      adapter_inquiry_.SRB_Status != SS_COMP) {
    adapter_count_ = -1;
    return;
  }
  adapter_count_ = adapter_inquiry_.HA_Count == 0 ? 7 : adapter_inquiry_.HA_Count;
}

void TSCSIDevice::SetNoDevice() { ha_ = target_ = lun_ = kNoDevice; }

void TSCSIDevice::ScanDevices() {
  devices_.clear();
  const std::uint8_t keep_ha = ha_, keep_target = target_, keep_lun = lun_;
  if (DoDebug) Report(">>> " + layer_.LayerName(), 1);
  const int count = adapter_count_;
  for (int adapter = 0; adapter < count; ++adapter) {
    QueryHostAdapter(static_cast<std::uint8_t>(adapter));
    if (DoDebug) {
      Report(">>> " + std::string(reinterpret_cast<const char*>(adapter_inquiry_.HA_ManagerId), 16) + " (" +
                 Trimmed(std::string(reinterpret_cast<const char*>(adapter_inquiry_.HA_Identifier), 16)) + ")",
             1);
    }
    for (std::uint8_t target = 0; target < 8; ++target) {
      for (std::uint8_t lun = 0; lun < 8; ++lun) {
        ha_ = static_cast<std::uint8_t>(adapter);
        target_ = target;
        lun_ = lun;
        if (!Inquiry()) continue;
        std::uint8_t type = inquiry_[0] & 0x1F;
        if (type != DTYPE_CDROM && type != 0x04) continue;
        char letter = GetDriveLetter();
        if (letter == 0 || letter == '\x7F') letter = '?';
        std::string line = DeviceListLine({ha_, target_, lun_}, letter, inquiry_.data());
        if (std::string node = layer_.EmulatedNodeOf(ha_, target_, lun_); !node.empty()) line += " " + node;
        if (type == 0x04) line += " (not supported)";
        devices_.push_back(std::move(line));
      }
    }
  }
  adapter_count_ = count;
  ha_ = keep_ha;
  target_ = keep_target;
  lun_ = keep_lun;
}

char TSCSIDevice::GetDriveLetter() {
  if (!layer_.ASPIInitialized() || ha_ == kNoDevice) return 0;
  if (layer_.IsEmulation()) return layer_.EmulatedLetterOf(ha_, target_, lun_);
  // The library knows its drives best; only then compare with the system's drives.
  SRB_GetDiskInfo info{};
  info.SRB_Cmd = SC_GET_DISK_INFO;
  info.SRB_HaId = ha_;
  info.SRB_Target = target_;
  info.SRB_Lun = lun_;
  if (layer_.SendCommand(&info) == SS_COMP && info.SRB_Status == SS_COMP && info.SRB_Int13HDriveInfo < 26) {
    return static_cast<char>('A' + info.SRB_Int13HDriveInfo);
  }
  for (const platform::OpticalDrive& drive : layer_.FindDrives()) {
    if (drive.address && drive.address->host == ha_ && drive.address->target == target_ && drive.letter) {
      return drive.letter;
    }
  }
  return 0;
}

bool TSCSIDevice::SelectDevice(const std::string& id) {
  auto reject = [&] {
    Report(kInvalidDeviceText, 0);
    device_id_.clear();
    SetNoDevice();
    return true;
  };
  std::optional<DeviceTriple> triple = ParseDeviceId(id);
  if (!triple) {
    if (id.empty()) {
      device_id_.clear();
      SetNoDevice();
      return true;
    }
    return reject();
  }
  device_id_ = id;
  ha_ = triple->adapter;
  target_ = triple->target;
  lun_ = triple->lun;
  try {
    bool answered = Inquiry();
    peripheral_type_ = answered ? inquiry_[0] & 0x1F : 0x1F;
    std::string vendor(reinterpret_cast<const char*>(inquiry_.data() + 8), 8);
    std::string product(reinterpret_cast<const char*>(inquiry_.data() + 16), 16);
    description_ = answered ? Printable(inquiry_.data() + 8, 8) + " " + Printable(inquiry_.data() + 16, 16) +
                                  " " + Printable(inquiry_.data() + 32, 4)
                            : LastErrorText();
    if (peripheral_type_ != DTYPE_CDROM && peripheral_type_ != 0x04) return reject();
    quirks_ = QuirksFor(vendor, product);
    ReadCapabilities();
  } catch (...) {
    return reject();
  }
  if (OnDeviceChange) OnDeviceChange(*this);
  return true;
}

RequestOutcome TSCSIDevice::LastOutcome() const {
  if (tls_last.owner == serial_) return tls_last.outcome;
  std::lock_guard lock(state_mutex_);
  return last_outcome_;
}

RequestOutcome TSCSIDevice::ExecuteRequest(RequestBlock& block, std::uint32_t timeout_ms) {
  RequestOutcome outcome;
  SRB_ExecSCSICmd& srb = block.srb;
  std::memset(block.sense(), 0, kSenseRoom);
  auto remember = [&] {
    tls_last.owner = serial_;
    tls_last.outcome = outcome;
    std::lock_guard lock(state_mutex_);
    last_outcome_ = outcome;
  };
  if (!layer_.ASPIInitialized() || ha_ == kNoDevice) {
    srb.SRB_Status = SS_ILLEGAL_MODE;
    outcome.status = SS_ILLEGAL_MODE;
    remember();
    return outcome;
  }

  srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
  srb.SRB_HaId = ha_;
  srb.SRB_Target = target_;
  srb.SRB_Lun = lun_;
  srb.SRB_SenseLen = kSenseRequested;
  srb.SRB_Status = SS_PENDING;
  srb.CDBByte[1] = static_cast<BYTE>((srb.CDBByte[1] & 0x1F) | ((lun_ & 0x07) << 5));
  const bool notify = (srb.SRB_Flags & SRB_EVENT_NOTIFY) != 0;

  auto* pending = new PendingRequest{block, {}, {}};
  if (srb.SRB_BufLen != 0 && srb.SRB_BufPointer != nullptr) {
    pending->data.assign(srb.SRB_BufPointer, srb.SRB_BufPointer + srb.SRB_BufLen);
    pending->block.srb.SRB_BufPointer = pending->data.data();
  }
  pending->block.srb.SRB_PostProc = notify ? &pending->event : nullptr;

  const DWORD sent = layer_.SendCommand(&pending->block);
  bool answered = sent != SS_PENDING;
  if (!answered && notify) {
    answered = pending->event.Wait(std::chrono::milliseconds(std::max<std::uint32_t>(timeout_ms, 10000)));
  }

  if (answered) {
    const SRB_ExecSCSICmd& done = pending->block.srb;
    srb.SRB_Status = done.SRB_Status;
    srb.SRB_HaStat = done.SRB_HaStat;
    srb.SRB_TargStat = done.SRB_TargStat;
    std::memcpy(block.sense(), pending->block.sense(), kSenseRoom);
    if ((srb.SRB_Flags & SRB_DIR_IN) && !pending->data.empty()) {
      std::memcpy(srb.SRB_BufPointer, pending->data.data(), pending->data.size());
    }
    delete pending;
  }
  // Otherwise the request is abandoned to the layer: its block stays allocated
  // because the layer may still complete it.
  if (!answered || srb.SRB_Status == SS_PENDING) {
    srb.SRB_Status = SS_ERR;
    srb.SRB_HaStat = 9;  // command time-out
    srb.SRB_TargStat = 0;
  }

  outcome.status = srb.SRB_Status;
  outcome.host_status = srb.SRB_HaStat;
  outcome.target_status = srb.SRB_TargStat;
  if (!outcome.ok()) {
    std::copy_n(block.sense(), kSenseRoom, outcome.sense.begin());
    outcome.error_text = ErrorTextOf(outcome.status, outcome.host_status, outcome.target_status, block.sense());
    outcome.busy = outcome.error_text == "TARGET BUSY";
  }
  remember();

  if (!outcome.ok() && !IsRoutineFailure(srb.CDBByte[0], outcome.asc(), outcome.ascq()) &&
      !error_reported_.exchange(true)) {
    Report(ErrorReportLine(block, ha_, target_, lun_, outcome), 0);
  }
  if (srb.SRB_BufLen % 4 != 0) Report(">>>++++ " + std::to_string(srb.SRB_BufLen), 0);
  return outcome;
}

RequestOutcome TSCSIDevice::Send(std::uint8_t cdb_length, std::initializer_list<std::uint8_t> cdb,
                                 std::uint8_t flags, std::uint8_t* data, std::uint32_t length,
                                 std::uint32_t timeout_ms) {
  RequestBlock block;
  block.srb.SRB_Flags = flags;
  block.srb.SRB_CDBLen = cdb_length;
  block.srb.SRB_BufPointer = data;
  block.srb.SRB_BufLen = data ? length : 0;
  std::copy(cdb.begin(), cdb.end(), block.srb.CDBByte);
  return ExecuteRequest(block, timeout_ms);
}

TrackInformation TSCSIDevice::LastTrackInformation() const {
  std::lock_guard lock(state_mutex_);
  return track_information_;
}

std::array<std::uint8_t, 56> TSCSIDevice::LastDiscInformation() const {
  std::lock_guard lock(state_mutex_);
  return disc_information_;
}

}  // namespace qvr::audio
