// The components of the main window: the command bar above the tree, the
// compilation tree, the log panel and the tray menu. The toolbar, menus and
// the disc space panel have their own files.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "FormMasterQVR.h"
#include "action_table.h"
#include "compilation/queue_model.h"

namespace {

// Desktops without an icon theme of their own still get the standard one.
void ChooseIconTheme() {
  const QString current = QIcon::themeName();
  if (!current.isEmpty() && current != QStringLiteral("hicolor")) return;
  for (const QString& base : QIcon::themeSearchPaths()) {
    if (QDir(base + QStringLiteral("/Adwaita")).exists()) {
      QIcon::setThemeName(QStringLiteral("Adwaita"));
      return;
    }
  }
}

}  // namespace

void TFormMasterQVR::CreateMainWindowComponents() {
  ChooseIconTheme();
  setWindowIcon(QIcon::fromTheme(QStringLiteral("media-optical"), style()->standardIcon(QStyle::SP_DriveCDIcon)));
  setAcceptDrops(true);
  CreateActions();
  CreateMenus();
  CreateEasyToolbar();

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->setSpacing(3);
  CreateCommandPanel();
  CreateQueueView();
  CreateLogPanel();
  PanelDiscSpace = new QFrame(central);
  PanelDiscSpace->setObjectName(QStringLiteral("PanelDiscSpace"));
  layout->addWidget(PanelCommand);
  layout->addWidget(VirtualStringTreeQueue, 1);
  layout->addWidget(PanelLog);
  layout->addWidget(PanelDiscSpace);
  setCentralWidget(central);
  CreateTrayMenu();

  TimerRefreshStatus = new QTimer(this);
  TimerRefreshStatus->setObjectName(QStringLiteral("TimerRefreshStatus"));
  TimerRefreshStatus->setInterval(500);
  connect(TimerRefreshStatus, &QTimer::timeout, this, &TFormMasterQVR::TimerRefreshStatusTimer);
}

void TFormMasterQVR::CreateCommandPanel() {
  PanelCommand = new QFrame(this);
  PanelCommand->setObjectName(QStringLiteral("PanelCommand"));
  PanelCommand->setFrameShape(QFrame::StyledPanel);
  auto* grid = new QGridLayout(PanelCommand);
  grid->setContentsMargins(6, 3, 6, 3);
  grid->setVerticalSpacing(2);

  LabelCommandVolumeName = new QLabel(PanelCommand);
  LabelCommandVolumeName->setObjectName(QStringLiteral("LabelCommandVolumeName"));
  EditCommandVolumeName = new QLineEdit(PanelCommand);
  EditCommandVolumeName->setObjectName(QStringLiteral("EditCommandVolumeName"));
  EditCommandVolumeName->setMaxLength(32);
  EditCommandVolumeName->setMinimumWidth(230);
  MImageHelpVolumeName = new QLabel(PanelCommand);
  MImageHelpVolumeName->setObjectName(QStringLiteral("MImageHelpVolumeName"));
  MImageHelpVolumeName->setPixmap(QIcon::fromTheme(QStringLiteral("help-about-symbolic"),
                                                   style()->standardIcon(QStyle::SP_MessageBoxQuestion))
                                      .pixmap(16, 16));
  MImageHelpVolumeName->setCursor(Qt::PointingHandCursor);
  LabelCommandDriveName = new QLabel(PanelCommand);
  LabelCommandDriveName->setObjectName(QStringLiteral("LabelCommandDriveName"));
  ComboBoxDriveName = new QComboBox(PanelCommand);
  ComboBoxDriveName->setObjectName(QStringLiteral("ComboBoxDriveName"));
  ComboBoxDriveName->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  ComboBoxDriveName->setMinimumContentsLength(28);
  LabelCommandDriveSpeed = new QLabel(PanelCommand);
  LabelCommandDriveSpeed->setObjectName(QStringLiteral("LabelCommandDriveSpeed"));
  ComboBoxCommandDriveSpeed = new QComboBox(PanelCommand);
  ComboBoxCommandDriveSpeed->setObjectName(QStringLiteral("ComboBoxCommandDriveSpeed"));
  ComboBoxCommandDriveSpeed->addItem(QStringLiteral("Max"));
  ComboBoxCommandDriveSpeed->setMinimumContentsLength(6);
  CheckBoxCommandCloseDisc = new QCheckBox(PanelCommand);
  CheckBoxCommandCloseDisc->setObjectName(QStringLiteral("CheckBoxCommandCloseDisc"));
  CheckBoxDriveQuickErase = new QCheckBox(PanelCommand);
  CheckBoxDriveQuickErase->setObjectName(QStringLiteral("CheckBoxDriveQuickErase"));

  auto* volume = new QHBoxLayout;
  volume->addWidget(EditCommandVolumeName, 1);
  volume->addWidget(MImageHelpVolumeName);
  grid->addWidget(LabelCommandVolumeName, 0, 0);
  grid->addLayout(volume, 1, 0);
  grid->addWidget(LabelCommandDriveName, 0, 1);
  grid->addWidget(ComboBoxDriveName, 1, 1);
  grid->addWidget(LabelCommandDriveSpeed, 0, 2);
  grid->addWidget(ComboBoxCommandDriveSpeed, 1, 2);
  grid->addWidget(CheckBoxCommandCloseDisc, 0, 3);
  grid->addWidget(CheckBoxDriveQuickErase, 1, 3);
  grid->setColumnStretch(1, 1);
}

void TFormMasterQVR::CreateQueueView() {
  QueueItemModel = new qvr::app::TQueueModel(Queue, this);
  VirtualStringTreeQueue = new QTreeView(this);
  VirtualStringTreeQueue->setObjectName(QStringLiteral("VirtualStringTreeQueue"));
  VirtualStringTreeQueue->setModel(QueueItemModel);
  VirtualStringTreeQueue->setSelectionMode(QAbstractItemView::ExtendedSelection);
  VirtualStringTreeQueue->setSelectionBehavior(QAbstractItemView::SelectRows);
  VirtualStringTreeQueue->setDragDropMode(QAbstractItemView::DragDrop);
  VirtualStringTreeQueue->setDefaultDropAction(Qt::MoveAction);
  VirtualStringTreeQueue->setDragEnabled(true);
  VirtualStringTreeQueue->setAcceptDrops(true);
  VirtualStringTreeQueue->setDropIndicatorShown(true);
  VirtualStringTreeQueue->setAutoExpandDelay(700);
  VirtualStringTreeQueue->setEditTriggers(QAbstractItemView::EditKeyPressed);
  VirtualStringTreeQueue->setUniformRowHeights(true);
  VirtualStringTreeQueue->setAlternatingRowColors(true);
  VirtualStringTreeQueue->setContextMenuPolicy(Qt::CustomContextMenu);
  VirtualStringTreeQueue->setExpandsOnDoubleClick(true);
  QHeaderView* header = VirtualStringTreeQueue->header();
  header->setSectionsMovable(true);
  header->setSectionsClickable(true);
  header->setStretchLastSection(true);
  static constexpr int kWidths[] = {250, 200, 130, 110, 150, 80};
  for (int i = 0; i < 6; ++i) header->resizeSection(i, kWidths[i]);
  ConnectQueueModel();
}

void TFormMasterQVR::CreateLogPanel() {
  PanelLog = new QFrame(this);
  PanelLog->setObjectName(QStringLiteral("PanelLog"));
  PanelLog->setFixedHeight(122);
  auto* layout = new QVBoxLayout(PanelLog);
  layout->setContentsMargins(0, 0, 0, 0);
  EmbeddedWBMemoWarning = new QTextBrowser(PanelLog);
  EmbeddedWBMemoWarning->setObjectName(QStringLiteral("EmbeddedWBMemoWarning"));
  EmbeddedWBMemoWarning->setOpenLinks(false);
  EmbeddedWBMemoWarning->setContextMenuPolicy(Qt::NoContextMenu);
  layout->addWidget(EmbeddedWBMemoWarning);
}

void TFormMasterQVR::CreateTrayMenu() {
  PopupMenuToolTips = BuildMenu(qvr::app::TrayMenu().Actions, this);
  PopupMenuToolTips->setObjectName(QStringLiteral("PopupMenuToolTips"));
  PopupMenuQueue = BuildMenu(qvr::app::QueueMenu().Actions, this);
  PopupMenuQueue->setObjectName(QStringLiteral("PopupMenuQueue"));
}
