#include <gtest/gtest.h>

#include <chrono>

#include "fake_recorder.h"
#include "qvr/audio/scsi_device.h"

using namespace qvr::audio;
using namespace qvr::aspi;

namespace {

struct Messages {
  std::vector<std::pair<std::string, int>> lines;
  TOnDebugMsg Sink() {
    return [this](TSCSIDevice&, const std::string& m, std::uint8_t t) { lines.emplace_back(m, t); };
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& l : lines) n += l.first.rfind(prefix, 0) == 0;
    return n;
  }
};

constexpr const char* kLine = "1:0:0,D: QVR     FAKE RECORDER   1.00 /dev/sr0";

struct OnRecorder : ::testing::Test {
  FakeRecorder recorder;
  AspiLayer layer{recorder.Environment()};
  TSCSIDevice device{layer};
  Messages messages;
  void SetUp() override {
    device.OnDebugMessage = messages.Sink();
    device.Sleep = [](int) {};
    ASSERT_TRUE(device.InitializeASPI(true, ""));
  }
};

}  // namespace

TEST_F(OnRecorder, TheDriveIsListedAndSelectable) {
  EXPECT_EQ(device.Devices(), std::vector<std::string>{kLine});
  int changes = 0;
  device.OnDeviceChange = [&](TSCSIDevice&) { ++changes; };
  device.SelectDevice(kLine);
  ASSERT_TRUE(device.HasDevice());
  EXPECT_EQ(device.Triple(), (DeviceTriple{1, 0, 0}));
  EXPECT_EQ(device.Description(), "QVR      FAKE RECORDER    1.00");
  EXPECT_EQ(device.GetDriveLetter(), 'D');
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(device.DeviceMaxWriteSpeed(), 7056);
  EXPECT_EQ(device.CurrentWriteSpeed(), 7056);
  EXPECT_TRUE(device.Capabilities() & capability::kWriteCdR);
  EXPECT_TRUE(device.Capabilities() & capability::kUnderrunProtection);
  EXPECT_EQ(device.GetMediumType(), kMediumCdR);
  EXPECT_EQ(device.GetDiscStatus(), 0);
}

TEST_F(OnRecorder, DeviceIds) {
  struct Case {
    std::string id;
    bool selected;
    DeviceTriple triple;
  } cases[] = {
      {"1:0:0,D: QVR", true, {1, 0, 0}},
      {"1:0:0", true, {1, 0, 0}},
      {"10:1:0,E: X", false, {10, 1, 0}},  // parsed, but no drive answers there
      {"1:0", false, {}},
      {"x:0:0,D:", false, {}},
  };
  for (const Case& c : cases) {
    messages.lines.clear();
    device.SelectDevice(c.id);
    EXPECT_EQ(device.HasDevice(), c.selected) << c.id;
    EXPECT_EQ(messages.Count("INVALID DEVICE ID / NOT A CD OR DVD DRIVE"), c.selected ? 0 : 1) << c.id;
    if (c.selected) {
      EXPECT_EQ(device.Triple(), c.triple) << c.id;
    }
  }
  EXPECT_EQ(ParseDeviceId("10:1:0,E: X"), (DeviceTriple{10, 1, 0}));
  EXPECT_EQ(ParseDeviceId("1:0"), std::nullopt);
}

TEST_F(OnRecorder, ScanMessagesWithDebug) {
  device.DoDebug = true;
  messages.lines.clear();
  device.ScanDevices();
  EXPECT_EQ(messages.Count(">>> OVASPI32"), 1);
  EXPECT_EQ(messages.Count(">>> QVR SG_IO ASPI   (SPTI 1)"), 1) << "adapter 1 of 2";
}

TEST_F(OnRecorder, ZeroWriteSpeedsFallBack) {
  recorder.speed_fields_zero = true;
  device.SelectDevice(kLine);
  EXPECT_EQ(device.CurrentWriteSpeed(), 1385);
  EXPECT_EQ(device.DeviceMaxWriteSpeed(), 1385);
}

TEST_F(OnRecorder, WaitUntilReadyWaitsWithinItsBudget) {
  device.SelectDevice(kLine);
  struct Case {
    int not_ready, total_ms, interval_ms;
    bool ready;
  } cases[] = {{0, 240000, 5000, true}, {6, 240000, 5000, true}, {1000, 20000, 5000, false}};
  for (const Case& c : cases) {
    recorder.not_ready_answers = c.not_ready;
    int waited = 0;
    device.Sleep = [&](int ms) { waited += ms; };
    EXPECT_EQ(device.WaitUntilReady(c.total_ms, c.interval_ms), c.ready) << c.not_ready;
    EXPECT_LE(waited, c.total_ms + c.interval_ms) << c.not_ready;
    EXPECT_GE(waited, c.interval_ms) << "always waits once first";
  }
}

TEST(Quirks, ModelsAreMatchedAsTheTableSays) {
  struct Case {
    const char* vendor;
    const char* product;
    DriveQuirks expected;
  } cases[] = {
      {"SAMSUNG ", "CD-W512EB       ", {.underrun_protection = true}},
      {"YAMAHA  ", "CRX175E         ", {.restore_sets_bit_20 = true}},
      {"SONY    ", "CD-RW  CRX800E  ", {.restore_sets_bit_20 = true}},
      {"LITE-ON ", "CDRW321040X     ", {.close_without_immediate = true}},
      {"PIONEER ", "DVD-RW  DVR-104 ", {.slow_ready = true}},
      {"PIONEER ", "DVD-RW  DVR-104", {}},  // the untrimmed product must match
      {"MATSHITA", "UJDA760         ", {.slow_ready = true}},
      {"TDK     ", "CDRW4800B       ", {.slow_ready = true}},
      {"QVR     ", "Virtual Recorder", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(QuirksFor(c.vendor, c.product), c.expected) << c.product;
}

TEST_F(OnRecorder, BufferCapacityOfAllOnesIsTheWholeBuffer) {
  device.SelectDevice(kLine);
  ASSERT_TRUE(device.ReadBufferCapacity());
  EXPECT_EQ(device.DeviceBufferSize(), 2u * 1024 * 1024);
  EXPECT_EQ(device.DeviceFreeBufferSize(), device.DeviceBufferSize());
}

TEST_F(OnRecorder, RestoredWriteParametersAreTrackAtOnceAudioDefaults) {
  device.SelectDevice(kLine);
  for (bool finalize : {false, true}) {
    device.FinalizeDisc = finalize;
    ASSERT_TRUE(device.RestoreWriteParameters());
    const auto& cdb = recorder.kernel.cdbs.back();
    EXPECT_EQ(cdb[0], 0x55);
    EXPECT_EQ(cdb[8], 60);
  }
  EXPECT_EQ(recorder.write_type, 0x01);
}

TEST_F(OnRecorder, FailuresAreDecodedAndTheFirstUnexpectedOneIsReportedOnce) {
  device.SelectDevice(kLine);
  recorder.refuse_cue = true;
  const std::uint8_t cue[8] = {};
  messages.lines.clear();
  EXPECT_FALSE(device.SendCueSheet(cue, 8));
  EXPECT_EQ(device.LastErrorText(), "ILLEGAL REQUEST (INVALID FIELD IN PARAMETER LIST)");
  EXPECT_EQ(device.SenseCopy()[12], 0x26);
  EXPECT_EQ(messages.Count("<<< SEND CUE SHEET"), 1);
  EXPECT_FALSE(device.SendCueSheet(cue, 8));
  EXPECT_EQ(messages.Count("<<< "), 1) << "reported once per component";
  EXPECT_TRUE(device.TestUnitReady());
  EXPECT_EQ(device.LastErrorText(), "") << "a success clears the text";
}

TEST_F(OnRecorder, RoutineFailuresAreNotReported) {
  device.SelectDevice(kLine);
  std::uint8_t atip[26];
  messages.lines.clear();
  EXPECT_FALSE(device.ReadTocPmaAtip(4, true, atip, sizeof atip));
  EXPECT_EQ(messages.Count("<<< "), 0);
  EXPECT_EQ(messages.Count(">>>++++ 26"), 1) << "26 is not a multiple of 4";
}

TEST_F(OnRecorder, BuffersThatAreNotWordMultiplesAreNamed) {
  device.SelectDevice(kLine);
  std::vector<std::uint8_t> data(2000002);
  RequestBlock block;
  block.srb.SRB_Flags = kFlagsDataOut;
  block.srb.SRB_CDBLen = 10;
  block.srb.CDBByte[0] = 0x2A;
  block.srb.SRB_BufPointer = data.data();
  block.srb.SRB_BufLen = static_cast<DWORD>(data.size());
  messages.lines.clear();
  device.ExecuteRequest(block, 1000);
  EXPECT_EQ(messages.Count(">>>++++ 2000002"), 1);
}

TEST(DeviceWithoutLayer, ListIsEmptyAndEveryCommandFailsAtOnce) {
  FakeRecorder recorder;
  AspiLayer layer(recorder.Environment());
  TSCSIDevice device(layer);
  device.ScanDevices();
  EXPECT_TRUE(device.Devices().empty());
  device.SelectDevice("1:0:0,D:");
  EXPECT_FALSE(device.HasDevice());
  EXPECT_FALSE(device.TestUnitReady());
  EXPECT_EQ(device.LastOutcome().status, SS_ILLEGAL_MODE);
  EXPECT_EQ(device.GetDiscStatus(), -1);
  EXPECT_TRUE(recorder.kernel.sg_calls.empty()) << "nothing reached a drive";
}

TEST(DeviceWithoutLayer, WriteOnceDrivesAreListedAsNotSupportedButSelectable) {
  FakeRecorder recorder;
  auto answer = recorder.kernel.answer_with_data;
  recorder.kernel.answer_with_data = [answer](const std::vector<std::uint8_t>& cdb, const std::uint8_t* out,
                                              std::uint32_t n) {
    FakeKernel::Answer a = answer(cdb, out, n);
    if (cdb[0] == 0x12) a.data_in[0] = 0x04;
    return a;
  };
  AspiLayer layer(recorder.Environment());
  TSCSIDevice device(layer);
  ASSERT_TRUE(device.InitializeASPI(true, ""));
  ASSERT_EQ(device.Devices().size(), 1u);
  EXPECT_EQ(device.Devices()[0], std::string(kLine) + " (not supported)");
  device.SelectDevice(device.Devices()[0]);
  EXPECT_TRUE(device.HasDevice());
}

namespace {

// A library with one drive at 0:0:0 that answers INQUIRY, fails other
// commands at once and leaves TEST UNIT READY pending for ever.
DWORD SilentInfo() { return 0x0101; }
DWORD SilentSend(void* request) {
  auto* header = static_cast<SRB_Header*>(request);
  if (header->SRB_Cmd == SC_HA_INQUIRY) {
    auto* inquiry = static_cast<SRB_HAInquiry*>(request);
    inquiry->HA_Count = 1;
    inquiry->SRB_Status = SS_COMP;
    return SS_COMP;
  }
  if (header->SRB_Cmd != SC_EXEC_SCSI_CMD) {
    header->SRB_Status = SS_ERR;
    return SS_ERR;
  }
  auto* exec = static_cast<SRB_ExecSCSICmd*>(request);
  if (exec->SRB_Target != 0 || exec->SRB_Lun != 0) {
    exec->SRB_Status = SS_NO_DEVICE;
    return SS_NO_DEVICE;
  }
  if (exec->CDBByte[0] == 0x12) {
    exec->SRB_BufPointer[0] = DTYPE_CDROM;
    exec->SRB_Status = SS_COMP;
    return SS_COMP;
  }
  if (exec->CDBByte[0] == 0x00) return SS_PENDING;
  exec->SRB_Status = SS_ERR;
  return SS_ERR;
}

}  // namespace

TEST(DeviceWithoutLayer, ARequestPendingPastItsTimeOutEndsAsACommandTimeOut) {
  AspiLayer::Environment environment{
      [] { return std::vector<qvr::platform::OpticalDrive>{}; }, qvr::platform::RealSystemCalls(),
      [](qvr::platform::AspiLibrary&, const std::string&) -> std::optional<AspiLayer::EntryPoints> {
        return AspiLayer::EntryPoints{&SilentInfo, &SilentSend};
      }};
  AspiLayer layer(environment);
  TSCSIDevice device(layer);
  ASSERT_TRUE(device.InitializeASPI(false, ""));
  ASSERT_EQ(device.Devices().size(), 1u);
  device.SelectDevice(device.Devices()[0]);
  ASSERT_TRUE(device.HasDevice());
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(device.TestUnitReady(5000));
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(9900)) << "at least 10 s, whatever the command asks for";
  EXPECT_LT(waited, std::chrono::seconds(15));
  const RequestOutcome outcome = device.LastOutcome();
  EXPECT_EQ(outcome.status, SS_ERR);
  EXPECT_EQ(outcome.host_status, 9);
  EXPECT_EQ(outcome.error_text, "COMMAND TIMEOUT");
}
