#pragma once
// Where the write job sends the image, slot by slot: an image file here; the
// drive side provides a sink that sends WRITE commands and closes the track,
// session or disc.

#include <cstdint>

namespace qvr::data {

class ImageSink {
 public:
  virtual ~ImageSink() = default;
  // Runs on the write thread before the first slot (a drive is set up here).
  virtual void Begin() {}
  // Writes bytes of the image that start at sector lba. On failure the sink
  // has recorded the engine error and returns false.
  virtual bool Write(const uint8_t* data, uint32_t bytes, uint32_t lba) = 0;
  // Ends the output after the last slot, or after a failure (failed true).
  // False when closing itself failed.
  virtual bool Close(bool failed) = 0;
};

}  // namespace qvr::data
