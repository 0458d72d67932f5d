#include "cd_sector_code.h"

#include <array>
#include <cstring>

namespace qvr::vdrive {

namespace {

struct Tables {
  std::array<std::uint32_t, 256> edc{};
  std::array<std::uint8_t, 256> times_alpha{};   // x * alpha in GF(2^8), x^8+x^4+x^3+x^2+1
  std::array<std::uint8_t, 256> divide_alpha1{};  // inverse of x -> x ^ (x * alpha)
  Tables() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t e = i;
      for (int bit = 0; bit < 8; ++bit) e = (e >> 1) ^ ((e & 1) ? 0xD8018001u : 0);
      edc[i] = e;
      auto doubled = static_cast<std::uint8_t>((i << 1) ^ ((i & 0x80) ? 0x11D : 0));
      times_alpha[i] = doubled;
      divide_alpha1[i ^ doubled] = static_cast<std::uint8_t>(i);
    }
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

// Two parity bytes for each of major_count codewords of minor_count symbols,
// read from data at the interleaving the standard gives for P and Q.
void Parity(const std::uint8_t* data, int major_count, int minor_count, int major_mult, int minor_inc,
            std::uint8_t* out) {
  const Tables& t = T();
  int size = major_count * minor_count;
  for (int major = 0; major < major_count; ++major) {
    int index = (major >> 1) * major_mult + (major & 1);
    std::uint8_t a = 0, b = 0;
    for (int minor = 0; minor < minor_count; ++minor) {
      std::uint8_t symbol = data[index];
      index += minor_inc;
      if (index >= size) index -= size;
      a ^= symbol;
      b ^= symbol;
      a = t.times_alpha[a];
    }
    a = t.divide_alpha1[t.times_alpha[a] ^ b];
    out[major] = a;
    out[major + major_count] = a ^ b;
  }
}

}  // namespace

void CompleteMode1Sector(std::uint8_t* raw) {
  const Tables& t = T();
  std::uint32_t edc = 0;
  for (int i = 0; i < 2064; ++i) edc = (edc >> 8) ^ t.edc[(edc ^ raw[i]) & 0xFF];
  for (int i = 0; i < 4; ++i) raw[2064 + i] = static_cast<std::uint8_t>(edc >> (8 * i));
  std::memset(raw + 2068, 0, 8);
  Parity(raw + 12, 86, 24, 2, 86, raw + 2076);   // P
  Parity(raw + 12, 52, 43, 86, 88, raw + 2248);  // Q
}

}  // namespace qvr::vdrive
