// libwnaspi32.so as the engines load it: dlopen, the two entry points, request
// blocks with event notification, and malformed blocks.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "qvr/platform/program_folder.h"
#include "qvr/platform/wnaspi32.h"
#include "qvr/vdrive/drive_set.h"

namespace {

using namespace qvr::aspi;

// One program folder for the whole binary: the library makes its drive set
// on first use and keeps it.
class AspiLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char tmpl[] = "/tmp/qvr-aspi-XXXXXX";
    home_ = mkdtemp(tmpl);
    std::filesystem::create_directories(home_ + "/vdrive");
    std::ofstream(home_ + "/vdrive/drives.ini") << "[settings]\ntime_scale=0\n[drive0]\nvendor=QVR\n";
    setenv("QUORVELLA_HOME", home_.c_str(), 1);
    // The program folder of the build: QVR_BIN_DIR, or bin/ beside the tests folder.
    const char* bin = std::getenv("QVR_BIN_DIR");
    std::string folder = bin && *bin ? std::string(bin) : qvr::platform::ExecutableFolder() + "../bin";
    std::string path = folder + "/libwnaspi32.so";
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      load_error_ = dlerror();
      return;
    }
    support_ = reinterpret_cast<GetASPI32SupportInfoFn>(dlsym(handle_, kSupportInfoSymbol));
    send_ = reinterpret_cast<SendASPI32CommandFn>(dlsym(handle_, kSendCommandSymbol));
  }
  static void TearDownTestSuite() { std::filesystem::remove_all(home_); }

  void SetUp() override {
    ASSERT_TRUE(send_ && support_) << load_error_;
    set_ = std::make_unique<qvr::vdrive::DriveSet>(home_ + "/vdrive");
    set_->At(0)->Eject();
  }

  // An execute block with room for 32 sense bytes behind it.
  struct Block {
    SRB_ExecSCSICmd srb;
    BYTE more_sense[32];
  };
  static Block Exec(std::initializer_list<int> cdb, BYTE flags, BYTE* buffer, DWORD length) {
    Block b;
    std::memset(&b, 0, sizeof b);
    b.srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    b.srb.SRB_Flags = flags;
    b.srb.SRB_BufPointer = buffer;
    b.srb.SRB_BufLen = length;
    b.srb.SRB_SenseLen = SENSE_LEN;
    b.srb.SRB_CDBLen = static_cast<BYTE>(cdb.size());
    int i = 0;
    for (int v : cdb) b.srb.CDBByte[i++] = static_cast<BYTE>(v);
    return b;
  }
  // Sends with event notification and waits as the engines do.
  static DWORD SendAndWait(Block& b) {
    AspiEvent event;
    b.srb.SRB_Flags |= SRB_EVENT_NOTIFY;
    b.srb.SRB_PostProc = &event;
    DWORD status = send_(&b.srb);
    if (status == SS_PENDING) {
      EXPECT_TRUE(event.Wait(std::chrono::seconds(10)));
    }
    return b.srb.SRB_Status;
  }

  static inline std::string home_;
  static inline void* handle_ = nullptr;
  static inline std::string load_error_;
  static inline GetASPI32SupportInfoFn support_ = nullptr;
  static inline SendASPI32CommandFn send_ = nullptr;
  std::unique_ptr<qvr::vdrive::DriveSet> set_;
};

TEST_F(AspiLibrary, AdapterAndDevice) {
  EXPECT_EQ(support_(), (DWORD{SS_COMP} << 8) | 1u);
  SRB_HAInquiry ha{};
  ha.SRB_Cmd = SC_HA_INQUIRY;
  EXPECT_EQ(send_(&ha), SS_COMP);
  EXPECT_EQ(ha.HA_Count, 1);
  EXPECT_EQ(ha.HA_Unique[3], 8) << "targets";
  ha.SRB_HaId = 1;
  EXPECT_EQ(send_(&ha), SS_INVALID_HA);
  SRB_GDEVBlock dev{};
  dev.SRB_Cmd = SC_GET_DEV_TYPE;
  EXPECT_EQ(send_(&dev), SS_COMP);
  EXPECT_EQ(dev.SRB_DeviceType, DTYPE_CDROM);
  dev.SRB_Target = 3;
  EXPECT_EQ(send_(&dev), SS_NO_DEVICE);
  SRB_GetDiskInfo disk{};
  disk.SRB_Cmd = SC_GET_DISK_INFO;
  EXPECT_EQ(send_(&disk), SS_COMP);
  EXPECT_EQ('A' + disk.SRB_Int13HDriveInfo, set_->LetterOf(0));
}

TEST_F(AspiLibrary, EventNotificationCompletesOnTheWorker) {
  BYTE data[96];
  Block b = Exec({0x12, 0, 0, 0, 96, 0}, SRB_DIR_IN, data, sizeof data);
  EXPECT_EQ(SendAndWait(b), SS_COMP);
  EXPECT_EQ(data[0], 0x05);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 8), 3), "QVR");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data + 16), 16), "Virtual Recorder");
  // Posting: the callback runs when the request is done.
  static std::atomic<int> posted{0};
  Block p = Exec({0x00, 0, 0, 0, 0, 0}, SRB_POSTING, nullptr, 0);
  p.srb.SRB_PostProc = reinterpret_cast<void*>(+[](SRB_ExecSCSICmd* srb) { posted = srb->SRB_Status; });
  EXPECT_EQ(send_(&p.srb), SS_PENDING);
  for (int i = 0; i < 1000 && posted == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(posted, SS_ERR) << "no disc: TEST UNIT READY fails";
}

TEST_F(AspiLibrary, SenseAsAnAdapterReportsIt) {
  for (BYTE len : {BYTE{14}, BYTE{24}, BYTE{40}}) {
    SCOPED_TRACE(len);
    Block b = Exec({0x00, 0, 0, 0, 0, 0}, 0, nullptr, 0);
    b.srb.SRB_SenseLen = len;
    std::memset(b.srb.SenseArea, 0xEE, sizeof b.srb.SenseArea + sizeof b.more_sense);
    EXPECT_EQ(SendAndWait(b), SS_ERR);
    EXPECT_EQ(b.srb.SRB_TargStat, STATUS_CHKCOND);
    EXPECT_EQ(b.srb.SRB_HaStat, HASTAT_OK);
    const BYTE* sense = b.srb.SenseArea;
    EXPECT_EQ(sense[0], 0x70);
    EXPECT_EQ(sense[2], 0x02);
    if (len > 13) {
      EXPECT_EQ(sense[12], 0x3A);
    }
    EXPECT_EQ(sense[len - 1] == 0xEE, false) << "written through SRB_SenseLen";
    EXPECT_EQ(sense[len], 0xEE) << "and not one byte further";
  }
  // With a disc and a short buffer the residual count tells what came.
  std::string error;
  ASSERT_TRUE(set_->At(0)->Insert(qvr::vdrive::MediaKind::kCdR, "", &error)) << error;
  BYTE info[64];
  Block r = Exec({0x51, 0, 0, 0, 0, 0, 0, 0, 64, 0}, SRB_DIR_IN | SRB_ENABLE_RESIDUAL_COUNT, info, sizeof info);
  EXPECT_EQ(SendAndWait(r), SS_COMP);
  EXPECT_EQ(r.srb.SRB_BufLen, 64u - 34u);
}

TEST_F(AspiLibrary, AbortTakesOnlyRequestsThatHaveNotStarted) {
  std::string error;
  ASSERT_TRUE(set_->At(0)->Insert(qvr::vdrive::MediaKind::kCdRw, "", &error)) << error;
  set_->SetTimeScale(0.002);  // a full blank without the immediate bit now takes 960 ms
  AspiEvent blank_done, tur_done;
  Block blank = Exec({0xA1, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, SRB_EVENT_NOTIFY, nullptr, 0);
  blank.srb.SRB_PostProc = &blank_done;
  Block tur = Exec({0x00, 0, 0, 0, 0, 0}, SRB_EVENT_NOTIFY, nullptr, 0);
  tur.srb.SRB_PostProc = &tur_done;
  ASSERT_EQ(send_(&blank.srb), SS_PENDING);
  ASSERT_EQ(send_(&tur.srb), SS_PENDING);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  SRB_Abort abort{};
  abort.SRB_Cmd = SC_ABORT_SRB;
  abort.SRB_ToAbort = &tur.srb;
  EXPECT_EQ(send_(&abort), SS_COMP);
  EXPECT_TRUE(tur_done.IsSet());
  EXPECT_EQ(tur.srb.SRB_Status, SS_ABORTED);
  abort.SRB_ToAbort = &blank.srb;
  EXPECT_EQ(send_(&abort), SS_ABORT_FAIL) << "the blank is running";
  EXPECT_TRUE(blank_done.Wait(std::chrono::seconds(10)));
  EXPECT_EQ(blank.srb.SRB_Status, SS_COMP);
  set_->SetTimeScale(0);
}

TEST_F(AspiLibrary, MalformedBlocksGetAnErrorStatus) {
  EXPECT_EQ(send_(nullptr), SS_INVALID_SRB);
  SRB_Header unknown{};
  unknown.SRB_Cmd = 0x77;
  EXPECT_EQ(send_(&unknown), SS_INVALID_CMD);
  BYTE buffer[16];
  AspiEvent event;
  struct Case {
    const char* what;
    void (*edit)(SRB_ExecSCSICmd&, BYTE*, AspiEvent*);
    DWORD status;
  };
  const Case cases[] = {
      {"no CDB", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.SRB_CDBLen = 0; }, SS_INVALID_SRB},
      {"CDB too long", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.SRB_CDBLen = 17; }, SS_INVALID_SRB},
      {"null buffer", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.SRB_BufPointer = nullptr; }, SS_INVALID_SRB},
      {"both directions", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.SRB_Flags = SRB_DIR_IN | SRB_DIR_OUT; }, SS_INVALID_SRB},
      {"event without handle", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.SRB_Flags = SRB_EVENT_NOTIFY; }, SS_INVALID_SRB},
      {"event and posting", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent* e) {
         s.SRB_Flags = SRB_EVENT_NOTIFY | SRB_POSTING;
         s.SRB_PostProc = e;
       }, SS_INVALID_SRB},
      {"huge buffer", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.SRB_BufLen = 0x40000000; }, SS_BUFFER_TO_BIG},
      {"other adapter", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.SRB_HaId = 2; }, SS_INVALID_HA},
      {"no such target", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.SRB_Target = 6; }, SS_NO_DEVICE},
      {"LUN 1", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.SRB_Lun = 1; }, SS_NO_DEVICE},
      {"short CDB for the opcode", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) {
         s.CDBByte[0] = 0x28;
         s.SRB_CDBLen = 6;
       }, SS_ERR},
      {"data in the wrong direction", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.SRB_Flags = SRB_DIR_OUT; }, SS_ERR},
      {"unknown opcode", [](SRB_ExecSCSICmd& s, BYTE*, AspiEvent*) { s.CDBByte[0] = 0xD9; s.SRB_CDBLen = 12; }, SS_ERR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Block b = Exec({0x12, 0, 0, 0, 16, 0}, SRB_DIR_IN, buffer, sizeof buffer);
    c.edit(b.srb, buffer, &event);
    DWORD status = send_(&b.srb);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(b.srb.SRB_Status, c.status);
  }
  Block wrong = Exec({0x12, 0, 0, 0, 16, 0}, SRB_DIR_OUT, buffer, sizeof buffer);
  send_(&wrong.srb);
  EXPECT_EQ(wrong.srb.SRB_HaStat, HASTAT_DO_DU);
  Block opcode = Exec({0xD9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, nullptr, 0);
  send_(&opcode.srb);
  EXPECT_EQ(opcode.srb.SenseArea[2], 0x05);
  EXPECT_EQ(opcode.srb.SenseArea[12], 0x20);
}

}  // namespace
