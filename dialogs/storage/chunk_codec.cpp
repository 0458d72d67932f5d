#include "storage/chunk_codec.h"

#include <array>
#include <cstdint>
#include <vector>

namespace qvr::storage {

namespace {

constexpr std::size_t kEscapeRunMin = 4;
constexpr std::size_t kTableRunMin = 5;

void PutU16(std::string& out, std::size_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

std::uint16_t GetU16(std::string_view data, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(data[at]) |
                                    (static_cast<unsigned char>(data[at + 1]) << 8));
}

// n = run length - 1, as one byte or as a 0 byte and a 16-bit value.
void PutCount(std::string& out, std::size_t n) {
  if (n <= 255) {
    out.push_back(static_cast<char>(n));
  } else {
    out.push_back('\0');
    PutU16(out, n);
  }
}

// Reads a count at `at`; advances `at` past it. False when it runs past `end`.
bool GetCount(std::string_view chunk, std::size_t& at, std::size_t end, std::size_t& n) {
  if (at >= end) return false;
  n = static_cast<unsigned char>(chunk[at++]);
  if (n != 0) return true;
  if (at + 2 > end) return false;
  n = GetU16(chunk, at);
  at += 2;
  return true;
}

std::size_t RunLength(std::string_view piece, std::size_t at) {
  std::size_t end = at + 1;
  while (end < piece.size() && piece[end] == piece[at]) ++end;
  return end - at;
}

}  // namespace

std::string EncodeChunk(std::string_view piece) {
  std::array<bool, 256> present{};
  for (unsigned char c : piece) present[c] = true;
  int escape = -1;
  for (int v = 0; v < 256; ++v) {
    if (!present[static_cast<std::size_t>(v)]) {
      escape = v;
      break;
    }
  }

  std::string out;
  out.reserve(piece.size() + 16);
  if (escape >= 0) {
    PutU16(out, static_cast<std::size_t>(escape));
    for (std::size_t at = 0; at < piece.size();) {
      std::size_t run = RunLength(piece, at);
      if (run >= kEscapeRunMin) {
        out.push_back(static_cast<char>(escape));
        out.push_back(piece[at]);
        PutCount(out, run - 1);
      } else {
        out.append(piece.substr(at, run));
      }
      at += run;
    }
    return out;
  }

  PutU16(out, 0);  // patched with the table offset below
  std::vector<std::size_t> count_offsets;
  for (std::size_t at = 0; at < piece.size();) {
    std::size_t run = RunLength(piece, at);
    if (run >= kTableRunMin) {
      out.push_back(piece[at]);
      count_offsets.push_back(out.size());
      PutCount(out, run - 1);
    } else {
      out.append(piece.substr(at, run));
    }
    at += run;
  }
  const std::size_t table = out.size();
  out[0] = static_cast<char>(table & 0xFF);
  out[1] = static_cast<char>((table >> 8) & 0xFF);
  for (auto it = count_offsets.rbegin(); it != count_offsets.rend(); ++it) PutU16(out, *it);
  return out;
}

bool DecodeChunk(std::string_view chunk, std::string& out) {
  if (chunk.size() < 2) return false;
  const std::size_t header = GetU16(chunk, 0);

  if (header < 256) {
    const char escape = static_cast<char>(header);
    for (std::size_t at = 2; at < chunk.size();) {
      if (chunk[at] != escape) {
        out.push_back(chunk[at++]);
        continue;
      }
      if (at + 1 >= chunk.size()) return false;
      const char b = chunk[at + 1];
      at += 2;
      std::size_t n = 0;
      if (!GetCount(chunk, at, chunk.size(), n)) return false;
      out.append(n + 1, b);
    }
    return true;
  }

  const std::size_t table = header;
  if (table > chunk.size() || (chunk.size() - table) % 2 != 0) return false;
  std::size_t at = 2;
  for (std::size_t entry = chunk.size(); entry > table; entry -= 2) {
    const std::size_t count_at = GetU16(chunk, entry - 2);
    // The run's byte stands just before its count, inside the literal area.
    if (count_at <= at || count_at >= table) return false;
    out.append(chunk.substr(at, count_at - 1 - at));
    const char b = chunk[count_at - 1];
    at = count_at;
    std::size_t n = 0;
    if (!GetCount(chunk, at, table, n)) return false;
    out.append(n + 1, b);
  }
  if (at > table) return false;
  out.append(chunk.substr(at, table - at));
  return true;
}

}  // namespace qvr::storage
