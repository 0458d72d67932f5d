// Images built by qvr build-iso, read back by independent tools.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <set>
#include <sstream>

#include "qvr/cli/cli.h"
#include "test_support.h"

namespace qvr::data {
namespace {

namespace fs = std::filesystem;
using test::HaveTool;
using test::Quote;
using test::RunTool;
using test::TempDir;
using test::WriteFile;

#define REQUIRE_TOOL(name) \
  if (!HaveTool(name)) GTEST_SKIP() << name << " is not installed"

struct Outcome {
  int code;
  std::string out, err;
};

Outcome BuildIso(std::vector<std::string> args) {
  args.insert(args.begin(), {"build-iso", "--quiet"});
  std::ostringstream out, err;
  const int code = cli::Run(args, out, err);
  return {code, out.str(), err.str()};
}

std::string Content(std::size_t size, unsigned seed) {
  std::string s(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

// Awkward names: spaces, non-ASCII, a shared 12-character prefix, 60
// siblings with 40-byte ISO records, 0/1/2048-byte files, 8 levels deep.
void MakeAwkwardTree(const fs::path& root) {
  unsigned seed = 1;
  auto put = [&](const std::string& rel, std::size_t size) { WriteFile((root / rel).string(), Content(size, seed++)); };
  put("with spaces/file with spaces.txt", 100);
  put("\u00dcn\u00efc\u00f6d\u00e9 \u6587\u4ef6/\u65e5\u672c\u8a9e\u306e\u30d5\u30a1\u30a4\u30eb.txt", 3000);
  put("\u00e9moji \U0001F600.bin", 77);
  for (int i = 1; i <= 20; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "photos/Photo 2020-01-%02d.jpg", i);
    put(name, 500 + i);
  }
  for (int i = 0; i < 60; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "sixty/F%02d.TXT", i);
    put(name, static_cast<std::size_t>(i));
  }
  put("sizes/zero", 0);
  put("sizes/one", 1);
  put("sizes/sector", 2048);
  put("sizes/sector plus one", 2049);
  put("l1/l2/l3/l4/l5/l6/l7/l8/deep.txt", 123);
  put(".hidden", 5);
  put("with spaces/.also hidden", 5);
  fs::create_directories(root / "empty folder");
}

// Relative path -> content of every regular file below root (dot entries skipped),
// plus directories mapped to "<dir>".
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    if (it->path().filename().string().front() == '.') {
      if (it->is_directory()) it.disable_recursion_pending();
      continue;
    }
    const std::string rel = fs::relative(it->path(), root).string();
    if (it->is_directory()) files[rel] = "<dir>";
    else {
      const auto bytes = test::ReadBytes(it->path().string());
      files[rel] = std::string(bytes.begin(), bytes.end());
    }
  }
  return files;
}

std::multiset<std::string> Contents(const std::map<std::string, std::string>& snapshot) {
  std::multiset<std::string> out;
  for (const auto& [path, content] : snapshot)
    if (content != "<dir>") out.insert(content);
  return out;
}

constexpr const char* kWalker = R"(
import pycdlib, re, sys
iso = pycdlib.PyCdlib()
iso.open(sys.argv[1])
file_re = re.compile(r'^[A-Z0-9_]{1,8}\.[A-Z0-9_]{0,3}$')
dir_re = re.compile(r'^[A-Z0-9_]{1,8}$')
for kind in sys.argv[2:]:
    for path, dirs, files in iso.walk(**{kind: '/'}):
        base = '' if path == '/' else path[1:] + '/'
        if kind == 'iso_path':
            keys = set()
            for d in dirs:
                if not dir_re.match(d): print('BAD', path, d)
                keys.add(d)
            for f in files:
                name = f.split(';')[0]
                if not file_re.match(name) and not file_re.match(name + '.'): print('BAD', path, f)
                keys.add(name.rstrip('.'))
            if len(keys) != len(dirs) + len(files): print('DUPLICATE', path)
        for d in dirs: print(kind, base + d + '/')
        for f in files: print(kind, base + f)
)";

class AwkwardTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    MakeAwkwardTree(dir_->path() / "src" / "Awkward");
    const Outcome built = BuildIso({"-o", *dir_ / "awkward.iso", "--udf", "--volume-id", "Awkward Names",
                                    (dir_->path() / "src" / "Awkward").string()});
    ASSERT_EQ(built.code, 0) << built.err;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Image() { return *dir_ / "awkward.iso"; }
  static std::map<std::string, std::string> Source() { return Snapshot(dir_->path() / "src"); }
  static TempDir* dir_;
};
TempDir* AwkwardTree::dir_ = nullptr;

TEST_F(AwkwardTree, JolietViewExtractsIdenticalWithBsdtar) {
  REQUIRE_TOOL("bsdtar");
  const std::string out = *dir_ / "joliet";
  fs::create_directories(out);
  const auto r = RunTool("bsdtar -x -C " + Quote(out) + " -f " + Quote(Image()));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(Snapshot(out), Source());
}

TEST_F(AwkwardTree, UdfViewExtractsIdenticalWith7z) {
  REQUIRE_TOOL("7z");
  const std::string out = *dir_ / "udf";
  const auto r = RunTool("7z x -y -o" + Quote(out) + " " + Quote(Image()));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(Snapshot(out), Source());
}

TEST_F(AwkwardTree, IsoViewHoldsEveryFileUnderValidUniqueNames) {
  REQUIRE_TOOL("bsdtar");
  const std::string out = *dir_ / "iso";
  fs::create_directories(out);
  const auto r = RunTool("bsdtar --options 'iso9660:!joliet' -x -C " + Quote(out) + " -f " + Quote(Image()));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(Contents(Snapshot(out)), Contents(Source()));

  const std::string python = test::PythonWithPycdlib();
  if (python.empty()) GTEST_SKIP() << "python3-pycdlib is not installed";
  WriteFile(*dir_ / "walk.py", kWalker);
  const auto walk = RunTool(python + " " + Quote(*dir_ / "walk.py") + " " + Quote(Image()) + " iso_path joliet_path udf_path");
  ASSERT_EQ(walk.code, 0) << walk.output;
  EXPECT_EQ(walk.output.find("BAD"), std::string::npos) << walk.output;
  EXPECT_EQ(walk.output.find("DUPLICATE"), std::string::npos) << walk.output;
  std::set<std::string> expected;
  for (const auto& [path, content] : Source()) expected.insert(path + (content == "<dir>" ? "/" : ""));
  std::map<std::string, std::set<std::string>> seen;
  std::istringstream lines(walk.output);
  for (std::string kind, path; lines >> kind && std::getline(lines >> std::ws, path);) seen[kind].insert(path);
  EXPECT_EQ(seen["joliet_path"], expected);
  EXPECT_EQ(seen["udf_path"], expected);
  EXPECT_EQ(seen["iso_path"].size(), expected.size());
}

TEST_F(AwkwardTree, IsoinfoXorrisoAndUdfinfoAgree) {
  REQUIRE_TOOL("isoinfo");
  const auto d = RunTool("isoinfo -d -i " + Quote(Image()));
  EXPECT_NE(d.output.find("Volume id: AWKWARD NAMES"), std::string::npos) << d.output;
  EXPECT_NE(d.output.find("Joliet with UCS level 1 found"), std::string::npos) << d.output;
  const auto l = RunTool("isoinfo -l -i " + Quote(Image()));
  EXPECT_EQ(l.code, 0);
  EXPECT_NE(l.output.find("F59.TXT"), std::string::npos);
  const auto j = RunTool("isoinfo -J -l -i " + Quote(Image()));
  EXPECT_NE(j.output.find("file with spaces.txt"), std::string::npos) << j.output;

  REQUIRE_TOOL("xorriso");
  const auto find = RunTool("xorriso -indev " + Quote(Image()) + " -find / 2>/dev/null");
  EXPECT_EQ(find.code, 0) << find.output;
  for (const auto& [path, content] : Source()) EXPECT_NE(find.output.find("'/" + path + "'"), std::string::npos) << path;

  REQUIRE_TOOL("udfinfo");
  const auto info = RunTool("udfinfo " + Quote(Image()));
  EXPECT_EQ(info.code, 0) << info.output;
  std::size_t files = 0, dirs = 1;
  for (const auto& [path, content] : Source()) (content == "<dir>" ? dirs : files)++;
  EXPECT_NE(info.output.find("numfiles=" + std::to_string(files) + "\n"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("numdirs=" + std::to_string(dirs) + "\n"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("label=Awkward Names"), std::string::npos);
}

// Reads a file from stdin and checks it is zero but for "MARK!" at the given
// offsets, and of the given length; the sparse source is never read again.
constexpr const char* kMarkChecker = R"(
import sys
size = int(sys.argv[1]); marks = [int(x) for x in sys.argv[2:]]
CH = 1 << 24; zero = bytes(CH); pos = 0; inp = sys.stdin.buffer
while True:
    chunk = inp.read(CH)
    if not chunk: break
    near = [m for m in marks if pos - 5 < m < pos + len(chunk)]
    exp = zero if len(chunk) == CH and not near else bytearray(len(chunk))
    for m in near:
        for i, c in enumerate(b'MARK!'):
            if pos <= m + i < pos + len(chunk): exp[m + i - pos] = c
    if chunk != exp: print('differs near', pos); sys.exit(1)
    pos += len(chunk)
if pos != size: print('length', pos); sys.exit(1)
)";

TEST(LargeFile, MoreThanFourGibibytesReadsBackWholeFromIsoAndJoliet) {
  REQUIRE_TOOL("bsdtar");
  TempDir dir;
  const std::string source = dir / "src/huge.bin";
  const uint64_t size = (4ull << 30) + 3000;
  const uint64_t marks[] = {0, (4ull << 30) - 2053, (4ull << 30) - 2048, 4ull << 30, size - 5};
  fs::create_directories(dir / "src");
  {
    FILE* f = std::fopen(source.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (uint64_t at : marks) {
      ASSERT_EQ(fseeko(f, static_cast<off_t>(at), SEEK_SET), 0);
      std::fwrite("MARK!", 1, 5, f);
    }
    ASSERT_EQ(ftruncate(fileno(f), static_cast<off_t>(size)), 0);
    std::fclose(f);
  }
  WriteFile(dir / "src/after.txt", "after");
  WriteFile(dir / "check.py", kMarkChecker);
  std::string checker = "/usr/bin/env python3 " + Quote(dir / "check.py") + " " + std::to_string(size);
  for (uint64_t at : marks) checker += " " + std::to_string(at);

  const Outcome built = BuildIso({"-o", dir / "big.iso", dir / "src"});
  ASSERT_EQ(built.code, 0) << built.err;
  for (const char* view : {"src/huge.bin", "SRC/HUGE.BIN"}) {
    const std::string options = view[0] == 'S' ? "--options 'iso9660:!joliet' " : "";
    const auto r = RunTool("bash -c " + Quote("set -o pipefail; bsdtar " + options + "-xOf " + Quote(dir / "big.iso") +
                                              " " + view + " | " + checker));
    EXPECT_EQ(r.code, 0) << view << ": " << r.output;
  }
  const auto after = RunTool("bsdtar -xOf " + Quote(dir / "big.iso") + " src/after.txt");
  EXPECT_EQ(after.output, "after") << "the file behind the large one is in place";
}

TEST(BuildIsoOptions, BootImageWithUdfAndIso9660v1999) {
  REQUIRE_TOOL("isoinfo");
  TempDir dir;
  WriteFile(dir / "boot.img", Content(2048, 9));
  WriteFile(dir / "src/Long Name Folder/a long file name.txt", "text");
  const std::string longName(120 - 4, 'n');
  WriteFile(dir / ("src/" + longName + ".mp3"), "mp3");
  const Outcome built =
      BuildIso({"-o", dir / "boot.iso", "--udf", "--boot", dir / "boot.img", "--volume-id", "Boot", dir / "src"});
  ASSERT_EQ(built.code, 0) << built.err;
  const auto d = RunTool("isoinfo -d -i " + Quote(dir / "boot.iso"));
  EXPECT_NE(d.output.find("El Torito"), std::string::npos) << d.output;
  const auto j = RunTool("isoinfo -J -l -i " + Quote(dir / "boot.iso"));
  EXPECT_NE(j.output.find(std::string(102, 'n') + ".mp3"), std::string::npos) << "106-character rule keeps the extension";
  if (HaveTool("7z")) {
    const auto u = RunTool("7z x -y -o" + Quote(dir / "udf") + " " + Quote(dir / "boot.iso"));
    EXPECT_EQ(u.code, 0) << u.output;
    EXPECT_TRUE(fs::exists(dir / "udf/src/Long Name Folder/a long file name.txt")) << "UDF area after the boot image";
  }

  const Outcome plain = BuildIso({"-o", dir / "v2.iso", "--no-joliet", "--iso9660-1999", dir / "src"});
  ASSERT_EQ(plain.code, 0) << plain.err;
  const auto l = RunTool("isoinfo -l -i " + Quote(dir / "v2.iso"));
  EXPECT_NE(l.output.find("a long file name.txt"), std::string::npos) << l.output;
  EXPECT_NE(RunTool("isoinfo -d -i " + Quote(dir / "v2.iso")).output.find("NO Joliet present"), std::string::npos);
}

TEST(BuildIsoOptions, FailuresExitNonZeroAndLeaveNoImage) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "a");
  WriteFile(dir / "bad.img", "short");
  const struct {
    std::vector<std::string> args;
    std::string message;
    int code;
  } cases[] = {
      {{"-o", dir / "x.iso", dir / "missing"}, "cannot find", 1},
      {{"-o", dir / "x.iso", "--boot", dir / "bad.img", dir / "src"}, "boot image", 1},
      {{"-o", dir / "no/folder/x.iso", dir / "src"}, "Error creating file", 1},
      {{"-o", dir / "x.iso", "--cache-mb", "lots", dir / "src"}, "--cache-mb", 2},
      {{"-o", dir / "x.iso"}, "Usage", 2},
      {{dir / "src"}, "Usage", 2},
  };
  for (const auto& c : cases) {
    const Outcome r = BuildIso(c.args);
    EXPECT_EQ(r.code, c.code) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "x.iso"));
  }
}

}  // namespace
}  // namespace qvr::data
