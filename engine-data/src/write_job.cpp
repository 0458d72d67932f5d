#include "qvr/data/write_job.h"

#include "qvr/data/byte_fields.h"

namespace qvr::data {

WriteJob::WriteJob(SlotRing& ring, ImageProducer& producer, std::unique_ptr<ImageSink> sink, EngineState& state,
                   uint32_t firstLba, std::function<void(bool)> done, uint32_t slotsPerWrite)
    : ring_(ring),
      producer_(producer),
      sink_(std::move(sink)),
      state_(state),
      lba_(firstLba),
      slotsPerWrite_(slotsPerWrite),
      done_(std::move(done)) {}

WriteJob::~WriteJob() { Join(); }

void WriteJob::Start() { thread_ = std::thread([this] { Run(); }); }

void WriteJob::Join() {
  if (thread_.joinable() && !OnThisThread()) thread_.join();
}

void WriteJob::Run() {
  state_.SetStatus(TComponentStatus::Writing);
  state_.writtenSectors.store(0);
  bool failed = false;
  sink_->Begin();
  SlotRing::SlotView slot;
  while (const uint32_t slots = ring_.WaitFrontRun(slot, slotsPerWrite_)) {
    if (!sink_->Write(slot.data, slot.byteCount, lba_)) {
      failed = true;
      break;
    }
    const auto sectors = static_cast<uint32_t>(SectorsFor(slot.byteCount));
    state_.writingFileIndex.store(slot.fileIndex, std::memory_order_relaxed);
    ring_.ReleaseFront(slots);
    lba_ += sectors;
    state_.writtenSectors.fetch_add(sectors, std::memory_order_relaxed);
  }
  if (failed) {
    ring_.Abort();  // the producer stops
    state_.SetStatus(TComponentStatus::WriteFailed);
  } else {
    state_.SetStatus(TComponentStatus::Closing);
  }
  producer_.Join();
  failed = failed || state_.Error() != 0 || ring_.Aborted();
  if (!sink_->Close(failed)) failed = true;
  state_.SetStatus(TComponentStatus::Idle);
  if (done_) done_(failed);
}

}  // namespace qvr::data
