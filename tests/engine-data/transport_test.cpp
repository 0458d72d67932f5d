// The transport and the drive model against a stand-in for the kernel: what
// SG_IO receives, how its answers map onto the request, discovery of the
// /dev/srN nodes, the command log, and drive-model answers from scripted
// replies.

#include <gtest/gtest.h>

#include <grp.h>
#include <scsi/scsi.h>
#include <unistd.h>

#include <map>

#include "fake_kernel.h"
#include "qvr/data/drive_burn.h"
#include "qvr/data/drive_model.h"
#include "qvr/data/media_type.h"
#include "qvr/data/mmc_commands.h"
#include "qvr/data/scsi_device.h"
#include "qvr/data/write_parameters.h"
#include "test_support.h"

namespace qvr::data::test {
namespace {

std::vector<uint8_t> SenseBytes(uint8_t key, uint8_t asc, uint8_t ascq) {
  std::vector<uint8_t> s(18, 0);
  s[0] = 0x70;
  s[2] = key;
  s[7] = 10;
  s[12] = asc;
  s[13] = ascq;
  return s;
}

FakeKernel::Answer Check(uint8_t key, uint8_t asc, uint8_t ascq) {
  FakeKernel::Answer a;
  a.status = 2;
  a.driver_status = 0x08;
  a.sense = SenseBytes(key, asc, ascq);
  return a;
}

class Transport : public ::testing::Test {
 protected:
  void SetUp() override {
    d.Calls = kernel.Calls();
    d.DevFolder = dev.path().string();
    d.SysfsBlock = dev / "no-sysfs";
    kernel.other_ioctl = [](int, unsigned long request, void* arg) {
      if (request != SCSI_IOCTL_GET_IDLUN) return errno = ENOTTY, -1;
      static_cast<uint32_t*>(arg)[0] = 0x01000002;  // host 1, channel 0, LUN 0, target 2
      return 0;
    };
    kernel.answer = [this](const std::vector<uint8_t>& cdb) {
      if (auto it = script.find(cdb[0]); it != script.end()) return it->second(cdb);
      if (cdb[0] == 0x12) {
        FakeKernel::Answer a;
        a.data_in.assign(64, 0);
        a.data_in[0] = 5;
        const std::string id = "VENDOR  PRODUCT NAME    1.23";
        std::copy(id.begin(), id.end(), a.data_in.begin() + 8);
        return a;
      }
      return FakeKernel::Answer{};
    };
  }

  // One drive, sr0, found and selected.
  void OneDrive() {
    WriteFile(dev / "sr0", "");
    ASSERT_TRUE(InitializeDevices(d, false, "/nonexistent/libwnaspi32.so", ""));
    ASSERT_EQ(d.DeviceCount, 1);
    ASSERT_TRUE(SelectDevice(d, 0));
    kernel.cdbs.clear();
    kernel.sg_calls.clear();
  }

  TempDir dev;
  FakeKernel kernel;
  TSCSIDevice d;
  std::map<uint8_t, std::function<FakeKernel::Answer(const std::vector<uint8_t>&)>> script;
};

TEST_F(Transport, CommandWithoutTransportOrDriveNeverReachesTheKernel) {
  const uint8_t cdb[6] = {0x00};
  TSCSIRequest r = MakeRequest(cdb, 6, DataDirection::None, nullptr, 0);
  EXPECT_EQ(SendCommand(d, r), kRequestError);
  OneDrive();
  SelectDevice(d, 5);  // no such slot: nothing selected
  EXPECT_EQ(SendCommand(d, r), kRequestError);
  EXPECT_TRUE(kernel.cdbs.empty());
}

TEST_F(Transport, DiscoveryListsUsableNodesAndExplainsTheOthers) {
  WriteFile(dev / "sr0", "");
  WriteFile(dev / "sr1", "");
  WriteFile(dev / "sda", "");
  std::string groupName;
  if (const struct group* cdrom = getgrnam("cdrom");
      cdrom && ::chown((dev / "sr1").c_str(), static_cast<uid_t>(-1), cdrom->gr_gid) == 0)
    groupName = "cdrom";
  kernel.open_errno_rw[dev / "sr1"] = EACCES;
  kernel.open_errno_ro[dev / "sr1"] = EACCES;
  ASSERT_TRUE(InitializeDevices(d, false, "", ""));
  ASSERT_EQ(d.DeviceCount, 1);
  EXPECT_EQ(d.Slots[0].DriveLetter, 'D');
  EXPECT_EQ(d.Slots[0].Description, "1:2:0,D: VENDOR   PRODUCT NAME     1.23             " + (dev / "sr0"));
  ASSERT_EQ(d.AccessProblems.size(), 1u);
  const std::string& problem = d.AccessProblems[0];
  EXPECT_NE(problem.find("cannot open " + (dev / "sr1")), std::string::npos) << problem;
  EXPECT_NE(problem.find("Permission denied"), std::string::npos) << problem;
  if (!groupName.empty()) {
    EXPECT_NE(problem.find("join the group \"cdrom\""), std::string::npos) << problem;
  }
  EXPECT_TRUE(d.UsePassThrough);
}

TEST_F(Transport, WithoutUsableNodesDiscoveryFallsBackToTheAspiLibrary) {
  EXPECT_FALSE(InitializeDevices(d, false, dev / "libmissing.so", ""));
  EXPECT_NE(d.AspiError.find("libmissing.so"), std::string::npos) << d.AspiError;
  EXPECT_FALSE(d.UsePassThrough);
}

TEST_F(Transport, DataDirectionsReachSgIo) {
  OneDrive();
  uint8_t buffer[64];
  const struct {
    DataDirection direction;
    int sg;
  } cases[] = {{DataDirection::In, SG_DXFER_FROM_DEV}, {DataDirection::Out, SG_DXFER_TO_DEV},
               {DataDirection::None, SG_DXFER_NONE}};
  for (const auto& c : cases) {
    const uint8_t cdb[10] = {0x5A};
    TSCSIRequest r = MakeRequest(cdb, 10, c.direction, c.direction == DataDirection::None ? nullptr : buffer,
                                 c.direction == DataDirection::None ? 0 : 64);
    EXPECT_EQ(SendCommand(d, r), kRequestDone);
    EXPECT_EQ(kernel.sg_calls.back().dxfer_direction, c.sg);
    EXPECT_EQ(kernel.sg_calls.back().cmd_len, 10);
  }
}

TEST_F(Transport, AnswersMapOntoStatusSenseAndBusy) {
  OneDrive();
  const struct {
    FakeKernel::Answer answer;
    uint8_t status;
    uint16_t lastSense;
    bool busy;
    uint8_t targetStatus;
    int osError;
  } cases[] = {
      {FakeKernel::Answer{}, kRequestDone, 0, false, 0, 0},
      {Check(3, 0x0C, 0x00), kRequestError, 0x0C00, false, 2, 0},
      {FakeKernel::Answer{8, 0, 0, {}, {}, 0}, kRequestError, 0x0C00, true, 8, 0},
      {FakeKernel::Answer{0, 0, 0, {}, {}, EIO}, kRequestError, 0x0C00, false, 0, EIO},
  };
  for (const auto& c : cases) {
    script[0x00] = [&c](const auto&) { return c.answer; };
    const uint8_t cdb[6] = {0x00};
    TSCSIRequest r = MakeRequest(cdb, 6, DataDirection::None, nullptr, 0);
    EXPECT_EQ(SendCommand(d, r), c.status);
    EXPECT_EQ(d.LastSense.load(), c.lastSense);  // a command without sense leaves it
    EXPECT_EQ(d.Busy, c.busy);
    EXPECT_EQ(r.srb.SRB_TargStat, c.targetStatus);
    EXPECT_EQ(d.LastOSError, c.osError);
    if (c.answer.status == 2) {
      EXPECT_EQ(SenseArea(r)[2], 3);
      EXPECT_EQ(d.Sense[12], 0x0C);
    }
  }
}

TEST_F(Transport, NodeStaysOpenUnlessClosedAfterEachCommand) {
  OneDrive();
  // The node selection opened stays open for the following commands.
  const int opensBefore = static_cast<int>(kernel.opens.size());
  TestUnitReady(d);
  TestUnitReady(d);
  EXPECT_EQ(static_cast<int>(kernel.opens.size()), opensBefore);
  EXPECT_EQ(kernel.open_fds.size(), 1u);
  SetCloseAfterCommand(d, true);
  const int closesBefore = kernel.closes;
  TestUnitReady(d);
  TestUnitReady(d);
  EXPECT_EQ(kernel.closes, closesBefore + 2);
  EXPECT_TRUE(kernel.open_fds.empty());
}

TEST_F(Transport, SeekQuirkClearsBytesTwoAndThree) {
  OneDrive();
  Seek10(d, 0x11223344);
  EXPECT_EQ(kernel.cdbs.back()[2], 0x11);
  QueryDevice(d, 77, {});
  Seek10(d, 0x11223344);
  EXPECT_EQ(kernel.cdbs.back()[2], 0);
  EXPECT_EQ(kernel.cdbs.back()[3], 0);
  EXPECT_EQ(kernel.cdbs.back()[4], 0x33);
}

TEST_F(Transport, CommandLogLines) {
  OneDrive();
  d.LastOSError = 5;
  alignas(4) uint8_t data[2048];
  for (int i = 0; i < 2048; ++i) data[i] = static_cast<uint8_t>(i);
  const uint8_t readCapacity[10] = {0x25};
  TSCSIRequest r = MakeRequest(readCapacity, 10, DataDirection::In, data, 2048);
  r.srb.SRB_Status = 1;
  r.srb.SRB_HaId = 1;
  r.srb.SRB_Target = 2;
  const std::string line = CommandLogLine(d, r, 7, 5, 42);
  const std::string head = "07:05:042 READ CAPACITY          (25) {48:0a} - 1:2:0 <01> [00800] 00 ";
  EXPECT_EQ(line.substr(0, head.size()), head);
  EXPECT_NE(line.find("| 00 01 02 "), std::string::npos);
  EXPECT_NE(line.find(" 62 63 00:00, 5\r\n"), std::string::npos) << "100 data bytes, then ASC:ASCQ and the OS error";
  EXPECT_EQ(line.find(" 64 "), std::string::npos);
  const uint8_t unknown[6] = {0xF0};
  TSCSIRequest u = MakeRequest(unknown, 6, DataDirection::None, nullptr, 0);
  EXPECT_EQ(CommandLogLine(d, u, 0, 0, 0).substr(0, 16), "00:00:000  (f0) ");
}

TEST_F(Transport, TransferRateOverTheRing) {
  ClearTransferRing(d);
  EXPECT_EQ(TransferRate(d), 0u);
  RecordTransfer(d, 1000000, 1000000000);  // 1 MB in one second of nanosecond ticks
  EXPECT_EQ(TransferRate(d), 1000000u);
  for (int i = 0; i < 64; ++i) RecordTransfer(d, 65536, 32768000);  // the ring forgets the first pair
  EXPECT_EQ(TransferRate(d), 2000000u);
}

// ---- drive model from scripted answers ----

FakeKernel::Answer DataIn(std::vector<uint8_t> bytes) {
  FakeKernel::Answer a;
  a.data_in = std::move(bytes);
  return a;
}

TEST_F(Transport, MediaTypeOfADriveWithoutGetConfigurationComesFromTheAtip) {
  OneDrive();
  script[0x46] = [](const auto&) { return Check(5, 0x20, 0); };
  script[0x43] = [](const auto&) {
    std::vector<uint8_t> atip(30, 0);
    atip[6] = 0xC0;
    return DataIn(atip);
  };
  EXPECT_EQ(GetMediaType(d), MediaCdRw);
}

TEST_F(Transport, DvdPlusRwFreeBlocksBehindAnExistingVolume) {
  OneDrive();
  script[0x46] = [](const auto&) {
    std::vector<uint8_t> c(16, 0);
    c[7] = 0x1A;
    return DataIn(c);
  };
  script[0x51] = [](const auto&) {
    std::vector<uint8_t> di(34, 0);
    di[2] = 0x1E;  // erasable, complete session, complete disc... random writable media report it so
    di[4] = 1;
    di[6] = 1;
    return DataIn(di);
  };
  script[0x52] = [](const auto&) {
    std::vector<uint8_t> ti(38, 0);
    ti[24] = 0x00, ti[25] = 0x23, ti[26] = 0x05, ti[27] = 0x40;  // 2,295,104
    return DataIn(ti);
  };
  script[0x28] = [](const std::vector<uint8_t>& cdb) {
    std::vector<uint8_t> s(2048, 0);
    if (cdb[5] == 16) {
      s[0] = 1;
      std::memcpy(s.data() + 1, "CD001", 5);
      s[80] = 0xA0, s[81] = 0x86, s[82] = 0x01;  // 100,000 little-endian
    }
    return DataIn(s);
  };
  EXPECT_EQ(GetFreeBlocks(d), 2195104u);
}

TEST_F(Transport, SpeedsOfZeroAskForTheMaximum) {
  OneDrive();
  ASSERT_TRUE(SetSpeeds(d, 0, 0));
  const std::vector<uint8_t> expected = {0xBB, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(kernel.cdbs.back(), expected);
}

TEST_F(Transport, SessionCountLeavesOutAnEmptyLastSession) {
  OneDrive();
  script[0x51] = [](const auto&) {
    std::vector<uint8_t> di(34, 0);
    di[2] = 0x01;  // incomplete disc, last session empty
    di[4] = 3;
    return DataIn(di);
  };
  EXPECT_EQ(GetSessionCount(d), 2);
}

// ---- write retries (the sink's own rules, no waits) ----

TEST_F(Transport, BusyAndNotReadyWritesAreRetriedAndAPersistentNotReadyFails) {
  OneDrive();
  d.Waits.scale = 0;
  EngineState state;
  DriveSink sink(d, state, MediaCdR, true, 0, 32);
  std::vector<uint8_t> slot(65536, 0x11);
  int writes = 0;
  script[0x2A] = [&writes](const auto&) {
    ++writes;
    if (writes == 1) return FakeKernel::Answer{8, 0, 0, {}, {}, 0};  // BUSY
    if (writes == 2) return Check(2, 0x04, 0x08);
    return FakeKernel::Answer{};
  };
  EXPECT_TRUE(sink.Write(slot.data(), 65536, 0));
  EXPECT_EQ(writes, 3);

  writes = 0;
  script[0x2A] = [&writes](const auto&) {
    ++writes;
    return Check(2, 0x04, 0x08);
  };
  EXPECT_FALSE(sink.Write(slot.data(), 65536, 32));
  EXPECT_EQ(writes, 5000);
  EXPECT_EQ(state.Error(), 0x0408u);
}

TEST_F(Transport, ShortLastSlotGoesOutAsWholeSectors) {
  OneDrive();
  EngineState state;
  DriveSink sink(d, state, MediaCdR, true, 0, 1);
  std::vector<uint8_t> slot(65536, 0);
  ASSERT_TRUE(sink.Write(slot.data(), 3000, 0));
  EXPECT_EQ(kernel.sg_calls.back().dxfer_len, 4096u);
  EXPECT_EQ(kernel.cdbs.back()[8], 2);
}

// ---- mode page 05h ----

struct PageCase {
  uint8_t media;
  bool testWrite, burnProof, multiSession, underrun;
  uint8_t byte2, byte3, byte5;
  uint32_t packet;
};

TEST(WriteParametersPage, PerMediumAndOption) {
  const PageCase cases[] = {
      {MediaCdR, false, true, false, true, 0x41, 0x04, 0, 0},
      {MediaCdR, false, true, true, true, 0x41, 0xC4, 0, 0},
      {MediaCdR, false, true, true, false, 0x01, 0xC4, 0, 0},  // no underrun protection: no BUFE
      {MediaCdR, false, false, true, true, 0x01, 0xC4, 0, 0},  // BurnProof off clears BUFE
      {MediaCdRw, true, true, false, true, 0x51, 0xC4, 0, 0},  // test write keeps 11b, sets bit 4
      {MediaDvdR, false, true, false, true, 0x60, 0xE5, 16, 16},
      {MediaDvdRwSequential, false, true, false, true, 0x60, 0xC5, 16, 16},
      {MediaDvdPlusR, false, true, true, true, 0x62, 0xE4, 16, 16},
      {MediaDvdPlusR, false, true, false, true, 0x62, 0x04, 0, 0},
      {MediaDvdPlusRw, false, true, false, true, 0x62, 0x04, 16, 0},
      {MediaDvdPlusRDl, false, true, true, false, 0x62, 0xC4, 0, 0},  // keeps BUFE without the check
      {MediaDvdPlusRDl, false, false, false, true, 0x22, 0x04, 0, 0},
      {MediaBdR, false, true, false, true, 0x41, 0x04, 0, 0},
      {MediaDdcdR, false, true, false, true, 0x42, 0x05, 0, 0},
  };
  for (const PageCase& c : cases) {
    const std::vector<uint8_t> p =
        BuildWriteParametersPage(0x32, {c.testWrite, c.burnProof, c.multiSession, c.media, c.underrun});
    SCOPED_TRACE(MediaTypeName(c.media) + (c.multiSession ? " multi" : "") + (c.burnProof ? "" : " no-bufe"));
    ASSERT_EQ(p.size(), 0x34u);
    EXPECT_EQ(p[0], 0x05);
    EXPECT_EQ(p[1], 0x32);
    EXPECT_EQ(p[2], c.byte2);
    EXPECT_EQ(p[3], c.byte3);
    EXPECT_EQ(p[4], 0x08);
    EXPECT_EQ(p[5], c.byte5);
    EXPECT_EQ(uint32_t{p[10]} << 24 | p[11] << 16 | p[12] << 8 | p[13], c.packet);
    EXPECT_EQ(p[14] << 8 | p[15], 150);
  }
}

}  // namespace
}  // namespace qvr::data::test
