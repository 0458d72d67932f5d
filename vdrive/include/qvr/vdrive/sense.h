#pragma once
// Sense data as an MMC drive reports it: key, additional sense code and
// qualifier, built into fixed-format (70h) sense bytes.

#include <cstdint>
#include <string>

namespace qvr::vdrive {

struct Sense {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  // Sense-key specific progress (0-65535) for not-ready conditions, when set.
  int progress = -1;

  bool IsError() const { return key != 0 || asc != 0; }
  bool operator==(const Sense& o) const { return key == o.key && asc == o.asc && ascq == o.ascq; }
  // "K/AA/QQ" in hexadecimal, the notation of fault rules and the trace.
  std::string Text() const;
  // Parses "K/AA/QQ" (hexadecimal); false on anything else.
  static bool Parse(const std::string& text, Sense& out);
  // Writes 18 fixed-format sense bytes into out.
  void Encode(std::uint8_t out[18]) const;
};

constexpr int kSenseBytes = 18;

// The conditions this drive reports, by their SPC/MMC names.
namespace sense {
constexpr Sense kNone{0, 0x00, 0x00};
constexpr Sense kNotReady{2, 0x04, 0x00};
constexpr Sense kBecomingReady{2, 0x04, 0x01};
constexpr Sense kFormatInProgress{2, 0x04, 0x04};
constexpr Sense kOperationInProgress{2, 0x04, 0x07};
constexpr Sense kLongWriteInProgress{2, 0x04, 0x08};
constexpr Sense kNoMedium{2, 0x3A, 0x00};
constexpr Sense kNoMediumTrayClosed{2, 0x3A, 0x01};
constexpr Sense kNoMediumTrayOpen{2, 0x3A, 0x02};
constexpr Sense kWriteError{3, 0x0C, 0x00};
constexpr Sense kUnrecoveredRead{3, 0x11, 0x00};
constexpr Sense kParameterListLength{5, 0x1A, 0x00};
constexpr Sense kInvalidOpcode{5, 0x20, 0x00};
constexpr Sense kLbaOutOfRange{5, 0x21, 0x00};
constexpr Sense kInvalidAddressForWrite{5, 0x21, 0x02};
constexpr Sense kInvalidFieldInCdb{5, 0x24, 0x00};
constexpr Sense kInvalidFieldInParameters{5, 0x26, 0x00};
constexpr Sense kCommandSequence{5, 0x2C, 0x00};
constexpr Sense kIncompatibleMedium{5, 0x30, 0x00};
constexpr Sense kCannotReadIncompatible{5, 0x30, 0x02};
constexpr Sense kCannotWriteIncompatible{5, 0x30, 0x05};
constexpr Sense kCannotFormatIncompatible{5, 0x30, 0x06};
constexpr Sense kSavingNotSupported{5, 0x39, 0x00};
constexpr Sense kRemovalPrevented{5, 0x53, 0x02};
constexpr Sense kIllegalModeForTrack{5, 0x64, 0x00};
constexpr Sense kEmptyReservedTrack{5, 0x72, 0x04};
constexpr Sense kNoMoreReservations{5, 0x72, 0x05};
constexpr Sense kMediumChanged{6, 0x28, 0x00};
constexpr Sense kWriteProtected{7, 0x27, 0x00};
}  // namespace sense

}  // namespace qvr::vdrive
