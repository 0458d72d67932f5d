#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the UI thread, so that
// a program stopped from outside closes like one closed by the user.

#include <QObject>

class QSocketNotifier;

namespace qvr::app {

class TTerminationSignals : public QObject {
  Q_OBJECT
 public:
  explicit TTerminationSignals(QObject* parent = nullptr);
  ~TTerminationSignals() override;

 Q_SIGNALS:
  void Received(int signal_number);

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace qvr::app
