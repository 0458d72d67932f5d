#include "small/FormCustomizeEasyToolbar.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>

#include "language/language.h"

namespace {
constexpr const char* kDefaultLayout = "2;3;7;32;0;1;9;10;22;24;34;21;11";

void MoveFocusedLine(QListWidget* from, QListWidget* to) {
  QListWidgetItem* item = from->currentItem();
  if (!item) return;
  const int insert_at = to->currentRow() >= 0 ? to->currentRow() + 1 : to->count();
  to->insertItem(insert_at, from->takeItem(from->row(item)));
  to->setCurrentRow(insert_at);
}
}  // namespace

TFormCustomizeEasyToolbar::TFormCustomizeEasyToolbar(const qvr::lang::TLanguage& texts,
                                                     std::vector<TToolbarButton> buttons,
                                                     const std::vector<int>& current,
                                                     std::function<void(const QString&)> apply, QWidget* parent)
    : QDialog(parent), buttons_(std::move(buttons)), apply_(std::move(apply)) {
  setObjectName(QStringLiteral("FormCustomizeEasyToolbar"));
  setWindowTitle(texts.GetLangText(25, 0));
  ListAvailable = new QListWidget(this);
  ListAvailable->setObjectName(QStringLiteral("ListAvailable"));
  ListCurrent = new QListWidget(this);
  ListCurrent->setObjectName(QStringLiteral("ListCurrent"));
  ListCurrent->setDragDropMode(QAbstractItemView::InternalMove);
  for (QListWidget* list : {ListAvailable, ListCurrent}) list->setIconSize(QSize(24, 24));
  auto* add = new QPushButton(texts.GetLangText(25, 3), this);
  auto* remove = new QPushButton(texts.GetLangText(25, 4), this);
  auto* reset = new QPushButton(texts.GetLangText(25, 6), this);
  auto* close = new QPushButton(texts.GetLangText(25, 5), this);
  connect(add, &QPushButton::clicked, this, &TFormCustomizeEasyToolbar::AddFocused);
  connect(remove, &QPushButton::clicked, this, &TFormCustomizeEasyToolbar::RemoveFocused);
  connect(reset, &QPushButton::clicked, this, &TFormCustomizeEasyToolbar::Reset);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(ListAvailable, &QListWidget::itemDoubleClicked, this, &TFormCustomizeEasyToolbar::AddFocused);
  connect(ListCurrent, &QListWidget::itemDoubleClicked, this, &TFormCustomizeEasyToolbar::RemoveFocused);
  connect(ListCurrent->model(), &QAbstractItemModel::rowsMoved, this, &TFormCustomizeEasyToolbar::Changed);

  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(texts.GetLangText(25, 1), this), 0, 0);
  layout->addWidget(new QLabel(texts.GetLangText(25, 2), this), 0, 2);
  layout->addWidget(ListAvailable, 1, 0, 4, 1);
  layout->addWidget(ListCurrent, 1, 2, 4, 1);
  layout->addWidget(add, 1, 1);
  layout->addWidget(remove, 2, 1);
  layout->addWidget(reset, 3, 1, Qt::AlignTop);
  layout->addWidget(close, 5, 2, Qt::AlignRight);
  resize(560, 420);
  Fill(current);
}

void TFormCustomizeEasyToolbar::Fill(const std::vector<int>& current) {
  ListAvailable->clear();
  ListCurrent->clear();
  const auto line = [](const TToolbarButton& button) {
    auto* item = new QListWidgetItem(button.Icon, button.Caption);
    item->setData(Qt::UserRole, button.Tag);
    return item;
  };
  for (int tag : current) {
    for (const TToolbarButton& button : buttons_) {
      if (button.Tag == tag) ListCurrent->addItem(line(button));
    }
  }
  for (const TToolbarButton& button : buttons_) {
    if (std::find(current.begin(), current.end(), button.Tag) == current.end()) ListAvailable->addItem(line(button));
  }
}

QString TFormCustomizeEasyToolbar::Layout() const {
  QStringList tags;
  for (int i = 0; i < ListCurrent->count(); ++i) tags.append(ListCurrent->item(i)->data(Qt::UserRole).toString());
  return tags.join(QLatin1Char(';'));
}

void TFormCustomizeEasyToolbar::Changed() {
  if (apply_) apply_(Layout());
}

void TFormCustomizeEasyToolbar::AddFocused() {
  MoveFocusedLine(ListAvailable, ListCurrent);
  Changed();
}

void TFormCustomizeEasyToolbar::RemoveFocused() {
  MoveFocusedLine(ListCurrent, ListAvailable);
  Changed();
}

void TFormCustomizeEasyToolbar::Reset() {
  std::vector<int> tags;
  for (const QString& entry : QString::fromLatin1(kDefaultLayout).split(QLatin1Char(';'))) tags.push_back(entry.toInt());
  if (apply_) apply_(QString::fromLatin1(kDefaultLayout));
  Fill(tags);
}
