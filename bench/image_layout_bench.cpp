// Building and laying out large image trees: adding n entries must cost O(n),
// and PrepareImage of 200,000 entries must stay under a second.
#include <benchmark/benchmark.h>

#include <string>

#include "qvr/data/image_layout.h"
#include "qvr/data/iso_writer.h"
#include "qvr/data/text.h"

namespace qvr::data {
namespace {

// entries = directories * (filesPerDirectory + 1), names that share long prefixes.
void Fill(ImageTree& tree, int directories, int filesPerDirectory) {
  const std::string source = "/dev/null";
  for (int d = 0; d < directories; ++d) {
    FindRecord dir;
    dir.fileName = Utf8ToUtf16("Folder with a long name " + std::to_string(d));
    dir.attributes = kAttrDirectory;
    TDirEntry* parent = tree.AddDirectoryEntry(tree.Root(), dir);
    for (int f = 0; f < filesPerDirectory; ++f) {
      FindRecord file;
      file.fileName = Utf8ToUtf16("Photo 2020-01-01 number " + std::to_string(f) + ".jpg");
      file.size = 4096 + f;
      file.attributes = kAttrArchive;
      tree.AddEntry(parent, file, true, 0, &source);
    }
  }
}

void BM_AddEntries(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  for (auto _ : state) {
    ImageTree tree;
    Fill(tree, 1, files);  // one flat directory: the worst case for name lookups
    benchmark::DoNotOptimize(tree.Files().size());
  }
  state.SetComplexityN(files);
}
BENCHMARK(BM_AddEntries)->Arg(25000)->Arg(50000)->Arg(100000)->Arg(199999)->Unit(benchmark::kMillisecond)->Complexity();

void BM_AddEntries200kIn2000Folders(benchmark::State& state) {
  for (auto _ : state) {
    ImageTree tree;
    Fill(tree, 2000, 99);
    benchmark::DoNotOptimize(tree.Files().size());
  }
}
BENCHMARK(BM_AddEntries200kIn2000Folders)->Unit(benchmark::kMillisecond);

void BM_PrepareImage200k(benchmark::State& state) {
  ImageTree tree;
  Fill(tree, 2000, 99);  // 200,000 entries
  ImageOptions options;
  options.udf = state.range(0) != 0;
  UdfBridge udf;
  for (auto _ : state) {
    ImageLayout layout;
    benchmark::DoNotOptimize(PrepareLayout(tree, options, udf, layout));
  }
  state.counters["entries"] = static_cast<double>(tree.Files().size());
}
BENCHMARK(BM_PrepareImage200k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WriteHeader200k(benchmark::State& state) {
  ImageTree tree;
  Fill(tree, 2000, 99);
  ImageOptions options;
  UdfBridge udf;
  ImageLayout layout;
  PrepareLayout(tree, options, udf, layout);
  for (auto _ : state) benchmark::DoNotOptimize(WriteHeader(tree, options, layout, udf).size());
}
BENCHMARK(BM_WriteHeader200k)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qvr::data

BENCHMARK_MAIN();
