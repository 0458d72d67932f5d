#include "qvr/data/md5_stream.h"

#include <algorithm>
#include <cstring>

#include "qvr/data/byte_fields.h"

namespace qvr::data {

namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

void TMD5Stream::Reset() {
  blocks_ = 0;
  bufCount_ = 0;
  a_ = 0x67452301;
  b_ = 0xefcdab89;
  c_ = 0x98badcfe;
  d_ = 0x10325476;
}

void TMD5Stream::Transform(const uint8_t* block) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = Get32LE(block + 4 * i);
  uint32_t a = a_, b = b_, c = c_, d = d_;
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const uint32_t next = b + Rotl(a + f + kSine[i] + m[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  a_ += a;
  b_ += b;
  c_ += c;
  d_ += d;
  ++blocks_;
}

std::size_t TMD5Stream::Write(const void* buffer, std::size_t count) {
  auto p = static_cast<const uint8_t*>(buffer);
  std::size_t left = count;
  if (bufCount_ > 0) {
    const std::size_t n = std::min(left, 64 - bufCount_);
    std::memcpy(buffer_ + bufCount_, p, n);
    bufCount_ += n;
    p += n;
    left -= n;
    if (bufCount_ < 64) return count;
    Transform(buffer_);
    bufCount_ = 0;
  }
  for (; left >= 64; left -= 64, p += 64) Transform(p);
  std::memcpy(buffer_, p, left);
  bufCount_ = left;
  return count;
}

std::array<uint8_t, 16> TMD5Stream::Finish() {
  const uint64_t bits = (blocks_ * 64 + bufCount_) * 8;
  buffer_[bufCount_++] = 0x80;
  if (bufCount_ > 56) {
    std::memset(buffer_ + bufCount_, 0, 64 - bufCount_);
    Transform(buffer_);
    bufCount_ = 0;
  }
  std::memset(buffer_ + bufCount_, 0, 56 - bufCount_);
  Put64LE(buffer_ + 56, bits);
  Transform(buffer_);
  bufCount_ = 0;
  std::array<uint8_t, 16> digest{};
  Put32LE(digest.data(), a_);
  Put32LE(digest.data() + 4, b_);
  Put32LE(digest.data() + 8, c_);
  Put32LE(digest.data() + 12, d_);
  return digest;
}

std::string TMD5Stream::FinishText() {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : Finish()) {
    text.push_back(kHex[byte >> 4]);
    text.push_back(kHex[byte & 15]);
  }
  return text;
}

}  // namespace qvr::data
