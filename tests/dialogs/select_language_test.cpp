#include "language/FormSelectLanguage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>

namespace {

class SelectLanguageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "dialogs_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!QApplication::instance()) new QApplication(argc, argv);
  }
};

TEST_F(SelectLanguageTest, ListIsSortedWithEnglishSelectedAndNothingSelectedGivesEmpty) {
  TFormSelectLanguage form({"ITALIANO", "ENGLISH", "CATALAN", "GERMAN"}, "ENGLISH");
  EXPECT_EQ(form.windowTitle(), "Select your Language");
  auto* list = form.findChild<QListWidget*>("ListBox");
  ASSERT_NE(list, nullptr);
  QStringList shown;
  for (int i = 0; i < list->count(); ++i) shown.append(list->item(i)->text());
  EXPECT_EQ(shown, QStringList({"CATALAN", "ENGLISH", "GERMAN", "ITALIANO"}));
  EXPECT_EQ(form.SelectedLanguage(), "ENGLISH");
  list->setCurrentRow(2);
  EXPECT_EQ(form.SelectedLanguage(), "GERMAN");
  list->clearSelection();
  EXPECT_EQ(form.SelectedLanguage(), "");
}

}  // namespace
