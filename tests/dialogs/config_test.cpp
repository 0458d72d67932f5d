#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "config/config_file.h"
#include "config/config_table.h"
#include "config/settings.h"

namespace fs = std::filesystem;
using namespace qvr::config;

namespace {

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/qvr-config-XXXXXX";
    path_ = mkdtemp(pattern);
    path_ += "/";
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string Value(const TConfigTable& table, const std::string& key) {
  std::string value;
  return table.ReadConfigValue(key, value) ? value : "<missing>";
}

TEST(ConfigTable, KeysAreUpperCasedComparedIgnoringCaseAndUpdatedInPlace) {
  TConfigTable table;
  table.SetRows({{"c", "lower"}, {"1.13", "template"}});
  EXPECT_EQ(Value(table, "C"), "lower");  // a lower-case row written by hand still matches
  EXPECT_TRUE(table.WriteConfigValue("x.1", "a"));
  EXPECT_TRUE(table.WriteConfigValue("c", "changed"));
  EXPECT_TRUE(table.WriteConfigValue("X.1", "b"));
  ASSERT_EQ(table.Rows().size(), 3u);
  EXPECT_EQ(table.Rows()[0].C, "C");
  EXPECT_EQ(table.Rows()[0].A, "changed");
  EXPECT_EQ(table.Rows()[2].C, "X.1");
  EXPECT_EQ(table.Rows()[2].A, "b");
  EXPECT_EQ(Value(table, "nothing"), "<missing>");
}

TConfigEnvironment Env(const TempFolder& folder) { return {folder.path(), "DejaVu Sans"}; }

TEST(Settings, DefaultsOfAnEmptyTable) {
  TempFolder folder;
  TQvrSettings s;
  LoadSettings(TConfigTable{}, Env(folder), s);
  EXPECT_FALSE(s.HasWindowTop);
  EXPECT_EQ(s.LanguageName, "ENGLISH");
  EXPECT_EQ(s.ToolbarLayout, "2;3;7;32;0;1;9;10;22;24;34;21;11");
  EXPECT_TRUE(s.ShowLog);
  EXPECT_EQ(s.DataCacheSizeMB, 32);
  EXPECT_EQ(s.DataVolumeTemplate, "Disc <#increment> <#dd><#mm><#yy>");
  EXPECT_EQ(s.WavFolder, folder.path() + "wav/");
  EXPECT_TRUE(fs::is_directory(folder.path() + "wav"));
  EXPECT_TRUE(s.UseInternalPassThrough);
  EXPECT_EQ(s.DropOpacity, 180);
  EXPECT_TRUE(s.CloseDisc);
  EXPECT_EQ(s.ProgressTop, -10000);
  EXPECT_FALSE(s.Confirmations[kConfirmNotAudioFiles].DontAsk);
  EXPECT_TRUE(s.Confirmations[kConfirmNotAudioFiles].LastAnswer);
  EXPECT_EQ(s.PrintTitle, "Compilation Title");
  EXPECT_EQ(s.PrintElements[kPrintTitle].FontColor, 0xFFFFFF);
  EXPECT_EQ(s.PrintElements[kPrintTitle].Background, 0);
  EXPECT_EQ(s.PrintElements[kPrintPath].Background, 0x00FFFF);
  EXPECT_FALSE(s.PrintElements[kPrintPath].Shown);
  EXPECT_TRUE(s.PrintElements[kPrintName].Shown);
  EXPECT_EQ(s.PrintElements[kPrintAttributes].FontName, "DejaVu Sans");
  EXPECT_EQ(s.PrintPageColor, 0xFFFFFF);
}

TEST(Settings, StoredTextsAreReadByType) {
  TempFolder folder;
  struct Case {
    const char* key;
    const char* stored;
    std::function<std::string(const TQvrSettings&)> field;
    const char* expected;
  } cases[] = {
      {"0.8", "true", [](auto& s) { return std::to_string(s.ShowLog); }, "0"},   // only "1" is true
      {"0.9", "1", [](auto& s) { return std::to_string(s.ShowFolderSizes); }, "1"},
      {"1.0", "", [](auto& s) { return std::to_string(s.BurnProof); }, "0"},
      {"1.5", "8", [](auto& s) { return std::to_string(s.DataCacheSizeMB); }, "16"},
      {"1.20", "64", [](auto& s) { return std::to_string(s.AudioCacheSizeMB); }, "64"},
      {"1.14", "-3", [](auto& s) { return std::to_string(s.DataVolumeIncrement); }, "-3"},
      {"1.14", "12x", [](auto& s) { return std::to_string(s.DataVolumeIncrement); }, "1"},  // not a number: default
      {"4.2", "+5", [](auto& s) { return std::to_string(s.DropOpacity); }, "180"},
      {"0.1", "abc", [](auto& s) { return std::to_string(s.WindowLeft); }, "77"},  // geometry keeps its value
      {"0.1", "-20", [](auto& s) { return std::to_string(s.WindowLeft); }, "-20"},
      {"1.13", "  spaced  ", [](auto& s) { return s.DataVolumeTemplate; }, "  spaced  "},
      {"8.68", "255", [](auto& s) { return std::to_string(s.PrintPageColor); }, "255"},
      {"3.34", "1", [](auto& s) { return std::to_string(s.Confirmations[kConfirmNotAudioFiles].BoxTicked); }, "1"},
      {"8.64", "2", [](auto& s) { return std::to_string(s.PrintElements[kPrintAttributes].Alignment); }, "2"},
      {"8.31", "Mono", [](auto& s) { return s.PrintElements[kPrintSize].FontName; }, "Mono"},
  };
  for (const Case& c : cases) {
    TConfigTable table;
    table.WriteConfigValue(c.key, c.stored);
    TQvrSettings s;
    s.WindowLeft = 77;
    LoadSettings(table, Env(folder), s);
    EXPECT_EQ(c.field(s), c.expected) << c.key << "=" << c.stored;
  }
}

TEST(Settings, WavFolderGetsTrailingSlashAndFallsBackWhenItCannotBeCreated) {
  TempFolder folder;
  fs::create_directories(folder.path() + "audio");
  std::ofstream(folder.path() + "blocker") << "a file, not a folder";
  struct Case {
    std::string stored, expected;
  } cases[] = {
      {folder.path() + "audio", folder.path() + "audio/"},
      {folder.path() + "new/deep", folder.path() + "new/deep/"},
      {folder.path() + "blocker/sub", folder.path() + "wav/"},
      {"", folder.path() + "wav/"},
  };
  for (const Case& c : cases) {
    TConfigTable table;
    table.WriteConfigValue("1.34", c.stored);
    TQvrSettings s;
    LoadSettings(table, Env(folder), s);
    EXPECT_EQ(s.WavFolder, c.expected);
    EXPECT_TRUE(fs::is_directory(c.expected));
  }
}

TEST(Settings, SaveWritesEveryKeyInOrderAndReadsBackTheSame) {
  TempFolder folder;
  TQvrSettings s = DefaultSettings(Env(folder));
  s.WindowTop = 81;
  s.LanguageName = "GERMAN";
  s.Confirmations[kConfirmDeleteAll].DontAsk = true;
  s.PrintElements[kPrintModified].FontSize = 11;
  s.Carried1_11 = 42;
  TConfigTable table;
  SaveSettings(s, Env(folder), table);

  std::vector<std::string> keys;
  for (const TConfigRow& row : table.Rows()) keys.push_back(row.C);
  ASSERT_EQ(keys.size(), 15u + 25u + 5u + 36u + 3u + 3u + 1u + 1u + 70u + 2u);
  EXPECT_EQ(keys[0], "0.0");
  EXPECT_EQ(keys[10], "0.10");
  EXPECT_EQ(keys[11], "0.12");
  EXPECT_EQ(keys[15], "1.0");
  EXPECT_EQ(keys[18], "1.4");
  EXPECT_EQ(keys[39], "1.41");
  const auto print = std::find(keys.begin(), keys.end(), "8.0") - keys.begin();
  for (int i = 0; i < 70; ++i) EXPECT_EQ(keys[static_cast<std::size_t>(print + i)], "8." + std::to_string(i));
  EXPECT_EQ(keys.back(), "9.1");
  EXPECT_EQ(Value(table, "3.18"), "1");
  EXPECT_EQ(Value(table, "8.68"), "16777215");

  TQvrSettings back;
  LoadSettings(table, Env(folder), back);
  EXPECT_TRUE(back.HasWindowTop);
  EXPECT_EQ(back.WindowTop, 81);
  EXPECT_EQ(back.LanguageName, "GERMAN");
  EXPECT_TRUE(back.Confirmations[kConfirmDeleteAll].DontAsk);
  EXPECT_EQ(back.PrintElements[kPrintModified].FontSize, 11);
  EXPECT_EQ(back.Carried1_11, 42);
}

// ---- the file ----

TConfigTable SampleTable(const std::string& marker) {
  TConfigTable table;
  table.WriteConfigValue("0.4", marker);
  table.WriteConfigValue("1.13", "Disc <#increment>");
  table.WriteConfigValue("9.9", std::string("bytes \xE9\x01", 8));
  return table;
}

TEST(ConfigFile, SavesAndLoadsRowsInOrder) {
  TempFolder folder;
  const std::string path = folder.path() + kConfigFileName;
  ASSERT_TRUE(SaveConfigFile(path, SampleTable("FIRST")));
  ASSERT_TRUE(SaveConfigFile(path, SampleTable("SECOND")));
  TConfigTable loaded;
  ASSERT_EQ(LoadConfigFile(path, loaded), TConfigLoadResult::Loaded);
  ASSERT_EQ(loaded.Rows().size(), 3u);
  EXPECT_EQ(loaded.Rows()[0].A, "SECOND");
  EXPECT_EQ(loaded.Rows()[2].A, std::string("bytes \xE9\x01", 8));
  EXPECT_FALSE(fs::exists(path + "-journal"));
}

TEST(ConfigFile, MissingUnreadableAndEmptyFilesAndFirstStart) {
  TempFolder folder;
  const std::string path = folder.path() + kConfigFileName;
  TConfigTable table = SampleTable("KEPT");
  EXPECT_EQ(LoadConfigFile(path, table), TConfigLoadResult::Missing);
  EXPECT_TRUE(IsFirstStart(TConfigLoadResult::Missing));

  std::ofstream(path) << "this is not a database, it is an old binary stream";
  EXPECT_EQ(LoadConfigFile(path, table), TConfigLoadResult::Unreadable);
  EXPECT_TRUE(IsFirstStart(TConfigLoadResult::Unreadable));
  EXPECT_EQ(Value(table, "0.4"), "KEPT");  // failed loads leave the table alone

  // The first start replaces the unreadable file with an empty table.
  ASSERT_TRUE(SaveConfigFile(path, TConfigTable{}));
  EXPECT_EQ(LoadConfigFile(path, table), TConfigLoadResult::Loaded);
  EXPECT_TRUE(table.Rows().empty());
  EXPECT_FALSE(IsFirstStart(TConfigLoadResult::Loaded));

  fs::create_directory(folder.path() + "dir.cfg");
  EXPECT_EQ(LoadConfigFile(folder.path() + "dir.cfg", table), TConfigLoadResult::Unreadable);
}

TEST(ConfigFile, SaveInterruptedBeforeCommitLeavesTheOldFileReadable) {
  TempFolder folder;
  const std::string path = folder.path() + kConfigFileName;
  ASSERT_TRUE(SaveConfigFile(path, SampleTable("OLD")));

  TConfigTable big = SampleTable("NEW");
  for (int i = 0; i < 5000; ++i) big.WriteConfigValue("7." + std::to_string(i), std::string(200, 'n'));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Push the half-done transaction into the file itself, then die.
    SaveConfigFile(path, big, [](sqlite3* db) {
      sqlite3_db_cacheflush(db);
      _exit(0);
    });
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(fs::exists(path + "-journal"));  // the crash left a hot journal behind

  TConfigTable loaded;
  ASSERT_EQ(LoadConfigFile(path, loaded), TConfigLoadResult::Loaded);
  EXPECT_EQ(Value(loaded, "0.4"), "OLD");
  EXPECT_EQ(loaded.Rows().size(), 3u);
}

TEST(ConfigFile, LockedFileIsRetriedUntilReadable) {
  TempFolder folder;
  const std::string path = folder.path() + kConfigFileName;
  ASSERT_TRUE(SaveConfigFile(path, SampleTable("LOCKED")));
  sqlite3* locker = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &locker), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(locker, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

  int pumps = 0;
  TConfigReadOptions options;
  options.Pause = std::chrono::milliseconds(0);
  options.Pump = [&] {
    if (++pumps == 3) sqlite3_exec(locker, "COMMIT", nullptr, nullptr, nullptr);
  };
  TConfigTable loaded;
  EXPECT_EQ(LoadConfigFile(path, loaded, options), TConfigLoadResult::Loaded);
  EXPECT_EQ(pumps, 3);
  EXPECT_EQ(Value(loaded, "0.4"), "LOCKED");

  // Held for good: every attempt is made, then the start counts as a first start.
  ASSERT_EQ(sqlite3_exec(locker, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  pumps = 0;
  options.Pump = [&] { ++pumps; };
  EXPECT_EQ(LoadConfigFile(path, loaded, options), TConfigLoadResult::Locked);
  EXPECT_EQ(pumps, 100);  // between 101 attempts
  EXPECT_TRUE(IsFirstStart(TConfigLoadResult::Locked));
  sqlite3_exec(locker, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(locker);
}

}  // namespace
