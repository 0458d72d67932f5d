#include "qvr/vdrive/drive_set.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>

#include "qvr/platform/program_folder.h"

namespace qvr::vdrive {

namespace fs = std::filesystem;

namespace {

std::string Trim(const std::string& s) {
  std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return {};
  std::size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

int RealOpticalDrives() {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/dev", ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() > 2 && name.rfind("sr", 0) == 0 &&
        std::all_of(name.begin() + 2, name.end(), [](unsigned char c) { return std::isdigit(c); }))
      ++count;
  }
  return count;
}

}  // namespace

DriveSet::DriveSet(std::string folder) : folder_(platform::WithTrailingSlash(std::move(folder))) {
  std::error_code ec;
  fs::create_directories(folder_, ec);
  Load();
}

DriveSet::~DriveSet() = default;

DriveSet& DriveSet::Default() {
  static DriveSet set(platform::ProgramFolder() + "vdrive/");
  return set;
}

void DriveSet::Load() {
  std::ifstream in(folder_ + "drives.ini");
  if (!in) {
    drives_.push_back(std::make_unique<Drive>(*this, 0, DriveIdentity{}, folder_));
    Save();
    return;
  }
  std::map<int, DriveIdentity> declared;
  std::string section, line;
  while (std::getline(in, line)) {
    line = Trim(line.substr(0, line.find(';')));
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      if (section.rfind("drive", 0) == 0) declared[std::atoi(section.c_str() + 5)];
      continue;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    if (section == "settings" && key == "time_scale") {
      char* end = nullptr;
      double scale = std::strtod(value.c_str(), &end);
      if (end != value.c_str() && scale >= 0) time_scale_ = scale;
    } else if (section.rfind("drive", 0) == 0) {
      DriveIdentity& id = declared[std::atoi(section.c_str() + 5)];
      if (key == "vendor") id.vendor = value.substr(0, 8);
      else if (key == "product") id.product = value.substr(0, 16);
      else if (key == "revision") id.revision = value.substr(0, 4);
      else if (key == "serial") id.serial = value.substr(0, 20);
    }
  }
  // Drives are numbered 0, 1, ... without gaps; at most 8 targets on the adapter.
  for (int i = 0; i < 8 && declared.count(i); ++i) {
    drives_.push_back(std::make_unique<Drive>(*this, i, declared[i], folder_));
  }
  if (drives_.empty()) drives_.push_back(std::make_unique<Drive>(*this, 0, DriveIdentity{}, folder_));
}

void DriveSet::Save() const {
  std::ostringstream out;
  out << "; Virtual recorders of Quorvella. Each drive keeps its disc beside this file.\n";
  out << "[settings]\ntime_scale=" << time_scale_ << "\n";
  for (const auto& drive : drives_) {
    const DriveIdentity& id = drive->Identity();
    out << "\n[drive" << drive->Index() << "]\nvendor=" << id.vendor << "\nproduct=" << id.product
        << "\nrevision=" << id.revision << "\n";
    if (!id.serial.empty()) out << "serial=" << id.serial << "\n";
  }
  std::string tmp = folder_ + "drives.ini.tmp";
  {
    std::ofstream file(tmp, std::ios::trunc);
    file << out.str();
  }
  std::error_code ec;
  fs::rename(tmp, folder_ + "drives.ini", ec);
}

Drive* DriveSet::At(std::size_t index) const { return index < drives_.size() ? drives_[index].get() : nullptr; }

Drive* DriveSet::Find(const std::string& name) const {
  if (name.empty()) return nullptr;
  if (std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); })) {
    return At(static_cast<std::size_t>(std::atoi(name.c_str())));
  }
  if (name.size() == 1 || (name.size() == 2 && name[1] == ':')) {
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    for (std::size_t i = 0; i < drives_.size(); ++i) {
      if (LetterOf(i) == letter) return drives_[i].get();
    }
  }
  return nullptr;
}

char DriveSet::LetterOf(std::size_t index) const {
  int letter = 'D' + RealOpticalDrives() + static_cast<int>(index);
  return letter > 'Z' ? '?' : static_cast<char>(letter);
}

namespace {

bool ParseScale(const std::string& text, double& out) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || value < 0) return false;
  out = value;
  return true;
}

}  // namespace

double DriveSet::TimeScale() const {
  if (const char* env = std::getenv("QVR_VDRIVE_TIME_SCALE")) {
    double scale = 0;
    if (ParseScale(env, scale)) return scale;
  }
  struct stat st {};
  std::string ini = folder_ + "drives.ini";
  if (::stat(ini.c_str(), &st) == 0) {
    std::int64_t mtime = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (mtime != ini_mtime_ns_) {
      ini_mtime_ns_ = mtime;
      std::ifstream in(ini);
      std::string section;
      for (std::string line; std::getline(in, line);) {
        line = Trim(line.substr(0, line.find(';')));
        if (!line.empty() && line.front() == '[') section = line;
        std::size_t eq = line.find('=');
        if (section == "[settings]" && eq != std::string::npos && Trim(line.substr(0, eq)) == "time_scale") {
          double scale = 0;
          if (ParseScale(Trim(line.substr(eq + 1)), scale)) time_scale_ = scale;
        }
      }
    }
  }
  return time_scale_;
}

void DriveSet::SetTimeScale(double scale) {
  time_scale_ = scale < 0 ? 0 : scale;
  Save();
}

}  // namespace qvr::vdrive
