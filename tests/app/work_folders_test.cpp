#include "work_folders.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "startup_questions.h"

using namespace qvr::app;

namespace {

void Touch(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(WorkFolders, CreatesTheThreeFoldersWithParents) {
  QTemporaryDir dir;
  const TWorkFolders folders = WorkFoldersOf(dir.path() + "/deep/program/");
  EXPECT_EQ(folders.Temp, dir.path() + "/deep/program/temp/");
  EXPECT_TRUE(CreateWorkFolders(folders));
  for (const QString& f : {folders.Temp, folders.Queue, folders.Languages}) EXPECT_TRUE(QDir(f).exists()) << f.toStdString();
}

TEST(WorkFolders, DeletesFilesButNotFoldersAndOnlyTheSuffixAsked) {
  QTemporaryDir dir;
  const QString temp = dir.path() + "/temp/";
  const QString wav = dir.path() + "/wav/";
  QDir().mkpath(temp + "sub");
  QDir().mkpath(wav);
  Touch(temp + "a.tmp");
  Touch(temp + ".hidden");
  Touch(temp + "sub/kept.tmp");
  Touch(wav + "track01.wav");
  Touch(wav + "TRACK02.WAV");
  Touch(wav + "notes.txt");
  Touch(wav + "wav");  // ends with "wav" but not ".wav"

  DeleteWorkFiles(temp);
  DeleteWorkFiles(wav, ".wav");
  EXPECT_EQ(QDir(temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"sub"});
  EXPECT_TRUE(QFile::exists(temp + "sub/kept.tmp"));
  EXPECT_EQ(QDir(wav).entryList(QDir::Files, QDir::Name), QStringList({"notes.txt", "wav"}));
}

TEST(WorkFolders, NeverEmptiesAPathOfThreeCharactersOrFewer) {
  // Relative paths inside a scratch folder stand in for "/" or "C:\".
  QTemporaryDir dir;
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  QDir().mkpath("ab");
  QDir().mkpath("abc");
  Touch("ab/x.wav");
  Touch("abc/x.wav");
  DeleteWorkFiles("ab/", ".wav");
  DeleteWorkFiles("abc/", ".wav");
  EXPECT_TRUE(QFile::exists("ab/x.wav"));
  EXPECT_FALSE(QFile::exists("abc/x.wav"));
  QDir::setCurrent(previous);
}

TEST(StartupQuestions, ScriptedAnswersInOrderThenDefaults) {
  TScriptedStartupQuestions questions({"german", "YES", "no"});
  EXPECT_EQ(questions.ChooseLanguage({"ENGLISH", "GERMAN"}, "ENGLISH"), "GERMAN");
  EXPECT_TRUE(questions.AskYesNo("c", "t"));
  EXPECT_FALSE(questions.AskYesNo("c", "t"));
  EXPECT_FALSE(questions.AskYesNo("c", "t"));  // used up: No
  EXPECT_EQ(questions.ChooseLanguage({"ENGLISH"}, "ENGLISH"), "ENGLISH");
  TScriptedStartupQuestions unknown({"KLINGON"});
  EXPECT_EQ(unknown.ChooseLanguage({"ENGLISH", "GERMAN"}, "ENGLISH"), "ENGLISH");
}

}  // namespace
