#include "qvr/vdrive/drive.h"

#include <array>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "command.h"
#include "qvr/vdrive/drive_set.h"

namespace qvr::vdrive {

namespace fs = std::filesystem;

namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

struct OpcodeInfo {
  Handler handler = nullptr;
  DataDirection direction = DataDirection::kNone;
  bool while_busy = false;  // answered normally during a long operation
};

const std::array<OpcodeInfo, 256>& Opcodes() {
  static const std::array<OpcodeInfo, 256> table = [] {
    std::array<OpcodeInfo, 256> t{};
    using D = DataDirection;
    auto set = [&t](std::uint8_t op, Handler h, D d, bool busy = false) { t[op] = OpcodeInfo{h, d, busy}; };
    set(0x00, CmdTestUnitReady, D::kNone);
    set(0x01, CmdRezero, D::kNone);
    set(0x03, CmdRequestSense, D::kIn, true);
    set(0x04, CmdFormatUnit, D::kOut);
    set(0x12, CmdInquiry, D::kIn, true);
    set(0x1B, CmdStartStopUnit, D::kNone);
    set(0x1E, CmdPreventAllow, D::kNone);
    set(0x23, CmdReadFormatCapacities, D::kIn);
    set(0x25, CmdReadCapacity, D::kIn);
    set(0x28, CmdRead10, D::kIn);
    set(0x2A, CmdWrite10, D::kOut);
    set(0x2B, CmdSeek10, D::kNone);
    set(0x2F, CmdVerify10, D::kNone);
    set(0x35, CmdSynchronizeCache, D::kNone);
    set(0x43, CmdReadToc, D::kIn);
    set(0x46, CmdGetConfiguration, D::kIn, true);
    set(0x4A, CmdGetEventStatus, D::kIn, true);
    set(0x51, CmdReadDiscInformation, D::kIn);
    set(0x52, CmdReadTrackInformation, D::kIn);
    set(0x53, CmdReserveTrack, D::kNone);
    set(0x54, CmdSendOpc, D::kOut);
    set(0x55, CmdModeSelect10, D::kOut);
    set(0x5A, CmdModeSense10, D::kIn, true);
    set(0x5B, CmdCloseTrackSession, D::kNone);
    set(0x5C, CmdReadBufferCapacity, D::kIn, true);
    set(0x5D, CmdSendCueSheet, D::kOut);
    set(0xA1, CmdBlank, D::kNone);
    set(0xA8, CmdRead12, D::kIn);
    set(0xAA, CmdWrite12, D::kOut);
    set(0xB6, CmdSetStreaming, D::kOut);
    set(0xBB, CmdSetCdSpeed, D::kNone);
    set(0xBE, CmdReadCd, D::kIn);
    set(0xBF, CmdSendDvdStructure, D::kOut);
    return t;
  }();
  return table;
}

std::size_t CdbLengthOf(std::uint8_t opcode) {
  switch (opcode >> 5) {
    case 0: return 6;
    case 1:
    case 2: return 10;
    case 4: return 16;
    case 5: return 12;
    default: return 10;
  }
}

// Holds the drive's lock file (kept open by the drive) for one command.
class FileLock {
 public:
  explicit FileLock(int fd) : fd_(fd) {
    if (fd_ >= 0) ::flock(fd_, LOCK_EX);
  }
  ~FileLock() {
    if (fd_ >= 0) ::flock(fd_, LOCK_UN);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

// ---- Ctx helpers shared by every handler ----

void Ctx::ReplyIn(const std::uint8_t* bytes, std::size_t n, std::size_t allocation) {
  std::size_t want = std::min(n, allocation);
  std::size_t give = std::min(want, length);
  if (give > 0 && data) std::memcpy(data, bytes, give);
  result.transferred = give;
  if (give < want) result.transfer_error = true;  // the host's buffer is smaller than the answer
}

bool Ctx::TakeOut(std::size_t n) {
  if (length < n || (n > 0 && !data)) {
    result.transfer_error = true;
    return false;
  }
  result.transferred = n;
  return true;
}

bool Ctx::RequireMedium() {
  if (state.tray_open) {
    Check(sense::kNoMediumTrayOpen);
    return false;
  }
  if (!state.medium_present) {
    Check(sense::kNoMediumTrayClosed);
    return false;
  }
  return true;
}

void Ctx::LongOperation(double nominal_seconds, const Sense& busy_sense, bool immediate) {
  auto ms = static_cast<std::int64_t>(nominal_seconds * 1000.0 * time_scale);
  if (ms <= 0) return;
  if (immediate) {
    state.busy_start_ms = now_ms;
    state.busy_until_ms = now_ms + ms;
    state.busy_sense = busy_sense;
    dirty = true;
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

double Ctx::BufferDrainRate() const {
  // The medium takes the buffer's bytes at the write speed (kB/s = bytes per
  // ms), played faster or slower by the time scale; at scale 0 at once.
  if (time_scale <= 0) return 0;
  return std::max(1, CurrentWriteSpeed(state)) / time_scale;
}

void Ctx::DrainBuffer() {
  double rate = BufferDrainRate();
  std::int64_t elapsed = std::max<std::int64_t>(0, now_ms - state.buffer_time_ms);
  if (rate <= 0) {
    state.buffer_fill = 0;
  } else {
    auto drained = static_cast<std::int64_t>(static_cast<double>(elapsed) * rate);
    state.buffer_fill = std::max<std::int64_t>(0, state.buffer_fill - drained);
  }
  state.buffer_time_ms = now_ms;
}

void Ctx::FillBuffer(std::size_t bytes) {
  DrainBuffer();
  std::int64_t want = state.buffer_fill + static_cast<std::int64_t>(bytes);
  double rate = BufferDrainRate();
  if (want > kBufferBytes && rate > 0) {
    // A full buffer holds the write until the medium has taken enough.
    auto wait_ms = static_cast<std::int64_t>(static_cast<double>(want - kBufferBytes) / rate) + 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
    now_ms += wait_ms;
    DrainBuffer();
    want = state.buffer_fill + static_cast<std::int64_t>(bytes);
  }
  state.buffer_fill = std::min<std::int64_t>(kBufferBytes, want);
  dirty = true;
}

// ---- Drive ----

struct Drive::State {
  std::mutex mutex;
  DriveState drive;
  SectorStore store;
  std::string store_for;  // the file the store has open
  struct stat seen {};
  bool loaded = false;
  std::uint64_t trace_size = 0;
  std::uint64_t trace_lines = 0;
  std::string state_path, disc_path, trace_path, lock_path;
  int lock_fd = -1;
  int trace_fd = -1;

  ~State() {
    if (lock_fd >= 0) ::close(lock_fd);
    if (trace_fd >= 0) ::close(trace_fd);
  }
  int LockFd() {
    if (lock_fd < 0) lock_fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    return lock_fd;
  }
};

// One command's (or one user action's) hold on the drive: the mutex, the lock
// file, and the state as the last process left it.
class Drive::Session {
 public:
  explicit Session(Drive& drive)
      : s_(*drive.state_), guard_(s_.mutex), lock_(s_.LockFd()) {
    Reload();
  }

  DriveState& state() { return s_.drive; }
  SectorStore& store() { return s_.store; }

  void Reload() {
    struct stat now {};
    if (::stat(s_.state_path.c_str(), &now) != 0) {
      if (!s_.loaded) {
        s_.drive = DriveState{};
        s_.loaded = true;
      }
      OpenStore();
      return;
    }
    if (!s_.loaded || now.st_ino != s_.seen.st_ino || now.st_size != s_.seen.st_size ||
        now.st_mtim.tv_sec != s_.seen.st_mtim.tv_sec || now.st_mtim.tv_nsec != s_.seen.st_mtim.tv_nsec) {
      std::ifstream in(s_.state_path, std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      DriveState parsed;
      if (ParseState(text.str(), parsed)) {
        s_.drive = std::move(parsed);
      } else {
        // Keep the unreadable file for inspection; the drive starts empty.
        std::error_code ec;
        fs::copy_file(s_.state_path, s_.state_path + ".bad", fs::copy_options::overwrite_existing, ec);
        s_.drive = DriveState{};
      }
      s_.seen = now;
      s_.loaded = true;
    }
    OpenStore();
  }

  void OpenStore() {
    if (!s_.drive.medium_present) return;
    const std::string& want = s_.drive.medium.IsPressed() ? s_.drive.medium.image : s_.disc_path;
    if (s_.store_for == want + (s_.drive.medium.IsCd() ? "#cd" : "")) return;
    if (s_.store.Open(s_.disc_path, s_.drive.medium)) s_.store_for = want + (s_.drive.medium.IsCd() ? "#cd" : "");
  }

  void ForgetStore() {
    s_.store.Close();
    s_.store_for.clear();
  }

  void Save() {
    s_.drive.generation++;
    std::string tmp = s_.state_path + ".tmp";
    std::string text = SerializeState(s_.drive);
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (written) ::rename(tmp.c_str(), s_.state_path.c_str());
    ::stat(s_.state_path.c_str(), &s_.seen);
  }

  void AppendTrace(TraceEntry entry) {
    if (s_.trace_fd < 0) s_.trace_fd = ::open(s_.trace_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (s_.trace_fd < 0) return;  // a trace that cannot be written must not fail the command
    struct stat st {};
    if (::fstat(s_.trace_fd, &st) != 0) st.st_size = 0;
    if (st.st_nlink == 0) {
      // The file was removed under us: start a new one.
      ::close(s_.trace_fd);
      s_.trace_fd = ::open(s_.trace_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      if (s_.trace_fd < 0) return;
      st.st_size = 0;
    }
    if (static_cast<std::uint64_t>(st.st_size) != s_.trace_size) {
      // Another process wrote or cleared the trace: count its lines again.
      std::ifstream in(s_.trace_path);
      s_.trace_lines = 0;
      for (std::string line; std::getline(in, line);) ++s_.trace_lines;
    }
    if (st.st_size > 64 * 1024 * 1024) {
      // Keep the trace bounded on very long runs.
      if (::ftruncate(s_.trace_fd, 0) == 0) st.st_size = 0;
      s_.trace_lines = 0;
    }
    entry.seq = ++s_.trace_lines;
    std::string line = entry.Format() + "\n";
    ssize_t put = ::write(s_.trace_fd, line.data(), line.size());
    s_.trace_size = static_cast<std::uint64_t>(st.st_size) + (put > 0 ? static_cast<std::uint64_t>(put) : 0);
  }

 private:
  State& s_;
  std::lock_guard<std::mutex> guard_;
  FileLock lock_;
};

Drive::Drive(DriveSet& set, int index, DriveIdentity identity, std::string folder)
    : set_(set), index_(index), identity_(std::move(identity)), folder_(std::move(folder)),
      state_(std::make_unique<State>()) {
  std::string base = folder_ + "drive" + std::to_string(index_);
  state_->state_path = base + ".state";
  state_->disc_path = base + ".disc";
  state_->trace_path = base + ".trace";
  state_->lock_path = base + ".lock";
}

Drive::~Drive() = default;

DataDirection Drive::DirectionOf(std::uint8_t opcode) { return Opcodes()[opcode].direction; }

namespace {

// Faults that answer before the command runs. True when the command is done.
bool ApplyFaults(Ctx& ctx, std::uint8_t op, bool while_busy) {
  auto& faults = ctx.state.faults;
  for (auto it = faults.begin(); it != faults.end();) {
    if (it->kind == FaultRule::Kind::kRemove) {
      if (it->count == 0) {
        ctx.state.medium_present = false;
        ctx.state.removed_by_fault = true;
        ctx.state.media_event = 3;
        ctx.state.simulation.reset();
        ctx.state.cue = CuePlan{};
        it = faults.erase(it);
      } else {
        --it->count;
        ++it;
      }
      ctx.dirty = true;
      continue;
    }
    ++it;
  }
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    if (it->kind != FaultRule::Kind::kBusy) continue;
    ctx.result.status = 8;
    if (--it->count <= 0) faults.erase(it);
    ctx.dirty = true;
    return true;
  }
  for (auto it = faults.begin(); it != faults.end(); ++it) {
    if (it->kind != FaultRule::Kind::kFail || !it->MatchesOpcode(op)) continue;
    ctx.dirty = true;
    if (it->nth > 1) {
      --it->nth;
      continue;
    }
    Sense s = it->sense;
    if (--it->times <= 0) faults.erase(it);
    ctx.Check(s);
    return true;
  }
  for (auto it = faults.begin(); it != faults.end();) {
    bool timed = it->kind == FaultRule::Kind::kNotReady || it->kind == FaultRule::Kind::kLongWrite;
    if (timed && ctx.now_ms >= it->until_ms) {
      it = faults.erase(it);
      ctx.dirty = true;
      continue;
    }
    if (timed && !while_busy) {
      ctx.Check(it->sense);
      return true;
    }
    ++it;
  }
  if (ctx.state.busy_until_ms != 0) {
    if (ctx.now_ms >= ctx.state.busy_until_ms) {
      ctx.state.busy_until_ms = 0;
      ctx.dirty = true;
    } else if (!while_busy) {
      Sense s = ctx.state.busy_sense;
      std::int64_t span = std::max<std::int64_t>(1, ctx.state.busy_until_ms - ctx.state.busy_start_ms);
      s.progress = static_cast<int>(std::min<std::int64_t>(65535, (ctx.now_ms - ctx.state.busy_start_ms) * 65536 / span));
      ctx.Check(s);
      return true;
    }
  }
  return false;
}

}  // namespace

CommandResult Drive::Execute(std::span<const std::uint8_t> cdb, std::uint8_t* data, std::size_t length,
                             DataDirection direction, bool auto_sense) {
  Session session(*this);
  DriveState& st = session.state();
  Ctx ctx{st, session.store(), identity_, set_.TimeScale(), NowMs(), cdb, data, length, {}};
  std::uint8_t op = cdb.empty() ? 0 : cdb[0];
  const OpcodeInfo& info = Opcodes()[op];
  if (length > 0 && !data) {
    ctx.result.transfer_error = true;
  } else if (cdb.empty() || cdb.size() < CdbLengthOf(op)) {
    ctx.Check(sense::kInvalidFieldInCdb);
  } else if (!info.handler) {
    ctx.Check(sense::kInvalidOpcode);
  } else if (direction != DataDirection::kNone && length > 0 && direction != info.direction) {
    ctx.result.transfer_error = true;  // data phase in the wrong direction
  } else if (!ApplyFaults(ctx, op, info.while_busy)) {
    if (!info.handler) {
      ctx.Check(sense::kInvalidOpcode);
    } else {
      info.handler(ctx);
    }
  }
  if (ctx.result.status == 2 && op != 0x03 && !auto_sense) {
    st.pending_sense = ctx.result.sense;
    ctx.dirty = true;
  }
  if (ctx.store_reset) session.ForgetStore();
  if (ctx.dirty) session.Save();
  session.OpenStore();

  TraceEntry entry;
  entry.opcode = op;
  entry.cdb.assign(cdb.begin(), cdb.end());
  entry.length = static_cast<std::uint32_t>(length);
  entry.direction = direction == DataDirection::kIn ? "in" : direction == DataDirection::kOut ? "out" : "none";
  entry.status = ctx.result.status == 2 ? "CHECK" : ctx.result.status == 8 ? "BUSY" : "GOOD";
  if (ctx.result.transfer_error && ctx.result.status == 0) entry.status = "XFER";
  entry.sense = ctx.result.sense;
  session.AppendTrace(entry);
  return ctx.result;
}

bool Drive::Insert(MediaKind kind, const std::string& image, std::string* error) {
  const MediaSpec& spec = SpecOf(kind);
  Medium medium;
  medium.kind = kind;
  medium.MakeBlank();
  if (spec.recording == Recording::kPressed) {
    std::error_code ec;
    if (image.empty()) {
      if (error) *error = std::string("a pressed ") + spec.label + " needs --image FILE";
      return false;
    }
    std::uintmax_t size = fs::file_size(image, ec);
    if (ec || size == 0) {
      if (error) *error = "cannot read image \"" + image + "\"";
      return false;
    }
    medium.image = fs::absolute(image).string();
    medium.image_blocks = static_cast<std::int64_t>((size + kBlockSize - 1) / kBlockSize);
    if (spec.family == Family::kCd && medium.image_blocks > 449849) {
      if (error) *error = "image too large for a CD";
      return false;
    }
    Track t;
    t.recorded = medium.image_blocks;
    t.closed = true;
    medium.tracks.push_back(t);
    medium.closed_sessions = 1;
    medium.finalized = true;
  } else if (!image.empty()) {
    if (error) *error = std::string("a blank ") + spec.label + " takes no image";
    return false;
  }
  Session session(*this);
  DriveState& st = session.state();
  session.ForgetStore();
  SectorStore scratch;
  Medium disc_file_medium = medium;
  disc_file_medium.image.clear();
  disc_file_medium.kind = spec.family == Family::kCd ? MediaKind::kCdR : MediaKind::kDvdR;
  if (!scratch.Open(state_->disc_path, disc_file_medium) || !scratch.Clear()) {
    if (error) *error = "cannot create " + state_->disc_path;
    return false;
  }
  st.medium = medium;
  st.medium_present = true;
  st.removed_by_fault = false;
  st.tray_open = false;
  st.simulation.reset();
  st.cue = CuePlan{};
  st.busy_until_ms = 0;
  st.media_event = 2;
  st.buffer_fill = 0;
  st.write_params = WriteParameters{};
  session.Save();
  session.OpenStore();
  return true;
}

void Drive::Eject() {
  Session session(*this);
  DriveState& st = session.state();
  session.ForgetStore();
  if (st.medium_present && !st.medium.IsPressed()) ::truncate(state_->disc_path.c_str(), 0);
  st.medium = Medium{};
  st.medium_present = false;
  st.removed_by_fault = false;
  st.simulation.reset();
  st.cue = CuePlan{};
  st.busy_until_ms = 0;
  st.media_event = 3;
  st.prevent_removal = false;
  session.Save();
}

MediumInfo Drive::Info() {
  Session session(*this);
  MediumInfo info;
  info.present = session.state().medium_present;
  info.tray_open = session.state().tray_open;
  info.medium = session.state().medium;
  return info;
}

bool Drive::AddFault(const std::string& rule_text, std::string* error) {
  FaultRule rule;
  if (!FaultRule::Parse(rule_text, NowMs(), rule, error)) return false;
  Session session(*this);
  DriveState& st = session.state();
  if (rule.kind == FaultRule::Kind::kUnformat) {
    Medium& m = st.medium;
    if (!st.medium_present || (m.kind != MediaKind::kDvdPlusRw && m.kind != MediaKind::kBdRe)) {
      if (error) *error = "unformat needs a DVD+RW or BD-RE in the drive";
      return false;
    }
    m.formatted = false;
    m.formatted_blocks = 0;
    m.written_end = 0;
  } else {
    st.faults.push_back(rule);
  }
  session.Save();
  return true;
}

void Drive::ClearFaults() {
  Session session(*this);
  DriveState& st = session.state();
  st.faults.clear();
  if (st.removed_by_fault) {
    st.medium_present = true;
    st.removed_by_fault = false;
    st.media_event = 2;
  }
  session.Save();
}

std::vector<FaultRule> Drive::Faults() {
  Session session(*this);
  return session.state().faults;
}

std::vector<TraceEntry> Drive::Trace() {
  Session session(*this);
  std::vector<TraceEntry> entries;
  std::ifstream in(state_->trace_path);
  for (std::string line; std::getline(in, line);) {
    TraceEntry e;
    if (TraceEntry::Parse(line, e)) entries.push_back(std::move(e));
  }
  return entries;
}

void Drive::ClearTrace() {
  Session session(*this);
  ::truncate(state_->trace_path.c_str(), 0);
}

namespace {

bool ReadOne(const Medium& m, SectorStore& store, std::int64_t lba, bool raw, std::uint8_t* out) {
  if (m.IsOverwritable() || m.IsPressed()) {
    if (lba < 0 || lba >= m.ReadableEnd()) return false;
    if (raw) return store.ReadRaw(lba, out);
    return store.ReadUser(lba, SectorForm::kMode1, out);
  }
  const Track* t = m.TrackAt(lba);
  if (!t) return false;
  if (raw) return store.ReadRaw(lba, out);
  if (t->audio) return false;
  return store.ReadUser(lba, t->form, out);
}

}  // namespace

bool Drive::ReadBlock(std::int64_t lba, bool raw, std::uint8_t* out) { return ReadBlocks(lba, 1, raw, out) == 1; }

int Drive::ReadBlocks(std::int64_t lba, int count, bool raw, std::uint8_t* out) {
  Session session(*this);
  DriveState& st = session.state();
  std::size_t size = raw ? kCdRawSize : kBlockSize;
  int found = 0;
  for (int i = 0; i < count; ++i) {
    std::uint8_t* block = out + static_cast<std::size_t>(i) * size;
    if (st.medium_present && ReadOne(st.medium, session.store(), lba + i, raw, block)) {
      ++found;
    } else {
      std::memset(block, 0, size);
    }
  }
  return found;
}

}  // namespace qvr::vdrive
