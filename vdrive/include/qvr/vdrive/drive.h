#pragma once
// One virtual recorder. Execute() takes a CDB and its data exactly as a SCSI
// target does and answers with status and sense; the other calls are the hand
// of the user or of a test: insert and eject discs, inject faults, read the
// trace, look at the medium.
//
// The drive's state (tray, disc, write parameters, faults) lives in files of
// its folder and is reloaded whenever another process changed it; each
// command runs under a file lock, so several processes may use one drive in
// turn.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "qvr/vdrive/fault.h"
#include "qvr/vdrive/media.h"
#include "qvr/vdrive/medium.h"
#include "qvr/vdrive/sense.h"
#include "qvr/vdrive/trace.h"

namespace qvr::vdrive {

enum class DataDirection : std::uint8_t { kNone, kIn, kOut };

struct CommandResult {
  std::uint8_t status = 0;  // SCSI status: 0 GOOD, 2 CHECK CONDITION, 8 BUSY
  Sense sense;
  std::size_t transferred = 0;
  // The data phase did not match the request (wrong direction, or a data-out
  // length other than the command needs): the adapter reports an over/underrun.
  bool transfer_error = false;
  bool Good() const { return status == 0 && !transfer_error; }
};

struct DriveIdentity {
  std::string vendor = "QVR";
  std::string product = "Virtual Recorder";
  std::string revision = "1.00";
  std::string serial;
};

// Medium state as status and tests see it.
struct MediumInfo {
  bool present = false;
  bool tray_open = false;
  Medium medium;
};

class DriveSet;

class Drive {
 public:
  Drive(DriveSet& set, int index, DriveIdentity identity, std::string folder);
  ~Drive();
  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;

  int Index() const { return index_; }
  const DriveIdentity& Identity() const { return identity_; }

  // Runs one command. data points at length bytes (may be null when length is 0).
  // With auto_sense the caller receives the sense data with the result (as an
  // adapter's auto-sense delivers it); otherwise the drive keeps it for the
  // next REQUEST SENSE.
  CommandResult Execute(std::span<const std::uint8_t> cdb, std::uint8_t* data, std::size_t length,
                        DataDirection direction, bool auto_sense = true);
  // The data direction an opcode needs (kNone for commands without data).
  static DataDirection DirectionOf(std::uint8_t opcode);

  // A new blank disc of the kind, or with image a pressed disc (cd-rom,
  // dvd-rom, bd-rom) read from that ISO file. Replaces what was in the drive.
  bool Insert(MediaKind kind, const std::string& image, std::string* error);
  // Takes the disc out of the drive (it is gone).
  void Eject();
  MediumInfo Info();

  bool AddFault(const std::string& rule, std::string* error);
  void ClearFaults();
  std::vector<FaultRule> Faults();

  std::vector<TraceEntry> Trace();
  void ClearTrace();

  // User data of a block of the disc (2048 bytes; 2352 raw bytes for audio
  // CD sectors when raw is set). False when the block holds no data.
  bool ReadBlock(std::int64_t lba, bool raw, std::uint8_t* out);
  // count blocks from lba into out (those without data as zeros); answers
  // how many held data.
  int ReadBlocks(std::int64_t lba, int count, bool raw, std::uint8_t* out);

 private:
  struct State;
  class Session;
  friend class Session;

  DriveSet& set_;
  int index_;
  DriveIdentity identity_;
  std::string folder_;
  std::unique_ptr<State> state_;
};

}  // namespace qvr::vdrive
