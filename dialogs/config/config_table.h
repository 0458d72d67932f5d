#pragma once
// The configuration table: ordered rows of two text columns, "C" (the key)
// and "A" (the value). Keys are stored upper-cased and compared ignoring
// case; new keys are appended, known keys are updated in place.

#include <string>
#include <string_view>
#include <vector>

namespace qvr::config {

struct TConfigRow {
  std::string C;
  std::string A;
};

class TConfigTable {
 public:
  // The value of `key`; false when the key is not in the table.
  bool ReadConfigValue(std::string_view key, std::string& value) const;

  // Sets `key` to `value`, appending a row for a new key.
  bool WriteConfigValue(std::string_view key, std::string_view value);

  const std::vector<TConfigRow>& Rows() const { return rows_; }
  // Rows as read from a file: kept as stored, so a lower-case key still matches.
  void SetRows(std::vector<TConfigRow> rows) { rows_ = std::move(rows); }
  void Clear() { rows_.clear(); }

 private:
  // Index of the row of `key`, or Rows().size() when there is none.
  std::size_t FindRow(std::string_view key) const;
  std::vector<TConfigRow> rows_;
};

}  // namespace qvr::config
