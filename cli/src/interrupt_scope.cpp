#include "qvr/cli/interrupt_scope.h"

#include <atomic>
#include <csignal>

namespace qvr::cli {

namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void OnInterrupt(int) { gInterrupted.store(true); }

}  // namespace

InterruptScope::InterruptScope() {
  gInterrupted.store(false);
  previousInt_ = std::signal(SIGINT, OnInterrupt);
  previousTerm_ = std::signal(SIGTERM, OnInterrupt);
}

InterruptScope::~InterruptScope() {
  std::signal(SIGINT, previousInt_);
  std::signal(SIGTERM, previousTerm_);
}

bool InterruptScope::Requested() { return gInterrupted.load(); }

}  // namespace qvr::cli
