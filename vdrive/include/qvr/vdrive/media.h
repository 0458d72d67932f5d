#pragma once
// The media the virtual recorder knows: their MMC profile, real capacity,
// speed table and recording rules.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvr::vdrive {

enum class MediaKind : std::uint8_t {
  kCdRom, kCdR, kCdRw,
  kDvdRom, kDvdR, kDvdRw, kDvdPlusR, kDvdPlusRw, kDvdPlusRDl, kDvdRam,
  kBdRom, kBdR, kBdRe,
};

enum class Family : std::uint8_t { kCd, kDvd, kBd };

// How the medium takes writes.
enum class Recording : std::uint8_t {
  kPressed,     // read-only
  kSequential,  // write-once or sequential rewritable: only at the next writable address
  kOverwrite,   // random writes once formatted
};

struct MediaSpec {
  MediaKind kind;
  const char* name;          // the name users type: "cd-r", "dvd+rw", ...
  const char* label;         // shown in status: "CD-R", "DVD+RW", ...
  std::uint16_t profile;     // MMC profile when blank or as inserted
  Family family;
  Recording recording;
  std::int64_t capacity;     // user blocks of a blank disc (2048 bytes; CD: sectors)
  std::int64_t overburn;     // blocks a write may run past the capacity
  bool erasable;             // BLANK (CD-RW, DVD-RW) or FORMAT (DVD+RW, DVD-RAM, BD-RE)
  bool test_write;           // simulation supported
  bool formatted_when_new;   // DVD-RAM comes formatted; DVD+RW and BD-RE do not
  std::vector<int> write_speeds;  // kB/s, ascending; empty for pressed media
  int max_read_speed;        // kB/s
};

const MediaSpec& SpecOf(MediaKind kind);
// Looks a medium up by its user name ("cd-r", "DVD+RW" ...); case-insensitive.
std::optional<MediaKind> MediaKindFromName(const std::string& name);
const std::vector<MediaKind>& AllMediaKinds();

// MMC profiles used below.
namespace profile {
constexpr std::uint16_t kNone = 0x0000;
constexpr std::uint16_t kCdRom = 0x0008;
constexpr std::uint16_t kCdR = 0x0009;
constexpr std::uint16_t kCdRw = 0x000A;
constexpr std::uint16_t kDvdRom = 0x0010;
constexpr std::uint16_t kDvdR = 0x0011;
constexpr std::uint16_t kDvdRam = 0x0012;
constexpr std::uint16_t kDvdRwRestricted = 0x0013;
constexpr std::uint16_t kDvdRwSequential = 0x0014;
constexpr std::uint16_t kDvdPlusRw = 0x001A;
constexpr std::uint16_t kDvdPlusR = 0x001B;
constexpr std::uint16_t kDvdPlusRDl = 0x002B;
constexpr std::uint16_t kBdRom = 0x0040;
constexpr std::uint16_t kBdRSequential = 0x0041;
constexpr std::uint16_t kBdRe = 0x0043;
}  // namespace profile

// CD time: LBA -150 is 00:02:00 away from absolute time 00:00:00.
struct Msf {
  int m = 0, s = 0, f = 0;
};
Msf LbaToMsf(std::int64_t lba);           // absolute time of an LBA (LBA + 150)
std::int64_t MsfToLba(int m, int s, int f);  // inverse

}  // namespace qvr::vdrive
