#include "qvr/data/source_files.h"

#include <sys/stat.h>

#include "qvr/data/text.h"

namespace qvr::data {

std::optional<FindRecord> FindSource(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
  if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) return std::nullopt;
  std::string_view name = path;
  while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
  const std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);

  return FindRecordOf(st, name);
}

FindRecord FindRecordOf(const struct stat& st, std::string_view name) {
  const bool isDir = S_ISDIR(st.st_mode);
  FindRecord fd;
  fd.fileName = Utf8ToUtf16(name);
  fd.size = isDir ? 0 : static_cast<uint64_t>(st.st_size);
  fd.lastWriteTime = st.st_mtim.tv_sec;
  fd.attributes = isDir ? kAttrDirectory : kAttrArchive;
  if ((st.st_mode & S_IWUSR) == 0) fd.attributes |= kAttrReadOnly;
  if (!name.empty() && name.front() == '.') fd.attributes |= kAttrHidden;
  return fd;
}

}  // namespace qvr::data
