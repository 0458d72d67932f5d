#pragma once
// Small helpers of the data engine tests: a temporary folder, files, reading
// sectors back and running the independent readers.

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace qvr::data::test {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "qvr-data-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path, uint64_t offset = 0, std::size_t count = SIZE_MAX) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::vector<uint8_t> out;
  char buffer[65536];
  while (count > 0 && in) {
    in.read(buffer, static_cast<std::streamsize>(std::min(count, sizeof buffer)));
    out.insert(out.end(), buffer, buffer + in.gcount());
    count -= static_cast<std::size_t>(in.gcount());
  }
  return out;
}

inline std::vector<uint8_t> ReadSector(const std::string& image, uint32_t sector) {
  return ReadBytes(image, uint64_t{sector} * 2048, 2048);
}

struct ToolResult {
  int code = -1;
  std::string output;
};

// Runs a shell command line built from quoted words; stdout and stderr together.
inline ToolResult RunTool(const std::string& command) {
  ToolResult r;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) r.output.append(buffer, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

inline std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

inline bool HaveTool(const std::string& name) { return RunTool("command -v " + Quote(name)).code == 0; }

// A Python interpreter that has pycdlib, or "".
inline std::string PythonWithPycdlib() {
  for (const char* python : {"/usr/bin/python3", "python3"})
    if (RunTool(std::string(python) + " -c 'import pycdlib'").code == 0) return python;
  return {};
}

}  // namespace qvr::data::test
