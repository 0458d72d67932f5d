// Steps of the main window that the compilation, drive panel, log, toolbar and
// burner code fill in. Each is called at the point of the creation sequence,
// show or close where it belongs; until its code exists it does nothing.
#include "FormMasterQVR.h"
#include "app_log.h"

// The command line processor. For now it records the text it was given.
void TFormMasterQVR::ProcessCommandLine(const QString& text) {
  StartupCommandDone = true;
  if (text.isEmpty()) return;
  LogMessage(QStringLiteral("Command: ") + text);
  qCInfo(lcApp).noquote() << "command text" << text.size() << "characters:" << text;
}

void TFormMasterQVR::InitDataBurner() {}
void TFormMasterQVR::InitAudioBurner() {}
void TFormMasterQVR::ApplyMainWindowCaptions() { UpdateCaption(); }
void TFormMasterQVR::ApplyToolbarLayout(const QString&) {}
bool TFormMasterQVR::ProgressWindowExists() const { return false; }

void TFormMasterQVR::SetUpDiscSpacePanel() {}
void TFormMasterQVR::CreateAudioWorkflow() {}
void TFormMasterQVR::ReportMissingLibraries() {}
void TFormMasterQVR::ApplySettingsToControls() {}
void TFormMasterQVR::CollectSettingsFromControls() {}
void TFormMasterQVR::SetHelpVersionEntry() {}
void TFormMasterQVR::FillDriveList() {}
void TFormMasterQVR::RunSilentUpdateCheck() {}
void TFormMasterQVR::OpenDonationPage() {}
void TFormMasterQVR::ShowIntroduction() {}
void TFormMasterQVR::RefreshOnShow() {}
