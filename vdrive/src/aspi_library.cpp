// libwnaspi32.so: the ASPI for Win32 entry points in front of the virtual
// drives. One host adapter (0); drive N is target N, LUN 0. Requests with
// event notification or posting complete on a worker thread per target.

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "qvr/platform/wnaspi32.h"
#include "qvr/vdrive/drive_set.h"

using namespace qvr::aspi;

namespace {

constexpr DWORD kMaxTransfer = 0x01000000;
constexpr int kMaxTargets = 8;

qvr::vdrive::Drive* DriveOf(BYTE target, BYTE lun) {
  if (lun != 0) return nullptr;
  return qvr::vdrive::DriveSet::Default().At(target);
}

// Runs an execute request to its end and fills in its status fields.
void Execute(SRB_ExecSCSICmd* srb, qvr::vdrive::Drive& drive) {
  using qvr::vdrive::DataDirection;
  DataDirection dir = (srb->SRB_Flags & SRB_DIR_IN) ? DataDirection::kIn
                      : (srb->SRB_Flags & SRB_DIR_OUT) ? DataDirection::kOut
                                                        : DataDirection::kNone;
  std::span<const std::uint8_t> cdb(srb->CDBByte, srb->SRB_CDBLen);
  bool auto_sense = srb->SRB_SenseLen > 0;
  qvr::vdrive::CommandResult r = drive.Execute(cdb, srb->SRB_BufPointer, srb->SRB_BufLen, dir, auto_sense);
  srb->SRB_HaStat = r.transfer_error ? HASTAT_DO_DU : HASTAT_OK;
  srb->SRB_TargStat = r.status;
  if (r.status == STATUS_CHKCOND && srb->SRB_SenseLen > 0) {
    std::uint8_t sense[qvr::vdrive::kSenseBytes];
    r.sense.Encode(sense);
    // Exactly SRB_SenseLen bytes: callers may lay a larger area behind the block.
    std::memset(srb->SenseArea, 0, srb->SRB_SenseLen);
    std::memcpy(srb->SenseArea, sense, std::min<std::size_t>(sizeof sense, srb->SRB_SenseLen));
  }
  if (srb->SRB_Flags & SRB_ENABLE_RESIDUAL_COUNT) srb->SRB_BufLen = static_cast<DWORD>(srb->SRB_BufLen - r.transferred);
  srb->SRB_Status = (r.status == STATUS_GOOD && !r.transfer_error) ? SS_COMP : SS_ERR;
}

void Complete(SRB_ExecSCSICmd* srb) {
  if (srb->SRB_Flags & SRB_EVENT_NOTIFY) {
    static_cast<AspiEvent*>(srb->SRB_PostProc)->Set();
  } else if (srb->SRB_Flags & SRB_POSTING) {
    reinterpret_cast<void (*)(SRB_ExecSCSICmd*)>(srb->SRB_PostProc)(srb);
  }
}

// Queued requests of one target, run in order on its own thread.
class Worker {
 public:
  explicit Worker(qvr::vdrive::Drive& drive) : drive_(drive), thread_([this] { Run(); }) {}
  ~Worker() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

  void Push(SRB_ExecSCSICmd* srb) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(srb);
    }
    cv_.notify_all();
  }

  // Takes a request that has not started; false when it is running or done.
  bool Abort(void* srb) {
    std::lock_guard lock(mutex_);
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
      if (*it == srb) {
        SRB_ExecSCSICmd* aborted = *it;
        queue_.erase(it);
        aborted->SRB_Status = SS_ABORTED;
        Complete(aborted);
        return true;
      }
    }
    return false;
  }

 private:
  void Run() {
    for (;;) {
      SRB_ExecSCSICmd* srb = nullptr;
      {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) return;
        srb = queue_.front();
        queue_.pop_front();
      }
      Execute(srb, drive_);
      Complete(srb);
    }
  }

  qvr::vdrive::Drive& drive_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<SRB_ExecSCSICmd*> queue_;
  bool stop_ = false;
  std::thread thread_;
};

class Workers {
 public:
  Worker& For(BYTE target, qvr::vdrive::Drive& drive) {
    std::lock_guard lock(mutex_);
    if (!workers_[target]) workers_[target] = std::make_unique<Worker>(drive);
    return *workers_[target];
  }
  bool Abort(void* srb) {
    std::lock_guard lock(mutex_);
    for (auto& w : workers_) {
      if (w && w->Abort(srb)) return true;
    }
    return false;
  }

 private:
  std::mutex mutex_;
  std::unique_ptr<Worker> workers_[kMaxTargets];
};

Workers& AllWorkers() {
  static Workers workers;
  return workers;
}

void PutText(BYTE* out, const char* text) {
  std::memset(out, ' ', 16);
  std::memcpy(out, text, std::min<std::size_t>(16, std::strlen(text)));
}

DWORD HostAdapterInquiry(SRB_HAInquiry* srb) {
  if (srb->SRB_HaId != 0) return srb->SRB_Status = SS_INVALID_HA;
  srb->HA_Count = 1;
  srb->HA_SCSI_ID = 7;
  PutText(srb->HA_ManagerId, "QVR ASPI32");
  PutText(srb->HA_Identifier, "QVR VIRTUAL");
  std::memset(srb->HA_Unique, 0, sizeof srb->HA_Unique);
  srb->HA_Unique[3] = kMaxTargets;
  std::memcpy(srb->HA_Unique + 4, &kMaxTransfer, sizeof kMaxTransfer);  // little-endian DWORD
  return srb->SRB_Status = SS_COMP;
}

DWORD DeviceType(SRB_GDEVBlock* srb) {
  if (srb->SRB_HaId != 0) return srb->SRB_Status = SS_INVALID_HA;
  if (!DriveOf(srb->SRB_Target, srb->SRB_Lun)) {
    srb->SRB_DeviceType = 0x1F;
    return srb->SRB_Status = SS_NO_DEVICE;
  }
  srb->SRB_DeviceType = DTYPE_CDROM;
  return srb->SRB_Status = SS_COMP;
}

DWORD DiskInfo(SRB_GetDiskInfo* srb) {
  if (srb->SRB_HaId != 0) return srb->SRB_Status = SS_INVALID_HA;
  if (!DriveOf(srb->SRB_Target, srb->SRB_Lun)) return srb->SRB_Status = SS_NO_DEVICE;
  char letter = qvr::vdrive::DriveSet::Default().LetterOf(srb->SRB_Target);
  srb->SRB_DriveFlags = 0;
  srb->SRB_Int13HDriveInfo = static_cast<BYTE>(letter - 'A');
  srb->SRB_Heads = 0;
  srb->SRB_Sectors = 0;
  return srb->SRB_Status = SS_COMP;
}

DWORD ExecuteRequest(SRB_ExecSCSICmd* srb) {
  if (srb->SRB_HaId != 0) return srb->SRB_Status = SS_INVALID_HA;
  qvr::vdrive::Drive* drive = DriveOf(srb->SRB_Target, srb->SRB_Lun);
  if (!drive) return srb->SRB_Status = SS_NO_DEVICE;
  BYTE flags = srb->SRB_Flags;
  bool notify = flags & SRB_EVENT_NOTIFY, posting = flags & SRB_POSTING;
  bool both_directions = (flags & SRB_DIR_IN) && (flags & SRB_DIR_OUT);
  if (srb->SRB_CDBLen == 0 || srb->SRB_CDBLen > 16 || both_directions || (notify && posting) ||
      ((notify || posting) && !srb->SRB_PostProc) || (srb->SRB_BufLen > 0 && !srb->SRB_BufPointer))
    return srb->SRB_Status = SS_INVALID_SRB;
  if (srb->SRB_BufLen > kMaxTransfer) return srb->SRB_Status = SS_BUFFER_TO_BIG;
  srb->SRB_HaStat = HASTAT_OK;
  srb->SRB_TargStat = STATUS_GOOD;
  if (notify || posting) {
    srb->SRB_Status = SS_PENDING;
    AllWorkers().For(srb->SRB_Target, *drive).Push(srb);
    return SS_PENDING;
  }
  Execute(srb, *drive);
  return srb->SRB_Status;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) DWORD GetASPI32SupportInfo() {
  return static_cast<DWORD>(SS_COMP) << 8 | 1;
}

__attribute__((visibility("default"))) DWORD SendASPI32Command(void* request) {
  if (!request) return SS_INVALID_SRB;
  auto* header = static_cast<SRB_Header*>(request);
  switch (header->SRB_Cmd) {
    case SC_HA_INQUIRY: return HostAdapterInquiry(static_cast<SRB_HAInquiry*>(request));
    case SC_GET_DEV_TYPE: return DeviceType(static_cast<SRB_GDEVBlock*>(request));
    case SC_EXEC_SCSI_CMD: return ExecuteRequest(static_cast<SRB_ExecSCSICmd*>(request));
    case SC_ABORT_SRB: {
      auto* abort = static_cast<SRB_Abort*>(request);
      if (abort->SRB_HaId != 0) return abort->SRB_Status = SS_INVALID_HA;
      return abort->SRB_Status = AllWorkers().Abort(abort->SRB_ToAbort) ? SS_COMP : SS_ABORT_FAIL;
    }
    case SC_RESET_DEV:
    case SC_RESCAN_SCSI_BUS:
    case SC_GETSET_TIMEOUTS:
      if (header->SRB_HaId != 0) return header->SRB_Status = SS_INVALID_HA;
      return header->SRB_Status = SS_COMP;
    case SC_GET_DISK_INFO: return DiskInfo(static_cast<SRB_GetDiskInfo*>(request));
    default: return header->SRB_Status = SS_INVALID_CMD;
  }
}

}  // extern "C"
