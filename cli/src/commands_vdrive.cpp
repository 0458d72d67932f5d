// qvr vdrive: the virtual recorder's discs, faults and trace from the shell.

#include <ostream>
#include <sstream>

#include "qvr/cli/cli.h"
#include "qvr/platform/program_folder.h"
#include "qvr/vdrive/drive_set.h"
#include "qvr/vdrive/export.h"

namespace qvr::cli {

namespace {

using vdrive::Drive;
using vdrive::DriveSet;
using vdrive::Medium;

constexpr const char* kUsage =
    "Usage: qvr vdrive COMMAND\n"
    "  list                                   the virtual drives\n"
    "  insert DRIVE MEDIUM [--image FILE.iso] a blank cd-r, cd-rw, dvd-r, dvd-rw, dvd+r, dvd+rw,\n"
    "                                         dvd+r-dl, dvd-ram, bd-r, bd-re; cd-rom, dvd-rom or\n"
    "                                         bd-rom pressed from an image\n"
    "  eject DRIVE                            take the disc out\n"
    "  status DRIVE                           medium, state, sessions and tracks\n"
    "  export-iso DRIVE [--session N] FILE    user data through the end of the last (or Nth) session\n"
    "  export-cue DRIVE FILE.cue              an audio or mixed CD as BIN/CUE\n"
    "  fault DRIVE RULE...|clear|list         inject faults (see the fault rules in the docs)\n"
    "  trace DRIVE [--clear]                  the commands the drive received\n"
    "  time-scale FACTOR                      scale the duration of long operations\n"
    "DRIVE is the drive's number (0 for the first) or its letter.\n";

int Fail(CommandContext& ctx, const std::string& message) {
  ctx.err << "qvr vdrive: " << message << "\n";
  return 1;
}

std::string StateText(const vdrive::MediumInfo& info) {
  if (info.tray_open) return "tray open";
  if (!info.present) return "no disc";
  const Medium& m = info.medium;
  if (m.IsPressed()) return "pressed";
  if (m.kind == vdrive::MediaKind::kDvdPlusRw || m.kind == vdrive::MediaKind::kBdRe ||
      m.kind == vdrive::MediaKind::kDvdRam || m.restricted_overwrite) {
    if (!m.formatted) return "unformatted";
    return m.restricted_overwrite ? (m.intermediate ? "restricted overwrite (quick formatted)" : "restricted overwrite")
                                  : "formatted";
  }
  if (m.IsBlank()) return "blank";
  return m.finalized ? "complete" : "appendable";
}

void PrintStatus(std::ostream& out, DriveSet& set, Drive& drive) {
  vdrive::MediumInfo info = drive.Info();
  const vdrive::DriveIdentity& id = drive.Identity();
  out << "drive " << drive.Index() << " (" << set.LetterOf(static_cast<std::size_t>(drive.Index())) << ":) "
      << id.vendor << ' ' << id.product << ' ' << id.revision << "\n";
  if (!info.present || info.tray_open) {
    out << "state: " << StateText(info) << "\n";
    return;
  }
  const Medium& m = info.medium;
  out << "medium: " << m.Spec().label << "\n";
  out << "state: " << StateText(info) << "\n";
  out << "capacity: " << m.Capacity() << " blocks\n";
  if (m.IsOverwritable()) {
    out << "written: " << m.written_end << " blocks\n";
    return;
  }
  out << "sessions: " << m.closed_sessions << " closed" << (m.CanAppend() ? ", one open" : "") << "\n";
  int last = m.tracks.empty() ? 0 : m.tracks.back().session;
  for (int s = 1; s <= last; ++s) out << "session " << s << " start " << m.SessionStart(s) << "\n";
  for (const vdrive::Track& t : m.tracks) {
    const char* mode = t.audio ? "audio" : t.form == vdrive::SectorForm::kMode1 ? "mode1" : "mode2";
    out << "track " << t.number << " session " << t.session << " start " << t.start << " length " << t.Size()
        << " mode " << mode << (t.closed ? " closed" : " open");
    if (!t.closed) out << " next-writable " << t.NextWritable();
    out << "\n";
  }
  if (m.CanAppend()) out << "next writable address: " << m.InvisibleTrack().NextWritable() << "\n";
}

int RunVdrive(CommandContext& ctx) {
  const std::vector<std::string>& a = ctx.args;
  if (a.empty() || a[0] == "--help" || a[0] == "help") {
    (a.empty() ? ctx.err : ctx.out) << kUsage;
    return a.empty() ? 2 : 0;
  }
  DriveSet set(platform::ProgramFolder() + "vdrive/");
  const std::string& verb = a[0];
  if (verb == "list") {
    for (std::size_t i = 0; i < set.Count(); ++i) {
      Drive& d = *set.At(i);
      vdrive::MediumInfo info = d.Info();
      ctx.out << i << " " << set.LetterOf(i) << ": " << d.Identity().vendor << ' ' << d.Identity().product << " - "
              << (info.present && !info.tray_open ? std::string(info.medium.Spec().label) + ", " + StateText(info)
                                                  : StateText(info))
              << "\n";
    }
    return 0;
  }
  if (verb == "time-scale") {
    if (a.size() != 2) return Fail(ctx, "time-scale needs a factor");
    char* end = nullptr;
    double scale = std::strtod(a[1].c_str(), &end);
    if (*end != '\0' || scale < 0) return Fail(ctx, "bad factor \"" + a[1] + "\"");
    set.SetTimeScale(scale);
    ctx.out << "long operations now take " << scale << " times their nominal duration\n";
    return 0;
  }
  if (a.size() < 2) return Fail(ctx, verb + " needs a DRIVE (try qvr vdrive --help)");
  Drive* drive = set.Find(a[1]);
  if (!drive) return Fail(ctx, "no virtual drive \"" + a[1] + "\"");
  std::vector<std::string> rest(a.begin() + 2, a.end());
  std::string error;
  if (verb == "insert") {
    std::string image;
    std::string medium;
    for (std::size_t i = 0; i < rest.size(); ++i) {
      if (rest[i] == "--image" && i + 1 < rest.size()) image = rest[++i];
      else if (medium.empty()) medium = rest[i];
      else return Fail(ctx, "unexpected \"" + rest[i] + "\"");
    }
    auto kind = vdrive::MediaKindFromName(medium);
    if (!kind) return Fail(ctx, "unknown medium \"" + medium + "\"");
    if (!drive->Insert(*kind, image, &error)) return Fail(ctx, error);
    ctx.out << "inserted " << vdrive::SpecOf(*kind).label << " into drive " << drive->Index() << "\n";
    return 0;
  }
  if (verb == "eject") {
    drive->Eject();
    ctx.out << "ejected the disc of drive " << drive->Index() << "\n";
    return 0;
  }
  if (verb == "status") {
    PrintStatus(ctx.out, set, *drive);
    return 0;
  }
  if (verb == "export-iso") {
    int session = 0;
    std::string file;
    for (std::size_t i = 0; i < rest.size(); ++i) {
      if (rest[i] == "--session" && i + 1 < rest.size()) {
        session = std::atoi(rest[++i].c_str());
        if (session < 1) return Fail(ctx, "bad session \"" + rest[i] + "\"");
      } else if (file.empty()) {
        file = rest[i];
      } else {
        return Fail(ctx, "unexpected \"" + rest[i] + "\"");
      }
    }
    if (file.empty()) return Fail(ctx, "export-iso needs a FILE");
    std::int64_t blocks = 0;
    if (!vdrive::ExportIso(*drive, session, file, &blocks, &error)) return Fail(ctx, error);
    vdrive::MediumInfo info = drive->Info();
    for (int s = 1; s <= info.medium.LastSessionWithData(); ++s)
      ctx.out << "session " << s << " start " << info.medium.SessionStart(s) << "\n";
    ctx.out << "wrote " << blocks << " blocks to " << file << "\n";
    return 0;
  }
  if (verb == "export-cue") {
    if (rest.size() != 1) return Fail(ctx, "export-cue needs FILE.cue");
    if (!vdrive::ExportCue(*drive, rest[0], &error)) return Fail(ctx, error);
    ctx.out << "wrote " << rest[0] << "\n";
    return 0;
  }
  if (verb == "fault") {
    if (rest.empty()) return Fail(ctx, "fault needs a RULE, clear or list");
    if (rest.size() == 1 && rest[0] == "clear") {
      drive->ClearFaults();
      ctx.out << "cleared the faults of drive " << drive->Index() << "\n";
      return 0;
    }
    if (rest.size() == 1 && rest[0] == "list") {
      for (const vdrive::FaultRule& rule : drive->Faults()) ctx.out << rule.Format() << "\n";
      return 0;
    }
    std::string rule;
    for (const std::string& w : rest) rule += (rule.empty() ? "" : " ") + w;
    if (!drive->AddFault(rule, &error)) return Fail(ctx, error);
    ctx.out << "drive " << drive->Index() << ": " << rule << "\n";
    return 0;
  }
  if (verb == "trace") {
    if (!rest.empty() && rest[0] == "--clear") {
      drive->ClearTrace();
      ctx.out << "cleared the trace of drive " << drive->Index() << "\n";
      return 0;
    }
    if (!rest.empty()) return Fail(ctx, "unexpected \"" + rest[0] + "\"");
    for (const vdrive::TraceEntry& e : drive->Trace()) ctx.out << e.Format() << "\n";
    return 0;
  }
  return Fail(ctx, "unknown command \"" + verb + "\" (try qvr vdrive --help)");
}

const Registrar kVdrive{{"vdrive", "the virtual recorder: discs, faults, trace", RunVdrive}};

}  // namespace

}  // namespace qvr::cli
