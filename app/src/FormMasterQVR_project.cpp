// Project files: the compilation and the volume name box saved and opened.
#include <QFileDialog>
#include <QLineEdit>

#include "FormMasterQVR.h"
#include "compilation/project_file.h"
#include "compilation/queue_model.h"

using namespace qvr::app;

namespace {
const QString kProjectFilter = QStringLiteral("Quorvella project (*.qvr)");
}

bool TFormMasterQVR::SaveProject(const QString& path) {
  SetScreenCursor(-11);
  const bool saved = SaveProjectFile(path, Queue.Root(), EditCommandVolumeName->text());
  SetScreenCursor(-1);
  return saved;
}

bool TFormMasterQVR::LoadProject(const QString& path) {
  SetScreenCursor(-11);
  ProjectLoading = true;
  QueueItemModel->SetRenameLocked(true);
  TProjectContents contents;
  bool loaded = LoadProjectFile(path, contents);
  std::vector<std::unique_ptr<TQueueNode>> children;
  // A file that is not a project, or whose tree is damaged, leaves the compilation as it was.
  if (loaded && contents.Tree) loaded = DecodeTree(*contents.Tree, children);
  if (loaded) {
    if (contents.Tree) {
      Queue.ReplaceChildren(std::move(children));
      ForgetImportedSession();
      UpdateActions(false);
    }
    if (contents.VolumeName && !contents.VolumeName->isEmpty()) EditCommandVolumeName->setText(*contents.VolumeName);
  }
  QueueItemModel->SetRenameLocked(false);
  ProjectLoading = false;
  SetScreenCursor(-1);
  return loaded;
}

void TFormMasterQVR::NewProject() {
  EditCommandVolumeName->clear();
  Queue.Clear();
  ForgetImportedSession();
  UpdateActions(false);
}

void TFormMasterQVR::ActionSaveProjectExecute() {
  QString path = QFileDialog::getSaveFileName(this, QString(), QString(), kProjectFilter);
  if (path.isEmpty()) return;
  if (!path.endsWith(QStringLiteral(".qvr"), Qt::CaseInsensitive)) path += QStringLiteral(".qvr");
  SaveProject(path);
}

void TFormMasterQVR::ActionLoadProjectExecute() {
  const QString path = QFileDialog::getOpenFileName(this, QString(), QString(), kProjectFilter);
  if (!path.isEmpty()) LoadProject(path);
}

void TFormMasterQVR::ActionNewProjectExecute() {
  if (!ConfirmWarning(GetLangText(17, 25), GetLangText(17, 26),
                      Config.Confirmations[qvr::config::kConfirmNewCompilation])) {
    return;
  }
  NewProject();
}
