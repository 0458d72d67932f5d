#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "qvr/data/byte_fields.h"
#include "qvr/data/drive_jobs.h"
#include "qvr/data/md5_stream.h"
#include "qvr/data/mmc_commands.h"

namespace qvr::data {

namespace {

constexpr std::size_t kPiece = 65536;

// The digest of the file's bytes on the disc, or "-" when a read fails.
std::string DiscDigest(TSCSIDevice& d, const TFileEntry& e, const ImageLayout& layout, EngineState& state,
                       const std::atomic<bool>& abort, std::atomic<uint32_t>& verified, uint8_t* buffer) {
  TMD5Stream md5;
  uint64_t sector = uint64_t{e.Extent} + layout.FileDataStart + layout.SessionStart;
  uint64_t remaining = e.Size;
  while (remaining > 0) {
    const auto chunk = static_cast<uint32_t>(std::min<uint64_t>(remaining, kPiece));
    const auto sectors = static_cast<uint16_t>(SectorsFor(chunk));
    if (!Read10(d, static_cast<uint32_t>(sector), sectors, buffer)) {
      verified.fetch_add(static_cast<uint32_t>(SectorsFor(remaining)));
      return "-";
    }
    md5.Write(buffer, chunk);
    verified.fetch_add(sectors);
    sector += sectors;
    remaining -= chunk;
    if (abort.load()) {
      state.SetStatus(TComponentStatus::Aborted);
      return "-";
    }
  }
  return md5.FinishText();
}

}  // namespace

std::string SourceDigest(const std::string& path, const std::atomic<bool>& abort, uint8_t* buffer) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  TMD5Stream md5;
  for (;;) {
    std::size_t got = 0;
    while (got < kPiece) {
      const ssize_t n = ::read(fd, buffer + got, kPiece - got);
      if (n < 0) {
        ::close(fd);
        return {};
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    md5.Write(buffer, got);
    if (got < kPiece) break;
    if (abort.load()) {
      ::close(fd);
      return {};
    }
  }
  ::close(fd);
  return md5.FinishText();
}

void VerifyFiles(TSCSIDevice& d, ImageTree& tree, const ImageLayout& layout, EngineState& state,
                 const std::atomic<bool>& abort, std::atomic<uint32_t>& verified,
                 const std::function<void(int32_t, bool)>& report) {
  verified.store(0);
  bool anyFailed = false, aborted = false;
  std::vector<uint8_t> buffer(kPiece);
  const auto& files = tree.Files();
  for (std::size_t i = 0; i < files.size(); ++i) {
    TFileEntry& e = *files[i];
    if (e.IsDirectory() || e.SourcePath.empty() || e.ExtentIsAbsolute) continue;
    bool failed = false;
    if (e.Size > 0) {
      if (e.Digest.empty()) e.Digest = SourceDigest(e.SourcePath, abort, buffer.data());
      // A source that cannot be read cannot be compared: the file fails.
      failed = e.Digest.empty() || e.Digest != DiscDigest(d, e, layout, state, abort, verified, buffer.data());
    }
    anyFailed = anyFailed || failed;
    report(static_cast<int32_t>(i), failed);
    if (abort.load()) {
      state.SetStatus(TComponentStatus::Aborted);
      state.SetError(OperationAborted);
      aborted = true;
      break;
    }
  }
  state.SetStatus(TComponentStatus::Idle);
  // An aborted run has compared only part of the disc: it never reads as a pass.
  report(-1, anyFailed || aborted);
}

}  // namespace qvr::data
