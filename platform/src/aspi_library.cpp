#include "qvr/platform/aspi_library.h"

#include <algorithm>
#include <dlfcn.h>

#include "qvr/platform/program_folder.h"

namespace qvr::platform {

std::vector<std::string> AspiLibrary::Candidates(const std::string& explicit_path,
                                                 const std::string& program_folder,
                                                 const std::string& executable_folder,
                                                 const std::string& library_name) {
  std::vector<std::string> list;
  auto add = [&list](std::string path) {
    if (!path.empty() && std::find(list.begin(), list.end(), path) == list.end()) list.push_back(std::move(path));
  };
  add(explicit_path);
  if (!program_folder.empty()) add(WithTrailingSlash(program_folder) + library_name);
  if (!executable_folder.empty()) add(WithTrailingSlash(executable_folder) + library_name);
  add(library_name);
  return list;
}

bool AspiLibrary::Load(const std::string& explicit_path) {
  return LoadFrom(Candidates(explicit_path, ProgramFolder(), ExecutableFolder()));
}

bool AspiLibrary::LoadFrom(const std::vector<std::string>& candidates) {
  Unload();
  error_.clear();
  for (const std::string& candidate : candidates) {
    void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      if (!error_.empty()) error_ += "; ";
      error_ += why ? why : candidate + ": cannot be loaded";
      continue;
    }
    auto info = reinterpret_cast<aspi::GetASPI32SupportInfoFn>(dlsym(handle, aspi::kSupportInfoSymbol));
    auto send = reinterpret_cast<aspi::SendASPI32CommandFn>(dlsym(handle, aspi::kSendCommandSymbol));
    if (!info || !send) {
      if (!error_.empty()) error_ += "; ";
      error_ += candidate + ": missing entry point " +
                (info ? aspi::kSendCommandSymbol : aspi::kSupportInfoSymbol);
      dlclose(handle);
      continue;
    }
    handle_ = handle;
    path_ = candidate;
    support_info_ = info;
    send_command_ = send;
    error_.clear();
    return true;
  }
  if (error_.empty()) error_ = "no ASPI library to try";
  return false;
}

void AspiLibrary::Unload() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
  path_.clear();
  support_info_ = nullptr;
  send_command_ = nullptr;
}

}  // namespace qvr::platform
