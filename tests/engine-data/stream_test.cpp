#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "qvr/data/byte_fields.h"
#include "qvr/data/disc_burner.h"
#include "qvr/data/image_file_sink.h"
#include "qvr/data/md5_stream.h"
#include "qvr/data/slot_ring.h"
#include "test_support.h"

namespace qvr::data {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteFile;

std::string Md5(const std::string& text, std::size_t piece) {
  TMD5Stream md5;
  for (std::size_t at = 0; at < text.size(); at += piece) md5.Write(text.data() + at, std::min(piece, text.size() - at));
  return md5.FinishText();
}

TEST(TMD5Stream, DigestsOfRfc1321Vectors) {
  const struct {
    std::string text, digest;
  } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {std::string(56, 'x'), "668A72D5BA17F08E62DABCAFAD6DB14B"},  // padding needs a second block
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"},
  };
  for (const auto& c : cases)
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{1000}})
      EXPECT_EQ(Md5(c.text, piece), c.digest) << c.text.size() << " bytes in pieces of " << piece;
  TMD5Stream md5;
  char b;
  EXPECT_EQ(md5.Read(&b, 1), 0u);
}

TEST(ImageCache, CacheSizeAndSlotCount) {
  const struct {
    uint32_t set, get, slots;
  } cases[] = {{0, 2, 32}, {1, 2, 32}, {2, 2, 32}, {32, 32, 512}, {625, 625, 10000}, {5000, 625, 10000}};
  for (const auto& c : cases) {
    TDiscBurner burner;
    burner.SetCacheSize(c.set);
    EXPECT_EQ(burner.CacheSize(), c.get) << c.set;
    EXPECT_EQ(SlotRing::SlotLimitFor(uint64_t{burner.CacheSize()} << 20), c.slots) << c.set;
  }
}

TEST(SlotRing, DeliversSlotsInOrderAndAbortWakesBothSides) {
  SlotRing ring(4);
  std::thread producer([&] {
    for (uint32_t i = 0; i < 100; ++i) {
      uint8_t* slot = ring.AcquireSlot();
      ASSERT_NE(slot, nullptr);
      std::memset(slot, static_cast<int>(i), SlotRing::kSlotBytes);
      ring.PublishSlot(SlotRing::kSlotBytes - i, static_cast<int32_t>(i));
    }
    ring.Close();
  });
  EXPECT_TRUE(ring.WaitReady());
  std::vector<uint8_t> buffer(SlotRing::kSlotBytes);
  for (uint32_t i = 0; i < 100; ++i) {
    SlotRing::SlotView view;
    ASSERT_TRUE(ring.WaitFront(view));
    EXPECT_EQ(view.fileIndex, static_cast<int32_t>(i));
    EXPECT_LE(ring.SlotCount(), 4u);
    ring.ReleaseFront();
    (void)view;
  }
  SlotRing::SlotView none;
  EXPECT_FALSE(ring.WaitFront(none)) << "closed and drained";
  producer.join();

  SlotRing blocked(2);
  std::atomic<int> woken{0};
  std::thread full([&] {
    while (blocked.AcquireSlot() != nullptr) blocked.PublishSlot(1, 0);
    ++woken;
  });
  SlotRing empty(2);
  std::thread starving([&] {
    SlotRing::SlotView v;
    EXPECT_FALSE(empty.WaitFront(v));
    ++woken;
  });
  EXPECT_TRUE(blocked.WaitReady());
  blocked.Abort();
  empty.Abort();
  full.join();
  starving.join();
  EXPECT_EQ(woken.load(), 2);
  EXPECT_FALSE(blocked.WaitReady());
  EXPECT_EQ(blocked.TakeSlot(buffer.data()), 0u);
}

// Runs a save to completion; returns WriteFailed.
bool SaveAndWait(TDiscBurner& burner, const std::string& path, bool* started = nullptr) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false, failed = false;
  burner.OnWriteDone = [&](const void*, uint8_t, bool f) {
    std::lock_guard lock(m);
    done = true;
    failed = f;
    cv.notify_all();
  };
  const bool ok = burner.SaveImageFile(path);
  if (started) *started = ok;
  std::unique_lock lock(m);
  cv.wait_for(lock, std::chrono::seconds(30), [&] { return done; });
  EXPECT_TRUE(done) << "OnWriteDone is always reported";
  lock.unlock();
  burner.WaitIdle();
  burner.OnWriteDone = nullptr;
  return failed;
}

TEST(ImageStream, FilesStartOnSectorsAndTheImageIsWholeSlots) {
  TempDir dir;
  WriteFile(dir / "a", "A");
  const std::string b(3000, 'b');
  WriteFile(dir / "b", b);
  TDiscBurner burner;
  burner.ClearAll();
  ASSERT_TRUE(burner.AddFile(u"\\", dir / "a", u"", u"a"));
  ASSERT_TRUE(burner.AddFile(u"\\", dir / "b", u"", u"b"));
  burner.PrepareImage();
  EXPECT_FALSE(SaveAndWait(burner, dir / "x.iso"));
  const uint32_t start = burner.Layout().FileDataStart;
  const auto data = ReadBytes(dir / "x.iso", uint64_t{start} * 2048, 3 * 2048 + 1);
  EXPECT_EQ(data[0], 'A');
  EXPECT_EQ(std::vector<uint8_t>(data.begin() + 1, data.begin() + 2048), std::vector<uint8_t>(2047, 0));
  EXPECT_EQ(std::string(data.begin() + 2048, data.begin() + 2048 + 3000), b) << "next file at the next sector";
  EXPECT_EQ(data[2048 + 3000], 0);
  EXPECT_EQ(std::filesystem::file_size(dir / "x.iso") % 65536, 0u);
  EXPECT_EQ(burner.GetWrittenSectors(), burner.GetImageSectors());
  EXPECT_EQ(burner.GetDataSectors(), 3u);
  EXPECT_EQ(burner.GetWritingFileIndex(), 1);
  EXPECT_EQ(burner.GetComponentStatus(), 0);
}

TEST(TDiscBurner, ErrorCodesAndTexts) {
  TempDir dir;
  TDiscBurner burner;
  EXPECT_EQ(burner.GetErrorText(), "Unknown/No Error!");
  EXPECT_EQ(burner.GetFileName(-1), u"");
  EXPECT_EQ(burner.GetFileName(0), u"");
  burner.Abort();
  EXPECT_EQ(burner.GetComponentStatus(), 7);
  EXPECT_EQ(burner.GetLastErrorCode(), 4u);
  EXPECT_EQ(burner.GetLastErrorCode(), 0u);

  burner.ClearAll();
  EXPECT_FALSE(burner.SaveImageFile(dir / "never.iso")) << "not prepared";
  EXPECT_EQ(burner.GetErrorText(), "Data not prepared ");
  burner.PrepareImage();
  burner.JolietFileSystem = false;
  EXPECT_FALSE(burner.SaveImageFile(dir / "never.iso")) << "options changed after the layout";
  EXPECT_EQ(burner.GetLastErrorCode(), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir / "never.iso"));

  burner.PrepareImage();
  EXPECT_FALSE(burner.SaveImageFile(dir / "no/such/folder.iso"));
  EXPECT_EQ(burner.GetErrorText(), "Error creating file \\" + (dir / "no/such/folder.iso") + "\\");
  burner.RecordSenseCode(0x0401);
  EXPECT_EQ(burner.GetErrorText(), "Hardware Error 1025");
  EXPECT_EQ(burner.GetErrorText(), "Unknown/No Error!");
}

TEST(TDiscBurner, MissingSourceFailsTheSaveAndLeavesNoImage) {
  TempDir dir;
  WriteFile(dir / "gone.txt", "soon gone");
  TDiscBurner burner;
  burner.ClearAll();
  ASSERT_TRUE(burner.AddFile(u"\\", dir / "gone.txt", u"", u"gone.txt"));
  EXPECT_FALSE(burner.AddFile(u"\\", dir / "never.txt", u"", u"never.txt"));
  EXPECT_EQ(burner.AddFile(u"\\nowhere\\", dir / "gone.txt", u"", u"x").status, AddStatus::NoDirectory);
  burner.PrepareImage();
  std::filesystem::remove(dir / "gone.txt");
  bool started = true;
  EXPECT_TRUE(SaveAndWait(burner, dir / "out.iso", &started)) << "WriteFailed";
  EXPECT_FALSE(started);
  EXPECT_EQ(burner.GetErrorText(), "Error opening file \\" + (dir / "gone.txt") + "\\");
  EXPECT_FALSE(std::filesystem::exists(dir / "out.iso"));
}

// Stands in for a drive: holds every write until released.
class GateSink final : public ImageSink {
 public:
  std::atomic<bool> open{false};
  std::atomic<uint32_t> writes{0};
  std::atomic<bool> closedFailed{false};
  bool Write(const uint8_t*, uint32_t, uint32_t) override {
    while (!open) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ++writes;
    return true;
  }
  bool Close(bool failed) override {
    closedFailed = failed;
    return true;
  }
};

TEST(TDiscBurner, AbortStopsABurnThroughAnySink) {
  TempDir dir;
  WriteFile(dir / "big", std::string(8 << 20, 'z'));
  TDiscBurner burner;
  burner.SetCacheSize(2);
  burner.ClearAll();
  ASSERT_TRUE(burner.AddFile(u"\\", dir / "big", u"", u"big"));
  burner.PrepareImage();
  std::atomic<int> reports{0};
  std::atomic<bool> failed{false};
  burner.OnWriteDone = [&](const void*, uint8_t, bool f) {
    failed = f;
    ++reports;
  };
  auto sink = std::make_unique<GateSink>();
  GateSink* gate = sink.get();
  ASSERT_TRUE(burner.StartBurn({std::move(sink), 0, 0, 0, 0}));
  EXPECT_EQ(burner.GetCacheFill(), 32u * 65536) << "started once the cache is full";
  EXPECT_EQ(burner.GetComponentStatus(), 1);
  EXPECT_FALSE(burner.SaveImageFile(dir / "second.iso")) << "one operation at a time";
  burner.Abort();
  gate->open = true;
  burner.WaitIdle();
  EXPECT_EQ(reports.load(), 1);
  EXPECT_TRUE(failed.load());
  EXPECT_TRUE(gate->closedFailed.load());
  EXPECT_LT(gate->writes.load(), 8u * 16);
  EXPECT_EQ(burner.GetLastErrorCode(), 4u);
}

TEST(TDiscBurner, PosterCarriesOnWriteDoneToTheOwnerThread) {
  TempDir dir;
  std::mutex m;
  std::deque<std::function<void()>> posted;
  TDiscBurner burner([&](std::function<void()> f) {
    std::lock_guard lock(m);
    posted.push_back(std::move(f));
  });
  std::thread::id ranOn;
  const void* sender = nullptr;
  burner.OnWriteDone = [&](const void* s, uint8_t, bool) {
    ranOn = std::this_thread::get_id();
    sender = s;
  };
  burner.ClearAll();
  burner.PrepareImage();
  ASSERT_TRUE(burner.SaveImageFile(dir / "p.iso"));
  burner.WaitIdle();
  EXPECT_EQ(sender, nullptr) << "nothing runs until the owner runs what was posted";
  std::lock_guard lock(m);
  ASSERT_EQ(posted.size(), 1u);
  posted.front()();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(sender, &burner);

  TDiscBurner unowned;
  unowned.OnWriteDone = [&](const void* s, uint8_t, bool) {
    ranOn = std::this_thread::get_id();
    sender = s;
  };
  unowned.ClearAll();
  unowned.PrepareImage();
  ASSERT_TRUE(unowned.SaveImageFile(dir / "q.iso"));
  unowned.WaitIdle();
  EXPECT_NE(ranOn, std::this_thread::get_id()) << "without a poster: on the worker thread";
  EXPECT_NE(sender, &unowned);
}

TEST(TDiscBurner, StreamsAnExistingImageFileAsItIs) {
  TempDir dir;
  std::string image(70000, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
  WriteFile(dir / "in.iso", image);
  TDiscBurner burner;
  std::atomic<bool> failed{true};
  burner.OnWriteDone = [&](const void*, uint8_t, bool f) { failed = f; };
  auto sink = std::make_unique<ImageFileSink>(burner.State());
  ASSERT_TRUE(sink->Create(dir / "copy.iso"));
  ASSERT_TRUE(burner.StartImageFileBurn(dir / "in.iso", std::move(sink)));
  burner.WaitIdle();
  EXPECT_FALSE(failed.load());
  EXPECT_EQ(burner.GetImageSectors(), 35u);
  EXPECT_EQ(burner.GetWrittenSectors(), 35u);
  const auto copy = ReadBytes(dir / "copy.iso");
  EXPECT_EQ(std::string(copy.begin(), copy.end()), image);

  EXPECT_FALSE(burner.StartImageFileBurn(dir / "missing.iso", std::make_unique<ImageFileSink>(burner.State())));
  EXPECT_EQ(burner.GetErrorText(), "Error opening file \\" + (dir / "missing.iso") + "\\");
}

TEST(TDiscBurner, BootImageAcceptsOnlyElToritoSizes) {
  TempDir dir;
  WriteFile(dir / "good.img", std::string(2048, 'g'));
  WriteFile(dir / "odd.img", std::string(1000, 'o'));
  TDiscBurner burner;
  burner.SetBootImage(dir / "good.img");
  burner.SetBootImage(dir / "odd.img");
  burner.SetBootImage("");
  EXPECT_EQ(burner.BootImage(), dir / "good.img");
  burner.SetVolumeID(std::string(40, 'v'));
  EXPECT_EQ(burner.VolumeID(), std::string(32, 'v'));
}

}  // namespace
}  // namespace qvr::data
