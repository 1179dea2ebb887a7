/* Installed API, qtz_state.h: states over the C library's and the caller's hooks, the image-core
 * contexts, pool selection and the default pools, error sinks. */
#include <stdlib.h>

#include "api_check.h"
#include "qtz_state.h"

static int allocations = 0;
static void *countedAllocate(size_t size) {
  ++allocations;
  return malloc(size);
}
static void *countedZeroed(size_t count, size_t size) {
  ++allocations;
  return calloc(count, size);
}
static void *countedResize(void *block, size_t size) {
  ++allocations;
  return realloc(block, size);
}

int main(void) {
  const QtzAllocTable hooks = {countedAllocate, free, countedZeroed, countedResize};
  QtzState *state = NULL;
  CHECK(Qtz_initQtzState(&state, &hooks, NULL, stderr, Qtz_fileErrPrinter, 0, 0) == QTZ_OK);
  CHECK(state != NULL && allocations > 0);
  CHECK(Qtz_initQtzState(NULL, NULL, NULL, NULL, NULL, 0, 0) == QTZ_ERR_NULL);

  CHECK(Qtz_initIPWState(state) == QTZ_OK && state->ipwContext != NULL);
  CHECK(Qtz_initIPState(state) == QTZ_OK && state->ipContext != NULL);
  CHECK(Qtz_cleanupIPWState(state) == QTZ_OK && state->ipwContext == NULL);
  CHECK(Qtz_cleanupIPState(state) == QTZ_OK && state->ipContext == NULL);
  CHECK(Qtz_selectPools(state, QTZ_POOL_DEFAULT_MASK) == QTZ_OK);

  CHECK(Qtz_getPoolSize(0) == QTZ_POOL_SIZE_0 && Qtz_getPoolSize(7) == QTZ_POOL_SIZE_7);
  CHECK(Qtz_getPoolSize(8) == -1);

  void *pools = NULL;
  CHECK(smallPoolsCreate(state, &pools) == QTZ_OK && pools != NULL);
  smallPoolsSelect(pools, 0xFF);
  void *block = NULL;
  CHECK(smallPoolAlloc(pools, 3, &block) == QTZ_OK && block != NULL);
  smallPoolFree(pools, 3, block);
  smallPoolsDestroy(&pools);
  CHECK(pools == NULL);

  QtzErrSink *sink = NULL;
  CHECK(qtzNewErrSink(&sink, &hooks, stderr, Qtz_fileErrPrinter) == QTZ_OK && sink != NULL);
  CHECK(sink->stream == stderr && sink->printer == Qtz_fileErrPrinter);
  qtzFreeErrSink(&sink, &hooks);
  CHECK(sink == NULL);

  CHECK(Qtz_cleanupQtzState(&state) == QTZ_OK && state == NULL);
  return 0;
}
