// The library state: argument checks and their reports, failure at every allocation leaving
// nothing behind, the two image-core contexts (allocating through the state's hooks and
// forwarding core lines verbatim), and many create/destroy cycles.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "pxl_context.h"
#include "qtz_state.h"
#include "testkit_state.h"

namespace {

using norvtest::CapturedStream;
using norvtest::heap;
using norvtest::kTrackingHooks;

class StateTest : public testing::Test {
 protected:
  void SetUp() override { norvtest::resetHeap(); }
  void TearDown() override { EXPECT_EQ(heap.foreign, 0); }
};

TEST_F(StateTest, DefaultStateHasCrtHooksOwnPoolsAndBothContexts) {
  CapturedStream errors;
  QtzState *state = nullptr;
  ASSERT_EQ(Qtz_initQtzState(&state, nullptr, nullptr, errors.file(), Qtz_fileErrPrinter, 1, 1), 0);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->flags, unsigned{QTZ_STATE_OWNS_POOLS | QTZ_STATE_CRT_HOOKS});
  ASSERT_NE(state->errSink, nullptr);
  EXPECT_EQ(state->errSink->stream, errors.file());
  ASSERT_NE(state->ipwContext, nullptr);
  ASSERT_NE(state->ipContext, nullptr);
  EXPECT_NE(state->ipwContext->strelCache, nullptr);
  EXPECT_EQ(state->ipContext->strelCache, nullptr);
  EXPECT_EQ(state->ipwContext->progress, nullptr);
  EXPECT_EQ(state->ipContext->progress, nullptr);

  void *block = nullptr;
  EXPECT_EQ(state->poolAlloc(state->poolObject, 1, &block), 0);
  EXPECT_NE(block, nullptr);
  EXPECT_EQ(Qtz_cleanupQtzState(&state), 0);
  EXPECT_EQ(state, nullptr);
  EXPECT_EQ(errors.text(), "");
}

TEST_F(StateTest, IncompleteArgumentsGive118ReportedAndAllocateNothing) {
  auto withNull = [](void (*clear)(QtzAllocTable &)) {
    QtzAllocTable table = kTrackingHooks;
    clear(table);
    return table;
  };
  const QtzAllocTable tables[] = {
      withNull([](QtzAllocTable &t) { t.allocate = nullptr; }),
      withNull([](QtzAllocTable &t) { t.release = nullptr; }),
      withNull([](QtzAllocTable &t) { t.allocateZeroed = nullptr; }),
      withNull([](QtzAllocTable &t) { t.resize = nullptr; }),
  };
  QtzState *const sentinel = reinterpret_cast<QtzState *>(0x1234);
  for (const auto &table : tables) {
    CapturedStream errors;
    QtzState *state = sentinel;
    EXPECT_EQ(Qtz_initQtzState(&state, &table, nullptr, errors.file(), Qtz_fileErrPrinter, 1, 1),
              118);
    EXPECT_EQ(state, sentinel);
    EXPECT_EQ(errors.text(), "Error 118 -- Unexpected NULL pointer\n");
  }
  EXPECT_EQ(heap.requests, 0);

  auto dummyAlloc = [](void *, int32_t, void **) -> int32_t { return 0; };
  auto dummyFree = [](void *, int32_t, void *) {};
  const QtzPoolCallbacks callbacks[] = {{nullptr, nullptr, dummyFree},
                                        {nullptr, dummyAlloc, nullptr}};
  for (const auto &pools : callbacks) {
    CapturedStream errors;
    QtzState *state = nullptr;
    EXPECT_EQ(
        Qtz_initQtzState(&state, &kTrackingHooks, &pools, errors.file(), Qtz_fileErrPrinter, 0, 0),
        118);
    EXPECT_EQ(state, nullptr);
    EXPECT_EQ(errors.text(), "Error 118 -- Unexpected NULL pointer\n");
  }

  CapturedStream errors;
  EXPECT_EQ(Qtz_initQtzState(nullptr, nullptr, nullptr, errors.file(), Qtz_fileErrPrinter, 0, 0),
            118);
  EXPECT_EQ(errors.text(), "Error 118 -- Unexpected NULL pointer\n");
  EXPECT_EQ(heap.requests, 0);
}

TEST_F(StateTest, FailureAtAnyAllocationLeavesNothingAllocated) {
  // Count the requests of a successful creation, then fail each of them in turn.
  CapturedStream counting;
  QtzState *state = norvtest::trackedState(counting, true);
  ASSERT_NE(state, nullptr);
  Qtz_cleanupQtzState(&state);
  const long requests = heap.requests;
  ASSERT_GE(requests, 4);  // state, sink, pools, contexts

  QtzState *const sentinel = reinterpret_cast<QtzState *>(0x1234);
  for (long n = 1; n <= requests; ++n) {
    norvtest::resetHeap();
    heap.failAt = n;
    CapturedStream errors;
    QtzState *out = sentinel;
    int32_t status =
        Qtz_initQtzState(&out, &kTrackingHooks, nullptr, errors.file(), Qtz_fileErrPrinter, 1, 1);
    EXPECT_EQ(status, QTZ_ERR_NO_MEMORY) << "failing request " << n;
    EXPECT_EQ(out, sentinel) << "failing request " << n;
    EXPECT_TRUE(heap.live.empty()) << "failing request " << n;
    EXPECT_EQ(heap.foreign, 0) << "failing request " << n;
    if (n == 1) {
      EXPECT_EQ(errors.text(), "Error 1 -- Unable to allocate memory\n");
    }
  }
}

TEST_F(StateTest, StateWithoutPrinterReportsNothing) {
  QtzState *state = nullptr;
  EXPECT_EQ(Qtz_initQtzState(&state, &kTrackingHooks, nullptr, stderr, nullptr, 1, 1), 0);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->errSink, nullptr);
  testing::internal::CaptureStderr();
  pxlReportError(state->ipwContext, "utils1", 206, 1);
  pxlReportError(state->ipContext, "utils1", 206, 1);
  EXPECT_EQ(Qtz_selectPools(state, 0xFF), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  Qtz_cleanupQtzState(&state);
  EXPECT_TRUE(heap.live.empty());
}

TEST_F(StateTest, ContextsAllocateThroughTheStateHooks) {
  CapturedStream errors;
  QtzState *state = norvtest::trackedState(errors, true);
  ASSERT_NE(state, nullptr);
  for (PxlContext *ctx : {state->ipwContext, state->ipContext}) {
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(heap.live.count(ctx), 1u);
    for (int set : {PXL_SET_RECORDS, PXL_SET_PIXELS}) {
      void *a = ctx->allocate[set](24, 0, ctx->user[set]);
      void *z = ctx->allocateZeroed[set](3, 8, 0, ctx->user[set]);
      ASSERT_EQ(heap.live.count(a), 1u);
      ASSERT_EQ(heap.live.count(z), 1u);
      a = ctx->resize[set](a, 4000, 0, ctx->user[set]);
      ASSERT_EQ(heap.live.count(a), 1u);
      EXPECT_EQ(heap.live[a], 4000u);
      ctx->release[set](a, 0, ctx->user[set]);
      ctx->release[set](z, 0, ctx->user[set]);
      EXPECT_EQ(heap.live.count(a) + heap.live.count(z), 0u);
    }
  }
  Qtz_cleanupQtzState(&state);
  EXPECT_TRUE(heap.live.empty());
}

TEST_F(StateTest, CoreLinesReachThePrinterAsCode10002Verbatim) {
  CapturedStream errors;
  QtzState *state = norvtest::trackedState(errors, true);
  ASSERT_NE(state, nullptr);
  pxlReportError(state->ipwContext, "unit%s%n", 206, 1);
  pxlReportError(state->ipContext, "utils1", 7, 121);
  EXPECT_EQ(errors.text(),
            "Error 10002 -- --ZUVeda Error-- File:unit%s%n Line:206 Error: 1\n\n"
            "Error 10002 -- --ZUVeda Error-- File:utils1 Line:7 Error: 121\n\n");
  Qtz_cleanupQtzState(&state);
}

// A printer that records what a caller's own printer would receive.
std::vector<std::string> gFormats;
std::vector<std::string> gArguments;
void recordingPrinter(void *, int32_t code, const char *format, ...) {
  gFormats.push_back(std::to_string(code) + ":" + format);
  va_list args;
  va_start(args, format);
  gArguments.push_back(va_arg(args, const char *));
  va_end(args);
}

TEST_F(StateTest, CoreLinesAreArgumentsOfAPercentSFormat) {
  gFormats.clear();
  gArguments.clear();
  QtzState *state = nullptr;
  ASSERT_EQ(Qtz_initQtzState(&state, nullptr, nullptr, nullptr, recordingPrinter, 1, 0), 0);
  pxlReportError(state->ipwContext, "%s%s", 3, 2);
  ASSERT_EQ(gFormats.size(), 1u);
  EXPECT_EQ(gFormats[0], "10002:%s");
  EXPECT_EQ(gArguments[0], "--ZUVeda Error-- File:%s%s Line:3 Error: 2\n");
  Qtz_cleanupQtzState(&state);
}

TEST_F(StateTest, ContextInitAndCleanupAreRepeatable) {
  CapturedStream errors;
  QtzState *state = norvtest::trackedState(errors, false);
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->ipwContext, nullptr);
  EXPECT_EQ(state->ipContext, nullptr);

  ASSERT_EQ(Qtz_initIPWState(state), 0);
  ASSERT_EQ(Qtz_initIPState(state), 0);
  PxlContext *ipw = state->ipwContext;
  PxlContext *ip = state->ipContext;
  EXPECT_EQ(Qtz_initIPWState(state), 0);
  EXPECT_EQ(Qtz_initIPState(state), 0);
  EXPECT_EQ(state->ipwContext, ipw);
  EXPECT_EQ(state->ipContext, ip);

  EXPECT_EQ(Qtz_cleanupIPWState(state), 0);
  EXPECT_EQ(Qtz_cleanupIPState(state), 0);
  EXPECT_EQ(state->ipwContext, nullptr);
  EXPECT_EQ(state->ipContext, nullptr);
  EXPECT_EQ(Qtz_cleanupIPWState(state), 0);
  EXPECT_EQ(Qtz_cleanupIPState(state), 0);

  heap.failAt = heap.requests + 1;
  EXPECT_EQ(Qtz_initIPState(state), QTZ_ERR_NO_MEMORY);
  EXPECT_EQ(state->ipContext, nullptr);
  EXPECT_EQ(errors.text(), "Error 1 -- Unable to allocate memory\n");

  for (auto fn : {Qtz_initIPWState, Qtz_cleanupIPWState, Qtz_initIPState, Qtz_cleanupIPState})
    EXPECT_EQ(fn(nullptr), QTZ_ERR_PARAM);
  Qtz_cleanupQtzState(&state);
  EXPECT_TRUE(heap.live.empty());
}

TEST_F(StateTest, CleanupAcceptsNullPointerAndNullState) {
  QtzState *state = nullptr;
  EXPECT_EQ(Qtz_cleanupQtzState(&state), 0);
  EXPECT_EQ(Qtz_cleanupQtzState(nullptr), 0);
}

TEST_F(StateTest, TenThousandCyclesLeakNothing) {
  CapturedStream errors;
  for (int cycle = 0; cycle < 10000; ++cycle) {
    QtzState *state = norvtest::trackedState(errors, true);
    ASSERT_NE(state, nullptr) << "cycle " << cycle;
    void *block = nullptr;
    ASSERT_EQ(state->poolAlloc(state->poolObject, cycle % QTZ_POOL_CLASSES, &block), 0);
    Qtz_cleanupQtzState(&state);
    ASSERT_TRUE(heap.live.empty()) << "cycle " << cycle;
  }
  EXPECT_EQ(heap.foreign, 0);
  EXPECT_EQ(errors.text(), "");
}

}  // namespace
