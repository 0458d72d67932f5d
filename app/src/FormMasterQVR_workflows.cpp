// Handlers of actions whose work lives in the burn, drive panel, settings,
// print, bug report and online code. Each is the one place that code fills
// in; until then the action does nothing.
#include "FormMasterQVR.h"

void TFormMasterQVR::ActionBurnExecute() {}
void TFormMasterQVR::ActionBurnAudioExecute() {}
void TFormMasterQVR::ActionBurnISOExecute() {}
void TFormMasterQVR::ActionSaveISOExecute() {}
void TFormMasterQVR::ActionImportSessionExecute() {}
void TFormMasterQVR::ActionEraseDiscExecute() {}
void TFormMasterQVR::ActionDiscInfoExecute() {}
void TFormMasterQVR::ActionEjectExecute() {}
void TFormMasterQVR::ActionLoadExecute() {}
void TFormMasterQVR::ActionCheckCDBurnerExecute() {}
void TFormMasterQVR::ActionSettingsExecute() {}
void TFormMasterQVR::ActionLanguageExecute() {}
void TFormMasterQVR::ActionPrintExecute() {}
void TFormMasterQVR::ActionBugsExecute() {}
void TFormMasterQVR::ActionUpgradeExecute() {}
// Help, home, newsletter, donation and contact pages.
void TFormMasterQVR::ActionWebPageExecute(const QString&) {}
// The data burn keeps the session imported from the disc; a new compilation drops it.
void TFormMasterQVR::ForgetImportedSession() {}
