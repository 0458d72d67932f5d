#include "compilation/queue_model.h"

#include <QFileIconProvider>
#include <QMimeData>
#include <QMimeDatabase>
#include <QSet>
#include <QUrl>

#include "compilation/size_text.h"

namespace qvr::app {

namespace {
constexpr const char* kNodesMime = "application/x-quorvella-nodes";

uint64_t FolderBytes(const TQueueNode* folder) {
  uint64_t bytes = 0;
  TCompilation::ForEach(folder, [&](const TQueueNode& node) {
    if (!node.Item.IsFolder) bytes += node.Item.Size;
    return true;
  });
  return bytes;
}
}  // namespace

TQueueModel::TQueueModel(TCompilation& compilation, QObject* parent)
    : QAbstractItemModel(parent), compilation_(compilation) {
  compilation_.SetListener(this);
  titles_ = {QStringLiteral("Name"), QStringLiteral("Path"), QStringLiteral("Size - Duration"),
             QStringLiteral("Type"), QStringLiteral("Modified"), QStringLiteral("Attributes")};
}

TQueueModel::~TQueueModel() { compilation_.SetListener(nullptr); }

TQueueNode* TQueueModel::NodeOf(const QModelIndex& index) const {
  return index.isValid() ? static_cast<TQueueNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TQueueModel::IndexOf(const TQueueNode* node, int column) const {
  if (!node || !node->Parent) return {};
  return createIndex(node->Row, column, const_cast<TQueueNode*>(node));
}

QModelIndex TQueueModel::ParentIndexOf(TQueueNode* parent) const { return IndexOf(parent); }

void TQueueModel::SetColumnTitles(const QStringList& titles) {
  titles_ = titles;
  Q_EMIT headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

int TQueueModel::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  const TQueueNode* node = parent.isValid() ? NodeOf(parent) : compilation_.Root();
  return static_cast<int>(node->Children.size());
}

int TQueueModel::columnCount(const QModelIndex&) const { return kColumnCount; }

QModelIndex TQueueModel::index(int row, int column, const QModelIndex& parent) const {
  const TQueueNode* node = parent.isValid() ? NodeOf(parent) : compilation_.Root();
  if (row < 0 || row >= static_cast<int>(node->Children.size()) || column < 0 || column >= kColumnCount) return {};
  return createIndex(row, column, node->Children[row].get());
}

QModelIndex TQueueModel::parent(const QModelIndex& child) const {
  const TQueueNode* node = NodeOf(child);
  if (!node || !node->Parent || !node->Parent->Parent) return {};
  return createIndex(node->Parent->Row, 0, node->Parent);
}

void TQueueModel::ScheduleRemoval(const TQueueNode* node) const {
  // The source is gone: the row goes once painting is over.
  QPersistentModelIndex gone(IndexOf(node));
  auto* self = const_cast<TQueueModel*>(this);
  QMetaObject::invokeMethod(self, [self, gone] {
    if (TQueueNode* n = self->NodeOf(gone)) {
      if (!n->Item.InfoLoaded) self->compilation_.RemoveNode(n);
    }
  }, Qt::QueuedConnection);
}

int TQueueModel::IconIndex(const QString& key, const QIcon& icon) {
  auto found = icon_indexes_.constFind(key);
  if (found != icon_indexes_.cend()) return *found;
  icons_.push_back(icon);
  const int index = static_cast<int>(icons_.size()) - 1;
  icon_indexes_.insert(key, index);
  return index;
}

QIcon TQueueModel::IconOf(TQueueItem& item, bool open) {
  if (!item.IconsLoaded) {
    static QFileIconProvider provider;
    static QMimeDatabase mimes;
    if (item.IsFolder) {
      const QIcon closed = QIcon::fromTheme(QStringLiteral("folder"), provider.icon(QFileIconProvider::Folder));
      item.ImageIndex = IconIndex(QStringLiteral("folder"), closed);
      item.OpenImageIndex = IconIndex(QStringLiteral("folder-open"), QIcon::fromTheme(QStringLiteral("folder-open"), closed));
    } else {
      // By the name alone, so that the file need not exist.
      const QMimeType type = mimes.mimeTypeForFile(item.Name, QMimeDatabase::MatchExtension);
      QIcon icon = QIcon::fromTheme(type.iconName());
      if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
      if (icon.isNull()) icon = provider.icon(QFileIconProvider::File);
      item.ImageIndex = item.OpenImageIndex = IconIndex(type.name(), icon);
    }
    item.IconsLoaded = true;
  }
  const int index = open ? item.OpenImageIndex : item.ImageIndex;
  return index >= 0 && index < static_cast<int>(icons_.size()) ? icons_[index] : QIcon();
}

QVariant TQueueModel::data(const QModelIndex& index, int role) const {
  TQueueNode* node = NodeOf(index);
  if (!node) return {};
  TQueueItem& item = node->Item;
  if (role == Qt::TextAlignmentRole) {
    return index.column() == kColumnSize ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
  }
  if (role == Qt::DecorationRole && index.column() == kColumnName) {
    return const_cast<TQueueModel*>(this)->IconOf(item, false);
  }
  if (role == Qt::EditRole && index.column() == kColumnName) return item.Name;
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  if (!ReadItemInfo(item)) {
    ScheduleRemoval(node);
    return {};
  }
  switch (index.column()) {
    case kColumnName: return item.Name;
    case kColumnPath: return item.IsFolder && item.SourcePath.isEmpty() ? manually_created_ : item.SourcePath;
    case kColumnSize:
      if (item.IsFolder) return show_folder_sizes_ ? FormatSize(kUnitAuto, 2, FolderBytes(node)) : QString();
      return item.IsAudio ? FormatSize(kUnitAuto, 2, item.Size) + QStringLiteral(" - ") + FormatDurationColumn(item.Duration)
                          : FormatSize(kUnitAuto, 2, item.Size);
    case kColumnType: return item.TypeName;
    case kColumnModified: return FormatItemDate(item.Modified, QStringLiteral("dd/MM/yyyy hh:mm:ss"));
    case kColumnAttributes: return AttributeLetters(item.Attributes);
    default: return {};
  }
}

bool TQueueModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  TQueueNode* node = NodeOf(index);
  if (!node || role != Qt::EditRole || index.column() != kColumnName || rename_locked_) return false;
  const QString text = value.toString();
  const TNameResult result = compilation_.Rename(node, text);
  if (result == TNameResult::Invalid || result == TNameResult::Exists) {
    Q_EMIT RenameRefused(result, text.trimmed().left(kMaxItemName));
  }
  return result == TNameResult::Accepted;
}

QVariant TQueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= titles_.size()) return {};
  if (role == Qt::DisplayRole) return titles_[section];
  if (role == Qt::TextAlignmentRole && section == kColumnSize) return int(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags TQueueModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
  if (NodeOf(index)->Item.IsFolder) flags |= Qt::ItemIsDropEnabled;
  if (index.column() == kColumnName) flags |= Qt::ItemIsEditable;
  return flags;
}

Qt::DropActions TQueueModel::supportedDropActions() const { return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction; }
Qt::DropActions TQueueModel::supportedDragActions() const { return Qt::MoveAction; }

QStringList TQueueModel::mimeTypes() const { return {QString::fromLatin1(kNodesMime), QStringLiteral("text/uri-list")}; }

QMimeData* TQueueModel::mimeData(const QModelIndexList& indexes) const {
  // The nodes in tree order, each once; only this process reads the pointers.
  std::vector<TQueueNode*> nodes;
  for (const QModelIndex& index : indexes) {
    if (index.column() == 0) nodes.push_back(NodeOf(index));
  }
  std::vector<TQueueNode*> ordered;
  TCompilation::ForEach(compilation_.Root(), [&](const TQueueNode& node) {
    if (std::find(nodes.begin(), nodes.end(), &node) != nodes.end()) ordered.push_back(const_cast<TQueueNode*>(&node));
    return true;
  });
  QByteArray encoded;
  QList<QUrl> urls;
  for (TQueueNode* node : ordered) {
    encoded += QByteArray::number(reinterpret_cast<quintptr>(node)) + '\n';
    if (!node->Item.SourcePath.isEmpty()) urls.append(QUrl::fromLocalFile(node->Item.SourcePath));
  }
  auto* data = new QMimeData;
  data->setData(QString::fromLatin1(kNodesMime), encoded);
  data->setUrls(urls);
  return data;
}

bool TQueueModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex&) const {
  return data->hasFormat(QString::fromLatin1(kNodesMime)) || data->hasUrls();
}

bool TQueueModel::dropMimeData(const QMimeData* data, Qt::DropAction, int row, int, const QModelIndex& parent) {
  if (data->hasFormat(QString::fromLatin1(kNodesMime))) {
    // Only nodes still in this tree, in tree order.
    QSet<quintptr> wanted;
    for (const QByteArray& line : data->data(QString::fromLatin1(kNodesMime)).split('\n')) {
      if (!line.isEmpty()) wanted.insert(static_cast<quintptr>(line.toULongLong()));
    }
    std::vector<TQueueNode*> nodes;
    TCompilation::ForEach(compilation_.Root(), [&](const TQueueNode& n) {
      if (wanted.contains(reinterpret_cast<quintptr>(&n))) nodes.push_back(const_cast<TQueueNode*>(&n));
      return true;
    });
    TQueueNode* parent_node = parent.isValid() ? NodeOf(parent) : compilation_.Root();
    TQueueNode* target = nullptr;
    TDropPosition position = TDropPosition::On;
    if (row < 0) {
      target = parent.isValid() ? parent_node : nullptr;
    } else if (row < static_cast<int>(parent_node->Children.size())) {
      target = parent_node->Children[row].get();
      position = TDropPosition::Above;
    } else if (!parent_node->Children.empty()) {
      target = parent_node->Children.back().get();
      position = TDropPosition::Below;
    }
    compilation_.MoveNodes(nodes, target, position);
    Q_EMIT NodesMoved();
    // The view must not remove the dragged rows itself: the move is done.
    return false;
  }
  QStringList paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  }
  if (paths.isEmpty()) return false;
  Q_EMIT FilesDropped(paths);
  return true;
}

void TQueueModel::BeginInsert(TQueueNode* parent, int first, int last) {
  beginInsertRows(ParentIndexOf(parent), first, last);
}
void TQueueModel::EndInsert() { endInsertRows(); }
void TQueueModel::BeginRemove(TQueueNode* parent, int first, int last) {
  beginRemoveRows(ParentIndexOf(parent), first, last);
}
void TQueueModel::EndRemove() { endRemoveRows(); }
void TQueueModel::BeginReset() { beginResetModel(); }
void TQueueModel::EndReset() { endResetModel(); }

void TQueueModel::BeginReorder() {
  Q_EMIT layoutAboutToBeChanged();
  reorder_indexes_ = persistentIndexList();
  reorder_nodes_.clear();
  for (const QModelIndex& index : reorder_indexes_) reorder_nodes_.push_back(NodeOf(index));
}

void TQueueModel::EndReorder() {
  QModelIndexList moved;
  for (size_t i = 0; i < reorder_nodes_.size(); ++i) {
    moved.append(IndexOf(reorder_nodes_[i], reorder_indexes_[static_cast<qsizetype>(i)].column()));
  }
  changePersistentIndexList(reorder_indexes_, moved);
  reorder_indexes_.clear();
  reorder_nodes_.clear();
  Q_EMIT layoutChanged();
}

void TQueueModel::ItemChanged(TQueueNode* node) {
  Q_EMIT dataChanged(IndexOf(node, 0), IndexOf(node, kColumnCount - 1));
}

}  // namespace qvr::app
