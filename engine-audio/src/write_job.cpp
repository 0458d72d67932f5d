#include "write_job.h"

#include <cmath>
#include <cstring>

#include "qvr/audio/cue_burner.h"
#include "qvr/audio/mode_pages.h"
#include "qvr/audio/read_ahead.h"

namespace qvr::audio {

namespace {

constexpr std::uint32_t kAudioSector = 2352;

}  // namespace

CueWriteJob::CueWriteJob(TCueBurner& burner, std::shared_ptr<CueReadAhead> read_ahead)
    : burner_(burner),
      read_ahead_(std::move(read_ahead)),
      track_at_once_(burner.WriteMethod == TWriteMethod::wmTAO) {}

void CueWriteJob::Fail(const std::string& text) {
  read_ahead_->SetErrorText(text);
  read_ahead_->Abort();
}

bool CueWriteJob::SetWriteParameters(bool open_for_next_session, bool audio) {
  std::uint8_t answer[512];
  burner_.ModeSense10(0x05, false, answer, sizeof answer);
  std::uint8_t page[54];
  std::memcpy(page, answer + ModePageOffset(answer, 0x05, false), sizeof page);
  page[0] &= 0x3F;
  std::memset(page + 10, 0, 4);  // packet size
  page[2] = track_at_once_ ? 0x01 : 0x02;
  if (burner_.UnderrunProtection && (burner_.Capabilities() & capability::kUnderrunProtection)) page[2] |= 0x40;
  page[3] = 0x04;
  page[4] = track_at_once_ ? 0x0D : 0x00;
  if (!track_at_once_) page[8] = audio ? 0x00 : 0x20;
  page[9] = 0;
  page[14] = 0x00;
  page[15] = 0x96;
  if (track_at_once_) {
    if (audio) {
      page[3] = 0xC0;
      page[8] = 0x00;
      page[4] = 0x00;
    } else {
      page[8] = 0x20;
      page[3] = 0x04;
      page[4] = 0x0D;
    }
  }
  if (!burner_.TestWrite) {
    if (open_for_next_session) {
      page[3] |= 0xC0;
    } else {
      page[3] &= 0x3F;
    }
  } else {
    page[2] |= 0x10;
  }
  std::uint8_t parameters[8 + 54] = {};
  const std::uint8_t page_length = std::min<std::uint8_t>(page[1], 52);
  std::memcpy(parameters + 8, page, page_length + 2u);
  return burner_.ModeSelect10(parameters, static_cast<std::uint8_t>(page_length + 10));
}

void CueWriteJob::Run() {
  TCueBurner& b = burner_;
  b.bytes_written_ = track_at_once_ ? kLeadSilenceBytes : 0;
  const bool open_next = track_at_once_ && !b.FinalizeDisc;

  medium_ = b.GetMediumType();
  b.TestUnitReady(5000);
  b.StartStopUnit(true);
  b.TestUnitReady(5000);
  b.RezeroUnit();
  b.SetCdSpeed(b.ReadSpeed(), b.WriteSpeed());
  b.ReadCapabilities();
  const std::uint16_t speed = b.CurrentWriteSpeed();
  SetWriteParameters(open_next, false);
  SetWriteParameters(open_next, false);
  b.ReadDiscInformation();
  b.Report(">>> STARTING WRITE PROCESS ON " + std::string(MediumTypeNames[medium_ & 0x0F]) + " AT " +
               std::to_string(speed) + "X ",
           1);
  if (b.TestWrite) b.Report(">>> TEST/DUMMY WRITE", 1);

  sector_size_ = kAudioSector;
  if (!track_at_once_) {
    b.ReadTrackInformation(0xFF);
    lba_ = -150;
    const std::vector<std::uint8_t> cue = CueSheetBytes(b.plan_.cue_sheet);
    if (!b.SendCueSheet(cue.data(), static_cast<std::uint16_t>(cue.size()))) {
      b.Report(">>> BURN PROCESS START FAILED", 1);
      read_ahead_->Abort();
      b.FinishJob("SEND CUE SHEET FAILED", false);
      b.Sleep(1000);
      return;
    }
    b.Report(">>> BURN PROCESS STARTED", 1);
  } else {
    SetWriteParameters(open_next, true);
    // A disc left open by an earlier job continues at its next writable address.
    lba_ = 0;
    if (b.ReadTrackInformation(0xFF)) {
      const TrackInformation info = b.LastTrackInformation();
      if (info.nwa_valid) lba_ = info.next_writable;
    }
  }

  b.layer().SetCloseAfterRequest(false);
  std::unique_ptr<CacheBlock> block;
  CueReadAhead::Take take;
  auto next_block = [&] {
    block.reset();
    take = read_ahead_->GetBlock(block, b.abort_);
    if (take == CueReadAhead::Take::kStopped && b.abort_) Fail(kAbortedText);
  };
  next_block();
  if (track_at_once_ && b.PerformOPC) b.SendOpcInformation();
  while (take == CueReadAhead::Take::kBlock) {
    if (!WriteBlock(*block)) break;
    if (track_at_once_ && block->end_of_track) NextTrack();
    if (b.abort_) {
      Fail(kAbortedText);
      break;
    }
    next_block();
  }
  Closing();
}

bool CueWriteJob::WriteBlock(CacheBlock& block) {
  TCueBurner& b = burner_;
  const auto length = static_cast<std::uint32_t>(block.data.size());
  b.SetCurrentFile(read_ahead_->CurrentFile());
  b.bytes_written_ += length;
  if (poll_buffer_ && blocks_written_ > 0 && blocks_written_ % 5 == 0) poll_buffer_ = b.ReadBufferCapacity();
  ++blocks_written_;

  for (int attempt = 1;; ++attempt) {
    if (b.abort_) {
      Fail(kAbortedText);
      b.Sleep(100);
      return false;
    }
    if (b.Write10(lba_, static_cast<std::uint16_t>(length / sector_size_), block.data.data(), length)) break;
    const RequestOutcome outcome = b.LastOutcome();
    if (!(outcome.busy || outcome.asc() == 0x04 || outcome.asc() == 0x00)) {
      Fail("WRITER ERROR [" + outcome.error_text + "]");
      return false;
    }
    if (attempt >= kMaxAttempts) {
      Fail("WRITER BUSY/BUFFER FULL");
      return false;
    }
    b.Sleep(100);
  }
  lba_ += static_cast<std::int32_t>(length / sector_size_);
  return true;
}

void CueWriteJob::NextTrack() {
  TCueBurner& b = burner_;
  b.SynchronizeCache(false, 300000);
  b.TestUnitReady(5000);
  b.RezeroUnit();
  b.ReadDiscInformation();
  SetWriteParameters(track_at_once_ && !b.FinalizeDisc, true);
  if (b.ReadTrackInformation(0xFF)) {
    const TrackInformation info = b.LastTrackInformation();
    if (info.nwa_valid) lba_ = info.next_writable;
  }
  if (b.PerformOPC) b.SendOpcInformation();
  sector_size_ = kAudioSector;
}

void CueWriteJob::CloseSession() {
  TCueBurner& b = burner_;
  SetWriteParameters(!b.FinalizeDisc, true);
  const bool immediate = !b.Quirks().close_without_immediate;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    if (b.CloseTrackSession(true, immediate)) return;
    const RequestOutcome outcome = b.LastOutcome();
    if (!(outcome.busy || outcome.asc() == 0x04)) {
      b.CloseTrackSession(true, immediate);
      return;
    }
    b.Sleep(1000);
  }
}

void CueWriteJob::Closing() {
  TCueBurner& b = burner_;
  b.layer().SetCloseAfterRequest(true);
  b.SynchronizeCache(true, 120000);
  if (track_at_once_) CloseSession();
  b.WaitUntilReady(240000, 5000);
  b.RestoreWriteParameters();
  b.StartStopUnit(true);
  b.PreventAllowRemoval(false);
  if (medium_ != 5 && medium_ != 6 && medium_ != 8 && medium_ != 9 && medium_ != 10) b.RezeroUnit();
  b.FinishJob(read_ahead_->ErrorText(), true);
}

}  // namespace qvr::audio
