#include "qvr/data/drive_burn.h"

#include <ctime>
#include <cstring>

#include "qvr/data/byte_fields.h"
#include "qvr/data/drive_model.h"
#include "qvr/data/media_type.h"
#include "qvr/data/mmc_commands.h"
#include "qvr/data/write_parameters.h"

namespace qvr::data {

const uint8_t kQuickFirst[12] = {0x00, 0xA2, 0x00, 0x08, 0x00, 0x00, 0x03, 0xE8, 0x54, 0x00, 0x00, 0x10};
const uint8_t kQuickSecond[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x54, 0x00, 0x00, 0x10};
const uint8_t kGrowRestricted[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x4C, 0x00, 0x00, 0x10};
const uint8_t kPlusRWFull[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x23, 0x05, 0x40, 0x98, 0x00, 0x00, 0x00};
const uint8_t kBDREFormat[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00, 0x02, 0x80, 0xC0, 0x00, 0x10, 0x00};

uint32_t WriteBlocking(uint8_t mediaType) {
  // Restricted overwrite DVD-RW takes writes of whole 16-sector ECC blocks only.
  return mediaType == MediaDvdRwRestricted ? 16 : 1;
}

const uint8_t* FirstWriteFormat(uint8_t mediaType) {
  // Rewritable media that come unformatted refuse the first write with
  // 30h/05h until they are formatted.
  if (mediaType == MediaDvdPlusRw) return kPlusRWFull;
  if (mediaType == MediaBdRe) return kBDREFormat;
  return nullptr;
}

namespace {

constexpr int kPollMs = 5000;

bool AppendsBehindVolume(uint8_t m) { return m == MediaDvdPlusRw || m == MediaDvdRam || m == MediaBdRe; }

bool UsesStreaming(uint8_t m) {
  switch (m) {
    case MediaDvdR: case MediaDvdRwRestricted: case MediaDvdRwSequential: case MediaDvdPlusRw: case MediaDvdPlusR:
    case MediaDvdPlusRDl: case MediaBdR: case MediaBdRRandom: case MediaBdRe: case MediaHdDvdR: case MediaHdDvdRam:
      return true;
    default:
      return false;
  }
}

void DiscInfo42(TSCSIDevice& d) { ReadDiscInformation(d, d.DiscInfo.data(), 42); }

void ClearBufferCounters(TSCSIDevice& d) {
  d.DriveBufferLength.store(0);
  d.DriveBufferBlank.store(0);
}

// The time stamp of a DVD-R recording: header, then "YYYYMMDDhhmmss".
void TimeStamp(uint8_t* list22) {
  std::memset(list22, 0, 22);
  list22[1] = 0x14;
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char text[40];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", (tm.tm_year + 1900) % 10000, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  std::memcpy(list22 + 8, text, 14);
}

}  // namespace

DrivePlacement PrepareDriveBurn(TSCSIDevice& d, uint8_t m) {
  d.MediaType = m;
  DrivePlacement p;
  p.parametersAccepted = SendWriteParameters(d, d.TestWrite, d.BurnProof, false, m);
  ReadDiscInformation(d, d.DiscInfo.data(), 64);
  if (m == MediaDvdRwSequential || m == MediaDvdRwRestricted) {
    if (m == MediaDvdRwSequential) {
      if (!FormatUnit(d, 0x11, kQuickFirst, 12)) FormatUnit(d, 0x11, kQuickSecond, 12);
    } else {
      FormatUnit(d, 0x11, kGrowRestricted, 12);
    }
    WhileNotReady(d, false, kPollMs, [&d] { DiscInfo42(d); });
  }
  if (AppendsBehindVolume(m)) {
    p.sessionStart = p.volumeBase = GetVolumeSize(d);
  } else if (ReadTrackInformation(d, GetLastTrack(d))) {
    p.sessionStart = d.TrackInfo.NextWritable == 1000 ? 0 : d.TrackInfo.NextWritable;
    // A later session's volume space reaches from sector 0 to its own end
    // (ECMA-119: every extent lies inside the volume space).
    p.volumeBase = p.sessionStart;
  } else if (ReadTrackInformation(d, 1)) {
    p.sessionStart = d.TrackInfo.TrackStart;
  }
  p.udfSessionOffset = d.TrackInfo.TrackStart;
  return p;
}

DriveSink::DriveSink(TSCSIDevice& device, EngineState& state, uint8_t mediaType, bool burnFromFile,
                     uint32_t sessionStart, uint32_t totalSectors)
    : d_(device),
      state_(state),
      media_(mediaType),
      burnFromFile_(burnFromFile),
      sessionStart_(sessionStart),
      totalSectors_(totalSectors) {}

void DriveSink::Begin() {
  ClearBufferCounters(d_);
  SynchronizeCache(d_, false);
  RezeroUnit(d_);
  SendWriteParameters(d_, d_.TestWrite, d_.BurnProof, false, media_);
  ReadDiscInformation(d_, d_.DiscInfo.data(), 64);
  ReadBufferCapacity(d_);
  const uint32_t lba = burnFromFile_ ? 0 : sessionStart_;
  SendWriteParameters(d_, d_.TestWrite, d_.BurnProof, media_ == MediaDvdPlusR ? !d_.FinalizeDisc : false, media_);
  SetCDSpeed(d_, d_.ReadSpeed, d_.WriteSpeed);
  if (UsesStreaming(media_)) {
    const uint32_t end = ReadTrackInformation(d_, GetLastTrack(d_)) ? d_.TrackInfo.TrackSize : totalSectors_ + lba;
    uint8_t descriptor[28] = {};
    Put32BE(descriptor + 8, end);
    Put32BE(descriptor + 12, d_.CurrentReadSpeed);
    Put32BE(descriptor + 16, 1000);
    Put32BE(descriptor + 20, d_.CurrentWriteSpeed);
    Put32BE(descriptor + 24, 1000);
    SetStreaming(d_, descriptor, sizeof descriptor);
  }
  sessions_ = GetSessionCount(d_);
  if (media_ == MediaDvdR) {
    uint8_t stamp[22];
    TimeStamp(stamp);
    SendDVDStructure(d_, 0x0F, stamp, sizeof stamp);
    ReserveTrack(d_, totalSectors_);
  }
  SetCloseAfterCommand(d_, false);
}

bool DriveSink::Failed() {
  const uint32_t code = d_.SenseCode();
  // The failed write's sense code is the burn's error; the closing commands
  // that follow must not replace it.
  if (code != 0 && state_.Error() == 0) state_.SetError(code);
  return false;
}

bool DriveSink::FormatForFirstWrite() {
  formatTried_ = true;
  const uint8_t* list = FirstWriteFormat(media_);
  if (!list || !FormatUnit(d_, 0x11, list, 12)) return false;
  WhileNotReady(d_, true, kPollMs, [this] { DiscInfo42(d_); });
  return true;
}

bool DriveSink::CopyFirstSlotToSectorZero(const uint8_t* data, uint32_t bytes) {
  const auto sectors = static_cast<uint16_t>(SectorsFor(bytes));
  for (int k = 0;;) {
    if (Write10(d_, 0, sectors, sectors * kSectorBytes, data)) return true;
    const uint8_t asc = d_.Asc();
    if (asc == 0x30 && d_.Ascq() == 0x05 && FirstWriteFormat(media_)) {
      FormatForFirstWrite();
      if (k == 0) {
        ++k;
        continue;
      }
    }
    if (d_.Busy || asc == 0x04) {
      d_.Waits.Sleep(200);
      if (++k < 5000) continue;
      return Failed();
    }
    if (asc != 0x00 && asc != 0x29) return Failed();
    if (asc == 0x29) d_.Waits.Sleep(1000);
    d_.Waits.Sleep(200);
    if (++k >= 100) return Failed();
  }
}

bool DriveSink::WriteSlot(const uint8_t* data, uint32_t bytes, uint32_t lba) {
  // Whole sectors go out (whole ECC blocks where the medium takes no less);
  // the slot is zero behind a short last piece.
  const uint32_t unit = WriteBlocking(media_);
  const auto sectors = static_cast<uint16_t>((SectorsFor(bytes) + unit - 1) / unit * unit);
  for (int tries = 0; tries < 5000; ++tries) {
    if (Write10(d_, lba, sectors, sectors * kSectorBytes, data)) return true;
    if (state_.Error() == OperationAborted) return false;
    const uint8_t asc = d_.Asc();
    if (!d_.Busy && asc != 0x00 && asc != 0x04) {
      // A DVD+RW or BD-RE that was never formatted refuses writes; format it once.
      if (asc == 0x30 && d_.Ascq() == 0x05 && !formatTried_ && FormatForFirstWrite()) continue;
      return Failed();
    }
    d_.Waits.Sleep(100);
  }
  return Failed();
}

bool DriveSink::Write(const uint8_t* data, uint32_t bytes, uint32_t lba) {
  if (first_) {
    first_ = false;
    const bool rewritesStart = media_ == MediaDvdPlusRw || media_ == MediaDvdRwRestricted ||
                               media_ == MediaDvdRwSequential || media_ == MediaDvdRam;
    if (!burnFromFile_ && rewritesStart) {
      SynchronizeCache(d_, false);
      // A session behind an existing volume: its descriptors also go to
      // sector 0, where readers look, so they describe the whole disc.
      if (lba != 0 && !CopyFirstSlotToSectorZero(data, bytes)) return false;
      SynchronizeCache(d_, false);
    }
  }
  if (!WriteSlot(data, bytes, lba)) return false;
  if (--countdown_ < 0) {
    ReadBufferCapacity(d_);
    countdown_ = 5;
  }
  return true;
}

void DriveSink::CloseByMedium() {
  const int s = sessions_;
  const auto track = [](int n) { return static_cast<uint8_t>(n); };
  switch (media_) {
    case MediaDvdR:
      SynchronizeCache(d_, false);
      ClearBufferCounters(d_);
      CloseTrackSession(d_, false, 1, track(s + 1));
      CloseTrackSession(d_, false, 1, track(s + 2));
      CloseTrackSession(d_, false, 2, track(s + 3));
      return;
    case MediaDvdPlusR:
    case MediaDvdPlusRDl:
      SynchronizeCache(d_, false);
      ClearBufferCounters(d_);
      CloseTrackSession(d_, false, 1, track(s + 1));
      // DVD+R drives ignore the multi-session field of page 05h: only close
      // function 6 finalizes the disc, on single and double layer alike.
      if (d_.FinalizeDisc) {
        CloseTrackSession(d_, false, 6, 0);
      } else {
        CloseTrackSession(d_, false, 2, media_ == MediaDvdPlusR ? 255 : 0);
      }
      return;
    case MediaDvdPlusRw:
      SynchronizeCache(d_, false);
      ClearBufferCounters(d_);
      CloseTrackSession(d_, false, 3, 255);
      return;
    case MediaDvdRwRestricted:
    case MediaDvdRwSequential:
      SynchronizeCache(d_, false);
      ClearBufferCounters(d_);
      CloseTrackSession(d_, false, 1, 1);
      CloseTrackSession(d_, true, 2, 0);
      WhileNotReady(d_, true, kPollMs, [this] { DiscInfo42(d_); });
      return;
    default:
      break;
  }
  SynchronizeCache(d_, true);
  if (media_ != MediaDvdRam) {
    WhileNotReady(d_, false, kPollMs, [this] { DiscInfo42(d_); });
    WhileNotReady(d_, false, kPollMs, [this] { TestUnitReady(d_); });
  }
  ClearBufferCounters(d_);
  if (media_ == MediaCdR || media_ == MediaCdRw) {
    SendWriteParameters(d_, d_.TestWrite, d_.BurnProof, !d_.FinalizeDisc, media_);
    if (!CloseTrackSession(d_, true, 2, 0)) CloseTrackSession(d_, true, 1, 0);
  } else {
    if (!CloseTrackSession(d_, false, 1, 0)) CloseTrackSession(d_, true, 1, 0);
    SendWriteParameters(d_, d_.TestWrite, d_.BurnProof, !d_.FinalizeDisc, media_);
    if (!CloseTrackSession(d_, true, 2, 0)) CloseTrackSession(d_, false, 2, 0);
  }
}

bool DriveSink::Close(bool) {
  SetCloseAfterCommand(d_, true);
  CloseByMedium();
  if (media_ != MediaDvdRam) WhileNotReady(d_, false, kPollMs, [this] { DiscInfo42(d_); });
  AllowRemoval(d_);
  StartStopUnit(d_, false, 3);
  RezeroUnit(d_);
  TestUnitReady(d_);
  return true;
}

}  // namespace qvr::data
