// The main window's language: switching and the first-start installation.
#include <QSettings>

#include "FormMasterQVR.h"

void TFormMasterQVR::SetLanguage(const QString& name, bool save) {
  std::function<void()> save_configuration;
  if (save) save_configuration = [this] { SaveConfiguration(); };
  Language.SetLanguage(name, save_configuration);
  QSettings settings(QStringLiteral("Quorvella"), QStringLiteral("Quorvella"));
  settings.setValue(QStringLiteral("CurrentLanguage"), Language.CurrentLanguagePath());
  ApplyMainWindowCaptions();
}

void TFormMasterQVR::InstallTranslationsAndChooseLanguage() {
  const QString english = QString::fromLatin1(qvr::lang::kEnglish);
  QString chosen = Questions->ChooseLanguage(Language.ContainerLanguages(), english);
  if (chosen.isEmpty()) chosen = english;
  if (!Language.InstallTranslations()) return;
  SetLanguage(chosen, true);
}
