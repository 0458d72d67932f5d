#pragma once
// The image producer (cache thread): streams an image into the slot ring in
// the order of its layout's regions - header, boot image, UDF area, file data
// in file-table order (each file from a sector boundary, its last sector
// zero-padded), zero tail with the closing UDF anchor - or streams an existing
// image file as it is.

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "qvr/data/engine_state.h"
#include "qvr/data/image_layout.h"
#include "qvr/data/slot_ring.h"
#include "qvr/data/udf_bridge.h"

namespace qvr::data {

struct TreeStreamPlan {
  const ImageTree* tree = nullptr;
  const ImageLayout* layout = nullptr;
  std::vector<uint8_t> header;  // from WriteHeader
  UdfBridge* udf = nullptr;     // null without the UDF bridge
  std::string bootImagePath;
  uint32_t bootImageSize = 0;
};

class ImageProducer {
 public:
  ImageProducer(SlotRing& ring, EngineState& state);
  ~ImageProducer();
  ImageProducer(const ImageProducer&) = delete;
  ImageProducer& operator=(const ImageProducer&) = delete;

  void StartTree(TreeStreamPlan plan);
  // Streams size bytes of an open image file; the producer closes fd.
  void StartImageFile(int fd, uint64_t size);
  void Join();

 private:
  void RunTree();
  void RunImageFile(int fd, uint64_t size);
  bool Copy(const uint8_t* data, std::size_t bytes);
  bool Zeros(uint64_t sectors);
  bool StreamFile(const std::string& path, uint64_t size, int32_t index);
  bool UdfArea(uint32_t sectors);
  bool Tail(uint32_t sectors);
  uint8_t* Room(uint32_t& room);
  void Advance(uint32_t bytes);
  void Fail(uint32_t code, const std::string& subject);

  SlotRing& ring_;
  EngineState& state_;
  TreeStreamPlan plan_;
  std::thread thread_;
  uint8_t* run_ = nullptr;   // acquired slots being filled
  uint32_t runSlots_ = 0, published_ = 0;
  uint32_t fill_ = 0;        // bytes filled in the run
  int32_t fileIndex_ = 0;
};

}  // namespace qvr::data
