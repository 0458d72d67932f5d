#include "qvr/data/image_producer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "qvr/data/byte_fields.h"

namespace qvr::data {

namespace {

constexpr uint32_t kSlot = SlotRing::kSlotBytes;
constexpr uint32_t kRunSlots = 16;  // up to 1 MiB read per call

// Reads a source file front to back. Holes of sparse files are filled with
// zeros without reading them.
class SourceReader {
 public:
  SourceReader(int fd, uint64_t size) : fd_(fd), size_(size), sparseAware_(size >= (1u << 20)) {}

  // Fills n bytes from the current position; bytes past the end of the file
  // read as zeros. False on a read error.
  bool Read(uint8_t* buffer, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
      if (sparseAware_ && offset_ >= holeFrom_ && !FindData()) sparseAware_ = false;
      std::size_t step = n - done;
      if (sparseAware_ && offset_ < dataFrom_) {
        step = static_cast<std::size_t>(std::min<uint64_t>(step, dataFrom_ - offset_));
        std::memset(buffer + done, 0, step);
      } else {
        if (sparseAware_) step = static_cast<std::size_t>(std::min<uint64_t>(step, holeFrom_ - offset_));
        const ssize_t got = ::pread(fd_, buffer + done, step, static_cast<off_t>(offset_));
        if (got < 0) {
          if (errno == EINTR) continue;
          return false;
        }
        if (got == 0) {  // the file ended early: zeros up to its recorded size
          std::memset(buffer + done, 0, n - done);
          offset_ += n - done;
          return true;
        }
        step = static_cast<std::size_t>(got);
      }
      done += step;
      offset_ += step;
    }
    return true;
  }

 private:
  bool FindData() {
    off_t data = ::lseek(fd_, static_cast<off_t>(offset_), SEEK_DATA);
    if (data < 0) {
      if (errno != ENXIO) return false;
      data = static_cast<off_t>(std::max(size_, offset_));
    }
    off_t hole = ::lseek(fd_, data, SEEK_HOLE);
    if (hole < 0) hole = static_cast<off_t>(std::max(size_, offset_) + 1);
    dataFrom_ = static_cast<uint64_t>(data);
    holeFrom_ = std::max(static_cast<uint64_t>(hole), dataFrom_ + 1);
    return true;
  }

  int fd_;
  uint64_t size_;
  bool sparseAware_;
  uint64_t offset_ = 0, dataFrom_ = 0, holeFrom_ = 0;
};

int OpenForReading(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd;
}

}  // namespace

ImageProducer::ImageProducer(SlotRing& ring, EngineState& state) : ring_(ring), state_(state) {}

ImageProducer::~ImageProducer() {
  ring_.Abort();
  Join();
}

void ImageProducer::Join() {
  if (thread_.joinable()) thread_.join();
}

void ImageProducer::StartTree(TreeStreamPlan plan) {
  plan_ = std::move(plan);
  thread_ = std::thread([this] { RunTree(); });
}

void ImageProducer::StartImageFile(int fd, uint64_t size) {
  thread_ = std::thread([this, fd, size] { RunImageFile(fd, size); });
}

void ImageProducer::Fail(uint32_t code, const std::string& subject) {
  state_.SetError(code, subject);
  ring_.Abort();
}

uint8_t* ImageProducer::Room(uint32_t& room) {
  if (!run_) {
    run_ = ring_.AcquireRun(kRunSlots, runSlots_);
    if (!run_) return nullptr;
    fill_ = 0;
    published_ = 0;
  }
  room = runSlots_ * kSlot - fill_;
  return run_ + fill_;
}

void ImageProducer::Advance(uint32_t bytes) {
  fill_ += bytes;
  while (published_ < runSlots_ && fill_ >= (published_ + 1) * kSlot) {
    ring_.PublishSlot(kSlot, fileIndex_);
    ++published_;
  }
  if (published_ == runSlots_) run_ = nullptr;
}

bool ImageProducer::Copy(const uint8_t* data, std::size_t bytes) {
  while (bytes > 0) {
    uint32_t room = 0;
    uint8_t* p = Room(room);
    if (!p) return false;
    const auto n = static_cast<uint32_t>(std::min<std::size_t>(room, bytes));
    std::memcpy(p, data, n);
    data += n;
    bytes -= n;
    Advance(n);
  }
  return true;
}

bool ImageProducer::Zeros(uint64_t sectors) {
  uint64_t bytes = sectors * kSectorBytes;
  while (bytes > 0) {
    uint32_t room = 0;
    uint8_t* p = Room(room);
    if (!p) return false;
    const auto n = static_cast<uint32_t>(std::min<uint64_t>(room, bytes));
    std::memset(p, 0, n);
    bytes -= n;
    Advance(n);
  }
  return true;
}

bool ImageProducer::StreamFile(const std::string& path, uint64_t size, int32_t index) {
  state_.cachingFileIndex.store(index, std::memory_order_relaxed);
  const uint64_t sectors = SectorsFor(size);
  if (path.empty()) return Zeros(sectors);
  const int fd = OpenForReading(path);
  if (fd < 0) {
    Fail(ErrorOpeningFile, path);
    return false;
  }
  if (size >= (1u << 20)) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  state_.dataSectors.fetch_add(static_cast<uint32_t>(sectors), std::memory_order_relaxed);
  SourceReader reader(fd, size);
  uint64_t remaining = size;  // bytes still to take from the file
  uint64_t padded = sectors * kSectorBytes;
  bool ok = true;
  while (padded > 0) {
    uint32_t room = 0;
    uint8_t* p = Room(room);
    if (!p) {
      ok = false;
      break;
    }
    const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(room, padded));
    const auto wanted = static_cast<std::size_t>(std::min<uint64_t>(chunk, remaining));
    if (!reader.Read(p, wanted)) {
      Fail(ErrorOpeningFile, path);
      ok = false;
      break;
    }
    std::memset(p + wanted, 0, chunk - wanted);  // the last sector is zero-padded
    remaining -= wanted;
    padded -= chunk;
    fileIndex_ = index;  // a slot reports the last file whose data went into it
    Advance(chunk);
  }
  ::close(fd);
  return ok;
}

bool ImageProducer::UdfArea(uint32_t sectors) {
  plan_.udf->ResetGenerator();
  while (sectors > 0) {
    uint32_t room = 0;
    uint8_t* p = Room(room);
    if (!p) return false;
    const uint32_t n = std::min(room / kSectorBytes, sectors);
    plan_.udf->Generate(p, n);
    sectors -= n;
    Advance(n * kSectorBytes);
  }
  return true;
}

bool ImageProducer::Tail(uint32_t sectors) {
  if (!plan_.udf || sectors == 0) return Zeros(sectors);
  if (!Zeros(sectors - 1)) return false;
  uint32_t room = 0;
  uint8_t* p = Room(room);
  if (!p) return false;
  plan_.udf->WriteAnchor(p, plan_.layout->TotalSectors - 1);
  Advance(kSectorBytes);
  return true;
}

void ImageProducer::RunTree() {
  const ImageLayout& layout = *plan_.layout;
  bool ok = true;
  for (const Region& region : layout.regions) {
    if (!ok) break;
    switch (region.kind) {
      case RegionKind::Header:
        ok = Copy(plan_.header.data(), plan_.header.size());
        std::vector<uint8_t>().swap(plan_.header);
        break;
      case RegionKind::BootImage:
        ok = StreamFile(plan_.bootImagePath, plan_.bootImageSize, fileIndex_);
        break;
      case RegionKind::UdfArea:
        ok = UdfArea(region.sectors);
        break;
      case RegionKind::FileData:
        for (const auto& e : plan_.tree->Files()) {
          if (!OccupiesFileData(*e)) continue;
          if (!(ok = StreamFile(e->SourcePath, e->Size, e->Index))) break;
        }
        break;
      case RegionKind::Tail:
        ok = Tail(region.sectors);
        break;
    }
  }
  if (ok) ring_.Close();
}

void ImageProducer::RunImageFile(int fd, uint64_t size) {
  SourceReader reader(fd, size);
  uint64_t remaining = size;
  bool ok = true;
  while (remaining > 0) {
    uint8_t* p = ring_.AcquireSlot();
    if (!p) {
      ok = false;
      break;
    }
    const auto piece = static_cast<std::size_t>(std::min<uint64_t>(kSlot, remaining));
    if (!reader.Read(p, piece)) {
      Fail(ErrorOpeningFile, {});
      ok = false;
      break;
    }
    std::memset(p + piece, 0, kSlot - piece);
    ring_.PublishSlot(static_cast<uint32_t>(piece), 0);
    remaining -= piece;
  }
  ::close(fd);
  if (ok) ring_.Close();
}

}  // namespace qvr::data
