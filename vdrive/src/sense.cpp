#include "qvr/vdrive/sense.h"

#include <cstdio>
#include <cstring>

namespace qvr::vdrive {

std::string Sense::Text() const {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X/%02X/%02X", key, asc, ascq);
  return buf;
}

bool Sense::Parse(const std::string& text, Sense& out) {
  unsigned key = 0, asc = 0, ascq = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%x/%x/%x%c", &key, &asc, &ascq, &tail) != 3) return false;
  if (key > 0x0F || asc > 0xFF || ascq > 0xFF) return false;
  out = Sense{static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(asc), static_cast<std::uint8_t>(ascq)};
  return true;
}

void Sense::Encode(std::uint8_t out[18]) const {
  std::memset(out, 0, 18);
  out[0] = 0x70;
  out[2] = key;
  out[7] = 10;  // additional sense length
  out[12] = asc;
  out[13] = ascq;
  if (progress >= 0) {
    out[15] = 0x80;  // SKSV: progress indication
    out[16] = static_cast<std::uint8_t>(progress >> 8);
    out[17] = static_cast<std::uint8_t>(progress);
  }
}

}  // namespace qvr::vdrive
