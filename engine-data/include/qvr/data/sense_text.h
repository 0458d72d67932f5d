#pragma once
// Descriptions of the SCSI additional sense codes (SPC/MMC) a drive reports,
// so a job that ends on one can say what happened, not only its number.

#include <cstdint>
#include <string>

namespace qvr::data {

// "WRITE ERROR" for 0C00h; the ASC family's text when only the ASC is
// known; "" when the code is unknown.
std::string SenseDescription(uint16_t ascAscq);
// "0C/00 WRITE ERROR" - the hexadecimal pair and its description.
std::string SenseCodeText(uint16_t ascAscq);

}  // namespace qvr::data
