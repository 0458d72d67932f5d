#include "qvr/platform/optical_drives.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <scsi/scsi.h>
#include <sys/stat.h>
#include <system_error>

namespace qvr::platform {

namespace fs = std::filesystem;

char DriveLetterFor(int number) {
  if (number < 0 || number > 'Z' - 'D') return 0;
  return static_cast<char>('D' + number);
}

int OpticalNodeNumber(const std::string& name) {
  if (name.size() < 3 || name.compare(0, 2, "sr") != 0 || name.size() > 6) return -1;
  int n = 0;
  for (std::size_t i = 2; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
  }
  if (name.size() > 3 && name[2] == '0') return -1;  // "sr01" is not a kernel name
  return n;
}

ScsiAddress DecodeIdLun(std::uint32_t four_in_one) {
  ScsiAddress a;
  a.target = four_in_one & 0xFF;
  a.lun = (four_in_one >> 8) & 0xFF;
  a.channel = (four_in_one >> 16) & 0xFF;
  a.host = (four_in_one >> 24) & 0xFF;
  return a;
}

std::optional<ScsiAddress> AddressFromSysfs(const std::string& sysfs_block, const std::string& name) {
  std::error_code ec;
  fs::path link = fs::read_symlink(fs::path(sysfs_block) / name / "device", ec);
  if (ec) return std::nullopt;
  std::string text = link.filename().string();
  unsigned h, c, t, l;
  char tail;
  if (std::sscanf(text.c_str(), "%u:%u:%u:%u%c", &h, &c, &t, &l, &tail) != 4) return std::nullopt;
  if (h > 255 || c > 255 || t > 255 || l > 255) return std::nullopt;
  return ScsiAddress{static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(c),
                     static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(l)};
}

static std::string GroupOf(const std::string& node) {
  struct stat st;
  if (::stat(node.c_str(), &st) != 0) return {};
  group grp;
  group* found = nullptr;
  char buffer[4096];
  if (getgrgid_r(st.st_gid, &grp, buffer, sizeof buffer, &found) == 0 && found) return found->gr_name;
  return std::to_string(st.st_gid);
}

std::string OpenProblemText(const std::string& node, int error, const std::string& group) {
  std::string text = "cannot open " + node + ": " + std::strerror(error);
  if (error == EACCES || error == EPERM) {
    if (!group.empty() && group != "root") {
      text += "; join the group \"" + group + "\" (sudo usermod -aG " + group +
              " $USER) and log in again";
    } else {
      text += "; ask the administrator for read and write access to " + node;
    }
  } else if (error == EBUSY) {
    text += "; another program holds the drive exclusively";
  }
  return text;
}

std::vector<OpticalDrive> FindOpticalDrives(const DiscoverySources& sources) {
  std::vector<OpticalDrive> drives;
  std::error_code ec;
  for (fs::directory_iterator it(sources.dev_folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    int number = OpticalNodeNumber(name);
    if (number < 0) continue;
    OpticalDrive drive;
    drive.node = it->path().string();
    drive.number = number;
    drive.letter = DriveLetterFor(number);
    drives.push_back(std::move(drive));
  }
  std::sort(drives.begin(), drives.end(),
            [](const OpticalDrive& a, const OpticalDrive& b) { return a.number < b.number; });

  for (OpticalDrive& drive : drives) {
    std::string name = fs::path(drive.node).filename().string();
    int error = 0;
    int fd = OpenDriveNode(sources.calls, drive.node, &error);
    if (fd >= 0) {
      struct {
        std::uint32_t four_in_one;
        std::uint32_t host_unique_id;
      } idlun{};
      if (sources.calls.ioctl(fd, SCSI_IOCTL_GET_IDLUN, &idlun) == 0) drive.address = DecodeIdLun(idlun.four_in_one);
      sources.calls.close(fd);
    } else {
      drive.open_error = error;
      drive.problem = OpenProblemText(drive.node, error, GroupOf(drive.node));
    }
    if (!drive.address) drive.address = AddressFromSysfs(sources.sysfs_block, name);
  }
  return drives;
}

}  // namespace qvr::platform
