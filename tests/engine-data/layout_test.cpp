#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "qvr/data/byte_fields.h"
#include "qvr/data/disc_burner.h"
#include "qvr/data/iso_writer.h"
#include "qvr/data/udf_primitives.h"
#include "test_support.h"

namespace qvr::data {
namespace {

using test::ReadBytes;
using test::ReadSector;
using test::TempDir;
using test::WriteFile;

// Saves the prepared image and waits for the end; true when it was written.
bool SaveAndWait(TDiscBurner& burner, const std::string& path) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false, failed = true;
  burner.OnWriteDone = [&](const void*, uint8_t, bool f) {
    std::lock_guard lock(m);
    done = true;
    failed = f;
    cv.notify_all();
  };
  if (!burner.SaveImageFile(path)) return false;
  std::unique_lock lock(m);
  cv.wait(lock, [&] { return done; });
  lock.unlock();
  burner.WaitIdle();
  return !failed;
}

struct LayoutCase {
  const char* name;
  bool joliet, iso1999, udf, boot;
  uint32_t bootRecord, enhanced, jolietVd, terminator;
  uint32_t isoL, isoM, jolietL, isoDir, jolietDir, catalog;
  uint32_t bootImage, udfStart, udfSectors, fileDataStart, total, prepared;
};

class Layout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(Layout, PlacesEveryStructure) {
  const LayoutCase& c = GetParam();
  TempDir dir;
  TDiscBurner burner;
  burner.JolietFileSystem = c.joliet;
  burner.ISO9660v1999FS = c.iso1999;
  burner.UDFBridge = c.udf;
  burner.ClearAll();
  if (c.boot) {
    WriteFile(dir / "boot.img", std::string(2048, '\x90'));
    burner.SetBootImage(dir / "boot.img");
  }
  EXPECT_EQ(burner.PrepareImage(), c.prepared);
  const ImageLayout& l = burner.Layout();
  EXPECT_EQ(l.PrimarySector, 16u);
  EXPECT_EQ(l.BootRecordSector, c.bootRecord);
  EXPECT_EQ(l.EnhancedSector, c.enhanced);
  EXPECT_EQ(l.JolietSector, c.jolietVd);
  EXPECT_EQ(l.TerminatorSector, c.terminator);
  EXPECT_EQ(l.ISOLPathTable, c.isoL);
  EXPECT_EQ(l.ISOMPathTable, c.isoM);
  EXPECT_EQ(l.JolietLPathTable, c.jolietL);
  EXPECT_EQ(l.ISODirArea, c.isoDir);
  EXPECT_EQ(l.JolietDirArea, c.jolietDir);
  EXPECT_EQ(l.BootCatalogSector, c.catalog);
  EXPECT_EQ(l.BootImageSector, c.bootImage);
  EXPECT_EQ(l.UDFAreaStart, c.udfStart);
  EXPECT_EQ(l.UDFAreaSectors, c.udfSectors);
  EXPECT_EQ(l.FileDataStart, c.fileDataStart);
  EXPECT_EQ(l.TotalSectors, c.total);
  EXPECT_EQ(burner.GetImageSectors(), c.total);

  ASSERT_TRUE(SaveAndWait(burner, dir / "out.iso"));
  EXPECT_EQ(std::filesystem::file_size(dir / "out.iso"), uint64_t{c.total} * 2048);
  EXPECT_EQ(ReadSector(dir / "out.iso", c.terminator)[0], 255);
  if (c.boot) {
    const auto image = ReadSector(dir / "out.iso", c.bootImage);
    EXPECT_EQ(image, std::vector<uint8_t>(2048, 0x90)) << "boot image streamed where the catalog points";
    const auto catalog = ReadSector(dir / "out.iso", c.catalog);
    EXPECT_EQ(Get32LE(&catalog[40]), c.bootImage);
    EXPECT_EQ(Get32LE(&ReadSector(dir / "out.iso", c.bootRecord)[71]), c.catalog);
  }
  if (c.udf) {
    const auto anchor = ReadSector(dir / "out.iso", c.total - 1);
    EXPECT_EQ(Get16LE(&anchor[0]), udf::kAnchor);
    EXPECT_EQ(Get32LE(&anchor[12]), c.total - 1);
    EXPECT_EQ(Get16LE(&ReadSector(dir / "out.iso", c.udfStart)[0]), udf::kFileEntry) << "root File Entry";
  }
}

INSTANTIATE_TEST_SUITE_P(
    RootOnly, Layout,
    ::testing::Values(
        LayoutCase{"Joliet", true, false, false, false, 0, 0, 17, 18, 19, 20, 21, 23, 24, 0, 0, 0, 0, 150, 160, 150},
        LayoutCase{"IsoOnly", false, false, false, false, 0, 0, 0, 17, 18, 19, 0, 20, 0, 0, 0, 0, 0, 150, 160, 150},
        LayoutCase{"BootAndJoliet", true, false, false, true, 17, 0, 18, 19, 20, 21, 22, 24, 25, 26, 150, 0, 0, 151,
                   160, 151},
        LayoutCase{"Iso1999AndJoliet", true, true, false, false, 0, 17, 18, 19, 20, 21, 22, 24, 25, 0, 0, 0, 0, 150,
                   160, 150},
        LayoutCase{"UdfBridge", true, false, true, false, 0, 0, 17, 18, 259, 260, 261, 263, 264, 0, 0, 265, 2, 267,
                   288, 268},
        // One order for a boot image with the UDF bridge: the boot image first, then the UDF area.
        LayoutCase{"UdfBridgeAndBoot", true, false, true, true, 17, 0, 18, 19, 259, 260, 261, 263, 264, 265, 266, 267,
                   2, 269, 288, 270}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IsoHeader, RootOnlyDescriptorsPathTablesAndDirectories) {
  TempDir dir;
  TDiscBurner burner;
  burner.SetVolumeID("my disc");
  burner.ClearAll();
  burner.PrepareImage();
  ASSERT_TRUE(SaveAndWait(burner, dir / "root.iso"));
  const std::string image = dir / "root.iso";

  for (uint32_t s = 0; s < 16; ++s) EXPECT_EQ(ReadSector(image, s), std::vector<uint8_t>(2048, 0));
  const auto pvd = ReadSector(image, 16), svd = ReadSector(image, 17);
  EXPECT_EQ(std::string(pvd.begin() + 1, pvd.begin() + 6), "CD001");
  EXPECT_EQ(pvd[0], 1);
  EXPECT_EQ(std::string(pvd.begin() + 40, pvd.begin() + 47), "MY DISC");
  EXPECT_EQ(Get32LE(&pvd[80]), 160u);
  EXPECT_EQ(Get32BE(&pvd[84]), 160u);
  EXPECT_EQ(pvd[88], 0) << "the escape sequence belongs to the Joliet descriptor only";
  EXPECT_EQ(Get32LE(&pvd[132]), 10u);
  EXPECT_EQ(Get32LE(&pvd[140]), 19u);
  EXPECT_EQ(Get32BE(&pvd[148]), 20u);
  EXPECT_EQ(Get32LE(&pvd[156 + 2]), 23u);
  EXPECT_EQ(pvd[881], 1);
  EXPECT_EQ(svd[0], 2);
  EXPECT_EQ(std::vector<uint8_t>(svd.begin() + 88, svd.begin() + 91), (std::vector<uint8_t>{0x25, 0x2F, 0x40}));
  EXPECT_EQ(svd[40], 0);
  EXPECT_EQ(svd[41], 'm');
  EXPECT_EQ(Get32LE(&svd[140]), 21u);
  EXPECT_EQ(Get32LE(&svd[156 + 2]), 24u);

  const std::vector<uint8_t> rootL = {1, 0, 23, 0, 0, 0, 1, 0, 0, 0};
  const std::vector<uint8_t> rootM = {1, 0, 0, 0, 0, 23, 0, 1, 0, 0};
  EXPECT_EQ(ReadBytes(image, 19 * 2048, 10), rootL);
  EXPECT_EQ(ReadBytes(image, 20 * 2048, 10), rootM);
  const auto isoRoot = ReadSector(image, 23), jolietRoot = ReadSector(image, 24);
  for (const auto* root : {&isoRoot, &jolietRoot}) {
    EXPECT_EQ((*root)[0], 34);
    EXPECT_EQ((*root)[25], 2);
    EXPECT_EQ((*root)[33], 0);
    EXPECT_EQ((*root)[34 + 33], 1) << "the parent record";
    EXPECT_EQ((*root)[68], 0) << "nothing after . and ..";
  }
  EXPECT_EQ(Get32LE(&jolietRoot[2]), 24u);
}

// Walks the records of a directory extent: each starts inside one sector and
// ends inside it.
std::vector<std::vector<uint8_t>> Records(const std::string& image, uint32_t extent, uint32_t size) {
  std::vector<std::vector<uint8_t>> records;
  const auto bytes = ReadBytes(image, uint64_t{extent} * 2048, size);
  for (uint32_t sector = 0; sector < size / 2048; ++sector) {
    uint32_t at = sector * 2048;
    while (at < (sector + 1) * 2048 && bytes[at] != 0) {
      EXPECT_LE(at % 2048 + bytes[at], 2048u) << "a record straddles a sector";
      records.emplace_back(bytes.begin() + at, bytes.begin() + at + bytes[at]);
      at += bytes[at];
    }
  }
  return records;
}

TEST(IsoDirectories, RecordsFillSectorsFlagsExtentsAndPadding) {
  TempDir dir;
  WriteFile(dir / "one", "1");
  WriteFile(dir / "empty", "");
  TDiscBurner burner;
  burner.ClearAll();
  ImageTree& tree = burner.Tree();
  for (int i = 0; i < 60; ++i) {  // ISO records of 40 bytes
    char name[8];
    std::snprintf(name, sizeof name, "F%02d.TXT", i);
    const std::u16string n(name, name + 7);
    ASSERT_TRUE(burner.AddFile(u"\\", dir / "one", n, n));
  }
  ASSERT_TRUE(burner.AddFile(u"\\", dir / "empty", u"", u"EMPTY.TX"));  // 8 characters: padded record
  TDirEntry* odd = burner.AddDirectory(u"\\", u"ABC");                   // 3 characters: padded path record
  ASSERT_NE(odd, nullptr);
  FindRecord hidden;
  hidden.fileName = u"hidden.bin";
  hidden.attributes = kAttrHidden | kAttrArchive;
  hidden.size = 1;
  const std::string source = dir / "one";
  tree.AddEntry(odd, hidden, true, 0, &source);
  FindRecord plain = hidden;
  plain.fileName = u"plain.bin";
  plain.attributes = 0;  // no attribute bits: not hidden
  tree.AddEntry(odd, plain, true, 0, &source);
  FindRecord imported = plain;
  imported.fileName = u"imported.bin";
  imported.attributes = kAttrImported;
  tree.AddEntry(odd, imported, true, 5000, nullptr);
  burner.PrepareImage();
  ASSERT_TRUE(SaveAndWait(burner, dir / "dirs.iso"));
  const std::string image = dir / "dirs.iso";
  const ImageLayout& l = burner.Layout();

  TDirEntry* root = tree.Root();
  EXPECT_EQ(root->ISOSize, 4096u) << "68 + 61 records do not fit one sector";
  const auto records = Records(image, l.ISODirArea + root->ISOExtent, root->ISOSize);
  ASSERT_EQ(records.size(), 2 + 60 + 2u);
  uint32_t expectedExtent = l.FileDataStart;
  for (const auto& r : records) {
    const std::string id(r.begin() + 33, r.begin() + 33 + r[32]);
    if (id.size() == 7) {
      EXPECT_EQ(r[0], 40);
      EXPECT_EQ(Get32LE(&r[2]), expectedExtent++) << "a 1-byte file takes one sector";
      EXPECT_EQ(Get32LE(&r[10]), 1u);
    } else if (id == "EMPTY.TX") {
      EXPECT_EQ(r[0], 42) << "even identifier length: pad byte";
      EXPECT_EQ(Get32LE(&r[2]), 0u);
      EXPECT_EQ(Get32LE(&r[10]), 0u);
    }
  }
  const auto path = ReadBytes(image, uint64_t{l.ISOLPathTable} * 2048, 22);
  EXPECT_EQ(path[10], 3) << "second path record: ABC";
  EXPECT_EQ(std::string(path.begin() + 18, path.begin() + 21), "ABC");
  EXPECT_EQ(path[21], 0) << "odd identifier length: pad byte";
  EXPECT_EQ(Get32LE(&path[12]), l.ISODirArea + odd->ISOExtent);

  for (const bool joliet : {false, true}) {
    const auto sub = Records(image, (joliet ? l.JolietDirArea + odd->JolietExtent : l.ISODirArea + odd->ISOExtent),
                             joliet ? odd->JolietSize : odd->ISOSize);
    ASSERT_EQ(sub.size(), 5u);
    // Child order: HIDDEN.BIN, IMPORTED.BIN (as 8.3: IMPORTED.BIN), PLAIN.BIN.
    EXPECT_EQ(sub[2][25], 1) << "hidden attribute sets the hidden flag";
    EXPECT_EQ(Get32LE(&sub[3][2]), 5000u) << "an imported file keeps its absolute extent";
    EXPECT_EQ(sub[4][25], 0) << "attributes 0 are not hidden";
  }
}

TEST(IsoDirectories, FilesOfFourGibibytesAndMoreTakeSeveralExtents) {
  ImageTree tree;
  FindRecord big;
  big.fileName = u"big.bin";
  big.size = 5ull << 30;
  big.attributes = kAttrArchive;
  const std::string source = "/nonexistent";
  TFileEntry* e = tree.AddEntry(tree.Root(), big, true, 0, &source).entry;
  FindRecord exact = big;
  exact.fileName = u"exact.bin";
  exact.size = 1ull << 32;
  tree.AddEntry(tree.Root(), exact, true, 0, &source);
  ImageOptions options;
  UdfBridge udf;
  ImageLayout layout;
  PrepareLayout(tree, options, udf, layout);
  const auto header = WriteHeader(tree, options, layout, udf);

  for (const uint32_t area : {layout.ISODirArea, layout.JolietDirArea}) {
    const uint8_t* r = header.data() + size_t{area} * 2048 + 68;
    // big.bin: 0xFFFFF800 + the rest; exact.bin (4 GiB exactly): 0xFFFFF800 + 2048.
    const struct {
      uint32_t extent, length;
      uint8_t flags;
    } expected[] = {
        {layout.FileDataStart + e->Extent, 0xFFFFF800u, 0x80},
        {layout.FileDataStart + e->Extent + 0x1FFFFF, static_cast<uint32_t>((5ull << 30) - 0xFFFFF800u), 0},
        {layout.FileDataStart + (5u << 19), 0xFFFFF800u, 0x80},
        {layout.FileDataStart + (5u << 19) + 0x1FFFFF, 2048, 0},
    };
    for (const auto& x : expected) {
      EXPECT_EQ(Get32LE(r + 2), x.extent);
      EXPECT_EQ(Get32BE(r + 6), x.extent);
      EXPECT_EQ(Get32LE(r + 10), x.length);
      EXPECT_EQ(r[25], x.flags);
      r += r[0];
    }
  }
  EXPECT_EQ(layout.FileDataSectors, (5u << 19) + (1u << 21));
}

// The identifier area of a directory, checked descriptor by descriptor.
TEST(UdfBridge, IdentifiersCrossSectorsAndCarryTheirStartBlock) {
  TempDir dir;
  WriteFile(dir / "f", "x");
  WriteFile(dir / "empty", "");
  TDiscBurner burner;
  burner.UDFBridge = true;
  burner.SetVolumeID("Twenty characters ok");
  burner.ClearAll();
  for (int i = 0; i < 60; ++i)
    ASSERT_TRUE(burner.AddFile(u"\\", dir / "f", u"", u"a rather long file name number " + std::u16string(1, u'A' + i % 26) +
                                                       std::u16string(1, u'a' + i / 26)));
  ASSERT_TRUE(burner.AddFile(u"\\", dir / "empty", u"", u"zero"));
  burner.PrepareImage();
  ASSERT_TRUE(SaveAndWait(burner, dir / "udf.iso"));
  const std::string image = dir / "udf.iso";
  const ImageLayout& l = burner.Layout();
  const TDirEntry* root = burner.Tree().Root();

  const auto pvd = ReadSector(image, 32);
  EXPECT_EQ(pvd[24 + 31], 31) << "volume identifier cut to 15 characters";
  EXPECT_EQ(Get16LE(&ReadSector(image, 48)[0]), udf::kPrimaryVolume) << "reserve sequence";

  const auto fe = ReadSector(image, root->UDFEntrySector);
  EXPECT_EQ(Get16LE(&fe[0]), udf::kFileEntry);
  const uint64_t areaBytes = root->UDFIdentifierBytes;
  EXPECT_EQ(Get32LE(&fe[56]), areaBytes);
  const auto area = ReadBytes(image, uint64_t{root->UDFIdentifierSector} * 2048, SectorsFor(areaBytes) * 2048);
  uint32_t at = 0, count = 0, straddling = 0;
  while (at < areaBytes) {
    const uint8_t* f = &area[at];
    ASSERT_EQ(Get16LE(f), udf::kFileIdentifier) << "at " << at;
    const uint32_t length = (38 + f[19] + 3) & ~3u;
    uint8_t sum = 0;
    for (int i = 0; i < 16; ++i)
      if (i != 4) sum = static_cast<uint8_t>(sum + f[i]);
    EXPECT_EQ(f[4], sum);
    EXPECT_EQ(Get16LE(f + 8), udf::Crc(f + 16, length - 16));
    EXPECT_EQ(Get32LE(f + 12), root->UDFIdentifierSector + at / 2048 - 257) << "block where it starts";
    if (at / 2048 != (at + length - 1) / 2048) ++straddling;
    at += length;
    ++count;
  }
  EXPECT_EQ(count, 62u) << "parent entry and 61 children";
  EXPECT_GT(straddling, 0u);

  const TFileEntry* zero = burner.Tree().FindChild(root, u"zero");
  const auto zeroFe = ReadSector(image, zero->UDFEntryLocation);
  EXPECT_EQ(Get32LE(&zeroFe[56]), 0u);
  EXPECT_EQ(Get32LE(&zeroFe[176]), 0u);
  EXPECT_EQ(Get32LE(&zeroFe[180]), 0u);
  EXPECT_EQ(l.TotalSectors % 32, 0u);
}

}  // namespace
}  // namespace qvr::data
