#include <cstring>

#include "qvr/data/drive_burn.h"
#include "qvr/data/drive_jobs.h"
#include "qvr/data/drive_model.h"
#include "qvr/data/media_type.h"
#include "qvr/data/mmc_commands.h"
#include "qvr/data/write_parameters.h"

namespace qvr::data {

namespace {

const uint8_t kRAMFull[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x22, 0x21, 0x20, 0x00, 0x00, 0x08, 0x00};
constexpr int kPollMs = 5000;

// Writes 64 KiB of zeros at sectors 0, 32, ... (writes times); false at the first failure.
bool WriteZeros(TSCSIDevice& d, int writes) {
  std::memset(d.DataBuffer.data(), 0, d.DataBuffer.size());
  for (int i = 0; i < writes; ++i)
    if (!Write10(d, static_cast<uint32_t>(i) * 32, 32, 65536, d.DataBuffer.data())) return false;
  return true;
}

void DiscInfo42(TSCSIDevice& d) { ReadDiscInformation(d, d.DiscInfo.data(), 42); }

// Formats and clears the start of a DVD+RW or BD-RE; true when it failed.
bool FormatAndClear(TSCSIDevice& d, EngineState& state, const uint8_t* list, int writes, bool quick) {
  const bool accepted = FormatUnit(d, 0x11, list, 12);
  if (accepted) WhileNotReady(d, true, kPollMs, [&d] { DiscInfo42(d); });
  if (!quick) {
    if (!accepted) return true;
    state.SetStatus(TComponentStatus::Formatting);
  }
  SetCloseAfterCommand(d, false);
  const bool failed = !WriteZeros(d, writes);
  SynchronizeCache(d, false);
  if (quick) CloseTrackSession(d, false, 3, 0);
  SetCloseAfterCommand(d, true);
  return failed || !accepted;
}

}  // namespace

bool EraseMedium(TSCSIDevice& d, EngineState& state, bool quick) {
  const uint8_t m = GetMediaType(d);
  SetCDSpeed(d, d.ReadSpeed, d.WriteSpeed);
  SendWriteParameters(d, false, false, false, m);
  bool failed = false;
  switch (m) {
    case MediaDvdRam:
      if (quick) {
        SetCloseAfterCommand(d, false);
        failed = !WriteZeros(d, 128);
        SetCloseAfterCommand(d, true);
        SynchronizeCache(d, false);
      } else if (FormatUnit(d, 0x11, kRAMFull, 12)) {
        WhileNotReady(d, true, kPollMs, [&d] { TestUnitReady(d); });
      } else {
        failed = true;
      }
      break;
    case MediaDvdPlusRw:
      failed = FormatAndClear(d, state, kPlusRWFull, quick ? 16 : 2048, quick);
      break;
    case MediaBdRe:
      // A full erase formats the whole disc again and clears its start.
      failed = FormatAndClear(d, state, kBDREFormat, quick ? 16 : 2048, quick);
      break;
    default:
      if (Blank(d, quick)) WhileNotReady(d, true, kPollMs, [&d] { DiscInfo42(d); });
      else failed = true;
      break;
  }
  return failed;
}

}  // namespace qvr::data
