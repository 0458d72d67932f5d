#pragma once
// Writes the image into a file. Slots that are entirely zero are skipped with
// a seek, so padding and sparse sources stay holes in the image file. A
// failed or aborted image is removed: nothing is left that looks like a good
// image.

#include <string>

#include "qvr/data/engine_state.h"
#include "qvr/data/image_sink.h"

namespace qvr::data {

class ImageFileSink final : public ImageSink {
 public:
  // Creates (or truncates) the file; false with errno set when it cannot be.
  bool Create(const std::string& path);
  ImageFileSink(EngineState& state) : state_(state) {}
  ~ImageFileSink() override;

  bool Write(const uint8_t* data, uint32_t bytes, uint32_t lba) override;
  bool Close(bool failed) override;

 private:
  EngineState& state_;
  std::string path_;
  int fd_ = -1;
  uint64_t position_ = 0;
  bool pendingHole_ = false;
};

}  // namespace qvr::data
