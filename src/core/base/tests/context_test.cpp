// Core context: creation with defaults and with caller allocators (every block through the
// caller's record set, nothing left behind), the progress countdown (every interval-th poll, a
// 32-bit countdown that wraps), aborts answered during create and destroy (status and report
// line), initialisation over a caller's block, the processing-unit queries, the exact report
// line and the word byte-reversal row routines.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "pxl_context.h"
#include "pxl_strel.h"

namespace {

// An allocator set that records every live block and every argument it sees.
struct CountingSet {
  std::set<void *> live;
  int allocations = 0;
  int releases = 0;
  int foreignReleases = 0;
  int nonZeroSpare = 0;
  int wrongUser = 0;

  void see(int32_t spare, void *user) {
    nonZeroSpare += spare != 0;
    wrongUser += user != this;
  }
  static CountingSet &of(void *user) { return *static_cast<CountingSet *>(user); }
  static void *allocate(size_t size, int32_t spare, void *user) {
    CountingSet &s = of(user);
    s.see(spare, user);
    void *p = std::malloc(size);
    s.live.insert(p);
    ++s.allocations;
    return p;
  }
  static void *allocateZeroed(size_t count, size_t size, int32_t spare, void *user) {
    CountingSet &s = of(user);
    s.see(spare, user);
    void *p = std::calloc(count, size);
    s.live.insert(p);
    ++s.allocations;
    return p;
  }
  static void *resize(void *block, size_t size, int32_t spare, void *user) {
    CountingSet &s = of(user);
    s.see(spare, user);
    s.live.erase(block);
    void *p = std::realloc(block, size);
    s.live.insert(p);
    return p;
  }
  static void release(void *block, int32_t spare, void *user) {
    CountingSet &s = of(user);
    s.see(spare, user);
    if (s.live.erase(block) == 0) ++s.foreignReleases;
    ++s.releases;
    std::free(block);
  }
};

struct Lines {
  std::vector<std::string> text;
  static void collect(void *user, const char *line) {
    static_cast<Lines *>(user)->text.emplace_back(line);
  }
};

struct Progress {
  int calls = 0;
  int32_t answer = 0;
  static int32_t poll(void *user) {
    auto *p = static_cast<Progress *>(user);
    ++p->calls;
    return p->answer;
  }
};

struct Harness {
  CountingSet records, pixels;
  Lines lines;
  Progress progress;

  int32_t create(int32_t interval, PxlContext **out) {
    return pxlCreateContext(CountingSet::allocate, CountingSet::allocateZeroed, CountingSet::resize,
                            CountingSet::release, &pixels, CountingSet::allocate,
                            CountingSet::allocateZeroed, CountingSet::resize, CountingSet::release,
                            &records, Lines::collect, &lines, interval, Progress::poll, &progress,
                            out);
  }
};

// "--ZUVeda Error-- File:<unit> Line:<number> Error: <code>\n", exactly.
bool isReportLine(const std::string &line, const std::string &unit, long code) {
  return std::regex_match(line,
                          std::regex("--ZUVeda Error-- File:" + unit +
                                     " Line:[1-9][0-9]* Error: " + std::to_string(code) + "\n"));
}

TEST(Context, CreateWithNullArgumentsUsesTheCRuntime) {
  PxlContext *ctx = nullptr;
  ASSERT_EQ(0,
            pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &ctx));
  ASSERT_NE(ctx, nullptr);
  for (int set : {PXL_SET_RECORDS, PXL_SET_PIXELS}) {
    EXPECT_EQ(ctx->allocate[set], &pxlDefaultMalloc);
    EXPECT_EQ(ctx->allocateZeroed[set], &pxlDefaultCalloc);
    EXPECT_EQ(ctx->resize[set], &pxlDefaultRealloc);
    EXPECT_EQ(ctx->release[set], &pxlDefaultFree);
    EXPECT_EQ(ctx->user[set], nullptr);
  }
  EXPECT_EQ(ctx->message, nullptr);
  EXPECT_EQ(ctx->progress, nullptr);
  EXPECT_NE(ctx->strelCache, nullptr);
  EXPECT_EQ(ctx->processorFlag, 1);
  int32_t flags = -1;
  EXPECT_EQ(0, pxlGetContextFlags(ctx, &flags));
  EXPECT_EQ(flags, 0);
  // Reports go nowhere; the caller's status is unaffected.
  EXPECT_EQ(0, pxlReportError(ctx, "utils1", 206, 1));
  EXPECT_EQ(0, pxlDestroyContext(&ctx));
  EXPECT_EQ(ctx, nullptr);
}

TEST(Context, CreateIntoAnOccupiedPointerGives2AndAllocatesNothing) {
  Harness h;
  PxlContext occupied{};
  PxlContext *out = &occupied;
  EXPECT_EQ(2, h.create(1, &out));
  EXPECT_EQ(out, &occupied);
  EXPECT_EQ(h.records.allocations + h.pixels.allocations, 0);
  EXPECT_EQ(h.progress.calls, 0);
  EXPECT_TRUE(h.lines.text.empty());
}

// The context record, its structuring-element cache and everything else the context makes
// come from the caller's record set with spare 0 and the set's user word, and go back to it;
// the pixel set is not touched; the process-wide master is not the caller's.
TEST(Context, CallerRecordSetSeesEveryBlock) {
  Harness h;
  PxlContext *ctx = nullptr;
  ASSERT_EQ(0, h.create(0, &ctx));
  EXPECT_EQ(h.records.live.count(ctx), 1u);
  EXPECT_EQ(h.records.live.count(ctx->strelCache), 1u);
  EXPECT_EQ(h.records.live.count(ctx->strelCache->entries), 1u);
  EXPECT_EQ(h.records.live.count(pxlGetMasterStrelCache()), 0u);
  EXPECT_EQ(ctx->user[PXL_SET_RECORDS], &h.records);
  EXPECT_EQ(ctx->user[PXL_SET_PIXELS], &h.pixels);

  PxlStrel *el = nullptr;
  ASSERT_EQ(0, pxlCreateStrel(ctx, 3, 2, &el));
  EXPECT_EQ(h.records.live.count(el), 1u);
  EXPECT_EQ(h.records.live.count(el->rows), 1u);
  ASSERT_EQ(0, pxlDestroyStrel(ctx, &el));
  ASSERT_EQ(0, pxlDestroyContext(&ctx));
  EXPECT_TRUE(h.records.live.empty());
  EXPECT_EQ(h.records.foreignReleases, 0);
  EXPECT_EQ(h.records.nonZeroSpare + h.pixels.nonZeroSpare, 0);
  EXPECT_EQ(h.records.wrongUser + h.pixels.wrongUser, 0);
  EXPECT_EQ(h.pixels.allocations, 0);
  EXPECT_EQ(pxlGetMasterStrelCache(), nullptr);
}

TEST(Context, ProgressIsCalledEveryIntervalthPoll) {
  Harness h;
  PxlContext *ctx = nullptr;
  ASSERT_EQ(0, h.create(3, &ctx));
  ctx->countdown = ctx->interval;  // count from here, whatever creation polled
  const int before = h.progress.calls;
  std::vector<int> calledAt;
  for (int poll = 1; poll <= 10; ++poll) {
    const int calls = h.progress.calls;
    EXPECT_EQ(0, pxlPollProgress(ctx));
    if (h.progress.calls != calls) calledAt.push_back(poll);
  }
  EXPECT_EQ(calledAt, (std::vector<int>{3, 6, 9}));
  EXPECT_EQ(h.progress.calls - before, 3);

  // The poll hands back the callback's answer.
  ctx->countdown = 1;
  h.progress.answer = 7;
  EXPECT_EQ(7, pxlPollProgress(ctx));
  h.progress.answer = 0;
  EXPECT_EQ(0, pxlDestroyContext(&ctx));
}

// With interval 0 the countdown runs below 0 and the callback is reached only after the 32-bit
// counter has wrapped: the step from INT32_MIN is to INT32_MAX, without a call.
TEST(Context, CountdownWrapsAsA32BitCounter) {
  Progress progress;
  PxlContext ctx{};
  ASSERT_EQ(0, pxlInitContext(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr, 0, Progress::poll,
                              &progress, sizeof ctx));
  EXPECT_EQ(0, pxlPollProgress(&ctx));
  EXPECT_EQ(ctx.countdown, -1);
  ctx.countdown = INT32_MIN;
  EXPECT_EQ(0, pxlPollProgress(&ctx));
  EXPECT_EQ(ctx.countdown, INT32_MAX);
  EXPECT_EQ(progress.calls, 0);
  ctx.countdown = 1;
  EXPECT_EQ(0, pxlPollProgress(&ctx));
  EXPECT_EQ(progress.calls, 1);
  EXPECT_EQ(ctx.countdown, 0);  // back to the interval
}

TEST(Context, AbortDuringCreateFailsWithTheAnswerAndReportsIt) {
  Harness h;
  h.progress.answer = 7;
  PxlContext *ctx = nullptr;
  EXPECT_EQ(7, h.create(1, &ctx));
  EXPECT_EQ(ctx, nullptr);
  ASSERT_EQ(h.lines.text.size(), 1u);
  EXPECT_TRUE(isReportLine(h.lines.text[0], "utils1", 7)) << h.lines.text[0];
  EXPECT_TRUE(h.records.live.empty());
  EXPECT_EQ(pxlGetMasterStrelCache(), nullptr);
}

TEST(Context, AbortedDestroyLeavesTheContextAlive) {
  Harness h;
  PxlContext *ctx = nullptr;
  ASSERT_EQ(0, h.create(1, &ctx));
  PxlContext *const alive = ctx;
  h.progress.answer = 7;
  EXPECT_EQ(7, pxlDestroyContext(&ctx));
  EXPECT_EQ(ctx, alive);
  ASSERT_EQ(h.lines.text.size(), 1u);
  EXPECT_TRUE(isReportLine(h.lines.text[0], "utils1", 7)) << h.lines.text[0];
  EXPECT_EQ(h.records.live.count(ctx), 1u);
  EXPECT_NE(ctx->strelCache, nullptr);

  h.progress.answer = 0;
  EXPECT_EQ(0, pxlDestroyContext(&ctx));
  EXPECT_EQ(ctx, nullptr);
  EXPECT_TRUE(h.records.live.empty());
  EXPECT_EQ(h.lines.text.size(), 1u);
}

TEST(Context, InitOverACallerBlock) {
  int32_t size = 0;
  EXPECT_EQ(0, pxlGetContextSize(&size));
  ASSERT_EQ(size, static_cast<int32_t>(sizeof(PxlContext)));
  std::vector<unsigned char> block(sizeof(PxlContext), 0xAB);
  auto *ctx = reinterpret_cast<PxlContext *>(block.data());
  auto init = [&](PxlContext *c, int32_t blockSize) {
    return pxlInitContext(c, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr, nullptr, 5, nullptr, nullptr, blockSize);
  };
  EXPECT_EQ(2, init(ctx, size - 1));
  EXPECT_EQ(block, std::vector<unsigned char>(sizeof(PxlContext), 0xAB));
  EXPECT_EQ(121, init(nullptr, size));

  EXPECT_EQ(0, init(ctx, size));
  EXPECT_EQ(ctx->strelCache, nullptr);
  EXPECT_EQ(ctx->allocate[PXL_SET_PIXELS], &pxlDefaultMalloc);
  EXPECT_EQ(ctx->interval, 5);
  EXPECT_EQ(ctx->countdown, 5);
  EXPECT_EQ(ctx->processorFlag, 1);
  EXPECT_EQ(ctx->options, 0);
  PxlStrel *el = nullptr;
  EXPECT_EQ(4001, pxlGetStrel(ctx, 1, &el));
}

TEST(Context, ProcessingUnitForBuffers) {
  PxlContext ctx{};
  ASSERT_EQ(0, pxlInitContext(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                              sizeof ctx));
  struct {
    int32_t flag;
    intptr_t a, b, c, d;
    int32_t unit;
  } const cases[] = {
      {1, 0x1000, 8, 0x2008, 64, 8}, {1, 0x1000, 12, 0x2008, 64, 4}, {1, 0x1004, 8, 0x2008, 64, 4},
      {1, 0x1000, 8, 0x2008, 65, 4}, {0, 0x1000, 8, 0x2008, 64, 4},
  };
  for (const auto &c : cases) {
    pxlSetProcessorFlag(&ctx, c.flag);
    int32_t unit = 0;
    pxlGetUnitForBuffers(&ctx, c.a, c.b, c.c, c.d, &unit);
    EXPECT_EQ(unit, c.unit) << "flag " << c.flag << " values " << c.a << " " << c.b << " " << c.c
                            << " " << c.d;
    pxlGetProcessingUnit(&ctx, &unit);
    EXPECT_EQ(unit, c.flag ? 8 : 4);
  }
}

TEST(Context, ReportLineIsExact) {
  Lines lines;
  PxlContext ctx{};
  ASSERT_EQ(0, pxlInitContext(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, Lines::collect, &lines, 0, nullptr,
                              nullptr, sizeof ctx));
  EXPECT_EQ(0, pxlReportError(&ctx, "utils1", 206, 1));
  // Line and code are printed as long values.
  EXPECT_EQ(0, pxlReportError(&ctx, "strelmgr", 4000000000L, -14));
  EXPECT_EQ(lines.text, (std::vector<std::string>{
                            "--ZUVeda Error-- File:utils1 Line:206 Error: 1\n",
                            "--ZUVeda Error-- File:strelmgr Line:4000000000 Error: -14\n"}));
  EXPECT_EQ(0, pxlReportError(nullptr, "utils1", 206, 1));
}

// Each destination word holds the source word's four bytes in reverse order (and inverted by
// the inverting pair), for counts around the eight-word steps, out of place and in place.
TEST(Context, WordByteReversers) {
  struct {
    const char *name;
    PxlWordByteReverser routine;
    bool invert;
  } const routines[] = {{"bswap", pxlReverseWordBytes, false},
                        {"bswap invert", pxlReverseWordBytesInvert, true},
                        {"loads", pxlReverseWordBytesByLoads, false},
                        {"loads invert", pxlReverseWordBytesInvertByLoads, true}};
  for (const auto &r : routines) {
    for (int32_t count : {1, 7, 8, 9, 17}) {
      SCOPED_TRACE(std::string(r.name) + " count " + std::to_string(count));
      std::vector<uint32_t> src(static_cast<size_t>(count));
      for (int32_t i = 0; i < count; ++i)
        src[i] = 0x01020304u * static_cast<uint32_t>(i + 1) ^ 0xA5000000u;
      std::vector<uint32_t> expected(src.size());
      for (size_t i = 0; i < src.size(); ++i) {
        unsigned char in[4], out[4];
        std::memcpy(in, &src[i], 4);
        for (int b = 0; b < 4; ++b)
          out[b] = static_cast<unsigned char>(r.invert ? ~in[3 - b] : in[3 - b]);
        std::memcpy(&expected[i], out, 4);
      }
      std::vector<uint32_t> dst(src.size() + 1, 0x77777777u);
      r.routine(nullptr, src.data(), dst.data(), count);
      EXPECT_EQ(std::vector<uint32_t>(dst.begin(), dst.end() - 1), expected);
      EXPECT_EQ(dst.back(), 0x77777777u);
      std::vector<uint32_t> inPlace = src;
      r.routine(nullptr, inPlace.data(), inPlace.data(), count);
      EXPECT_EQ(inPlace, expected);
    }
  }
}

TEST(Context, SelectWordByteReverserFillsTheSlotOfTheKind) {
  int32_t family = 0;
  pxlGetCpuFamily(0, &family);
  const bool byLoads = family == 3;
  for (int32_t invert : {0, 1}) {
    const PxlWordByteReverser want =
        invert ? (byLoads ? pxlReverseWordBytesInvertByLoads : pxlReverseWordBytesInvert)
               : (byLoads ? pxlReverseWordBytesByLoads : pxlReverseWordBytes);
    for (int32_t kind : {0, 1, 2}) {
      PxlWordByteReverser slots[3] = {nullptr, nullptr, nullptr};  // kind 1, kind 0, other
      pxlSelectWordByteReverser(nullptr, invert, kind, &slots[0], &slots[1], &slots[2]);
      const int filled = kind == 1 ? 0 : kind == 0 ? 1 : 2;
      for (int s = 0; s < 3; ++s)
        EXPECT_EQ(slots[s], s == filled ? want : nullptr)
            << "invert " << invert << " kind " << kind;
    }
  }
}

}  // namespace
