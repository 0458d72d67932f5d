#pragma once
// Writing test WAVE files: a sine tone of a given number of PCM bytes, with
// optional extra chunks around the data.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

struct WaveSpec {
  std::uint16_t channels = 2;
  std::uint32_t rate = 44100;
  std::uint16_t bits = 16;
  std::uint16_t format = 1;
  std::uint32_t fmt_size = 16;         // 16 or 18
  bool list_before_data = false;       // a LIST chunk between fmt and data
  bool trailer_after_data = false;     // an odd-sized chunk after the data
  bool pad_odd_data = true;            // the pad byte RIFF puts after odd-sized data (often left out)
};

inline std::vector<std::uint8_t> SinePcm(std::size_t bytes, double hz, unsigned seed = 0) {
  std::vector<std::uint8_t> pcm(bytes);
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const double t = static_cast<double>(i / 4) / 44100.0;
    const auto v = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * hz * t) + ((i / 2) % 2 ? seed : 0));
    pcm[i] = static_cast<std::uint8_t>(v & 0xFF);
    pcm[i + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  }
  if (bytes % 2) pcm.back() = 0x5A;
  return pcm;
}

inline void WriteWave(const std::string& path, const std::vector<std::uint8_t>& pcm, const WaveSpec& spec = {}) {
  auto le = [](std::vector<std::uint8_t>& v, std::uint32_t x, int n) {
    for (int i = 0; i < n; ++i) v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
  };
  auto tag = [](std::vector<std::uint8_t>& v, const char* t) { v.insert(v.end(), t, t + 4); };
  std::vector<std::uint8_t> body;
  tag(body, "WAVE");
  tag(body, "fmt ");
  le(body, spec.fmt_size, 4);
  le(body, spec.format, 2);
  le(body, spec.channels, 2);
  le(body, spec.rate, 4);
  le(body, spec.rate * spec.channels * spec.bits / 8, 4);
  le(body, spec.channels * spec.bits / 8, 2);
  le(body, spec.bits, 2);
  if (spec.fmt_size == 18) le(body, 0, 2);
  if (spec.list_before_data) {
    tag(body, "LIST");
    le(body, 10, 4);
    body.insert(body.end(), {'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 0, 0});
  }
  tag(body, "data");
  le(body, static_cast<std::uint32_t>(pcm.size()), 4);
  body.insert(body.end(), pcm.begin(), pcm.end());
  if (pcm.size() % 2 && spec.pad_odd_data) body.push_back(0);
  if (spec.trailer_after_data) {
    tag(body, "junk");
    le(body, 3, 4);
    body.insert(body.end(), {0xEE, 0xEE, 0xEE, 0});
  }
  std::vector<std::uint8_t> file;
  tag(file, "RIFF");
  le(file, static_cast<std::uint32_t>(body.size()), 4);
  file.insert(file.end(), body.begin(), body.end());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                               static_cast<std::streamsize>(file.size()));
}
