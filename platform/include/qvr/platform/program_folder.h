#pragma once
// Where the program keeps its configuration, work folders and logs.
//
// The program folder is the executable's folder when that folder is writable
// (portable use); otherwise $XDG_DATA_HOME/Quorvella/ (default
// ~/.local/share/Quorvella/). QUORVELLA_HOME overrides both; tests use it.
// Every folder returned here ends with '/'.

#include <string>

namespace qvr::platform {

// Folder of the running executable, from /proc/self/exe.
std::string ExecutableFolder();

// The program folder as described above; created when missing.
std::string ProgramFolder();

// Appends a trailing '/' when missing.
std::string WithTrailingSlash(std::string path);

}  // namespace qvr::platform
