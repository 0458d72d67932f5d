#include "qvr/platform/program_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace qvr::platform {

namespace fs = std::filesystem;

std::string WithTrailingSlash(std::string path) {
  if (path.empty() || path.back() != '/') path.push_back('/');
  return path;
}

std::string ExecutableFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return WithTrailingSlash(fs::current_path(ec).string());
  return WithTrailingSlash(exe.parent_path().string());
}

static bool IsWritableFolder(const std::string& folder) {
  return access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string ProgramFolder() {
  std::string folder;
  if (const char* home = std::getenv("QUORVELLA_HOME"); home && *home) {
    folder = home;
  } else if (std::string exe = ExecutableFolder(); IsWritableFolder(exe)) {
    folder = exe;
  } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    folder = std::string(xdg) + "/Quorvella";
  } else {
    const char* user_home = std::getenv("HOME");
    folder = std::string(user_home ? user_home : "/tmp") + "/.local/share/Quorvella";
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  return WithTrailingSlash(folder);
}

}  // namespace qvr::platform
