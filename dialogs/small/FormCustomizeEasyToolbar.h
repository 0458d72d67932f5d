#pragma once
// The editor of the easy toolbar: available buttons on the left, the current
// layout on the right, in order.

#include <QDialog>
#include <QIcon>
#include <functional>
#include <vector>

class QListWidget;

namespace qvr::lang {
class TLanguage;
}

struct TToolbarButton {
  int Tag;
  QString Caption;
  QIcon Icon;
};

class TFormCustomizeEasyToolbar : public QDialog {
  Q_OBJECT
 public:
  // `apply` receives the new layout (tags joined by ";") after every change.
  TFormCustomizeEasyToolbar(const qvr::lang::TLanguage& texts, std::vector<TToolbarButton> buttons,
                            const std::vector<int>& current, std::function<void(const QString&)> apply,
                            QWidget* parent = nullptr);
  void AddFocused();
  void RemoveFocused();
  void Reset();
  QString Layout() const;

 private:
  void Fill(const std::vector<int>& current);
  void Changed();
  QListWidget* ListAvailable;
  QListWidget* ListCurrent;
  std::vector<TToolbarButton> buttons_;
  std::function<void(const QString&)> apply_;
};
