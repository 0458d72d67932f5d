// Closing the main window: settings saved, work files removed.
#include <QApplication>
#include <QCloseEvent>

#include "FormMasterQVR.h"

void TFormMasterQVR::closeEvent(QCloseEvent* event) {
  CloseSequence();
  event->accept();
  QApplication::quit();
}

void TFormMasterQVR::CloseSequence() {
  if (Closed) return;
  Closed = true;
  SaveConfiguration();
  EmptyWorkFiles();
}

void TFormMasterQVR::EmptyWorkFiles() {
  qvr::app::DeleteWorkFiles(Folders.Temp);
  qvr::app::DeleteWorkFiles(QString::fromStdString(Config.WavFolder), QStringLiteral(".wav"));
}
