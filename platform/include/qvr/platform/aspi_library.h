#pragma once
// Loading an ASPI library (default libwnaspi32.so) with dlopen and resolving
// its two entry points. The search order is: the path the caller names, the
// program folder, the executable's folder, then the dynamic loader's own path.
// A candidate that loads but lacks an entry point is closed and the search
// goes on.

#include <string>
#include <vector>

#include "qvr/platform/wnaspi32.h"

namespace qvr::platform {

class AspiLibrary {
 public:
  AspiLibrary() = default;
  ~AspiLibrary() { Unload(); }
  AspiLibrary(const AspiLibrary&) = delete;
  AspiLibrary& operator=(const AspiLibrary&) = delete;

  // The files tried, in order, without duplicates. A bare name (last) lets
  // the dynamic loader search its own path.
  static std::vector<std::string> Candidates(const std::string& explicit_path,
                                             const std::string& program_folder,
                                             const std::string& executable_folder,
                                             const std::string& library_name = aspi::kDefaultLibraryName);

  // Loads from Candidates(explicit_path, ProgramFolder(), ExecutableFolder()).
  bool Load(const std::string& explicit_path = {});
  bool LoadFrom(const std::vector<std::string>& candidates);
  void Unload();

  bool loaded() const { return handle_ != nullptr; }
  const std::string& path() const { return path_; }    // the candidate that loaded
  const std::string& error() const { return error_; }  // why the last load failed

  aspi::GetASPI32SupportInfoFn support_info() const { return support_info_; }
  aspi::SendASPI32CommandFn send_command() const { return send_command_; }

 private:
  void* handle_ = nullptr;
  std::string path_;
  std::string error_;
  aspi::GetASPI32SupportInfoFn support_info_ = nullptr;
  aspi::SendASPI32CommandFn send_command_ = nullptr;
};

}  // namespace qvr::platform
