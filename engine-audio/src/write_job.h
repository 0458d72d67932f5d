#pragma once
// The writer thread of an audio job: programs the drive, sends the cue sheet
// (disc-at-once) or opens each track (track-at-once), writes the blocks of the
// read-ahead with WRITE (10), and always ends with the closing sequence once
// writing has started.

#include <cstdint>
#include <memory>
#include <string>

namespace qvr::audio {

class TCueBurner;
class CueReadAhead;
struct CacheBlock;

class CueWriteJob {
 public:
  CueWriteJob(TCueBurner& burner, std::shared_ptr<CueReadAhead> read_ahead);
  void Run();

  // Attempts of one block while the drive is busy or not ready.
  static constexpr int kMaxAttempts = 5000;

 private:
  bool SetWriteParameters(bool open_for_next_session, bool audio);
  bool WriteBlock(CacheBlock& block);  // false: the job ends
  void NextTrack();
  void CloseSession();
  void Closing();
  void Fail(const std::string& text);

  TCueBurner& burner_;
  std::shared_ptr<CueReadAhead> read_ahead_;
  const bool track_at_once_;
  std::int32_t lba_ = 0;
  std::uint32_t sector_size_ = 2352;
  std::uint8_t medium_ = 0;
  bool poll_buffer_ = true;
  std::uint64_t blocks_written_ = 0;
};

}  // namespace qvr::audio
