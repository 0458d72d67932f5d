// Actions, menus and the easy toolbar of the main window, their captions from
// the language texts, and which actions are enabled (UpdateActions).
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QCheckBox>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include "FormMasterQVR.h"
#include "action_table.h"
#include "compilation/queue_model.h"
#include "program_version.h"

using namespace qvr::app;

namespace {

// A theme icon, its symbolic variant, or a standard one; drawn into square
// pixmaps of the sizes the toolbar and the menus use, so that icons that
// come smaller than asked do not shift their captions.
QIcon ActionIcon(const char* name, QStyle* style) {
  if (!*name) return {};
  const QString theme = QLatin1String(name);
  QIcon icon = QIcon::fromTheme(theme);
  if (icon.isNull()) icon = QIcon::fromTheme(theme + QStringLiteral("-symbolic"));
  if (icon.isNull()) icon = style->standardIcon(QStyle::SP_FileIcon);
  QIcon square;
  for (const int side : {16, 24, 32}) {
    const QPixmap source = icon.pixmap(side, side);
    QPixmap canvas(side, side);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.drawPixmap((side - source.width()) / 2, (side - source.height()) / 2, source);
    painter.end();
    square.addPixmap(canvas);
  }
  return square;
}

}  // namespace

void TFormMasterQVR::CreateActions() {
  const QHash<QString, std::function<void()>> handlers = {
      {QStringLiteral("ActionNewProject"), [this] { ActionNewProjectExecute(); }},
      {QStringLiteral("ActionLoadProject"), [this] { ActionLoadProjectExecute(); }},
      {QStringLiteral("ActionSaveProject"), [this] { ActionSaveProjectExecute(); }},
      {QStringLiteral("ActionPrint"), [this] { ActionPrintExecute(); }},
      {QStringLiteral("ActionShowDrop"), [this] { ActionShowDropExecute(); }},
      {QStringLiteral("ActionExitQVR"), [this] { close(); }},
      {QStringLiteral("ActionAddFilesDirs"), [this] { ActionAddFilesDirsExecute(); }},
      {QStringLiteral("ActionPaste"), [this] { ActionPasteExecute(); }},
      {QStringLiteral("ActionDeleteSelected"), [this] { ActionDeleteSelectedExecute(); }},
      {QStringLiteral("ActionDeleteAll"), [this] { ActionDeleteAllExecute(); }},
      {QStringLiteral("ActionRename"), [this] { ActionRenameExecute(); }},
      {QStringLiteral("ActionNewFolder"), [this] { ActionNewFolderExecute(); }},
      {QStringLiteral("ActionSelectAll"), [this] { ActionSelectAllExecute(); }},
      {QStringLiteral("ActionCollapseAll"), [this] { ActionCollapseAllExecute(); }},
      {QStringLiteral("ActionExpandAll"), [this] { ActionExpandAllExecute(); }},
      {QStringLiteral("ActionProperties"), [this] { ActionPropertiesExecute(); }},
      {QStringLiteral("ActionBurn"), [this] { ActionBurnExecute(); }},
      {QStringLiteral("ActionBurnAudio"), [this] { ActionBurnAudioExecute(); }},
      {QStringLiteral("ActionBurnISO"), [this] { ActionBurnISOExecute(); }},
      {QStringLiteral("ActionSaveISO"), [this] { ActionSaveISOExecute(); }},
      {QStringLiteral("ActionImportSession"), [this] { ActionImportSessionExecute(); }},
      {QStringLiteral("ActionEraseDisc"), [this] { ActionEraseDiscExecute(); }},
      {QStringLiteral("ActionDiscInfo"), [this] { ActionDiscInfoExecute(); }},
      {QStringLiteral("ActionEject"), [this] { ActionEjectExecute(); }},
      {QStringLiteral("ActionLoad"), [this] { ActionLoadExecute(); }},
      {QStringLiteral("ActionCheckCDBurner"), [this] { ActionCheckCDBurnerExecute(); }},
      {QStringLiteral("ActionSettings"), [this] { ActionSettingsExecute(); }},
      {QStringLiteral("ActionLanguage"), [this] { ActionLanguageExecute(); }},
      {QStringLiteral("ActionShowLog"), [this] { ActionShowLogExecute(); }},
      {QStringLiteral("ActionHideLog"), [this] { ActionShowLogExecute(); }},
      {QStringLiteral("ActionCutomizeToolBarEasy"), [this] { ActionCutomizeToolBarEasyExecute(); }},
      {QStringLiteral("ActionRestore"), [this] { ActionRestoreExecute(); }},
      {QStringLiteral("ActionMinimize"), [this] { ActionMinimizeExecute(); }},
      {QStringLiteral("ActionBugs"), [this] { ActionBugsExecute(); }},
      {QStringLiteral("ActionUpgrade"), [this] { ActionUpgradeExecute(); }},
  };
  for (const TActionSpec& spec : ActionTable()) {
    const QString name = QLatin1String(spec.Name);
    auto* action = new QAction(this);
    action->setObjectName(name);
    action->setIcon(ActionIcon(spec.Icon, style()));
    if (*spec.Shortcut) action->setShortcut(QKeySequence(QLatin1String(spec.Shortcut)));
    const auto handler = handlers.value(name);
    if (handler) {
      connect(action, &QAction::triggered, this, handler);
    } else if (name != QStringLiteral("ActionShopping")) {
      connect(action, &QAction::triggered, this, [this, name] { ActionWebPageExecute(name); });
    }
    addAction(action);
    Actions.insert(name, action);
  }
  Action(QStringLiteral("ActionRestore"))->setEnabled(false);
  Action(QStringLiteral("ActionShopping"))->setVisible(false);
}

QMenu* TFormMasterQVR::BuildMenu(const QStringList& names, QWidget* parent) {
  auto* menu = new QMenu(parent);
  for (const QString& name : names) {
    if (name.isEmpty()) {
      menu->addSeparator();
    } else if (QAction* action = Action(name)) {
      menu->addAction(action);
    } else {
      // An entry without a command.
      QAction* entry = menu->addAction(QString());
      entry->setObjectName(name);
      entry->setVisible(false);
    }
  }
  // The clipboard decides whether Paste is offered.
  connect(menu, &QMenu::aboutToShow, this,
          [this] { Action(QStringLiteral("ActionPaste"))->setEnabled(ClipboardHasFileList()); });
  return menu;
}

void TFormMasterQVR::CreateMenus() {
  const std::pair<const char*, const TMenuSpec*> menus[] = {
      {"MenuFile", &FileMenu()}, {"MenuEdit", &EditMenu()}, {"MenuRecorder", &RecorderMenu()},
      {"MenuTools", &ToolsMenu()}, {"MenuView", &ViewMenu()}, {"MenuHelp", &HelpMenu()}};
  for (const auto& [name, spec] : menus) {
    QMenu* menu = BuildMenu(spec->Actions, menuBar());
    menu->setObjectName(QLatin1String(name));
    menu->setProperty("TitleKey", spec->TitleKey);
    menuBar()->addMenu(menu);
    Menus.insert(QLatin1String(name), menu);
  }
  Menus.value(QStringLiteral("MenuHelp"))->addSeparator();
  MainMenuItemHelpVersion = Menus.value(QStringLiteral("MenuHelp"))->addAction(QString());
  MainMenuItemHelpVersion->setObjectName(QStringLiteral("MainMenuItemHelpVersion"));
}

void TFormMasterQVR::CreateEasyToolbar() {
  ToolBarEasy = new QToolBar(this);
  ToolBarEasy->setObjectName(QStringLiteral("ToolBarEasy"));
  ToolBarEasy->setIconSize(QSize(32, 32));
  ToolBarEasy->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  ToolBarEasy->setMovable(false);
  addToolBar(Qt::TopToolBarArea, ToolBarEasy);
  for (const TActionSpec& spec : ActionTable()) {
    if (spec.ToolbarTag >= 0) ToolbarButtons.insert(spec.ToolbarTag, Action(QLatin1String(spec.Name)));
  }
}

void TFormMasterQVR::ApplyToolbarLayout(const QString& layout) {
  ToolBarEasy->setUpdatesEnabled(false);
  ToolBarEasy->clear();
  const QList<int> keys = ToolbarButtons.keys();
  for (int tag : ParseToolbarLayout(layout, std::vector<int>(keys.begin(), keys.end()))) {
    // A button shows once, at its first place in the layout.
    QAction* action = ToolbarButtons.value(tag);
    if (!ToolBarEasy->actions().contains(action)) ToolBarEasy->addAction(action);
  }
  ToolBarEasy->setUpdatesEnabled(true);
}

std::vector<int> TFormMasterQVR::ToolbarTags() const {
  std::vector<int> tags;
  for (QAction* action : ToolBarEasy->actions()) {
    const int tag = ToolbarButtons.key(action, -1);
    if (tag >= 0) tags.push_back(tag);
  }
  return tags;
}

void TFormMasterQVR::ApplyMainWindowCaptions() {
  UpdateCaption();
  for (const TActionSpec& spec : ActionTable()) {
    QAction* action = Action(QLatin1String(spec.Name));
    if (spec.CaptionKey >= 0) action->setText(GetLangText(2, spec.CaptionKey));
    if (spec.HintKey >= 0) {
      action->setToolTip(GetLangText(2, spec.HintKey));
      action->setStatusTip(GetLangText(2, spec.HintKey));
    }
  }
  // The data burn caption depends on whether the compilation holds audio.
  if (Queue.HasAudio()) {
    Action(QStringLiteral("ActionBurn"))->setText(GetLangText(2, 78));
    Action(QStringLiteral("ActionBurn"))->setToolTip(GetLangText(2, 79));
  }
  for (QMenu* menu : Menus) {
    const int key = menu->property("TitleKey").toInt();
    if (key >= 0) menu->setTitle(GetLangText(8, key));
  }
  QStringList titles;
  for (int i = 0; i < 6; ++i) titles.append(GetLangText(6, i));
  QueueItemModel->SetColumnTitles(titles);
  QueueItemModel->SetManuallyCreatedText(GetLangText(4, 3));
  VirtualStringTreeQueue->setToolTip(GetLangText(4, 11));
  LabelCommandVolumeName->setText(GetLangText(20, 1));
  LabelCommandDriveSpeed->setText(GetLangText(20, 2));
  CheckBoxCommandCloseDisc->setText(GetLangText(20, 3));
  LabelCommandDriveName->setText(GetLangText(3, 31));
  CheckBoxDriveQuickErase->setText(GetLangText(3, 46));
  MImageHelpVolumeName->setToolTip(GetLangText(20, 6));
  static const char* const kFamilies[] = {"DataCD", "AudioCD", "DVD", "DVDDL", "BLURAY", "HDDVD", "Current"};
  for (int i = 0; i < 7; ++i) {
    if (QLabel* caption = DiscSpaceLabels.value(QLatin1String(kFamilies[i]) + QStringLiteral("Caption"))) {
      caption->setText(GetLangText(27, 26 + i));
    }
  }
  SetHelpVersionEntry();
}

void TFormMasterQVR::SetHelpVersionEntry() {
  // "&&" is a literal ampersand in menu captions.
  if (MainMenuItemHelpVersion) {
    MainMenuItemHelpVersion->setText(GetLangText(0, 3) + QStringLiteral(" V.") + qvr::app::ProgramVersion());
  }
}

bool TFormMasterQVR::ClipboardHasFileList() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  if (!data || !data->hasUrls()) return false;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return true;
  }
  return false;
}

void TFormMasterQVR::UpdateActions(bool quiet) {
  static const char* const kGroup[] = {"ActionRename", "ActionNewFolder", "ActionBurn", "ActionSaveProject",
                                       "ActionSaveISO", "ActionDeleteSelected", "ActionDeleteAll", "ActionSelectAll",
                                       "ActionCollapseAll", "ActionExpandAll", "ActionProperties", "ActionPrint"};
  const auto enable = [this](const char* name, bool on) { Action(QLatin1String(name))->setEnabled(on); };
  const bool has_files = !Queue.Empty() && Queue.CountFileItems() > 0;
  if (has_files) {
    const bool focused = VirtualStringTreeQueue->currentIndex().isValid();
    if (focused) {
      for (const char* name : kGroup) enable(name, true);
    } else {
      for (const char* name : kGroup) enable(name, false);
      for (const char* name : {"ActionNewFolder", "ActionBurn", "ActionSaveProject", "ActionPrint", "ActionSaveISO",
                               "ActionBurnAudio", "ActionSelectAll", "ActionDeleteAll", "ActionCollapseAll",
                               "ActionExpandAll"}) {
        enable(name, true);
      }
      enable("ActionDeleteSelected", VirtualStringTreeQueue->selectionModel()->hasSelection());
    }
    const bool audio = Queue.HasAudio();
    enable("ActionBurnAudio", audio);
    Action(QStringLiteral("ActionBurn"))->setText(GetLangText(2, audio ? 78 : 14));
    Action(QStringLiteral("ActionBurn"))->setToolTip(GetLangText(2, audio ? 79 : 15));
  } else {
    for (const char* name : kGroup) enable(name, false);
    enable("ActionNewFolder", true);
    enable("ActionBurnAudio", false);
  }

  PanelLog->setVisible(Config.ShowLog);
  Action(QStringLiteral("ActionShowLog"))->setVisible(!Config.ShowLog);
  Action(QStringLiteral("ActionHideLog"))->setVisible(Config.ShowLog);

  if (!quiet) {
    int items = 0;
    TCompilation::ForEach(Queue.Root(), [&](const TQueueNode&) { return ++items, true; });
    LogMessage(GetLangTextReplace(11, 32, {QStringLiteral("<#filesdirectories>=%1").arg(items)}));
    LogMessage(SizeSummaryText());
    StatusPanels[0]->setText(StatusSizeText());
    RefreshDiscSpace();
    UpdateDropWindowTotals();
    const double duration = Queue.TotalDuration();
    if (Action(QStringLiteral("ActionBurnAudio"))->isEnabled()) {
      LogMessage(DurationSummaryText(duration));
      StatusPanels[1]->setText(StatusDurationText(duration));
    } else {
      StatusPanels[1]->setText(GetLangText(15, 2));
    }
  }
}

void TFormMasterQVR::ActionShowLogExecute() {
  Config.ShowLog = !Config.ShowLog;
  UpdateActions(true);
}

QString TFormMasterQVR::StatusPanelText(int panel) const {
  return panel >= 0 && panel < 3 && StatusPanels[panel] ? StatusPanels[panel]->text() : QString();
}
