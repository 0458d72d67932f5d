#include "config/config_file.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <unistd.h>

namespace qvr::config {

namespace {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

bool IsLockError(int rc) {
  const int primary = rc & 0xFF;
  return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

Db Open(const std::string& path, int flags, int& rc) {
  sqlite3* raw = nullptr;
  rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  Db db(raw);
  if (rc == SQLITE_OK) sqlite3_busy_timeout(db.get(), 0);
  return db;
}

// One attempt at reading every row; SQLITE_OK or the failing code.
int ReadRows(const std::string& path, std::vector<TConfigRow>& rows) {
  int rc = SQLITE_OK;
  // Read-write, so a hot journal left by an interrupted save can be rolled
  // back; read-only when the file cannot be written.
  Db db = Open(path, SQLITE_OPEN_READWRITE, rc);
  if (rc != SQLITE_OK) db = Open(path, SQLITE_OPEN_READONLY, rc);
  if (rc != SQLITE_OK) return rc;
  sqlite3_stmt* raw = nullptr;
  rc = sqlite3_prepare_v2(db.get(), "SELECT C, A FROM ConfigTable ORDER BY rowid", -1, &raw, nullptr);
  Stmt stmt(raw);
  if (rc != SQLITE_OK) return rc;
  rows.clear();
  while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    auto column = [&](int i) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), i));
      return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(stmt.get(), i))) : std::string();
    };
    rows.push_back({column(0), column(1)});
  }
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

bool Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

// SQLITE_OK when the table was written; otherwise the failing code.
int WriteRows(const std::string& path, const TConfigTable& table,
              const std::function<void(sqlite3*)>& before_commit) {
  int rc = SQLITE_OK;
  Db db = Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, rc);
  if (rc != SQLITE_OK) return rc;
  sqlite3_busy_timeout(db.get(), 2000);
  if ((rc = sqlite3_exec(db.get(), "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr)) != SQLITE_OK) return rc;
  if ((rc = sqlite3_exec(db.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr)) != SQLITE_OK) return rc;
  auto fail = [&](int code) {
    Exec(db.get(), "ROLLBACK");
    return code;
  };
  if ((rc = sqlite3_exec(db.get(), "CREATE TABLE IF NOT EXISTS ConfigTable (C TEXT, A TEXT)", nullptr, nullptr,
                         nullptr)) != SQLITE_OK ||
      (rc = sqlite3_exec(db.get(), "DELETE FROM ConfigTable", nullptr, nullptr, nullptr)) != SQLITE_OK) {
    return fail(rc);
  }
  sqlite3_stmt* raw = nullptr;
  rc = sqlite3_prepare_v2(db.get(), "INSERT INTO ConfigTable (C, A) VALUES (?, ?)", -1, &raw, nullptr);
  Stmt insert(raw);
  if (rc != SQLITE_OK) return fail(rc);
  for (const TConfigRow& row : table.Rows()) {
    sqlite3_bind_text(insert.get(), 1, row.C.data(), static_cast<int>(row.C.size()), SQLITE_STATIC);
    sqlite3_bind_text(insert.get(), 2, row.A.data(), static_cast<int>(row.A.size()), SQLITE_STATIC);
    if ((rc = sqlite3_step(insert.get())) != SQLITE_DONE) return fail(rc);
    sqlite3_reset(insert.get());
  }
  insert.reset();
  if (before_commit) before_commit(db.get());
  if ((rc = sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr)) != SQLITE_OK) return fail(rc);
  return SQLITE_OK;
}

}  // namespace

TConfigLoadResult LoadConfigFile(const std::string& path, TConfigTable& table, const TConfigReadOptions& options) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return std::filesystem::exists(path, ec) ? TConfigLoadResult::Unreadable : TConfigLoadResult::Missing;
  }
  std::vector<TConfigRow> rows;
  for (int attempt = 1;; ++attempt) {
    const int rc = ReadRows(path, rows);
    if (rc == SQLITE_OK) break;
    if (!IsLockError(rc)) return TConfigLoadResult::Unreadable;
    if (attempt >= options.Attempts) return TConfigLoadResult::Locked;
    if (options.Pump) options.Pump();
    std::this_thread::sleep_for(options.Pause);
  }
  table.SetRows(std::move(rows));
  return TConfigLoadResult::Loaded;
}

bool SaveConfigFile(const std::string& path, const TConfigTable& table,
                    const std::function<void(sqlite3*)>& before_commit) {
  const int rc = WriteRows(path, table, before_commit);
  if (rc == SQLITE_OK) return true;
  const int primary = rc & 0xFF;
  if (primary != SQLITE_NOTADB && primary != SQLITE_CORRUPT) return false;
  // Not a configuration database: its content was unreadable at start-up
  // already, so a fresh file takes its place.
  std::error_code ec;
  std::filesystem::remove(path, ec);
  std::filesystem::remove(path + "-journal", ec);
  return WriteRows(path, table, before_commit) == SQLITE_OK;
}

}  // namespace qvr::config
