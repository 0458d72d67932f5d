#pragma once
// What the engine's threads share with the component and the progress
// display: the status word, the counters (read without locks) and the engine
// error with the file it concerns.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "qvr/data/engine_status.h"

namespace qvr::data {

class EngineState {
 public:
  std::atomic<uint16_t> status{0};
  std::atomic<uint32_t> dataSectors{0};       // sectors of the files read so far
  std::atomic<int32_t> cachingFileIndex{0};   // Index of the file being read
  std::atomic<int32_t> writingFileIndex{0};   // file index of the slot last written
  std::atomic<uint32_t> writtenSectors{0};
  std::atomic<uint32_t> totalSectors{0};

  void SetStatus(TComponentStatus s) { status.store(static_cast<uint16_t>(s)); }

  void SetError(uint32_t code, std::string subject = {}) {
    std::lock_guard lock(mutex_);
    error_ = code;
    subject_ = std::move(subject);
  }
  uint32_t Error() const {
    std::lock_guard lock(mutex_);
    return error_;
  }
  // Returns the error and clears it.
  uint32_t TakeError(std::string* subject) {
    std::lock_guard lock(mutex_);
    const uint32_t code = error_;
    if (subject) *subject = std::move(subject_);
    error_ = 0;
    subject_.clear();
    return code;
  }

 private:
  mutable std::mutex mutex_;
  uint32_t error_ = 0;
  std::string subject_;
};

}  // namespace qvr::data
