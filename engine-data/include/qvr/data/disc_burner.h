#pragma once
// TDiscBurner: the one object through which the application uses the data
// engine. This is its image side - the tree, the layout, the image cache and
// image files - built from the pieces beside it; the drive side (transport,
// drive model, burning to a disc, verification, erase, session import) plugs
// in through StartBurn/StartImageFileBurn with a sink of its own.
//
// Completion events go through the poster given at construction, which runs a
// callable on the owner's thread; without a poster they are raised on the
// worker thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "qvr/data/engine_state.h"
#include "qvr/data/image_layout.h"
#include "qvr/data/image_sink.h"
#include "qvr/data/image_tree.h"
#include "qvr/data/udf_bridge.h"

namespace qvr::data {

class SlotRing;
class ImageProducer;
class WriteJob;

using Poster = std::function<void(std::function<void()>)>;
// Sender is the component when the event was posted, the write job otherwise.
using TWriteDoneEvent = std::function<void(const void* sender, uint8_t deviceId, bool writeFailed)>;

// Where a burn of the compilation goes and where on the medium it starts.
struct BurnTarget {
  std::unique_ptr<ImageSink> sink;
  uint32_t sessionStart = 0;      // first sector of the new session
  uint32_t volumeBase = 0;        // size of a volume the new descriptors extend
  uint32_t udfSessionOffset = 0;  // added to UDF sector numbers
  uint32_t firstLba = 0;          // sector the sink receives the image at
};

class TDiscBurner {
 public:
  explicit TDiscBurner(Poster poster = {});
  ~TDiscBurner();
  TDiscBurner(const TDiscBurner&) = delete;
  TDiscBurner& operator=(const TDiscBurner&) = delete;

  // Published properties (constructor values as the component has them).
  bool BurnProof = true;
  bool TestWrite = false;
  bool FinalizeDisc = false;
  bool JolietFileSystem = true;
  bool ISO9660v1999FS = false;
  bool UDFBridge = false;
  TWriteDoneEvent OnWriteDone;

  bool ReplaceFile() const { return tree_.ReplaceFile; }
  void SetReplaceFile(bool on) { tree_.ReplaceFile = on; }
  std::string VolumeID() const { return volumeId_; }
  void SetVolumeID(std::string_view utf8);  // cut to 32 characters
  uint32_t CacheSize() const;               // MiB
  void SetCacheSize(uint32_t mib);          // at least 2, at most 625
  std::string BootImage() const { return bootImagePath_; }
  // Accepts only a file of an El Torito size; anything else leaves the
  // previous value. An empty path does nothing.
  void SetBootImage(const std::string& path);
  void SetOnAddFile(TAddFileEvent handler) { tree_.OnAddFile = std::move(handler); }
  std::string Version() const;

  // The tree. Image paths use "\" ("\", "\docs\2009\"); source paths are native.
  void ClearAll();
  AddResult AddFile(std::u16string_view imagePath, const std::string& sourcePath, std::u16string_view shortName,
                    std::u16string_view longName);
  TDirEntry* AddDirectory(std::u16string_view imagePath, std::u16string_view name);
  // The same, into a directory already in hand (no path lookup; names may hold "\").
  AddResult AddFileTo(TDirEntry* dir, const std::string& sourcePath, std::u16string_view shortName,
                      std::u16string_view longName);
  TDirEntry* AddDirectoryTo(TDirEntry* parent, std::u16string_view name);
  // A file whose find record the caller has read already (FindSource).
  AddResult AddFoundFile(TDirEntry* dir, const std::string& sourcePath, FindRecord fd);
  int GetFileCount() const { return static_cast<int>(tree_.Files().size()); }
  int GetDirCount() const { return static_cast<int>(tree_.Directories().size()); }
  std::u16string GetFileName(int index) const;

  // Lays out the image; returns its size in sectors before rounding.
  uint32_t PrepareImage();
  // Writes the prepared image into a file; the end is reported by OnWriteDone.
  bool SaveImageFile(const std::string& fileName);

  // Starts streaming the prepared image to target.sink (the drive side passes
  // its own sink). Waits until the cache is filled; false (and OnWriteDone with
  // WriteFailed) when the producer failed first.
  bool StartBurn(BurnTarget target);
  // Streams an existing image file to sink; false with engine error 2 when
  // the file cannot be opened.
  bool StartImageFileBurn(const std::string& fileName, std::unique_ptr<ImageSink> sink);

  void Abort();
  uint16_t GetComponentStatus() const { return state_.status.load(); }
  uint32_t GetLastErrorCode();
  std::string GetErrorText();
  uint32_t GetImageSectors() const { return state_.totalSectors.load(); }
  uint32_t GetWrittenSectors() const { return state_.writtenSectors.load(); }
  uint32_t GetCacheFill() const;
  uint32_t GetDataSectors() const { return state_.dataSectors.load(); }
  int32_t GetCachingFileIndex() const { return state_.cachingFileIndex.load(); }
  int32_t GetWritingFileIndex() const { return state_.writingFileIndex.load(); }

  // For the drive side: the sense code (ASC * 256 + ASCQ) of the last failed
  // command, reported by GetLastErrorCode when no engine error is pending.
  void RecordSenseCode(uint32_t code) { senseCode_.store(code); }
  ImageTree& Tree() { return tree_; }
  const ImageLayout& Layout() const { return layout_; }
  EngineState& State() { return state_; }
  // Blocks until a running write job has ended.
  void WaitIdle();

 private:
  ImageOptions Options() const;
  bool BeginJob();
  void ReleaseJob();
  bool RunJob(std::unique_ptr<ImageSink> sink, uint32_t firstLba, const std::function<void(ImageProducer&)>& start);
  void ReportWriteDone(const void* workerSender, bool failed);

  Poster poster_;
  std::shared_ptr<std::atomic<bool>> alive_;
  ImageTree tree_;
  ImageLayout layout_;
  UdfBridge udf_;
  EngineState state_;
  std::string volumeId_;
  std::u16string volumeId16_;
  uint64_t cacheBytes_ = 32ull << 20;
  std::string bootImagePath_;
  uint32_t bootImageSize_ = 0;
  std::atomic<uint32_t> senseCode_{0};
  std::atomic<bool> busy_{false};
  ImageOptions preparedOptions_;
  std::string lastErrorSubject_;

  std::unique_ptr<SlotRing> ring_;
  std::unique_ptr<ImageProducer> producer_;
  std::unique_ptr<WriteJob> writer_;
};

}  // namespace qvr::data
