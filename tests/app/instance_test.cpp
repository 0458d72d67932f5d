// Starts the program itself: a first instance, later starts handing their
// command text over, an "INSTALLATION" start beside it, and a restart after a
// crash.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QLocalSocket>
#include <QtEndian>
#include <atomic>
#include <thread>

#include "config/config_file.h"
#include "embedded_storage.h"
#include "language/language.h"
#include "single_instance.h"

namespace {

constexpr int kStartTimeoutMs = 30000;

class InstanceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  }
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    home_ = dir_.path() + "/home/";
    QDir().mkpath(home_);
    program_ = QStringLiteral(QVR_PROGRAM);
    ASSERT_TRUE(QFile::exists(program_)) << program_.toStdString();
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert("QUORVELLA_HOME", home_);
    env_.insert("XDG_CONFIG_HOME", dir_.path() + "/config");
    env_.insert("XDG_DATA_HOME", dir_.path() + "/data");
    env_.insert("QT_QPA_PLATFORM", "offscreen");
    env_.insert("QVR_STARTUP_ANSWERS", "ENGLISH,no");
    env_.insert("QT_LOGGING_RULES", "qvr.app.info=true");
    // The test talks to the instance under the same name as the processes.
    qputenv("QUORVELLA_HOME", home_.toLocal8Bit());
  }
  void TearDown() override {
    for (auto& p : processes_) {
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished();
      }
    }
    qunsetenv("QUORVELLA_HOME");
  }

  QProcess* Launch(const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env_);
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(program_, arguments);
    EXPECT_TRUE(process->waitForStarted());
    processes_.push_back(std::move(process));
    return processes_.back().get();
  }

  // Collects a process's stderr until it contains `text`.
  static bool WaitFor(QProcess* process, QByteArray& output, const QByteArray& text, int timeout_ms = kStartTimeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!output.contains(text)) {
      if (timer.elapsed() > timeout_ms || process->state() == QProcess::NotRunning) {
        output += process->readAllStandardError();
        return output.contains(text);
      }
      process->waitForReadyRead(100);
      output += process->readAllStandardError();
    }
    return true;
  }

  static void Stop(QProcess* process, int signal_number) {
    ::kill(static_cast<pid_t>(process->processId()), signal_number);
    ASSERT_TRUE(process->waitForFinished(kStartTimeoutMs));
  }

  QTemporaryDir dir_;
  QString home_;
  QString program_;
  QProcessEnvironment env_;
  std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(InstanceTest, SecondStartHandsItsCommandOverAndEnds) {
  QProcess* first = Launch({"FIRST"});
  QByteArray first_log;
  ASSERT_TRUE(WaitFor(first, first_log, "main window ready")) << first_log.toStdString();
  ASSERT_TRUE(WaitFor(first, first_log, "command text 5 characters: FIRST"));

  qvr::app::TInstanceClient client;
  ASSERT_TRUE(client.Connect(qvr::app::InstanceName(), 5000));
  quint32 answer = 0;
  ASSERT_TRUE(client.Send(qvr::app::kMsgQueryInstance, {}, answer));
  EXPECT_EQ(answer, qvr::app::kInstanceAnswer);

  // Far beyond what a global atom could carry, and with characters beyond ASCII.
  const QString long_path = "/media/Fotos " + QString(30000, QChar(u'ß'));
  QProcess* second = Launch({"A", long_path});
  QElapsedTimer timer;
  timer.start();
  while (!second->waitForFinished(10) && timer.elapsed() < kStartTimeoutMs) {
    first->waitForReadyRead(10);  // keeps the first instance's pipe from filling up
    first_log += first->readAllStandardError();
  }
  ASSERT_EQ(second->state(), QProcess::NotRunning) << second->readAllStandardError().toStdString() << first_log.right(300).toStdString();
  EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_FALSE(second->readAllStandardError().contains("main window ready"));
  // The hand-over is synchronous: the first instance has processed the text
  // before the second one ended.
  const QString expected = QString("command text %1 characters: A ").arg(2 + long_path.size()) + long_path;
  EXPECT_TRUE(WaitFor(first, first_log, expected.toUtf8(), 2000));

  // "INSTALLATION" starts a second full instance beside the first.
  QProcess* installation = Launch({"INSTALLATION"});
  QByteArray installation_log;
  EXPECT_TRUE(WaitFor(installation, installation_log, "main window ready")) << installation_log.toStdString();
  Stop(installation, SIGTERM);
  EXPECT_EQ(installation->exitCode(), 0);

  QFile(home_ + "temp/work.tmp").open(QIODevice::WriteOnly);
  Stop(first, SIGTERM);
  EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first->exitCode(), 0);

  // Closed by a signal exactly as by the user.
  qvr::config::TConfigTable table;
  ASSERT_EQ(qvr::config::LoadConfigFile(QString(home_ + "QUORVELLA.CFG").toStdString(), table),
            qvr::config::TConfigLoadResult::Loaded);
  std::string language;
  EXPECT_TRUE(table.ReadConfigValue("0.4", language));
  EXPECT_EQ(language, "ENGLISH");
  EXPECT_TRUE(QDir(home_ + "temp").exists());
  EXPECT_TRUE(QDir(home_ + "queue").exists());
  EXPECT_FALSE(QFile::exists(home_ + "temp/work.tmp"));
  qvr::lang::TLanguage english(qvr::app::EmbeddedFileStorage(), home_ + "languages/");
  english.LoadTextTables();
  QFile english_file(home_ + "languages/ENGLISH.INI");
  ASSERT_TRUE(english_file.open(QIODevice::ReadOnly));
  EXPECT_EQ(english_file.readAll(), english.EnglishTexts().Normalised().toUtf8());
}

TEST_F(InstanceTest, StartAfterACrashedInstanceBecomesTheFirstInstance) {
  QProcess* crashed = Launch({});
  QByteArray log;
  ASSERT_TRUE(WaitFor(crashed, log, "main window ready")) << log.toStdString();
  Stop(crashed, SIGKILL);

  QProcess* next = Launch({"AGAIN"});
  QByteArray next_log;
  EXPECT_TRUE(WaitFor(next, next_log, "command text 5 characters: AGAIN")) << next_log.toStdString();
  Stop(next, SIGINT);
  EXPECT_EQ(next->exitCode(), 0);
}

// In one process: the server on this thread, clients on another.
TEST_F(InstanceTest, ServerAnswersInOrderAndDropsOversizedFrames) {
  const QString name = qvr::app::InstanceName() + "-unit";
  QStringList handled;
  qvr::app::TInstanceServer server([&](quint32 message, const QByteArray& payload) -> quint32 {
    handled.append(QString::number(message, 16) + ":" + QString::fromUtf8(payload));
    return message == qvr::app::kMsgQueryInstance ? qvr::app::kInstanceAnswer : 7;
  });
  ASSERT_TRUE(server.Listen(name));

  std::atomic<bool> done{false};
  std::vector<quint32> answers;
  bool oversized_refused = false;
  std::thread clients([&] {
    {
      QLocalSocket raw;
      raw.connectToServer(name);
      if (raw.waitForConnected(5000)) {
        QByteArray header(8, '\0');
        qToLittleEndian<quint32>(qvr::app::kMsgCommandText, header.data());
        qToLittleEndian<quint32>(0xFFFFFFFFu, header.data() + 4);
        raw.write(header);
        raw.waitForBytesWritten(5000);
        oversized_refused = !raw.waitForReadyRead(5000) && raw.state() != QLocalSocket::ConnectedState;
      }
    }
    qvr::app::TInstanceClient client;
    if (client.Connect(name, 5000)) {
      for (auto [message, text] : {std::pair{qvr::app::kMsgQueryInstance, ""}, std::pair{qvr::app::kMsgCommandText, "a b"}}) {
        quint32 answer = 0;
        if (client.Send(message, text, answer)) answers.push_back(answer);
      }
    }
    done = true;
  });
  QElapsedTimer timer;
  timer.start();
  while (!done && timer.elapsed() < kStartTimeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  clients.join();
  EXPECT_TRUE(oversized_refused);
  EXPECT_EQ(answers, (std::vector<quint32>{qvr::app::kInstanceAnswer, 7}));
  EXPECT_EQ(handled, QStringList({"80c9:", "80cb:a b"}));
}

}  // namespace
