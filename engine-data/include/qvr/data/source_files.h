#pragma once
// Reads what the image tree needs to know about a file on disk: size, time and
// the attribute bits (R: owner may not write, H: name begins with ".",
// A: every regular file, D: directories).

#include <sys/stat.h>

#include <optional>
#include <string>

#include "qvr/data/image_tree.h"

namespace qvr::data {

// The find record of a regular file or a directory (symbolic links followed);
// nothing for a missing path or for devices, pipes and sockets, which cannot
// be burned. fileName is the last component of the path.
std::optional<FindRecord> FindSource(const std::string& path);
// The same from a stat result the caller has already; name is the file's name.
FindRecord FindRecordOf(const struct stat& st, std::string_view name);

}  // namespace qvr::data
