#include "qvr/audio/aspi_layer.h"

#include <mutex>

#include "qvr/audio/spti_emulation.h"

namespace qvr::audio {

using namespace qvr::aspi;

AspiLayer::Environment AspiLayer::SystemEnvironment() {
  return {
      [] { return platform::FindOpticalDrives(); },
      platform::RealSystemCalls(),
      [](platform::AspiLibrary& library, const std::string& dll_path) -> std::optional<EntryPoints> {
        if (!library.Load(dll_path)) return std::nullopt;
        return EntryPoints{library.support_info(), library.send_command()};
      },
  };
}

AspiLayer::AspiLayer(Environment environment) : environment_(std::move(environment)) {}

AspiLayer::~AspiLayer() {
  std::unique_lock lock(mutex_);
  ShutdownLocked();
}

AspiLayer& AspiLayer::Instance() {
  static AspiLayer layer;
  return layer;
}

bool AspiLayer::StartEmulationLocked() {
  std::vector<platform::OpticalDrive> drives = environment_.find_drives();
  drive_problems_.clear();
  for (const platform::OpticalDrive& drive : drives) {
    if (!drive.usable()) drive_problems_.push_back(drive.problem);
  }
  auto emulation = std::make_unique<SptiEmulation>(environment_.calls);
  emulation->SetCloseAfterRequest(close_after_request_);
  if (emulation->Startup(drives) == 0) return false;
  emulation_ = std::move(emulation);
  layer_name_ = kEmulationName;
  return true;
}

bool AspiLayer::InitializeASPI(bool use_spti, const std::string& dll_path) {
  std::unique_lock lock(mutex_);
  ShutdownLocked();
  library_error_.clear();
  close_after_request_ = true;
  bool ready = use_spti && StartEmulationLocked();
  if (!ready) {
    if (std::optional<EntryPoints> entries = environment_.load_library(library_, dll_path)) {
      entries_ = *entries;
      layer_name_ = aspi::kDefaultLibraryName;
      ready = true;
    } else {
      library_error_ = library_.error();
    }
  }
  if (!ready && !use_spti) ready = StartEmulationLocked();
  loaded_ = ready;
  use_spti_ = use_spti;
  if (loaded_) {
    // Asked once so the library can set itself up; its answer is not needed.
    if (emulation_) {
      emulation_->GetSupportInfo();
    } else {
      entries_.support_info();
    }
  }
  return loaded_;
}

bool AspiLayer::ReinitializeASPI() {
  bool use_spti;
  {
    std::unique_lock lock(mutex_);
    ShutdownLocked();
    use_spti = use_spti_;
  }
  InitializeASPI(use_spti, {});
  return true;
}

void AspiLayer::Shutdown() {
  std::unique_lock lock(mutex_);
  ShutdownLocked();
}

void AspiLayer::ShutdownLocked() {
  if (emulation_) emulation_->Shutdown();
  emulation_.reset();
  library_.Unload();
  entries_ = {};
  layer_name_.clear();
  loaded_ = false;
}

bool AspiLayer::ASPIInitialized() const {
  std::shared_lock lock(mutex_);
  return loaded_;
}

std::string AspiLayer::LayerName() const {
  std::shared_lock lock(mutex_);
  return layer_name_;
}

bool AspiLayer::IsEmulation() const {
  std::shared_lock lock(mutex_);
  return emulation_ != nullptr;
}

DWORD AspiLayer::GetSupportInfo() {
  std::shared_lock lock(mutex_);
  if (emulation_) return emulation_->GetSupportInfo();
  if (entries_.support_info) return entries_.support_info();
  return DWORD{SS_NO_ASPI} << 8;
}

DWORD AspiLayer::SendCommand(void* request) {
  std::shared_lock lock(mutex_);
  if (emulation_) return emulation_->SendCommand(request);
  if (entries_.send_command) return entries_.send_command(request);
  static_cast<SRB_Header*>(request)->SRB_Status = SS_NO_ASPI;
  return SS_NO_ASPI;
}

void AspiLayer::SetCloseAfterRequest(bool on) {
  std::unique_lock lock(mutex_);
  close_after_request_ = on;
  if (emulation_) emulation_->SetCloseAfterRequest(on);
}

bool AspiLayer::CloseAfterRequest() const {
  std::shared_lock lock(mutex_);
  return close_after_request_;
}

char AspiLayer::EmulatedLetterOf(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const {
  std::shared_lock lock(mutex_);
  return emulation_ ? emulation_->LetterOf(adapter, target, lun) : '\x7F';
}

std::string AspiLayer::EmulatedNodeOf(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const {
  std::shared_lock lock(mutex_);
  return emulation_ ? emulation_->NodeOf(adapter, target, lun) : std::string();
}

std::vector<std::string> AspiLayer::DriveProblems() const {
  std::shared_lock lock(mutex_);
  return drive_problems_;
}

std::string AspiLayer::LibraryError() const {
  std::shared_lock lock(mutex_);
  return library_error_;
}

}  // namespace qvr::audio
