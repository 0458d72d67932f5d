#pragma once
// Device ids of the audio engine's drive list: "A:T:L,X: VENDOR PRODUCT REV",
// with a one- or two-digit adapter number.

#include <cstdint>
#include <optional>
#include <string>

namespace qvr::audio {

struct DeviceTriple {
  std::uint8_t adapter = 0, target = 0, lun = 0;
  bool operator==(const DeviceTriple&) const = default;
};

// The triple an id starts with; none for ids of 4 characters or fewer and for
// ids that do not start like a line of the drive list.
std::optional<DeviceTriple> ParseDeviceId(const std::string& id);

// The line of the drive list for a drive: triple, letter ('?' when none) and
// the raw 8 + 16 + 4 INQUIRY characters.
std::string DeviceListLine(const DeviceTriple& triple, char letter, const std::uint8_t* inquiry);

}  // namespace qvr::audio
