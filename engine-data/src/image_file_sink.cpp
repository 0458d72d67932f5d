#include "qvr/data/image_file_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qvr::data {

namespace {

bool AllZero(const uint8_t* data, uint32_t bytes) {
  uint64_t word = 0;
  for (uint32_t i = 0; i + 8 <= bytes; i += 8) {
    std::memcpy(&word, data + i, 8);
    if (word != 0) return false;
  }
  for (uint32_t i = bytes & ~7u; i < bytes; ++i)
    if (data[i] != 0) return false;
  return true;
}

}  // namespace

bool ImageFileSink::Create(const std::string& path) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd_ >= 0;
}

ImageFileSink::~ImageFileSink() {
  if (fd_ >= 0) Close(true);
}

bool ImageFileSink::Write(const uint8_t* data, uint32_t bytes, uint32_t) {
  if (bytes % 65536 == 0 && AllZero(data, bytes)) {
    position_ += bytes;
    pendingHole_ = true;
    return true;
  }
  if (pendingHole_ && ::lseek(fd_, static_cast<off_t>(position_), SEEK_SET) < 0) {
    state_.SetError(ErrorCreatingFile, path_);
    return false;
  }
  pendingHole_ = false;
  uint32_t done = 0;
  while (done < bytes) {
    const ssize_t n = ::write(fd_, data + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      state_.SetError(ErrorCreatingFile, path_);
      return false;
    }
    done += static_cast<uint32_t>(n);
  }
  position_ += bytes;
  return true;
}

bool ImageFileSink::Close(bool failed) {
  if (fd_ < 0) return false;
  bool ok = !failed;
  if (ok && pendingHole_ && ::ftruncate(fd_, static_cast<off_t>(position_)) != 0) ok = false;
  if (::close(fd_) != 0) ok = false;
  fd_ = -1;
  if (!ok) {
    if (!failed) state_.SetError(ErrorCreatingFile, path_);
    ::unlink(path_.c_str());
  }
  return ok;
}

}  // namespace qvr::data
