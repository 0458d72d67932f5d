#include "FormMasterQVR.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSettings>
#include <QTimer>
#include <QTreeView>

#include "app_log.h"
#include "compilation/queue_model.h"
#include "small/FormDrop.h"
#include "embedded_storage.h"
#include "file_type_registration.h"
#include "qvr/platform/program_folder.h"

TFormMasterQVR* FormMasterQVR = nullptr;

using namespace qvr;

TFormMasterQVR::TFormMasterQVR(TStartupOptions options, QWidget* parent)
    : QMainWindow(parent),
      Options(std::move(options)),
      Questions(Options.Questions ? std::move(Options.Questions) : app::MakeStartupQuestions(this)),
      ProgramFolderPath(QString::fromStdString(platform::ProgramFolder())),
      Folders(app::WorkFoldersOf(ProgramFolderPath)),
      Config(config::DefaultSettings(ConfigEnvironment())),
      Language(Options.Storage ? *Options.Storage : app::EmbeddedFileStorage(), Folders.Languages) {
  FormMasterQVR = this;
  setObjectName(QStringLiteral("FormMasterQVR"));
  setMinimumSize(700, 480);
  FormCreate();
}

TFormMasterQVR::~TFormMasterQVR() {
  if (FormMasterQVR == this) FormMasterQVR = nullptr;
  // The view and its model go before the compilation they show.
  delete VirtualStringTreeQueue;
  delete QueueItemModel;
  delete FormDrop;
}

void TFormMasterQVR::FormCreate() {
  CreateMainWindowComponents();
  SetUpDiscSpacePanel();
  FirstShowPending = true;
  StartupCommandDone = false;
  PendingLogHtml.clear();
  StartLogDocument();
  CreateAudioWorkflow();
  CreateStatusBar();

  app::CreateWorkFolders(Folders);
  ReadConfigurationFile();
  LoadConfiguration();
  SetLanguage(QString::fromStdString(Config.LanguageName), false);

  InitDataBurner();
  InitAudioBurner();
  ReportMissingLibraries();

  WriteProgramPath();
  SetStatusText(GetLangText(10, 0));

  if (FirstRun) RunFirstStartQuestions();

  TimerAutoUpdate = new QTimer(this);
  TimerAutoUpdate->setObjectName(QStringLiteral("TimerAutoUpdate"));
  TimerAutoUpdate->setSingleShot(true);
  TimerAutoUpdate->setInterval(5000);
  connect(TimerAutoUpdate, &QTimer::timeout, this, &TFormMasterQVR::RunSilentUpdateCheck);
  if (Config.AutoUpdate) TimerAutoUpdate->start();

  SetHelpVersionEntry();
  FillDriveList();

  UpdateCaption();
  show();
  raise();
  activateWindow();

  ProcessCommandLine(Options.CommandText);
  EmptyWorkFiles();
  qCInfo(lcApp) << "main window ready";
}

void TFormMasterQVR::UpdateCaption(const QString& extra) {
  QString title = GetLangText(0, 0);
  const QString drive = QString::fromStdString(Config.DriveName).trimmed();
  if (drive.isEmpty()) {
    title += QStringLiteral(" - DRIVE NOT FOUND");
  } else {
    title += QStringLiteral(" - ") + drive;
  }
  if (!extra.isEmpty()) title += QStringLiteral(" - ") + extra;
  setWindowTitle(title);
}

void TFormMasterQVR::WriteProgramPath() {
  QSettings settings(QStringLiteral("Quorvella"), QStringLiteral("Quorvella"));
  settings.setValue(QStringLiteral("QuorvellaPath"), QCoreApplication::applicationFilePath());
}

void TFormMasterQVR::RunFirstStartQuestions() {
  InstallTranslationsAndChooseLanguage();
  Config.AutoUpdate = Questions->AskYesNo(GetLangText(0, 0), GetLangText(1, 8));
  app::RegisterFileType(QCoreApplication::applicationFilePath());
}

void TFormMasterQVR::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  WindowChangeGuard = true;
  RefreshOnShow();
  AskDonationQuestion();
  if (FirstShowPending) FirstShow();
  WindowChangeGuard = false;
}

void TFormMasterQVR::hideEvent(QHideEvent* event) {
  WindowChangeGuard = true;
  QMainWindow::hideEvent(event);
  WindowChangeGuard = false;
}

void TFormMasterQVR::AskDonationQuestion() {
  if (Config.DonationAsked || Config.DataBurnCount + Config.AudioBurnCount <= 4) return;
  Config.DonationAsked = true;
  if (Questions->AskYesNo(GetLangText(0, 0), GetLangText(0, 2))) {
    OpenDonationPage();
    QTimer::singleShot(0, this, &QWidget::showMinimized);
  }
}

void TFormMasterQVR::FirstShow() {
  ApplyToolbarLayout(QString::fromStdString(Config.ToolbarLayout));
  FirstShowPending = false;
  WriteLogFragment(PendingLogHtml);
  PendingLogHtml.clear();
  if (FirstRun) ShowIntroduction();
}
