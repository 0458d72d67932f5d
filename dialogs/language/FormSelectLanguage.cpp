#include "language/FormSelectLanguage.h"

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TFormSelectLanguage::TFormSelectLanguage(QStringList languages, const QString& preselected, QWidget* parent)
    : QDialog(parent), ListBox(new QListWidget(this)) {
  setObjectName(QStringLiteral("FormSelectLanguage"));
  setWindowTitle(QStringLiteral("Select your Language"));
  ListBox->setObjectName(QStringLiteral("ListBox"));
  languages.sort();
  ListBox->addItems(languages);
  const auto matches = ListBox->findItems(preselected, Qt::MatchExactly);
  if (!matches.isEmpty()) ListBox->setCurrentItem(matches.first());

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("ButtonOK"));
  ok->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ListBox);
  layout->addWidget(ok);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(ListBox, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

QString TFormSelectLanguage::SelectedLanguage() const {
  const QListWidgetItem* item = ListBox->currentItem();
  return item && item->isSelected() ? item->text() : QString();
}
