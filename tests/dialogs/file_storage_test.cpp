#include "storage/file_storage.h"

#include <gtest/gtest.h>

#include <random>

#include "storage/chunk_codec.h"

using qvr::storage::DecodeChunk;
using qvr::storage::EncodeChunk;
using qvr::storage::TFileStorage;

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

std::string RoundTripChunk(const std::string& piece) {
  std::string out;
  EXPECT_TRUE(DecodeChunk(EncodeChunk(piece), out));
  return out;
}

std::string AllByteValues() {
  std::string piece;
  for (int v = 0; v < 256; ++v) piece.push_back(static_cast<char>(v));
  return piece;
}

TEST(ChunkCodec, EscapeModeSevenByteExample) {
  EXPECT_EQ(EncodeChunk("abbbbbc"), Bytes({0x00, 0x00, 'a', 0x00, 'b', 0x04, 'c'}));
}

TEST(ChunkCodec, EscapeModeEncodings) {
  struct Case {
    std::string piece;
    std::string chunk;
  } cases[] = {
      {"", Bytes({0, 0})},
      {"abbbc", Bytes({0, 0, 'a', 'b', 'b', 'b', 'c'})},          // a run of 3 stays literal
      {"bbbb", Bytes({0, 0, 0, 'b', 3})},                           // a run of 4 is the shortest run
      {std::string(257, 'x'), Bytes({0, 0, 0, 'x', 0, 0x00, 0x01})},  // n = 256 needs the 16-bit count
      {std::string(256, 'x'), Bytes({0, 0, 0, 'x', 255})},
      {Bytes({0, 1, 1, 1, 1}), Bytes({2, 0, 0, 2, 1, 3})},          // the lowest absent value is the escape
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeChunk(c.piece), c.chunk) << c.piece.size();
    std::string decoded;
    EXPECT_TRUE(DecodeChunk(c.chunk, decoded));
    EXPECT_EQ(decoded, c.piece);
  }
}

TEST(ChunkCodec, TableModeWhenEveryByteValueOccurs) {
  // All 256 values, then a run of 5, a run of 4 (literal) and a long run.
  const std::string piece = AllByteValues() + std::string(5, 'q') + std::string(4, 'r') + std::string(300, '\0') + "end";
  const std::string chunk = EncodeChunk(piece);
  const unsigned header = static_cast<unsigned char>(chunk[0]) | static_cast<unsigned char>(chunk[1]) << 8;
  ASSERT_GE(header, 256u);
  // Two runs, so a table of two offsets, the last run first.
  ASSERT_EQ(chunk.size() - header, 4u);
  const unsigned last = static_cast<unsigned char>(chunk[header]) | static_cast<unsigned char>(chunk[header + 1]) << 8;
  const unsigned first = static_cast<unsigned char>(chunk[header + 2]) | static_cast<unsigned char>(chunk[header + 3]) << 8;
  EXPECT_LT(first, last);
  EXPECT_EQ(chunk[first - 1], 'q');
  EXPECT_EQ(chunk[first], 4);
  EXPECT_EQ(chunk[last - 1], '\0');
  EXPECT_EQ(chunk[last], 0);  // 16-bit count follows
  EXPECT_EQ(RoundTripChunk(piece), piece);
}

TEST(ChunkCodec, RoundTripsRandomPiecesInBothModes) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::string piece;
    const bool all_values = round % 2 == 0;
    if (all_values) piece = AllByteValues();
    const int alphabet = 1 + round % 6;  // few values make many runs
    const std::size_t length = rng() % 3000;
    while (piece.size() < length) {
      const char c = static_cast<char>('a' + rng() % alphabet);
      piece.append(1 + rng() % 9, c);
    }
    std::shuffle(piece.begin(), piece.begin() + std::min<std::size_t>(piece.size(), 40), rng);
    ASSERT_EQ(RoundTripChunk(piece), piece) << round;
  }
}

TEST(ChunkCodec, RejectsMalformedChunks) {
  const std::string table_chunk = EncodeChunk(AllByteValues() + std::string(9, 'z'));
  const std::string bad[] = {
      Bytes({0}),                       // no header
      Bytes({0, 0, 'a', 0, 'b'}),       // run without count
      Bytes({0, 0, 0, 'b', 0, 1}),      // 16-bit count cut short
      Bytes({0xFF, 0xFF, 1, 2}),        // table beyond the chunk
      table_chunk.substr(0, table_chunk.size() - 1),  // odd-sized table
  };
  for (const std::string& chunk : bad) {
    std::string out;
    EXPECT_FALSE(DecodeChunk(chunk, out)) << chunk.size();
  }
}

TEST(FileStorage, RoundTripsEntriesAcrossChunkBoundaries) {
  std::string big;
  for (int i = 0; i < 200000; ++i) big.push_back(static_cast<char>((i * 7919) % 251 + (i % 5 == 0 ? 3 : 0)));
  big += std::string(70000, 'A');  // one run spanning a piece boundary
  TFileStorage storage({{"languagereserved.ini", "[0]\r\n0=Quorvella CD & DVD \r\n"},
                        {"empty.ini", ""},
                        {"binary.bin", AllByteValues() + AllByteValues()},
                        {"big.ini", big},
                        {"english.ini", "[1]\r\n0=x\r\n"}});
  const std::string bytes = storage.SaveToBytes();
  ASSERT_EQ(bytes.substr(0, 4), "SFP1");
  TFileStorage loaded;
  ASSERT_TRUE(loaded.LoadFromBytes(bytes));
  ASSERT_EQ(loaded.Files().size(), storage.Files().size());
  for (std::size_t i = 0; i < storage.Files().size(); ++i) {
    EXPECT_EQ(loaded.Files()[i].Name, storage.Files()[i].Name);
    EXPECT_EQ(loaded.Files()[i].Data, storage.Files()[i].Data) << storage.Files()[i].Name;
  }
}

TEST(FileStorage, EntryLayoutOfOneSmallFile) {
  TFileStorage storage(std::vector<qvr::storage::TStoredFile>{{"a.ini", "abbbbbc"}});
  const std::string expected = "SFP1" + Bytes({1, 0, 0, 0, 5, 0, 0, 0}) + "a.ini" +
                               Bytes({4 + 2 + 7, 0, 0, 0, 7, 0, 0, 0, 7, 0}) +
                               Bytes({0x00, 0x00, 'a', 0x00, 'b', 0x04, 'c'});
  EXPECT_EQ(storage.SaveToBytes(), expected);
}

TEST(FileStorage, ReadsTheOlderLayout) {
  const std::string older = Bytes({2, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD}) + Bytes({5, 0, 0, 0}) + "x.ini" +
                            Bytes({3, 0, 0, 0}) + "abc" + Bytes({1, 0, 0, 0}) + "y" + Bytes({0, 0, 0, 0});
  TFileStorage loaded;
  ASSERT_TRUE(loaded.LoadFromBytes(older));
  ASSERT_EQ(loaded.Files().size(), 2u);
  EXPECT_EQ(loaded.ReadStoredFile("X.INI"), "abc");
  EXPECT_EQ(loaded.Files()[1].Name, "y");
  EXPECT_EQ(loaded.Files()[1].Data, "");

  TFileStorage again;
  ASSERT_TRUE(again.LoadFromBytes(loaded.SaveToOlderLayout()));
  EXPECT_EQ(again.ReadStoredFile("x.ini"), "abc");
}

TEST(FileStorage, RejectsTruncatedOrInconsistentContainersAndKeepsEntries) {
  TFileStorage storage({{"a.ini", "hello hello"}, {"b.ini", AllByteValues()}});
  const std::string good = storage.SaveToBytes();
  std::string wrong_size = good;
  wrong_size[8 + 4 + 5 + 4] = 99;  // decoded size of the first entry
  const std::string bad[] = {good.substr(0, good.size() - 1), good.substr(0, 6), wrong_size,
                             "SFP1" + Bytes({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F})};
  for (const std::string& bytes : bad) {
    TFileStorage loaded(std::vector<qvr::storage::TStoredFile>{{"kept", "1"}});
    EXPECT_FALSE(loaded.LoadFromBytes(bytes)) << bytes.size();
    EXPECT_EQ(loaded.ReadStoredFile("kept"), "1");
  }
}

TEST(FileStorage, FindsNamesIgnoringCaseFirstEntryWins) {
  TFileStorage storage({{"english.ini", "first"}, {"Japanese.INI", "jp"}, {"ENGLISH.INI", "second"}});
  EXPECT_EQ(storage.ReadStoredFile("ENGLISH.INI"), "first");
  EXPECT_EQ(storage.ReadStoredFile("japanese.ini"), "jp");
  EXPECT_EQ(storage.ReadStoredFile("missing.ini"), "");
  EXPECT_EQ(storage.Find("missing.ini"), nullptr);
}

}  // namespace
