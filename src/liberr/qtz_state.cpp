// The library state: creation and destruction, its error sink, its two image-core contexts
// and the pool selection.
//
// Creating takes the allocation hooks (the C library's when no table is given), makes the
// record zero-filled, the error sink (only with a printer), the pools (the default ones when no
// callbacks are given) and, on request, the two contexts. A failure before the state exists is
// reported straight to the caller's printer; any later failure destroys the partial state, so
// a failed creation leaves nothing allocated. Destroying releases the pools, the contexts and
// the sink through the state's own hooks before the record itself.
//
// Both contexts allocate through adapters over the state's hooks (user word: the state) and
// forward every core error line to the sink as code 10002, passed as a "%s" argument so that
// the line is never taken as a format. The IPW context is made by pxlCreateContext and has a
// structuring-element cache; the IP context lives in a block of the state's, filled by
// pxlInitContext, and has none. Progress polling is off in both.
#include <cstdlib>

#include "qtz_internal.h"

namespace {

QtzState *stateOf(void *user) {
  return static_cast<QtzState *>(user);
}

void *coreAllocate(size_t size, int32_t, void *user) {
  return stateOf(user)->alloc.allocate(size);
}
void *coreAllocateZeroed(size_t count, size_t size, int32_t, void *user) {
  return stateOf(user)->alloc.allocateZeroed(count, size);
}
void *coreResize(void *block, size_t size, int32_t, void *user) {
  return stateOf(user)->alloc.resize(block, size);
}
void coreRelease(void *block, int32_t, void *user) {
  stateOf(user)->alloc.release(block);
}

void forwardCoreLine(void *user, const char *line) {
  auto *sink = static_cast<QtzErrSink *>(user);
  if (sink != nullptr) sink->printer(sink->stream, QTZ_ERR_CORE, "%s", line);
}

void *crtMalloc(size_t size) {
  return std::malloc(size);
}
void crtFree(void *block) {
  std::free(block);
}
void *crtCalloc(size_t count, size_t size) {
  return std::calloc(count, size);
}
void *crtRealloc(void *block, size_t size) {
  return std::realloc(block, size);
}

constexpr QtzAllocTable kCrtHooks = {crtMalloc, crtFree, crtCalloc, crtRealloc};

bool complete(const QtzAllocTable &allocs) {
  return allocs.allocate != nullptr && allocs.allocateZeroed != nullptr &&
         allocs.resize != nullptr && allocs.release != nullptr;
}

}  // namespace

extern "C" {

int32_t qtzNewErrSink(QtzErrSink **out, const QtzAllocTable *allocs, void *stream,
                      QtzErrPrinter printer) {
  if (out == nullptr || allocs == nullptr) return qtz::reportTo(printer, stream, QTZ_ERR_NULL);
  auto *sink = static_cast<QtzErrSink *>(allocs->allocate(sizeof(QtzErrSink)));
  if (sink == nullptr) return qtz::reportTo(printer, stream, QTZ_ERR_NO_MEMORY);
  sink->stream = stream;
  sink->printer = printer;
  *out = sink;
  return QTZ_OK;
}

void qtzFreeErrSink(QtzErrSink **sink, const QtzAllocTable *allocs) {
  if (sink == nullptr || *sink == nullptr || allocs == nullptr) return;
  allocs->release(*sink);
  *sink = nullptr;
}

int32_t Qtz_initQtzState(QtzState **out, const QtzAllocTable *allocs, const QtzPoolCallbacks *pools,
                         void *errStream, QtzErrPrinter printer, uint8_t wantIPW, uint8_t wantIP) {
  if (out == nullptr) return qtz::reportTo(printer, errStream, QTZ_ERR_NULL);
  if (allocs != nullptr && !complete(*allocs))
    return qtz::reportTo(printer, errStream, QTZ_ERR_NULL);
  if (pools != nullptr && (pools->poolAlloc == nullptr || pools->poolFree == nullptr))
    return qtz::reportTo(printer, errStream, QTZ_ERR_NULL);

  const QtzAllocTable &hooks = allocs != nullptr ? *allocs : kCrtHooks;
  auto *state = static_cast<QtzState *>(hooks.allocateZeroed(1, sizeof(QtzState)));
  if (state == nullptr) return qtz::reportTo(printer, errStream, QTZ_ERR_NO_MEMORY);
  state->alloc = hooks;
  if (allocs == nullptr) state->flags |= QTZ_STATE_CRT_HOOKS;

  int32_t status = QTZ_OK;
  if (printer != nullptr)
    status = qtzNewErrSink(&state->errSink, &state->alloc, errStream, printer);
  if (status == QTZ_OK) {
    if (pools != nullptr) {
      state->poolObject = pools->poolObject;
      state->poolAlloc = pools->poolAlloc;
      state->poolFree = pools->poolFree;
    } else {
      state->poolAlloc = smallPoolAlloc;
      state->poolFree = smallPoolFree;
      state->flags |= QTZ_STATE_OWNS_POOLS;
      status = smallPoolsCreate(state, &state->poolObject);
    }
  }
  if (status == QTZ_OK && wantIPW != 0) status = Qtz_initIPWState(state);
  if (status == QTZ_OK && wantIP != 0) status = Qtz_initIPState(state);
  if (status != QTZ_OK) {
    Qtz_cleanupQtzState(&state);
    return status;
  }
  *out = state;
  return QTZ_OK;
}

int32_t Qtz_cleanupQtzState(QtzState **pstate) {
  if (pstate == nullptr || *pstate == nullptr) return QTZ_OK;
  QtzState *state = *pstate;
  *pstate = nullptr;
  if ((state->flags & QTZ_STATE_OWNS_POOLS) != 0) smallPoolsDestroy(&state->poolObject);
  Qtz_cleanupIPState(state);
  Qtz_cleanupIPWState(state);
  qtzFreeErrSink(&state->errSink, &state->alloc);
  state->alloc.release(state);
  return QTZ_OK;
}

int32_t Qtz_initIPWState(QtzState *state) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (state->ipwContext != nullptr) return QTZ_OK;
  return pxlCreateContext(coreAllocate, coreAllocateZeroed, coreResize, coreRelease, state,
                          coreAllocate, coreAllocateZeroed, coreResize, coreRelease, state,
                          forwardCoreLine, state->errSink, 0, nullptr, nullptr, &state->ipwContext);
}

int32_t Qtz_cleanupIPWState(QtzState *state) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (state->ipwContext != nullptr) pxlDestroyContext(&state->ipwContext);
  return QTZ_OK;
}

int32_t Qtz_initIPState(QtzState *state) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (state->ipContext != nullptr) return QTZ_OK;
  int32_t size = 0;
  pxlGetContextSize(&size);
  auto *ctx = static_cast<PxlContext *>(qtz::allocate(state, static_cast<size_t>(size)));
  if (ctx == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t status =
      pxlInitContext(ctx, coreAllocate, coreAllocateZeroed, coreResize, coreRelease, state,
                     coreAllocate, coreAllocateZeroed, coreResize, coreRelease, state,
                     forwardCoreLine, state->errSink, 0, nullptr, nullptr, size);
  if (status != QTZ_OK) {
    qtz::release(state, ctx);
    return status;
  }
  state->ipContext = ctx;
  return QTZ_OK;
}

int32_t Qtz_cleanupIPState(QtzState *state) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  qtz::release(state, state->ipContext);
  state->ipContext = nullptr;
  return QTZ_OK;
}

int32_t Qtz_selectPools(QtzState *state, int32_t mask) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if ((state->flags & QTZ_STATE_OWNS_POOLS) == 0) return QTZ_OK;
  if (state->poolObject == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  smallPoolsSelect(state->poolObject, mask);
  return QTZ_OK;
}

}  // extern "C"
