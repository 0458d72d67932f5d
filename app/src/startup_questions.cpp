#include "startup_questions.h"

#include <QMessageBox>

#include "language/FormSelectLanguage.h"

namespace qvr::app {

QString TScriptedStartupQuestions::Next() { return answers_.isEmpty() ? QString() : answers_.takeFirst().trimmed(); }

QString TScriptedStartupQuestions::ChooseLanguage(const QStringList& languages, const QString& preselected) {
  const QString answer = Next().toUpper();
  return languages.contains(answer) ? answer : preselected;
}

bool TScriptedStartupQuestions::AskYesNo(const QString&, const QString&) {
  return Next().compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0;
}

QString TDialogStartupQuestions::ChooseLanguage(const QStringList& languages, const QString& preselected) {
  TFormSelectLanguage form(languages, preselected, parent_);
  form.exec();
  return form.SelectedLanguage();
}

bool TDialogStartupQuestions::AskYesNo(const QString& caption, const QString& text) {
  return QMessageBox::question(parent_, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::unique_ptr<TStartupQuestions> MakeStartupQuestions(QWidget* parent) {
  if (qEnvironmentVariableIsSet("QVR_STARTUP_ANSWERS")) {
    return std::make_unique<TScriptedStartupQuestions>(
        qEnvironmentVariable("QVR_STARTUP_ANSWERS").split(QLatin1Char(','), Qt::SkipEmptyParts));
  }
  return std::make_unique<TDialogStartupQuestions>(parent);
}

}  // namespace qvr::app
