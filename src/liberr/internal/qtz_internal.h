// Helpers of the base libraries over a QtzState: memory through the state's allocation hooks,
// typed blocks from its pools by size class, and the one-line failure report through its
// error sink. Every library that takes a QtzState uses these instead of touching the hooks.
#ifndef QTZ_INTERNAL_H
#define QTZ_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "pxl_context.h"
#include "qtz_state.h"

namespace qtz {

// Block sizes of the pool classes as constants, so that a record's fit is a static_assert.
inline constexpr int32_t kPoolSize[QTZ_POOL_CLASSES] = {
    QTZ_POOL_SIZE_0, QTZ_POOL_SIZE_1, QTZ_POOL_SIZE_2, QTZ_POOL_SIZE_3,
    QTZ_POOL_SIZE_4, QTZ_POOL_SIZE_5, QTZ_POOL_SIZE_6, QTZ_POOL_SIZE_7};

// Writes printer(stream, code, Qtz_getErrStr(code)) when printer is non-null; returns code.
int32_t reportTo(QtzErrPrinter printer, void *stream, int32_t code);

// Reports code once through the state's sink (nothing for a null state or sink); returns
// code, so that "return qtz::report(state, status);" reports and passes the status on.
int32_t report(const QtzState *state, int32_t code);
// Reports code with a text of the caller's instead of the table's (a trailing line feed is
// dropped: the printer adds one); returns code.
int32_t reportText(const QtzState *state, int32_t code, const char *text);

inline void *allocate(const QtzState *state, size_t size) {
  return state->alloc.allocate(size);
}
inline void *allocateZeroed(const QtzState *state, size_t count, size_t size) {
  return state->alloc.allocateZeroed(count, size);
}
inline void *resize(const QtzState *state, void *block, size_t size) {
  return state->alloc.resize(block, size);
}
inline void release(const QtzState *state, void *block) {
  if (block != nullptr) state->alloc.release(block);
}

// One block of pool class Class for a record T; the pool's status on failure.
template <int Class, typename T>
int32_t poolTake(QtzState *state, T **out) {
  static_assert(Class >= 0 && Class < QTZ_POOL_CLASSES);
  static_assert(sizeof(T) <= static_cast<size_t>(kPoolSize[Class]),
                "record does not fit its pool class");
  void *block = nullptr;
  int32_t status = state->poolAlloc(state->poolObject, Class, &block);
  if (status == 0) *out = static_cast<T *>(block);
  return status;
}

template <int Class, typename T>
void poolGive(QtzState *state, T *record) {
  state->poolFree(state->poolObject, Class, record);
}

}  // namespace qtz

#endif
