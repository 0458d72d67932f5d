// Session import: the directories of a session on the disc become imported
// entries of the image tree. Imported files keep their sectors; their data is
// neither read nor written again.

#include <ctime>
#include <vector>

#include "qvr/data/byte_fields.h"
#include "qvr/data/drive_jobs.h"
#include "qvr/data/drive_model.h"
#include "qvr/data/mmc_commands.h"
#include "qvr/data/text.h"
#include "qvr/data/write_parameters.h"

namespace qvr::data {

namespace {

constexpr int kMaxDepth = 64;

class DirectoryReader {
 public:
  DirectoryReader(TSCSIDevice& d, ImageTree& tree, bool joliet, bool iso1999)
      : d_(d), tree_(tree), joliet_(joliet), iso1999_(iso1999) {}

  void Read(uint32_t extent, TDirEntry* target, uint32_t length, int depth) {
    if (depth > kMaxDepth || !target) return;
    const auto sectors = static_cast<uint32_t>(SectorsFor(length));
    std::vector<uint8_t> sector(kSectorBytes);
    bool firstSector = true;
    for (uint32_t i = 0; i < sectors; ++i) {
      if (!Read10(d_, extent + i, 1, sector.data())) {
        firstSector = false;
        continue;
      }
      uint32_t offset = 0;
      if (firstSector) {
        // Skip "." and "..".
        for (int skip = 0; skip < 2 && offset < kSectorBytes && sector[offset] != 0; ++skip) offset += sector[offset];
        firstSector = false;
      }
      while (offset < 2015) {
        const uint8_t* r = sector.data() + offset;
        const uint8_t recordLength = r[0];
        if (recordLength == 0 || offset + recordLength > kSectorBytes || recordLength < 34) break;
        Record(r, target, depth);
        offset += recordLength;
      }
    }
  }

 private:
  std::u16string Name(const uint8_t* r, bool directory) const {
    const uint8_t n = r[32];
    const uint8_t* id = r + 33;
    std::u16string name;
    if (joliet_) {
      for (uint8_t i = 0; i + 1 < n; i += 2) {
        const char16_t c = static_cast<char16_t>(id[i] << 8 | id[i + 1]);
        if (c == u';') break;
        name += c;
      }
    } else {
      std::string text(reinterpret_cast<const char*>(id), n);
      if (!iso1999_) {
        if (const std::size_t semicolon = text.find(';'); semicolon != std::string::npos) text.resize(semicolon);
        if (!directory && !text.empty() && text.back() == '.') text.pop_back();
      }
      name = Utf8ToUtf16(text);
    }
    return name;
  }

  // The recorded date and time, kept as they are on the disc.
  int64_t Time(const uint8_t* r) const {
    std::tm tm{};
    tm.tm_year = r[18];
    tm.tm_mon = r[19] - 1;
    tm.tm_mday = r[20];
    tm.tm_hour = r[21];
    tm.tm_min = r[22];
    tm.tm_sec = r[23];
    return static_cast<int64_t>(timegm(&tm)) - int64_t{tree_.GMTOffset} * 900;
  }

  void Record(const uint8_t* r, TDirEntry* target, int depth) {
    const uint8_t flags = r[25];
    const bool directory = (flags & 0x02) != 0;
    FindRecord fd;
    fd.fileName = Name(r, directory);
    fd.lastWriteTime = Time(r);
    if (fd.fileName.empty()) return;
    const uint32_t extent = Get32LE(r + 2), length = Get32LE(r + 10);
    if (directory) {
      fd.attributes = kAttrDirectory;
      if (TDirEntry* dir = tree_.AddDirectoryEntry(target, fd)) Read(extent, dir, length, depth + 1);
      return;
    }
    // Files over 4 GiB span several records (multi-extent); they join into one entry.
    if (!pendingExtent_) pendingExtent_ = extent;
    pendingSize_ += length;
    if (flags & 0x80) return;
    fd.attributes = kAttrImported;
    fd.size = pendingSize_;
    const uint32_t first = pendingExtent_;
    pendingExtent_ = 0;
    pendingSize_ = 0;
    // Entries of the compilation keep their names: an imported file only
    // fills a name that is free.
    if (tree_.FindChild(target, fd.fileName)) return;
    tree_.AddEntry(target, fd, true, first, nullptr);
  }

  TSCSIDevice& d_;
  ImageTree& tree_;
  const bool joliet_, iso1999_;
  uint32_t pendingExtent_ = 0;
  uint64_t pendingSize_ = 0;
};

}  // namespace

int ImportDiscSession(TSCSIDevice& d, ImageTree& tree, EngineState& state, uint8_t session, TDirEntry* target,
                      bool iso1999) {
  state.SetStatus(TComponentStatus::Importing);
  const int n = session != 0 ? session : GetSessionCount(d);
  SendWriteParameters(d, false, false, false, d.MediaType);
  if (ReadTrackInformation(d, static_cast<uint8_t>(n))) {
    const uint32_t start = d.TrackInfo.TrackStart;
    std::vector<uint8_t> descriptor(kSectorBytes);
    uint8_t type = 0;
    if (FindVolumeDescriptor(d, start, descriptor.data(), &type) >= 0) {
      // Identifiers are decoded by the descriptor they come from.
      DirectoryReader reader(d, tree, type == 2, iso1999);
      reader.Read(Get32LE(descriptor.data() + 158), target ? target : tree.Root(),
                  Get32LE(descriptor.data() + 166), 0);
    }
  }
  state.SetStatus(TComponentStatus::Idle);
  return n;
}

}  // namespace qvr::data
