#pragma once
// The stored-file container built into the program from resources/: the
// reserved texts, the English texts and every translation.

#include "storage/file_storage.h"

namespace qvr::app {

// Parsed once; empty when the built-in bytes do not load.
const storage::TFileStorage& EmbeddedFileStorage();

}  // namespace qvr::app
