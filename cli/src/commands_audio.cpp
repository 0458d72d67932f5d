// qvr audio: burns WAVE files (44.1 kHz, 16-bit, stereo) as an audio CD, one
// track per file, disc-at-once by default or track-at-once with --tao.

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <ostream>

#include "qvr/audio/cue_burner.h"
#include "qvr/cli/cli.h"

namespace qvr::cli {

namespace {

constexpr const char* kUsage =
    "Usage: qvr audio [-d NAME] [--tao] [--pregap-ms N] [--finalize] [--speed X] [--aspi] [-v] WAV...\n"
    "  -d NAME         the drive: its letter (D), its number in the drive list (0), or its id (1:0:0)\n"
    "  --tao           track-at-once instead of disc-at-once\n"
    "  --pregap-ms N   pause before every track in milliseconds (default 2000)\n"
    "  --finalize      close the disc after a track-at-once burn\n"
    "  --speed X       write speed as a multiple of 1X (176.46 kB/s); 0 or max for the fastest\n"
    "  --aspi          use the ASPI library before the drives of this machine\n"
    "  -v              show the drive's diagnostic messages\n";

int Fail(CommandContext& ctx, const std::string& message) {
  ctx.err << "qvr audio: " << message << "\n";
  return 1;
}

struct Options {
  std::string drive;
  bool tao = false;
  long pregap_ms = 2000;
  bool finalize = false;
  std::uint16_t speed_kbps = 0;
  bool aspi = false;
  bool verbose = false;
  std::vector<std::string> files;
};

bool ParseOptions(CommandContext& ctx, Options& o, std::string& error) {
  const auto& a = ctx.args;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::string& w = a[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= a.size()) return false;
      out = a[++i];
      return true;
    };
    std::string v;
    if (w == "-d") {
      if (!value(o.drive)) return error = "-d needs a drive name", false;
    } else if (w == "--tao") {
      o.tao = true;
    } else if (w == "--finalize") {
      o.finalize = true;
    } else if (w == "--aspi") {
      o.aspi = true;
    } else if (w == "-v") {
      o.verbose = true;
    } else if (w == "--pregap-ms") {
      char* end = nullptr;
      if (!value(v) || (o.pregap_ms = std::strtol(v.c_str(), &end, 10), *end != '\0') || o.pregap_ms < 0 ||
          o.pregap_ms > 60000) {
        return error = "--pregap-ms needs milliseconds from 0 to 60000", false;
      }
    } else if (w == "--speed") {
      if (!value(v)) return error = "--speed needs a factor", false;
      if (!v.empty() && (v.back() == 'x' || v.back() == 'X')) v.pop_back();
      if (v == "max") v = "0";
      char* end = nullptr;
      double factor = std::strtod(v.c_str(), &end);
      if (v.empty() || *end != '\0' || factor < 0 || factor > 100) return error = "bad speed \"" + a[i] + "\"", false;
      o.speed_kbps = static_cast<std::uint16_t>(std::lround(factor * 176.46));
    } else if (!w.empty() && w[0] == '-') {
      return error = "unknown option \"" + w + "\"", false;
    } else {
      o.files.push_back(w);
    }
  }
  if (o.files.empty()) return error = "no WAV files given", false;
  return true;
}

// The drive named by the user, or the first one.
std::string FindDrive(const std::vector<std::string>& devices, const std::string& name) {
  if (devices.empty()) return {};
  if (name.empty()) return devices.front();
  std::string letter = name;
  if (letter.size() == 2 && letter[1] == ':') letter.pop_back();
  for (const std::string& line : devices) {
    const std::size_t comma = line.find(',');
    if (letter.size() == 1 && comma != std::string::npos && comma + 1 < line.size() &&
        std::toupper(static_cast<unsigned char>(line[comma + 1])) ==
            std::toupper(static_cast<unsigned char>(letter[0])) &&
        !(letter[0] >= '0' && letter[0] <= '9')) {
      return line;
    }
    if (line.rfind(name + ",", 0) == 0) return line;
  }
  char* end = nullptr;
  const long index = std::strtol(name.c_str(), &end, 10);
  if (*end == '\0' && index >= 0 && static_cast<std::size_t>(index) < devices.size()) return devices[index];
  return {};
}

// Which track and file a stream position lies in.
struct Position {
  int track = 1;
  std::string file;
};

Position PositionOf(const audio::BurnPlan& plan, std::uint64_t offset) {
  Position p;
  std::uint64_t at = 0;
  for (const audio::ReadEntry& e : plan.read_queue) {
    if (!e.file_name.empty()) p.file = e.file_name;
    if (offset < at + e.count) break;
    at += e.count;
    if (e.end_of_track) ++p.track;
  }
  return p;
}

int RunAudio(CommandContext& ctx) {
  if (!ctx.args.empty() && (ctx.args[0] == "--help" || ctx.args[0] == "-h")) {
    ctx.out << kUsage;
    return 0;
  }
  Options o;
  std::string error;
  if (!ParseOptions(ctx, o, error)) {
    ctx.err << "qvr audio: " << error << "\n" << kUsage;
    return 2;
  }

  audio::TCueBurner burner;
  std::mutex mutex;
  std::condition_variable done_cv;
  bool done = false;
  std::string job_error;
  burner.OnDebugMessage = [&](audio::TSCSIDevice&, const std::string& message, std::uint8_t type) {
    // Disc state always; everything else when asked.
    if (type == 4 || o.verbose) {
      std::lock_guard lock(mutex);
      ctx.err << message << "\n";
    }
  };
  burner.OnWriteDone = [&](audio::TCueBurner&, const std::string& text) {
    std::lock_guard lock(mutex);
    job_error = text;
    done = true;
    done_cv.notify_all();
  };

  if (!burner.InitializeASPI(!o.aspi, {})) {
    std::string why = "no drive and no ASPI library";
    for (const std::string& problem : burner.layer().DriveProblems()) why += "\n  " + problem;
    if (std::string lib = burner.layer().LibraryError(); !lib.empty()) why += "\n  " + lib;
    return Fail(ctx, why);
  }
  const std::string id = FindDrive(burner.Devices(), o.drive);
  if (id.empty()) {
    std::string why = o.drive.empty() ? "no drive found" : "no drive \"" + o.drive + "\"";
    for (const std::string& line : burner.Devices()) why += "\n  " + line;
    for (const std::string& problem : burner.layer().DriveProblems()) why += "\n  " + problem;
    return Fail(ctx, why);
  }
  burner.SelectDevice(id);
  if (!burner.HasDevice()) return Fail(ctx, "cannot use the drive " + id);

  const std::uint8_t medium = burner.GetMediumType();
  if (medium != audio::kMediumCdR && medium != audio::kMediumCdRw) {
    return Fail(ctx, std::string("the disc is ") + audio::MediumTypeNames[medium & 0x0F] +
                         "; audio needs a CD-R or CD-RW");
  }

  burner.ClearCompilation();
  const auto pregap = static_cast<std::uint32_t>(o.pregap_ms * 75 / 1000);
  for (const std::string& file : o.files) {
    if (!burner.AddFile(file, audio::kFileWave)) return Fail(ctx, burner.Compilation().last_error());
    burner.AddTrack(audio::TTrackType::ttAudio);
    burner.AddIndex(0, 0, 0);
    burner.SetPregap(pregap);
  }
  burner.SetCacheSize(8ull << 20);
  burner.WriteMethod = o.tao ? audio::TWriteMethod::wmTAO : audio::TWriteMethod::wmDAO;
  burner.FinalizeDisc = o.finalize;
  burner.SetReadSpeed(0);
  burner.SetWriteSpeed(o.speed_kbps);

  ctx.out << "Writing " << o.files.size() << " track" << (o.files.size() == 1 ? "" : "s") << " to " << id
          << (o.tao ? " track-at-once" : " disc-at-once") << "\n";
  if (!burner.Burn()) {
    std::string text = burner.LastError();
    return Fail(ctx, text.empty() ? "the burn did not start" : text);
  }

  const std::uint64_t total = burner.TotalBytes();
  const std::uint64_t lead = o.tao ? audio::kLeadSilenceBytes : 0;
  int shown_track = 0, shown_tenth = -1;
  for (;;) {
    {
      std::unique_lock lock(mutex);
      if (done_cv.wait_for(lock, std::chrono::milliseconds(250), [&] { return done; })) break;
    }
    const std::uint64_t written = burner.BytesWritten();
    const Position p = PositionOf(burner.Plan(), written > lead ? written - lead : 0);
    const int tenth = total ? static_cast<int>(written * 10 / total) : 0;
    if (p.track != shown_track || tenth != shown_tenth) {
      std::lock_guard lock(mutex);
      ctx.out << "track " << std::min<std::size_t>(p.track, o.files.size()) << "/" << o.files.size() << " "
              << p.file << " " << (total ? written * 100 / total : 0) << "%\n";
      shown_track = p.track;
      shown_tenth = tenth;
    }
  }
  burner.WaitForJob();
  if (!job_error.empty()) return Fail(ctx, job_error);
  ctx.out << "Done: " << o.files.size() << " track" << (o.files.size() == 1 ? "" : "s") << ", "
          << (burner.BytesWritten() - lead) / 176400 << " s of audio\n";
  return 0;
}

const Registrar kAudio{{"audio", "burn WAV files as an audio CD", RunAudio}};

}  // namespace

}  // namespace qvr::cli
