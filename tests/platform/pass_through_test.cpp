#include <gtest/gtest.h>

#include <thread>

#include "fake_kernel.h"
#include "qvr/platform/pass_through.h"

using namespace qvr::platform;

namespace {

PassThroughResult Send(PassThroughDevice& device, Direction direction, std::uint32_t length,
                      std::uint8_t* data, std::uint8_t* sense = nullptr, std::uint8_t sense_capacity = 0) {
  static const std::uint8_t cdb[10] = {0x2A, 0, 0, 0, 0, 0x10, 0, 0, 1, 0};
  PassThroughCommand c;
  c.cdb = cdb;
  c.cdb_length = 10;
  c.direction = direction;
  c.data = data;
  c.data_length = length;
  c.sense = sense;
  c.sense_capacity = sense_capacity;
  c.timeout_ms = 7000;
  return device.Execute(c);
}

}  // namespace

TEST(PassThrough, DirectionBufferCdbAndTimeoutReachTheKernel) {
  struct Case {
    Direction direction;
    std::uint32_t length;
    int expected_direction;
    unsigned expected_length;
  } cases[] = {
      {Direction::kIn, 2048, SG_DXFER_FROM_DEV, 2048},
      {Direction::kOut, 2352, SG_DXFER_TO_DEV, 2352},
      {Direction::kNone, 0, SG_DXFER_NONE, 0},
      {Direction::kIn, 0, SG_DXFER_NONE, 0},  // nothing to move: no direction
  };
  for (const Case& c : cases) {
    FakeKernel kernel;
    PassThroughDevice device("/dev/sr0", kernel.Calls());
    std::vector<std::uint8_t> buffer(4096);
    EXPECT_TRUE(Send(device, c.direction, c.length, buffer.data()).ok());
    ASSERT_EQ(kernel.sg_calls.size(), 1u);
    const sg_io_hdr_t& hdr = kernel.sg_calls[0];
    EXPECT_EQ(hdr.interface_id, 'S');
    EXPECT_EQ(hdr.dxfer_direction, c.expected_direction);
    EXPECT_EQ(hdr.dxfer_len, c.expected_length);
    EXPECT_EQ(hdr.timeout, 7000u);
    EXPECT_EQ(kernel.cdbs[0], (std::vector<std::uint8_t>{0x2A, 0, 0, 0, 0, 0x10, 0, 0, 1, 0}));
  }
}

TEST(PassThrough, DataFlowsBothWays) {
  FakeKernel kernel;
  kernel.answer = [](const auto&) {
    FakeKernel::Answer a;
    a.data_in = {1, 2, 3, 4};
    return a;
  };
  PassThroughDevice device("/dev/sr0", kernel.Calls());
  std::vector<std::uint8_t> in(8, 0xEE);
  PassThroughResult r = Send(device, Direction::kIn, 8, in.data());
  EXPECT_EQ(in, (std::vector<std::uint8_t>{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(r.residual, 4);
  std::vector<std::uint8_t> out = {9, 8, 7};
  Send(device, Direction::kOut, 3, out.data());
  ASSERT_EQ(kernel.data_out.size(), 1u);
  EXPECT_EQ(kernel.data_out[0], out);
}

TEST(PassThrough, SenseIsCopiedUpToTheCallersRoom) {
  FakeKernel kernel;
  kernel.answer = [](const auto&) {
    FakeKernel::Answer a;
    a.status = 0x02;
    a.driver_status = kDriverSense;
    a.sense.assign(32, 0);
    a.sense[0] = 0x70;
    a.sense[2] = 0x02;
    a.sense[12] = 0x04;
    a.sense[13] = 0x08;
    a.sense[31] = 0x99;
    return a;
  };
  PassThroughDevice device("/dev/sr0", kernel.Calls());
  std::uint8_t sense[32] = {};
  std::uint8_t data[16];
  PassThroughResult r = Send(device, Direction::kOut, 16, data, sense, 24);
  EXPECT_EQ(r.outcome, Outcome::kCheckCondition);
  EXPECT_EQ(r.sense_length, 24);
  EXPECT_EQ(kernel.sg_calls[0].mx_sb_len, 24);
  EXPECT_EQ(sense[12], 0x04);
  EXPECT_EQ(sense[13], 0x08);
  EXPECT_EQ(sense[31], 0x00) << "nothing written beyond the room given";
}

TEST(PassThrough, AnswersAreSortedIntoOutcomes) {
  struct Case {
    std::uint8_t status;
    std::uint16_t host, driver;
    std::uint8_t sense_length;
    Outcome expected;
  } cases[] = {
      {0x00, 0, 0, 0, Outcome::kGood},
      {0x02, 0, kDriverSense, 18, Outcome::kCheckCondition},
      {0x00, 0, kDriverSense, 18, Outcome::kCheckCondition},  // deferred error with GOOD status
      {0x08, 0, 0, 0, Outcome::kTargetStatus},                // BUSY
      {0x18, 0, 0, 0, Outcome::kTargetStatus},                // RESERVATION CONFLICT
      {0x00, kHostTimeOut, 0, 0, Outcome::kTimeout},
      {0x00, 0, kDriverTimeout, 0, Outcome::kTimeout},
      {0x00, kHostNoConnect, 0, 0, Outcome::kHostError},
      {0x02, kHostReset, 0, 0, Outcome::kHostError},
      {0x00, 0, 0x04, 0, Outcome::kHostError},  // DRIVER_ERROR
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifySgAnswer(c.status, c.host, c.driver, c.sense_length), c.expected)
        << "status " << int(c.status) << " host " << c.host << " driver " << c.driver;
  }
}

TEST(PassThrough, OpensReadWriteThenReadOnlyAndReportsTheCause) {
  FakeKernel kernel;
  kernel.open_errno_rw["/dev/sr0"] = EACCES;
  PassThroughDevice device("/dev/sr0", kernel.Calls());
  std::uint8_t data[4];
  EXPECT_TRUE(Send(device, Direction::kIn, 4, data).ok());
  EXPECT_EQ(kernel.opens, (std::vector<std::string>{"/dev/sr0 rw", "/dev/sr0 ro"}));

  kernel.open_errno_ro["/dev/sr0"] = EACCES;
  PassThroughResult r = Send(device, Direction::kIn, 4, data);
  EXPECT_EQ(r.outcome, Outcome::kOpenFailed);
  EXPECT_EQ(r.os_error, EACCES);
  EXPECT_EQ(kernel.sg_calls.size(), 1u) << "nothing sent without a node";
}

TEST(PassThrough, IoctlFailureIsNotMistakenForAnAnswer) {
  FakeKernel kernel;
  kernel.answer = [](const auto&) {
    FakeKernel::Answer a;
    a.ioctl_errno = EPERM;
    return a;
  };
  PassThroughDevice device("/dev/sr0", kernel.Calls());
  PassThroughResult r = Send(device, Direction::kNone, 0, nullptr);
  EXPECT_EQ(r.outcome, Outcome::kIoctlFailed);
  EXPECT_EQ(r.os_error, EPERM);
}

TEST(PassThrough, CloseAfterCommandDecidesWhetherTheNodeStaysOpen) {
  FakeKernel kernel;
  PassThroughDevice device("/dev/sr0", kernel.Calls());
  for (int i = 0; i < 3; ++i) Send(device, Direction::kNone, 0, nullptr);
  EXPECT_EQ(kernel.opens.size(), 3u);
  EXPECT_EQ(kernel.closes, 3);
  EXPECT_FALSE(device.IsOpen());

  device.SetCloseAfterCommand(false);
  for (int i = 0; i < 3; ++i) Send(device, Direction::kNone, 0, nullptr);
  EXPECT_EQ(kernel.opens.size(), 4u) << "one open serves the whole stream";
  EXPECT_TRUE(device.IsOpen());

  device.SetCloseAfterCommand(true);  // switching back closes the idle node
  EXPECT_FALSE(device.IsOpen());
  EXPECT_TRUE(kernel.open_fds.empty());
}

TEST(PassThrough, ACommandInFlightKeepsItsNodeWhileAnotherFinishes) {
  FakeKernel kernel;
  std::mutex gate_mutex;
  std::condition_variable gate;
  bool slow_inside = false, release = false;
  kernel.answer = [&](const std::vector<std::uint8_t>& cdb) {
    if (cdb[0] == 0x35) {  // the slow command waits until the quick one is done
      std::unique_lock lock(gate_mutex);
      slow_inside = true;
      gate.notify_all();
      gate.wait(lock, [&] { return release; });
    }
    return FakeKernel::Answer{};
  };
  PassThroughDevice device("/dev/sr0", kernel.Calls());
  std::thread slow([&] {
    const std::uint8_t cdb[10] = {0x35};
    PassThroughCommand c;
    c.cdb = cdb;
    c.cdb_length = 10;
    EXPECT_TRUE(device.Execute(c).ok());
  });
  {
    std::unique_lock lock(gate_mutex);
    gate.wait(lock, [&] { return slow_inside; });
  }
  EXPECT_TRUE(Send(device, Direction::kNone, 0, nullptr).ok());
  EXPECT_TRUE(device.IsOpen()) << "the slow command still uses the node";
  {
    std::lock_guard lock(gate_mutex);
    release = true;
  }
  gate.notify_all();
  slow.join();
  EXPECT_FALSE(device.IsOpen());
  EXPECT_TRUE(kernel.open_fds.empty());
}
