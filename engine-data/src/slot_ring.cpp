#include "qvr/data/slot_ring.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qvr::data {

void SlotRing::FreeDeleter::operator()(uint8_t* p) const { std::free(p); }

uint32_t SlotRing::SlotLimitFor(uint64_t cacheBytes) {
  const uint64_t bytes = std::max(cacheBytes, kMinCacheBytes);
  const uint64_t slots = (bytes + kSlotBytes / 2) / kSlotBytes;
  return static_cast<uint32_t>(std::min<uint64_t>(slots, kMaxSlots));
}

SlotRing::SlotRing(uint32_t slotLimit, uint32_t batch)
    : limit_(std::clamp<uint32_t>(slotLimit, 2, kMaxSlots)),
      batch_(std::clamp<uint32_t>(batch ? batch : limit_ / 8, 1, limit_ / 2)),
      byteCount_(new uint32_t[limit_]()),
      fileIndex_(new int32_t[limit_]()) {
  // Page-aligned so the writer may hand slots to O_DIRECT or SG_IO as they are.
  void* p = std::aligned_alloc(4096, size_t{limit_} * kSlotBytes);
  if (!p) throw std::bad_alloc();
  storage_.reset(static_cast<uint8_t*>(p));
}

SlotRing::~SlotRing() = default;

uint8_t* SlotRing::AcquireRun(uint32_t maxSlots, uint32_t& slots) {
  std::unique_lock lock(mutex_);
  if (count_ == limit_ && !ready_) {
    ready_ = true;
    readyChanged_.notify_all();
  }
  // Once the ring is full, wait until the writer has taken a batch.
  if (count_ == limit_) spaceFreed_.wait(lock, [&] { return limit_ - count_ >= batch_ || aborted_; });
  if (aborted_) {
    slots = 0;
    return nullptr;
  }
  const uint32_t tail = (head_ + count_) % limit_;
  slots = std::min({maxSlots, limit_ - count_, limit_ - tail});
  return SlotData(tail);
}

void SlotRing::PublishSlot(uint32_t byteCount, int32_t fileIndex) {
  std::lock_guard lock(mutex_);
  const uint32_t index = (head_ + count_) % limit_;
  byteCount_[index] = byteCount;
  fileIndex_[index] = fileIndex;
  ++count_;
  filled_.store(count_, std::memory_order_relaxed);
  if (count_ == limit_ && !ready_) {
    ready_ = true;
    readyChanged_.notify_all();
  }
  if (count_ >= batch_) slotQueued_.notify_one();
}

void SlotRing::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  ready_ = true;
  readyChanged_.notify_all();
  slotQueued_.notify_all();
}

uint32_t SlotRing::WaitFrontRun(SlotView& view, uint32_t maxSlots) {
  std::unique_lock lock(mutex_);
  // An empty ring is refilled by a batch before the writer goes on.
  if (count_ == 0) slotQueued_.wait(lock, [&] { return count_ >= batch_ || closed_ || aborted_; });
  if (aborted_ || count_ == 0) return 0;
  const uint32_t slots = std::min({std::max(maxSlots, 1u), count_, limit_ - head_});
  view = {SlotData(head_), 0, fileIndex_[head_ + slots - 1]};
  for (uint32_t i = 0; i < slots; ++i) view.byteCount += byteCount_[head_ + i];
  return slots;
}

void SlotRing::ReleaseFront(uint32_t slots) {
  std::lock_guard lock(mutex_);
  slots = std::min(slots, count_);
  if (slots == 0) return;
  head_ = (head_ + slots) % limit_;
  count_ -= slots;
  filled_.store(count_, std::memory_order_relaxed);
  if (limit_ - count_ >= batch_) spaceFreed_.notify_one();
}

uint32_t SlotRing::TakeSlot(uint8_t* writeBuffer) {
  SlotView view;
  if (!WaitFront(view)) return 0;
  std::memcpy(writeBuffer, view.data, view.byteCount);
  const uint32_t n = view.byteCount;
  ReleaseFront();
  return n;
}

void SlotRing::Abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  ready_ = true;
  spaceFreed_.notify_all();
  slotQueued_.notify_all();
  readyChanged_.notify_all();
}

bool SlotRing::WaitReady() {
  std::unique_lock lock(mutex_);
  readyChanged_.wait(lock, [&] { return ready_; });
  return !aborted_;
}

}  // namespace qvr::data
