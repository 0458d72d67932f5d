#include "config/config_table.h"

#include "storage/file_storage.h"

namespace qvr::config {

using storage::UpperAscii;

std::size_t TConfigTable::FindRow(std::string_view key) const {
  const std::string wanted = UpperAscii(key);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (UpperAscii(rows_[i].C) == wanted) return i;
  }
  return rows_.size();
}

bool TConfigTable::ReadConfigValue(std::string_view key, std::string& value) const {
  const std::size_t row = FindRow(key);
  if (row == rows_.size()) return false;
  value = rows_[row].A;
  return true;
}

bool TConfigTable::WriteConfigValue(std::string_view key, std::string_view value) {
  const std::size_t row = FindRow(key);
  if (row == rows_.size()) {
    rows_.push_back({UpperAscii(key), std::string(value)});
  } else {
    rows_[row] = {UpperAscii(key), std::string(value)};
  }
  return true;
}

}  // namespace qvr::config
