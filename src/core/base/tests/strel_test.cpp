// Structuring elements, the shared element cache and run lists.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pxl_context.h"
#include "pxl_strel.h"

namespace {

struct Ctx {
  PxlContext *ctx = nullptr;
  Ctx() {
    EXPECT_EQ(
        0, pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &ctx));
  }
  ~Ctx() {
    if (ctx) pxlDestroyContext(&ctx);
  }
};

// Adds one reference to a process-wide element under `id`, as the standard-element
// initialiser does, so that the cache arithmetic can be tested on its own.
void addReference(PxlContext *ctx, int32_t id) {
  PxlStrelCache *master = ctx->strelCache->master;
  if (master->entries[id].element == nullptr) {
    PxlStrel *el = nullptr;
    ASSERT_EQ(0, pxlCreateStrel(pxlProcessContext(), 3, 3, &el));
    el->id = id;
    master->entries[id].element = el;
  }
  master->entries[id].count += 1;
  ctx->strelCache->entries[id].element = master->entries[id].element;
  ctx->strelCache->entries[id].count += 1;
}

TEST(Strel, CreateGivesZeroedGridWithId65) {
  Ctx c;
  PxlStrel *el = nullptr;
  ASSERT_EQ(0, pxlCreateStrel(c.ctx, 5, 3, &el));
  EXPECT_EQ(5, el->width);
  EXPECT_EQ(3, el->height);
  EXPECT_EQ(65, el->id);
  EXPECT_EQ(1, el->built);
  EXPECT_EQ(0, el->originX);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(0, el->rows[y][x]);
  el->derived[2] = pxlDefaultMalloc(16, 0, nullptr);  // compiled routines are owned
  ASSERT_EQ(0, pxlDestroyStrel(c.ctx, &el));
  EXPECT_EQ(nullptr, el);
  EXPECT_EQ(0, pxlDestroyStrel(c.ctx, &el));  // a null element is fine
}

// Other tests of the program may keep contexts alive, so the counts are taken relative to
// what is there before.
int32_t masterReferences() {
  PxlStrelCache *m = pxlGetMasterStrelCache();
  return m ? m->references : 0;
}

TEST(Strel, MasterIsSharedAndGoesWithTheLastContext) {
  const int32_t base = masterReferences();
  {
    Ctx a;
    PxlStrelCache *master = pxlGetMasterStrelCache();
    ASSERT_NE(nullptr, master);
    EXPECT_EQ(master, master->master);
    EXPECT_EQ(master, a.ctx->strelCache->master);
    EXPECT_EQ(base + 1, master->references);
    {
      Ctx b;
      EXPECT_EQ(master, pxlGetMasterStrelCache());
      EXPECT_EQ(base + 2, master->references);
    }
    EXPECT_EQ(base + 1, master->references);
  }
  EXPECT_EQ(base, masterReferences());
  if (base == 0) {
    EXPECT_EQ(nullptr, pxlGetMasterStrelCache());
  }
}

TEST(Strel, GetStrelStatuses) {
  Ctx c;
  PxlStrel *el = nullptr;
  EXPECT_EQ(4003, pxlGetStrel(c.ctx, 0, &el));
  EXPECT_EQ(4003, pxlGetStrel(c.ctx, 66, &el));
  EXPECT_EQ(4004, pxlGetStrel(c.ctx, 65, &el));
  EXPECT_EQ(121, pxlGetStrel(nullptr, 1, &el));
  PxlStrel dummy{};
  el = &dummy;
  EXPECT_EQ(2, pxlGetStrel(c.ctx, 1, &el));

  PxlContext plain{};
  ASSERT_EQ(0, pxlInitContext(&plain, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                              sizeof plain));
  el = nullptr;
  EXPECT_EQ(4001, pxlGetStrel(&plain, 1, &el));
  EXPECT_EQ(4001, pxlReleaseStrel(&plain, nullptr, 1));
}

TEST(Strel, ReferencesAcrossContextsNeverDangle) {
  Ctx a, b;
  addReference(a.ctx, 7);
  addReference(b.ctx, 7);
  PxlStrelCache *master = a.ctx->strelCache->master;
  EXPECT_EQ(2, master->entries[7].count);

  // a drops its reference: the element stays for b, and a no longer hands it out.
  ASSERT_EQ(0, pxlReleaseStrel(a.ctx, nullptr, 7));
  EXPECT_NE(nullptr, master->entries[7].element);
  PxlStrel *el = nullptr;
  EXPECT_EQ(4004, pxlGetStrel(a.ctx, 7, &el));
  ASSERT_EQ(0, pxlGetStrel(b.ctx, 7, &el));
  EXPECT_EQ(7, el->id);

  // Dropping a reference that is not held is an internal error.
  EXPECT_EQ(12, pxlReleaseStrel(a.ctx, nullptr, 7));

  // b's release was the last: the element goes.
  ASSERT_EQ(0, pxlReleaseStrel(b.ctx, nullptr, 7));
  EXPECT_EQ(nullptr, master->entries[7].element);
  EXPECT_EQ(0, master->entries[7].count);
}

TEST(Strel, DestroyingContextsDropsTheirReferences) {
  // Leak checking under the sanitizers proves that every element goes with its last holder.
  Ctx a;
  {
    Ctx b;
    addReference(b.ctx, 3);
    addReference(b.ctx, 3);
    addReference(a.ctx, 3);
  }
  EXPECT_EQ(1, a.ctx->strelCache->master->entries[3].count);
}

int32_t abortWith7(void *) {
  return 7;
}
void collect(void *user, const char *text) {
  static_cast<std::string *>(user)->append(text);
}

TEST(Strel, AbortedCacheBuildLeavesNothing) {
  PxlStrelCache *before = pxlGetMasterStrelCache();
  const int32_t references = masterReferences();
  std::string lines;
  PxlContext *ctx = nullptr;
  EXPECT_EQ(7,
            pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, collect, &lines, 1, abortWith7, nullptr, &ctx));
  EXPECT_EQ(nullptr, ctx);
  EXPECT_EQ(before, pxlGetMasterStrelCache());
  EXPECT_EQ(references, masterReferences());
  EXPECT_NE(std::string::npos, lines.find("Error: 7\n"));
}

// ---- run lists ----

TEST(Runs, PaintRunsIntoRow) {
  std::vector<uint32_t> row(2, 0);
  PxlRowRun runs[] = {{3, 5}, {40, 40}};
  ASSERT_EQ(0, pxlRunsToRow(0, row.data(), 64, runs, runs + 2, 0));
  EXPECT_EQ(0x1C000000u, row[0]);
  EXPECT_EQ(0x00800000u, row[1]);
}

TEST(Runs, ReplaceOrOrTheWordsTheyTouch) {
  PxlRowRun run0[] = {{0, 0}};
  uint32_t row[2] = {0xFFFFFFFFu, 0x12345678u};
  ASSERT_EQ(0, pxlRunsToRow(0, row, 64, run0, run0 + 1, 0));
  EXPECT_EQ(0x80000000u, row[0]);
  EXPECT_EQ(0x12345678u, row[1]);  // untouched word
  row[0] = 0xFFFFFFFFu;
  ASSERT_EQ(0, pxlRunsToRow(0, row, 64, run0, run0 + 1, 1));
  EXPECT_EQ(0xFFFFFFFFu, row[0]);
}

TEST(Runs, LongRunsAndSharedWords) {
  // Reference: paint pixel by pixel.
  PxlRowRun runs[] = {{1, 2}, {5, 70}, {72, 72}, {95, 159}};
  std::vector<uint32_t> row(6, 0xAAAAAAAAu), ref(6, 0);
  for (const auto &r : runs)
    for (int x = r.start; x <= r.end; ++x) ref[x >> 5] |= 0x80000000u >> (x & 31);
  ASSERT_EQ(0, pxlRunsToRow(0, row.data(), 192, runs, runs + 4, 0));
  for (int w = 0; w < 6; ++w) {
    uint32_t expected = w == 5 ? 0xAAAAAAAAu : ref[w];  // word 5 holds no run bits
    EXPECT_EQ(expected, row[w]) << w;
  }
}

TEST(Runs, CorruptRunListsAreRefusedWithoutWriting) {
  struct Case {
    std::vector<PxlRowRun> runs;
  } cases[] = {
      {{{64, 64}}},           // at the width
      {{{-1, 3}}},            // negative start
      {{{10, 5}}},            // start after end
      {{{20, 30}, {5, 8}}},   // out of order
      {{{5, 10}, {10, 12}}},  // overlapping
  };
  for (const auto &c : cases) {
    uint32_t row[2] = {0x11111111u, 0x22222222u};
    EXPECT_EQ(15, pxlRunsToRow(0, row, 64, c.runs.data(), c.runs.data() + c.runs.size(), 0));
    EXPECT_EQ(0x11111111u, row[0]);
    EXPECT_EQ(0x22222222u, row[1]);
  }
}

TEST(Runs, ListRunsWithinBitRange) {
  uint32_t row[2] = {0xE0000003u, 0xC0000000u};  // bits 0-2 and 30-33
  PxlRowRun buf[4];
  PxlRowRun *end = nullptr;
  ASSERT_EQ(0, pxlRowToRuns(nullptr, row, 31, 1, buf, 4, 100, &end));
  ASSERT_EQ(2, end - buf);
  EXPECT_EQ(101, buf[0].start);
  EXPECT_EQ(102, buf[0].end);
  EXPECT_EQ(130, buf[1].start);
  EXPECT_EQ(131, buf[1].end);
  EXPECT_EQ(7, pxlRowToRuns(nullptr, row, 31, 1, buf, 1, 100, &end));
  EXPECT_EQ(2, pxlRowToRuns(nullptr, row, 31, 1, buf, 0, 0, &end));
  EXPECT_EQ(2, pxlRowToRuns(nullptr, nullptr, 31, 1, buf, 4, 0, &end));
  ASSERT_EQ(0, pxlRowToRuns(nullptr, row, 0, 5, buf, 4, 0, &end));  // last before first
  EXPECT_EQ(buf, end);
}

TEST(Runs, RoundTripRandomRows) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  for (int iter = 0; iter < 500; ++iter) {
    int width = 1 + next() % 300;
    int words = (width + 31) / 32;
    std::vector<uint32_t> row(words);
    for (auto &w : row) w = next() & next();
    if (width % 32) row[words - 1] &= 0xFFFFFFFFu << (32 - width % 32);
    std::vector<PxlRowRun> runs(width);
    PxlRowRun *end = nullptr;
    ASSERT_EQ(0, pxlRowToRuns(nullptr, row.data(), width - 1, 0, runs.data(), width, 0, &end));
    std::vector<uint32_t> back(words, 0);
    ASSERT_EQ(0, pxlRunsToRow(0, back.data(), width, runs.data(), end, 0));
    EXPECT_EQ(row, back) << "width " << width;
  }
}

}  // namespace
