#pragma once
// TCueBurner: the audio CD burner. It holds the compilation (files, tracks,
// indexes), builds the cue sheet and read plan from it, and runs the write
// job: a read-ahead thread filling a bounded block list and a writer thread
// that programs the drive, writes the stream disc-at-once (with a cue sheet)
// or track-at-once, closes and reports through OnWriteDone.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "qvr/audio/compilation.h"
#include "qvr/audio/cue_sheet.h"
#include "qvr/audio/scsi_device.h"

namespace qvr::audio {

class TCueBurner;
class CueReadAhead;

// Error empty means success; otherwise the job's final text.
using TWriteDoneEvent = std::function<void(TCueBurner& sender, const std::string& error)>;

constexpr std::uint64_t kMinCacheSize = 2 * 1024 * 1024;

class TCueBurner : public TSCSIDevice {
 public:
  explicit TCueBurner(AspiLayer& layer = AspiLayer::Instance());
  ~TCueBurner() override;

  static constexpr const char* kVersion = "1.20.0";
  std::string Version() const { return kVersion; }

  bool PerformOPC = false;
  std::string CDTitle, CDSongWriter, CDPerformer, CDCatalog;  // kept for the caller; not written
  TWriteDoneEvent OnWriteDone;

  // Raised to 2 MiB at least, rounded down to whole MiB.
  void SetCacheSize(std::uint64_t bytes);
  std::uint64_t CacheSize() const { return cache_size_; }

  // The compilation.
  bool AddFile(const std::string& file_name, std::uint8_t file_kind);
  void AddTrack(TTrackType kind);
  bool AddIndex(int minutes, int seconds, int frames);
  bool AddIndexFrames(int frames);
  void SetPregap(std::uint32_t frames);
  void ClearCompilation();
  const AudioCompilation& Compilation() const { return compilation_; }

  // Builds the cue sheet and read queue afresh; kPlanOk or a kPlan* failure.
  int BuildCueSheet();
  const BurnPlan& Plan() const { return plan_; }

  bool IsDiscWritable();

  // Starts the job; true when the writer runs. On false, LastError says why.
  bool Burn();
  void Abort();
  bool Running() const { return running_; }
  // Waits until a running job has raised OnWriteDone and ended.
  void WaitForJob();

  // Progress.
  std::uint64_t BytesWritten() const { return bytes_written_; }
  std::uint64_t TotalBytes() const { return total_bytes_; }
  std::string CurrentFile() const;
  int GetCacheFill() const;
  std::string LastError() const;

 private:
  friend class CueWriteJob;
  void SetCurrentFile(const std::string& file);
  void SetLastError(const std::string& text);
  // Raises OnWriteDone under the device lock; after a closing sequence on the
  // emulation the layer is initialised afresh first.
  void FinishJob(const std::string& error, bool after_closing);

  AudioCompilation compilation_;
  BurnPlan plan_;
  std::uint64_t cache_size_ = kMinCacheSize;

  std::atomic<bool> abort_{false};
  std::atomic<bool> running_{false};
  std::atomic<std::uint64_t> bytes_written_{0};
  std::atomic<std::uint64_t> total_bytes_{0};
  mutable std::mutex text_mutex_;
  std::string current_file_;
  std::string last_error_;

  mutable std::mutex job_mutex_;
  std::shared_ptr<CueReadAhead> read_ahead_;
  std::thread writer_;
};

}  // namespace qvr::audio
