#include "small/FormBrowser.h"

#include <QDesktopServices>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "language/language.h"

TFormBrowser::TFormBrowser(const qvr::lang::TLanguage& texts, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormBrowser"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowTitle(texts.GetLangText(5, 0));
  resize(630, 412);
  Browser = new QTextBrowser(this);
  Browser->setOpenLinks(false);
  Browser->setContextMenuPolicy(Qt::NoContextMenu);
  connect(Browser, &QTextBrowser::anchorClicked, this, [](const QUrl& url) { QDesktopServices::openUrl(url); });
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Browser);
}

void TFormBrowser::ShowPage(const QString& html, const QUrl& address) {
  Browser->document()->setBaseUrl(address);
  Browser->setHtml(html);
  const QString title = Browser->documentTitle();
  if (!title.isEmpty()) setWindowTitle(title);
}
