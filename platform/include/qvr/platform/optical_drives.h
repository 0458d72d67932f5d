#pragma once
// Finding the optical drives of the machine: every /dev/srN node, its drive
// letter (D for sr0, E for sr1, ...), its SCSI address and whether this user
// may open it. A node that exists but cannot be opened is still listed, with
// the cause and, for a permission problem, the group to join.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "qvr/platform/pass_through.h"

namespace qvr::platform {

struct ScsiAddress {
  std::uint8_t host = 0;
  std::uint8_t channel = 0;
  std::uint8_t target = 0;
  std::uint8_t lun = 0;
  bool operator==(const ScsiAddress&) const = default;
};

struct OpticalDrive {
  std::string node;  // "/dev/sr0"
  int number = 0;    // N of srN
  char letter = 0;   // 'D' + N; 0 when N is beyond 'Z'
  std::optional<ScsiAddress> address;
  int open_error = 0;   // errno of the failed open; 0 when the node opened
  std::string problem;  // why the drive cannot be used; empty when usable
  bool usable() const { return open_error == 0; }
};

// Where discovery looks; tests point it at a folder of their own.
struct DiscoverySources {
  std::string dev_folder = "/dev";
  std::string sysfs_block = "/sys/class/block";
  SystemCalls calls = RealSystemCalls();
};

// The drives in order of N.
std::vector<OpticalDrive> FindOpticalDrives(const DiscoverySources& sources = {});

// 'D' + number, or 0 when that would pass 'Z'.
char DriveLetterFor(int number);

// N of a name "srN", or -1 when the name is not of that form.
int OpticalNodeNumber(const std::string& name);

// The address "H:C:T:L" that sysfs links a block device to.
std::optional<ScsiAddress> AddressFromSysfs(const std::string& sysfs_block, const std::string& name);

// The address packed by SCSI_IOCTL_GET_IDLUN: target, LUN, channel, host from low to high byte.
ScsiAddress DecodeIdLun(std::uint32_t four_in_one);

// The text shown for a node that cannot be opened: the cause and what to do.
std::string OpenProblemText(const std::string& node, int error, const std::string& group);

}  // namespace qvr::platform
