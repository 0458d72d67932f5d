#pragma once
// TMD5Stream: a write-only stream that computes the MD5 digest (RFC 1321) of
// everything written to it. Verification compares source and disc digests.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qvr::data {

class TMD5Stream {
 public:
  TMD5Stream() { Reset(); }

  // Nothing can be read back; always 0.
  std::size_t Read(void*, std::size_t) { return 0; }
  std::size_t Write(const void* buffer, std::size_t count);
  void AddByte(uint8_t b) { Write(&b, 1); }
  void Reset();

  // Finishing ends the stream; Reset before writing again.
  std::array<uint8_t, 16> Finish();
  std::string FinishText();  // 32 uppercase hexadecimal digits

 private:
  void Transform(const uint8_t* block);

  uint64_t blocks_ = 0;   // 64-byte blocks processed
  std::size_t bufCount_ = 0;
  uint8_t buffer_[64] = {};
  uint32_t a_ = 0, b_ = 0, c_ = 0, d_ = 0;
};

}  // namespace qvr::data
