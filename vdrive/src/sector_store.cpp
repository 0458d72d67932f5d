#include "sector_store.h"

#include "cd_sector_code.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qvr::vdrive {

namespace {

std::uint8_t Bcd(int value) { return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10)); }

}  // namespace

FormLayout LayoutOf(SectorForm form) {
  switch (form) {
    case SectorForm::kMode1: return {16, 2048};
    case SectorForm::kMode2Form1: return {24, 2048};
    case SectorForm::kMode2Formless: return {16, 2336};
    case SectorForm::kAudio: return {0, kCdRawSize};
  }
  return {16, 2048};
}

SectorStore::~SectorStore() { Close(); }

void SectorStore::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool SectorStore::Open(const std::string& disc_path, const Medium& medium) {
  Close();
  cd_ = medium.IsCd();
  pressed_ = medium.IsPressed();
  path_ = pressed_ ? medium.image : disc_path;
  fd_ = ::open(path_.c_str(), pressed_ ? O_RDONLY | O_CLOEXEC : O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool SectorStore::Clear() {
  if (fd_ < 0 || pressed_) return false;
  return ::ftruncate(fd_, 0) == 0;
}

std::int64_t SectorStore::OffsetOf(std::int64_t lba, std::size_t slot) const {
  if (pressed_ || !cd_) return lba * static_cast<std::int64_t>(kBlockSize);
  return (lba + kCdPregap) * static_cast<std::int64_t>(slot);
}

bool SectorStore::Pread(std::uint8_t* out, std::size_t n, std::int64_t offset) {
  if (fd_ < 0 || offset < 0) return false;
  std::size_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(fd_, out + done, n - done, offset + static_cast<std::int64_t>(done));
    if (got < 0) return false;
    if (got == 0) break;  // beyond the end of a sparse file: never written, zeros
    done += static_cast<std::size_t>(got);
  }
  std::memset(out + done, 0, n - done);
  return true;
}

bool SectorStore::Pwrite(const std::uint8_t* data, std::size_t n, std::int64_t offset) {
  if (fd_ < 0 || pressed_ || offset < 0) return false;
  std::size_t done = 0;
  while (done < n) {
    ssize_t put = ::pwrite(fd_, data + done, n - done, offset + static_cast<std::int64_t>(done));
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

void SectorStore::MakeHeader(std::int64_t lba, SectorForm form, std::uint8_t* raw) const {
  std::memset(raw, 0, 16);
  std::memset(raw + 1, 0xFF, 10);
  Msf msf = LbaToMsf(lba);
  raw[12] = Bcd(msf.m);
  raw[13] = Bcd(msf.s);
  raw[14] = Bcd(msf.f);
  raw[15] = form == SectorForm::kMode1 ? 1 : 2;
}

bool SectorStore::ReadUser(std::int64_t lba, SectorForm form, std::uint8_t* out) {
  if (pressed_ || !cd_) return Pread(out, kBlockSize, OffsetOf(lba, kBlockSize));
  FormLayout layout = LayoutOf(form);
  return Pread(out, kBlockSize, OffsetOf(lba, kCdRawSize) + static_cast<std::int64_t>(layout.offset));
}

bool SectorStore::WriteUser(std::int64_t lba, SectorForm form, const std::uint8_t* data) {
  if (!cd_) return Pwrite(data, kBlockSize, OffsetOf(lba, kBlockSize));
  FormLayout layout = LayoutOf(form);
  return WritePart(lba, form, layout.offset, data, kBlockSize);
}

bool SectorStore::WritePart(std::int64_t lba, SectorForm form, std::size_t offset, const std::uint8_t* data,
                            std::size_t length) {
  if (!cd_ || offset + length > kCdRawSize) return false;
  std::uint8_t raw[kCdRawSize] = {};
  MakeHeader(lba, form, raw);
  std::memcpy(raw + offset, data, length);
  if (form == SectorForm::kMode1 && offset == 16 && length == kBlockSize) CompleteMode1Sector(raw);
  return Pwrite(raw, kCdRawSize, OffsetOf(lba, kCdRawSize));
}

bool SectorStore::ReadRaw(std::int64_t lba, std::uint8_t* out) {
  if (!cd_) return false;
  if (pressed_) {
    MakeHeader(lba, SectorForm::kMode1, out);
    if (!Pread(out + 16, kBlockSize, OffsetOf(lba, kBlockSize))) return false;
    CompleteMode1Sector(out);
    return true;
  }
  return Pread(out, kCdRawSize, OffsetOf(lba, kCdRawSize));
}

bool SectorStore::WriteRaw(std::int64_t lba, const std::uint8_t* data) {
  if (!cd_) return false;
  return Pwrite(data, kCdRawSize, OffsetOf(lba, kCdRawSize));
}

}  // namespace qvr::vdrive
