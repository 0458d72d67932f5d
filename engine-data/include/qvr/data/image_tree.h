#pragma once
// The image file tree: the engine's model of the disc to be written. One table
// of file entries (files and directories alike) in creation order, one table
// of directory records, the root, and per directory an index of its names so
// that adding n entries costs O(n).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "qvr/data/iso_names.h"

namespace qvr::data {

struct TDirEntry;

// Broken-down local time, as recorded in directory records.
struct BrokenDownTime {
  uint16_t year = 1980, month = 1, dayOfWeek = 0, day = 1, hour = 0, minute = 0, second = 0,
           millisecond = 0;
};

// What the file system reports about an entry about to be added.
struct FindRecord {
  std::u16string fileName;       // long name
  std::u16string alternateName;  // 8.3 name chosen by the caller; empty: the engine makes one
  uint32_t attributes = 0;       // 1 read-only, 2 hidden, 16 directory, 32 archive, 128 imported
  int64_t lastWriteTime = 0;     // seconds since 1970-01-01 UTC
  uint64_t size = 0;
};

constexpr uint32_t kAttrReadOnly = 1;
constexpr uint32_t kAttrHidden = 2;
constexpr uint32_t kAttrDirectory = 16;
constexpr uint32_t kAttrArchive = 32;
constexpr uint32_t kAttrImported = 128;

struct TFileEntry {
  std::string ShortName;      // ISO 9660 identifier, upper case; a file's contains "."
  std::string Iso1999Name;    // identifier with ISO 9660:1999 on
  std::u16string LongName;    // the name as the user sees it
  std::u16string JolietName;  // Joliet identifier
  std::u16string UDFName;     // UDF identifier
  std::string SourcePath;     // native path on disk; empty for directories and imported entries
  BrokenDownTime ModifyTime;
  int32_t Index = 0;          // position in the file table (set by the producer)
  uint64_t Size = 0;
  uint32_t Extent = 0;        // relative to the file data area, or absolute when imported
  bool ExtentIsAbsolute = false;
  uint32_t Attributes = 0;
  bool UseWideOpen = true;
  TFileEntry* Next = nullptr;        // next entry of the same directory
  TDirEntry* Directory = nullptr;    // set for a directory's entry
  TDirEntry* Parent = nullptr;       // the directory holding this entry
  std::string Digest;                // MD5 of the source, filled by verification
  TFileEntry* DuplicateOf = nullptr;
  uint32_t UDFEntryLocation = 0;     // image sector of the UDF File Entry

  bool IsDirectory() const { return Directory != nullptr; }
};

// Name indexes of one directory.
struct DirectoryNames {
  std::unordered_map<std::u16string, TFileEntry*> byLongName;  // folded long name
  UniqueNames<std::string> iso, iso1999;
  UniqueNames<std::u16string> joliet, udf;
};

struct TDirEntry {
  TDirEntry* Parent = nullptr;       // the root's parent is the root
  TFileEntry* Entry = nullptr;       // the entry naming this directory; null for the root
  std::u16string LongName;
  std::string ShortName;             // "ROOT_DIR" for the root
  uint32_t ISOSize = 0, JolietSize = 0;
  uint32_t ISOExtent = 0, JolietExtent = 0;  // relative to their directory areas
  uint16_t Depth = 0;
  uint16_t Number = 0;               // path-table position, root = 1
  TFileEntry* FirstChild = nullptr;
  TFileEntry* LastChild = nullptr;
  // UDF fields (owned by the UDF bridge).
  uint16_t UDFLinkCount = 0;
  uint64_t UDFIdentifierBytes = 0;
  uint32_t UDFEntrySector = 0;
  uint32_t UDFIdentifierSector = 0;
  DirectoryNames names;
};

enum class AddStatus {
  Added,        // a new entry
  Existing,     // the name existed and ReplaceFile is off: the existing entry, unchanged
  Replaced,     // the name existed and was refilled in place
  NotFound,     // the source file does not exist (or is not a regular file)
  NoDirectory,  // the image directory does not exist
  Refused,      // name too long, skipped by OnAddFile, a table is full, or a file/directory clash
};

// Result of an addition; the refusal marker is AddStatus::Refused with no entry.
struct AddResult {
  TFileEntry* entry = nullptr;
  AddStatus status = AddStatus::NotFound;
  explicit operator bool() const { return entry != nullptr; }
};

// Called before every entry is created; setting skip refuses it. path is the
// source path, null for directories and imported entries.
using TAddFileEvent =
    std::function<void(const void* sender, const std::string* path, const FindRecord& fd, bool& skip)>;

class ImageTree {
 public:
  static constexpr std::size_t kMaxFiles = 200000;
  static constexpr std::size_t kMaxDirectories = 65000;
  static constexpr std::size_t kMaxLongName = 217;

  ImageTree();
  ~ImageTree();
  ImageTree(const ImageTree&) = delete;
  ImageTree& operator=(const ImageTree&) = delete;

  // Empties the tree, makes a fresh root and recomputes the time-zone offset.
  void ClearAll();

  AddResult AddEntry(TDirEntry* dir, const FindRecord& fd, bool useWideOpen, uint32_t importedExtent,
                     const std::string* sourcePath);
  // Creates (or finds) a directory; null when refused or when a file holds the name.
  TDirEntry* AddDirectoryEntry(TDirEntry* parent, const FindRecord& fd);

  TDirEntry* FindDirectory(std::u16string_view path) const;  // "\a\b\", "a\b", "\" or ""
  std::u16string DirectoryPath(const TDirEntry* dir) const;  // "\a\b\"
  TFileEntry* FindChild(const TDirEntry* dir, std::u16string_view longName) const;

  // Depths and the path-table order (breadth first, siblings by long name),
  // and every child list ordered by ISO identifier.
  void SortDirectories();

  TDirEntry* Root() const { return directories_.front().get(); }
  const std::vector<std::unique_ptr<TFileEntry>>& Files() const { return files_; }
  const std::vector<std::unique_ptr<TDirEntry>>& Directories() const { return directories_; }
  const std::vector<TDirEntry*>& PathTableOrder() const { return pathTableOrder_; }

  bool ReplaceFile = false;
  TAddFileEvent OnAddFile;
  int32_t GMTOffset = 0;  // local offset from UTC in 15-minute steps
  bool Prepared = false;

  // Local broken-down time of a UTC time, with the offset of this tree.
  BrokenDownTime LocalTime(int64_t utcSeconds) const;

 private:
  void FillNames(TFileEntry& e, const FindRecord& fd, bool isDirectory);
  void ReleaseNames(TFileEntry& e);

  std::vector<std::unique_ptr<TFileEntry>> files_;
  std::vector<std::unique_ptr<TDirEntry>> directories_;
  std::vector<TDirEntry*> pathTableOrder_;
};

}  // namespace qvr::data
