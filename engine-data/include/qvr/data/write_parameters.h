#pragma once
// Mode page 05h (write parameters): built per medium from the page the drive
// reports, then sent with MODE SELECT (10).

#include <cstdint>
#include <vector>

#include "qvr/data/scsi_device.h"

namespace qvr::data {

struct WriteParameterChoice {
  bool testWrite = false;
  bool burnProof = true;
  bool multiSession = false;
  uint8_t mediaType = 0;
  bool underrunProtection = false;  // the drive reports it (page 2Ah byte 4 bit 7)
};

// The page (pageLength + 2 bytes) for the choice.
std::vector<uint8_t> BuildWriteParametersPage(uint8_t pageLength, const WriteParameterChoice& choice);

// Senses the current page, builds the page for the medium and selects it.
bool SendWriteParameters(TSCSIDevice& d, bool testWrite, bool burnProof, bool multiSession, uint8_t mediaType);

}  // namespace qvr::data
