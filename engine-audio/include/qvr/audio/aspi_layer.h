#pragma once
// The audio engine's one road to its drives: the two ASPI entry points, served
// either by an ASPI library (libwnaspi32.so; the virtual recorder is one) or
// by the built-in SG_IO emulation "OVASPI32".

#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "qvr/platform/aspi_library.h"
#include "qvr/platform/optical_drives.h"
#include "qvr/platform/wnaspi32.h"

namespace qvr::audio {

class SptiEmulation;

class AspiLayer {
 public:
  static constexpr const char* kEmulationName = "OVASPI32";

  // The two entry points of a loaded library.
  struct EntryPoints {
    aspi::GetASPI32SupportInfoFn support_info = nullptr;
    aspi::SendASPI32CommandFn send_command = nullptr;
  };

  // What the layer reaches the machine through; tests give their own.
  struct Environment {
    std::function<std::vector<platform::OpticalDrive>()> find_drives;
    platform::SystemCalls calls;
    // Loads the library into `library` and answers its entry points; none
    // when nothing loads (the reason then in library.error()).
    std::function<std::optional<EntryPoints>(platform::AspiLibrary& library, const std::string& dll_path)>
        load_library;
  };
  static Environment SystemEnvironment();

  explicit AspiLayer(Environment environment = SystemEnvironment());
  ~AspiLayer();
  AspiLayer(const AspiLayer&) = delete;
  AspiLayer& operator=(const AspiLayer&) = delete;

  // The process-wide layer the device components use by default.
  static AspiLayer& Instance();

  // With use_spti the emulation is tried first; then the library (dll_path
  // first when given); then the emulation even without use_spti.
  bool InitializeASPI(bool use_spti, const std::string& dll_path);
  // Unloads and initialises again with the remembered preference; always true.
  bool ReinitializeASPI();
  void Shutdown();

  bool ASPIInitialized() const;
  std::string LayerName() const;  // library file name, kEmulationName, or empty
  bool IsEmulation() const;

  aspi::DWORD GetSupportInfo();
  aspi::DWORD SendCommand(void* request);

  // Close the drive node after every request (emulation only; on at start).
  void SetCloseAfterRequest(bool on);
  bool CloseAfterRequest() const;

  // 'A' + drive-letter index of the emulated drive at the triple, 7Fh when none.
  char EmulatedLetterOf(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const;
  // Device node of the emulated drive at the triple, empty when none.
  std::string EmulatedNodeOf(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) const;

  // The machine's optical drives, through the layer's environment.
  std::vector<platform::OpticalDrive> FindDrives() const { return environment_.find_drives(); }

  // Drives found that this user cannot open, with the cause and what to do.
  std::vector<std::string> DriveProblems() const;
  // Why the ASPI library did not load (empty when it did or was not tried).
  std::string LibraryError() const;

 private:
  bool StartEmulationLocked();
  void ShutdownLocked();

  Environment environment_;
  mutable std::shared_mutex mutex_;  // requests share it; (re)initialisation takes it alone
  platform::AspiLibrary library_;
  EntryPoints entries_;
  std::unique_ptr<SptiEmulation> emulation_;
  std::string layer_name_;
  bool loaded_ = false;
  bool use_spti_ = false;
  bool close_after_request_ = true;
  std::vector<std::string> drive_problems_;
  std::string library_error_;
};

}  // namespace qvr::audio
