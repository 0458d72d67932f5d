#include "compilation/compilation.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QMimeDatabase>
#include <algorithm>
#include <ctime>

namespace qvr::app {

namespace {

QString NameOfPath(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool StatPath(const QString& path, struct stat& st) {
  return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

struct TListedEntry {
  QString Path;
  uint64_t Size;
};

// Entries of a folder in the order the file system gives them; names that
// begin with "." are skipped. Sizes come from the listing, so adding the
// contents needs no further look-up per file.
std::vector<TListedEntry> ListFolderEntries(const QString& folder) {
  std::vector<TListedEntry> entries;
  const QByteArray encoded = QFile::encodeName(folder);
  DIR* dir = ::opendir(encoded.constData());
  if (!dir) return entries;
  const int fd = ::dirfd(dir);
  const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    uint64_t size = 0;
    struct stat st;
    bool is_dir = entry->d_type == DT_DIR;
    if (entry->d_type != DT_DIR && ::fstatat(fd, entry->d_name, &st, 0) == 0) {
      is_dir = S_ISDIR(st.st_mode);
      if (!is_dir) size = static_cast<uint64_t>(st.st_size);
    }
    // A folder or an empty or one-byte file: AddQueuePath decides from the path.
    entries.push_back({prefix + QFile::decodeName(entry->d_name), is_dir ? kSizeUnknown : size});
  }
  ::closedir(dir);
  return entries;
}

QString TypeNameOf(const QString& path, bool is_dir) {
  static QMimeDatabase database;
  static QHash<QString, QString> by_suffix;
  if (is_dir) return database.mimeTypeForName(QStringLiteral("inode/directory")).comment().left(80);
  const QString name = NameOfPath(path);
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  const QString suffix = dot > 0 ? name.mid(dot).toLower() : QString();
  auto found = by_suffix.constFind(suffix);
  if (found != by_suffix.cend()) return *found;
  QString comment = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension).comment().left(80);
  by_suffix.insert(suffix, comment);
  return comment;
}

}  // namespace

QString FoldAscii(const QString& text) {
  QString folded = text;
  for (QChar& c : folded) {
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 32);
  }
  return folded;
}

bool IsValidItemName(const QString& name) {
  if (name.size() > 260) return false;
  for (const char c : {'/', '\\', '*', '"', '<', '>', '|'}) {
    if (name.contains(QLatin1Char(c))) return false;
  }
  return true;
}

bool QueueItemLess(const TQueueItem& a, const TQueueItem& b) {
  const bool a_dir = a.Attributes & kAttrDirectory;
  const bool b_dir = b.Attributes & kAttrDirectory;
  if (a_dir != b_dir) return a_dir;
  return FoldAscii(a.Name) < FoldAscii(b.Name);
}

QStringList DropOrder(const QStringList& paths) {
  if (paths.size() < 2) return paths;
  QStringList ordered = paths.mid(1);
  ordered.append(paths.first());
  return ordered;
}

double LocalDateTimeOf(int64_t unix_seconds) {
  const time_t t = static_cast<time_t>(unix_seconds);
  struct tm local {};
  localtime_r(&t, &local);
  return static_cast<double>(unix_seconds + local.tm_gmtoff) / 86400.0 + 25569.0;
}

bool ReadItemInfo(TQueueItem& item) {
  if (item.InfoLoaded) return true;
  struct stat st;
  if (item.SourcePath.isEmpty() || !StatPath(item.SourcePath, st)) return false;
  const bool is_dir = S_ISDIR(st.st_mode);
  int32_t attributes = 0;
  if (!(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
  if (NameOfPath(item.SourcePath).startsWith(QLatin1Char('.'))) attributes |= kAttrHidden;
  if (is_dir) attributes |= kAttrDirectory;
  if (S_ISREG(st.st_mode)) attributes |= kAttrArchive;
  item.Attributes = attributes;
  item.TypeName = TypeNameOf(item.SourcePath, is_dir);
  // Any date is kept, also those before 1980 that a DOS date cannot hold.
  item.Modified = LocalDateTimeOf(st.st_mtim.tv_sec);
  item.InfoLoaded = true;
  return true;
}

TCompilation::TCompilation() : root_(std::make_unique<TQueueNode>()) {
  root_->Item.IsFolder = true;
}

TCompilation::~TCompilation() = default;

void TCompilation::Log(int key, const QString& placeholder, const QString& value) const {
  if (hooks_.Log) hooks_.Log(key, placeholder, value);
}

bool TCompilation::ItemNameExists(const QString& name, const TQueueNode* parent) const {
  if (!parent) parent = root_.get();
  return parent->ChildNames.value(FoldAscii(name)) > 0;
}

TQueueNode* TCompilation::ResolveParent(TQueueNode* parent) {
  if (!parent) return root_.get();
  if (!parent->Item.IsFolder) return parent->Parent ? parent->Parent : root_.get();
  return parent;
}

void TCompilation::Insert(TQueueNode* parent, int row, std::unique_ptr<TQueueNode> node) {
  row = std::clamp(row, 0, static_cast<int>(parent->Children.size()));
  if (listener_) listener_->BeginInsert(parent, row, row);
  node->Parent = parent;
  parent->ChildNames[FoldAscii(node->Item.Name)]++;
  parent->Children.insert(parent->Children.begin() + row, std::move(node));
  for (int i = row; i < static_cast<int>(parent->Children.size()); ++i) parent->Children[i]->Row = i;
  if (listener_) listener_->EndInsert();
}

TQueueNode* TCompilation::Append(TQueueNode* parent, TQueueItem item) {
  auto node = std::make_unique<TQueueNode>();
  node->Item = std::move(item);
  TQueueNode* raw = node.get();
  Insert(parent, static_cast<int>(parent->Children.size()), std::move(node));
  return raw;
}

std::unique_ptr<TQueueNode> TCompilation::Detach(TQueueNode* node) {
  TQueueNode* parent = node->Parent;
  const int row = node->Row;
  if (listener_) listener_->BeginRemove(parent, row, row);
  std::unique_ptr<TQueueNode> owned = std::move(parent->Children[row]);
  parent->Children.erase(parent->Children.begin() + row);
  for (int i = row; i < static_cast<int>(parent->Children.size()); ++i) parent->Children[i]->Row = i;
  const QString folded = FoldAscii(owned->Item.Name);
  if (--parent->ChildNames[folded] <= 0) parent->ChildNames.remove(folded);
  owned->Parent = nullptr;
  if (listener_) listener_->EndRemove();
  return owned;
}

void TCompilation::AddQueuePath(const QString& path, TQueueNode* parent, uint64_t size) {
  if (hooks_.Refused && hooks_.Refused()) return;
  parent = ResolveParent(parent);
  bool is_file = size != kSizeUnknown && size >= 2;
  if (!is_file) {
    struct stat st;
    is_file = StatPath(path, st) && !S_ISDIR(st.st_mode);
  }
  if (is_file) {
    AddFile(path, parent, size);
  } else {
    AddFolder(path, parent);
  }
}

void TCompilation::AddFile(const QString& path, TQueueNode* parent, uint64_t size) {
  if (size == kSizeUnknown) {
    struct stat st;
    size = StatPath(path, st) ? static_cast<uint64_t>(st.st_size) : 0;
  }
  if (size > kMaxFileSize) {
    Log(84, QStringLiteral("<#filename>"), path);
    return;
  }
  QString name = NameOfPath(path);
  if (name.size() > kMaxItemName) {
    Log(1, QStringLiteral("<#filename>"), name);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot >= 0 ? name.mid(dot) : QString();
    name = name.left(std::max<qsizetype>(0, kMaxItemName - extension.size())) + extension;
    Log(2, QStringLiteral("<#filename>"), name);
  }
  name.replace(QLatin1Char(';'), QLatin1Char('_'));
  if (ItemNameExists(name, parent)) return;
  TQueueItem item;
  item.Name = name;
  item.SourcePath = path;
  item.Size = size;
  const double duration = hooks_.GetAudioDuration ? hooks_.GetAudioDuration(path) : -1;
  if (duration > -1) {
    item.Duration = duration;
    item.IsAudio = true;
  }
  Append(parent, std::move(item));
  ++FileCount;
}

void TCompilation::AddFolder(const QString& path, TQueueNode* parent) {
  QString name = NameOfPath(path);
  if (name.size() > kMaxItemName) {
    Log(3, QStringLiteral("<#directoryname>"), name);
    name = name.left(kMaxItemName);
    Log(4, QStringLiteral("<#directoryname>"), name);
  }
  name.replace(QLatin1Char(';'), QLatin1Char('_'));
  if (ItemNameExists(name, parent)) return;
  TQueueItem item;
  item.Name = name;
  item.SourcePath = path;
  item.IsFolder = true;
  TQueueNode* folder = Append(parent, std::move(item));
  ++FolderCount;
  ++adding_;
  int count = 0;
  for (const TListedEntry& entry : ListFolderEntries(path)) {
    AddQueuePath(entry.Path, folder, entry.Size);
    if (++count % 1000 == 0 && hooks_.Pump) hooks_.Pump();
  }
  --adding_;
  if (hooks_.Pump) hooks_.Pump();
}

TNameResult TCompilation::CreateFolder(TQueueNode* parent, const QString& answer, const QString& type_name,
                                       double now, TQueueNode** created) {
  if (answer.trimmed().isEmpty()) return TNameResult::Blank;
  parent = ResolveParent(parent);
  QString name = answer.left(kMaxItemName);
  name.replace(QLatin1Char(';'), QLatin1Char('_'));
  if (!IsValidItemName(name)) return TNameResult::Invalid;
  if (ItemNameExists(name, parent)) return TNameResult::Exists;
  TQueueItem item;
  item.Name = name;
  item.TypeName = type_name;
  item.Attributes = kAttrDirectory;
  item.Modified = now;
  item.IsFolder = true;
  item.InfoLoaded = true;
  TQueueNode* node = Append(parent, std::move(item));
  if (created) *created = node;
  return TNameResult::Accepted;
}

TNameResult TCompilation::Rename(TQueueNode* node, const QString& text) {
  const QString name = text.trimmed().left(kMaxItemName);
  if (name.isEmpty()) return TNameResult::Blank;
  if (!IsValidItemName(name)) return TNameResult::Invalid;
  // The node itself counts: a change of case alone is refused as well.
  if (ItemNameExists(name, node->Parent)) return TNameResult::Exists;
  TQueueNode* parent = node->Parent;
  const QString old_folded = FoldAscii(node->Item.Name);
  if (--parent->ChildNames[old_folded] <= 0) parent->ChildNames.remove(old_folded);
  parent->ChildNames[FoldAscii(name)]++;
  node->Item.Name = name;
  if (listener_) listener_->ItemChanged(node);
  return TNameResult::Accepted;
}

void TCompilation::MoveNodes(const std::vector<TQueueNode*>& nodes, TQueueNode* target, TDropPosition position) {
  if (adding_) return;
  for (TQueueNode* node : nodes) {
    // A folder cannot move into itself or below itself.
    bool inside = false;
    for (const TQueueNode* up = target; up; up = up->Parent) inside = inside || up == node;
    if (inside || !node->Parent) continue;
    std::unique_ptr<TQueueNode> owned = Detach(node);
    if (!target) {
      Insert(root_.get(), static_cast<int>(root_->Children.size()), std::move(owned));
    } else if (target->Item.IsFolder && position == TDropPosition::On) {
      Insert(target, static_cast<int>(target->Children.size()), std::move(owned));
    } else if (target->Item.IsFolder && position == TDropPosition::Below) {
      Insert(target->Parent, target->Row + 1, std::move(owned));
    } else {
      Insert(target->Parent, target->Row, std::move(owned));
    }
  }
}

void TCompilation::RemoveNode(TQueueNode* node) {
  if (node && node->Parent && !adding_) Detach(node);
}

bool TCompilation::RemoveQueueItem(const QString& text) {
  const QString wanted = FoldAscii(text);
  for (const auto& child : root_->Children) {
    if (FoldAscii(child->Item.Name) == wanted || FoldAscii(child->Item.SourcePath) == wanted) {
      RemoveNode(child.get());
      return true;
    }
  }
  return false;
}

void TCompilation::Clear() { ReplaceChildren({}); }

void TCompilation::ReplaceChildren(std::vector<std::unique_ptr<TQueueNode>> children) {
  if (adding_) return;
  if (listener_) listener_->BeginReset();
  root_->Children = std::move(children);
  root_->ChildNames.clear();
  // Rebuild parents, rows and name counts below the root.
  std::function<void(TQueueNode*)> relink = [&](TQueueNode* parent) {
    parent->ChildNames.clear();
    for (int i = 0; i < static_cast<int>(parent->Children.size()); ++i) {
      TQueueNode* child = parent->Children[i].get();
      child->Parent = parent;
      child->Row = i;
      parent->ChildNames[FoldAscii(child->Item.Name)]++;
      relink(child);
    }
  };
  relink(root_.get());
  if (listener_) listener_->EndReset();
}

void TCompilation::Sort(bool ascending) {
  if (adding_) return;
  if (listener_) listener_->BeginReorder();
  std::function<void(TQueueNode*)> sort = [&](TQueueNode* parent) {
    std::stable_sort(parent->Children.begin(), parent->Children.end(),
                     [ascending](const auto& a, const auto& b) {
                       return ascending ? QueueItemLess(a->Item, b->Item) : QueueItemLess(b->Item, a->Item);
                     });
    for (int i = 0; i < static_cast<int>(parent->Children.size()); ++i) {
      parent->Children[i]->Row = i;
      sort(parent->Children[i].get());
    }
  };
  sort(root_.get());
  if (listener_) listener_->EndReorder();
}

bool TCompilation::EnsureItemInfo(TQueueNode* node) {
  if (node->Item.InfoLoaded) return true;
  if (ReadItemInfo(node->Item)) return true;
  RemoveNode(node);
  return false;
}

TFolderSum TCompilation::SumFolder(TQueueNode* folder, bool recursive) {
  TFolderSum sum;
  for (size_t i = 0; i < folder->Children.size();) {
    TQueueNode* child = folder->Children[i].get();
    if (child->Item.IsFolder) {
      ++sum.Folders;
      if (recursive) {
        const TFolderSum inner = SumFolder(child, true);
        sum.Folders += inner.Folders;
        sum.Files += inner.Files;
        sum.Bytes += inner.Bytes;
      }
    } else {
      if (!EnsureItemInfo(child)) {
        // Removed: the next sibling moved into slot i. Kept while a folder is being filled: step over it.
        if (i < folder->Children.size() && folder->Children[i].get() == child) ++i;
        continue;
      }
      ++sum.Files;
      sum.Bytes += child->Item.Size;
    }
    ++i;
  }
  return sum;
}

void TCompilation::ForEach(const TQueueNode* from, const std::function<bool(const TQueueNode&)>& visit) {
  std::vector<const TQueueNode*> stack;
  for (auto it = from->Children.rbegin(); it != from->Children.rend(); ++it) stack.push_back(it->get());
  while (!stack.empty()) {
    const TQueueNode* node = stack.back();
    stack.pop_back();
    if (!visit(*node)) return;
    for (auto it = node->Children.rbegin(); it != node->Children.rend(); ++it) stack.push_back(it->get());
  }
}

namespace {
template <typename Visit>
void ForEachNode(const TQueueNode* node, Visit&& visit) {
  for (const auto& child : node->Children) {
    visit(child->Item);
    if (!child->Children.empty()) ForEachNode(child.get(), visit);
  }
}
}  // namespace

uint64_t TCompilation::TotalFileSize() const {
  uint64_t total = 0;
  ForEachNode(root_.get(), [&](const TQueueItem& item) { if (!item.IsFolder) total += item.Size; });
  return total;
}

double TCompilation::TotalDuration() const {
  double total = 0;
  ForEachNode(root_.get(), [&](const TQueueItem& item) { if (!item.IsFolder && item.IsAudio) total += item.Duration; });
  return total;
}

int TCompilation::CountFileItems() const {
  int count = 0;
  ForEachNode(root_.get(), [&](const TQueueItem& item) { count += !item.IsFolder; });
  return count;
}

int TCompilation::CountFolderItems() const {
  int count = 0;
  ForEachNode(root_.get(), [&](const TQueueItem& item) { count += item.IsFolder; });
  return count;
}

bool TCompilation::HasAudio() const {
  bool audio = false;
  ForEach(root_.get(), [&](const TQueueNode& node) {
    audio = !node.Item.IsFolder && node.Item.IsAudio;
    return !audio;
  });
  return audio;
}

}  // namespace qvr::app
