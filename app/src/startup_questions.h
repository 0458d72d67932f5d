#pragma once
// The questions the main window asks on its own at start-up and at a show:
// the language at the first start, the automatic-update question and the
// donation question. Behind an interface so that headless runs and tests
// answer them without a dialog.

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

namespace qvr::app {

class TStartupQuestions {
 public:
  virtual ~TStartupQuestions() = default;
  // The chosen language name, or empty when nothing was chosen.
  virtual QString ChooseLanguage(const QStringList& languages, const QString& preselected) = 0;
  virtual bool AskYesNo(const QString& caption, const QString& text) = 0;
};

// Answers from a list, in order: "QVR_STARTUP_ANSWERS=GERMAN,yes" chooses
// GERMAN and answers the first question Yes. Once the list is used up, the
// language is the preselected one and every question is answered No.
class TScriptedStartupQuestions : public TStartupQuestions {
 public:
  explicit TScriptedStartupQuestions(QStringList answers) : answers_(std::move(answers)) {}
  QString ChooseLanguage(const QStringList& languages, const QString& preselected) override;
  bool AskYesNo(const QString& caption, const QString& text) override;

 private:
  QString Next();
  QStringList answers_;
};

// The dialogs: the language selection window and Yes/No message boxes.
class TDialogStartupQuestions : public TStartupQuestions {
 public:
  explicit TDialogStartupQuestions(QWidget* parent) : parent_(parent) {}
  QString ChooseLanguage(const QStringList& languages, const QString& preselected) override;
  bool AskYesNo(const QString& caption, const QString& text) override;

 private:
  QWidget* parent_;
};

// Scripted when QVR_STARTUP_ANSWERS is set (even empty), the dialogs otherwise.
std::unique_ptr<TStartupQuestions> MakeStartupQuestions(QWidget* parent);

}  // namespace qvr::app
