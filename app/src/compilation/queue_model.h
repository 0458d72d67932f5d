#pragma once
// The compilation as a Qt item model: a thin adapter that shows the tree's
// items in six columns, loads type, attributes, dates and icons when a row
// is first shown, and turns drops into moves or additions.

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QStringList>
#include <vector>

#include "compilation/compilation.h"

namespace qvr::app {

enum TQueueColumn { kColumnName, kColumnPath, kColumnSize, kColumnType, kColumnModified, kColumnAttributes,
                    kColumnCount };

class TQueueModel : public QAbstractItemModel, private TCompilationListener {
  Q_OBJECT
 public:
  explicit TQueueModel(TCompilation& compilation, QObject* parent = nullptr);
  ~TQueueModel() override;

  TCompilation& Compilation() { return compilation_; }
  TQueueNode* NodeOf(const QModelIndex& index) const;
  QModelIndex IndexOf(const TQueueNode* node, int column = 0) const;

  void SetColumnTitles(const QStringList& titles);
  void SetManuallyCreatedText(const QString& text) { manually_created_ = text; }
  void SetShowFolderSizes(bool on) { show_folder_sizes_ = on; }
  // While set, renaming through the view is refused (a project is loading).
  void SetRenameLocked(bool locked) { rename_locked_ = locked; }
  // The icon of an item, looked up on first need.
  QIcon IconOf(TQueueItem& item, bool open);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  Qt::DropActions supportedDropActions() const override;
  Qt::DropActions supportedDragActions() const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  bool canDropMimeData(const QMimeData*, Qt::DropAction, int, int, const QModelIndex&) const override;
  bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                    const QModelIndex& parent) override;

 Q_SIGNALS:
  // A rename through the view was refused.
  void RenameRefused(qvr::app::TNameResult result, const QString& text);
  // Local files dropped from outside; they belong at the top level.
  void FilesDropped(const QStringList& paths);
  void NodesMoved();

 private:
  void BeginInsert(TQueueNode* parent, int first, int last) override;
  void EndInsert() override;
  void BeginRemove(TQueueNode* parent, int first, int last) override;
  void EndRemove() override;
  void BeginReset() override;
  void EndReset() override;
  void BeginReorder() override;
  void EndReorder() override;
  void ItemChanged(TQueueNode* node) override;
  QModelIndex ParentIndexOf(TQueueNode* parent) const;
  int IconIndex(const QString& key, const QIcon& icon);
  void ScheduleRemoval(const TQueueNode* node) const;

  TCompilation& compilation_;
  QStringList titles_;
  QString manually_created_;
  bool show_folder_sizes_ = false;
  bool rename_locked_ = false;
  std::vector<QIcon> icons_;
  QHash<QString, int> icon_indexes_;
  QModelIndexList reorder_indexes_;
  std::vector<TQueueNode*> reorder_nodes_;
};

}  // namespace qvr::app
