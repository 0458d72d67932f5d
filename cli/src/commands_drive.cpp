// qvr devices, info, burn, burn-image, erase, eject, load: the data engine
// on a drive from the shell. Each takes -d NAME (a drive's name, its letter
// or its device node; default: the first recorder). Progress goes to a
// terminal; the outcome is the last line; failures exit non-zero with the
// engine's error text.

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "qvr/cli/cli.h"
#include "qvr/cli/interrupt_scope.h"
#include "qvr/data/disc_burner.h"
#include "qvr/data/drive_model.h"
#include "qvr/data/media_type.h"
#include "qvr/data/mmc_commands.h"
#include "qvr/data/sense_text.h"
#include "qvr/data/source_tree.h"
#include "qvr/data/text.h"

namespace qvr::cli {

namespace {

using data::TDiscBurner;

// A one-shot completion the engine's worker thread signals.
struct Completion {
  std::mutex m;
  std::condition_variable cv;
  bool done = false, failed = false;
  void Signal(bool f) {
    std::lock_guard lock(m);
    done = true;
    failed = f;
    cv.notify_all();
  }
  // Waits, calling tick every 250 ms; Ctrl-C aborts the burner.
  bool Wait(TDiscBurner& burner, const std::function<void()>& tick) {
    std::unique_lock lock(m);
    while (!cv.wait_for(lock, std::chrono::milliseconds(250), [this] { return done; })) {
      if (InterruptScope::Requested()) burner.Abort();
      lock.unlock();
      tick();
      lock.lock();
    }
    return failed;
  }
};

struct DriveOptions {
  std::string drive;  // -d NAME
  std::vector<std::string> rest;
};

bool TakeDriveOption(const std::vector<std::string>& args, DriveOptions& o, std::ostream& err,
                     const std::string& command) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-d" || args[i] == "--drive") {
      if (i + 1 >= args.size()) {
        err << "qvr " << command << ": -d needs a drive name, letter or device node\n";
        return false;
      }
      o.drive = args[++i];
    } else {
      o.rest.push_back(args[i]);
    }
  }
  return true;
}

int Fail(CommandContext& ctx, const std::string& command, const std::string& message) {
  ctx.err << "qvr " << command << ": " << message << "\n";
  return 1;
}

// The engine's error text, with the sense code's meaning for drive errors.
std::string ErrorText(TDiscBurner& burner) {
  uint32_t code = 0;
  std::string text = burner.GetErrorText(code);
  if (code > data::OperationAborted && code <= 0xFFFF) text += " (" + data::SenseCodeText(static_cast<uint16_t>(code)) + ")";
  return text;
}

void ApplyWaitScale(TDiscBurner& burner) {
  if (const char* scale = std::getenv("QVR_WAIT_SCALE"); scale && *scale) burner.SetWaitScale(std::atof(scale));
}

void ReportNoDrive(CommandContext& ctx, TDiscBurner& burner) {
  for (const std::string& problem : burner.AccessProblems()) ctx.err << "  " << problem << "\n";
  if (!burner.AspiError().empty()) ctx.err << "  ASPI library: " << burner.AspiError() << "\n";
}

// Initialises the drives and selects the one named (or the first recorder).
bool OpenDrive(CommandContext& ctx, const std::string& command, TDiscBurner& burner, const std::string& name) {
  ApplyWaitScale(burner);
  burner.InitializeDevices(false);
  const int count = burner.GetDeviceCount();
  if (count == 0) {
    ctx.err << "qvr " << command << ": no drive found\n";
    ReportNoDrive(ctx, burner);
    return false;
  }
  auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  for (int i = 0; i < count; ++i) {
    const data::TDeviceSlot& slot = burner.Device().Slots[static_cast<std::size_t>(i)];
    bool match;
    if (name.empty()) {
      match = burner.SelectDevice(i) && burner.IsRecorder();
    } else {
      const std::string n = upper(name);
      const bool letter = (n.size() == 1 || (n.size() == 2 && n[1] == ':')) && n[0] == slot.DriveLetter;
      match = letter || (!slot.Node.empty() && slot.Node == name) ||
              upper(slot.Description).find(n) != std::string::npos;
      if (match && !burner.SelectDevice(i)) {
        ctx.err << "qvr " << command << ": drive " << name << " does not answer\n";
        return false;
      }
    }
    if (match) return true;
  }
  ctx.err << "qvr " << command << ": "
          << (name.empty() ? std::string("no recorder found") : "no drive matches \"" + name + "\"") << "\n";
  return false;
}

std::string Megabytes(uint64_t sectors) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(sectors) * 2048 / 1e6);
  return text;
}

// One progress line: written/total MB, speed in KB/s and X, drive and software buffer.
void ShowProgress(CommandContext& ctx, TDiscBurner& burner, uint8_t media, uint32_t total, uint64_t cacheBytes) {
  if (&ctx.err != &std::cerr || !::isatty(STDERR_FILENO)) return;
  const uint32_t written = burner.GetWrittenSectors();
  const uint16_t rate = burner.GetWriteRate();
  const uint32_t driveSize = burner.GetDriveBufferSize(), driveUsed = burner.GetDriveBufferUsed();
  const int drivePercent = driveSize ? static_cast<int>(uint64_t{driveUsed} * 100 / driveSize) : 0;
  const int cachePercent = cacheBytes ? static_cast<int>(uint64_t{burner.GetCacheFill()} * 100 / cacheBytes) : 0;
  char line[200];
  std::snprintf(line, sizeof line, "\r%s/%s MB  %5u KB/s (%.1fX)  drive buffer %3d%%  buffer %3d%% ",
                Megabytes(written).c_str(), Megabytes(total).c_str(), rate, rate / data::OneXSpeed(media),
                drivePercent, cachePercent);
  ctx.err << line << std::flush;
}

void EndProgress(CommandContext& ctx) {
  if (&ctx.err == &std::cerr && ::isatty(STDERR_FILENO)) ctx.err << "\n";
}

// Waits for a burn started on burner; prints the outcome. 0 on success.
int FinishBurn(CommandContext& ctx, TDiscBurner& burner, Completion& done, uint8_t media) {
  const uint32_t total = burner.GetImageSectors();
  const uint64_t cacheBytes = uint64_t{burner.CacheSize()} << 20;
  const bool failed =
      done.Wait(burner, [&] { ShowProgress(ctx, burner, media, total, cacheBytes); });
  burner.WaitIdle();
  EndProgress(ctx);
  if (failed) {
    ctx.out << "Burn failed: " << ErrorText(burner) << "\n";
    return 1;
  }
  ctx.out << "Burn complete: " << burner.GetWrittenSectors() << " sectors (" << Megabytes(burner.GetWrittenSectors())
          << " MB) written to " << data::MediaTypeName(media) << "\n";
  return 0;
}

// ---- qvr devices ----

int Devices(CommandContext& ctx) {
  DriveOptions o;
  if (!TakeDriveOption(ctx.args, o, ctx.err, "devices")) return 2;
  TDiscBurner burner;
  ApplyWaitScale(burner);
  burner.InitializeDevices(false);
  const int count = burner.GetDeviceCount();
  for (int i = 0; i < count; ++i) {
    const bool recorder = burner.SelectDevice(i) && burner.IsRecorder();
    ctx.out << burner.Device().Slots[static_cast<std::size_t>(i)].DriveLetter << ": "
            << burner.GetDeviceName(i) << (recorder ? " [recorder]" : "") << "\n";
  }
  for (const std::string& problem : burner.AccessProblems()) ctx.out << "unusable: " << problem << "\n";
  if (count == 0) {
    ctx.out << "No drive found\n";
    if (!burner.AspiError().empty()) ctx.out << "ASPI library: " << burner.AspiError() << "\n";
    return 1;
  }
  return 0;
}

// ---- qvr info ----

const char* DiscState(int status) {
  switch (status) {
    case 0: return "blank";
    case 1: return "appendable";
    case 2: return "complete";
    default: return "random writable";
  }
}

std::string Speed(uint16_t kbs, uint8_t media) {
  char text[48];
  std::snprintf(text, sizeof text, "%u KB/s (%.0fX)", kbs, std::floor(kbs / data::OneXSpeed(media)));
  return text;
}

int Info(CommandContext& ctx) {
  DriveOptions o;
  if (!TakeDriveOption(ctx.args, o, ctx.err, "info")) return 2;
  TDiscBurner burner;
  if (!OpenDrive(ctx, "info", burner, o.drive)) return 1;
  data::TSCSIDevice& d = burner.Device();
  ctx.out << "drive: " << burner.GetDeviceName(d.SelectedSlot) << "\n";
  const uint8_t media = burner.GetMediaType();
  ctx.out << "medium: " << data::MediaTypeName(media) << " (code " << int{media} << ")\n";
  if (media != data::MediaNone) {
    const bool info = data::ReadDiscInfo(d);
    ctx.out << "state: " << (info ? DiscState(d.DiscInfo[2] & 3) : "unknown") << "\n";
    ctx.out << "sessions: " << burner.GetSessionCount() << "\n";
    ctx.out << "free sectors: " << burner.GetFreeBlocks() << "\n";
    ctx.out << "total sectors: " << burner.GetDiscCapacity() << "\n";
  }
  ctx.out << "max write speed: " << Speed(burner.GetMaxWriteSpeed(), media) << "\n";
  ctx.out << "current write speed: " << Speed(d.CurrentWriteSpeed, media) << "\n";
  ctx.out << "max read speed: " << Speed(d.MaxReadSpeed, media) << "\n";
  ctx.out << "buffer: " << d.BufferSizeKB << " KB\n";
  static const std::pair<const char*, uint8_t> kCapabilities[] = {
      {"ReadCDR", 1},        {"ReadCDRW", 2},        {"ReadDVD", 4},         {"ReadDVDRW", 5},
      {"ReadDVDR", 4},       {"ReadDVDRAM", 3},      {"ReadDVDPLUSR", 6},    {"ReadDVDPLUSRW", 7},
      {"ReadDVDPLUSRDL", 8}, {"ReadHDDVDROM", 9},    {"ReadHDDVDR", 10},     {"ReadHDDVDRAM", 11},
      {"ReadBDROM", 12},     {"ReadBDR", 13},        {"ReadBDRE", 14},       {"WriteCDR", 21},
      {"WriteCDRW", 22},     {"WriteDVDR", 24},      {"WriteDVDRAM", 23},    {"WriteDVDRW", 25},
      {"WriteDVDPLUSR", 26}, {"WriteDVDPLUSRW", 27}, {"WriteDVDPLUSRDL", 28}, {"WriteHDDVDR", 29},
      {"WriteHDDVDRAM", 30}, {"WriteBDR", 31},       {"WriteBDRE", 32},      {"WriteTest", 41},
      {"UnderrunProtection", 42}};
  for (const auto& [key, code] : kCapabilities)
    ctx.out << key << "=" << (burner.QueryDevice(code) ? "YES" : "NO") << "\n";
  ctx.out << "DeviceMaxWriteSpeed=" << burner.GetDefaultMaxWriteSpeed() << "\n";
  ctx.out << "DeviceMaxReadSpeed=" << burner.GetDefaultMaxReadSpeed() << "\n";
  ctx.out << "DeviceBufferSize=" << uint32_t{d.BufferSizeKB} * 1024 << "\n";
  return 0;
}

// ---- qvr burn ----

const char kBurnUsage[] =
    "Usage: qvr burn [-d NAME] [--volume-id TEXT] [--finalize] [--no-joliet] [--import-session N|last]\n"
    "                [--speed X] [--test-write] [--verify] [--overburn] PATH...\n";

struct BurnOptions {
  std::string volumeId;
  bool finalize = false, joliet = true, testWrite = false, verify = false, overburn = false;
  std::optional<int> importSession;  // 0 = last
  double speed = 0;
  std::vector<std::string> paths;
};

bool ParseBurn(const std::vector<std::string>& args, BurnOptions& o, std::ostream& err) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        err << "qvr burn: " << a << " needs a value\n";
        return false;
      }
      into = args[++i];
      return true;
    };
    std::string v;
    if (a == "--volume-id") {
      if (!value(o.volumeId)) return false;
    } else if (a == "--finalize") {
      o.finalize = true;
    } else if (a == "--no-joliet") {
      o.joliet = false;
    } else if (a == "--test-write") {
      o.testWrite = true;
    } else if (a == "--verify") {
      o.verify = true;
    } else if (a == "--overburn") {
      o.overburn = true;
    } else if (a == "--import-session") {
      if (!value(v)) return false;
      char* end = nullptr;
      const long n = v == "last" ? 0 : std::strtol(v.c_str(), &end, 10);
      if (v != "last" && (v.empty() || *end != '\0' || n < 1 || n > 255)) {
        err << "qvr burn: --import-session takes a session number from 1 to 255 or \"last\"\n";
        return false;
      }
      o.importSession = static_cast<int>(n);
    } else if (a == "--speed") {
      if (!value(v)) return false;
      char* end = nullptr;
      o.speed = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || o.speed < 0 || o.speed > 100) {
        err << "qvr burn: --speed takes a multiple of 1X from 0 (maximum) to 100\n";
        return false;
      }
    } else if (a == "--") {
      o.paths.insert(o.paths.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else if (!a.empty() && a[0] == '-') {
      err << "qvr burn: unknown option " << a << "\n";
      return false;
    } else {
      o.paths.push_back(a);
    }
  }
  if (o.paths.empty()) {
    err << kBurnUsage;
    return false;
  }
  return true;
}

void SetWriteSpeed(TDiscBurner& burner, double x, uint8_t media) {
  const auto kbs = static_cast<uint16_t>(std::min(65535.0, std::floor(x * data::OneXSpeed(media))));
  burner.SetSpeeds(0, kbs);
}

int Verify(CommandContext& ctx, TDiscBurner& burner) {
  Completion done;
  std::mutex m;
  std::vector<int32_t> failedFiles;
  burner.OnVerifyDone = [&](const void*, uint8_t, int32_t fileId, bool failed) {
    if (fileId < 0) return done.Signal(failed);
    if (failed) {
      std::lock_guard lock(m);
      failedFiles.push_back(fileId);
    }
  };
  burner.VerifyDisc(0, false);
  const bool failed = done.Wait(burner, [] {});
  burner.WaitIdle();
  uint32_t code = 0;
  const std::string text = burner.GetErrorText(code);
  if (code == data::OperationAborted) {
    ctx.out << "Verification aborted\n";
    return 1;
  }
  for (int32_t id : failedFiles) {
    const data::TFileEntry& e = *burner.Tree().Files()[static_cast<std::size_t>(id)];
    ctx.out << "verify failed: " << data::Utf16ToUtf8(burner.Tree().DirectoryPath(e.Parent) + e.LongName) << " ("
            << e.SourcePath << ")\n";
  }
  ctx.out << (failed ? "Verification failed: " + std::to_string(failedFiles.size()) + " file(s) differ"
                     : std::string("Verification passed"))
          << "\n";
  return failed ? 1 : 0;
}

int Burn(CommandContext& ctx) {
  DriveOptions d;
  if (!TakeDriveOption(ctx.args, d, ctx.err, "burn")) return 2;
  for (const std::string& a : d.rest)
    if (a == "--help" || a == "-h") {
      ctx.out << kBurnUsage;
      return 0;
    }
  BurnOptions o;
  if (!ParseBurn(d.rest, o, ctx.err)) return 2;
  TDiscBurner burner;
  if (!OpenDrive(ctx, "burn", burner, d.drive)) return 1;
  const uint8_t media = burner.GetMediaType();
  if (media == data::MediaNone) return Fail(ctx, "burn", "no disc in the drive");
  if (!burner.IsDiscWritable()) return Fail(ctx, "burn", "the " + data::MediaTypeName(media) + " cannot be written");
  burner.JolietFileSystem = o.joliet;
  burner.FinalizeDisc = o.finalize;
  burner.TestWrite = o.testWrite;
  burner.ClearAll();
  burner.SetReplaceFile(true);
  if (o.importSession) {
    const int sessions = burner.GetSessionCount();
    if (sessions == 0) return Fail(ctx, "burn", "the disc holds no session to import");
    if (*o.importSession > sessions)
      return Fail(ctx, "burn", "the disc holds " + std::to_string(sessions) + " session(s)");
    const int used = burner.ImportSession(static_cast<uint8_t>(*o.importSession));
    ctx.err << "imported session " << used << ": " << burner.GetFileCount() << " entries\n";
  }
  data::SourceTreeWalker walker(burner, [&ctx](const std::string& text) { ctx.err << "qvr burn: " << text << "\n"; });
  for (const std::string& p : o.paths) {
    std::string error;
    if (!walker.AddPath(p, &error)) return Fail(ctx, "burn", error);
  }
  burner.SetVolumeID(o.volumeId);
  burner.PrepareImage();
  const uint32_t needed = burner.GetImageSectors(), free = burner.GetFreeBlocks();
  if (needed > free && !o.overburn)
    return Fail(ctx, "burn", "the compilation needs " + std::to_string(needed) + " sectors, the disc has " +
                                 std::to_string(free) + " free (--overburn writes anyway)");
  if (o.speed > 0) SetWriteSpeed(burner, o.speed, media);
  Completion done;
  burner.OnWriteDone = [&done](const void*, uint8_t, bool failed) { done.Signal(failed); };
  const InterruptScope interrupts;
  if (!burner.BurnImageTree()) {
    burner.WaitIdle();
    ctx.out << "Burn failed: " << ErrorText(burner) << "\n";
    return 1;
  }
  const int result = FinishBurn(ctx, burner, done, media);
  if (result != 0 || !o.verify) return result;
  return Verify(ctx, burner);
}

// ---- qvr burn-image ----

int BurnImage(CommandContext& ctx) {
  DriveOptions d;
  if (!TakeDriveOption(ctx.args, d, ctx.err, "burn-image")) return 2;
  std::string file;
  double speed = 0;
  for (std::size_t i = 0; i < d.rest.size(); ++i) {
    if (d.rest[i] == "--speed" && i + 1 < d.rest.size()) {
      speed = std::atof(d.rest[++i].c_str());
    } else if (file.empty() && (d.rest[i].empty() || d.rest[i][0] != '-')) {
      file = d.rest[i];
    } else {
      ctx.err << "Usage: qvr burn-image [-d NAME] [--speed X] FILE\n";
      return 2;
    }
  }
  if (file.empty()) {
    ctx.err << "Usage: qvr burn-image [-d NAME] [--speed X] FILE\n";
    return 2;
  }
  TDiscBurner burner;
  if (!OpenDrive(ctx, "burn-image", burner, d.drive)) return 1;
  const uint8_t media = burner.GetMediaType();
  if (media == data::MediaNone) return Fail(ctx, "burn-image", "no disc in the drive");
  if (speed > 0) SetWriteSpeed(burner, speed, media);
  Completion done;
  burner.OnWriteDone = [&done](const void*, uint8_t, bool failed) { done.Signal(failed); };
  const InterruptScope interrupts;
  if (!burner.BurnImageFile(file)) {
    ctx.out << "Burn failed: " << ErrorText(burner) << "\n";
    return 1;
  }
  return FinishBurn(ctx, burner, done, media);
}

// ---- qvr erase ----

int Erase(CommandContext& ctx) {
  DriveOptions d;
  if (!TakeDriveOption(ctx.args, d, ctx.err, "erase")) return 2;
  bool full = false;
  for (const std::string& a : d.rest) {
    if (a == "--full") {
      full = true;
    } else {
      ctx.err << "Usage: qvr erase [-d NAME] [--full]\n";
      return 2;
    }
  }
  TDiscBurner burner;
  if (!OpenDrive(ctx, "erase", burner, d.drive)) return 1;
  const uint8_t media = burner.GetMediaType();
  if (media == data::MediaNone) return Fail(ctx, "erase", "no disc in the drive");
  if (!burner.IsErasable()) return Fail(ctx, "erase", "the " + data::MediaTypeName(media) + " cannot be erased");
  Completion done;
  burner.OnEraseDone = [&done](const void*, uint8_t, bool failed) { done.Signal(failed); };
  burner.EraseDisc(!full);
  const bool failed = done.Wait(burner, [] {});
  burner.WaitIdle();
  if (failed) {
    const uint16_t sense = burner.Device().LastSense.load();
    ctx.out << "Erase failed: " << ErrorText(burner);
    if (sense == 0) ctx.out << " (the drive refused to erase the " << data::MediaTypeName(media) << ")";
    ctx.out << "\n";
    return 1;
  }
  ctx.out << "Erase complete: " << data::MediaTypeName(media) << (full ? " fully" : " quickly") << " erased\n";
  return 0;
}

// ---- qvr eject / load ----

int Tray(CommandContext& ctx, const std::string& command, bool eject) {
  DriveOptions d;
  if (!TakeDriveOption(ctx.args, d, ctx.err, command)) return 2;
  if (!d.rest.empty()) {
    ctx.err << "Usage: qvr " << command << " [-d NAME]\n";
    return 2;
  }
  TDiscBurner burner;
  if (!OpenDrive(ctx, command, burner, d.drive)) return 1;
  const bool ok = eject ? burner.EjectMedium(false) : burner.LoadMedium(false);
  if (!ok) {
    ctx.out << (eject ? "Eject failed: " : "Load failed: ") << ErrorText(burner) << "\n";
    return 1;
  }
  ctx.out << (eject ? "Ejected" : "Loaded") << "\n";
  return 0;
}

int Eject(CommandContext& ctx) { return Tray(ctx, "eject", true); }
int Load(CommandContext& ctx) { return Tray(ctx, "load", false); }

const Registrar kDevices({"devices", "list the optical drives (and nodes that cannot be opened)", Devices});
const Registrar kInfo({"info", "the drive, its disc and its capabilities", Info});
const Registrar kBurn({"burn", "burn files and folders as a data disc", Burn});
const Registrar kBurnImage({"burn-image", "burn an ISO image file", BurnImage});
const Registrar kErase({"erase", "erase a rewritable disc", Erase});
const Registrar kEject({"eject", "open the tray", Eject});
const Registrar kLoad({"load", "close the tray", Load});

}  // namespace

}  // namespace qvr::cli
