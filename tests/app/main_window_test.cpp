#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QSettings>
#include <QTemporaryDir>

#include "FormMasterQVR.h"
#include "config/config_file.h"
#include "embedded_storage.h"
#include "single_instance.h"

namespace {

class CountingQuestions : public qvr::app::TStartupQuestions {
 public:
  CountingQuestions(QString language, bool answer, int* languages, int* questions)
      : language_(std::move(language)), answer_(answer), languages_(languages), questions_(questions) {}
  QString ChooseLanguage(const QStringList&, const QString&) override {
    ++*languages_;
    return language_;
  }
  bool AskYesNo(const QString&, const QString& text) override {
    ++*questions_;
    asked_.append(text);
    return answer_;
  }
  QStringList asked_;

 private:
  QString language_;
  bool answer_;
  int* languages_;
  int* questions_;
};

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    home_ = dir_.path() + "/home/";
    qputenv("QUORVELLA_HOME", home_.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (dir_.path() + "/config").toLocal8Bit());
    // QSettings reads the configuration home once per process; point it here for each test.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path() + "/config");
    qputenv("XDG_DATA_HOME", (dir_.path() + "/data").toLocal8Bit());
  }
  void TearDown() override { qunsetenv("QUORVELLA_HOME"); }

  std::unique_ptr<TFormMasterQVR> Start(QString language = "ENGLISH", bool answer = false) {
    TStartupOptions options;
    auto questions = std::make_unique<CountingQuestions>(std::move(language), answer, &languages_, &questions_);
    questions_asked_ = questions.get();
    options.Questions = std::move(questions);
    return std::make_unique<TFormMasterQVR>(std::move(options));
  }
  std::string Stored(const std::string& key) {
    qvr::config::TConfigTable table;
    if (qvr::config::LoadConfigFile(QString(home_ + "QUORVELLA.CFG").toStdString(), table) !=
        qvr::config::TConfigLoadResult::Loaded) {
      return "<no file>";
    }
    std::string value;
    return table.ReadConfigValue(key, value) ? value : "<missing>";
  }
  static QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }
  static void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  QTemporaryDir dir_;
  QString home_;
  int languages_ = 0;
  int questions_ = 0;
  CountingQuestions* questions_asked_ = nullptr;
};

TEST_F(MainWindowTest, FirstStartThenCloseLeavesConfigurationEnglishFileAndWorkFolders) {
  auto window = Start("ENGLISH", true);
  EXPECT_TRUE(window->IsFirstRun());
  EXPECT_EQ(languages_, 1);
  ASSERT_EQ(questions_, 1);
  EXPECT_TRUE(questions_asked_->asked_[0].startsWith("Quorvella can automatically check for updates.\r\nIf you choose YES"));
  EXPECT_EQ(window->windowTitle(), "Quorvella CD & DVD - DRIVE NOT FOUND");
  EXPECT_EQ(window->findChild<QLabel*>("StatusBarPanel2")->text(), "Quorvella ready!!!");
  EXPECT_GE(window->width(), 700);
  EXPECT_GE(window->height(), 480);

  Write(home_ + "temp/leftover.tmp", "x");
  Write(home_ + "wav/track.wav", "x");
  window->close();

  EXPECT_EQ(Stored("0.15"), "1");  // Yes to the update question
  EXPECT_EQ(Stored("0.4"), "ENGLISH");
  EXPECT_EQ(Stored("0.13"), "0.1.0.0");
  EXPECT_EQ(Stored("1.34"), QString(home_ + "wav/").toStdString());
  EXPECT_TRUE(QDir(home_ + "temp").exists());
  EXPECT_TRUE(QDir(home_ + "queue").exists());
  EXPECT_FALSE(QFile::exists(home_ + "temp/leftover.tmp"));
  EXPECT_FALSE(QFile::exists(home_ + "wav/track.wav"));

  qvr::lang::TLanguage english(qvr::app::EmbeddedFileStorage(), home_ + "languages/");
  english.LoadTextTables();
  const QByteArray normalised = english.EnglishTexts().Normalised().toUtf8();
  EXPECT_EQ(Read(home_ + "languages/ENGLISH.INI"), normalised);
  EXPECT_TRUE(normalised.startsWith("[1]\r\n//dialogs message\r\n0=Invalid name \"<#value>\"!!!\r\n"));

  QSettings settings("Quorvella", "Quorvella");
  EXPECT_EQ(settings.value("CurrentLanguage").toString(), home_ + "languages/ENGLISH.ini");
  EXPECT_FALSE(settings.value("QuorvellaPath").toString().isEmpty());
  EXPECT_TRUE(QFile::exists(dir_.path() + "/data/applications/quorvella.desktop"));
}

TEST_F(MainWindowTest, LaterStartKeepsSettingsAndRewritesEnglishFile) {
  Start()->close();
  ASSERT_EQ(languages_, 1);
  Write(home_ + "languages/ENGLISH.INI", "edited by hand");

  auto window = Start();
  EXPECT_FALSE(window->IsFirstRun());
  EXPECT_EQ(languages_, 1);  // no language question after the first start
  EXPECT_EQ(questions_, 1);
  EXPECT_TRUE(Read(home_ + "languages/ENGLISH.INI").startsWith("[1]\r\n"));

  EXPECT_EQ(window->HandleInstanceMessage(qvr::app::kMsgQueryInstance, {}), qvr::app::kInstanceAnswer);
  EXPECT_EQ(window->HandleInstanceMessage(qvr::app::kMsgCommandText, "A /tmp/list.txt"), 1u);
  EXPECT_TRUE(window->LogHtml().contains("A /tmp/list.txt"));
  window->close();
}

TEST_F(MainWindowTest, UnreadableConfigurationIsAFirstStartAndIsReplaced) {
  QDir().mkpath(home_);
  Write(home_ + "QUORVELLA.CFG", "an old binary stream the program cannot read");
  auto window = Start();
  EXPECT_TRUE(window->IsFirstRun());
  EXPECT_NE(Stored("0.4"), "<no file>");  // replaced by a readable file at once
  window->close();
  EXPECT_EQ(Stored("0.4"), "ENGLISH");
}

TEST_F(MainWindowTest, DonationQuestionAfterTheFifthBurnIsAskedOnce) {
  Start()->close();
  qvr::config::TConfigTable table;
  const std::string path = QString(home_ + "QUORVELLA.CFG").toStdString();
  ASSERT_EQ(qvr::config::LoadConfigFile(path, table), qvr::config::TConfigLoadResult::Loaded);
  table.WriteConfigValue("0.5", "3");
  table.WriteConfigValue("0.6", "2");
  ASSERT_TRUE(qvr::config::SaveConfigFile(path, table));

  questions_ = 0;
  Start()->close();
  EXPECT_EQ(questions_, 1);
  EXPECT_EQ(Stored("0.10"), "1");
  Start()->close();
  EXPECT_EQ(questions_, 1);
}

TEST_F(MainWindowTest, TrayNumberIconAndScreenCursor) {
  auto window = Start();
  window->SetTrayIconNumber(42, 0x0000FF);  // red, stored as 0x00BBGGRR
  const QImage image = window->TrayIcon()->icon().pixmap(16, 16).toImage();
  int red = 0, other = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() == 0) continue;
      (c.red() > 128 && c.green() < 100 && c.blue() < 100 ? red : other)++;
    }
  }
  EXPECT_GT(red, 10);  // the digits, in the colour asked for, on a transparent ground
  EXPECT_LT(other, red);
  window->SetTrayIconNumber(-2, 0);
  EXPECT_TRUE(window->TrayIcon()->icon().isNull());

  window->SetScreenCursor(-11);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  window->SetScreenCursor(-1);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  window->close();
}

}  // namespace
