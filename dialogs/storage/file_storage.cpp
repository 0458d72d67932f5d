#include "storage/file_storage.h"

#include <cstdint>
#include <limits>

#include "storage/chunk_codec.h"

namespace qvr::storage {

namespace {

constexpr std::string_view kSignature = "SFP1";

void PutU32(std::string& out, std::uint64_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutU16(std::string& out, std::size_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

// A bounds-checked little-endian reader over the container bytes.
class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  bool U32(std::uint32_t& value) {
    if (data_.size() - at_ < 4) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) value |= std::uint32_t{static_cast<unsigned char>(data_[at_ + i])} << (8 * i);
    at_ += 4;
    return true;
  }
  bool U16(std::uint16_t& value) {
    if (data_.size() - at_ < 2) return false;
    value = static_cast<std::uint16_t>(static_cast<unsigned char>(data_[at_]) |
                                       (static_cast<unsigned char>(data_[at_ + 1]) << 8));
    at_ += 2;
    return true;
  }
  bool Bytes(std::size_t count, std::string_view& out) {
    if (data_.size() - at_ < count) return false;
    out = data_.substr(at_, count);
    at_ += count;
    return true;
  }
  bool Skip(std::size_t count) {
    std::string_view ignored;
    return Bytes(count, ignored);
  }
  bool AtEnd() const { return at_ == data_.size(); }

 private:
  std::string_view data_;
  std::size_t at_ = 0;
};

bool ReadEntries(Reader& in, std::uint32_t count, bool encoded, std::vector<TStoredFile>& files) {
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t name_length = 0, data_length = 0;
    std::string_view name, data;
    if (!in.U32(name_length) || !in.Bytes(name_length, name)) return false;
    if (!in.U32(data_length) || !in.Bytes(data_length, data)) return false;
    TStoredFile file{std::string(name), {}};
    if (encoded) {
      auto decoded = DecodeStoredData(data);
      if (!decoded) return false;
      file.Data = std::move(*decoded);
    } else {
      file.Data = std::string(data);
    }
    files.push_back(std::move(file));
  }
  return true;
}

}  // namespace

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::optional<std::string> DecodeStoredData(std::string_view stored) {
  Reader in(stored);
  std::uint32_t size = 0;
  if (!in.U32(size)) return std::nullopt;
  std::string out;
  out.reserve(size);
  while (!in.AtEnd()) {
    std::uint16_t chunk_length = 0;
    std::string_view chunk;
    if (!in.U16(chunk_length) || !in.Bytes(chunk_length, chunk)) return std::nullopt;
    if (!DecodeChunk(chunk, out) || out.size() > size) return std::nullopt;
  }
  if (out.size() != size) return std::nullopt;
  return out;
}

std::string EncodeStoredData(std::string_view content) {
  std::string out;
  PutU32(out, content.size());
  for (std::size_t at = 0; at < content.size(); at += kMaxPieceSize) {
    const std::string chunk = EncodeChunk(content.substr(at, kMaxPieceSize));
    PutU16(out, chunk.size());
    out += chunk;
  }
  return out;
}

bool TFileStorage::LoadFromBytes(std::string_view bytes) {
  Reader in(bytes);
  std::vector<TStoredFile> files;
  std::uint32_t count = 0;
  bool ok = false;
  if (bytes.substr(0, kSignature.size()) == kSignature) {
    ok = in.Skip(kSignature.size()) && in.U32(count) && ReadEntries(in, count, true, files);
  } else {
    ok = in.U32(count) && in.Skip(4) && ReadEntries(in, count, false, files);
  }
  if (!ok) return false;
  files_ = std::move(files);
  return true;
}

std::string TFileStorage::SaveToBytes() const {
  std::string out(kSignature);
  PutU32(out, files_.size());
  for (const TStoredFile& file : files_) {
    const std::string stored = EncodeStoredData(file.Data);
    PutU32(out, file.Name.size());
    out += file.Name;
    PutU32(out, stored.size());
    out += stored;
  }
  return out;
}

std::string TFileStorage::SaveToOlderLayout() const {
  std::string out;
  PutU32(out, files_.size());
  PutU32(out, 0);
  for (const TStoredFile& file : files_) {
    PutU32(out, file.Name.size());
    out += file.Name;
    PutU32(out, file.Data.size());
    out += file.Data;
  }
  return out;
}

const TStoredFile* TFileStorage::Find(std::string_view name) const {
  const std::string wanted = UpperAscii(name);
  for (const TStoredFile& file : files_) {
    if (UpperAscii(file.Name) == wanted) return &file;
  }
  return nullptr;
}

std::string TFileStorage::ReadStoredFile(std::string_view name) const {
  const TStoredFile* file = Find(name);
  return file ? file->Data : std::string();
}

}  // namespace qvr::storage
