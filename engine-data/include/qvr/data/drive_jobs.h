#pragma once
// The long drive operations besides burning: verification of the written
// files, erase, and session import. Each runs on the thread that calls it;
// the component gives them a thread and reports their end.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "qvr/data/engine_state.h"
#include "qvr/data/image_layout.h"
#include "qvr/data/image_tree.h"
#include "qvr/data/scsi_device.h"

namespace qvr::data {

// Compares the MD5 digest of every written source file with the same bytes
// read back from the disc. report(fileId, failed) for each file and once with
// -1 at the end (failed when any file failed or the run was aborted).
void VerifyFiles(TSCSIDevice& d, ImageTree& tree, const ImageLayout& layout, EngineState& state,
                 const std::atomic<bool>& abort, std::atomic<uint32_t>& verifiedSectors,
                 const std::function<void(int32_t fileId, bool failed)>& report);

// The source file's digest text, or "" when it cannot be read.
std::string SourceDigest(const std::string& path, const std::atomic<bool>& abort, uint8_t* buffer65536);

// Erases the disc; true when it failed.
bool EraseMedium(TSCSIDevice& d, EngineState& state, bool quick);

// Adds the directory tree of a session (0 = the last) to target as imported
// entries; returns the session number used.
int ImportDiscSession(TSCSIDevice& d, ImageTree& tree, EngineState& state, uint8_t session, TDirEntry* target,
                      bool iso1999);

}  // namespace qvr::data
