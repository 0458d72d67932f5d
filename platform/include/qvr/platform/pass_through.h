#pragma once
// SCSI pass-through to an optical drive node (/dev/srN) with the SG_IO ioctl.
//
// A PassThroughDevice knows nothing of MMC: it takes a CDB, a data direction
// and buffer, a sense buffer and a time-out, delivers them and tells how the
// command ended. The three system calls it makes sit behind SystemCalls, so
// tests stand in for the kernel and check what reaches it.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace qvr::platform {

// The system calls of the pass-through and of drive discovery.
struct SystemCalls {
  std::function<int(const char* path, int flags)> open;
  std::function<int(int fd)> close;
  std::function<int(int fd, unsigned long request, void* arg)> ioctl;
};

// The calls of the running kernel.
const SystemCalls& RealSystemCalls();

enum class Direction { kNone, kIn, kOut };

struct PassThroughCommand {
  const std::uint8_t* cdb = nullptr;
  std::uint8_t cdb_length = 0;  // 6, 10, 12 or 16
  Direction direction = Direction::kNone;
  std::uint8_t* data = nullptr;
  std::uint32_t data_length = 0;
  std::uint8_t* sense = nullptr;  // room for sense_capacity bytes
  std::uint8_t sense_capacity = 0;
  std::uint32_t timeout_ms = 120000;
};

enum class Outcome {
  kGood,            // delivered, SCSI status GOOD
  kCheckCondition,  // the drive answered CHECK CONDITION; sense holds why
  kTargetStatus,    // another SCSI status: BUSY, RESERVATION CONFLICT, TASK SET FULL
  kTimeout,         // the host or the driver gave up waiting
  kHostError,       // the host adapter or driver failed the command (host_status, driver_status)
  kOpenFailed,      // the node could not be opened (os_error)
  kIoctlFailed,     // the kernel refused the request itself (os_error)
};

struct PassThroughResult {
  Outcome outcome = Outcome::kIoctlFailed;
  std::uint8_t scsi_status = 0;     // SAM status byte
  std::uint16_t host_status = 0;    // Linux DID_* code
  std::uint16_t driver_status = 0;  // Linux DRIVER_* code
  int os_error = 0;                 // errno for kOpenFailed and kIoctlFailed
  std::uint8_t sense_length = 0;    // sense bytes written
  std::int32_t residual = 0;        // data bytes not transferred
  bool ok() const { return outcome == Outcome::kGood; }
};

// Linux host and driver codes the result is classified by.
constexpr std::uint16_t kHostOk = 0x00;
constexpr std::uint16_t kHostNoConnect = 0x01;
constexpr std::uint16_t kHostBusBusy = 0x02;
constexpr std::uint16_t kHostTimeOut = 0x03;
constexpr std::uint16_t kHostBadTarget = 0x04;
constexpr std::uint16_t kHostAbort = 0x05;
constexpr std::uint16_t kHostParity = 0x06;
constexpr std::uint16_t kHostError = 0x07;
constexpr std::uint16_t kHostReset = 0x08;
constexpr std::uint16_t kDriverTimeout = 0x06;  // low nibble of driver_status
constexpr std::uint16_t kDriverSense = 0x08;

// Sorts the raw SG_IO answer into an Outcome (also used by tests).
Outcome ClassifySgAnswer(std::uint8_t scsi_status, std::uint16_t host_status,
                         std::uint16_t driver_status, std::uint8_t sense_length);

// One drive node. Commands may come from several threads at once; the node is
// opened on demand and, while close-after-command is on (the default), closed
// again as soon as no command is using it.
class PassThroughDevice {
 public:
  explicit PassThroughDevice(std::string node, SystemCalls calls = RealSystemCalls());
  ~PassThroughDevice();
  PassThroughDevice(const PassThroughDevice&) = delete;
  PassThroughDevice& operator=(const PassThroughDevice&) = delete;

  const std::string& node() const { return node_; }

  // Opens read/write, falling back to read-only (both non-blocking, so a drive
  // without a disc opens). Returns 0 or the errno of the read-only attempt.
  int Open();
  void Close();
  bool IsOpen() const;

  void SetCloseAfterCommand(bool on);
  bool CloseAfterCommand() const;

  PassThroughResult Execute(const PassThroughCommand& command);

 private:
  int OpenLocked();
  void CloseLocked();

  std::string node_;
  SystemCalls calls_;
  mutable std::mutex mutex_;
  int fd_ = -1;
  int users_ = 0;  // commands in flight on fd_
  bool close_after_command_ = true;
  bool close_pending_ = false;  // Close() came while a command was in flight
};

// Opens a node read/write, falling back to read-only, both non-blocking.
// Returns the descriptor, or -1 with *error set to the errno of the last try.
int OpenDriveNode(const SystemCalls& calls, const std::string& node, int* error);

}  // namespace qvr::platform
