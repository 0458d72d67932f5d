#include <gtest/gtest.h>

#include <cstring>

#include "fake_kernel.h"
#include "qvr/audio/aspi_layer.h"
#include "qvr/audio/request.h"
#include "qvr/audio/spti_emulation.h"

using namespace qvr::audio;
using namespace qvr::aspi;
using qvr::platform::OpticalDrive;
using qvr::platform::ScsiAddress;

namespace {

OpticalDrive Drive(const char* node, char letter, std::optional<ScsiAddress> address, int open_error = 0) {
  OpticalDrive d;
  d.node = node;
  d.letter = letter;
  d.address = address;
  d.open_error = open_error;
  if (open_error) d.problem = std::string("cannot open ") + node;
  return d;
}

// Every drive answers INQUIRY with its node's last character in the product.
FakeKernel::Answer Inquiring(const std::vector<std::uint8_t>& cdb) {
  FakeKernel::Answer a;
  if (cdb[0] == 0x12) {
    a.data_in.assign(96, ' ');
    a.data_in[0] = 0x05;
    std::memcpy(a.data_in.data() + 8, "VENDOR  PRODUCT         REV1", 28);
  }
  return a;
}

struct Emulation : ::testing::Test {
  FakeKernel kernel;
  SptiEmulation emulation{kernel.Calls()};
  void SetUp() override { kernel.answer = Inquiring; }
  DWORD Exec(BYTE ha, BYTE target, BYTE lun, std::initializer_list<BYTE> cdb, BYTE flags, BYTE* data = nullptr,
             DWORD length = 0, RequestBlock* out = nullptr) {
    RequestBlock block;
    block.srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    block.srb.SRB_HaId = ha;
    block.srb.SRB_Target = target;
    block.srb.SRB_Lun = lun;
    block.srb.SRB_Flags = flags;
    block.srb.SRB_BufPointer = data;
    block.srb.SRB_BufLen = length;
    block.srb.SRB_SenseLen = kSenseRequested;
    block.srb.SRB_CDBLen = static_cast<BYTE>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), block.srb.CDBByte);
    DWORD status = emulation.SendCommand(&block);
    if (out) *out = block;
    return status;
  }
};

}  // namespace

TEST_F(Emulation, DrivesBecomeTriplesAndUnaddressedOnesGoBehindTheRealAdapters) {
  int present = emulation.Startup({
      Drive("/dev/sr0", 'D', ScsiAddress{3, 0, 1, 0}),
      Drive("/dev/sr1", 'E', std::nullopt),
      Drive("/dev/sr2", 'F', std::nullopt),
      Drive("/dev/sr3", 'G', ScsiAddress{0, 0, 0, 0}, EACCES),  // cannot be opened: skipped
  });
  EXPECT_EQ(present, 3);
  EXPECT_EQ(emulation.adapter_count(), 5);
  EXPECT_EQ(emulation.LetterOf(3, 1, 0), 'D');
  EXPECT_EQ(emulation.LetterOf(4, 0, 0), 'E') << "first unaddressed drive: adapter 4, target 0";
  EXPECT_EQ(emulation.LetterOf(4, 1, 0), 'F');
  EXPECT_EQ(emulation.LetterOf(0, 0, 0), '\x7F');
  EXPECT_EQ(emulation.GetSupportInfo(), 0x0105u);
  EXPECT_EQ(emulation.Startup({Drive("/dev/sr0", 'D', std::nullopt)}), 0) << "started already";
  EXPECT_TRUE(kernel.open_fds.empty()) << "start-up closes every node";
}

TEST_F(Emulation, NoDrivesMeansNoAdapters) {
  kernel.answer = [](const auto&) {
    FakeKernel::Answer a;
    a.status = 0x02;
    return a;
  };
  EXPECT_EQ(emulation.Startup({Drive("/dev/sr0", 'D', std::nullopt)}), 0) << "INQUIRY failed";
  EXPECT_EQ(emulation.GetSupportInfo(), DWORD{SS_NO_ADAPTERS} << 8);
}

TEST_F(Emulation, AdapterInquiryAndDeviceType) {
  emulation.Startup({Drive("/dev/sr0", 'D', ScsiAddress{1, 0, 2, 0})});
  SRB_HAInquiry inquiry{};
  inquiry.SRB_Cmd = SC_HA_INQUIRY;
  inquiry.SRB_HaId = 1;
  EXPECT_EQ(emulation.SendCommand(&inquiry), SS_COMP);
  EXPECT_EQ(inquiry.HA_Count, 2);
  EXPECT_EQ(inquiry.HA_SCSI_ID, 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry.HA_ManagerId), 16), SptiEmulation::kManagerId);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry.HA_Identifier)), "SPTI 1");
  EXPECT_EQ(inquiry.HA_Unique[0], 7);
  EXPECT_EQ(inquiry.HA_Unique[3], 8);
  EXPECT_EQ(inquiry.HA_Unique[6], 0xFF);
  inquiry.SRB_HaId = 2;
  EXPECT_EQ(emulation.SendCommand(&inquiry), SS_INVALID_HA);

  SRB_GDEVBlock type{};
  type.SRB_Cmd = SC_GET_DEV_TYPE;
  type.SRB_HaId = 1;
  type.SRB_Target = 2;
  EXPECT_EQ(emulation.SendCommand(&type), SS_COMP);
  EXPECT_EQ(type.SRB_DeviceType, DTYPE_CDROM);
  type.SRB_Target = 3;
  EXPECT_EQ(emulation.SendCommand(&type), SS_NO_DEVICE);
  EXPECT_EQ(type.SRB_DeviceType, 0x1F);

  SRB_Header reset{SC_RESET_DEV, 0, 1, 0, 0};
  EXPECT_EQ(emulation.SendCommand(&reset), SS_ERR) << "not emulated";
}

TEST_F(Emulation, InquiryIsAnsweredFromStartUpAndNeverReachesTheDrive) {
  emulation.Startup({Drive("/dev/sr0", 'D', ScsiAddress{0, 0, 0, 0})});
  const std::size_t sent = kernel.sg_calls.size();
  std::uint8_t answer[128];
  std::memset(answer, 0xEE, sizeof answer);
  EXPECT_EQ(Exec(0, 0, 0, {0x12, 0, 0, 0, 128, 0}, 0x48, answer, 128), SS_COMP);
  EXPECT_EQ(kernel.sg_calls.size(), sent);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(answer + 8), 28), "VENDOR  PRODUCT         REV1");
  EXPECT_EQ(answer[36], 0xEE) << "36 bytes copied";
  EXPECT_EQ(Exec(0, 1, 0, {0x12, 0, 0, 0, 128, 0}, 0x48, answer, 128), SS_NO_DEVICE);
}

TEST_F(Emulation, CommandsReachTheDriveWithDirectionSenseAndStatus) {
  emulation.Startup({Drive("/dev/sr0", 'D', ScsiAddress{0, 0, 0, 0})});
  kernel.answer = [](const std::vector<std::uint8_t>& cdb) {
    FakeKernel::Answer a;
    if (cdb[0] == 0x2A) {
      a.status = 0x02;
      a.sense.assign(24, 0);
      a.sense[0] = 0x70;
      a.sense[2] = 0x02;
      a.sense[12] = 0x04;
      a.sense[13] = 0x08;
      a.sense[23] = 0x77;
    } else if (cdb[0] == 0x00) {
      a.status = 0x08;  // BUSY
    } else if (cdb[0] == 0x35) {
      a.host_status = qvr::platform::kHostTimeOut;
    }
    return a;
  };
  std::uint8_t data[2352] = {};
  RequestBlock block;
  EXPECT_EQ(Exec(0, 0, 0, {0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 0x50, data, 2352, &block), SS_ERR);
  EXPECT_EQ(kernel.sg_calls.back().dxfer_direction, SG_DXFER_TO_DEV);
  EXPECT_EQ(kernel.sg_calls.back().timeout, SptiEmulation::kTimeoutMs);
  EXPECT_EQ(block.srb.SRB_TargStat, 0x02);
  EXPECT_EQ(block.sense()[12], 0x04);
  EXPECT_EQ(block.sense()[23], 0x77) << "all 24 requested bytes, beyond the block's own sense area";

  EXPECT_EQ(Exec(0, 0, 0, {0x00, 0, 0, 0, 0, 0}, 0x40, nullptr, 0, &block), SS_ERR);
  EXPECT_EQ(kernel.sg_calls.back().dxfer_direction, SG_DXFER_NONE);
  EXPECT_EQ(block.srb.SRB_TargStat, STATUS_BUSY);

  EXPECT_EQ(Exec(0, 0, 0, {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x40, nullptr, 0, &block), SS_ERR);
  EXPECT_EQ(block.srb.SRB_HaStat, 9) << "a kernel time-out is a command time-out";

  std::uint8_t page[64];
  EXPECT_EQ(Exec(0, 0, 0, {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 64, 0}, 0x48, page, 64), SS_COMP);
  EXPECT_EQ(kernel.sg_calls.back().dxfer_direction, SG_DXFER_FROM_DEV);
}

TEST_F(Emulation, CloseAfterRequestSwitch) {
  emulation.Startup({Drive("/dev/sr0", 'D', ScsiAddress{0, 0, 0, 0})});
  const std::size_t opens = kernel.opens.size();
  Exec(0, 0, 0, {0x00}, 0x40);
  Exec(0, 0, 0, {0x00}, 0x40);
  EXPECT_EQ(kernel.opens.size(), opens + 2);
  EXPECT_TRUE(kernel.open_fds.empty());
  emulation.SetCloseAfterRequest(false);
  for (int i = 0; i < 5; ++i) Exec(0, 0, 0, {0x00}, 0x40);
  EXPECT_EQ(kernel.opens.size(), opens + 3);
  EXPECT_EQ(kernel.open_fds.size(), 1u);
  emulation.Shutdown();
  EXPECT_TRUE(kernel.open_fds.empty()) << "shut-down closes every node";
}

namespace {

// A library stand-in: every request completes at once.
DWORD FakeLibraryInfo() { return 0x0102; }
DWORD FakeLibrarySend(void* request) {
  static_cast<SRB_Header*>(request)->SRB_Status = SS_COMP;
  return SS_COMP;
}

struct LayerSetup {
  FakeKernel kernel;
  std::vector<OpticalDrive> drives;
  bool library_present = true;
  std::vector<std::string> library_paths;
  AspiLayer::Environment Environment() {
    kernel.answer = Inquiring;
    return {
        [this] { return drives; },
        kernel.Calls(),
        [this](qvr::platform::AspiLibrary&, const std::string& path) -> std::optional<AspiLayer::EntryPoints> {
          library_paths.push_back(path);
          if (!library_present) return std::nullopt;
          return AspiLayer::EntryPoints{&FakeLibraryInfo, &FakeLibrarySend};
        },
    };
  }
};

}  // namespace

TEST(AspiLayerChoice, EmulationOrLibraryInTheRightOrder) {
  struct Case {
    bool use_spti, drive, library;
    const char* layer;
  } cases[] = {
      {true, true, true, "OVASPI32"},
      {true, false, true, "libwnaspi32.so"},
      {false, true, true, "libwnaspi32.so"},
      {false, true, false, "OVASPI32"},  // the emulation even when not asked for
      {true, true, false, "OVASPI32"},
      {false, false, false, ""},
  };
  for (const Case& c : cases) {
    LayerSetup setup;
    if (c.drive) setup.drives.push_back(Drive("/dev/sr0", 'D', ScsiAddress{0, 0, 0, 0}));
    setup.library_present = c.library;
    AspiLayer layer(setup.Environment());
    EXPECT_EQ(layer.InitializeASPI(c.use_spti, "/opt/x.so"), *c.layer != 0);
    EXPECT_EQ(layer.LayerName(), c.layer);
    EXPECT_EQ(layer.ASPIInitialized(), *c.layer != 0);
    if (!(c.use_spti && c.drive)) {
      EXPECT_EQ(setup.library_paths, std::vector<std::string>{"/opt/x.so"});
    }
  }
}

TEST(AspiLayerChoice, ReinitializeKeepsThePreferenceAndReportsUnusableDrives) {
  LayerSetup setup;
  setup.drives = {Drive("/dev/sr0", 'D', ScsiAddress{0, 0, 0, 0}), Drive("/dev/sr1", 'E', std::nullopt, EACCES)};
  AspiLayer layer(setup.Environment());
  ASSERT_TRUE(layer.InitializeASPI(true, ""));
  EXPECT_EQ(layer.DriveProblems(), std::vector<std::string>{"cannot open /dev/sr1"});
  setup.drives.clear();  // the drive went away: the library takes over
  EXPECT_TRUE(layer.ReinitializeASPI());
  EXPECT_EQ(layer.LayerName(), "libwnaspi32.so");
  EXPECT_EQ(layer.GetSupportInfo(), 0x0102u);
  layer.Shutdown();
  EXPECT_FALSE(layer.ASPIInitialized());
  SRB_Header request{SC_EXEC_SCSI_CMD, 0, 0, 0, 0};
  EXPECT_EQ(layer.SendCommand(&request), SS_NO_ASPI);
}
