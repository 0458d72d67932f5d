#pragma once
// The sectors of a disc in a sparse file. CD media keep 2352 bytes per sector
// from LBA -150 on (audio as written, data behind a sync and header); DVD and
// BD media keep 2048 bytes per block from LBA 0. Pressed discs read their
// blocks in place from the image they were made from.

#include <cstddef>
#include <cstdint>
#include <string>

#include "qvr/vdrive/medium.h"

namespace qvr::vdrive {

constexpr std::size_t kCdRawSize = 2352;
constexpr std::size_t kBlockSize = 2048;

// Where the bytes of a CD sector form sit inside its 2352 bytes.
struct FormLayout {
  std::size_t offset;
  std::size_t length;
};
FormLayout LayoutOf(SectorForm form);

class SectorStore {
 public:
  SectorStore() = default;
  ~SectorStore();
  SectorStore(const SectorStore&) = delete;
  SectorStore& operator=(const SectorStore&) = delete;

  // Opens (creating when missing) the disc file of a medium.
  bool Open(const std::string& disc_path, const Medium& medium);
  // Empties the disc file (all sectors unrecorded, zero).
  bool Clear();
  void Close();

  // 2048 user bytes of a block; for CD, of a data sector in the given form.
  bool ReadUser(std::int64_t lba, SectorForm form, std::uint8_t* out);
  bool WriteUser(std::int64_t lba, SectorForm form, const std::uint8_t* data);
  // Whole 2352-byte CD sectors (audio, or raw data written by the host).
  bool ReadRaw(std::int64_t lba, std::uint8_t* out);
  bool WriteRaw(std::int64_t lba, const std::uint8_t* data);
  // A CD sector written from a host block of another size (mode 2 forms):
  // the block's bytes go to the layout's place behind a generated header.
  bool WritePart(std::int64_t lba, SectorForm form, std::size_t offset, const std::uint8_t* data, std::size_t length);

 private:
  std::int64_t OffsetOf(std::int64_t lba, std::size_t slot) const;
  bool Pread(std::uint8_t* out, std::size_t n, std::int64_t offset);
  bool Pwrite(const std::uint8_t* data, std::size_t n, std::int64_t offset);
  void MakeHeader(std::int64_t lba, SectorForm form, std::uint8_t* raw) const;

  int fd_ = -1;
  bool cd_ = false;
  bool pressed_ = false;
  std::string path_;
};

}  // namespace qvr::vdrive
