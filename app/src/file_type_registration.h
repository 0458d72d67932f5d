#pragma once
#include <QString>

namespace qvr::app {

// Makes project files (".qvr") open with the program: a MIME type and a
// desktop entry under the user's data folder ($XDG_DATA_HOME, default
// ~/.local/share), then tells the desktop databases. Failures are ignored.
void RegisterFileType(const QString& executable);

}  // namespace qvr::app
