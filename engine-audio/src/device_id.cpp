#include "qvr/audio/device_id.h"

namespace qvr::audio {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<DeviceTriple> ParseDeviceId(const std::string& id) {
  if (id.size() <= 4) return std::nullopt;
  DeviceTriple t;
  std::size_t target_at;
  if (id[1] == ':') {
    if (!IsDigit(id[0])) return std::nullopt;
    t.adapter = static_cast<std::uint8_t>(id[0] - '0');
    target_at = 2;
  } else if (id[2] == ':') {
    if (!IsDigit(id[0]) || !IsDigit(id[1])) return std::nullopt;
    t.adapter = static_cast<std::uint8_t>((id[0] - '0') * 10 + (id[1] - '0'));
    target_at = 3;
  } else {
    return std::nullopt;
  }
  std::size_t lun_at = target_at + 2;
  if (id.size() <= lun_at || !IsDigit(id[target_at]) || id[target_at + 1] != ':' || !IsDigit(id[lun_at])) {
    return std::nullopt;
  }
  t.target = static_cast<std::uint8_t>(id[target_at] - '0');
  t.lun = static_cast<std::uint8_t>(id[lun_at] - '0');
  return t;
}

std::string DeviceListLine(const DeviceTriple& triple, char letter, const std::uint8_t* inquiry) {
  std::string line = std::to_string(triple.adapter) + ":" + std::to_string(triple.target) + ":" +
                     std::to_string(triple.lun) + "," + std::string(1, letter) + ": ";
  line.append(reinterpret_cast<const char*>(inquiry + 8), 8);
  line.append(reinterpret_cast<const char*>(inquiry + 16), 16);
  line.append(reinterpret_cast<const char*>(inquiry + 32), 4);
  return line;
}

}  // namespace qvr::audio
