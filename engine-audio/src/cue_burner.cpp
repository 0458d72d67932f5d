#include "qvr/audio/cue_burner.h"

#include <cmath>

#include "qvr/audio/read_ahead.h"
#include "write_job.h"

namespace qvr::audio {

TCueBurner::TCueBurner(AspiLayer& layer) : TSCSIDevice(layer) {
  UnderrunProtection = true;
  WriteMethod = TWriteMethod::wmTAO;
}

TCueBurner::~TCueBurner() {
  Abort();
  WaitForJob();
}

void TCueBurner::SetCacheSize(std::uint64_t bytes) {
  constexpr std::uint64_t kMiB = 1024 * 1024;
  cache_size_ = std::max(bytes, kMinCacheSize) / kMiB * kMiB;
}

bool TCueBurner::AddFile(const std::string& file_name, std::uint8_t file_kind) {
  return compilation_.AddFile(file_name, file_kind);
}
void TCueBurner::AddTrack(TTrackType kind) { compilation_.AddTrack(kind); }
bool TCueBurner::AddIndex(int minutes, int seconds, int frames) {
  return compilation_.AddIndex(minutes, seconds, frames);
}
bool TCueBurner::AddIndexFrames(int frames) { return compilation_.AddIndexFrames(frames); }
void TCueBurner::SetPregap(std::uint32_t frames) { compilation_.SetPregap(frames); }

void TCueBurner::ClearCompilation() {
  compilation_.Clear();
  plan_ = BurnPlan{};
}

int TCueBurner::BuildCueSheet() {
  int result = BuildBurnPlan(compilation_.files(), WriteMethod == TWriteMethod::wmTAO, plan_);
  total_bytes_ = plan_.total_bytes;
  return result;
}

bool TCueBurner::IsDiscWritable() { return ReadDiscInformation() && !(LastDiscInformation()[2] & 0x02); }

std::string TCueBurner::CurrentFile() const {
  std::lock_guard lock(text_mutex_);
  return current_file_;
}

void TCueBurner::SetCurrentFile(const std::string& file) {
  std::lock_guard lock(text_mutex_);
  current_file_ = file;
}

std::string TCueBurner::LastError() const {
  std::lock_guard lock(text_mutex_);
  return last_error_;
}

void TCueBurner::SetLastError(const std::string& text) {
  std::lock_guard lock(text_mutex_);
  last_error_ = text;
}

int TCueBurner::GetCacheFill() const {
  std::lock_guard lock(job_mutex_);
  if (!running_ || !read_ahead_ || cache_size_ == 0) return 0;
  return static_cast<int>(std::lround(100.0 * static_cast<double>(read_ahead_->BytesInCache()) /
                                      static_cast<double>(cache_size_)));
}

void TCueBurner::Abort() {
  abort_ = true;
  std::lock_guard lock(job_mutex_);
  if (read_ahead_) read_ahead_->Wake();
}

void TCueBurner::WaitForJob() {
  std::thread writer;
  {
    std::lock_guard lock(job_mutex_);
    writer = std::move(writer_);
  }
  if (writer.joinable()) writer.join();
}

bool TCueBurner::Burn() {
  if (running_) {
    SetLastError("A WRITE JOB IS ALREADY RUNNING");
    return false;
  }
  WaitForJob();
  SetLastError({});
  if (!HasDevice()) {
    SetLastError("NO DRIVE SELECTED");
    return false;
  }
  const bool read = ReadDiscInformation();
  if (!read || (LastDiscInformation()[2] & 0x02)) {
    Report(">>> DISC IS NOT WRITABLE", 4);
    if (read && (LastDiscInformation()[2] & 0x10)) Report(">>> BUT DISC IS ERASABLE, ERASE IT FIRST", 4);
    const std::string why = read ? std::string() : LastErrorText();
    SetLastError(why.empty() ? "DISC IS NOT WRITABLE" : "DISC IS NOT WRITABLE (" + why + ")");
    return false;
  }
  if (int result = BuildCueSheet(); result != kPlanOk) {
    SetLastError(PlanErrorText(result));
    return false;
  }
  for (const ReadEntry& entry : plan_.read_queue) {
    if (!entry.pregap && !IsAudioTrack(static_cast<TTrackType>(entry.track_kind))) {
      SetLastError("ONLY AUDIO TRACKS CAN BE WRITTEN");
      return false;
    }
  }

  abort_ = false;
  bytes_written_ = 0;
  SetCurrentFile({});
  auto read_ahead = std::make_shared<CueReadAhead>(plan_.read_queue, cache_size_);
  {
    std::lock_guard lock(job_mutex_);
    read_ahead_ = read_ahead;
  }
  read_ahead->Start();
  for (;;) {
    switch (read_ahead->WaitForFill(std::chrono::milliseconds(100))) {
      case CueReadAhead::Fill::kFilling: continue;
      case CueReadAhead::Fill::kReady: {
        running_ = true;
        std::lock_guard lock(job_mutex_);
        writer_ = std::thread([this, read_ahead] { CueWriteJob(*this, read_ahead).Run(); });
        return true;
      }
      case CueReadAhead::Fill::kFailed: {
        const std::string text = read_ahead->ErrorText();
        SetCurrentFile(read_ahead->CurrentFile());
        read_ahead->Abort();
        read_ahead->Join();
        {
          std::lock_guard lock(job_mutex_);
          read_ahead_.reset();
        }
        SetLastError(text);
        if (OnWriteDone) OnWriteDone(*this, text);
        return false;
      }
    }
  }
}

void TCueBurner::FinishJob(const std::string& error, bool after_closing) {
  SetLastError(error);
  Lock();
  if (after_closing && layer().IsEmulation()) layer().ReinitializeASPI();
  if (OnWriteDone) OnWriteDone(*this, error);
  Unlock();
  std::shared_ptr<CueReadAhead> read_ahead;
  {
    std::lock_guard lock(job_mutex_);
    read_ahead = std::move(read_ahead_);
  }
  if (read_ahead) {
    read_ahead->Abort();
    read_ahead->Join();
  }
  running_ = false;
}

}  // namespace qvr::audio
