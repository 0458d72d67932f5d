#include "qvr/audio/read_ahead.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qvr::audio {

std::string CantOpenText(const std::string& file) {
  return "CAN'T OPEN FILE \"" + file + "\" OR FILE IS IN USES BY OTHER SOFTWARE";
}

namespace {

class SourceFile {
 public:
  explicit SourceFile(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~SourceFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  // Reads up to n bytes at the position; stops early at the end of the file.
  bool ReadAt(std::uint64_t position, std::uint8_t* to, std::size_t n) {
    while (n > 0) {
      ssize_t got = ::pread(fd_, to, n, static_cast<off_t>(position));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return false;
      if (got == 0) return true;
      to += got;
      n -= static_cast<std::size_t>(got);
      position += static_cast<std::uint64_t>(got);
    }
    return true;
  }

 private:
  int fd_ = -1;
};

}  // namespace

CueReadAhead::CueReadAhead(std::vector<ReadEntry> queue, std::uint64_t cache_size)
    : queue_(std::move(queue)), capacity_(std::max<std::uint64_t>(2, cache_size / kBlockSlotBytes)) {
  for (const ReadEntry& e : queue_) bytes_to_deliver_ += e.count;
}

CueReadAhead::~CueReadAhead() {
  Abort();
  Join();
}

void CueReadAhead::Start() { thread_ = std::thread([this] { Run(); }); }

void CueReadAhead::Join() {
  if (thread_.joinable()) thread_.join();
}

void CueReadAhead::Abort() {
  {
    std::lock_guard lock(mutex_);
    abort_ = true;
  }
  producer_cv_.notify_all();
  consumer_cv_.notify_all();
}

void CueReadAhead::Wake() { consumer_cv_.notify_all(); }

bool CueReadAhead::Publish(std::unique_ptr<CacheBlock> block) {
  std::unique_lock lock(mutex_);
  // Keep at most capacity - 1 blocks listed; the list is full then.
  producer_cv_.wait(lock, [&] { return abort_ || blocks_.size() + 1 < capacity_; });
  if (abort_) {
    if (error_text_.empty()) error_text_ = kAbortedText;
    return false;
  }
  bytes_in_cache_ += block->data.size();
  blocks_.push_back(std::move(block));
  most_listed_ = std::max(most_listed_, blocks_.size());
  if (blocks_.size() + 1 >= capacity_) cache_ready_ = true;
  lock.unlock();
  consumer_cv_.notify_all();
  return true;
}

void CueReadAhead::Run() {
  auto fail = [this](const std::string& text) {
    {
      std::lock_guard lock(mutex_);
      if (error_text_.empty()) error_text_ = text;
      finished_ = true;
    }
    consumer_cv_.notify_all();
  };
  for (const ReadEntry& entry : queue_) {
    {
      std::lock_guard lock(mutex_);
      current_file_ = entry.file_name;
    }
    std::unique_ptr<SourceFile> source;
    if (!entry.file_name.empty()) {
      source = std::make_unique<SourceFile>(entry.file_name);
      if (!source->ok()) return fail(CantOpenText(entry.file_name));
    }
    for (std::uint64_t done = 0; done < entry.count;) {
      const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, entry.count - done));
      auto block = std::make_unique<CacheBlock>();
      block->data.assign(chunk, 0);
      if (source) {
        const std::uint64_t at = entry.offset + done;
        const std::uint64_t readable = entry.data_end > at ? std::min<std::uint64_t>(chunk, entry.data_end - at) : 0;
        if (readable && !source->ReadAt(at, block->data.data(), static_cast<std::size_t>(readable))) {
          return fail("CAN'T READ FILE \"" + entry.file_name + "\"");
        }
      }
      done += chunk;
      block->kind = entry.kind;
      block->track_kind = entry.track_kind;
      block->end_of_track = done == entry.count && entry.end_of_track;
      if (!Publish(std::move(block))) return fail(kAbortedText);
    }
  }
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
    cache_ready_ = true;
  }
  consumer_cv_.notify_all();
}

CueReadAhead::Fill CueReadAhead::WaitForFill(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  consumer_cv_.wait_for(lock, timeout, [&] { return cache_ready_ || !error_text_.empty(); });
  if (!error_text_.empty()) return Fill::kFailed;
  return cache_ready_ ? Fill::kReady : Fill::kFilling;
}

CueReadAhead::Take CueReadAhead::GetBlock(std::unique_ptr<CacheBlock>& block, const std::atomic<bool>& stop) {
  std::unique_lock lock(mutex_);
  consumer_cv_.wait(lock, [&] {
    return stop || abort_ || !error_text_.empty() || !blocks_.empty() || finished_;
  });
  if (stop || !error_text_.empty()) return Take::kStopped;
  if (blocks_.empty()) {
    bytes_to_deliver_ = 0;
    return Take::kEnd;
  }
  block = std::move(blocks_.front());
  blocks_.pop_front();
  bytes_in_cache_ -= block->data.size();
  bytes_to_deliver_ -= std::min<std::uint64_t>(bytes_to_deliver_, block->data.size());
  lock.unlock();
  producer_cv_.notify_all();
  return Take::kBlock;
}

std::string CueReadAhead::ErrorText() const {
  std::lock_guard lock(mutex_);
  return error_text_;
}

void CueReadAhead::SetErrorText(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    if (error_text_.empty()) error_text_ = text;
  }
  consumer_cv_.notify_all();
}

std::string CueReadAhead::CurrentFile() const {
  std::lock_guard lock(mutex_);
  return current_file_;
}

std::uint64_t CueReadAhead::BytesInCache() const {
  std::lock_guard lock(mutex_);
  return bytes_in_cache_;
}

std::uint64_t CueReadAhead::BytesToDeliver() const {
  std::lock_guard lock(mutex_);
  return bytes_to_deliver_;
}

std::size_t CueReadAhead::MostBlocksListed() const {
  std::lock_guard lock(mutex_);
  return most_listed_;
}

}  // namespace qvr::audio
