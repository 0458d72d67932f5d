#pragma once
// Chooses a folder. The result is the chosen path, or "-1" when cancelled.

#include <QDialog>

class QFileSystemModel;
class QTreeView;

namespace qvr::lang {
class TLanguage;
}

class TFormSelectFolder : public QDialog {
  Q_OBJECT
 public:
  TFormSelectFolder(const qvr::lang::TLanguage& texts, const QString& start_folder, QWidget* parent = nullptr);
  const QString& Result() const { return result_; }
  void SelectFolder(const QString& path);

 private:
  void TakeSelected();
  QFileSystemModel* Model;
  QTreeView* Tree;
  QString result_ = QStringLiteral("-1");
};
