#pragma once
// The compilation: the tree of files and folders the user wants on the disc.
// It holds only references to the source files. Views watch it through a
// TCompilationListener; the tree knows nothing of widgets.

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "compilation/queue_item.h"

namespace qvr::app {

struct TQueueNode {
  TQueueItem Item;
  TQueueNode* Parent = nullptr;  // null only for the root
  int Row = 0;                   // index among the parent's children
  std::vector<std::unique_ptr<TQueueNode>> Children;
  QHash<QString, int> ChildNames;  // folded child names and how often each occurs
};

// Notifications around every change of the tree's shape, so a view model can
// announce them. Rows are indexes among the children of `parent`.
class TCompilationListener {
 public:
  virtual ~TCompilationListener() = default;
  virtual void BeginInsert(TQueueNode* parent, int first, int last) = 0;
  virtual void EndInsert() = 0;
  virtual void BeginRemove(TQueueNode* parent, int first, int last) = 0;
  virtual void EndRemove() = 0;
  virtual void BeginReset() = 0;
  virtual void EndReset() = 0;
  virtual void BeginReorder() = 0;
  virtual void EndReorder() = 0;
  virtual void ItemChanged(TQueueNode* node) = 0;
};

// What adding paths needs from the outside world.
struct TAddHooks {
  // A line of the log: text `key` of section 11 with `placeholder` = `value`.
  std::function<void(int key, const QString& placeholder, const QString& value)> Log;
  // Playing time of a file in seconds; below 0 when it is no audio file.
  std::function<double(const QString& path)> GetAudioDuration;
  // Lets pending window messages run (after each folder and every 1,000 entries).
  std::function<void()> Pump;
  // True while an operation runs; additions are refused then.
  std::function<bool()> Refused;
};

enum class TNameResult { Accepted, Blank, Invalid, Exists };
enum class TDropPosition { Above, On, Below };

struct TFolderSum {
  int Folders = 0;
  int Files = 0;
  uint64_t Bytes = 0;
};

// ASCII letters a-z folded to upper case; other characters unchanged.
QString FoldAscii(const QString& text);
// False for names over 260 characters or holding / \ * " < > |.
bool IsValidItemName(const QString& name);
// Folders first, then names compared by code with ASCII letters folded.
bool QueueItemLess(const TQueueItem& a, const TQueueItem& b);
// The order bulk additions use: the second to the last path, then the first.
QStringList DropOrder(const QStringList& paths);
// Type name, attributes and modification time of the item's source; false
// when the source no longer exists.
bool ReadItemInfo(TQueueItem& item);
// Days since 30 December 1899 for seconds since 1970 (UTC), in local time.
double LocalDateTimeOf(int64_t unix_seconds);

class TCompilation {
 public:
  TCompilation();
  ~TCompilation();
  TCompilation(const TCompilation&) = delete;
  TCompilation& operator=(const TCompilation&) = delete;

  void SetListener(TCompilationListener* listener) { listener_ = listener; }
  TAddHooks& Hooks() { return hooks_; }
  TQueueNode* Root() { return root_.get(); }
  const TQueueNode* Root() const { return root_.get(); }

  // Adds a file, or a folder with its contents, under `parent` (null: top
  // level; a file parent means its own parent). `size` may be kSizeUnknown.
  void AddQueuePath(const QString& path, TQueueNode* parent = nullptr, uint64_t size = kSizeUnknown);
  bool ItemNameExists(const QString& name, const TQueueNode* parent) const;

  // Batch counters: files and folders added since the last reset.
  int FileCount = 0;
  int FolderCount = 0;

  // A folder typed by the user; `created` receives the new node.
  TNameResult CreateFolder(TQueueNode* parent, const QString& answer, const QString& type_name,
                           double now, TQueueNode** created = nullptr);
  TNameResult Rename(TQueueNode* node, const QString& text);
  // Moves `nodes` (tree order) relative to `target` (null: top level).
  void MoveNodes(const std::vector<TQueueNode*>& nodes, TQueueNode* target, TDropPosition position);
  void RemoveNode(TQueueNode* node);
  // Removes the first top-level item whose name or source path matches, ignoring ASCII case.
  bool RemoveQueueItem(const QString& text);
  void Clear();
  // Replaces the whole tree (project loading); names and rows are rebuilt.
  void ReplaceChildren(std::vector<std::unique_ptr<TQueueNode>> children);
  void Sort(bool ascending);

  // Fills the item's information on first need; removes the node and returns
  // false when its source has gone.
  bool EnsureItemInfo(TQueueNode* node);
  TFolderSum SumFolder(TQueueNode* folder, bool recursive);

  uint64_t TotalFileSize() const;
  double TotalDuration() const;
  int CountFileItems() const;
  int CountFolderItems() const;
  bool HasAudio() const;
  bool Empty() const { return root_->Children.empty(); }
  bool Adding() const { return adding_ > 0; }

  // Visits every node below the root in tree order; stop by returning false.
  static void ForEach(const TQueueNode* from, const std::function<bool(const TQueueNode&)>& visit);

 private:
  TQueueNode* ResolveParent(TQueueNode* parent);
  TQueueNode* Append(TQueueNode* parent, TQueueItem item);
  void Insert(TQueueNode* parent, int row, std::unique_ptr<TQueueNode> node);
  std::unique_ptr<TQueueNode> Detach(TQueueNode* node);
  void AddFile(const QString& path, TQueueNode* parent, uint64_t size);
  void AddFolder(const QString& path, TQueueNode* parent);
  void Log(int key, const QString& placeholder, const QString& value) const;

  std::unique_ptr<TQueueNode> root_;
  // Folders being filled. Window messages run meanwhile, so removals and
  // moves wait until the additions are done: they could take the folder
  // being filled away.
  int adding_ = 0;
  TCompilationListener* listener_ = nullptr;
  TAddHooks hooks_;
};

}  // namespace qvr::app
