#include "qvr/data/source_tree.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "qvr/data/source_files.h"
#include "qvr/data/text.h"

namespace qvr::data {

namespace {

constexpr std::size_t kMaxItemName = 106;

std::string BaseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::u16string CompilationItemName(std::u16string name, bool isFolder) {
  if (name.size() > kMaxItemName) {
    const std::size_t dot = name.rfind(u'.');
    const std::size_t ext = (isFolder || dot == std::u16string::npos) ? 0 : name.size() - dot;
    name = ext < kMaxItemName ? name.substr(0, kMaxItemName - ext) + name.substr(name.size() - ext)
                              : name.substr(0, kMaxItemName);
  }
  for (char16_t& c : name)
    if (c == u';') c = u'_';
  return name;
}

bool SourceTreeWalker::AddPath(const std::string& path, std::string* error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (error) *error = "cannot find " + path;
    return false;
  }
  std::string name = BaseName(path);
  if (name == "." || name == ".." || name == "/") {
    char* real = ::realpath(path.c_str(), nullptr);
    name = real ? BaseName(real) : name;
    std::free(real);
  }
  return AddEntry(burner_.Tree().Root(), path, name, st, error);
}

bool SourceTreeWalker::AddEntry(TDirEntry* parent, const std::string& path, const std::string& rawName,
                                const struct stat& st, std::string* error) {
  const bool isFolder = S_ISDIR(st.st_mode);
  if (!isFolder && !S_ISREG(st.st_mode)) {
    warn_("skipped " + path + " (not a regular file)");
    return true;
  }
  const std::u16string full = Utf8ToUtf16(rawName);
  const std::u16string name = CompilationItemName(full, isFolder);
  if (name.size() != full.size()) warn_("renamed " + path + " to " + Utf16ToUtf8(name));
  if (const TFileEntry* existing = burner_.Tree().FindChild(parent, name)) {
    const bool imported = (existing->Attributes & kAttrImported) != 0;
    const bool mergeFolder = isFolder && existing->IsDirectory();
    if (!imported && !mergeFolder) {
      warn_("skipped " + path + " (the name exists already)");
      return true;
    }
  }
  if (!isFolder) {
    FindRecord fd = FindRecordOf(st, rawName);
    fd.fileName = name;
    if (!burner_.AddFoundFile(parent, path, std::move(fd))) warn_("could not add " + path);
    return true;
  }
  TDirEntry* dir = burner_.AddDirectoryTo(parent, name);
  if (!dir) {
    warn_("could not add folder " + path);
    return true;
  }
  if (!visiting_.insert({st.st_dev, st.st_ino}).second) {
    warn_("skipped " + path + " (a link back into itself)");
    return true;
  }
  const bool ok = AddFolderContents(dir, path, error);
  visiting_.erase({st.st_dev, st.st_ino});
  return ok;
}

bool SourceTreeWalker::AddFolderContents(TDirEntry* dir, const std::string& path, std::string* error) {
  DIR* d = ::opendir(path.c_str());
  if (!d) {
    if (error) *error = "cannot read folder " + path;
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') names.emplace_back(e->d_name);
  ::closedir(d);
  const std::string prefix = path.back() == '/' ? path : path + "/";
  for (const std::string& n : names) {
    const std::string child = prefix + n;
    struct stat st {};
    if (::stat(child.c_str(), &st) != 0) {
      warn_("skipped " + child + " (cannot be read)");
      continue;
    }
    if (!AddEntry(dir, child, n, st, error)) return false;
  }
  return true;
}

}  // namespace qvr::data
