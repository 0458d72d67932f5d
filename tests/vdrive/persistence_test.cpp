// Several processes use one disc in turn: each sees what the last one wrote.

#include <sys/wait.h>
#include <unistd.h>

#include "vdrive_fixture.h"

namespace qvr::vdrive::test {
namespace {

using Persistence = VdriveTest;

// Runs body in a child process with its own drive set on the same folder;
// true when the child reports success.
template <typename Body>
bool InChildProcess(const std::string& folder, Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    DriveSet set(folder);
    _exit(body(*set.At(0)) ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Good(Drive& d, std::vector<std::uint8_t> cdb, std::vector<std::uint8_t> data = {}) {
  return d.Execute(cdb, data.empty() ? nullptr : data.data(), data.size(),
                   data.empty() ? DataDirection::kNone : DataDirection::kOut)
      .Good();
}

TEST_F(Persistence, TwoProcessesUseOneDiscInTurn) {
  Insert("dvd+r");
  ASSERT_TRUE(DiscInfo().Good());  // this process has the drive's state in hand
  std::string folder = folder_ + "/vdrive";
  ASSERT_TRUE(InChildProcess(folder, [](Drive& d) {
    std::string error;
    if (!d.Insert(MediaKind::kCdR, "", &error)) return false;
    std::vector<std::uint8_t> page(60, 0);
    std::uint8_t sensed[64];
    if (!d.Execute(Cdb({0x5A, 0, 0x05, 0, 0, 0, 0, 0, 60, 0}), sensed, 60, DataDirection::kIn).Good()) return false;
    std::copy(sensed + 8, sensed + 60, page.begin() + 8);
    page[8 + 3] = 0xC4;  // next session allowed
    return Good(d, Cdb({0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}), page) &&
           Good(d, Cdb({0x2A, 0, 0, 0, 0, 0, 0, 0, 32, 0}), VdriveTest::Pattern(32, 5)) &&
           Good(d, Cdb({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0}));
  }));
  EXPECT_EQ(In(Cdb({0x46, 2, 0, 0, 0, 0, 0, 0, 8, 0}), 8).Be16At(6), 0x0009) << "the other process's disc";
  EXPECT_EQ(DiscInfo().data[4], 2);
  Reply back = Read(0, 32);
  ASSERT_TRUE(back.Good());
  EXPECT_EQ(back.data, Pattern(32, 5));
  ASSERT_TRUE(Write(11434, 16, Pattern(16, 6)).Good()) << "32 + 2 run-out + 11400 behind session 1";
  ASSERT_TRUE(InChildProcess(folder, [](Drive& d) {
    std::vector<std::uint8_t> block(16 * 2048);
    bool read = d.Execute(Cdb({0x28, 0, 0, 0, 0x2C, 0xAA, 0, 0, 16, 0}), block.data(), block.size(),
                          DataDirection::kIn)
                    .Good();
    return read && block == VdriveTest::Pattern(16, 6);
  }));
}

}  // namespace
}  // namespace qvr::vdrive::test
