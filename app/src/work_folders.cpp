#include "work_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace qvr::app {

TWorkFolders WorkFoldersOf(const QString& program_folder) {
  return {program_folder + QStringLiteral("temp/"), program_folder + QStringLiteral("queue/"),
          program_folder + QStringLiteral("languages/")};
}

bool CreateWorkFolders(const TWorkFolders& folders) {
  bool ok = true;
  for (const QString& folder : {folders.Temp, folders.Queue, folders.Languages}) ok = QDir().mkpath(folder) && ok;
  return ok;
}

void DeleteWorkFiles(const QString& folder, const QString& suffix) {
  if (folder.size() <= 3) return;
  const QDir dir(folder);
  if (!dir.exists()) return;
  const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
  for (const QFileInfo& file : files) {
    if (file.isDir()) continue;  // a link to a folder is not a work file
    if (!suffix.isEmpty() && !file.fileName().endsWith(suffix, Qt::CaseInsensitive)) continue;
    QFile::remove(file.absoluteFilePath());
  }
}

}  // namespace qvr::app
