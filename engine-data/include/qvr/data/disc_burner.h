#pragma once
// TDiscBurner: the one object through which the application uses the data
// engine. It owns the image side (the tree, the layout, the image cache and
// image files) and the drive side (the device record with its transport and
// drive model, burning to a disc, verification, erase, session import), each
// built from the pieces beside it; the component forwards to them.
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
#include <thread>
#include <vector>

#include "qvr/data/engine_state.h"
#include "qvr/data/image_layout.h"
#include "qvr/data/image_sink.h"
#include "qvr/data/image_tree.h"
#include "qvr/data/scsi_device.h"
#include "qvr/data/udf_bridge.h"

namespace qvr::data {

class SlotRing;
class ImageProducer;
class WriteJob;

using Poster = std::function<void(std::function<void()>)>;
// Sender is the component when the event was posted, the write job otherwise.
using TWriteDoneEvent = std::function<void(const void* sender, uint8_t deviceId, bool writeFailed)>;
using TEraseDoneEvent = std::function<void(const void* sender, uint8_t deviceId, bool eraseFailed)>;
// FileId is the file-table index, or -1 for the final result.
using TVerifyDoneEvent = std::function<void(const void* sender, uint8_t deviceId, int32_t fileId, bool failed)>;
using TSmartRefGenDoneEvent = std::function<void(const void* sender, bool failed, int32_t canSaveBytes)>;

// Where a burn of the compilation goes and where on the medium it starts.
struct BurnTarget {
  std::unique_ptr<ImageSink> sink;
  uint32_t sessionStart = 0;      // first sector of the new session
  uint32_t volumeBase = 0;        // size of a volume the new descriptors extend
  uint32_t udfSessionOffset = 0;  // added to UDF sector numbers
  uint32_t firstLba = 0;          // sector the sink receives the image at
  uint32_t slotsPerWrite = 16;    // a drive takes one slot per WRITE command
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
  TEraseDoneEvent OnEraseDone;
  TVerifyDoneEvent OnVerifyDone;
  TSmartRefGenDoneEvent OnGenerateSmartReferencesDone;  // no operation raises it

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
  bool StartImageFileBurn(const std::string& fileName, std::unique_ptr<ImageSink> sink, uint32_t slotsPerWrite = 16);

  // ---- drives (disc_burner_drive.cpp) ----
  // Discovery; aspiLibrary empty = the default library, logFile empty = no log.
  bool InitializeDevices(bool useAspi, const std::string& aspiLibrary = {}, const std::string& logFile = {});
  uint16_t GetDeviceCount() const { return device_->DeviceCount; }
  std::string GetDeviceName(int index) const;
  bool SelectDevice(int index);
  bool SelectDeviceByLetter(char letter);
  uint8_t QueryDevice(uint8_t code);
  bool RefreshUnit();
  bool IsUnitReady();
  bool IsRecorder();
  bool LoadMedium(bool immediate);
  bool EjectMedium(bool immediate);
  uint8_t GetMediaType();
  bool IsErasable();
  bool IsDiscWritable();
  int GetSessionCount();
  uint32_t GetFreeBlocks();
  uint32_t GetDiscCapacity();
  uint16_t GetMaxWriteSpeed();
  uint16_t GetCurrentWriteSpeed();
  uint16_t GetCurrentReadSpeed();
  uint16_t GetDefaultMaxWriteSpeed();
  uint16_t GetDefaultMaxReadSpeed();
  bool SetSpeeds(uint16_t readSpeed, uint16_t writeSpeed);
  uint32_t GetDriveBufferSize() const { return device_->DriveBufferLength.load(); }
  uint32_t GetDriveBufferUsed() const;
  bool FlushDriveCache();
  uint16_t GetWriteRate();
  uint16_t GetReadRate();
  // The optical nodes that exist but cannot be opened, with cause and fix.
  const std::vector<std::string>& AccessProblems() const { return device_->AccessProblems; }
  // Why the ASPI library could not be used (empty when it could).
  const std::string& AspiError() const { return device_->AspiError; }

  // Burns the prepared compilation to the selected drive; the end is
  // reported by OnWriteDone. False (engine error 1) for an unprepared
  // compilation.
  bool BurnImageTree();
  // Burns an existing image file from sector 0.
  bool BurnImageFile(const std::string& fileName);
  // Erases the disc on a worker thread; OnEraseDone reports the end once.
  // False (nothing started) while another disc operation runs; the same
  // holds for VerifyDisc, the burns, SelectDevice and InitializeDevices.
  bool EraseDisc(bool quick);
  // Compares every written source file with the disc; OnVerifyDone per file
  // and once with FileId -1.
  bool VerifyDisc(uint8_t deviceId, bool flag);
  uint32_t GetVerifiedSectors() const { return verifiedSectors_.load(); }
  // Seeds the tree with a session of the disc (0 = the last); returns the
  // session number used.
  int ImportSession(uint8_t session, std::u16string_view imagePath = u"\\");
  // Scales the engine's waits for the drive (tests and the virtual recorder).
  void SetWaitScale(double scale) { device_->Waits.scale = scale; }
  TSCSIDevice& Device() { return *device_; }

  void Abort();
  uint16_t GetComponentStatus() const { return state_.status.load(); }
  uint32_t GetLastErrorCode();
  std::string GetErrorText();
  // The same, handing out the code the text is for.
  std::string GetErrorText(uint32_t& code);
  uint32_t GetImageSectors() const { return state_.totalSectors.load(); }
  uint32_t GetWrittenSectors() const { return state_.writtenSectors.load(); }
  uint32_t GetCacheFill() const;
  uint32_t GetDataSectors() const { return state_.dataSectors.load(); }
  int32_t GetCachingFileIndex() const { return state_.cachingFileIndex.load(); }
  int32_t GetWritingFileIndex() const { return state_.writingFileIndex.load(); }

  // For the drive side: the sense code (ASC * 256 + ASCQ) of the last failed
  // command, reported by GetLastErrorCode when no engine error is pending.
  void RecordSenseCode(uint32_t code) { device_->LastSense.store(static_cast<uint16_t>(code)); }
  ImageTree& Tree() { return tree_; }
  const ImageLayout& Layout() const { return layout_; }
  EngineState& State() { return state_; }
  // Blocks until a running write job has ended.
  void WaitIdle();
  const std::string& CommandLogPath() const { return logPath_; }

 private:
  ImageOptions Options() const;
  bool BeginJob();
  void ReleaseJob();
  bool RunJob(std::unique_ptr<ImageSink> sink, uint32_t firstLba, uint32_t slotsPerWrite,
              const std::function<void(ImageProducer&)>& start);
  void ReportWriteDone(const void* workerSender, bool failed);
  // Runs event on the owner's thread through the poster, or at once on this one.
  void Deliver(std::function<void(const void* sender)> event, const void* workerSender);
  bool BeginDriveJob();
  bool DriveBusy() const { return busy_.load() || driveJobRunning_.load(); }
  void CopyOptionsToDevice();
  bool TestWriteAccepted(bool pageAccepted);
  void JoinDriveJob();

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
  std::unique_ptr<TSCSIDevice> device_;
  std::thread driveJob_;  // erase or verify
  std::atomic<bool> driveJobRunning_{false};
  std::atomic<bool> abortFlag_{false};
  std::atomic<uint32_t> verifiedSectors_{0};
  uint16_t lastWriteRate_ = 0, lastReadRate_ = 0;
  std::string logPath_;
  std::atomic<bool> busy_{false};
  ImageOptions preparedOptions_;
  std::string lastErrorSubject_;

  std::unique_ptr<SlotRing> ring_;
  std::unique_ptr<ImageProducer> producer_;
  std::unique_ptr<WriteJob> writer_;
};

}  // namespace qvr::data
