#pragma once
// A small window that shows one page. Links clicked in it open in the user's
// web browser; the window itself stays on its page.

#include <QDialog>
#include <QUrl>

class QTextBrowser;

namespace qvr::lang {
class TLanguage;
}

class TFormBrowser : public QDialog {
  Q_OBJECT
 public:
  TFormBrowser(const qvr::lang::TLanguage& texts, QWidget* parent = nullptr);
  // Shows an HTML page (the answer of a post, or a local page).
  void ShowPage(const QString& html, const QUrl& address);

 private:
  QTextBrowser* Browser;
};
