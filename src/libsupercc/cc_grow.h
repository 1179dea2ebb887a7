// Growing the arrays of the component collector: capacity x 3 / 2 (at least one more), the
// capacity updated only after the resize succeeded.
#ifndef CC_GROW_H
#define CC_GROW_H

#include <algorithm>
#include <cstdint>

#include "qtz_internal.h"

namespace supercc {

// Grows items to hold at least one more element; false when memory runs out or the capacity
// would pass INT32_MAX (nothing changed).
template <typename T>
bool growByHalf(const QtzState *state, T *&items, int32_t &capacity) {
  const int64_t next = std::max<int64_t>(int64_t{capacity} + capacity / 2, int64_t{capacity} + 1);
  if (next > INT32_MAX) return false;
  void *grown = qtz::resize(state, items, static_cast<size_t>(next) * sizeof(T));
  if (grown == nullptr) return false;
  items = static_cast<T *>(grown);
  capacity = static_cast<int32_t>(next);
  return true;
}

}  // namespace supercc

#endif
