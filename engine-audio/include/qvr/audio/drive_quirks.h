#pragma once
// Drive models that need the audio writer to behave differently, as data:
// each entry names what to match in the INQUIRY identity and what it changes.

#include <string>

namespace qvr::audio {

struct DriveQuirks {
  bool underrun_protection = false;   // counts as having it whatever page 2Ah says
  bool restore_sets_bit_20 = false;   // page 05h byte 2 bit 20h when write parameters are restored
  bool close_without_immediate = false;  // CLOSE TRACK/SESSION without the immediate bit
  bool slow_ready = false;            // WaitUntilReady first waits in 1.5 s steps
  bool operator==(const DriveQuirks&) const = default;
};

// vendor: the 8 INQUIRY characters, product: the 16, both untrimmed.
DriveQuirks QuirksFor(const std::string& vendor, const std::string& product);

}  // namespace qvr::audio
