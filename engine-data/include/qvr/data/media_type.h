#pragma once
// TMediaType: the data engine's code of the loaded medium, from the MMC
// current profile, with the names and speed families the application shows.

#include <cstdint>
#include <string>

namespace qvr::data {

enum TMediaType : uint8_t {
  MediaNone = 0, MediaCdRom = 1, MediaCdR = 2, MediaCdRw = 3, MediaDvdRom = 4, MediaDvdR = 5, MediaDvdRam = 6,
  MediaDvdRwRestricted = 8, MediaDvdRwSequential = 9, MediaDvdPlusRw = 10, MediaDvdPlusR = 11,
  MediaDvdPlusRDl = 12, MediaBdRom = 13, MediaBdR = 14, MediaBdRRandom = 15, MediaBdRe = 16, MediaHdDvdRom = 17,
  MediaHdDvdR = 18, MediaHdDvdRam = 19, MediaDdcdRom = 20, MediaDdcdR = 21, MediaDdcdRw = 22,
};

// 0 for profiles the table does not know.
uint8_t MediaTypeOfProfile(uint16_t profile);
// "CD-R", "DVD+RW", ... ("No disc" for 0).
std::string MediaTypeName(uint8_t code);
// KB/s of 1X for the medium: 176.46 (CD), 1385 (DVD), 4495.5 (BD, HD DVD).
double OneXSpeed(uint8_t code);

}  // namespace qvr::data
