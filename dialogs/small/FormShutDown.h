#pragma once
// The countdown before the computer is switched off after a job.

#include <QDialog>
#include <QStringList>
#include <functional>

class QLabel;
class QTimer;

namespace qvr::lang {
class TLanguage;
}

class TFormShutDown : public QDialog {
  Q_OBJECT
 public:
  // `command` is started without a shell at the end of the countdown;
  // `close_main` closes the main window for the shutdown; `show_main` brings it back.
  TFormShutDown(const qvr::lang::TLanguage& texts, QStringList command, std::function<void()> close_main,
                std::function<void()> show_main, QWidget* parent = nullptr);
  int SecondsRemaining() const { return counter_; }
  void Tick();
  void ShutdownNow();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* LabelSecondsRemaining;
  QTimer* Timer;
  QStringList command_;
  std::function<void()> close_main_, show_main_;
  int counter_ = 10;
};
