#include "qvr/data/image_tree.h"

#include <algorithm>
#include <ctime>

#include "qvr/data/text.h"

namespace qvr::data {

ImageTree::ImageTree() { ClearAll(); }
ImageTree::~ImageTree() = default;

void ImageTree::ClearAll() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const long offset = local.tm_gmtoff;
  GMTOffset = static_cast<int32_t>(offset >= 0 ? offset / 900 : -((-offset + 899) / 900));

  files_.clear();
  directories_.clear();
  pathTableOrder_.clear();
  auto root = std::make_unique<TDirEntry>();
  root->Parent = root.get();
  root->ShortName = "ROOT_DIR";
  root->Number = 1;
  pathTableOrder_.push_back(root.get());
  directories_.push_back(std::move(root));
  Prepared = false;
}

BrokenDownTime ImageTree::LocalTime(int64_t utcSeconds) const {
  const std::time_t t = static_cast<std::time_t>(utcSeconds + int64_t{GMTOffset} * 900);
  std::tm tm{};
  gmtime_r(&t, &tm);
  BrokenDownTime b;
  b.year = static_cast<uint16_t>(std::clamp(tm.tm_year + 1900, 0, 65535));
  b.month = static_cast<uint16_t>(tm.tm_mon + 1);
  b.dayOfWeek = static_cast<uint16_t>(tm.tm_wday);
  b.day = static_cast<uint16_t>(tm.tm_mday);
  b.hour = static_cast<uint16_t>(tm.tm_hour);
  b.minute = static_cast<uint16_t>(tm.tm_min);
  b.second = static_cast<uint16_t>(tm.tm_sec);
  return b;
}

void ImageTree::ReleaseNames(TFileEntry& e) {
  DirectoryNames& n = e.Parent->names;
  n.iso.Release(e.ShortName);
  n.iso1999.Release(e.Iso1999Name);
  n.joliet.Release(e.JolietName);
}

void ImageTree::FillNames(TFileEntry& e, const FindRecord& fd, bool isDirectory) {
  DirectoryNames& n = e.Parent->names;
  e.ShortName = ClaimIsoShortName(n.iso, fd.fileName, fd.alternateName, isDirectory);
  e.Iso1999Name = ClaimIso1999Name(n.iso1999, fd.fileName, isDirectory);
  e.JolietName = ClaimJolietName(n.joliet, fd.fileName, isDirectory);
  if (e.UDFName.empty()) e.UDFName = ClaimUdfName(n.udf, fd.fileName, isDirectory);
}

AddResult ImageTree::AddEntry(TDirEntry* dir, const FindRecord& fd, bool useWideOpen,
                              uint32_t importedExtent, const std::string* sourcePath) {
  if (OnAddFile) {
    bool skip = false;
    OnAddFile(nullptr, sourcePath, fd, skip);
    if (skip) return {nullptr, AddStatus::Refused};
  }
  if (fd.fileName.empty() || fd.fileName.size() > kMaxLongName) return {nullptr, AddStatus::Refused};
  const bool isDirectory = (fd.attributes & kAttrDirectory) != 0;

  TFileEntry* e = FindChild(dir, fd.fileName);
  AddStatus status = AddStatus::Added;
  if (e) {
    // Entries of the compilation win over imported ones, whatever the order
    // of adding: an imported entry only fills a free name, and a compilation
    // file replaces an imported one of the same name.
    const bool existingImported = (e->Attributes & kAttrImported) != 0;
    const bool incomingImported = (fd.attributes & kAttrImported) != 0;
    if (incomingImported && !existingImported) return {e, AddStatus::Existing};
    if (!ReplaceFile && !(existingImported && !incomingImported)) return {e, AddStatus::Existing};
    // A file never turns into a directory in place, nor the reverse.
    if (e->IsDirectory() != isDirectory) return {nullptr, AddStatus::Refused};
    ReleaseNames(*e);
    status = AddStatus::Replaced;
  } else {
    if (files_.size() >= kMaxFiles) return {nullptr, AddStatus::Refused};
    auto fresh = std::make_unique<TFileEntry>();
    e = fresh.get();
    e->Parent = dir;
    e->Index = static_cast<int32_t>(files_.size());
    files_.push_back(std::move(fresh));
    if (dir->LastChild) dir->LastChild->Next = e;
    else dir->FirstChild = e;
    dir->LastChild = e;
    dir->names.byLongName.emplace(FoldCase(fd.fileName), e);
  }
  Prepared = false;

  e->LongName = fd.fileName;
  FillNames(*e, fd, isDirectory);
  e->ModifyTime = LocalTime(fd.lastWriteTime);
  e->Size = isDirectory ? 0 : fd.size;
  if (sourcePath == nullptr) e->SourcePath.clear();
  else if (!sourcePath->empty()) e->SourcePath = *sourcePath;
  e->UseWideOpen = useWideOpen;
  e->Extent = importedExtent;
  e->ExtentIsAbsolute = importedExtent != 0;
  e->Attributes = fd.attributes;
  return {e, status};
}

TDirEntry* ImageTree::AddDirectoryEntry(TDirEntry* parent, const FindRecord& fd) {
  if (TFileEntry* existing = FindChild(parent, fd.fileName))
    return existing->IsDirectory() ? existing->Directory : nullptr;
  if (directories_.size() >= kMaxDirectories) return nullptr;
  FindRecord record = fd;
  record.attributes |= kAttrDirectory;
  const AddResult added = AddEntry(parent, record, true, 0, nullptr);
  if (added.status != AddStatus::Added) return nullptr;

  auto dir = std::make_unique<TDirEntry>();
  dir->Parent = parent;
  dir->Entry = added.entry;
  dir->LongName = record.fileName;
  dir->ShortName = added.entry->ShortName;
  added.entry->Directory = dir.get();
  pathTableOrder_.push_back(dir.get());
  directories_.push_back(std::move(dir));
  return added.entry->Directory;
}

TFileEntry* ImageTree::FindChild(const TDirEntry* dir, std::u16string_view longName) const {
  const auto& index = dir->names.byLongName;
  const auto it = index.find(FoldCase(longName));
  return it == index.end() ? nullptr : it->second;
}

TDirEntry* ImageTree::FindDirectory(std::u16string_view path) const {
  TDirEntry* dir = Root();
  std::size_t pos = 0;
  while (pos < path.size()) {
    if (path[pos] == u'\\') {
      ++pos;
      continue;
    }
    std::size_t end = path.find(u'\\', pos);
    if (end == std::u16string_view::npos) end = path.size();
    TFileEntry* child = FindChild(dir, path.substr(pos, end - pos));
    if (!child || !child->IsDirectory()) return nullptr;
    dir = child->Directory;
    pos = end;
  }
  return dir;
}

std::u16string ImageTree::DirectoryPath(const TDirEntry* dir) const {
  std::vector<const TDirEntry*> chain;
  for (const TDirEntry* d = dir; d != d->Parent; d = d->Parent) chain.push_back(d);
  std::u16string path = u"\\";
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += (*it)->LongName;
    path += u'\\';
  }
  return path;
}

void ImageTree::SortDirectories() {
  // Child lists in ISO identifier order (ASCII letters folded; identifiers are upper case).
  std::vector<TFileEntry*> children;
  for (const auto& dir : directories_) {
    children.clear();
    for (TFileEntry* c = dir->FirstChild; c; c = c->Next) children.push_back(c);
    std::stable_sort(children.begin(), children.end(),
                     [](const TFileEntry* a, const TFileEntry* b) { return a->ShortName < b->ShortName; });
    TFileEntry* prev = nullptr;
    for (TFileEntry* c : children) {
      if (prev) prev->Next = c;
      else dir->FirstChild = c;
      prev = c;
    }
    if (prev) prev->Next = nullptr;
    dir->LastChild = prev;
  }

  // Path-table order: breadth first; the subdirectories of one parent by long
  // name. This is the order in which both the parent numbers and the
  // directories' own numbers ascend, so it is numbered once.
  pathTableOrder_.clear();
  TDirEntry* root = Root();
  root->Depth = 0;
  pathTableOrder_.push_back(root);
  std::vector<TDirEntry*> subdirs;
  for (std::size_t i = 0; i < pathTableOrder_.size(); ++i) {
    TDirEntry* parent = pathTableOrder_[i];
    parent->Number = static_cast<uint16_t>(i + 1);
    subdirs.clear();
    for (TFileEntry* c = parent->FirstChild; c; c = c->Next)
      if (c->IsDirectory()) subdirs.push_back(c->Directory);
    std::sort(subdirs.begin(), subdirs.end(),
              [](const TDirEntry* a, const TDirEntry* b) { return a->LongName < b->LongName; });
    for (TDirEntry* d : subdirs) {
      d->Depth = static_cast<uint16_t>(parent->Depth + 1);
      pathTableOrder_.push_back(d);
    }
  }
}

}  // namespace qvr::data
