#pragma once
// The write job (write thread): takes the image from the slot ring and sends
// it to a sink, slot by slot, then closes the sink, waits for the producer to
// end and reports the outcome.

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "qvr/data/engine_state.h"
#include "qvr/data/image_producer.h"
#include "qvr/data/image_sink.h"
#include "qvr/data/slot_ring.h"

namespace qvr::data {

class WriteJob {
 public:
  // done runs on the write thread with WriteFailed. Each sink write takes up
  // to slotsPerWrite slots (a drive takes one slot, 32 sectors, per command).
  WriteJob(SlotRing& ring, ImageProducer& producer, std::unique_ptr<ImageSink> sink, EngineState& state,
           uint32_t firstLba, std::function<void(bool failed)> done, uint32_t slotsPerWrite = 16);
  ~WriteJob();
  WriteJob(const WriteJob&) = delete;
  WriteJob& operator=(const WriteJob&) = delete;

  void Start();
  void Join();
  bool OnThisThread() const { return thread_.get_id() == std::this_thread::get_id(); }

 private:
  void Run();

  SlotRing& ring_;
  ImageProducer& producer_;
  std::unique_ptr<ImageSink> sink_;
  EngineState& state_;
  uint32_t lba_;
  uint32_t slotsPerWrite_;
  std::function<void(bool)> done_;
  std::thread thread_;
};

}  // namespace qvr::data
