// qvr build-iso: builds an ISO image from files and folders, as the
// compilation would hand them to the data engine.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "qvr/cli/cli.h"
#include "qvr/cli/interrupt_scope.h"
#include "qvr/data/disc_burner.h"
#include "qvr/data/source_tree.h"
#include "qvr/data/text.h"

namespace qvr::cli {

namespace {

using data::TDiscBurner;
using data::TDirEntry;


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
  data::SourceTreeWalker walker(burner, [&](const std::string& text) {
    if (!o.quiet) ctx.err << "qvr build-iso: " << text << "\n";
  });
  for (const std::string& p : o.paths) {
    std::string error;
    if (!walker.AddPath(p, &error)) {
      ctx.err << "qvr build-iso: " << error << "\n";
      return 1;
    }
  }

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
      if (InterruptScope::Requested()) burner.Abort();
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
