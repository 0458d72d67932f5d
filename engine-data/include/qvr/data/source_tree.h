#pragma once
// Adds files and folders from disk to a burner's tree as the compilation
// would hand them over: names cut to 106 characters (a file keeps its
// extension), ";" written as "_", links back into a folder skipped. A name
// that exists already is skipped, unless it is an imported entry of an
// earlier session: the new file replaces it and a folder merges with it.

#include <functional>
#include <set>
#include <string>
#include <utility>

#include <sys/stat.h>
#include <sys/types.h>

#include "qvr/data/disc_burner.h"

namespace qvr::data {

class SourceTreeWalker {
 public:
  using Warn = std::function<void(const std::string& text)>;
  SourceTreeWalker(TDiscBurner& burner, Warn warn) : burner_(burner), warn_(std::move(warn)) {}

  // False when path cannot be found or a folder cannot be read.
  bool AddPath(const std::string& path, std::string* error);

 private:
  bool AddEntry(TDirEntry* parent, const std::string& path, const std::string& rawName, const struct stat& st,
                std::string* error);
  bool AddFolderContents(TDirEntry* dir, const std::string& path, std::string* error);

  TDiscBurner& burner_;
  Warn warn_;
  std::set<std::pair<dev_t, ino_t>> visiting_;
};

// The compilation's name rule for one item name.
std::u16string CompilationItemName(std::u16string name, bool isFolder);

}  // namespace qvr::data
