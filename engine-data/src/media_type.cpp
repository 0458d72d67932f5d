#include "qvr/data/media_type.h"

namespace qvr::data {

uint8_t MediaTypeOfProfile(uint16_t profile) {
  switch (profile) {
    case 0x0008: return MediaCdRom;
    case 0x0009: return MediaCdR;
    case 0x000A: return MediaCdRw;
    case 0x0010: return MediaDvdRom;
    case 0x0011: return MediaDvdR;
    case 0x0012: return MediaDvdRam;
    case 0x0013: return MediaDvdRwRestricted;
    case 0x0014: return MediaDvdRwSequential;
    case 0x001A: return MediaDvdPlusRw;
    case 0x001B: return MediaDvdPlusR;
    case 0x002B: return MediaDvdPlusRDl;
    case 0x0040: return MediaBdRom;
    case 0x0041: return MediaBdR;
    case 0x0042: return MediaBdRRandom;
    case 0x0043: return MediaBdRe;
    case 0x0050: return MediaHdDvdRom;
    case 0x0051: return MediaHdDvdR;
    case 0x0052: return MediaHdDvdRam;
    case 0x0020: return MediaDdcdRom;
    case 0x0021: return MediaDdcdR;
    case 0x0022: return MediaDdcdRw;
    default: return MediaNone;
  }
}

std::string MediaTypeName(uint8_t code) {
  static const char* const names[] = {"No disc",   "CD-ROM",     "CD-R",      "CD-RW",     "DVD-ROM",
                                      "DVD-R",     "DVD-RAM",    "DVD-R DL",  "DVD-RW",    "DVD-RW",
                                      "DVD+RW",    "DVD+R",      "DVD+R DL",  "BD-ROM",    "BD-R",
                                      "BD-R",      "BD-RE",      "HD DVD-ROM", "HD DVD-R", "HD DVD-RAM",
                                      "DDCD-ROM",  "DDCD-R",     "DDCD-RW"};
  return code < sizeof names / sizeof names[0] ? names[code] : "Unknown";
}

double OneXSpeed(uint8_t code) {
  if (code >= MediaDvdRom && code <= MediaDvdPlusRDl) return 1385.0;
  if (code >= MediaBdRom && code <= MediaHdDvdRam) return 4495.5;
  return 176.46;
}

}  // namespace qvr::data
