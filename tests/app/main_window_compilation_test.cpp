// The main window around the compilation: toolbar layouts, confirmations,
// drops, playlists, the volume name box in projects, the log and the actions.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QDialog>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>

#include "FormMasterQVR.h"
#include "compilation/queue_model.h"

using namespace qvr::app;

namespace {
QString Names(const TQueueNode* node) {
  QStringList names;
  for (const auto& child : node->Children) names.append(child->Item.Name);
  return names.join(',');
}
}  // namespace

class MainWindowCompilationTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TFormMasterQVR> window_;
  QStringList messages_;

  QString MakeFile(const QString& name, qint64 size = 10) {
    const QString path = dir_.path() + "/src/" + name;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.resize(size);
    return path;
  }
  QStringList ToolbarCaptions() const {
    QStringList captions;
    for (QAction* action : window_->EasyToolbar()->actions()) captions.append(action->text());
    return captions;
  }

 private Q_SLOTS:
  void initTestCase() {
    qputenv("QUORVELLA_HOME", (dir_.path() + "/home/").toLocal8Bit());
    qputenv("QVR_STARTUP_ANSWERS", "ENGLISH,no");
    qputenv("XDG_DATA_HOME", (dir_.path() + "/data").toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path() + "/config");
  }
  void init() {
    window_ = std::make_unique<TFormMasterQVR>();
    messages_.clear();
    window_->MessageSink = [this](const QString& text) { messages_.append(text); };
  }
  void cleanup() {
    window_->CloseSequence();
    window_.reset();
  }

  void toolbarLayouts_data() {
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("captions");
    QTest::newRow("default, 21 matches nothing")
        << "2;3;7;32;0;1;9;10;22;24;34;21;11"
        << QStringList{"Burn Data", "Burn Audio", "Erase",  "New",    "Fly Window", "Add",
                       "Eject",     "Load",       "Delete Selected", "Rename", "Paste", "Preferences"};
    QTest::newRow("a non-number is skipped") << "5;x;2" << QStringList{"Build ISO", "Burn Data"};
    QTest::newRow("empty hides every button") << "" << QStringList{};
  }
  void toolbarLayouts() {
    QFETCH(QString, layout);
    QFETCH(QStringList, captions);
    window_->ApplyToolbarLayout(layout);
    QCOMPARE(ToolbarCaptions(), captions);
  }

  void firstShowAppliesTheConfiguredLayout() {
    QCOMPARE(window_->ToolbarTags(), (std::vector<int>{2, 3, 7, 32, 0, 1, 9, 10, 22, 24, 34, 11}));
  }

  void deleteAllConfirmation_data() {
    QTest::addColumn<bool>("dontAsk");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<bool>("dontAskAfter");
    QTest::newRow("yes") << false << int(TWarningAnswer::Yes) << false << true << true << false;
    QTest::newRow("no") << false << int(TWarningAnswer::No) << false << true << false << false;
    QTest::newRow("no with the box ticked") << false << int(TWarningAnswer::No) << true << true << false << true;
    QTest::newRow("closed") << false << int(TWarningAnswer::Closed) << false << true << false << false;
    QTest::newRow("flag set: no question") << true << int(TWarningAnswer::No) << false << false << true << true;
  }
  void deleteAllConfirmation() {
    QFETCH(bool, dontAsk);
    QFETCH(int, answer);
    QFETCH(bool, tick);
    QFETCH(bool, asked);
    QFETCH(bool, deleted);
    QFETCH(bool, dontAskAfter);
    auto& keys = window_->Settings().Confirmations[qvr::config::kConfirmDeleteAll];
    keys = {dontAsk, false, true};
    int questions = 0;
    window_->SetConfirmAnswerer([&](const QString& caption, const QString& message, bool& box) {
      ++questions;
      if (caption != "Confirm Delete All" || message != "Delete All items?") return TWarningAnswer::Cancel;
      box = tick;
      return TWarningAnswer(answer);
    });
    window_->AddQueuePath("/nowhere/a.txt", nullptr, 100);
    window_->ActionDeleteAllExecute();
    QCOMPARE(questions, asked ? 1 : 0);
    QCOMPARE(window_->Compilation().Empty(), deleted);
    QCOMPARE(keys.DontAsk, dontAskAfter);
    // A ticked box means the next Delete All goes on without asking, whatever was answered.
    if (keys.DontAsk) {
      window_->AddQueuePath("/nowhere/b.txt", nullptr, 100);
      window_->ActionDeleteAllExecute();
      QCOMPARE(questions, asked ? 1 : 0);
      QVERIFY(window_->Compilation().Empty());
    }
  }

  void shellDropsLandAtTheTopLevelInDropOrder() {
    TQueueNode* folder = nullptr;
    window_->Compilation().CreateFolder(nullptr, "target", "folder", 45000, &folder);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(MakeFile("A")), QUrl::fromLocalFile(MakeFile("B")),
                  QUrl::fromLocalFile(MakeFile("C"))});
    TQueueModel* model = window_->QueueModel();
    QVERIFY(model->dropMimeData(&data, Qt::CopyAction, -1, 0, model->IndexOf(folder)));
    QTRY_COMPARE(Names(window_->Compilation().Root()), QString("target,B,C,A"));
    QVERIFY(folder->Children.empty());
    QVERIFY(window_->LogHtml().contains("Total files/folders ( 4 )"));
  }

  void playlistsGoToTheirHandler_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("playlists");
    QTest::newRow("two playlists") << QStringList{"one.m3u", "two.ASX"} << true;
    QTest::newRow("a playlist and a text file") << QStringList{"one.m3u", "notes.txt"} << false;
  }
  void playlistsGoToTheirHandler() {
    QFETCH(QStringList, files);
    QFETCH(bool, playlists);
    QStringList handed;
    window_->SetPlaylistHandler([&](const QStringList& paths) { return handed = paths, true; });
    QStringList paths;
    for (const QString& file : files) paths.append(MakeFile(file));
    window_->AddPathList(paths, true);
    QCOMPARE(handed, playlists ? paths : QStringList{});
    QCOMPARE(window_->Compilation().CountFileItems(), playlists ? 0 : 2);
  }

  void projectKeepsTheVolumeNameBoxWhenItsNameIsEmpty_data() {
    QTest::addColumn<QString>("saved");
    QTest::addColumn<QString>("expected");
    QTest::newRow("named") << "Holiday" << "Holiday";
    QTest::newRow("empty keeps the box") << "" << "Backup";
  }
  void projectKeepsTheVolumeNameBoxWhenItsNameIsEmpty() {
    QFETCH(QString, saved);
    QFETCH(QString, expected);
    window_->SetAudioDurationProvider([](const QString& path) { return path.endsWith(".wav") ? 90.0 : -1; });
    window_->AddPathList({MakeFile("song.wav", 2000), MakeFile("data.bin", 3000)}, false);
    window_->VolumeNameBox()->setText(saved);
    const QString project = dir_.path() + "/p.qvr";
    QVERIFY(window_->SaveProject(project));
    window_->NewProject();
    window_->VolumeNameBox()->setText("Backup");
    window_->AddQueuePath("/nowhere/replaced.txt", nullptr, 10);
    QVERIFY(window_->LoadProject(project));
    QCOMPARE(window_->VolumeNameBox()->text(), expected);
    QCOMPARE(Names(window_->Compilation().Root()), QString("data.bin,song.wav"));
    QCOMPARE(window_->Compilation().TotalDuration(), 90.0);
    QVERIFY(window_->Action("ActionBurnAudio")->isEnabled());
    QCOMPARE(window_->Action("ActionBurn")->text(), QString("Burn Data or MP3 files"));
    // A file that is no project changes nothing.
    QVERIFY(!window_->LoadProject(dir_.path() + "/src/data.bin"));
    QCOMPARE(Names(window_->Compilation().Root()), QString("data.bin,song.wav"));
  }

  void logEscapesValuesButKeepsMarkupOfTexts() {
    const QString big = MakeFile("<b>huge</b>.iso", 4294967297LL);
    window_->AddPathList({big}, false);
    const QString html = window_->LogHtml();
    QVERIFY2(html.contains("Error File: \"" + big.toHtmlEscaped() + "\" is larger"), qPrintable(html));
    QVERIFY(!html.contains("<b>huge</b>"));
    window_->LogMessage("plain <b>bold</b>");
    QVERIFY(window_->LogHtml().endsWith(" - plain <b>bold</b><br>"));
    QVERIFY(window_->LogBrowser()->toPlainText().contains("plain bold"));
  }

  void helpLinks_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("part");
    QTest::newRow("blank is encoded") << "a b" << 1 << "=a%20b&amp;s_fo=1&amp;s_newsf=36&amp;";
    QTest::newRow("unknown kind is general") << "x#<" << 9 << "=x%23%3C&amp;s_fo=1&amp;s_newsf=38&amp;";
    QTest::newRow("blank code adds nothing") << "   " << 0 << "";
  }
  void helpLinks() {
    QFETCH(QString, code);
    QFETCH(int, kind);
    QFETCH(QString, part);
    const QString before = window_->LogHtml();
    window_->ShowHelpLink(code, kind);
    const QString added = window_->LogHtml().mid(before.size());
    if (part.isEmpty()) {
      QVERIFY(added.isEmpty());
      return;
    }
    QVERIFY2(added.startsWith("<a href=\"qvrlink://") && added.contains(part), qPrintable(added));
    QVERIFY(added.endsWith("Click here for an HELP</strong></a> (open web page)<br>"));
  }

  void actionsFollowTheTree() {
    QVERIFY(!window_->Action("ActionBurn")->isEnabled());
    QVERIFY(window_->Action("ActionNewFolder")->isEnabled());
    window_->Compilation().CreateFolder(nullptr, "only folders", "folder", 45000);
    window_->UpdateActions(true);
    QVERIFY(!window_->Action("ActionBurn")->isEnabled());
    window_->AddQueuePath("/nowhere/file.txt", nullptr, 100);
    window_->UpdateActions(false);
    QVERIFY(window_->Action("ActionBurn")->isEnabled());
    QVERIFY(!window_->Action("ActionBurnAudio")->isEnabled());
    QCOMPARE(window_->Action("ActionBurn")->text(), QString("Burn Data"));
    QCOMPARE(window_->StatusPanelText(1), QString("Some files aren't AUDIO files"));
    QVERIFY(window_->StatusPanelText(0).startsWith("Total size 1 KB"));
    // Hiding the log swaps the two log actions.
    QVERIFY(window_->Action("ActionHideLog")->isVisible() && !window_->Action("ActionShowLog")->isVisible());
    window_->Action("ActionHideLog")->trigger();
    QVERIFY(!window_->Action("ActionHideLog")->isVisible() && window_->Action("ActionShowLog")->isVisible());
  }

  void renameRefusalsShowTheirTexts() {
    window_->AddQueuePath(MakeFile("one.txt"));
    window_->AddQueuePath(MakeFile("two.txt"));
    TQueueModel* model = window_->QueueModel();
    const QModelIndex one = model->index(0, 0);
    QVERIFY(!model->setData(one, "x|y", Qt::EditRole));
    QVERIFY(!model->setData(one, "TWO.txt", Qt::EditRole));
    QCOMPARE(messages_, QStringList({"Invalid name \"x|y\"!!!", "Name \"TWO.txt\" already exists!!!"}));
    QVERIFY(model->setData(one, "three.txt", Qt::EditRole));
    QCOMPARE(model->data(one, Qt::DisplayRole).toString(), QString("three.txt"));
    QCOMPARE(model->data(model->index(0, kColumnAttributes), Qt::DisplayRole).toString(), QString("A"));
  }

  void itemsWhoseSourceIsGoneLeaveWhenFirstShown() {
    window_->AddQueuePath(MakeFile("kept.txt"));
    window_->AddQueuePath("/nowhere/gone.txt", nullptr, 10);
    TQueueModel* model = window_->QueueModel();
    QCOMPARE(model->data(model->index(1, 0), Qt::DisplayRole).toString(), QString());
    QTRY_COMPARE(Names(window_->Compilation().Root()), QString("kept.txt"));
  }

  void pasteAddsTheClipboardFileList() {
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(MakeFile("p1")), QUrl::fromLocalFile(MakeFile("p2")),
                   QUrl("https://example.org/not-a-file")});
    QGuiApplication::clipboard()->setMimeData(data);
    QVERIFY(TFormMasterQVR::ClipboardHasFileList());
    window_->ActionPasteExecute();
    QCOMPARE(Names(window_->Compilation().Root()), QString("p2,p1"));
    QGuiApplication::clipboard()->setText("plain text");
    QVERIFY(!TFormMasterQVR::ClipboardHasFileList());
  }

  void headerClicksSortByName() {
    for (const char* name : {"b.txt", "A.txt", "c.txt"}) window_->AddQueuePath(MakeFile(name));
    TCompilation& queue = window_->Compilation();
    TCompilation::ForEach(queue.Root(), [](const TQueueNode& node) {
      return const_cast<TQueueNode&>(node).Item.InfoLoaded = true;
    });
    QHeaderView* header = window_->QueueView()->header();
    const auto click = [&](int section) { Q_EMIT header->sectionClicked(section); };
    click(kColumnName);  // the mark only
    QCOMPARE(Names(queue.Root()), QString("b.txt,A.txt,c.txt"));
    click(kColumnName);  // reversed and sorted
    QCOMPARE(Names(queue.Root()), QString("c.txt,b.txt,A.txt"));
    click(kColumnName);
    QCOMPARE(Names(queue.Root()), QString("A.txt,b.txt,c.txt"));
    click(kColumnSize);  // another column clears the sort column
    click(kColumnName);
    QCOMPARE(Names(queue.Root()), QString("A.txt,b.txt,c.txt"));
  }

  void propertiesShowEveryUnitAndFolderCounts() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString folder = QFileInfo(MakeFile("props/inner/a.bin", 1536)).path();
    MakeFile("props/b.bin", 512);
    window_->AddQueuePath(QFileInfo(folder).path());
    TQueueNode* top = window_->Compilation().Root()->Children[0].get();
    window_->ShowItemProperties(top);
    auto* properties = window_->findChild<QDialog*>("FormProperties");
    QVERIFY(properties);
    QCOMPARE(properties->findChild<QLabel*>("LabelSize")->text(), QString("2,048 bytes - 2 KB - 0.00 MB - 0.00 GB"));
    QCOMPARE(properties->findChild<QLabel*>("LabelFiles")->text(), QString("2"));
    QCOMPARE(properties->findChild<QLabel*>("LabelFolders")->text(), QString("1"));
    QCOMPARE(properties->findChild<QLabel*>("LabelAttributes")->text(), QString("D"));
    properties->close();
    QLocale::setDefault(QLocale::c());
  }

  void flyWindowReplacesTheMainWindowAndRemembersItsPlace() {
    window_->Settings().DropTop = 120;
    window_->Settings().DropLeft = 140;
    window_->Action("ActionShowDrop")->trigger();
    QWidget* fly = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == "FormDrop" && widget->isVisible()) fly = widget;
    }
    QVERIFY(fly);
    QVERIFY(!window_->isVisible());
    QVERIFY(fly->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(fly->windowOpacity(), 180 / 255.0);
    fly->move(200, 210);
    fly->close();
    QVERIFY(window_->isVisible());
    QCOMPARE(window_->Settings().DropTop, 210);
    QCOMPARE(window_->Settings().DropLeft, 200);
  }

  void captionsComeFromTheLanguage() {
    QStringList titles;
    for (int i = 0; i < 6; ++i) titles.append(window_->QueueModel()->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString());
    QCOMPARE(titles, QStringList({"Name", "Path", "Size - Duration", "Type", "Modified", "Attributes"}));
    QCOMPARE(window_->findChild<QMenu*>("MenuRecorder")->title(), QString("Burner"));
    QCOMPARE(window_->Action("ActionDeleteSelected")->shortcut(), QKeySequence("Ctrl+D"));
  }
};

QTEST_MAIN(MainWindowCompilationTest)
#include "main_window_compilation_test.moc"
