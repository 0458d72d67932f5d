// Steps of the main window that the compilation, drive panel, log, toolbar and
// burner code fill in. Each is called at the point of the creation sequence,
// show or close where it belongs; until its code exists it does nothing.
#include "FormMasterQVR.h"
#include "app_log.h"

#include <QCheckBox>
#include <QLineEdit>

#include "compilation/queue_model.h"

// The command line processor. For now it records the text it was given.
void TFormMasterQVR::ProcessCommandLine(const QString& text) {
  StartupCommandDone = true;
  if (text.isEmpty()) return;
  LogMessage(QStringLiteral("Command: ") + text.toHtmlEscaped());
  qCInfo(lcApp).noquote() << "command text" << text.size() << "characters:" << text;
}

void TFormMasterQVR::InitDataBurner() {}
void TFormMasterQVR::InitAudioBurner() {}
bool TFormMasterQVR::ProgressWindowExists() const { return false; }

void TFormMasterQVR::CreateAudioWorkflow() {}
void TFormMasterQVR::ReportMissingLibraries() {}
void TFormMasterQVR::FillDriveList() {}
void TFormMasterQVR::RunSilentUpdateCheck() {}
void TFormMasterQVR::OpenDonationPage() {}
void TFormMasterQVR::ShowIntroduction() {}

// The command bar's boxes follow their configuration keys.
void TFormMasterQVR::ApplySettingsToControls() {
  if (!EditCommandVolumeName) return;
  EditCommandVolumeName->setText(QString::fromStdString(Config.CommandVolumeName));
  CheckBoxCommandCloseDisc->setChecked(Config.CloseDisc);
  CheckBoxDriveQuickErase->setChecked(Config.QuickErase);
  QueueItemModel->SetShowFolderSizes(Config.ShowFolderSizes);
}

void TFormMasterQVR::CollectSettingsFromControls() {
  if (!EditCommandVolumeName) return;
  Config.CommandVolumeName = EditCommandVolumeName->text().toStdString();
  Config.CloseDisc = CheckBoxCommandCloseDisc->isChecked();
  Config.QuickErase = CheckBoxDriveQuickErase->isChecked();
}
