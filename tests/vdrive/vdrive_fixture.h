#pragma once
// A drive set in a fresh folder, and short ways to send it commands.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "qvr/vdrive/drive_set.h"

namespace qvr::vdrive::test {

struct Reply {
  CommandResult result;
  std::vector<std::uint8_t> data;
  bool Good() const { return result.Good(); }
  std::string SenseText() const { return result.status == 2 ? result.sense.Text() : std::string("-"); }
  std::uint32_t Be32At(std::size_t i) const {
    return static_cast<std::uint32_t>(data[i]) << 24 | data[i + 1] << 16 | data[i + 2] << 8 | data[i + 3];
  }
  std::uint16_t Be16At(std::size_t i) const { return static_cast<std::uint16_t>(data[i] << 8 | data[i + 1]); }
};

inline std::vector<std::uint8_t> Cdb(std::initializer_list<int> bytes) {
  std::vector<std::uint8_t> cdb;
  for (int b : bytes) cdb.push_back(static_cast<std::uint8_t>(b));
  return cdb;
}

class VdriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qvr-vdrive-XXXXXX";
    folder_ = mkdtemp(tmpl);
    set_ = std::make_unique<DriveSet>(folder_ + "/vdrive");
    set_->SetTimeScale(0);
  }
  void TearDown() override {
    set_.reset();
    std::filesystem::remove_all(folder_);
  }

  Drive& drive() { return *set_->At(0); }

  void Insert(const std::string& name, const std::string& image = {}) {
    std::string error;
    ASSERT_TRUE(drive().Insert(*MediaKindFromName(name), image, &error)) << error;
  }

  // Data-in command with an allocation-sized buffer.
  Reply In(std::vector<std::uint8_t> cdb, std::size_t length) {
    Reply r;
    r.data.assign(length, 0xCC);
    r.result = drive().Execute(cdb, r.data.data(), r.data.size(), DataDirection::kIn);
    r.data.resize(r.result.transferred);
    return r;
  }
  Reply Out(std::vector<std::uint8_t> cdb, std::vector<std::uint8_t> data) {
    Reply r;
    r.result = drive().Execute(cdb, data.data(), data.size(), DataDirection::kOut);
    return r;
  }
  Reply None(std::vector<std::uint8_t> cdb) {
    Reply r;
    r.result = drive().Execute(cdb, nullptr, 0, DataDirection::kNone);
    return r;
  }

  // Common commands.
  Reply DiscInfo() { return In(Cdb({0x51, 0, 0, 0, 0, 0, 0, 0, 64, 0}), 64); }
  Reply TrackInfo(int track) { return In(Cdb({0x52, 1, 0, 0, 0, track, 0, 0, 48, 0}), 48); }
  Reply ModeSense(int page) { return In(Cdb({0x5A, 0, page, 0, 0, 0, 0, 1, 0, 0}), 256); }
  // Selects a write parameters page changed by edit (on the page bytes).
  template <typename Edit>
  Reply SelectWriteParameters(Edit edit) {
    Reply sensed = ModeSense(0x05);
    EXPECT_TRUE(sensed.Good());
    std::vector<std::uint8_t> list(sensed.data.begin(), sensed.data.begin() + 8 + 52);
    list[0] = list[1] = 0;
    edit(list.data() + 8);
    return Out(Cdb({0x55, 0x10, 0, 0, 0, 0, 0, 0, static_cast<int>(list.size()), 0}), list);
  }
  Reply Write(std::int64_t lba, int blocks, const std::vector<std::uint8_t>& data) {
    auto l = static_cast<std::uint32_t>(lba);
    return Out(Cdb({0x2A, 0, int(l >> 24), int((l >> 16) & 255), int((l >> 8) & 255), int(l & 255), 0, blocks >> 8,
                    blocks & 255, 0}),
               data);
  }
  Reply Read(std::int64_t lba, int blocks) {
    auto l = static_cast<std::uint32_t>(lba);
    return In(Cdb({0x28, 0, int(l >> 24), int((l >> 16) & 255), int((l >> 8) & 255), int(l & 255), 0, blocks >> 8,
                   blocks & 255, 0}),
              static_cast<std::size_t>(blocks) * 2048);
  }
  Reply CloseTrack(int number) { return None(Cdb({0x5B, 0, 1, 0, 0, number, 0, 0, 0, 0})); }
  Reply CloseSession() { return None(Cdb({0x5B, 0, 2, 0, 0, 0, 0, 0, 0, 0})); }
  Reply Sync() { return None(Cdb({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0})); }

  // Blocks of 2048 bytes, each filled with a byte derived from its index and seed.
  static std::vector<std::uint8_t> Pattern(int blocks, int seed, std::size_t block_size = 2048) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(blocks) * block_size);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>((i / block_size) * 7 + seed + i % 13);
    return data;
  }

  std::string folder_;
  std::unique_ptr<DriveSet> set_;
};

}  // namespace qvr::vdrive::test
