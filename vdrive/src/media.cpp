#include "qvr/vdrive/media.h"

#include <algorithm>
#include <cctype>

namespace qvr::vdrive {

namespace {

// Speeds in kB/s: CD 1X = 176.4, DVD 1X = 1385, BD 1X = 4495.5.
const std::vector<int> kCdRSpeeds{706, 1411, 2822, 4234, 5645, 7056, 8467};
const std::vector<int> kCdRwSpeeds{706, 1764, 2822, 4234};
const std::vector<int> kDvdRSpeeds{2770, 5540, 11080, 22160};
const std::vector<int> kDvdRwSpeeds{2770, 5540, 8310};
const std::vector<int> kDvdPlusRwSpeeds{3324, 5540, 11080};
const std::vector<int> kDvdDlSpeeds{3324, 5540, 11080};
const std::vector<int> kDvdRamSpeeds{2770, 4155, 6925};
const std::vector<int> kBdRSpeeds{8991, 17982, 26973, 35964};
const std::vector<int> kBdReSpeeds{8991, 17982};

constexpr int kCdRead = 8467, kDvdRead = 22160, kBdRead = 35964;

const std::vector<MediaSpec>& Table() {
  static const std::vector<MediaSpec> table{
      {MediaKind::kCdRom, "cd-rom", "CD-ROM", profile::kCdRom, Family::kCd, Recording::kPressed, 0, 0, false, false, true, {}, kCdRead},
      {MediaKind::kCdR, "cd-r", "CD-R", profile::kCdR, Family::kCd, Recording::kSequential, 359849, 4500, false, true, false, kCdRSpeeds, kCdRead},
      {MediaKind::kCdRw, "cd-rw", "CD-RW", profile::kCdRw, Family::kCd, Recording::kSequential, 359849, 4500, true, true, false, kCdRwSpeeds, kCdRead},
      {MediaKind::kDvdRom, "dvd-rom", "DVD-ROM", profile::kDvdRom, Family::kDvd, Recording::kPressed, 0, 0, false, false, true, {}, kDvdRead},
      {MediaKind::kDvdR, "dvd-r", "DVD-R", profile::kDvdR, Family::kDvd, Recording::kSequential, 2298496, 0, false, true, false, kDvdRSpeeds, kDvdRead},
      {MediaKind::kDvdRw, "dvd-rw", "DVD-RW", profile::kDvdRwSequential, Family::kDvd, Recording::kSequential, 2298496, 0, true, true, false, kDvdRwSpeeds, kDvdRead},
      {MediaKind::kDvdPlusR, "dvd+r", "DVD+R", profile::kDvdPlusR, Family::kDvd, Recording::kSequential, 2295104, 0, false, false, false, kDvdRSpeeds, kDvdRead},
      {MediaKind::kDvdPlusRw, "dvd+rw", "DVD+RW", profile::kDvdPlusRw, Family::kDvd, Recording::kOverwrite, 2295104, 0, true, false, false, kDvdPlusRwSpeeds, kDvdRead},
      {MediaKind::kDvdPlusRDl, "dvd+r-dl", "DVD+R DL", profile::kDvdPlusRDl, Family::kDvd, Recording::kSequential, 4173824, 0, false, false, false, kDvdDlSpeeds, kDvdRead},
      {MediaKind::kDvdRam, "dvd-ram", "DVD-RAM", profile::kDvdRam, Family::kDvd, Recording::kOverwrite, 2236704, 0, true, false, true, kDvdRamSpeeds, kDvdRead},
      {MediaKind::kBdRom, "bd-rom", "BD-ROM", profile::kBdRom, Family::kBd, Recording::kPressed, 0, 0, false, false, true, {}, kBdRead},
      {MediaKind::kBdR, "bd-r", "BD-R", profile::kBdRSequential, Family::kBd, Recording::kSequential, 12219392, 0, false, false, false, kBdRSpeeds, kBdRead},
      {MediaKind::kBdRe, "bd-re", "BD-RE", profile::kBdRe, Family::kBd, Recording::kOverwrite, 12219392, 0, true, false, false, kBdReSpeeds, kBdRead},
  };
  return table;
}

}  // namespace

const MediaSpec& SpecOf(MediaKind kind) { return Table()[static_cast<std::size_t>(kind)]; }

std::optional<MediaKind> MediaKindFromName(const std::string& name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const MediaSpec& spec : Table()) {
    if (lower == spec.name) return spec.kind;
  }
  return std::nullopt;
}

const std::vector<MediaKind>& AllMediaKinds() {
  static const std::vector<MediaKind> kinds = [] {
    std::vector<MediaKind> all;
    for (const MediaSpec& spec : Table()) all.push_back(spec.kind);
    return all;
  }();
  return kinds;
}

Msf LbaToMsf(std::int64_t lba) {
  // LBAs below -150 are the lead-in area, absolute times from 90:00:00 up.
  std::int64_t frames = lba >= -150 ? lba + 150 : lba + 450150;
  return Msf{static_cast<int>(frames / 4500), static_cast<int>((frames / 75) % 60), static_cast<int>(frames % 75)};
}

std::int64_t MsfToLba(int m, int s, int f) {
  std::int64_t frames = static_cast<std::int64_t>(m) * 4500 + s * 75 + f;
  return m >= 90 ? frames - 450150 : frames - 150;
}

}  // namespace qvr::vdrive
