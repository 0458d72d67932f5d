#include "language/language.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using qvr::lang::DecodeEscapes;
using qvr::lang::TLanguage;
using qvr::lang::TTextTable;
using qvr::storage::TFileStorage;
using qvr::storage::TStoredFile;

namespace {

const char* kReserved = "[0]\r\n0=Quorvella CD & DVD \r\n3=Quorvella CD && DVD\r\n";
const char* kEnglish =
    "//dialogs message\r\n"  // before any section: belongs to none
    "[1]\r\n"
    "//dialogs message\r\n"
    "0=Invalid name \"<#value>\"!!!\r\n"
    "  2 =  Remove item/s?  \r\n"
    "; a comment line\r\n"
    "\r\n"
    "7=English seven\r\n"
    "8=Line one%0D%0ALine two\r\n"
    "9=Lower%0d%0aCase\r\n"
    "10=Literal %250A and %25\r\n"
    "2=second line of key 2 never counts\r\n"
    "[11]\r\n"
    "//warning messages\r\n"
    "42=Error ( <#error> )\r\n"
    "59=Installing <#language> language\r\n"
    "[errors]\r\n"
    "512=NO SEEK COMPLETE\r\n";

class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    folder_ = dir_.path() + "/languages/";
    QDir().mkpath(folder_);
  }
  TFileStorage Storage(std::vector<TStoredFile> extra = {}) {
    std::vector<TStoredFile> files{{"languagereserved.ini", kReserved}};
    for (auto& f : extra) files.push_back(f);
    files.push_back({"english.ini", kEnglish});
    return TFileStorage(std::move(files));
  }
  void WriteFile(const QString& name, const QByteArray& bytes) {
    QFile file(folder_ + name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  QByteArray ReadFile(const QString& name) {
    QFile file(folder_ + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }
  QTemporaryDir dir_;
  QString folder_;
};

TEST(TextTable, DecodesEscapesInOrderIgnoringCase) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"a%0D%0Ab", "a\r\nb"}, {"a%0d%0ab", "a\r\nb"}, {"%250A", "%0A"},  {"%250D", "%0D"},
      {"100%25", "100%"},     {"%%0A", "%\n"},        {"no escape", "no escape"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeEscapes(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
}

TEST(TextTable, NormalisedFormKeepsRemarksAndTrimsAroundTheFirstEquals) {
  TTextTable table;
  table.LoadLines(QString::fromLatin1("[a]\r\n//remark\r\n x = y = z \r\n;gone\r\n[B]\n1=one\n[A]\n2=two\n"));
  EXPECT_EQ(table.Normalised(), QString::fromLatin1("[a]\r\n//remark\r\nx=y = z\r\n2=two\r\n\r\n[B]\r\n1=one\r\n\r\n"));
  EXPECT_EQ(table.Value("A", "X"), "y = z");
  EXPECT_EQ(table.Value("b", "1"), "one");
}

TEST_F(LanguageTest, LookupFallsBackFromCurrentToEnglishToIdentifier) {
  WriteFile("GERMAN.INI", "[0]\r\n0=Not the reserved title\r\n[1]\r\n0=Ungültiger Name \"<#value>\"!!!\r\n7=\r\n");
  TFileStorage storage = Storage();
  TLanguage lang(storage, folder_);
  EXPECT_EQ(lang.GetLangText(1, 2), "1-2");  // before the tables exist: identifiers only
  lang.SetLanguage("german", {});
  ASSERT_EQ(lang.CurrentLanguageName(), "GERMAN");

  struct Case {
    const char* section;
    const char* key;
    QString text;
  } cases[] = {
      {"1", "0", QString::fromUtf8("Ungültiger Name \"<#value>\"!!!")},  // current language
      {"1", "7", "English seven"},                                      // "7=" counts as absent
      {"1", "2", "Remove item/s?"},                                     // first line of the key, trimmed
      {"3", "109", "3-109"},                                            // missing in both
      {"0", "0", "Quorvella CD & DVD"},                                 // section 0 from the reserved texts
      {"0", "3", "Quorvella CD && DVD"},
      {"1", "8", "Line one\r\nLine two"},
      {"1", "9", "Lower\r\nCase"},
      {"1", "10", "Literal %0A and %"},
      {"errors", "512", "NO SEEK COMPLETE"},
  };
  for (const Case& c : cases) EXPECT_EQ(lang.GetLangText(c.section, c.key), c.text) << c.section << "-" << c.key;

  lang.SetLanguage("ENGLISH", {});
  EXPECT_EQ(lang.GetLangText(1, 0), "Invalid name \"<#value>\"!!!");
}

TEST_F(LanguageTest, ReplacementsRunInListOrderIgnoringCaseAndKeepValuesAsGiven) {
  TFileStorage storage = Storage();
  TLanguage lang(storage, folder_);
  lang.LoadTextTables();
  struct Case {
    int section, key;
    QStringList list;
    QString text;
  } cases[] = {
      {11, 42, {"<#ERROR>=disk <b>full</b> 100%0A"}, "Error ( disk <b>full</b> 100%0A )"},
      // A value naming a later placeholder is filled by the later line; an earlier one stays.
      {11, 42, {"<#error>=<#language> failed", "<#language>=GERMAN"}, "Error ( GERMAN failed )"},
      {11, 42, {"<#language>=GERMAN", "<#error>=<#language> failed"}, "Error ( <#language> failed )"},
      {11, 59, {"<#value>=unused", "no equals sign"}, "Installing <#language> language"},
      {1, 0, {"<#value>=a=b"}, "Invalid name \"a=b\"!!!"},
  };
  for (const Case& c : cases) EXPECT_EQ(lang.GetLangTextReplace(c.section, c.key, c.list), c.text);
}

TEST_F(LanguageTest, SetLanguageRewritesEnglishFileAndHandlesMissingAndUnreadableFiles) {
  TFileStorage storage = Storage();
  TLanguage lang(storage, folder_);
  int saves = 0;
  auto save = [&] { ++saves; };

  WriteFile("ENGLISH.INI", "user edits are replaced");
  lang.SetLanguage("nosuchlanguage", save);
  EXPECT_EQ(lang.CurrentLanguageName(), "ENGLISH");
  EXPECT_EQ(saves, 0);
  const QByteArray english = ReadFile("ENGLISH.INI");
  EXPECT_TRUE(english.startsWith("[1]\r\n//dialogs message\r\n0=Invalid name"));
  EXPECT_TRUE(english.contains("2=Remove item/s?\r\n"));
  EXPECT_TRUE(english.contains("\r\n\r\n[11]\r\n//warning messages\r\n"));
  EXPECT_TRUE(english.endsWith("[errors]\r\n512=NO SEEK COMPLETE\r\n\r\n"));

  // A language file whose name differs in case is still found.
  WriteFile("Magyar.ini", "[1]\r\n2=Elem törlése?\r\n");
  lang.SetLanguage("magyar", save);
  EXPECT_EQ(lang.CurrentLanguageName(), "MAGYAR");
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(lang.GetLangText(1, 2), QString::fromUtf8("Elem törlése?"));
  EXPECT_EQ(lang.CurrentLanguagePath(), folder_ + "MAGYAR.ini");

  // A missing language keeps the current one and its texts.
  lang.SetLanguage("KLINGON", save);
  EXPECT_EQ(lang.CurrentLanguageName(), "MAGYAR");
  EXPECT_EQ(saves, 1);

  // A language file that cannot be read makes English current.
  ASSERT_TRUE(QFile::link(folder_ + "gone.ini", folder_ + "BROKEN.INI"));
  lang.SetLanguage("broken", save);
  EXPECT_EQ(lang.CurrentLanguageName(), "ENGLISH");
  EXPECT_EQ(saves, 3);
  EXPECT_EQ(lang.GetLangText(1, 2), "Remove item/s?");
}

TEST_F(LanguageTest, LegacyCodePageFilesAreReadByteForByte) {
  WriteFile("FRENCH.INI", "[1]\r\n2=Supprimer l'\xE9l\xE9ment ?\r\n");  // Windows-1252 bytes
  TFileStorage storage = Storage();
  TLanguage lang(storage, folder_);
  lang.SetLanguage("FRENCH", {});
  EXPECT_EQ(lang.GetLangText(1, 2), QString::fromUtf8("Supprimer l'élément ?"));
}

TEST_F(LanguageTest, InstallsEveryLanguageEntryUnderItsUpperCaseName) {
  TFileStorage storage = Storage({{"GERMAN.ini", "[1]\r\n2=Entfernen?\r\n"},
                                  {"Japanese.INI", "[1]\r\n2=jp\r\n"},
                                  {"notes.txt", "not a language"}});
  TLanguage lang(storage, folder_);
  EXPECT_EQ(lang.ContainerLanguages(), QStringList({"ENGLISH", "GERMAN", "JAPANESE"}));
  EXPECT_TRUE(lang.InstallTranslations());
  QStringList files = QDir(folder_).entryList(QDir::Files, QDir::Name);
  EXPECT_EQ(files, QStringList({"ENGLISH.INI", "GERMAN.INI", "JAPANESE.INI"}));
  EXPECT_EQ(ReadFile("GERMAN.INI"), "[1]\r\n2=Entfernen?\r\n");
  EXPECT_EQ(lang.ReadStoredFile("LANGUAGERESERVED.INI"), kReserved);

  TLanguage nowhere(storage, dir_.path() + "/file-in-the-way/");
  WriteFile("../file-in-the-way", "x");
  EXPECT_FALSE(nowhere.InstallTranslations());
}

}  // namespace
