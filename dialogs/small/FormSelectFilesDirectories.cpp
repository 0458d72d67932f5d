#include "small/FormSelectFilesDirectories.h"

#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>

#include "language/language.h"

TFormSelectFilesDirectories::TFormSelectFilesDirectories(const qvr::lang::TLanguage& texts,
                                                         const TAddFilesPlace& place,
                                                         std::function<void(const QStringList&)> add, QWidget* parent)
    : QDialog(parent), add_(std::move(add)) {
  setObjectName(QStringLiteral("FormSelectFilesDirectories"));
  setWindowTitle(texts.GetLangText(9, 0));
  Folders = new QFileSystemModel(this);
  Folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  Folders->setRootPath(QStringLiteral("/"));
  Files = new QFileSystemModel(this);
  Files->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot);
  TreeFolders = new QTreeView(this);
  TreeFolders->setModel(Folders);
  for (int column = 1; column < Folders->columnCount(); ++column) TreeFolders->hideColumn(column);
  TreeFolders->header()->hide();
  TreeFolders->setSelectionMode(QAbstractItemView::ExtendedSelection);
  TreeFolders->setToolTip(texts.GetLangText(9, 12));
  ListFiles = new QListView(this);
  ListFiles->setModel(Files);
  ListFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ListFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListFiles->setToolTip(texts.GetLangText(9, 11));
  EditPath = new QLineEdit(this);
  connect(TreeFolders, &QTreeView::clicked, this, [this](const QModelIndex& index) { ShowFolder(Folders->filePath(index)); });
  connect(EditPath, &QLineEdit::returnPressed, this, [this] { ShowFolder(EditPath->text()); });
  connect(ListFiles, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
    if (Files->isDir(index)) {
      ShowFolder(Files->filePath(index));
    } else if (add_) {
      add_({Files->filePath(index)});
    }
  });

  const auto button = [&](int caption, int hint) {
    auto* b = new QPushButton(texts.GetLangText(9, caption), this);
    b->setToolTip(texts.GetLangText(9, hint));
    return b;
  };
  QPushButton* add_button = button(3, 4);
  QPushButton* select_all = button(5, 6);
  QPushButton* select_none = button(7, 8);
  QPushButton* add_close = button(9, 10);
  QPushButton* close = button(13, 14);
  connect(add_button, &QPushButton::clicked, this, &TFormSelectFilesDirectories::AddChosen);
  connect(add_close, &QPushButton::clicked, this, [this] {
    AddChosen();
    accept();
  });
  connect(select_all, &QPushButton::clicked, ListFiles, &QListView::selectAll);
  connect(select_none, &QPushButton::clicked, ListFiles, &QListView::clearSelection);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);

  auto* splitter = new QSplitter(this);
  splitter->addWidget(TreeFolders);
  splitter->addWidget(ListFiles);
  splitter->setStretchFactor(1, 2);
  auto* layout = new QGridLayout(this);
  layout->addWidget(EditPath, 0, 0, 1, 5);
  layout->addWidget(splitter, 1, 0, 1, 5);
  layout->addWidget(add_button, 2, 0);
  layout->addWidget(select_all, 2, 1);
  layout->addWidget(select_none, 2, 2);
  layout->addWidget(add_close, 2, 3);
  layout->addWidget(close, 2, 4);

  resize(place.Width > 0 ? place.Width : 760, place.Height > 0 ? place.Height : 520);
  if (place.Top != 0 || place.Left != 0) {
    move(place.Left, place.Top);
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  ShowFolder(QDir(place.Folder).exists() && !place.Folder.isEmpty() ? place.Folder : QDir::homePath());
}

void TFormSelectFilesDirectories::ShowFolder(const QString& path) {
  if (!QDir(path).exists()) return;
  ListFiles->setRootIndex(Files->setRootPath(path));
  ListFiles->clearSelection();
  EditPath->setText(path);
  const QModelIndex folder = Folders->index(path);
  TreeFolders->setCurrentIndex(folder);
  TreeFolders->scrollTo(folder);
}

QStringList TFormSelectFilesDirectories::ChosenPaths() const {
  QStringList paths;
  for (const QModelIndex& index : ListFiles->selectionModel()->selectedIndexes()) paths.append(Files->filePath(index));
  if (paths.isEmpty()) {
    for (const QModelIndex& index : TreeFolders->selectionModel()->selectedIndexes()) {
      paths.append(Folders->filePath(index));
    }
  }
  return paths;
}

void TFormSelectFilesDirectories::AddChosen() {
  const QStringList paths = ChosenPaths();
  if (!paths.isEmpty() && add_) add_(paths);
}

TAddFilesPlace TFormSelectFilesDirectories::Place() const {
  return {EditPath->text(), y(), x(), height(), width()};
}
