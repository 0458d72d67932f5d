#include "small/FormProperties.h"

#include <QDesktopServices>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "language/language.h"

TFormProperties::TFormProperties(const qvr::lang::TLanguage& texts, const TItemProperties& item, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("FormProperties"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(item.Name);
  auto* layout = new QFormLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(item.Icon.pixmap(32, 32));
  auto* name = new QLabel(QStringLiteral("<b>%1</b>").arg(item.Name.toHtmlEscaped()), this);
  name->setObjectName(QStringLiteral("LabelName"));
  layout->addRow(icon, name);
  const auto add = [&](int key, const QString& value, const char* object) {
    auto* label = new QLabel(value, this);
    label->setObjectName(QLatin1String(object));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addRow(texts.GetLangText(4, key) + QLatin1Char(':'), label);
    return label;
  };
  add(5, item.Name, "LabelCompilationName");
  add(4, item.TypeName, "LabelType");
  add(0, item.HasSource ? item.Path : texts.GetLangText(4, 3), "LabelPath")->setToolTip(item.Path);
  add(6, item.Sizes, "LabelSize");
  add(7, item.Modified, "LabelModified");
  add(8, item.Attributes, "LabelAttributes");
  if (item.IsFolder) {
    add(9, QString::number(item.Files), "LabelFiles");
    add(10, QString::number(item.Folders), "LabelFolders");
  } else if (item.HasSource) {
    auto* run = new QPushButton(texts.GetLangText(4, 1), this);
    run->setObjectName(QStringLiteral("LabelRun"));
    run->setToolTip(texts.GetLangText(4, 2));
    const QString path = item.Path;
    connect(run, &QPushButton::clicked, this, [path] { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
    layout->addRow(run);
  }
  adjustSize();
}
