#pragma once
// While an InterruptScope lives, Ctrl-C and termination requests do not end
// the process: they raise a flag that a long command polls to abort its job
// cleanly (the engines then close the disc or remove a partial image).

namespace qvr::cli {

class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

  // True once SIGINT or SIGTERM arrived inside the scope.
  static bool Requested();

 private:
  void (*previousInt_)(int);
  void (*previousTerm_)(int);
};

}  // namespace qvr::cli
