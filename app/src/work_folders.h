#pragma once
// The work folders under the program folder and the work files the program
// removes at start-up and at exit.

#include <QString>

namespace qvr::app {

struct TWorkFolders {
  QString Temp;       // ProgramFolder + "temp/"
  QString Queue;      // ProgramFolder + "queue/"
  QString Languages;  // ProgramFolder + "languages/"
};

// The three folders of `program_folder` (which ends with '/'), each ending with '/'.
TWorkFolders WorkFoldersOf(const QString& program_folder);

// Creates each folder with every missing parent. False when one is missing afterwards.
bool CreateWorkFolders(const TWorkFolders& folders);

// Deletes the files (not the folders) directly in `folder`; with a non-empty
// `suffix` only files whose name ends with it, ignoring case. A path of 3
// characters or fewer (such as "/" or "C:\") is never emptied.
void DeleteWorkFiles(const QString& folder, const QString& suffix = {});

}  // namespace qvr::app
