#pragma once
// The main window: lives for the whole process and owns the compilation, both
// burners, the configuration and the language texts.
//
// Its code is split by concern:
//   FormMasterQVR.cpp           creation sequence, shows, status text, title
//   FormMasterQVR_config.cpp    configuration file, settings, placement
//   FormMasterQVR_language.cpp  language texts and the first-start installation
//   FormMasterQVR_instance.cpp  requests of later starts
//   FormMasterQVR_close.cpp     closing and work-file cleanup
//   FormMasterQVR_log.cpp       the log lines
//   FormMasterQVR_tray.cpp      status bar, tray icon, screen cursor
//   FormMasterQVR_hooks.cpp     steps that other parts of the window fill in

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <memory>

#include "config/config_table.h"
#include "config/settings.h"
#include "language/language.h"
#include "startup_questions.h"
#include "work_folders.h"

class QLabel;
class QSystemTrayIcon;
class QTimer;

namespace qvr::storage {
class TFileStorage;
}

struct TStartupOptions {
  QString CommandText;  // the start-up command text: parameters joined by blanks, trimmed
  std::unique_ptr<qvr::app::TStartupQuestions> Questions;  // null: dialogs, or QVR_STARTUP_ANSWERS
  const qvr::storage::TFileStorage* Storage = nullptr;     // null: the container inside the program
};

class TFormMasterQVR : public QMainWindow {
  Q_OBJECT
 public:
  explicit TFormMasterQVR(TStartupOptions options = {}, QWidget* parent = nullptr);
  ~TFormMasterQVR() override;

  // ---- Helpers every window uses ----
  // Sets the tray icon's tip and the status text (status bar panel 2).
  void SetStatusText(const QString& text);
  // Tray icon: -1 the application icon, -2 none, otherwise the number drawn
  // in `color` (0x00BBGGRR).
  void SetTrayIconNumber(int number, int color);
  QSystemTrayIcon* TrayIcon() const { return SxTrayIcon; }
  // Screen cursor by its number (0 default, -11 hourglass, ...); -1 restores
  // the cursor saved by the previous call.
  void SetScreenCursor(int cursor);
  // Appends one line to the log: the time and " - " when `with_time`, the text
  // as HTML, and "<br>" unless `no_break`. Blank texts are ignored.
  void LogMessage(const QString& text, bool no_break = false, bool with_time = true);
  QString GetLangText(int section, int key) const { return Language.GetLangText(section, key); }
  QString GetLangText(const QString& section, const QString& key) const { return Language.GetLangText(section, key); }
  QString GetLangTextReplace(int section, int key, const QStringList& replacements) const {
    return Language.GetLangTextReplace(section, key, replacements);
  }
  // Makes a language current; `save` writes the configuration as well.
  void SetLanguage(const QString& name, bool save);
  const QString& ProgramFolder() const { return ProgramFolderPath; }
  const qvr::app::TWorkFolders& WorkFolders() const { return Folders; }
  qvr::lang::TLanguage& LanguageTexts() { return Language; }

  // ---- Configuration ----
  bool ReadConfigValue(const QString& key, QString& value) const;
  bool WriteConfigValue(const QString& key, const QString& value);
  // Applies every key of the configuration table, then places the window.
  void LoadConfiguration();
  // Writes every setting into the table, then the table into the file.
  void SaveConfiguration();
  qvr::config::TQvrSettings& Settings() { return Config; }
  QString ConfigFilePath() const;
  bool IsFirstRun() const { return FirstRun; }

  // ---- Window ----
  // Title: text 0 of section 0, the drive, and `extra` when given.
  void UpdateCaption(const QString& extra = {});
  void RestoreAndRaise();
  // Answers a request of a later start (single_instance.h messages).
  quint32 HandleInstanceMessage(quint32 message, const QByteArray& payload);
  // Saves the configuration and removes the work files; runs once, however
  // the program ends (close box, exit action, signal, session end).
  void CloseSequence();

  // ---- Steps other parts of the window provide (FormMasterQVR_hooks.cpp) ----
  void ProcessCommandLine(const QString& text);
  void InitDataBurner();
  void InitAudioBurner();
  void ApplyMainWindowCaptions();
  void ApplyToolbarLayout(const QString& layout);
  bool ProgressWindowExists() const;

  // The log lines collected before the first show, and the log so far.
  const QString& PendingLog() const { return PendingLogHtml; }
  const QString& LogHtml() const { return LogDocumentHtml; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  // Creation, in order.
  void FormCreate();
  void CreateStatusBar();
  void ReadConfigurationFile();
  void RunFirstStartQuestions();
  void InstallTranslationsAndChooseLanguage();
  void WriteProgramPath();
  void EmptyWorkFiles();
  void FirstShow();
  void AskDonationQuestion();
  void PlaceWindow();
  void ApplyScreenCursor(int cursor);
  qvr::config::TConfigEnvironment ConfigEnvironment() const;

  // Hooks of the creation sequence and the shows (FormMasterQVR_hooks.cpp).
  void SetUpDiscSpacePanel();
  void StartLogDocument();
  void CreateAudioWorkflow();
  void ReportMissingLibraries();
  void ApplySettingsToControls();
  void CollectSettingsFromControls();
  void SetHelpVersionEntry();
  void FillDriveList();
  void RunSilentUpdateCheck();
  void OpenDonationPage();
  void ShowIntroduction();
  void RefreshOnShow();

  TStartupOptions Options;
  std::unique_ptr<qvr::app::TStartupQuestions> Questions;
  QString ProgramFolderPath;
  qvr::app::TWorkFolders Folders;
  qvr::config::TConfigTable ConfigTable;
  qvr::config::TQvrSettings Config;
  qvr::lang::TLanguage Language;

  bool FirstRun = false;
  bool FirstShowPending = true;
  bool StartupCommandDone = false;
  bool WindowChangeGuard = false;
  bool Closed = false;
  QString PendingLogHtml;
  QString LogDocumentHtml;

  int ScreenCursor = 0;
  int SavedCursor = 0;
  QLabel* StatusPanels[3] = {};
  QSystemTrayIcon* SxTrayIcon = nullptr;
  QTimer* TimerAutoUpdate = nullptr;
};

// The one main window of the process, or null before it exists.
extern TFormMasterQVR* FormMasterQVR;
