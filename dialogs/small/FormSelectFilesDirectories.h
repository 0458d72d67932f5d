#pragma once
// The window for adding files and folders: a folder tree and a file list.

#include <QDialog>
#include <QStringList>
#include <functional>

class QFileSystemModel;
class QLineEdit;
class QListView;
class QTreeView;

namespace qvr::lang {
class TLanguage;
}

struct TAddFilesPlace {
  QString Folder;
  int Top = 0, Left = 0, Height = 0, Width = 0;  // 0: centred, designed size
};

class TFormSelectFilesDirectories : public QDialog {
  Q_OBJECT
 public:
  // `add` receives the chosen paths.
  TFormSelectFilesDirectories(const qvr::lang::TLanguage& texts, const TAddFilesPlace& place,
                              std::function<void(const QStringList&)> add, QWidget* parent = nullptr);
  // Where the window was left, for the configuration.
  TAddFilesPlace Place() const;
  QStringList ChosenPaths() const;
  void AddChosen();

 private:
  void ShowFolder(const QString& path);
  QFileSystemModel* Folders;
  QFileSystemModel* Files;
  QTreeView* TreeFolders;
  QListView* ListFiles;
  QLineEdit* EditPath;
  std::function<void(const QStringList&)> add_;
};
