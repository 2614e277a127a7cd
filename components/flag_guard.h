// A flag that is set for the length of a scope and cleared when it ends,
// also by an exception: the tree's re-entry guards.
// Thread rules: none of its own.
#pragma once

namespace qd {

class TqdFlagGuard {
 public:
  explicit TqdFlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~TqdFlagGuard() { flag_ = false; }
  TqdFlagGuard(const TqdFlagGuard&) = delete;
  TqdFlagGuard& operator=(const TqdFlagGuard&) = delete;

 private:
  bool& flag_;
};

}  // namespace qd
