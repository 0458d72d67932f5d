// The language files built into the program: order of the container, the
// sections of the English file and the reserved texts.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include "embedded_storage.h"
#include "language/language.h"

namespace {

QByteArray SourceFile(const char* name) {
  QFile file(QStringLiteral(QVR_RESOURCES_DIR "/") + QLatin1String(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(LanguageResources, ContainerHoldsReservedFirstAndEnglishLastAsInTheSourceTree) {
  const auto& files = qvr::app::EmbeddedFileStorage().Files();
  ASSERT_GE(files.size(), 2u);
  EXPECT_EQ(files.front().Name, "languagereserved.ini");
  EXPECT_EQ(files.back().Name, "english.ini");
  EXPECT_EQ(QByteArray::fromStdString(files.front().Data), SourceFile("languagereserved.ini"));
  EXPECT_EQ(QByteArray::fromStdString(files.back().Data), SourceFile("english.ini"));
}

TEST(LanguageResources, EnglishFileHasEverySectionInOrderWithItsRemark) {
  const QByteArray bytes = SourceFile("english.ini");
  ASSERT_FALSE(bytes.isEmpty());
  EXPECT_EQ(bytes.count("\n"), bytes.count("\r\n"));  // CR LF throughout
  qvr::lang::TTextTable table;
  table.LoadLines(QString::fromUtf8(bytes));
  const auto& sections = table.Sections();
  ASSERT_EQ(sections.size(), 28u);
  for (int n = 1; n <= 27; ++n) {
    const auto& section = sections[static_cast<std::size_t>(n - 1)];
    EXPECT_EQ(section.Name, QString::number(n));
    if (n != 27) {
      EXPECT_TRUE(!section.Lines.isEmpty() && section.Lines[0].startsWith("//")) << n;
    }
  }
  EXPECT_EQ(sections[25].Lines.last(), "//DiscSpaceInfos ... HTM labels");  // stands before [27]

  // SCSI sense texts: ASC * 256 + ASCQ, ascending, in upper case.
  const auto& errors = sections[27];
  EXPECT_EQ(errors.Name, "errors");
  ASSERT_EQ(errors.Lines.size(), 247);
  EXPECT_EQ(errors.Lines.first(), "512=NO SEEK COMPLETE");
  EXPECT_EQ(errors.Lines.last(), "29446=RMA/PMA IS ALMOST FULL");
  int previous = 0;
  for (const QString& line : errors.Lines) {
    const int key = line.section('=', 0, 0).toInt();
    EXPECT_GT(key, previous) << line.toStdString();
    EXPECT_EQ(line, line.toUpper()) << line.toStdString();
    previous = key;
  }

  // No text may carry a placeholder that is not closed.
  static const QRegularExpression open_placeholder("<#[^>]*(<|$)");
  for (const auto& section : sections) {
    for (const QString& line : section.Lines) EXPECT_FALSE(open_placeholder.match(line).hasMatch()) << line.toStdString();
  }
}

TEST(LanguageResources, ReservedAndSharedTextsAsShipped) {
  qvr::lang::TLanguage lang(qvr::app::EmbeddedFileStorage(), "/nonexistent/");
  lang.LoadTextTables();
  struct Case {
    int section, key;
    const char* text;
  } cases[] = {
      {0, 0, "Quorvella CD & DVD"},
      {0, 3, "Quorvella CD && DVD"},
      {10, 0, "Quorvella ready!!!"},
      {11, 62, "11-62"},  // empty in English
      {11, 100, "No sessions found"},
      {17, 28, "Warning Some files aren't AUDIO files. Quorvella will use only valid audio files, other files will be "
               "skipped. Burn AUDIO?"},
      {12, 20, "\"<#file>\" converted!!!"},
      {3, 106, "To apply ASPI changes please press OK then close and restart Quorvella"},
      {27, 32, "<b>Current</b>"},
  };
  for (const Case& c : cases) EXPECT_EQ(lang.GetLangText(c.section, c.key), QString::fromUtf8(c.text)) << c.section << "-" << c.key;
  EXPECT_TRUE(lang.GetLangText(0, 2).startsWith("Do you like Quorvella CD & DVD ?\r\n\r\nTo help us"));
}

}  // namespace
