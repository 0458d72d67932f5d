// The small dialogs: the confirmation and its remembered keys, the toolbar
// editor, the shutdown countdown, the fly window and the folder chooser.
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "language/language.h"
#include "small/FormCustomizeEasyToolbar.h"
#include "small/FormDrop.h"
#include "small/FormSelectFolder.h"
#include "small/FormShutDown.h"
#include "small/FormWarning.h"
#include "storage/file_storage.h"

using qvr::config::TConfirmationKeys;

class SmallDialogsTest : public QObject {
  Q_OBJECT

 private:
  qvr::storage::TFileStorage storage_;
  std::unique_ptr<qvr::lang::TLanguage> texts_;

 private Q_SLOTS:
  void initTestCase() {
    // Texts missing from an empty container show as "S-K".
    texts_ = std::make_unique<qvr::lang::TLanguage>(storage_, QDir::tempPath() + "/");
  }

  void confirmationKeys_data() {
    QTest::addColumn<bool>("dontAsk");
    QTest::addColumn<bool>("boxTicked");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("boxAfter");
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("lastAnswer");
    QTest::newRow("yes") << false << false << int(TWarningAnswer::Yes) << false << true << true << true;
    QTest::newRow("no") << false << false << int(TWarningAnswer::No) << false << false << true << false;
    QTest::newRow("cancel keeps a ticked box") << false << true << int(TWarningAnswer::Cancel) << true << false
                                               << true << false;
    QTest::newRow("closed counts as not yes") << false << false << int(TWarningAnswer::Closed) << false << false
                                              << true << false;
    QTest::newRow("don't ask: yes without a question") << true << false << int(TWarningAnswer::No) << false << true
                                                       << false << true;
  }
  void confirmationKeys() {
    QFETCH(bool, dontAsk);
    QFETCH(bool, boxTicked);
    QFETCH(int, answer);
    QFETCH(bool, boxAfter);
    QFETCH(bool, goOn);
    QFETCH(bool, asked);
    QFETCH(bool, lastAnswer);
    TConfirmationKeys keys{dontAsk, boxTicked, true};
    bool was_asked = false;
    bool box_at_start = !boxTicked;
    const bool result = RunConfirmation(keys, [&](bool& box) {
      was_asked = true;
      box_at_start = box;
      box = boxAfter;
      return TWarningAnswer(answer);
    });
    QCOMPARE(result, goOn);
    QCOMPARE(was_asked, asked);
    if (asked) QCOMPARE(box_at_start, boxTicked);  // the box starts as its key says
    QCOMPARE(keys.LastAnswer, lastAnswer);
    QCOMPARE(keys.DontAsk, asked ? boxAfter : true);
  }

  void warningButtonsAnswer_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("answer");
    QTest::newRow("yes") << "ButtonYes" << int(TWarningAnswer::Yes);
    QTest::newRow("no") << "ButtonNo" << int(TWarningAnswer::No);
    QTest::newRow("cancel") << "ButtonCancel" << int(TWarningAnswer::Cancel);
  }
  void warningButtonsAnswer() {
    QFETCH(QString, button);
    QFETCH(int, answer);
    TFormWarning dialog(*texts_, "Caption", "Delete?", true);
    QVERIFY(dialog.findChild<QCheckBox*>("CheckBoxDontDisplay")->isChecked());
    dialog.findChild<QPushButton*>(button)->click();
    QCOMPARE(int(dialog.Answer()), answer);
    QVERIFY(dialog.BoxTicked());
  }

  void toolbarEditorRebuildsTheLayout() {
    std::vector<TToolbarButton> buttons = {{2, "Burn", {}}, {5, "Build", {}}, {9, "Eject", {}}, {32, "New", {}}};
    QStringList applied;
    TFormCustomizeEasyToolbar editor(*texts_, buttons, {9, 2}, [&](const QString& layout) { applied.append(layout); });
    auto* available = editor.findChild<QListWidget*>("ListAvailable");
    auto* current = editor.findChild<QListWidget*>("ListCurrent");
    QCOMPARE(available->count(), 2);  // Build and New
    current->setCurrentRow(0);        // after Eject
    available->setCurrentRow(1);      // New
    editor.AddFocused();
    QCOMPARE(editor.Layout(), QString("9;32;2"));
    current->setCurrentRow(2);  // Burn goes back
    available->setCurrentRow(-1);
    editor.RemoveFocused();
    QCOMPARE(editor.Layout(), QString("9;32"));
    editor.Reset();
    QCOMPARE(applied, QStringList({"9;32;2", "9;32", "2;3;7;32;0;1;9;10;22;24;34;21;11"}));
    QCOMPARE(editor.Layout(), QString("2;32;9"));  // the known buttons of the default, in its order
    QCOMPARE(available->count(), 1);
  }

  void shutdownCountsDownThenRunsItsCommand() {
    int closed = 0;
    int shown = 0;
    auto* window = new TFormShutDown(*texts_, {"true"}, [&] { ++closed; }, [&] { ++shown; });
    QPointer<TFormShutDown> guard(window);
    QCOMPARE(window->SecondsRemaining(), 10);
    for (int i = 0; i < 9; ++i) window->Tick();
    QCOMPARE(window->SecondsRemaining(), 1);
    QCOMPARE(closed, 0);
    window->Tick();
    QCOMPARE(closed, 1);
    QCOMPARE(shown, 0);
    QTRY_VERIFY(guard.isNull());  // destroyed on closing
  }

  void dropWindowPosition_data() {
    QTest::addColumn<QPoint>("stored");
    QTest::addColumn<bool>("centred");
    QTest::newRow("on the screen stays") << QPoint(100, 80) << false;
    QTest::newRow("on no screen is centred") << QPoint(-5000, -5000) << true;
  }
  void dropWindowPosition() {
    QFETCH(QPoint, stored);
    QFETCH(bool, centred);
    const QSize size(170, 110);
    const QPoint placed = DropWindowPosition(stored.y(), stored.x(), size);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    if (centred) {
      QCOMPARE(placed, QPoint(area.left() + (area.width() - 170) / 2, area.top() + (area.height() - 110) / 2));
    } else {
      QCOMPARE(placed, stored);
    }
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint edge = DropWindowPosition(screen.bottom() - 2, screen.right() - 2, size);
    QCOMPARE(edge, QPoint(screen.right() - 12, screen.bottom() - 12));
  }

  void folderChooserClosedReturnsMinusOne() {
    TFormSelectFolder chooser(*texts_, QDir::tempPath());
    chooser.reject();
    QCOMPARE(chooser.Result(), QString("-1"));
  }
};

QTEST_MAIN(SmallDialogsTest)
#include "small_dialogs_test.moc"
