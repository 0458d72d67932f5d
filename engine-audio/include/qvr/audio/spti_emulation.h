#pragma once
// "OVASPI32": the two ASPI entry points emulated over SG_IO, so the audio
// engine needs no ASPI library to reach a real drive. Each /dev/srN node with
// a drive letter becomes a host adapter / target / LUN triple; INQUIRY is
// answered from what the drive said at start-up, every other CDB goes to the
// drive through the pass-through.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qvr/platform/optical_drives.h"
#include "qvr/platform/pass_through.h"
#include "qvr/platform/wnaspi32.h"

namespace qvr::audio {

class SptiEmulation {
 public:
  // The signature returned in the adapter inquiry's manager field.
  static constexpr char kManagerId[17] = "QVR SG_IO ASPI  ";
  static constexpr std::uint8_t kUnaddressedLun = 0xFA;
  static constexpr std::uint32_t kTimeoutMs = 120000;

  explicit SptiEmulation(platform::SystemCalls calls = platform::RealSystemCalls());

  // Builds the drive table from the drives found; returns the number of
  // drives that answered INQUIRY. A second call before Shutdown returns 0.
  int Startup(const std::vector<platform::OpticalDrive>& drives);
  void Shutdown();
  bool started() const { return started_; }

  aspi::DWORD GetSupportInfo() const;
  aspi::DWORD SendCommand(void* request);

  void SetCloseAfterRequest(bool on);

  // 'A' + the letter index of the drive at the triple, or 7Fh when none.
  char LetterOf(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const;
  std::uint8_t adapter_count() const { return adapter_count_; }
  // The device node of the drive at the triple, or empty.
  std::string NodeOf(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const;

 private:
  struct DriveEntry {
    std::uint8_t adapter = 0, target = 0, lun = 0, letter_index = 0;
    bool present = false;
    std::unique_ptr<platform::PassThroughDevice> device;
    std::array<std::uint8_t, 40> inquiry{};
  };

  DriveEntry* Find(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun);
  const DriveEntry* Find(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const;
  void RecountAdapters();
  aspi::DWORD AdapterInquiry(aspi::SRB_HAInquiry& srb) const;
  aspi::DWORD DeviceType(aspi::SRB_GDEVBlock& srb) const;
  aspi::DWORD Execute(aspi::SRB_ExecSCSICmd& srb);

  platform::SystemCalls calls_;
  std::array<DriveEntry, 27> drives_;  // by drive-letter index, 0 = A
  std::uint8_t adapter_count_ = 0;
  std::uint8_t unaddressed_ = 0;
  bool started_ = false;
  bool close_after_request_ = true;
};

}  // namespace qvr::audio
