#pragma once
// The ASPI for Win32 interface as published: request blocks, command codes,
// status values and the two entry points of an ASPI library. Both disc engines
// and the virtual recorder's libwnaspi32.so include this one header, so the
// layout they exchange through dlopen'ed code is defined once.
//
// Differences from the Win32 header, all forced by the platform:
//  * pointer fields (buffer, completion, request to abort) have native width,
//    so on x86-64 the execute block's header is 72 bytes instead of 64;
//  * the completion "event handle" of SRB_EVENT_NOTIFY is a pointer to an
//    AspiEvent (below), a manual-reset event that works across threads.
// Blocks are byte-packed, as the Win32 header packs them.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace qvr::aspi {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;

// Sense bytes the published block has room for. A caller that asks for more
// (SRB_SenseLen) lays a larger area right behind the block; the library writes
// exactly SRB_SenseLen bytes there.
constexpr int SENSE_LEN = 14;

// Request command codes (SRB_Cmd).
constexpr BYTE SC_HA_INQUIRY = 0x00;
constexpr BYTE SC_GET_DEV_TYPE = 0x01;
constexpr BYTE SC_EXEC_SCSI_CMD = 0x02;
constexpr BYTE SC_ABORT_SRB = 0x03;
constexpr BYTE SC_RESET_DEV = 0x04;
constexpr BYTE SC_SET_HA_PARMS = 0x05;
constexpr BYTE SC_GET_DISK_INFO = 0x06;
constexpr BYTE SC_RESCAN_SCSI_BUS = 0x07;
constexpr BYTE SC_GETSET_TIMEOUTS = 0x08;

// Request flags (SRB_Flags).
constexpr BYTE SRB_POSTING = 0x01;
constexpr BYTE SRB_ENABLE_RESIDUAL_COUNT = 0x04;
constexpr BYTE SRB_DIR_IN = 0x08;
constexpr BYTE SRB_DIR_OUT = 0x10;
constexpr BYTE SRB_EVENT_NOTIFY = 0x40;

// Request status (SRB_Status) and entry-point results.
constexpr BYTE SS_PENDING = 0x00;
constexpr BYTE SS_COMP = 0x01;
constexpr BYTE SS_ABORTED = 0x02;
constexpr BYTE SS_ABORT_FAIL = 0x03;
constexpr BYTE SS_ERR = 0x04;
constexpr BYTE SS_INVALID_CMD = 0x80;
constexpr BYTE SS_INVALID_HA = 0x81;
constexpr BYTE SS_NO_DEVICE = 0x82;
constexpr BYTE SS_INVALID_SRB = 0xE0;
constexpr BYTE SS_BUFFER_ALIGN = 0xE1;
constexpr BYTE SS_ILLEGAL_MODE = 0xE2;
constexpr BYTE SS_NO_ASPI = 0xE3;
constexpr BYTE SS_FAILED_INIT = 0xE4;
constexpr BYTE SS_ASPI_IS_BUSY = 0xE5;
constexpr BYTE SS_BUFFER_TO_BIG = 0xE6;
constexpr BYTE SS_MISMATCHED_COMPONENTS = 0xE7;
constexpr BYTE SS_NO_ADAPTERS = 0xE8;
constexpr BYTE SS_INSUFFICIENT_RESOURCES = 0xE9;
constexpr BYTE SS_ASPI_IS_SHUTDOWN = 0xEA;
constexpr BYTE SS_BAD_INSTALL = 0xEB;

// Host adapter status (SRB_HaStat).
constexpr BYTE HASTAT_OK = 0x00;
constexpr BYTE HASTAT_TIMEOUT = 0x09;
constexpr BYTE HASTAT_COMMAND_TIMEOUT = 0x0B;
constexpr BYTE HASTAT_MESSAGE_REJECT = 0x0D;
constexpr BYTE HASTAT_BUS_RESET = 0x0E;
constexpr BYTE HASTAT_PARITY_ERROR = 0x0F;
constexpr BYTE HASTAT_REQUEST_SENSE_FAILED = 0x10;
constexpr BYTE HASTAT_SEL_TO = 0x11;
constexpr BYTE HASTAT_DO_DU = 0x12;
constexpr BYTE HASTAT_BUS_FREE = 0x13;
constexpr BYTE HASTAT_PHASE_ERR = 0x14;

// Target status (SRB_TargStat), the SCSI status byte.
constexpr BYTE STATUS_GOOD = 0x00;
constexpr BYTE STATUS_CHKCOND = 0x02;
constexpr BYTE STATUS_BUSY = 0x08;

// Device type of an optical drive (INQUIRY peripheral device type).
constexpr BYTE DTYPE_CDROM = 0x05;

#pragma pack(push, 1)

// Every block starts with this header.
struct SRB_Header {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
};

struct SRB_HAInquiry {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  BYTE HA_Count;
  BYTE HA_SCSI_ID;
  BYTE HA_ManagerId[16];
  BYTE HA_Identifier[16];
  BYTE HA_Unique[16];  // 0-1 buffer alignment mask, 3 maximum targets, 4-7 maximum transfer length
  WORD HA_Rsvd1;
};

struct SRB_GDEVBlock {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  BYTE SRB_Target;
  BYTE SRB_Lun;
  BYTE SRB_DeviceType;
  BYTE SRB_Rsvd1;
};

struct SRB_ExecSCSICmd {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  BYTE SRB_Target;
  BYTE SRB_Lun;
  WORD SRB_Rsvd1;
  DWORD SRB_BufLen;
  BYTE* SRB_BufPointer;
  BYTE SRB_SenseLen;
  BYTE SRB_CDBLen;
  BYTE SRB_HaStat;
  BYTE SRB_TargStat;
  void* SRB_PostProc;  // AspiEvent* when SRB_EVENT_NOTIFY is set
  BYTE SRB_Rsvd2[20];
  BYTE CDBByte[16];
  BYTE SenseArea[SENSE_LEN + 2];
};

struct SRB_Abort {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  void* SRB_ToAbort;
};

struct SRB_GetDiskInfo {
  BYTE SRB_Cmd;
  BYTE SRB_Status;
  BYTE SRB_HaId;
  BYTE SRB_Flags;
  DWORD SRB_Hdr_Rsvd;
  BYTE SRB_Target;
  BYTE SRB_Lun;
  BYTE SRB_DriveFlags;
  BYTE SRB_Int13HDriveInfo;
  BYTE SRB_Heads;
  BYTE SRB_Sectors;
  BYTE SRB_Rsvd1[10];
};

#pragma pack(pop)

// Offset of the sense area in an execute block; callers that need more sense
// bytes than SENSE_LEN + 2 size their block from here.
constexpr std::size_t kExecHeaderSize = offsetof(SRB_ExecSCSICmd, SenseArea);

// The completion event of a request sent with SRB_EVENT_NOTIFY: manual reset,
// like the Win32 event it stands for. The library sets it from its worker
// thread once SRB_Status is final; the caller waits on it.
class AspiEvent {
 public:
  // Notifies under the lock: a waiter that sees the event set may destroy it
  // at once, so Set must not touch it after releasing the mutex.
  void Set() {
    std::lock_guard lock(mutex_);
    signalled_ = true;
    cv_.notify_all();
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
  }
  // True when the event was set within the time given.
  bool Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return signalled_; });
  }
  bool IsSet() {
    std::lock_guard lock(mutex_);
    return signalled_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

// The library's two entry points. GetASPI32SupportInfo answers status in bits
// 8-15 and the host adapter count in bits 0-7.
using GetASPI32SupportInfoFn = DWORD (*)();
using SendASPI32CommandFn = DWORD (*)(void* request);

constexpr const char* kDefaultLibraryName = "libwnaspi32.so";
constexpr const char* kSupportInfoSymbol = "GetASPI32SupportInfo";
constexpr const char* kSendCommandSymbol = "SendASPI32Command";

}  // namespace qvr::aspi
