#include "small/FormSelectFolder.h"

#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "language/language.h"

TFormSelectFolder::TFormSelectFolder(const qvr::lang::TLanguage& texts, const QString& start_folder, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("FormSelectFolder"));
  setWindowTitle(texts.GetLangText(24, 0));
  Model = new QFileSystemModel(this);
  Model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  Model->setRootPath(QStringLiteral("/"));
  Tree = new QTreeView(this);
  Tree->setModel(Model);
  for (int column = 1; column < Model->columnCount(); ++column) Tree->hideColumn(column);
  Tree->header()->hide();
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(texts.GetLangText(24, 1), QDialogButtonBox::AcceptRole);
  buttons->addButton(texts.GetLangText(24, 2), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &TFormSelectFolder::TakeSelected);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(Tree, &QTreeView::doubleClicked, this, &TFormSelectFolder::TakeSelected);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Tree);
  layout->addWidget(buttons);
  resize(420, 480);
  SelectFolder(start_folder);
}

void TFormSelectFolder::SelectFolder(const QString& path) {
  const QModelIndex index = Model->index(path);
  if (!index.isValid()) return;
  Tree->setCurrentIndex(index);
  Tree->scrollTo(index);
}

void TFormSelectFolder::TakeSelected() {
  const QModelIndex index = Tree->currentIndex();
  if (index.isValid()) result_ = Model->filePath(index);
  accept();
}
