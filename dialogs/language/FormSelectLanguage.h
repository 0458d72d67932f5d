#pragma once
// The language selection window of the first start: a sorted list of the
// languages the program carries, with "ENGLISH" selected, and an OK button.
// OK and a double click close it. Its captions are fixed, not translated.

#include <QDialog>
#include <QStringList>

class QListWidget;

class TFormSelectLanguage : public QDialog {
  Q_OBJECT
 public:
  TFormSelectLanguage(QStringList languages, const QString& preselected, QWidget* parent = nullptr);
  // The selected entry; empty when nothing is selected.
  QString SelectedLanguage() const;

 private:
  QListWidget* ListBox;
};
