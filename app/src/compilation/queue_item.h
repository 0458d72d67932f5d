#pragma once
// The record of every node of the compilation tree.

#include <QString>
#include <cstdint>

namespace qvr::app {

// Attribute bits of a source, as stored in projects.
enum : int32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
};

// Size argument of AddQueuePath meaning "read it from the file system".
inline constexpr uint64_t kSizeUnknown = ~uint64_t{0};
// The largest file a compilation accepts.
inline constexpr uint64_t kMaxFileSize = 4294967296ULL;
// Longest name of a compilation item.
inline constexpr int kMaxItemName = 106;

struct TQueueItem {
  QString Name;          // shown and written to the disc
  QString SourcePath;    // empty for a folder created in the compilation
  QString TypeName;      // up to 80 characters
  int32_t Attributes = 0;
  double Modified = 0;   // days since 30 December 1899, local time
  int32_t OpenImageIndex = -1;
  int32_t ImageIndex = -1;
  uint64_t Size = 0;     // bytes; 0 for folders
  double Duration = -1;  // seconds; -1 when not a decodable audio file
  bool IsFolder = false;
  bool IconsLoaded = false;
  bool InfoLoaded = false;
  bool IsAudio = false;
};

}  // namespace qvr::app
