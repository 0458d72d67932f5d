#pragma once
// The read-ahead of an audio job: a thread that turns the read queue into a
// stream of blocks of up to 27 sectors, kept in a bounded list that the
// writer drains. Producer and consumer wait on condition variables.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qvr/audio/cue_sheet.h"

namespace qvr::audio {

constexpr std::uint32_t kBlockBytes = 27 * kSectorBytes;  // 63 504
constexpr std::uint32_t kBlockSlotBytes = 65856;          // what one block counts against the cache size

constexpr const char* kAbortedText = "OPERATION ABORTED BY USER";

// The job's text for a source that cannot be opened.
std::string CantOpenText(const std::string& file);

struct CacheBlock {
  std::vector<std::uint8_t> data;
  std::uint8_t kind = 0;
  std::uint8_t track_kind = 0;
  bool end_of_track = false;
};

class CueReadAhead {
 public:
  CueReadAhead(std::vector<ReadEntry> queue, std::uint64_t cache_size);
  ~CueReadAhead();
  CueReadAhead(const CueReadAhead&) = delete;
  CueReadAhead& operator=(const CueReadAhead&) = delete;

  void Start();
  // Stops reading; waiting callers return.
  void Abort();
  void Join();

  enum class Fill { kReady, kFailed, kFilling };
  // Waits up to the time given for the list to fill (or reading to end).
  Fill WaitForFill(std::chrono::milliseconds timeout);

  enum class Take { kBlock, kEnd, kStopped };
  // The oldest block; waits while none is listed. kEnd when everything was
  // delivered or reading stopped, kStopped when stop is set (Wake() to notice)
  // or the job already has a final text.
  Take GetBlock(std::unique_ptr<CacheBlock>& block, const std::atomic<bool>& stop);
  void Wake();

  // The job's final text; empty means success so far.
  std::string ErrorText() const;
  void SetErrorText(const std::string& text);  // kept when a text is already set
  std::string CurrentFile() const;
  std::uint64_t BytesInCache() const;
  std::uint64_t BytesToDeliver() const;
  std::size_t Capacity() const { return capacity_; }
  std::size_t MostBlocksListed() const;

 private:
  void Run();
  bool Publish(std::unique_ptr<CacheBlock> block);

  const std::vector<ReadEntry> queue_;
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable producer_cv_, consumer_cv_;
  std::deque<std::unique_ptr<CacheBlock>> blocks_;
  bool cache_ready_ = false;
  bool finished_ = false;
  bool abort_ = false;
  std::string error_text_;
  std::string current_file_;
  std::uint64_t bytes_in_cache_ = 0;
  std::uint64_t bytes_to_deliver_ = 0;
  std::size_t most_listed_ = 0;
  std::thread thread_;
};

}  // namespace qvr::audio
