#include "qvr/platform/pass_through.h"

#include <cerrno>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qvr::platform {

const SystemCalls& RealSystemCalls() {
  static const SystemCalls calls{
      [](const char* path, int flags) { return ::open(path, flags | O_CLOEXEC); },
      [](int fd) { return ::close(fd); },
      [](int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); },
  };
  return calls;
}

int OpenDriveNode(const SystemCalls& calls, const std::string& node, int* error) {
  errno = 0;
  int fd = calls.open(node.c_str(), O_RDWR | O_NONBLOCK);
  if (fd >= 0) return fd;
  errno = 0;
  fd = calls.open(node.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0 && error) *error = errno ? errno : EIO;
  return fd;
}

Outcome ClassifySgAnswer(std::uint8_t scsi_status, std::uint16_t host_status,
                         std::uint16_t driver_status, std::uint8_t sense_length) {
  constexpr std::uint8_t kCheckCondition = 0x02;
  if (host_status == kHostTimeOut || (driver_status & 0x0F) == kDriverTimeout) return Outcome::kTimeout;
  if (host_status != kHostOk) return Outcome::kHostError;
  if (scsi_status == kCheckCondition) return Outcome::kCheckCondition;
  if (scsi_status != 0) return Outcome::kTargetStatus;
  // Some drivers deliver sense with a GOOD status byte (deferred errors).
  if ((driver_status & kDriverSense) && sense_length > 0) return Outcome::kCheckCondition;
  if ((driver_status & 0x0F) != 0) return Outcome::kHostError;
  return Outcome::kGood;
}

PassThroughDevice::PassThroughDevice(std::string node, SystemCalls calls)
    : node_(std::move(node)), calls_(std::move(calls)) {}

PassThroughDevice::~PassThroughDevice() {
  std::lock_guard lock(mutex_);
  CloseLocked();
}

int PassThroughDevice::OpenLocked() {
  if (fd_ >= 0) return 0;
  int error = 0;
  fd_ = OpenDriveNode(calls_, node_, &error);
  return fd_ >= 0 ? 0 : error;
}

void PassThroughDevice::CloseLocked() {
  if (fd_ >= 0) calls_.close(fd_);
  fd_ = -1;
}

int PassThroughDevice::Open() {
  std::lock_guard lock(mutex_);
  return OpenLocked();
}

void PassThroughDevice::Close() {
  std::lock_guard lock(mutex_);
  // A command in flight keeps the node; the last one out closes it.
  if (users_ == 0) CloseLocked();
  else close_pending_ = true;
}

bool PassThroughDevice::IsOpen() const {
  std::lock_guard lock(mutex_);
  return fd_ >= 0;
}

void PassThroughDevice::SetCloseAfterCommand(bool on) {
  std::lock_guard lock(mutex_);
  close_after_command_ = on;
  if (on && users_ == 0) CloseLocked();
}

bool PassThroughDevice::CloseAfterCommand() const {
  std::lock_guard lock(mutex_);
  return close_after_command_;
}

PassThroughResult PassThroughDevice::Execute(const PassThroughCommand& command) {
  PassThroughResult result;
  int fd;
  {
    std::lock_guard lock(mutex_);
    if (int error = OpenLocked(); error != 0) {
      result.outcome = Outcome::kOpenFailed;
      result.os_error = error;
      return result;
    }
    fd = fd_;
    ++users_;
  }

  sg_io_hdr_t hdr{};
  hdr.interface_id = 'S';
  switch (command.direction) {
    case Direction::kIn: hdr.dxfer_direction = SG_DXFER_FROM_DEV; break;
    case Direction::kOut: hdr.dxfer_direction = SG_DXFER_TO_DEV; break;
    case Direction::kNone: hdr.dxfer_direction = SG_DXFER_NONE; break;
  }
  if (command.data_length == 0 || command.data == nullptr) hdr.dxfer_direction = SG_DXFER_NONE;
  hdr.cmd_len = command.cdb_length;
  hdr.cmdp = const_cast<unsigned char*>(command.cdb);
  hdr.dxferp = hdr.dxfer_direction == SG_DXFER_NONE ? nullptr : command.data;
  hdr.dxfer_len = hdr.dxfer_direction == SG_DXFER_NONE ? 0 : command.data_length;
  hdr.sbp = command.sense;
  hdr.mx_sb_len = command.sense ? command.sense_capacity : 0;
  hdr.timeout = command.timeout_ms;

  errno = 0;
  int rc = calls_.ioctl(fd, SG_IO, &hdr);
  int error = errno;

  {
    std::lock_guard lock(mutex_);
    --users_;
    if (users_ == 0 && (close_after_command_ || close_pending_)) {
      CloseLocked();
      close_pending_ = false;
    }
  }

  if (rc < 0) {
    result.outcome = Outcome::kIoctlFailed;
    result.os_error = error ? error : EIO;
    return result;
  }
  result.scsi_status = hdr.status;
  result.host_status = hdr.host_status;
  result.driver_status = hdr.driver_status;
  result.sense_length = hdr.sb_len_wr;
  result.residual = hdr.resid;
  result.outcome = ClassifySgAnswer(hdr.status, hdr.host_status, hdr.driver_status, hdr.sb_len_wr);
  return result;
}

}  // namespace qvr::platform
