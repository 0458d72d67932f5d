// Process start: one running program per user, a second start hands its
// command text over and ends; "INSTALLATION" as first parameter starts a
// second full instance.
#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QStringList>
#include <cstdio>

#include "FormMasterQVR.h"
#include "single_instance.h"
#include "termination_signals.h"

using namespace qvr::app;

namespace {

QString StartupCommandText(int argc, char** argv) {
  QStringList parameters;
  for (int i = 1; i < argc; ++i) parameters.append(QString::fromLocal8Bit(argv[i]));
  return parameters.join(QLatin1Char(' ')).trimmed();
}

int HandOver(int argc, char** argv, const QString& command_text) {
  QCoreApplication app(argc, argv);
  if (!HandOverToRunningInstance(InstanceName(), command_text)) {
    std::fprintf(stderr, "quorvella: another instance is running but did not take the command over\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const QString command_text = StartupCommandText(argc, argv);
  const bool installation = argc > 1 && QString::fromLocal8Bit(argv[1]) == QLatin1String("INSTALLATION");

  TInstanceLock lock;
  const bool first_instance = lock.TryAcquire();
  if (!first_instance && !installation) return HandOver(argc, argv, command_text);

  QApplication app(argc, argv);
  QCoreApplication::setOrganizationName(QStringLiteral("Quorvella"));
  QCoreApplication::setApplicationName(QStringLiteral("Quorvella"));
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Quorvella CD & DVD"));
  QGuiApplication::setQuitOnLastWindowClosed(false);

  TStartupOptions options;
  options.CommandText = command_text;
  TFormMasterQVR window(std::move(options));

  // Stopped from outside or by the end of the session: close as the user would.
  TTerminationSignals signals_to_close;
  QObject::connect(&signals_to_close, &TTerminationSignals::Received, &window, [&window] { window.close(); });
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                   [&window](QSessionManager&) { window.SaveConfiguration(); });
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window] { window.CloseSequence(); });

  // Only the first instance serves later starts; an "INSTALLATION" instance
  // started beside it serves none.
  TInstanceServer server([&window](quint32 message, const QByteArray& payload) {
    return window.HandleInstanceMessage(message, payload);
  });
  if (first_instance) server.Listen(InstanceName());

  return app.exec();
}
