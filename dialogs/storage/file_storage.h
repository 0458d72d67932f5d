#pragma once
// The stored-file container that carries the language files inside the
// program. Layout (little-endian):
//   "SFP1", entry count N, then N entries of
//     name length L, L name bytes, stored length S, decoded size U, chunks
//   where every chunk is a 16-bit length C and C bytes (chunk_codec.h), and
//   S counts U and the chunks.
// The older layout has no signature: entry count, four skipped bytes, then
// entries of name length, name, data length and the data as it stands.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qvr::storage {

struct TStoredFile {
  std::string Name;  // as stored; lookups ignore case
  std::string Data;  // decoded content
};

class TFileStorage {
 public:
  TFileStorage() = default;
  explicit TFileStorage(std::vector<TStoredFile> files) : files_(std::move(files)) {}

  // Replaces the entries with those of a container in either layout. On a
  // malformed container the entries stay as they were and false is returned.
  bool LoadFromBytes(std::string_view bytes);

  // The container in the "SFP1" layout.
  std::string SaveToBytes() const;

  // The same entries in the older, unencoded layout.
  std::string SaveToOlderLayout() const;

  // The first entry whose name equals `name` ignoring ASCII case, or null.
  const TStoredFile* Find(std::string_view name) const;

  // The content of the entry named `name` (ignoring case); empty when none.
  std::string ReadStoredFile(std::string_view name) const;

  const std::vector<TStoredFile>& Files() const { return files_; }
  void Add(std::string name, std::string data) { files_.push_back({std::move(name), std::move(data)}); }

 private:
  std::vector<TStoredFile> files_;
};

// Decodes an entry's stored bytes (decoded size followed by chunks).
std::optional<std::string> DecodeStoredData(std::string_view stored);

// Encodes content as decoded size followed by chunks of at most kMaxPieceSize.
std::string EncodeStoredData(std::string_view content);

// ASCII upper case, the way names and keys are compared.
std::string UpperAscii(std::string_view text);

}  // namespace qvr::storage
