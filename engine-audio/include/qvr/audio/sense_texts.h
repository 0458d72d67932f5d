#pragma once
// The audio engine's upper-case English texts for request outcomes: ASPI
// status, SCSI sense keys, additional sense codes (SPC and MMC wording) and
// the 22-character command names of the MMC operation codes.

#include <cstdint>
#include <string>

namespace qvr::audio {

// Text of a request's status, host adapter status and target status. The
// CHECK CONDITION text is the caller's cue to look at the sense data.
std::string StatusText(std::uint8_t status, std::uint8_t host_status, std::uint8_t target_status);

// Text of fixed-format sense data (sense key with the FILEMARK, EOM and ILI
// bits for key 0); empty when byte 0 is 0; "UNKNOWN" for other formats. Key 9
// and 12 have no text of their own and keep "CHECK CONDITION".
std::string SenseKeyText(const std::uint8_t* sense);

// The standard's description of an ASC/ASCQ pair, or empty when unknown.
std::string AdditionalSenseText(std::uint8_t asc, std::uint8_t ascq);

// The described ASC/ASCQ pairs (for tests).
std::size_t AdditionalSenseTextCount();

// 22 characters padded with blanks for the MMC operation codes the audio
// engine knows; otherwise the code as 2 hex digits.
std::string CommandName(std::uint8_t opcode);

}  // namespace qvr::audio
