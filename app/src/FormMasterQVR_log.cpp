// The main window's log. Lines are kept as HTML; before the first show they
// are collected and written in one piece when the window first appears.
#include <QTime>

#include "FormMasterQVR.h"
#include "app_log.h"

void TFormMasterQVR::LogMessage(const QString& text, bool no_break, bool with_time) {
  if (text.trimmed().isEmpty()) return;
  QString fragment;
  if (with_time) fragment = QTime::currentTime().toString(QStringLiteral("hh:mm:ss")) + QStringLiteral(" - ");
  fragment += text;
  if (!no_break) fragment += QStringLiteral("<br>");
  if (FirstShowPending) {
    PendingLogHtml += fragment;
  } else {
    LogDocumentHtml += fragment;
  }
  qCInfo(lcApp).noquote() << "log:" << text;
}

void TFormMasterQVR::StartLogDocument() {
  LogDocumentHtml = QStringLiteral("<body topmargin=\"2\" leftmargin=\"2\"><font size=\"2\">");
}
