#pragma once
// The run-length chunk coding of the stored-file container.
//
// A piece of at most kMaxPieceSize bytes becomes one chunk. The chunk starts
// with a 16-bit little-endian header H:
//  * H < 256 (escape mode): H is a byte value absent from the piece. Literal
//    bytes follow; a run of 4 or more equal bytes b is written H, b, count.
//  * H >= 256 (table mode, when every byte value occurs): bytes 2..H are
//    literals in which a run of 5 or more equal bytes b is written b, count;
//    from H to the end lies a table of 16-bit offsets of the runs' count bytes,
//    last run first.
// A count is n = run length - 1: one byte for 1..255, or a 0 byte and n as a
// 16-bit value for 256 and more.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qvr::storage {

inline constexpr std::size_t kMaxPieceSize = 0xFFFD;

// Encodes one piece (at most kMaxPieceSize bytes) into one chunk.
std::string EncodeChunk(std::string_view piece);

// Decodes one chunk and appends its bytes to out. False for a malformed chunk
// (out may then hold part of it).
bool DecodeChunk(std::string_view chunk, std::string& out);

}  // namespace qvr::storage
