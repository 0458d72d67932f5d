// qvr build-iso: builds an ISO image from files and folders, as the
// compilation would hand them to the data engine.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "qvr/cli/cli.h"
#include "qvr/data/disc_burner.h"
#include "qvr/data/source_files.h"
#include "qvr/data/text.h"

namespace qvr::cli {

namespace {

using data::TDiscBurner;
using data::TDirEntry;

constexpr std::size_t kMaxItemName = 106;

struct Options {
  std::string output;
  std::string volumeId;
  bool joliet = true, iso1999 = false, udf = false, quiet = false;
  std::string boot;
  uint32_t cacheMiB = 32;
  std::vector<std::string> paths;
};

const char kUsage[] =
    "Usage: qvr build-iso -o FILE [--volume-id TEXT] [--no-joliet] [--iso9660-1999] [--udf]\n"
    "                     [--boot FILE] [--cache-mb N] [--quiet] PATH...\n";

bool ParseOptions(const std::vector<std::string>& args, Options& o, std::ostream& err) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        err << "qvr build-iso: " << a << " needs a value\n";
        return false;
      }
      into = args[++i];
      return true;
    };
    if (a == "-o" || a == "--output") {
      if (!value(o.output)) return false;
    } else if (a == "--volume-id") {
      if (!value(o.volumeId)) return false;
    } else if (a == "--boot") {
      if (!value(o.boot)) return false;
    } else if (a == "--cache-mb") {
      std::string n;
      if (!value(n)) return false;
      char* end = nullptr;
      const unsigned long mib = std::strtoul(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || mib == 0 || mib > 625) {
        err << "qvr build-iso: --cache-mb takes a number from 1 to 625\n";
        return false;
      }
      o.cacheMiB = static_cast<uint32_t>(mib);
    } else if (a == "--no-joliet") {
      o.joliet = false;
    } else if (a == "--iso9660-1999") {
      o.iso1999 = true;
    } else if (a == "--udf") {
      o.udf = true;
    } else if (a == "--quiet" || a == "-q") {
      o.quiet = true;
    } else if (a == "--") {
      o.paths.insert(o.paths.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      err << "qvr build-iso: unknown option " << a << "\n";
      return false;
    } else {
      o.paths.push_back(a);
    }
  }
  if (o.output.empty() || o.paths.empty()) {
    err << kUsage;
    return false;
  }
  return true;
}

// The compilation's name rule: at most 106 characters (a file keeps its
// extension), ";" written as "_".
std::u16string ItemName(std::u16string name, bool isFolder) {
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

std::string BaseName(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class TreeWalker {
 public:
  TreeWalker(TDiscBurner& burner, const Options& o, std::ostream& err) : burner_(burner), o_(o), err_(err) {}

  bool AddPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      err_ << "qvr build-iso: cannot find " << path << "\n";
      return false;
    }
    std::string name = BaseName(path);
    if (name == "." || name == ".." || name == "/") {
      char* real = ::realpath(path.c_str(), nullptr);
      name = real ? BaseName(real) : name;
      std::free(real);
    }
    return AddEntry(burner_.Tree().Root(), path, name, st);
  }

 private:
  void Warn(const std::string& text) {
    if (!o_.quiet) err_ << "qvr build-iso: " << text << "\n";
  }

  bool AddEntry(TDirEntry* parent, const std::string& path, const std::string& rawName, const struct stat& st) {
    const bool isFolder = S_ISDIR(st.st_mode);
    if (!isFolder && !S_ISREG(st.st_mode)) {
      Warn("skipped " + path + " (not a regular file)");
      return true;
    }
    const std::u16string full = data::Utf8ToUtf16(rawName);
    const std::u16string name = ItemName(full, isFolder);
    if (name.size() != full.size()) Warn("renamed " + path + " to " + data::Utf16ToUtf8(name));
    if (burner_.Tree().FindChild(parent, name)) {
      Warn("skipped " + path + " (the name exists already)");
      return true;
    }
    if (!isFolder) {
      data::FindRecord fd = data::FindRecordOf(st, rawName);
      fd.fileName = name;
      if (!burner_.AddFoundFile(parent, path, std::move(fd))) Warn("could not add " + path);
      return true;
    }
    TDirEntry* dir = burner_.AddDirectoryTo(parent, name);
    if (!dir) {
      Warn("could not add folder " + path);
      return true;
    }
    if (!visiting_.insert({st.st_dev, st.st_ino}).second) {
      Warn("skipped " + path + " (a link back into itself)");
      return true;
    }
    const bool ok = AddFolderContents(dir, path);
    visiting_.erase({st.st_dev, st.st_ino});
    return ok;
  }

  bool AddFolderContents(TDirEntry* dir, const std::string& path) {
    DIR* d = ::opendir(path.c_str());
    if (!d) {
      err_ << "qvr build-iso: cannot read folder " << path << "\n";
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
        Warn("skipped " + child + " (cannot be read)");
        continue;
      }
      if (!AddEntry(dir, child, n, st)) return false;
    }
    return true;
  }

  TDiscBurner& burner_;
  const Options& o_;
  std::ostream& err_;
  std::set<std::pair<dev_t, ino_t>> visiting_;
};

// Ctrl-C or a termination request aborts the build; the engine then removes
// the partly written image.
std::atomic<bool> gInterrupted{false};
extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

class InterruptScope {
 public:
  InterruptScope() {
    gInterrupted.store(false);
    previousInt_ = std::signal(SIGINT, OnInterrupt);
    previousTerm_ = std::signal(SIGTERM, OnInterrupt);
  }
  ~InterruptScope() {
    std::signal(SIGINT, previousInt_);
    std::signal(SIGTERM, previousTerm_);
  }

 private:
  void (*previousInt_)(int);
  void (*previousTerm_)(int);
};

void ShowProgress(std::ostream& err, uint32_t written, uint32_t total, double seconds) {
  const double fraction = total ? static_cast<double>(written) / total : 0;
  const double mb = written * 2048.0 / 1e6;
  const double rate = seconds > 0 ? mb / seconds : 0;
  const double left = rate > 0 ? (total - written) * 2048.0 / 1e6 / rate : 0;
  const int bar = static_cast<int>(fraction * 30);
  char line[160];
  std::snprintf(line, sizeof line, "\r[%-30s] %3d%%  %7.1f MB/s  %d:%02d left ", std::string(bar, '#').c_str(),
                static_cast<int>(fraction * 100), rate, static_cast<int>(left) / 60, static_cast<int>(left) % 60);
  err << line << std::flush;
}

int BuildIso(CommandContext& ctx) {
  for (const std::string& a : ctx.args)
    if (a == "--help" || a == "-h") {
      ctx.out << kUsage;
      return 0;
    }
  Options o;
  if (!ParseOptions(ctx.args, o, ctx.err)) return 2;

  TDiscBurner burner;
  burner.JolietFileSystem = o.joliet;
  burner.ISO9660v1999FS = o.iso1999;
  burner.UDFBridge = o.udf;
  burner.SetCacheSize(o.cacheMiB);
  burner.SetVolumeID(o.volumeId);
  burner.ClearAll();
  if (!o.boot.empty()) {
    burner.SetBootImage(o.boot);
    if (burner.BootImage() != o.boot) {
      ctx.err << "qvr build-iso: boot image " << o.boot
              << " must be a file of 2048, 1228800, 1474560 or 2949120 bytes\n";
      return 1;
    }
  }
  TreeWalker walker(burner, o, ctx.err);
  for (const std::string& p : o.paths)
    if (!walker.AddPath(p)) return 1;

  burner.PrepareImage();
  std::mutex m;
  std::condition_variable cv;
  bool done = false, failed = false;
  burner.OnWriteDone = [&](const void*, uint8_t, bool writeFailed) {
    std::lock_guard lock(m);
    done = true;
    failed = writeFailed;
    cv.notify_all();
  };
  const InterruptScope interrupts;
  const auto start = std::chrono::steady_clock::now();
  const bool progress = !o.quiet && &ctx.err == &std::cerr && ::isatty(STDERR_FILENO);
  if (!burner.SaveImageFile(o.output)) {
    ctx.err << "qvr build-iso: " << burner.GetErrorText() << "\n";
    return 1;
  }
  {
    std::unique_lock lock(m);
    while (!cv.wait_for(lock, std::chrono::milliseconds(250), [&] { return done; })) {
      if (gInterrupted.load()) burner.Abort();
      if (progress)
        ShowProgress(ctx.err, burner.GetWrittenSectors(), burner.GetImageSectors(),
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
  }
  burner.WaitIdle();
  if (progress) ctx.err << "\n";
  if (failed) {
    ctx.err << "qvr build-iso: " << burner.GetErrorText() << "\n";
    return 1;
  }
  if (!o.quiet) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ctx.out << "Wrote " << o.output << ": " << burner.GetImageSectors() << " sectors, " << burner.GetFileCount()
            << " entries, " << (burner.GetImageSectors() * 2048.0 / 1e6) / std::max(seconds, 1e-3)
            << " MB/s\n";
  }
  return 0;
}

const Registrar kBuildIso({"build-iso", "build an ISO 9660/Joliet image from files and folders", BuildIso});

}  // namespace

}  // namespace qvr::cli
