// Owners for the base libraries' failure paths: a block from the state's allocation hooks
// (qtz::allocate and friends) released at the end of the scope unless handed over with
// release(). Functions return early on any failure, after "return qtz::report(state, code);".
#ifndef QTZ_OWNERS_INTERNAL_H
#define QTZ_OWNERS_INTERNAL_H

#include <utility>

#include "qtz_internal.h"

namespace qtz {

template <typename T>
class OwnedBlock {
 public:
  explicit OwnedBlock(const QtzState *state, T *held = nullptr) : state_(state), held_(held) {}
  ~OwnedBlock() { reset(); }
  OwnedBlock(const OwnedBlock &) = delete;
  OwnedBlock &operator=(const OwnedBlock &) = delete;

  T *get() const { return held_; }
  T *operator->() const { return held_; }
  explicit operator bool() const { return held_ != nullptr; }
  T *release() { return std::exchange(held_, nullptr); }
  void reset(T *held = nullptr) {
    qtz::release(state_, held_);
    held_ = held;
  }

 private:
  const QtzState *state_;
  T *held_;
};

}  // namespace qtz

#endif
