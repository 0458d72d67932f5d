#pragma once
// The error detection and correction bytes of a CD-ROM mode 1 sector
// (ECMA-130 annex A and B): EDC over sync, header and user data, then the
// P and Q Reed-Solomon parity over header through EDC.

#include <cstdint>

namespace qvr::vdrive {

// Fills bytes 2064-2351 of a 2352-byte mode 1 sector whose sync, header and
// user data (bytes 0-2063) are in place.
void CompleteMode1Sector(std::uint8_t* raw);

}  // namespace qvr::vdrive
