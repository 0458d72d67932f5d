#pragma once
// Images of what a virtual disc holds.

#include <cstdint>
#include <string>

#include "qvr/vdrive/drive.h"

namespace qvr::vdrive {

// The user data (2048-byte blocks) from block 0 through the end of the last
// session, or of session `session` when it is not 0; blocks without data
// (between sessions) are zeros. Fills end_block with the number of blocks.
bool ExportIso(Drive& drive, int session, const std::string& path, std::int64_t* blocks,
               std::string* error);

// An audio or mixed CD as a BIN file of raw 2352-byte sectors from track 1
// index 1 on, with a CUE sheet naming it (FILE.bin beside FILE.cue).
bool ExportCue(Drive& drive, const std::string& cue_path, std::string* error);

}  // namespace qvr::vdrive
