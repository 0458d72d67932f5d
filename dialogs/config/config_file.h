#pragma once
// The configuration file: an SQLite database holding one table "ConfigTable"
// with the text columns "C" and "A", rows in table order. A save replaces the
// rows inside one transaction, so a crash or power loss leaves either the old
// or the new table, never a mixture.

#include <chrono>
#include <functional>
#include <string>

#include "config/config_table.h"

struct sqlite3;

namespace qvr::config {

// The file's name; always used in capitals.
inline constexpr const char* kConfigFileName = "QUORVELLA.CFG";

enum class TConfigLoadResult {
  Loaded,      // the table was read
  Missing,     // there is no file
  Unreadable,  // not a configuration database, or a read error
  Locked,      // still locked by another process after every attempt
};

struct TConfigReadOptions {
  int Attempts = 101;
  std::chrono::milliseconds Pause{50};
  std::function<void()> Pump;  // runs between attempts, so the window keeps painting
};

// Reads the table of the file at `path`. The table is replaced only on Loaded.
TConfigLoadResult LoadConfigFile(const std::string& path, TConfigTable& table,
                                 const TConfigReadOptions& options = {});

// Writes the table to `path`, creating the file when missing and replacing a
// file that is not a configuration database. `before_commit` runs inside the
// open transaction (tests use it to stop a save half-way).
bool SaveConfigFile(const std::string& path, const TConfigTable& table,
                    const std::function<void(sqlite3*)>& before_commit = {});

// True for the results after which the start counts as a first start.
inline bool IsFirstStart(TConfigLoadResult result) { return result != TConfigLoadResult::Loaded; }

}  // namespace qvr::config
