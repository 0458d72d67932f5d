// The main window's log: an HTML document in a text browser. Lines logged
// before the first show are collected and written in one piece when the
// window first appears. Links never navigate inside the log; they open in the
// user's web browser.
#include <QDesktopServices>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTime>
#include <QUrl>

#include "FormMasterQVR.h"
#include "app_log.h"
#include "log_text.h"

void TFormMasterQVR::LogMessage(const QString& text, bool no_break, bool with_time) {
  if (text.trimmed().isEmpty()) return;
  QString fragment;
  if (with_time) fragment = QTime::currentTime().toString(QStringLiteral("hh:mm:ss")) + QStringLiteral(" - ");
  fragment += text;
  if (!no_break) fragment += QStringLiteral("<br>");
  if (FirstShowPending) {
    PendingLogHtml += fragment;
  } else {
    WriteLogFragment(fragment);
  }
  qCInfo(lcApp).noquote() << "log:" << text;
}

void TFormMasterQVR::WriteLogFragment(const QString& fragment) {
  if (fragment.isEmpty()) return;
  LogDocumentHtml += fragment;
  if (!EmbeddedWBMemoWarning) return;
  QTextCursor cursor(EmbeddedWBMemoWarning->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertHtml(fragment);
  QScrollBar* bar = EmbeddedWBMemoWarning->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void TFormMasterQVR::StartLogDocument() {
  LogDocumentHtml = QStringLiteral("<body topmargin=\"2\" leftmargin=\"2\"><font size=\"2\">");
  if (!EmbeddedWBMemoWarning) return;
  EmbeddedWBMemoWarning->document()->setDocumentMargin(2);
  connect(EmbeddedWBMemoWarning, &QTextBrowser::anchorClicked, this, [](const QUrl& url) {
    const QString target = qvr::app::LogLinkTarget(url.toString());
    if (!target.isEmpty()) QDesktopServices::openUrl(QUrl(qvr::app::WebAddressOf(target)));
  });
}

void TFormMasterQVR::ShowHelpLink(const QString& code, int kind) {
  if (code.trimmed().isEmpty()) return;
  const QString address = qvr::app::HelpAddress(code, kind);
  LogMessage(QStringLiteral("<a href=\"qvrlink://%1\"><strong>%2</strong></a> %3<br>")
                 .arg(address.toHtmlEscaped(), GetLangText(11, 67), GetLangText(11, 68)),
             true, false);
}
