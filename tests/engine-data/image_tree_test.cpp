#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "qvr/data/image_tree.h"
#include "qvr/data/iso_names.h"
#include "qvr/data/text.h"

namespace qvr::data {
namespace {

FindRecord File(std::u16string name, uint64_t size = 10, std::u16string shortName = {}) {
  FindRecord fd;
  fd.fileName = std::move(name);
  fd.alternateName = std::move(shortName);
  fd.size = size;
  fd.attributes = kAttrArchive;
  return fd;
}

FindRecord Dir(std::u16string name) {
  FindRecord fd;
  fd.fileName = std::move(name);
  fd.attributes = kAttrDirectory;
  return fd;
}

TFileEntry* AddFile(ImageTree& tree, TDirEntry* dir, const std::u16string& name, uint64_t size = 10,
                    const std::u16string& shortName = {}) {
  const std::string source = "/src/" + Utf16ToUtf8(name);
  return tree.AddEntry(dir, File(name, size, shortName), true, 0, &source).entry;
}

bool ValidIsoName(const std::string& name, bool isDirectory) {
  static const std::regex file("^[A-Z0-9_]{1,8}\\.[A-Z0-9_]{0,3}$"), dir("^[A-Z0-9_]{1,8}$");
  return std::regex_match(name, isDirectory ? dir : file);
}

TEST(IsoNames, MadeFromLongNamesAreValidAndUniqueInTheirDirectory) {
  ImageTree tree;
  const std::u16string names[] = {
      u"Photo 2020-01-01.jpg", u"Photo 2020-01-02.jpg", u"photo 2020-01-03.JPG", u"r\u00e9sum\u00e9.docx",
      u"\u65e5\u672c\u8a9e.txt", u"\u65e5\u672c\u8a9e2.txt", u".bashrc", u"a.b.c.tar.gz", u"no extension",
      u"no-extension", u"README", u"PHOTO_20.JPG", u"x.verylongextension", u"\U0001F600.png"};
  std::set<std::string> seen;
  for (const auto& n : names) {
    TFileEntry* e = AddFile(tree, tree.Root(), n);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(ValidIsoName(e->ShortName, false)) << e->ShortName;
    std::string key = e->ShortName;
    if (key.back() == '.') key.pop_back();
    EXPECT_TRUE(seen.insert(key).second) << "duplicate " << e->ShortName;
  }
  for (const auto& n : {u"Documents and Settings", u"Documents 2", u"v1.2", u"README"}) {
    TDirEntry* d = tree.AddDirectoryEntry(tree.Root(), Dir(n));
    if (std::u16string(n) == u"README") {
      EXPECT_EQ(d, nullptr) << "a file already holds the name";
      continue;
    }
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(ValidIsoName(d->ShortName, true)) << d->ShortName;
    EXPECT_TRUE(seen.insert(d->ShortName).second) << "duplicate " << d->ShortName;
  }

  const auto shortOf = [&](const std::u16string& n) { return tree.FindChild(tree.Root(), n)->ShortName; };
  EXPECT_EQ(shortOf(u"Photo 2020-01-01.jpg"), "PHOTO_20.JPG");
  EXPECT_EQ(shortOf(u"r\u00e9sum\u00e9.docx"), "RESUME.DOC");
  EXPECT_EQ(shortOf(u"README"), "README.");
}

TEST(IsoNames, CallerShortNameIsKeptWhenValidAndFree) {
  ImageTree tree;
  struct Case {
    std::u16string longName, shortName;
    std::string expected;
  } cases[] = {
      {u"Long Readme File.txt", u"readme.txt", "README.TXT"},
      {u"Other Readme.txt", u"README.TXT", "OTHER_RE.TXT"},  // taken: made from the long name
      {u"spaces.txt", u"BAD NAME.TXT", "SPACES.TXT"},        // invalid: made from the long name
      {u"plain", u"PLAIN", "PLAIN."},                        // a file always carries a "."
  };
  for (const Case& c : cases)
    EXPECT_EQ(AddFile(tree, tree.Root(), c.longName, 1, c.shortName)->ShortName, c.expected)
        << Utf16ToUtf8(c.longName);
  TDirEntry* readme = tree.AddDirectoryEntry(tree.Root(), [] {
    FindRecord fd = Dir(u"README");
    fd.alternateName = u"README";
    return fd;
  }());
  ASSERT_NE(readme, nullptr);
  EXPECT_EQ(readme->ShortName, "README");
}

TEST(JolietAndUdfNames, IllegalCharactersLengthAndCollisions) {
  ImageTree tree;
  const std::u16string longName = std::u16string(150, u'n') + u".txt";
  struct Case {
    std::u16string name;
    std::u16string joliet;
    std::u16string udf;
  } cases[] = {
      {u"a*b?c.txt", u"a_b_c.txt", u"a*b?c.txt"},
      {u"x:y;z\\w", u"x_y_z_w", u"x:y;z\\w"},
      {u"a?b:c.txt", u"a_b_c_1.txt", u"a?b:c.txt"},  // collides with the first after mapping
      {u"tab\there", u"tab_here", u"tab\there"},
  };
  for (const Case& c : cases) {
    TFileEntry* e = AddFile(tree, tree.Root(), c.name);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->JolietName, c.joliet);
    EXPECT_EQ(e->UDFName, c.udf);
  }
  TFileEntry* e = AddFile(tree, tree.Root(), longName);
  EXPECT_EQ(e->LongName, longName);
  EXPECT_LE(e->JolietName.size(), kJolietMaxUnits);
  EXPECT_LE(e->UDFName.size(), kUdfMaxUnits);
  EXPECT_EQ(e->JolietName.substr(e->JolietName.size() - 4), u".txt");
  EXPECT_EQ(e->UDFName.substr(e->UDFName.size() - 4), u".txt");
}

TEST(ImageTree, SameNameTwiceHonoursReplaceFile) {
  for (bool replace : {false, true}) {
    ImageTree tree;
    tree.ReplaceFile = replace;
    TFileEntry* first = AddFile(tree, tree.Root(), u"Same.txt", 100);
    AddFile(tree, tree.Root(), u"other.txt", 1);
    const std::string newSource = "/elsewhere/same.txt";
    const AddResult again = tree.AddEntry(tree.Root(), File(u"SAME.TXT", 200), true, 0, &newSource);
    EXPECT_EQ(again.entry, first);
    EXPECT_EQ(again.status, replace ? AddStatus::Replaced : AddStatus::Existing);
    EXPECT_EQ(first->Size, replace ? 200u : 100u);
    EXPECT_EQ(first->SourcePath, replace ? newSource : "/src/Same.txt");
    EXPECT_EQ(first->Index, 0) << "a refilled entry keeps its place";
    EXPECT_EQ(tree.Root()->FirstChild, first);
    EXPECT_EQ(tree.Files().size(), 2u);
  }
}

TEST(ImageTree, RefusesLongNamesSkippedEntriesAndFullTables) {
  ImageTree tree;
  EXPECT_NE(AddFile(tree, tree.Root(), std::u16string(217, u'a')), nullptr);
  const AddResult tooLong = tree.AddEntry(tree.Root(), File(std::u16string(218, u'b')), true, 0, nullptr);
  EXPECT_EQ(tooLong.status, AddStatus::Refused);
  EXPECT_EQ(tooLong.entry, nullptr);

  std::vector<const std::string*> seenPaths;
  tree.OnAddFile = [&](const void* sender, const std::string* path, const FindRecord& fd, bool& skip) {
    EXPECT_EQ(sender, nullptr);
    seenPaths.push_back(path);
    skip = fd.fileName == u"skip.me";
  };
  const std::string source = "/src/skip.me";
  EXPECT_EQ(tree.AddEntry(tree.Root(), File(u"skip.me"), true, 0, &source).status, AddStatus::Refused);
  EXPECT_NE(tree.AddDirectoryEntry(tree.Root(), Dir(u"kept")), nullptr);
  ASSERT_EQ(seenPaths.size(), 2u);
  EXPECT_EQ(seenPaths[0], &source);
  EXPECT_EQ(seenPaths[1], nullptr) << "directories have no source path";
  tree.OnAddFile = nullptr;

  while (tree.Directories().size() < ImageTree::kMaxDirectories)
    ASSERT_NE(tree.AddDirectoryEntry(tree.Root(), Dir(u"d" + Utf8ToUtf16(std::to_string(tree.Directories().size())))),
              nullptr);
  const std::size_t entries = tree.Files().size();
  EXPECT_EQ(tree.AddDirectoryEntry(tree.Root(), Dir(u"one too many")), nullptr);
  EXPECT_EQ(tree.Files().size(), entries) << "a refused directory leaves no entry behind";

  while (tree.Files().size() < ImageTree::kMaxFiles)
    ASSERT_NE(AddFile(tree, tree.Root(), u"f" + Utf8ToUtf16(std::to_string(tree.Files().size()))), nullptr);
  const AddResult full = tree.AddEntry(tree.Root(), File(u"last straw"), true, 0, &source);
  EXPECT_EQ(full.status, AddStatus::Refused);
  EXPECT_EQ(full.entry, nullptr);
}

TEST(ImageTree, FindsDirectoriesByImagePath) {
  ImageTree tree;
  TDirEntry* docs = tree.AddDirectoryEntry(tree.Root(), Dir(u"docs"));
  TDirEntry* y2009 = tree.AddDirectoryEntry(docs, Dir(u"2009"));
  AddFile(tree, docs, u"file.txt");
  EXPECT_EQ(tree.AddDirectoryEntry(tree.Root(), Dir(u"DOCS")), docs) << "an existing directory is returned";
  EXPECT_EQ(tree.Directories().size(), 3u);

  const struct {
    std::u16string path;
    TDirEntry* expected;
  } cases[] = {
      {u"\\", tree.Root()},        {u"", tree.Root()},          {u"\\docs\\", docs},
      {u"docs", docs},             {u"\\Docs\\2009", y2009},    {u"\\\\docs\\\\2009\\", y2009},
      {u"\\docs\\file.txt", nullptr}, {u"\\docs\\file.txt\\x", nullptr}, {u"\\missing", nullptr},
  };
  for (const auto& c : cases) EXPECT_EQ(tree.FindDirectory(c.path), c.expected) << Utf16ToUtf8(c.path);
  EXPECT_EQ(tree.DirectoryPath(y2009), u"\\docs\\2009\\");
  EXPECT_EQ(tree.DirectoryPath(tree.Root()), u"\\");
}

TEST(ImageTree, PathTableOrderIsBreadthFirstWithSiblingsByName) {
  ImageTree tree;
  TDirEntry* b = tree.AddDirectoryEntry(tree.Root(), Dir(u"b"));
  TDirEntry* bz = tree.AddDirectoryEntry(b, Dir(u"z"));
  TDirEntry* a = tree.AddDirectoryEntry(tree.Root(), Dir(u"a"));
  TDirEntry* ay = tree.AddDirectoryEntry(a, Dir(u"y"));
  TDirEntry* ax = tree.AddDirectoryEntry(a, Dir(u"x"));
  TDirEntry* axq = tree.AddDirectoryEntry(ax, Dir(u"q"));
  tree.SortDirectories();
  const std::vector<TDirEntry*> expected = {tree.Root(), a, b, ax, ay, bz, axq};
  EXPECT_EQ(tree.PathTableOrder(), expected);
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(expected[i]->Number, i + 1);
  EXPECT_EQ(axq->Depth, 3);
  EXPECT_EQ(a->FirstChild->LongName, u"x") << "child lists in ISO name order";
}

}  // namespace
}  // namespace qvr::data
