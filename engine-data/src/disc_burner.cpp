#include "qvr/data/disc_burner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "qvr/data/byte_fields.h"
#include "qvr/data/el_torito.h"
#include "qvr/data/image_file_sink.h"
#include "qvr/data/image_producer.h"
#include "qvr/data/iso_writer.h"
#include "qvr/data/slot_ring.h"
#include "qvr/data/source_files.h"
#include "qvr/data/text.h"
#include "qvr/data/write_job.h"

namespace qvr::data {

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint32_t kMaxCacheMiB = 625;  // 10,000 slots

}  // namespace

TDiscBurner::TDiscBurner(Poster poster)
    : poster_(std::move(poster)),
      alive_(std::make_shared<std::atomic<bool>>(true)),
      device_(std::make_unique<TSCSIDevice>()) {
  device_->Version = Version();
}

TDiscBurner::~TDiscBurner() {
  alive_->store(false);
  abortFlag_.store(true);
  if (ring_) ring_->Abort();
  ReleaseJob();
  JoinDriveJob();
  CloseDevice(*device_);
}

void TDiscBurner::SetVolumeID(std::string_view utf8) {
  volumeId16_ = Utf8ToUtf16(utf8);
  if (volumeId16_.size() > 32) {
    std::size_t n = 32;
    if (volumeId16_[n - 1] >= 0xD800 && volumeId16_[n - 1] < 0xDC00) --n;
    volumeId16_.resize(n);
  }
  volumeId_ = Utf16ToUtf8(volumeId16_);
}

uint32_t TDiscBurner::CacheSize() const { return static_cast<uint32_t>(cacheBytes_ / kMiB); }

void TDiscBurner::SetCacheSize(uint32_t mib) {
  cacheBytes_ = std::clamp<uint64_t>(uint64_t{mib} * kMiB, SlotRing::kMinCacheBytes, kMaxCacheMiB * kMiB);
}

void TDiscBurner::SetBootImage(const std::string& path) {
  if (path.empty()) return;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !IsBootImageSize(st.st_size)) return;
  bootImagePath_ = path;
  bootImageSize_ = static_cast<uint32_t>(st.st_size);
}

std::string TDiscBurner::Version() const { return std::string("Quorvella data engine ") + QVR_VERSION; }

bool TDiscBurner::BeginJob() {
  if (writer_ && writer_->OnThisThread()) return false;  // not from inside OnWriteDone on the worker
  if (busy_.load()) return false;
  ReleaseJob();
  return true;
}

void TDiscBurner::ReleaseJob() {
  writer_.reset();
  producer_.reset();
  ring_.reset();
}

void TDiscBurner::WaitIdle() {
  if (writer_) writer_->Join();
}

void TDiscBurner::ClearAll() {
  if (busy_.load()) {
    Abort();
    WaitIdle();
  }
  tree_.ClearAll();
  bootImagePath_.clear();
  bootImageSize_ = 0;
  layout_ = ImageLayout{};
}

AddResult TDiscBurner::AddFileTo(TDirEntry* dir, const std::string& sourcePath, std::u16string_view shortName,
                                 std::u16string_view longName) {
  std::optional<FindRecord> fd = FindSource(sourcePath);
  if (!fd || (fd->attributes & kAttrDirectory)) return {nullptr, AddStatus::NotFound};
  fd->fileName = std::u16string(longName);
  fd->alternateName = std::u16string(shortName);
  return AddFoundFile(dir, sourcePath, std::move(*fd));
}

AddResult TDiscBurner::AddFoundFile(TDirEntry* dir, const std::string& sourcePath, FindRecord fd) {
  if (busy_.load()) return {nullptr, AddStatus::Refused};
  if (!dir) return {nullptr, AddStatus::NoDirectory};
  if (fd.attributes & kAttrDirectory) return {nullptr, AddStatus::NotFound};
  return tree_.AddEntry(dir, fd, true, 0, &sourcePath);
}

AddResult TDiscBurner::AddFile(std::u16string_view imagePath, const std::string& sourcePath,
                               std::u16string_view shortName, std::u16string_view longName) {
  if (imagePath.size() > 1 && imagePath.back() == u'\\') imagePath.remove_suffix(1);
  TDirEntry* dir = tree_.FindDirectory(imagePath);
  if (!FindSource(sourcePath)) return {nullptr, AddStatus::NotFound};
  if (!dir) return {nullptr, AddStatus::NoDirectory};
  return AddFileTo(dir, sourcePath, shortName, longName);
}

TDirEntry* TDiscBurner::AddDirectoryTo(TDirEntry* parent, std::u16string_view name) {
  if (!parent || busy_.load()) return nullptr;
  FindRecord fd;
  fd.attributes = kAttrDirectory;
  fd.lastWriteTime = std::time(nullptr);
  fd.fileName = std::u16string(name);
  fd.alternateName = std::u16string(name.substr(0, 11));
  return tree_.AddDirectoryEntry(parent, fd);
}

TDirEntry* TDiscBurner::AddDirectory(std::u16string_view imagePath, std::u16string_view name) {
  return AddDirectoryTo(tree_.FindDirectory(imagePath), name);
}

std::u16string TDiscBurner::GetFileName(int index) const {
  if (index < 0 || index >= GetFileCount()) return {};
  return tree_.Files()[static_cast<std::size_t>(index)]->LongName;
}

ImageOptions TDiscBurner::Options() const {
  ImageOptions o;
  o.joliet = JolietFileSystem;
  o.iso1999 = ISO9660v1999FS;
  o.udf = UDFBridge;
  o.volumeId = volumeId_;
  o.volumeId16 = volumeId16_;
  o.bootImagePath = bootImagePath_;
  o.bootImageSize = bootImageSize_;
  return o;
}

uint32_t TDiscBurner::PrepareImage() {
  if (busy_.load()) return 0;
  state_.SetStatus(TComponentStatus::Preparing);
  const uint32_t size = PrepareLayout(tree_, Options(), udf_, layout_);
  state_.totalSectors.store(layout_.TotalSectors);
  tree_.Prepared = true;
  preparedOptions_ = Options();
  state_.SetStatus(TComponentStatus::Idle);
  return size;
}

bool TDiscBurner::SaveImageFile(const std::string& fileName) {
  if (!tree_.Prepared) {
    state_.SetError(DataNotPrepared);
    return false;
  }
  if (busy_.load()) return false;
  auto sink = std::make_unique<ImageFileSink>(state_);
  if (!sink->Create(fileName)) {
    state_.SetError(ErrorCreatingFile, fileName);
    return false;
  }
  return StartBurn({std::move(sink), 0, 0, 0, 0, 16});
}

bool TDiscBurner::StartBurn(BurnTarget target) {
  // An image whose options changed after PrepareImage would not match its layout.
  if (!tree_.Prepared || !(preparedOptions_ == Options())) {
    state_.SetError(DataNotPrepared);
    return false;
  }
  if (!BeginJob()) return false;
  layout_.SessionStart = target.sessionStart;
  layout_.VolumeBase = target.volumeBase;
  const ImageOptions options = Options();
  udf_.SetSessionOffset(target.udfSessionOffset);
  TreeStreamPlan plan;
  plan.tree = &tree_;
  plan.layout = &layout_;
  plan.header = WriteHeader(tree_, options, layout_, udf_);
  plan.udf = options.udf ? &udf_ : nullptr;
  plan.bootImagePath = options.bootImagePath;
  plan.bootImageSize = options.bootImageSize;
  state_.totalSectors.store(layout_.TotalSectors);
  return RunJob(std::move(target.sink), target.firstLba, target.slotsPerWrite,
                [&plan](ImageProducer& producer) { producer.StartTree(std::move(plan)); });
}

bool TDiscBurner::StartImageFileBurn(const std::string& fileName, std::unique_ptr<ImageSink> sink,
                                     uint32_t slotsPerWrite) {
  if (!BeginJob()) return false;
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    state_.SetError(ErrorOpeningFile, fileName);
    return false;
  }
  const auto size = static_cast<uint64_t>(st.st_size);
  state_.totalSectors.store(static_cast<uint32_t>(SectorsFor(size)));
  return RunJob(std::move(sink), 0, slotsPerWrite, [fd, size](ImageProducer& producer) { producer.StartImageFile(fd, size); });
}

bool TDiscBurner::RunJob(std::unique_ptr<ImageSink> sink, uint32_t firstLba, uint32_t slotsPerWrite,
                         const std::function<void(ImageProducer&)>& start) {
  busy_.store(true);
  state_.TakeError(nullptr);
  state_.dataSectors.store(0);
  state_.writtenSectors.store(0);
  state_.cachingFileIndex.store(0);
  state_.writingFileIndex.store(0);
  ring_ = std::make_unique<SlotRing>(SlotRing::SlotLimitFor(cacheBytes_));
  producer_ = std::make_unique<ImageProducer>(*ring_, state_);
  start(*producer_);
  if (!ring_->WaitReady()) {
    producer_->Join();
    sink.reset();  // a partly written image file is removed
    state_.SetStatus(state_.Error() == OperationAborted ? TComponentStatus::Aborted : TComponentStatus::Idle);
    busy_.store(false);
    ReportWriteDone(this, true);
    return false;
  }
  writer_ = std::make_unique<WriteJob>(*ring_, *producer_, std::move(sink), state_, firstLba, [this](bool failed) {
    busy_.store(false);
    ReportWriteDone(writer_.get(), failed);
  }, slotsPerWrite);
  state_.SetStatus(TComponentStatus::Writing);  // at once, so a poll right after the start sees it
  writer_->Start();
  return true;
}

void TDiscBurner::Deliver(std::function<void(const void* sender)> event, const void* workerSender) {
  if (poster_) {
    std::weak_ptr<std::atomic<bool>> alive = alive_;
    poster_([this, alive, event = std::move(event)] {
      const auto token = alive.lock();
      if (token && token->load()) event(this);
    });
  } else {
    event(workerSender);
  }
}

void TDiscBurner::ReportWriteDone(const void* workerSender, bool failed) {
  if (!OnWriteDone) return;
  Deliver([this, failed](const void* sender) {
    if (OnWriteDone) OnWriteDone(sender, 0, failed);
  }, workerSender);
}

void TDiscBurner::Abort() {
  state_.SetError(OperationAborted);
  state_.SetStatus(TComponentStatus::Aborted);
  abortFlag_.store(true);
  if (ring_) ring_->Abort();
}

uint32_t TDiscBurner::GetLastErrorCode() {
  const uint32_t code = state_.TakeError(&lastErrorSubject_);
  if (code != 0) return code;
  lastErrorSubject_.clear();
  return device_->LastSense.exchange(0);
}

std::string TDiscBurner::GetErrorText() {
  uint32_t code = 0;
  return GetErrorText(code);
}

std::string TDiscBurner::GetErrorText(uint32_t& code) {
  code = GetLastErrorCode();
  return EngineErrorText(code, lastErrorSubject_);
}

uint32_t TDiscBurner::GetCacheFill() const { return ring_ ? ring_->SlotCount() * SlotRing::kSlotBytes : 0; }

}  // namespace qvr::data
