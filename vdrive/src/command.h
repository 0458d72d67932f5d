#pragma once
// What a command handler sees: the CDB, the data buffer, the drive's state and
// the reply it builds. Each cmd_*.cpp file holds the handlers of one group of
// commands; drive.cpp dispatches to them by opcode.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "drive_state.h"
#include "qvr/vdrive/drive.h"
#include "sector_store.h"

namespace qvr::vdrive {

inline std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::uint32_t Be24(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] << 16 | p[1] << 8 | p[2]); }
inline std::uint32_t Be32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 | p[2] << 8 | p[3];
}
inline void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void Put24(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 16);
  Put16(p + 1, v);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v >> 16);
  Put16(p + 2, v);
}

// Nominal durations (seconds) of long operations, before the time scale.
namespace duration {
constexpr double kBlankFull = 480, kBlankMinimal = 60;
constexpr double kFormatQuick = 60, kFormatFull = 900;
constexpr double kCloseTrack = 2, kCloseSession = 30, kFinalize = 60;
}  // namespace duration

struct Ctx {
  DriveState& state;
  SectorStore& store;
  const DriveIdentity& identity;
  double time_scale;
  std::int64_t now_ms;
  std::span<const std::uint8_t> cdb;
  std::uint8_t* data;
  std::size_t length;
  CommandResult result;
  bool dirty = false;       // the state must be saved
  bool store_reset = false; // the disc file was emptied or the medium changed

  // The medium commands work on: a test write's copy while one is running.
  Medium& Active() { return state.simulation ? *state.simulation : state.medium; }
  bool Simulating() const { return state.simulation.has_value(); }

  // Ends the command with CHECK CONDITION.
  void Check(const Sense& sense) {
    result.status = 2;
    result.sense = sense;
  }
  // Data-in reply: copies min(n, allocation, buffer) bytes.
  void ReplyIn(const std::uint8_t* bytes, std::size_t n, std::size_t allocation);
  void ReplyIn(const std::vector<std::uint8_t>& bytes, std::size_t allocation) {
    ReplyIn(bytes.data(), bytes.size(), allocation);
  }
  // Data-out: the command needs exactly n bytes from the host; false (and the
  // transfer fails) when the buffer holds fewer.
  bool TakeOut(std::size_t n);

  // Fails with the no-medium sense when the drive holds no disc.
  bool RequireMedium();
  // Starts a long operation: immediate ones report not ready meanwhile,
  // others take their time before the command completes.
  void LongOperation(double nominal_seconds, const Sense& busy_sense, bool immediate);
  // Updates the buffer fill for the time passed.
  void DrainBuffer();
  // Takes written bytes into the buffer, waiting while it is full.
  void FillBuffer(std::size_t bytes);
  double BufferDrainRate() const;
  // Ends a test write: the disc is as it was.
  void EndSimulation() {
    if (state.simulation) {
      state.simulation.reset();
      dirty = true;
    }
  }
};

using Handler = void (*)(Ctx&);

// Identification and state.
void CmdInquiry(Ctx&);
void CmdRequestSense(Ctx&);
void CmdGetConfiguration(Ctx&);
void CmdModeSense10(Ctx&);
void CmdModeSelect10(Ctx&);
void CmdGetEventStatus(Ctx&);
// Disc structure.
void CmdReadDiscInformation(Ctx&);
void CmdReadTrackInformation(Ctx&);
void CmdReadToc(Ctx&);
void CmdReadCapacity(Ctx&);
void CmdReadFormatCapacities(Ctx&);
// Reading.
void CmdRead10(Ctx&);
void CmdRead12(Ctx&);
void CmdReadCd(Ctx&);
void CmdVerify10(Ctx&);
// Writing.
void CmdWrite10(Ctx&);
void CmdWrite12(Ctx&);
void CmdSendCueSheet(Ctx&);
void CmdReserveTrack(Ctx&);
void CmdCloseTrackSession(Ctx&);
void CmdSynchronizeCache(Ctx&);
// Erasing and formatting.
void CmdBlank(Ctx&);
void CmdFormatUnit(Ctx&);
// Drive control.
void CmdTestUnitReady(Ctx&);
void CmdRezero(Ctx&);
void CmdSeek10(Ctx&);
void CmdStartStopUnit(Ctx&);
void CmdPreventAllow(Ctx&);
void CmdSetCdSpeed(Ctx&);
void CmdSetStreaming(Ctx&);
void CmdReadBufferCapacity(Ctx&);
void CmdSendOpc(Ctx&);
void CmdSendDvdStructure(Ctx&);

// Shared by the write and control groups.
int CurrentWriteSpeed(const DriveState& state);
int CurrentReadSpeed(const DriveState& state);
int RoundedSpeed(const std::vector<int>& table, int requested);
constexpr std::int64_t kBufferBytes = 4 * 1024 * 1024;

}  // namespace qvr::vdrive
