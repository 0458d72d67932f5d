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
//   FormMasterQVR_layout.cpp    the components of the window: command bar, tree, log, disc space
//   FormMasterQVR_actions.cpp   actions, menus, easy toolbar, captions, UpdateActions
//   FormMasterQVR_queue.cpp     the compilation tree's commands, additions and drops
//   FormMasterQVR_discspace.cpp the disc space panel and the totals
//   FormMasterQVR_project.cpp   project files
//   FormMasterQVR_dialogs.cpp   confirmations, fly window, toolbar editor, shutdown countdown
//   FormMasterQVR_workflows.cpp handlers the burn, drive, settings and print code fill in

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "compilation/compilation.h"
#include "compilation/disc_space.h"
#include "small/FormWarning.h"

#include "config/config_table.h"
#include "config/settings.h"
#include "language/language.h"
#include "startup_questions.h"
#include "work_folders.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QSystemTrayIcon;
class QTextBrowser;
class QTimer;
class QToolBar;
class QTreeView;
class TFormDrop;

namespace qvr::app {
class TQueueModel;
}
namespace qvr::data {
class TDiscBurner;
}

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
  // A help link line for a problem code; kind 0 general, 1 data writing, 2 audio, 3 erasing.
  void ShowHelpLink(const QString& code, int kind);
  QTextBrowser* LogBrowser() const { return EmbeddedWBMemoWarning; }

  // ---- Actions, menus and toolbar ----
  QAction* Action(const QString& name) const { return Actions.value(name); }
  QToolBar* EasyToolbar() const { return ToolBarEasy; }
  // Tags of the visible easy toolbar buttons, in order.
  std::vector<int> ToolbarTags() const;
  // Enables the actions from the tree's state; when not quiet, also logs and shows the totals.
  void UpdateActions(bool quiet);
  static bool ClipboardHasFileList();

  // ---- Compilation ----
  qvr::app::TCompilation& Compilation() { return Queue; }
  qvr::app::TQueueModel* QueueModel() const { return QueueItemModel; }
  QTreeView* QueueView() const { return VirtualStringTreeQueue; }
  void AddQueuePath(const QString& path, qvr::app::TQueueNode* parent = nullptr,
                    uint64_t size = qvr::app::kSizeUnknown);
  // Adds paths at the top level in a batch: the second to the last, then the
  // first. With `playlist_test`, a list made only of playlists goes to the
  // playlist handler instead.
  void AddPathList(const QStringList& paths, bool playlist_test);
  void BeginQueueUpdate(bool after_operation);
  void EndQueueUpdate();
  void ShowItemProperties(qvr::app::TQueueNode* node);
  // Playing time of a file for the compilation; -1 for files that are no audio.
  void SetAudioDurationProvider(std::function<double(const QString&)> provider);
  // Receives lists made only of playlists; true when it took them.
  void SetPlaylistHandler(std::function<bool(const QStringList&)> handler) { PlaylistHandler = std::move(handler); }
  static bool IsPlaylistList(const QStringList& paths);

  // ---- Disc space and totals ----
  void RefreshDiscSpace();
  const qvr::app::TDiscSpaceView& DiscSpaceView() const { return LastDiscSpace; }
  // The data burner once the drive code has created it; null before.
  qvr::data::TDiscBurner* DataBurner() const { return DiscBurnerComponent; }
  void SetDataBurner(qvr::data::TDiscBurner* burner) { DiscBurnerComponent = burner; }
  // The disc in the drive and what the recorder writes; by default read from the data burner.
  void SetCurrentDiscProvider(std::function<qvr::app::TCurrentDisc()> provider) { CurrentDisc = std::move(provider); }
  void SetRecorderCapabilities(qvr::app::TCanWrite can_write) { RecorderCanWrite = std::move(can_write); }
  QString SizeSummaryText() const;
  QString StatusSizeText() const;
  QString DurationSummaryText(double seconds) const;
  QString StatusDurationText(double seconds) const;
  QString StatusPanelText(int panel) const;

  // ---- Volume labels ----
  QString ExpandLabelTemplate(const QString& label_template) const;
  QString ExpandAudioLabelTemplate(const QString& label_template) const;
  QLineEdit* VolumeNameBox() const { return EditCommandVolumeName; }

  // ---- Project files ----
  bool SaveProject(const QString& path);
  bool LoadProject(const QString& path);
  void NewProject();

  // ---- Questions ----
  // The confirmation with its three keys; true to go on.
  bool ConfirmWarning(const QString& caption, const QString& message, qvr::config::TConfirmationKeys& keys);
  // Tests answer the confirmations themselves.
  using TConfirmAnswerer = std::function<TWarningAnswer(const QString& caption, const QString& message, bool& box)>;
  void SetConfirmAnswerer(TConfirmAnswerer answerer) { ConfirmAnswerer = std::move(answerer); }
  // Messages shown to the user (invalid names, existing names).
  std::function<void(const QString&)> MessageSink;

  // ---- Handlers of the actions ----
  void ActionNewProjectExecute();
  void ActionLoadProjectExecute();
  void ActionSaveProjectExecute();
  void ActionShowDropExecute();
  void ActionAddFilesDirsExecute();
  void ActionPasteExecute();
  void ActionDeleteSelectedExecute();
  void ActionDeleteAllExecute();
  void ActionRenameExecute();
  void ActionNewFolderExecute();
  void ActionSelectAllExecute();
  void ActionCollapseAllExecute();
  void ActionExpandAllExecute();
  void ActionPropertiesExecute();
  void ActionShowLogExecute();
  void ActionCutomizeToolBarEasyExecute();
  void ActionRestoreExecute();
  void ActionMinimizeExecute();
  // Filled by the burn, drive, settings, print, report and online code.
  void ActionBurnExecute();
  void ActionBurnAudioExecute();
  void ActionBurnISOExecute();
  void ActionSaveISOExecute();
  void ActionImportSessionExecute();
  void ActionEraseDiscExecute();
  void ActionDiscInfoExecute();
  void ActionEjectExecute();
  void ActionLoadExecute();
  void ActionCheckCDBurnerExecute();
  void ActionSettingsExecute();
  void ActionLanguageExecute();
  void ActionPrintExecute();
  void ActionBugsExecute();
  void ActionUpgradeExecute();
  void ActionWebPageExecute(const QString& action_name);
  void ForgetImportedSession();
  void ShowShutdownWindow();
  // Burning where both kinds are possible: the choice when audio can be burned, else the data burn.
  void ShowBurnModeChoice();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Creation, in order.
  void FormCreate();
  void CreateMainWindowComponents();
  void CreateActions();
  void CreateMenus();
  void CreateEasyToolbar();
  void CreateCommandPanel();
  void CreateQueueView();
  void CreateLogPanel();
  void CreateTrayMenu();
  void ConnectQueueModel();
  QMenu* BuildMenu(const QStringList& names, QWidget* parent);
  void WriteLogFragment(const QString& fragment);
  void LogText(int key, const QString& placeholder, const QString& value);
  void TimerRefreshStatusTimer();
  void ShowMessage(const QString& text);
  void QueueHeaderClicked(int section);
  void ShowNameRefusal(qvr::app::TNameResult result, const QString& name);
  void UpdateDropWindowTotals();
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

  // Components.
  QHash<QString, QAction*> Actions;
  QHash<QString, QMenu*> Menus;
  QToolBar* ToolBarEasy = nullptr;
  QHash<int, QAction*> ToolbarButtons;
  QFrame* PanelCommand = nullptr;
  QLineEdit* EditCommandVolumeName = nullptr;
  QLabel* LabelCommandVolumeName = nullptr;
  QLabel* MImageHelpVolumeName = nullptr;
  QCheckBox* CheckBoxCommandCloseDisc = nullptr;
  QCheckBox* CheckBoxDriveQuickErase = nullptr;
  QLabel* LabelCommandDriveName = nullptr;
  QComboBox* ComboBoxDriveName = nullptr;
  QLabel* LabelCommandDriveSpeed = nullptr;
  QComboBox* ComboBoxCommandDriveSpeed = nullptr;
  QTreeView* VirtualStringTreeQueue = nullptr;
  QFrame* PanelLog = nullptr;
  QTextBrowser* EmbeddedWBMemoWarning = nullptr;
  QFrame* PanelDiscSpace = nullptr;
  QHash<QString, QLabel*> DiscSpaceLabels;
  QHash<QString, QFrame*> DiscSpacePanels;
  QMenu* PopupMenuQueue = nullptr;
  QMenu* PopupMenuToolTips = nullptr;
  QAction* MainMenuItemHelpVersion = nullptr;
  QTimer* TimerRefreshStatus = nullptr;
  QPointer<TFormDrop> FormDrop;

  // The compilation.
  qvr::app::TCompilation Queue;
  qvr::app::TQueueModel* QueueItemModel = nullptr;
  bool BatchAfterOperation = false;
  bool ProjectLoading = false;
  int SortColumn = -1;
  bool SortAscending = true;
  std::function<double(const QString&)> AudioDuration;
  std::function<bool(const QStringList&)> PlaylistHandler;
  std::function<qvr::app::TCurrentDisc()> CurrentDisc;
  qvr::app::TCanWrite RecorderCanWrite;
  qvr::app::TDiscSpaceView LastDiscSpace;
  qvr::data::TDiscBurner* DiscBurnerComponent = nullptr;
  TConfirmAnswerer ConfirmAnswerer;
};

// The one main window of the process, or null before it exists.
extern TFormMasterQVR* FormMasterQVR;
