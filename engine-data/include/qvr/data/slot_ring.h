#pragma once
// The image cache: a ring of 64 KiB slots between the producer, which fills
// slots with the image in stream order, and the writer, which takes them from
// the front. One mutex guards the ring; each side waits on a condition
// variable instead of polling. Slots are reused, never reallocated, so the
// memory in use is the cache size.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace qvr::data {

class SlotRing {
 public:
  static constexpr uint32_t kSlotBytes = 65536;
  static constexpr uint32_t kMaxSlots = 10000;
  static constexpr uint64_t kMinCacheBytes = 2 * 1024 * 1024;

  // round(cacheBytes / 64 KiB), within 32 .. 10,000 slots.
  static uint32_t SlotLimitFor(uint64_t cacheBytes);

  // batch: slots a waiting side lets pass before it is woken (0: an eighth of
  // the ring), so producer and writer hand over runs of slots instead of
  // waking each other for every slot.
  explicit SlotRing(uint32_t slotLimit, uint32_t batch = 0);
  ~SlotRing();
  SlotRing(const SlotRing&) = delete;
  SlotRing& operator=(const SlotRing&) = delete;

  uint32_t SlotLimit() const { return limit_; }

  // Producer: the next slot to fill, waiting while every slot is queued;
  // null once the ring is aborted. The slot holds stale bytes.
  uint8_t* AcquireSlot() {
    uint32_t slots = 0;
    return AcquireRun(1, slots);
  }
  // Up to maxSlots free slots, contiguous in memory, to be published in order.
  uint8_t* AcquireRun(uint32_t maxSlots, uint32_t& slots);
  // Queues the next acquired slot.
  void PublishSlot(uint32_t byteCount, int32_t fileIndex);
  // Nothing more will be queued; the writer drains what is queued.
  void Close();

  // Writer: waits for the front slot; false when nothing more will come
  // (closed and drained, or aborted).
  struct SlotView {
    const uint8_t* data = nullptr;
    uint32_t byteCount = 0;
    int32_t fileIndex = 0;
  };
  bool WaitFront(SlotView& view) { return WaitFrontRun(view, 1) > 0; }
  // Up to maxSlots queued slots from the front, contiguous in memory; view
  // covers them all (byteCount is their sum, fileIndex the last one's).
  // 0 when nothing more will come.
  uint32_t WaitFrontRun(SlotView& view, uint32_t maxSlots);
  void ReleaseFront(uint32_t slots = 1);
  // Copies the front slot into writeBuffer (64 KiB) and releases it; returns
  // its byte count, or 0 when nothing more will come.
  uint32_t TakeSlot(uint8_t* writeBuffer);

  // Stops both sides: waits end, queued slots are dropped.
  void Abort();
  bool Aborted() const { return aborted_.load(std::memory_order_relaxed); }

  // Waits until the ring is full, closed or aborted (the cache is ready);
  // false when aborted.
  bool WaitReady();
  uint32_t SlotCount() const { return filled_.load(std::memory_order_relaxed); }

 private:
  uint8_t* SlotData(uint32_t index) const { return storage_.get() + size_t{index} * kSlotBytes; }

  struct FreeDeleter {
    void operator()(uint8_t* p) const;
  };
  const uint32_t limit_;
  const uint32_t batch_;
  std::unique_ptr<uint8_t, FreeDeleter> storage_;
  std::unique_ptr<uint32_t[]> byteCount_;
  std::unique_ptr<int32_t[]> fileIndex_;

  std::mutex mutex_;
  std::condition_variable spaceFreed_, slotQueued_, readyChanged_;
  uint32_t head_ = 0;   // front slot
  uint32_t count_ = 0;  // queued slots
  bool closed_ = false, ready_ = false;
  std::atomic<bool> aborted_{false};
  std::atomic<uint32_t> filled_{0};
};

}  // namespace qvr::data
