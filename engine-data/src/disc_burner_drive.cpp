// TDiscBurner's drive side: it forwards to the transport, the drive model,
// the burn start and the drive jobs, and reports their ends.

#include <fcntl.h>
#include <unistd.h>

#include <cmath>

#include "qvr/data/byte_fields.h"
#include "qvr/data/disc_burner.h"
#include "qvr/data/drive_burn.h"
#include "qvr/data/drive_jobs.h"
#include "qvr/data/drive_model.h"
#include "qvr/data/media_type.h"
#include "qvr/data/mmc_commands.h"
#include "qvr/data/slot_ring.h"
#include "qvr/data/write_parameters.h"
#include "qvr/platform/program_folder.h"

namespace qvr::data {

bool TDiscBurner::InitializeDevices(bool useAspi, const std::string& aspiLibrary, const std::string& logFile) {
  // The device record is rebuilt: never under a running job.
  if (DriveBusy()) return false;
  JoinDriveJob();
  logPath_ = platform::ProgramFolder() + "ovnxp.elg";
  const bool burnProof = device_->BurnProof, finalize = device_->FinalizeDisc;
  const bool ok = data::InitializeDevices(*device_, useAspi, aspiLibrary, logFile);
  device_->BurnProof = burnProof;
  device_->FinalizeDisc = finalize;
  return ok;
}

std::string TDiscBurner::GetDeviceName(int index) const {
  if (index < 0 || index >= device_->DeviceCount) return {};
  return device_->Slots[static_cast<std::size_t>(index)].Description;
}

bool TDiscBurner::SelectDevice(int index) { return !DriveBusy() && data::SelectDevice(*device_, index); }

bool TDiscBurner::SelectDeviceByLetter(char letter) {
  bool result = false, any = false;
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  if (DriveBusy()) return false;
  for (int i = 0; i < device_->DeviceCount; ++i) {
    if (upper(device_->Slots[static_cast<std::size_t>(i)].DriveLetter) != upper(letter)) continue;
    any = true;
    result = data::SelectDevice(*device_, i);
  }
  return any && result;
}

uint8_t TDiscBurner::QueryDevice(uint8_t code) { return data::QueryDevice(*device_, code, logPath_); }
bool TDiscBurner::RefreshUnit() {
  TestUnitReady(*device_);
  return true;
}
bool TDiscBurner::IsUnitReady() { return TestUnitReady(*device_); }
bool TDiscBurner::IsRecorder() { return data::IsRecorder(*device_); }
bool TDiscBurner::LoadMedium(bool immediate) { return StartStopUnit(*device_, immediate, 3); }
bool TDiscBurner::EjectMedium(bool immediate) { return StartStopUnit(*device_, immediate, 2); }
uint8_t TDiscBurner::GetMediaType() { return data::GetMediaType(*device_); }
bool TDiscBurner::IsErasable() { return data::IsErasable(*device_); }
bool TDiscBurner::IsDiscWritable() { return data::IsDiscWritable(*device_); }
int TDiscBurner::GetSessionCount() { return data::GetSessionCount(*device_); }
uint32_t TDiscBurner::GetFreeBlocks() { return data::GetFreeBlocks(*device_); }
uint32_t TDiscBurner::GetDiscCapacity() {
  device_->MediaType = data::GetMediaType(*device_);
  return data::GetDiscCapacity(*device_);
}
uint16_t TDiscBurner::GetMaxWriteSpeed() {
  RefreshCapabilities(*device_);
  return device_->MaxWriteSpeed;
}
uint16_t TDiscBurner::GetCurrentWriteSpeed() {
  RefreshCapabilities(*device_);
  return device_->CurrentWriteSpeed;
}
uint16_t TDiscBurner::GetCurrentReadSpeed() {
  RefreshCapabilities(*device_);
  return device_->CurrentReadSpeed;
}
uint16_t TDiscBurner::GetDefaultMaxWriteSpeed() {
  RefreshCapabilities(*device_);
  return device_->DefaultMaxWriteSpeed;
}
uint16_t TDiscBurner::GetDefaultMaxReadSpeed() {
  RefreshCapabilities(*device_);
  return device_->DefaultMaxReadSpeed;
}
bool TDiscBurner::SetSpeeds(uint16_t readSpeed, uint16_t writeSpeed) {
  return data::SetSpeeds(*device_, readSpeed, writeSpeed);
}
uint32_t TDiscBurner::GetDriveBufferUsed() const { return data::GetDriveBufferUsed(*device_); }
bool TDiscBurner::FlushDriveCache() { return SynchronizeCache(*device_, true); }

uint16_t TDiscBurner::GetWriteRate() {
  const uint16_t previous = lastWriteRate_;
  lastWriteRate_ = static_cast<uint16_t>(std::min<uint32_t>(0xFFFF, (TransferRate(*device_) + 1023) / 1024));
  return previous;
}

uint16_t TDiscBurner::GetReadRate() {
  const uint16_t previous = lastReadRate_;
  lastReadRate_ = static_cast<uint16_t>(std::min<uint32_t>(0xFFFF, (TransferRate(*device_) + 1023) / 1024));
  return previous;
}

void TDiscBurner::CopyOptionsToDevice() {
  device_->BurnProof = BurnProof;
  device_->TestWrite = TestWrite;
  device_->FinalizeDisc = FinalizeDisc;
}

// A simulation the drive refuses must not turn into a real burn: the old
// page would stay in force and the data would be written.
bool TDiscBurner::TestWriteAccepted(bool pageAccepted) {
  if (!TestWrite || pageAccepted) return true;
  const uint16_t sense = device_->LastSense.exchange(0);
  state_.SetError(sense != 0 ? sense : 0x2400u);
  return false;
}

bool TDiscBurner::BurnImageTree() {
  if (!tree_.Prepared || !(preparedOptions_ == Options())) {
    state_.SetError(DataNotPrepared);
    return false;
  }
  if (DriveBusy()) return false;
  JoinDriveJob();
  CopyOptionsToDevice();
  ClearTransferRing(*device_);
  abortFlag_.store(false);
  const uint8_t media = data::GetMediaType(*device_);
  const DrivePlacement place = PrepareDriveBurn(*device_, media);
  if (!TestWriteAccepted(place.parametersAccepted)) return false;
  const uint32_t total = state_.totalSectors.load();
  auto sink = std::make_unique<DriveSink>(*device_, state_, media, false, place.sessionStart, total);
  return StartBurn({std::move(sink), place.sessionStart, place.volumeBase, UDFBridge ? place.udfSessionOffset : 0,
                    place.sessionStart, 1});
}

bool TDiscBurner::BurnImageFile(const std::string& fileName) {
  if (DriveBusy()) return false;
  JoinDriveJob();
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    state_.SetError(ErrorOpeningFile, fileName);
    return false;
  }
  const off_t size = ::lseek(fd, 0, SEEK_END);
  ::close(fd);
  CopyOptionsToDevice();
  ClearTransferRing(*device_);
  abortFlag_.store(false);
  const uint8_t media = data::GetMediaType(*device_);
  device_->MediaType = media;
  if (TestWrite && !TestWriteAccepted(SendWriteParameters(*device_, true, BurnProof, false, media))) return false;
  const auto total = static_cast<uint32_t>(SectorsFor(static_cast<uint64_t>(size < 0 ? 0 : size)));
  auto sink = std::make_unique<DriveSink>(*device_, state_, media, true, 0, total);
  return StartImageFileBurn(fileName, std::move(sink), 1);
}

bool TDiscBurner::BeginDriveJob() {
  // One disc operation at a time; a finished job's thread is joined here.
  if (DriveBusy()) return false;
  if (driveJob_.joinable()) {
    if (driveJob_.get_id() == std::this_thread::get_id()) return false;
    driveJob_.join();
  }
  ReleaseJob();
  abortFlag_.store(false);
  driveJobRunning_.store(true);
  return true;
}

void TDiscBurner::JoinDriveJob() {
  if (driveJob_.joinable() && driveJob_.get_id() != std::this_thread::get_id()) driveJob_.join();
}

bool TDiscBurner::EraseDisc(bool quick) {
  if (!BeginDriveJob()) return false;
  state_.SetStatus(TComponentStatus::Erasing);
  device_->QuickErase = quick;
  driveJob_ = std::thread([this] {
    const bool failed = EraseMedium(*device_, state_, device_->QuickErase);
    state_.SetStatus(TComponentStatus::Idle);
    driveJobRunning_.store(false);
    if (OnEraseDone)
      Deliver([this, failed](const void* sender) {
        if (OnEraseDone) OnEraseDone(sender, 0, failed);
      }, this);
  });
  return true;
}

bool TDiscBurner::VerifyDisc(uint8_t, bool) {
  if (!BeginDriveJob()) return false;
  state_.SetStatus(TComponentStatus::Verifying);
  ClearTransferRing(*device_);
  verifiedSectors_.store(0);
  driveJob_ = std::thread([this] {
    VerifyFiles(*device_, tree_, layout_, state_, abortFlag_, verifiedSectors_, [this](int32_t fileId, bool failed) {
      if (fileId < 0) driveJobRunning_.store(false);
      if (!OnVerifyDone) return;
      const uint8_t slot = poster_ ? 0 : static_cast<uint8_t>(std::max(0, device_->SelectedSlot));
      Deliver([this, slot, fileId, failed](const void* sender) {
        if (OnVerifyDone) OnVerifyDone(sender, slot, fileId, failed);
      }, this);
    });
  });
  return true;
}

int TDiscBurner::ImportSession(uint8_t session, std::u16string_view imagePath) {
  if (DriveBusy()) return 0;
  JoinDriveJob();
  device_->MediaType = data::GetMediaType(*device_);
  TDirEntry* target = tree_.FindDirectory(imagePath);
  const int n = ImportDiscSession(*device_, tree_, state_, session, target ? target : tree_.Root(), ISO9660v1999FS);
  tree_.Prepared = false;
  return n;
}

}  // namespace qvr::data
