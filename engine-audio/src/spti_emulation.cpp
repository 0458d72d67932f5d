#include "qvr/audio/spti_emulation.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qvr::audio {

using namespace qvr::aspi;
using platform::Outcome;

SptiEmulation::SptiEmulation(platform::SystemCalls calls) : calls_(std::move(calls)) {}

int SptiEmulation::Startup(const std::vector<platform::OpticalDrive>& drives) {
  if (started_) return 0;
  Shutdown();
  started_ = true;
  int present = 0;
  for (const platform::OpticalDrive& drive : drives) {
    if (!drive.usable() || drive.letter < 'C' || drive.letter > 'Z') continue;
    DriveEntry& entry = drives_[drive.letter - 'A'];
    entry.letter_index = static_cast<std::uint8_t>(drive.letter - 'A');
    entry.device = std::make_unique<platform::PassThroughDevice>(drive.node, calls_);
    entry.device->SetCloseAfterCommand(true);

    const std::uint8_t cdb[6] = {0x12, 0, 0, 0, 96, 0};
    std::uint8_t answer[96] = {};
    std::uint8_t sense[24] = {};
    platform::PassThroughCommand inquiry;
    inquiry.cdb = cdb;
    inquiry.cdb_length = 6;
    inquiry.direction = platform::Direction::kIn;
    inquiry.data = answer;
    inquiry.data_length = sizeof answer;
    inquiry.sense = sense;
    inquiry.sense_capacity = sizeof sense;
    inquiry.timeout_ms = kTimeoutMs;
    if (!entry.device->Execute(inquiry).ok()) {
      entry.device.reset();
      continue;
    }
    std::copy_n(answer, entry.inquiry.size(), entry.inquiry.begin());
    if (drive.address) {
      entry.adapter = drive.address->host;
      entry.target = drive.address->target;
      entry.lun = drive.address->lun;
    } else {
      entry.adapter = 0;
      entry.target = unaddressed_++;
      entry.lun = kUnaddressedLun;
    }
    entry.present = true;
    entry.device->SetCloseAfterCommand(close_after_request_);
    ++present;
  }
  RecountAdapters();
  if (unaddressed_ > 0) {
    // Drives without an address go on a virtual adapter after the real ones.
    for (DriveEntry& entry : drives_) {
      if (entry.present && entry.lun == kUnaddressedLun) {
        entry.lun = 0;
        entry.adapter = adapter_count_;
      }
    }
    RecountAdapters();
  }
  return present;
}

void SptiEmulation::RecountAdapters() {
  int highest = -1;
  for (const DriveEntry& entry : drives_) {
    if (entry.present) highest = std::max<int>(highest, entry.adapter);
  }
  adapter_count_ = static_cast<std::uint8_t>(highest + 1);
}

void SptiEmulation::Shutdown() {
  for (DriveEntry& entry : drives_) entry = DriveEntry{};
  adapter_count_ = 0;
  unaddressed_ = 0;
  started_ = false;
}

DWORD SptiEmulation::GetSupportInfo() const {
  if (adapter_count_ == 0) return DWORD{SS_NO_ADAPTERS} << 8;
  return (DWORD{SS_COMP} << 8) | adapter_count_;
}

void SptiEmulation::SetCloseAfterRequest(bool on) {
  close_after_request_ = on;
  for (DriveEntry& entry : drives_) {
    if (entry.device) entry.device->SetCloseAfterCommand(on);
  }
}

SptiEmulation::DriveEntry* SptiEmulation::Find(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) {
  for (DriveEntry& entry : drives_) {
    if (entry.present && entry.adapter == adapter && entry.target == target && entry.lun == lun) return &entry;
  }
  return nullptr;
}

const SptiEmulation::DriveEntry* SptiEmulation::Find(std::uint8_t adapter, std::uint8_t target,
                                                     std::uint8_t lun) const {
  return const_cast<SptiEmulation*>(this)->Find(adapter, target, lun);
}

char SptiEmulation::LetterOf(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const {
  const DriveEntry* entry = Find(adapter, target, lun);
  return entry ? static_cast<char>('A' + entry->letter_index) : '\x7F';
}

std::string SptiEmulation::NodeOf(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const {
  const DriveEntry* entry = Find(adapter, target, lun);
  return entry && entry->device ? entry->device->node() : std::string();
}

DWORD SptiEmulation::SendCommand(void* request) {
  auto* header = static_cast<SRB_Header*>(request);
  switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY: return AdapterInquiry(*static_cast<SRB_HAInquiry*>(request));
    case SC_GET_DEV_TYPE: return DeviceType(*static_cast<SRB_GDEVBlock*>(request));
    case SC_EXEC_SCSI_CMD: return Execute(*static_cast<SRB_ExecSCSICmd*>(request));
    default: header->SRB_Status = SS_ERR; return SS_ERR;
  }
}

DWORD SptiEmulation::AdapterInquiry(SRB_HAInquiry& srb) const {
  srb.HA_Count = adapter_count_;
  srb.HA_SCSI_ID = 7;
  std::memcpy(srb.HA_ManagerId, kManagerId, 16);
  std::memset(srb.HA_Identifier, 0, 16);
  std::memcpy(srb.HA_Identifier, "SPTI ", 5);
  srb.HA_Identifier[5] = static_cast<BYTE>('0' + srb.SRB_HaId);
  std::memset(srb.HA_Unique, 0, 16);
  srb.HA_Unique[0] = 7;  // buffer alignment mask, little-endian word
  srb.HA_Unique[3] = 8;  // targets per adapter
  const DWORD max_transfer = 0x00FF0000;
  std::memcpy(srb.HA_Unique + 4, &max_transfer, 4);
  srb.SRB_Status = srb.SRB_HaId < adapter_count_ ? SS_COMP : SS_INVALID_HA;
  return srb.SRB_Status;
}

DWORD SptiEmulation::DeviceType(SRB_GDEVBlock& srb) const {
  if (Find(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun)) {
    srb.SRB_DeviceType = DTYPE_CDROM;
    srb.SRB_Status = SS_COMP;
  } else {
    srb.SRB_DeviceType = 0x1F;
    srb.SRB_Status = SS_NO_DEVICE;
  }
  return srb.SRB_Status;
}

namespace {

// Where the kernel's host codes land among the ASPI host adapter texts.
BYTE HostAdapterStatus(const platform::PassThroughResult& r) {
  if (r.outcome == Outcome::kTimeout) return 9;  // "COMMAND TIMEOUT"
  switch (r.host_status) {
    case platform::kHostNoConnect:
    case platform::kHostBadTarget: return 17;  // "SELECTION TIMEOUT"
    case platform::kHostReset: return 14;      // "BUS RESET"
    case platform::kHostParity: return 15;     // "PARITY ERROR"
    case platform::kHostBusBusy: return 0;     // reported as a busy target below
    default: return 0x20;                      // no ASPI text: "UNKNOWN"
  }
}

}  // namespace

DWORD SptiEmulation::Execute(SRB_ExecSCSICmd& srb) {
  DriveEntry* entry = Find(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
  if (!entry) {
    srb.SRB_Status = SS_NO_DEVICE;
    return srb.SRB_Status;
  }
  srb.SRB_HaStat = HASTAT_OK;
  srb.SRB_TargStat = STATUS_GOOD;
  if (srb.CDBByte[0] == 0x12) {
    std::memcpy(srb.SRB_BufPointer, entry->inquiry.data(), std::min<DWORD>(36, srb.SRB_BufLen));
    srb.SRB_Status = SS_COMP;
    return srb.SRB_Status;
  }

  std::uint8_t sense[255] = {};
  platform::PassThroughCommand command;
  command.cdb = srb.CDBByte;
  command.cdb_length = std::min<BYTE>(srb.SRB_CDBLen, 16);
  command.direction = (srb.SRB_Flags & SRB_DIR_IN)    ? platform::Direction::kIn
                      : (srb.SRB_Flags & SRB_DIR_OUT) ? platform::Direction::kOut
                                                      : platform::Direction::kNone;
  command.data = srb.SRB_BufPointer;
  command.data_length = srb.SRB_BufLen;
  command.sense = sense;
  command.sense_capacity = srb.SRB_SenseLen;
  command.timeout_ms = kTimeoutMs;
  platform::PassThroughResult result = entry->device->Execute(command);

  switch (result.outcome) {
    case Outcome::kGood: srb.SRB_Status = SS_COMP; break;
    case Outcome::kOpenFailed: srb.SRB_Status = SS_NO_DEVICE; break;
    case Outcome::kIoctlFailed:
      srb.SRB_Status = result.os_error == ENOMEM ? SS_BUFFER_TO_BIG : SS_INVALID_CMD;
      break;
    default:
      srb.SRB_Status = SS_ERR;
      // The caller lays SRB_SenseLen bytes of room from SenseArea on.
      std::memcpy(srb.SenseArea, sense, srb.SRB_SenseLen);
      srb.SRB_TargStat = result.scsi_status;
      if (result.outcome == Outcome::kTimeout || result.outcome == Outcome::kHostError) {
        srb.SRB_HaStat = HostAdapterStatus(result);
        if (result.host_status == platform::kHostBusBusy) srb.SRB_TargStat = STATUS_BUSY;
      }
      break;
  }
  return srb.SRB_Status;
}

}  // namespace qvr::audio
