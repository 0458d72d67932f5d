// The compilation tree's commands: additions in batches, drops, paste, new
// folder, rename, delete, sort, expand and collapse, and properties.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMimeDatabase>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>

#include "FormMasterQVR.h"
#include "compilation/queue_model.h"
#include "compilation/size_text.h"
#include "small/FormDrop.h"
#include "small/FormProperties.h"
#include "small/FormSelectFilesDirectories.h"

using namespace qvr::app;

namespace {
QStringList LocalPaths(const QMimeData* data) {
  QStringList paths;
  if (!data) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  }
  return paths;
}

double Now() { return LocalDateTimeOf(QDateTime::currentSecsSinceEpoch()); }
}  // namespace

void TFormMasterQVR::ConnectQueueModel() {
  TAddHooks& hooks = Queue.Hooks();
  hooks.Log = [this](int key, const QString& placeholder, const QString& value) { LogText(key, placeholder, value); };
  hooks.GetAudioDuration = [this](const QString& path) { return AudioDuration ? AudioDuration(path) : -1.0; };
  hooks.Pump = [] { QCoreApplication::processEvents(); };
  hooks.Refused = [this] { return ProgressWindowExists(); };

  connect(QueueItemModel, &TQueueModel::RenameRefused, this, &TFormMasterQVR::ShowNameRefusal);
  connect(QueueItemModel, &TQueueModel::FilesDropped, this, [this](const QStringList& paths) {
    // Shell drops land at the top level whatever the drop position.
    QTimer::singleShot(0, this, [this, paths] {
      AddPathList(paths, true);
      VirtualStringTreeQueue->scrollToBottom();
    });
  });
  connect(QueueItemModel, &TQueueModel::NodesMoved, this, [this] { UpdateActions(true); });
  connect(VirtualStringTreeQueue->header(), &QHeaderView::sectionClicked, this, &TFormMasterQVR::QueueHeaderClicked);
  connect(VirtualStringTreeQueue, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
    if (TQueueNode* node = QueueItemModel->NodeOf(index); node && !node->Item.IsFolder) ShowItemProperties(node);
  });
  connect(VirtualStringTreeQueue, &QTreeView::clicked, this, [this] { UpdateActions(true); });
  // The Delete key in the tree removes the selected items.
  auto* delete_key = new QShortcut(QKeySequence::Delete, VirtualStringTreeQueue);
  delete_key->setContext(Qt::WidgetShortcut);
  connect(delete_key, &QShortcut::activated, this, &TFormMasterQVR::ActionDeleteSelectedExecute);
  connect(VirtualStringTreeQueue, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    UpdateActions(true);
    PopupMenuQueue->popup(VirtualStringTreeQueue->viewport()->mapToGlobal(pos));
  });
  connect(VirtualStringTreeQueue->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { SetStatusText(GetLangText(10, 0)); });
  connect(VirtualStringTreeQueue, &QTreeView::expanded, this, [this](const QModelIndex& index) {
    // The open icon shows for expanded folders.
    Q_UNUSED(index);
    VirtualStringTreeQueue->viewport()->update();
  });
}

void TFormMasterQVR::SetAudioDurationProvider(std::function<double(const QString&)> provider) {
  AudioDuration = std::move(provider);
}

void TFormMasterQVR::LogText(int key, const QString& placeholder, const QString& value) {
  // Values are file names and must not be read as markup.
  LogMessage(GetLangTextReplace(11, key, {placeholder + QLatin1Char('=') + value.toHtmlEscaped()}));
}

void TFormMasterQVR::AddQueuePath(const QString& path, TQueueNode* parent, uint64_t size) {
  Queue.AddQueuePath(path, parent, size);
}

bool TFormMasterQVR::IsPlaylistList(const QStringList& paths) {
  if (paths.isEmpty()) return false;
  for (const QString& path : paths) {
    const QString upper = path.toUpper();
    if (!upper.endsWith(QStringLiteral(".ASX")) && !upper.endsWith(QStringLiteral(".M3U"))) return false;
  }
  return true;
}

void TFormMasterQVR::AddPathList(const QStringList& paths, bool playlist_test) {
  if (paths.isEmpty()) return;
  if (playlist_test && IsPlaylistList(paths) && PlaylistHandler && PlaylistHandler(paths)) return;
  BeginQueueUpdate(false);
  SetScreenCursor(-11);
  for (const QString& path : DropOrder(paths)) AddQueuePath(path);
  EndQueueUpdate();
  UpdateActions(false);
}

void TFormMasterQVR::BeginQueueUpdate(bool after_operation) {
  Queue.FileCount = 0;
  Queue.FolderCount = 0;
  BatchAfterOperation = after_operation;
  TimerRefreshStatus->start();
}

void TFormMasterQVR::EndQueueUpdate() {
  TimerRefreshStatusTimer();
  TimerRefreshStatus->stop();
  SetScreenCursor(-1);
  if (!BatchAfterOperation) UpdateCaption();
  UpdateActions(true);
}

void TFormMasterQVR::TimerRefreshStatusTimer() {
  const QString text = GetLangTextReplace(12, 11, {QStringLiteral("<#files>=%1").arg(Queue.FileCount),
                                                   QStringLiteral("<#directories>=%1").arg(Queue.FolderCount)});
  SetTrayIconNumber(-1, 0);
  if (!BatchAfterOperation || !ProgressWindowExists()) UpdateCaption(text);
  if (FormDrop) UpdateDropWindowTotals();
}

void TFormMasterQVR::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalPaths(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFormMasterQVR::dropEvent(QDropEvent* event) {
  const QStringList paths = LocalPaths(event->mimeData());
  event->acceptProposedAction();
  activateWindow();
  raise();
  QTimer::singleShot(0, this, [this, paths] { AddPathList(paths, true); });
}

void TFormMasterQVR::ActionPasteExecute() {
  const QStringList paths = LocalPaths(QGuiApplication::clipboard()->mimeData());
  if (paths.isEmpty()) return;
  BeginQueueUpdate(false);
  SetScreenCursor(-11);
  int count = 0;
  for (const QString& path : DropOrder(paths)) {
    AddQueuePath(path);
    if (++count % 101 == 0) QCoreApplication::processEvents();
  }
  EndQueueUpdate();
  UpdateActions(false);
}

void TFormMasterQVR::ActionAddFilesDirsExecute() {
  TAddFilesPlace place{QString::fromStdString(Config.AddFilesFolder), Config.AddFilesTop, Config.AddFilesLeft,
                       Config.AddFilesHeight, Config.AddFilesWidth};
  TFormSelectFilesDirectories window(Language, place, [this](const QStringList& paths) {
    if (IsPlaylistList(paths) && PlaylistHandler && PlaylistHandler(paths)) return;
    BeginQueueUpdate(false);
    SetScreenCursor(-11);
    for (const QString& path : paths) AddQueuePath(path);
    EndQueueUpdate();
    UpdateActions(false);
  }, this);
  window.exec();
  place = window.Place();
  Config.AddFilesFolder = place.Folder.toStdString();
  Config.AddFilesTop = place.Top;
  Config.AddFilesLeft = place.Left;
  Config.AddFilesHeight = place.Height;
  Config.AddFilesWidth = place.Width;
  VirtualStringTreeQueue->scrollToBottom();
}

void TFormMasterQVR::ShowMessage(const QString& text) {
  if (MessageSink) {
    MessageSink(text);
  } else {
    QMessageBox::information(this, GetLangText(0, 0), text);
  }
}

void TFormMasterQVR::ShowNameRefusal(TNameResult result, const QString& name) {
  if (result == TNameResult::Invalid) ShowMessage(GetLangTextReplace(1, 0, {QStringLiteral("<#value>=") + name}));
  if (result == TNameResult::Exists) ShowMessage(GetLangTextReplace(1, 1, {QStringLiteral("<#value>=") + name}));
}

void TFormMasterQVR::ActionNewFolderExecute() {
  TQueueNode* parent = QueueItemModel->NodeOf(VirtualStringTreeQueue->currentIndex());
  bool ok = false;
  const QString answer = QInputDialog::getText(this, GetLangText(1, 3), GetLangText(1, 4), QLineEdit::Normal,
                                               QString(), &ok);
  if (!ok) return;
  static QMimeDatabase mimes;
  TQueueNode* created = nullptr;
  const TNameResult result = Queue.CreateFolder(
      parent, answer, mimes.mimeTypeForName(QStringLiteral("inode/directory")).comment(), Now(), &created);
  ShowNameRefusal(result, answer.left(kMaxItemName).replace(QLatin1Char(';'), QLatin1Char('_')));
  if (created) VirtualStringTreeQueue->scrollTo(QueueItemModel->IndexOf(created));
  UpdateActions(true);
}

void TFormMasterQVR::ActionRenameExecute() {
  const QModelIndex current = VirtualStringTreeQueue->currentIndex();
  if (current.isValid()) VirtualStringTreeQueue->edit(current.siblingAtColumn(kColumnName));
}

void TFormMasterQVR::ActionDeleteSelectedExecute() {
  if (!ConfirmWarning(GetLangText(17, 14), GetLangText(17, 15),
                      Config.Confirmations[qvr::config::kConfirmDeleteSelected])) {
    return;
  }
  // Selected nodes in tree order; a folder takes its children with it.
  std::vector<const TQueueNode*> selected;
  for (const QModelIndex& index : VirtualStringTreeQueue->selectionModel()->selectedRows()) {
    selected.push_back(QueueItemModel->NodeOf(index));
  }
  std::vector<TQueueNode*> doomed;
  TCompilation::ForEach(Queue.Root(), [&](const TQueueNode& node) {
    if (std::find(selected.begin(), selected.end(), &node) == selected.end()) return true;
    for (const TQueueNode* up = node.Parent; up; up = up->Parent) {
      if (std::find(doomed.begin(), doomed.end(), up) != doomed.end()) return true;
    }
    doomed.push_back(const_cast<TQueueNode*>(&node));
    return true;
  });
  for (TQueueNode* node : doomed) Queue.RemoveNode(node);
  UpdateActions(false);
}

void TFormMasterQVR::ActionDeleteAllExecute() {
  if (Queue.Empty()) return;
  if (!ConfirmWarning(GetLangText(17, 16), GetLangText(17, 17), Config.Confirmations[qvr::config::kConfirmDeleteAll])) {
    return;
  }
  Queue.Clear();
  ForgetImportedSession();
  UpdateActions(false);
}

void TFormMasterQVR::ActionSelectAllExecute() { VirtualStringTreeQueue->selectAll(); }
void TFormMasterQVR::ActionCollapseAllExecute() { VirtualStringTreeQueue->collapseAll(); }
void TFormMasterQVR::ActionExpandAllExecute() { VirtualStringTreeQueue->expandAll(); }

void TFormMasterQVR::ActionPropertiesExecute() {
  ShowItemProperties(QueueItemModel->NodeOf(VirtualStringTreeQueue->currentIndex()));
}

void TFormMasterQVR::QueueHeaderClicked(int section) {
  QHeaderView* header = VirtualStringTreeQueue->header();
  if (section != kColumnName) {
    SortColumn = -1;
    header->setSortIndicatorShown(false);
    return;
  }
  if (SortColumn != kColumnName) {
    // The first click only sets the mark; the tree keeps its order.
    SortColumn = kColumnName;
    SortAscending = true;
  } else {
    SortAscending = !SortAscending;
    Queue.Sort(SortAscending);
  }
  header->setSortIndicatorShown(true);
  header->setSortIndicator(kColumnName, SortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void TFormMasterQVR::ShowItemProperties(TQueueNode* node) {
  if (!node || !Queue.EnsureItemInfo(node)) return;
  const TQueueItem& item = node->Item;
  TItemProperties properties;
  properties.Name = item.Name;
  properties.TypeName = item.TypeName;
  properties.Icon = QueueItemModel->IconOf(node->Item, false);
  properties.Path = item.SourcePath;
  properties.HasSource = !item.SourcePath.isEmpty();
  properties.Modified = FormatItemDate(item.Modified, QStringLiteral("dd MM yyyy hh:mm:ss"));
  properties.Attributes = AttributeLetters(item.Attributes);
  properties.IsFolder = item.IsFolder;
  uint64_t bytes = item.Size;
  if (item.IsFolder) {
    const TFolderSum sum = Queue.SumFolder(node, true);
    properties.Files = sum.Files;
    properties.Folders = sum.Folders;
    bytes = sum.Bytes;
  }
  QStringList sizes;
  for (int unit = kUnitBytes; unit <= kUnitGB; ++unit) sizes.append(FormatSize(unit, 2, bytes));
  properties.Sizes = sizes.join(QStringLiteral(" - "));
  auto* window = new TFormProperties(Language, properties, this);
  window->move(geometry().center() - window->rect().center());
  window->show();
}
