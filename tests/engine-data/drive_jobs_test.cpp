// Multisession with an imported session, verification, erase and the faults
// a burn meets, on the virtual recorder.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <map>
#include <set>

#include "drive_fixture.h"
#include "qvr/data/byte_fields.h"
#include "qvr/data/media_type.h"
#include "qvr/data/text.h"

namespace qvr::data::test {
namespace {

// ---- multisession ----

struct AppendCase {
  const char* medium;
  bool descriptorsAtZero;  // the new session's first 64 KiB also go to sector 0
};

class Multisession : public DriveTest, public ::testing::WithParamInterface<AppendCase> {};

TEST_P(Multisession, SecondSessionShowsOldAndNewFilesWithoutRewritingOldData) {
  const AppendCase& c = GetParam();
  Insert(c.medium);
  auto b = Burner();
  const std::string first = MakeTree("tree", 3);
  Compile(*b, {first});
  ASSERT_TRUE(BurnTree(*b)) << b->GetErrorText();
  const uint32_t firstSize = b->GetImageSectors();

  // The second session: a.txt in a new version, a new file; the rest imported.
  const std::string second = src_ / "second/tree";
  WriteFile(second + "/a.txt", "second version\n");
  WriteFile(second + "/new.txt", "added\n");
  auto b2 = Burner();
  EXPECT_EQ(b2->GetSessionCount(), 1);
  Compile(*b2, {second}, 0);
  drive().ClearTrace();
  ASSERT_TRUE(BurnTree(*b2)) << b2->GetErrorText();
  const uint32_t start = b2->Layout().SessionStart;
  ASSERT_GT(start, 0u);
  // Only the new session's sectors were written (plus the copy at sector 0).
  uint64_t written = 0;
  for (const vdrive::TraceEntry& e : drive().Trace())
    if (e.opcode == 0x2A && e.status == "GOOD") written += uint32_t{e.cdb[7]} << 8 | e.cdb[8];
  EXPECT_EQ(written, b2->GetImageSectors() + (c.descriptorsAtZero ? 32u : 0u));

  const std::string iso = ExportIso();
  const std::string out = src_ / "read";
  std::string load = c.descriptorsAtZero ? "" : "-load sbsector " + std::to_string(start) + " ";
  fs::create_directories(out);
  const ToolResult r =
      RunTool("xorriso -abort_on FAILURE " + load + "-indev " + Quote(iso) + " -osirrox on -extract / " + Quote(out));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadBytes(out + "/tree/a.txt"), ReadBytes(second + "/a.txt"));
  EXPECT_EQ(ReadBytes(out + "/tree/new.txt"), ReadBytes(second + "/new.txt"));
  EXPECT_EQ(ReadBytes(out + "/tree/docs/data.bin"), ReadBytes(first + "/docs/data.bin"));
  EXPECT_TRUE(fs::exists(out + "/tree/docs/Long file name of a report.txt"));

  // The imported file keeps its sector in the first session.
  const TFileEntry* data = nullptr;
  for (const auto& e : b2->Tree().Files())
    if (e->LongName == u"data.bin") data = e.get();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->ExtentIsAbsolute);
  EXPECT_LT(data->Extent, firstSize);
  if (c.descriptorsAtZero) {
    std::vector<uint8_t> pvd(2048);
    ASSERT_TRUE(drive().ReadBlock(16, false, pvd.data()));
    EXPECT_EQ(Get32LE(pvd.data() + 80), start + b2->GetImageSectors()) << "the volume space covers both sessions";
  }
}

INSTANTIATE_TEST_SUITE_P(Append, Multisession,
                         ::testing::Values(AppendCase{"cd-r", false}, AppendCase{"dvd+r", false},
                                           AppendCase{"dvd+rw", true}),
                         [](const auto& info) {
                           std::string name = info.param.medium;
                           for (char& ch : name) ch = (ch == '-' ? '_' : ch == '+' ? 'P' : ch);
                           return name;
                         });

// ---- verification ----

class Verification : public DriveTest {
 protected:
  struct Outcome {
    std::map<int32_t, bool> files;
    bool finalFailed = false;
    int finals = 0;
  };
  Outcome Verify(TDiscBurner& b, bool abortAfterFirst = false) {
    Outcome o;
    Done done;
    std::mutex m;
    b.OnVerifyDone = [&](const void*, uint8_t, int32_t id, bool failed) {
      if (id < 0) {
        {
          std::lock_guard lock(m);
          ++o.finals;
          o.finalFailed = failed;
        }
        return done.Signal(failed);
      }
      std::lock_guard lock(m);
      o.files[id] = failed;
      if (abortAfterFirst) b.Abort();
    };
    EXPECT_TRUE(b.VerifyDisc(0, false));
    EXPECT_TRUE(done.Wait());
    b.WaitIdle();
    return o;
  }
  const TFileEntry* File(TDiscBurner& b, std::u16string_view name) {
    for (const auto& e : b.Tree().Files())
      if (e->LongName == name) return e.get();
    return nullptr;
  }
};

TEST_F(Verification, PassesOnAGoodDiscAndNamesTheFileWhoseSectorIsCorrupted) {
  Insert("dvd+rw");
  auto b = Burner();
  Compile(*b, {MakeTree("tree", 4)});
  ASSERT_TRUE(BurnTree(*b));
  Outcome good = Verify(*b);
  EXPECT_EQ(good.finals, 1);
  EXPECT_FALSE(good.finalFailed);
  EXPECT_EQ(good.files.size(), 4u);  // the empty file passes too ("-" equals "-")
  for (const auto& [id, failed] : good.files) EXPECT_FALSE(failed) << id;
  EXPECT_GT(b->GetVerifiedSectors(), 70u);

  // A source changed after its digest was taken still compares with that digest.
  const std::string aTxt = File(*b, u"a.txt")->SourcePath;
  WriteFile(aTxt, "changed after the burn\n");
  EXPECT_FALSE(Verify(*b).finalFailed);

  // One sector of docs/data.bin changes on the medium.
  const TFileEntry* data = File(*b, u"data.bin");
  ASSERT_NE(data, nullptr);
  const uint32_t sector = data->Extent + b->Layout().FileDataStart + b->Layout().SessionStart + 3;
  std::vector<uint8_t> block(2048, 0x5A);
  const uint8_t cdb[10] = {0x2A, 0, static_cast<uint8_t>(sector >> 24), static_cast<uint8_t>(sector >> 16),
                           static_cast<uint8_t>(sector >> 8), static_cast<uint8_t>(sector), 0, 0, 1, 0};
  ASSERT_TRUE(drive().Execute(cdb, block.data(), block.size(), vdrive::DataDirection::kOut).Good());
  Outcome bad = Verify(*b);
  EXPECT_TRUE(bad.finalFailed);
  for (const auto& [id, failed] : bad.files) EXPECT_EQ(failed, id == data->Index) << Utf16ToUtf8(b->GetFileName(id));
}

TEST_F(Verification, AbortStopsWithoutAPassAndReportsAbortedOnce) {
  Insert("cd-r");
  auto b = Burner();
  Compile(*b, {MakeTree("tree", 5)});
  ASSERT_TRUE(BurnTree(*b));
  Outcome o = Verify(*b, true);
  EXPECT_EQ(o.files.size(), 1u);
  EXPECT_EQ(o.finals, 1);
  EXPECT_TRUE(o.finalFailed) << "an aborted verification never reads as passed";
  EXPECT_EQ(b->GetLastErrorCode(), 4u);
  EXPECT_EQ(b->GetLastErrorCode(), 0u);
}

// ---- erase ----

struct EraseCase {
  const char* medium;
  bool quick;
  std::map<uint8_t, int> commands;  // opcode -> how many the erase sent
  uint8_t blankByte1;               // of BLANK, 0 when none
  uint32_t lastZeroLba;             // of the zero writes, when any
};

class Erase : public DriveTest, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(Erase, SendsTheMediumsCommands) {
  const EraseCase& c = GetParam();
  Insert(c.medium);
  {
    auto b = Burner();
    Compile(*b, {MakeTree("tree", 6)});
    ASSERT_TRUE(BurnTree(*b)) << b->GetErrorText();
  }
  auto b = Burner();
  ASSERT_TRUE(b->IsErasable());
  drive().ClearTrace();
  Done done;
  b->OnEraseDone = [&done](const void*, uint8_t, bool failed) { done.Signal(failed); };
  EXPECT_TRUE(b->EraseDisc(c.quick));
  ASSERT_TRUE(done.Wait());
  b->WaitIdle();
  EXPECT_FALSE(done.failed);
  EXPECT_EQ(b->GetComponentStatus(), 0);
  std::map<uint8_t, int> seen;
  for (const auto& [op, n] : c.commands) seen[op] = 0;
  uint8_t blank = 0;
  uint32_t lastWrite = 0;
  for (const vdrive::TraceEntry& e : drive().Trace()) {
    if (c.commands.count(e.opcode)) ++seen[e.opcode];
    if (e.opcode == 0xA1) blank = e.cdb[1];
    if (e.opcode == 0x2A) lastWrite = Get32BEOf(e.cdb.data() + 2);
  }
  EXPECT_EQ(seen, c.commands);
  EXPECT_EQ(blank, c.blankByte1);
  if (c.commands.count(0x2A)) {
    EXPECT_EQ(lastWrite, c.lastZeroLba);
  }
}

INSTANTIATE_TEST_SUITE_P(
    PerMedium, Erase,
    ::testing::Values(EraseCase{"cd-rw", true, {{0xA1, 1}}, 0x11, 0}, EraseCase{"cd-rw", false, {{0xA1, 1}}, 0x10, 0},
                      EraseCase{"dvd-rw", true, {{0xA1, 1}}, 0x11, 0},
                      EraseCase{"dvd-ram", true, {{0x2A, 128}, {0x04, 0}}, 0, 4064},
                      EraseCase{"dvd-ram", false, {{0x04, 1}, {0x2A, 0}}, 0, 0},
                      EraseCase{"dvd+rw", true, {{0x04, 1}, {0x2A, 16}, {0x5B, 1}}, 0, 480},
                      EraseCase{"dvd+rw", false, {{0x04, 1}, {0x2A, 2048}}, 0, 65504},
                      EraseCase{"bd-re", true, {{0x04, 1}, {0x2A, 16}}, 0, 480}));

TEST_F(DriveTest, EventsGoThroughThePosterWithTheComponentAsSender) {
  Insert("cd-rw");
  std::mutex m;
  std::vector<std::function<void()>> posted;
  TDiscBurner b([&](std::function<void()> f) {
    std::lock_guard lock(m);
    posted.push_back(std::move(f));
  });
  b.SetWaitScale(0.001);
  ASSERT_TRUE(b.InitializeDevices(true, library_));
  ASSERT_TRUE(b.SelectDevice(0));
  const void* sender = nullptr;
  int calls = 0;
  b.OnEraseDone = [&](const void* s, uint8_t, bool) {
    sender = s;
    ++calls;
  };
  ASSERT_TRUE(b.EraseDisc(true));
  for (int i = 0; i < 500 && calls == 0; ++i) {
    std::vector<std::function<void()>> run;
    {
      std::lock_guard lock(m);
      run.swap(posted);
    }
    for (auto& f : run) f();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(sender, &b);
}

TEST_F(DriveTest, RefusedBlankGivesOneFailedEraseDone) {
  Insert("cd-rw");
  auto b = Burner();
  Fault("fail A1 sense=5/24/00");
  Done done;
  b->OnEraseDone = [&done](const void*, uint8_t, bool failed) { done.Signal(failed); };
  b->EraseDisc(true);
  ASSERT_TRUE(done.Wait());
  b->WaitIdle();
  EXPECT_EQ(done.count, 1);
  EXPECT_TRUE(done.failed);
  EXPECT_EQ(b->GetComponentStatus(), 0);
}

// ---- faults of a burn ----

TEST_F(DriveTest, UnformattedDvdPlusRwIsFormattedAndTheWriteRetried) {
  Insert("dvd+rw");
  auto b = Burner();
  Compile(*b, {MakeTree("tree", 7)});
  drive().ClearTrace();
  ASSERT_TRUE(BurnTree(*b)) << b->GetErrorText();
  std::vector<std::string> firstWrites;
  for (const vdrive::TraceEntry& e : drive().Trace()) {
    if (e.opcode == 0x04) firstWrites.push_back("format");
    if (e.opcode == 0x2A && firstWrites.size() < 3)
      firstWrites.push_back("write " + std::to_string(Get32BEOf(e.cdb.data() + 2)) + " " + e.status);
  }
  ASSERT_GE(firstWrites.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(firstWrites.begin(), firstWrites.begin() + 3),
            (std::vector<std::string>{"write 0 CHECK", "format", "write 0 GOOD"}));
}

TEST_F(DriveTest, NotReadyWritesAreRetried) {
  Insert("cd-r");
  auto b = Burner();
  Compile(*b, {MakeTree("tree", 8)});
  Fault("fail 2A nth=2 times=3 sense=2/04/08");
  drive().ClearTrace();
  ASSERT_TRUE(BurnTree(*b)) << b->GetErrorText();
  int refused = 0;
  for (const vdrive::TraceEntry& e : drive().Trace())
    if (e.opcode == 0x2A && e.status == "CHECK") ++refused;
  EXPECT_EQ(refused, 3);
  EXPECT_EQ(b->GetWrittenSectors(), b->GetImageSectors());
}

TEST_F(DriveTest, WriteErrorEndsTheBurnWithItsSenseCodeAndStillCloses) {
  Insert("cd-r");
  auto b = Burner();
  Compile(*b, {MakeTree("tree", 9)});
  Fault("write-error 100");
  drive().ClearTrace();
  EXPECT_FALSE(BurnTree(*b));
  EXPECT_EQ(b->GetErrorText(), "Hardware Error 3072");
  bool failedWrite = false, closedAfter = false;
  for (const vdrive::TraceEntry& e : drive().Trace()) {
    if (e.opcode == 0x2A && e.status == "CHECK") failedWrite = true;
    if (failedWrite && e.opcode == 0x5B) closedAfter = true;
  }
  EXPECT_TRUE(failedWrite);
  EXPECT_TRUE(closedAfter);
  EXPECT_EQ(b->GetComponentStatus(), 0);
}

TEST_F(DriveTest, SourceDeletedBeforeTheBurnFailsWithItsPath) {
  Insert("cd-r");
  auto b = Burner();
  const std::string tree = MakeTree("tree", 10);
  Compile(*b, {tree});
  fs::remove(tree + "/docs/data.bin");
  Done done;
  b->OnWriteDone = [&done](const void*, uint8_t, bool failed) { done.Signal(failed); };
  const bool started = b->BurnImageTree();
  ASSERT_TRUE(done.Wait());
  b->WaitIdle();
  EXPECT_FALSE(started);
  EXPECT_EQ(done.count, 1);
  EXPECT_TRUE(done.failed);
  EXPECT_EQ(b->GetErrorText(), "Error opening file \\" + tree + "/docs/data.bin\\");
}

TEST_F(DriveTest, TestWriteSimulatesOrIsRefusedNeverBurnsForReal) {
  Insert("cd-r");
  auto b = Burner();
  b->TestWrite = true;
  Compile(*b, {MakeTree("tree", 13)});
  ASSERT_TRUE(BurnTree(*b)) << b->GetErrorText();
  EXPECT_TRUE(drive().Info().medium.IsBlank()) << "a simulation leaves the disc blank";

  Insert("dvd+r");  // DVD+R cannot simulate: the drive refuses the page
  auto plus = Burner();
  plus->TestWrite = true;
  Compile(*plus, {MakeTree("tree", 13)});
  drive().ClearTrace();
  EXPECT_FALSE(plus->BurnImageTree());
  EXPECT_EQ(plus->GetErrorText(), "Hardware Error 9728");
  for (const vdrive::TraceEntry& e : drive().Trace()) EXPECT_NE(e.opcode, 0x2A);
}

TEST_F(DriveTest, UnpreparedCompilationIsRefused) {
  Insert("cd-r");
  auto b = Burner();
  b->ClearAll();
  EXPECT_FALSE(b->BurnImageTree());
  EXPECT_EQ(b->GetLastErrorCode(), 1u);
}

TEST_F(DriveTest, ImageFileOf700MillionBytesIsWrittenFromSectorZero) {
  Insert("dvd+r");
  const std::string image = src_ / "big.iso";
  {
    const int fd = ::open(image.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 700000000), 0);
    ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
    ASSERT_EQ(::pwrite(fd, "tail", 4, 700000000 - 4), 4);
    ::close(fd);
  }
  auto b = Burner();
  Done done;
  b->OnWriteDone = [&done](const void*, uint8_t, bool failed) { done.Signal(failed); };
  drive().ClearTrace();
  ASSERT_TRUE(b->BurnImageFile(image));
  ASSERT_TRUE(done.Wait(120));
  b->WaitIdle();
  EXPECT_FALSE(done.failed) << b->GetErrorText();
  EXPECT_EQ(b->GetImageSectors(), 341797u);
  EXPECT_EQ(b->GetWrittenSectors(), 341797u);
  uint32_t firstLba = UINT32_MAX;
  for (const vdrive::TraceEntry& e : drive().Trace())
    if (e.opcode == 0x2A) firstLba = std::min(firstLba, Get32BEOf(e.cdb.data() + 2));
  EXPECT_EQ(firstLba, 0u);
  std::vector<uint8_t> last(2048);
  ASSERT_TRUE(drive().ReadBlock(341796, false, last.data()));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(last.data()) + (700000000 - 4) % 2048, 4), "tail");
}

// ---- session import ----

std::set<std::string> LongNames(TDiscBurner& b) {
  std::set<std::string> names;
  for (const auto& e : b.Tree().Files()) names.insert(Utf16ToUtf8(e->LongName));
  return names;
}

TEST_F(DriveTest, ImportDecodesNamesByTheDescriptorItFound) {
  for (const bool joliet : {false, true}) {
    SCOPED_TRACE(joliet ? "Joliet" : "primary only");
    Insert("cd-r");
    {
      auto b = Burner();
      b->JolietFileSystem = joliet;
      Compile(*b, {MakeTree("tree", 11)});
      ASSERT_TRUE(BurnTree(*b));
    }
    auto b = Burner();
    b->ClearAll();
    EXPECT_EQ(b->ImportSession(0), 1);
    const std::set<std::string> names = LongNames(*b);
    const std::set<std::string> expected =
        joliet ? std::set<std::string>{"tree", "a.txt", "docs", "data.bin", "Long file name of a report.txt", "empty"}
               : std::set<std::string>{"TREE", "A.TXT", "DOCS", "DATA.BIN", "EMPTY", "LONG_FIL.TXT"};
    EXPECT_EQ(names.size(), expected.size());
    for (const char* n : {"a.txt", "data.bin", "empty"}) {
      std::string name = n;
      if (!joliet)
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_TRUE(names.count(name)) << name;
    }
    for (const auto& e : b->Tree().Files()) {
      if (!e->IsDirectory()) {
        EXPECT_TRUE(e->Attributes & kAttrImported) << Utf16ToUtf8(e->LongName);
      }
    }
  }
}

TEST_F(DriveTest, CompilationEntriesWinOverImportedOnesInEitherOrder) {
  Insert("cd-r");
  {
    auto b = Burner();
    Compile(*b, {MakeTree("tree", 12)});
    ASSERT_TRUE(BurnTree(*b));
  }
  const std::string newer = src_ / "newer/tree";
  WriteFile(newer + "/a.txt", "newer\n");
  auto b = Burner();
  b->ClearAll();
  b->SetReplaceFile(true);
  SourceTreeWalker walker(*b, [](const std::string&) {});
  ASSERT_TRUE(walker.AddPath(newer, nullptr));
  b->ImportSession(0);  // after the compilation: the imported a.txt must not replace the new one
  const TFileEntry* a = nullptr;
  int files = 0;
  for (const auto& e : b->Tree().Files()) {
    if (e->LongName == u"a.txt") a = e.get();
    files += !e->IsDirectory();
  }
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->SourcePath, newer + "/a.txt");
  EXPECT_FALSE(a->ExtentIsAbsolute);
  EXPECT_EQ(files, 4);  // a.txt (new) and the three imported files
}

TEST_F(DriveTest, WithoutOpticalNodesDiscoveryFallsBackToTheAspiLibrary) {
  Insert("cd-r");
  TDiscBurner b;
  TempDir noDevices;
  b.Device().DevFolder = noDevices.path().string();
  ASSERT_TRUE(b.InitializeDevices(false, library_));
  EXPECT_FALSE(b.Device().UsePassThrough);
  ASSERT_GE(b.GetDeviceCount(), 1);
  EXPECT_EQ(b.Device().Slots[0].DriveLetter, 'D');
  EXPECT_TRUE(b.SelectDeviceByLetter('d'));
  EXPECT_TRUE(b.IsRecorder());
  EXPECT_EQ(b.GetMediaType(), MediaCdR);
}

}  // namespace
}  // namespace qvr::data::test
