#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <grp.h>
#include <scsi/scsi.h>
#include <unistd.h>

#include "fake_kernel.h"
#include "qvr/platform/optical_drives.h"

namespace fs = std::filesystem;
using namespace qvr::platform;

namespace {

struct FakeMachine : ::testing::Test {
  fs::path root = fs::temp_directory_path() / ("qvr-drives-" + std::to_string(getpid()));
  fs::path dev = root / "dev";
  fs::path sys = root / "sys";
  FakeKernel kernel;

  void SetUp() override {
    fs::remove_all(root);
    fs::create_directories(dev);
    fs::create_directories(sys);
  }
  void TearDown() override { fs::remove_all(root); }

  void Node(const std::string& name) { std::ofstream(dev / name).put('x'); }
  void SysfsLink(const std::string& name, const std::string& address) {
    fs::create_directories(sys / "devices" / address);
    fs::create_directories(sys / name);
    fs::create_directory_symlink(sys / "devices" / address, sys / name / "device");
  }
  DiscoverySources Sources() { return {dev.string(), sys.string(), kernel.Calls()}; }
};

}  // namespace

TEST(OpticalDrives, NamesAndLetters) {
  struct Case {
    const char* name;
    int number;
  } names[] = {{"sr0", 0}, {"sr1", 1}, {"sr22", 22}, {"sr", -1}, {"sda", -1}, {"sr01", -1}, {"sr0p1", -1}, {"scd0", -1}};
  for (const Case& c : names) EXPECT_EQ(OpticalNodeNumber(c.name), c.number) << c.name;
  EXPECT_EQ(DriveLetterFor(0), 'D');
  EXPECT_EQ(DriveLetterFor(1), 'E');
  EXPECT_EQ(DriveLetterFor(22), 'Z');
  EXPECT_EQ(DriveLetterFor(23), 0);
}

TEST(OpticalDrives, IdLunPacking) {
  EXPECT_EQ(DecodeIdLun(0x03010502), (ScsiAddress{3, 1, 2, 5}));
}

TEST_F(FakeMachine, DrivesAreListedInOrderWithAddressesAndProblems) {
  for (const char* n : {"sr10", "sr0", "sda", "sr1", "tty0"}) Node(n);
  SysfsLink("sr1", "4:0:1:0");
  SysfsLink("sr10", "not-an-address");
  kernel.other_ioctl = [](int fd, unsigned long request, void* arg) {
    if (request == SCSI_IOCTL_GET_IDLUN && fd == 100) {  // the first node opened answers
      static_cast<std::uint32_t*>(arg)[0] = 0x02000300;  // host 2, target 0, LUN 3
      return 0;
    }
    errno = EINVAL;
    return -1;
  };
  std::string sr1 = (dev / "sr1").string();
  kernel.open_errno_rw[sr1] = EACCES;
  kernel.open_errno_ro[sr1] = EACCES;
  if (group* cdrom = getgrnam("cdrom")) {
    ASSERT_EQ(chown(sr1.c_str(), 0, cdrom->gr_gid), 0);
  }

  std::vector<OpticalDrive> drives = FindOpticalDrives(Sources());
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[0].node, (dev / "sr0").string());
  EXPECT_EQ(drives[0].letter, 'D');
  EXPECT_EQ(drives[0].address, (ScsiAddress{2, 0, 0, 3}));
  EXPECT_TRUE(drives[0].usable());

  EXPECT_EQ(drives[1].letter, 'E');
  EXPECT_FALSE(drives[1].usable());
  EXPECT_EQ(drives[1].open_error, EACCES);
  EXPECT_EQ(drives[1].address, (ScsiAddress{4, 0, 1, 0})) << "sysfs gives the address of a closed node";
  EXPECT_NE(drives[1].problem.find(sr1), std::string::npos);
  EXPECT_NE(drives[1].problem.find("Permission denied"), std::string::npos);
  if (getgrnam("cdrom")) {
    EXPECT_NE(drives[1].problem.find("join the group \"cdrom\""), std::string::npos);
  }

  EXPECT_EQ(drives[2].number, 10);
  EXPECT_EQ(drives[2].letter, 'N');
  EXPECT_FALSE(drives[2].address.has_value()) << "neither the ioctl nor sysfs knew it";
  EXPECT_TRUE(kernel.open_fds.empty()) << "discovery leaves no node open";
}

TEST_F(FakeMachine, NoDevFolderMeansNoDrives) {
  fs::remove_all(dev);
  EXPECT_TRUE(FindOpticalDrives(Sources()).empty());
}

TEST(OpticalDrives, ProblemTextsTellWhatToDo) {
  EXPECT_EQ(OpenProblemText("/dev/sr0", EACCES, "cdrom"),
            "cannot open /dev/sr0: Permission denied; join the group \"cdrom\" "
            "(sudo usermod -aG cdrom $USER) and log in again");
  EXPECT_NE(OpenProblemText("/dev/sr0", EACCES, "root").find("administrator"), std::string::npos);
  EXPECT_NE(OpenProblemText("/dev/sr0", EBUSY, "cdrom").find("another program"), std::string::npos);
}
