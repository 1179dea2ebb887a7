// Context, default allocator, handle validation, document kinds and the handle cache.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "ovr_engine_internal.h"
#include "ovr_records_internal.h"

namespace {

struct ContextDeleter {
  void operator()(OvrIoContext *ctx) const { ovrDestroyIoContext(ctx); }
};
using ContextPtr = std::unique_ptr<OvrIoContext, ContextDeleter>;

ContextPtr makeContext() {
  OvrIoContext *ctx = nullptr;
  EXPECT_EQ(ovrCreateIoContext(7, &ctx), OVR_OK);
  return ContextPtr(ctx);
}

TEST(OvrContext, CreateFillsRecordAndDefaultAllocator) {
  ContextPtr ctx = makeContext();
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(ctx->self, ctx.get());
  EXPECT_EQ(ctx->magic, 0x00494F00u);
  EXPECT_EQ(ctx->version, 0x123abc00u);
  EXPECT_EQ(ctx->clientWord, 7u);
  EXPECT_EQ(ctx->user, ctx->usage);
  EXPECT_EQ(ctx->usage, &ctx->usageRecord);
  EXPECT_EQ(ovrCreateIoContext(0, nullptr), OVR_ERR_PARAM);
}

TEST(OvrContext, AllocatorBooksRoundedSizesAndKeepsPeak) {
  ContextPtr ctx = makeContext();
  void *one = ctx->alloc(1, 0, ctx->user);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(ctx->usage->inUse, 4u);
  void *nine = ctx->alloc(9, 0, ctx->user);
  EXPECT_EQ(ctx->usage->inUse, 16u);
  EXPECT_EQ(ovrFreeData(ctx.get(), &one), OVR_OK);
  EXPECT_EQ(one, nullptr);
  EXPECT_EQ(ctx->usage->inUse, 12u);
  EXPECT_EQ(ovrFreeData(ctx.get(), &nine), OVR_OK);
  EXPECT_EQ(ctx->usage->inUse, 0u);
  EXPECT_EQ(ctx->usage->peak, 16u);
  EXPECT_EQ(ctx->alloc(0, 0, ctx->user), nullptr);
  EXPECT_EQ(ovr::defaultAlloc(8, 0, nullptr), nullptr);
  EXPECT_EQ(ctx->alloc(SIZE_MAX, 0, ctx->user), nullptr);
  EXPECT_EQ(ctx->usage->inUse, 0u);
}

// Each damage is detected, reported on stderr, and leaves the block booked; the block is then
// mended and freed.
TEST(OvrContext, FreeReportsDamagedBlocks) {
  struct Case {
    const char *name;
    std::ptrdiff_t at;  // byte offset from the data start; 64 means the word after the data
    uint32_t value;
    const char *message;
  } cases[] = {
      {"size word below 4", -8, 2, "Memory corruption, memory before buffer invalid\n"},
      {"size word above bytes in use", -8, 4096,
       "Memory corruption, memory before buffer invalid\n"},
      {"guard before", -4, 0, "Memory key corrupted, memory before buffer invalid\n"},
      {"guard after", 8, 0, "Memory key corrupted, memory after buffer invalid\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ContextPtr ctx = makeContext();
    auto *data = static_cast<unsigned char *>(ctx->alloc(6, 0, ctx->user));
    uint32_t saved;
    std::memcpy(&saved, data + c.at, 4);
    std::memcpy(data + c.at, &c.value, 4);
    testing::internal::CaptureStderr();
    ctx->free(data, 0, ctx->user);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    EXPECT_EQ(ctx->usage->inUse, 8u);
    std::memcpy(data + c.at, &saved, 4);
    ctx->free(data, 0, ctx->user);
    EXPECT_EQ(ctx->usage->inUse, 0u);
  }
  ContextPtr ctx = makeContext();
  auto *data = static_cast<unsigned char *>(ctx->alloc(8, 0, ctx->user));
  testing::internal::CaptureStderr();
  ctx->free(data + 1, 0, ctx->user);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Invalid memory free, buffer is not long aligned\n");
  ctx->free(data, 0, ctx->user);
  EXPECT_EQ(ctx->usage->inUse, 0u);
}

TEST(OvrContext, DestroyReportsBlocksStillInUse) {
  OvrIoContext *ctx = nullptr;
  ASSERT_EQ(ovrCreateIoContext(0, &ctx), OVR_OK);
  ovr::Allocator alloc = ovr::contextAllocator(ctx);
  void *block = alloc.allocate(40);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(ovrDestroyIoContext(ctx), OVR_ERR_SEQUENCE);
  // The context is gone; the block is released through a usage record of the test's own.
  ovr::Usage usage{40, 40};
  ovr::defaultFree(block, 0, &usage);
  EXPECT_EQ(usage.inUse, 0u);
}

TEST(OvrContext, FreeDataAndSetAllocatorValidateArguments) {
  ContextPtr ctx = makeContext();
  void *none = nullptr;
  EXPECT_EQ(ovrFreeData(ctx.get(), nullptr), OVR_ERR_PARAM);
  EXPECT_EQ(ovrFreeData(ctx.get(), &none), OVR_ERR_PARAM);
  EXPECT_EQ(ovrFreeData(nullptr, &none), OVR_ERR_PARAM);
  EXPECT_EQ(ovrSetAllocator(ctx.get(), nullptr, nullptr, ovr::defaultFree), OVR_ERR_PARAM);
  EXPECT_EQ(ovrSetAllocator(ctx.get(), nullptr, ovr::defaultAlloc, nullptr), OVR_ERR_PARAM);

  // A context with no free callback cannot free data: 21.
  OvrIoContext copy = *ctx;
  copy.self = &copy;
  copy.free = nullptr;
  void *block = ctx->alloc(4, 0, ctx->user);
  EXPECT_EQ(ovrFreeData(&copy, &block), OVR_ERR_SEQUENCE);
  EXPECT_EQ(ovrFreeData(ctx.get(), &block), OVR_OK);
}

struct Counting {
  int allocs = 0;
  int frees = 0;
};
void *countingAlloc(size_t n, int32_t, void *user) {
  ++static_cast<Counting *>(user)->allocs;
  return std::malloc(n);
}
void countingFree(void *p, int32_t, void *user) {
  ++static_cast<Counting *>(user)->frees;
  std::free(p);
}

TEST(OvrContext, ClientAllocatorServesEngineAndHandles) {
  ContextPtr ctx = makeContext();
  Counting counting;
  ASSERT_EQ(ovrSetAllocator(ctx.get(), &counting, countingAlloc, countingFree), OVR_OK);
  OvrTiffObject *engine = nullptr;
  ASSERT_EQ(ovr::contextEngine(ctx.get(), &engine), OVR_OK);
  OvrTiffObject *again = nullptr;
  ASSERT_EQ(ovr::contextEngine(ctx.get(), &again), OVR_OK);
  EXPECT_EQ(engine, again);
  EXPECT_EQ(engine->magic, 0x54465800u);
  EXPECT_EQ(engine->version, 0x123abc02u);
  EXPECT_EQ(engine->user, &counting);
  EXPECT_EQ(ovr::nextDocumentSerial(engine), 1u);
  EXPECT_EQ(ovr::nextDocumentSerial(engine), 2u);

  OvrDocHandle *doc = nullptr;
  ASSERT_EQ(ovr::createDocHandle(ctx.get(), 11, ovr::StreamHooks{}, &doc), OVR_OK);
  EXPECT_EQ(counting.allocs, 2);  // document handle and stream record
  ovr::freeDocHandle(doc);
  EXPECT_EQ(counting.frees, 2);
}

// Every record opens with self and magic; handles of all levels share one magic.
TEST(OvrHandles, ValidationTellsForeignAndDamagedRecords) {
  ContextPtr ctx = makeContext();
  OvrTiffObject *engine = nullptr;
  ASSERT_EQ(ovr::contextEngine(ctx.get(), &engine), OVR_OK);

  OvrDocHandle *doc = nullptr;
  ASSERT_EQ(ovr::createDocHandle(ctx.get(), 11, ovr::StreamHooks{}, &doc), OVR_OK);
  EXPECT_EQ(ovr::checkDocHandle(doc), OVR_OK);
  // An engine record where a handle is expected.
  EXPECT_EQ(ovr::checkDocHandle(reinterpret_cast<OvrDocHandle *>(engine)), OVR_ERR_MAGIC);
  EXPECT_EQ(ovrFreeData(reinterpret_cast<OvrIoContext *>(engine), nullptr), OVR_ERR_MAGIC);
  // A zeroed record and a null pointer.
  OvrDocHandle zero{};
  EXPECT_EQ(ovr::checkDocHandle(&zero), OVR_ERR_PARAM);
  EXPECT_EQ(ovr::checkDocHandle(nullptr), OVR_ERR_PARAM);
  // A copy whose self pointer is the original's.
  OvrDocHandle copy = *doc;
  EXPECT_EQ(ovr::checkDocHandle(&copy), OVR_ERR_PARAM);
  // The magic does not tell the levels apart: a document handle passes as a context's magic.
  EXPECT_EQ(ovr::checkContext(reinterpret_cast<OvrIoContext *>(doc)), OVR_OK);

  // A page handle is checked through its owner.
  OvrPageHandle *page = nullptr;
  OvrPageRecord record(ovr::contextAllocator(ctx.get()));
  ASSERT_EQ(ovr::pageHandleFor(doc, &record, &page), OVR_OK);
  OvrPageHandle *again = nullptr;
  ASSERT_EQ(ovr::pageHandleFor(doc, &record, &again), OVR_OK);
  EXPECT_EQ(again, page) << "one handle per page record";
  EXPECT_EQ(ovr::checkPageHandle(page), OVR_OK);
  doc->kind = 3;
  EXPECT_EQ(ovr::checkPageHandle(page), OVR_ERR_UNSUPPORTED);
  EXPECT_EQ(ovr::checkPageHandle(page, OVR_ERR_MAGIC), OVR_ERR_MAGIC);
  doc->kind = 11;
  page->owner = &zero;
  EXPECT_EQ(ovr::checkPageHandle(page), OVR_ERR_PARAM);
  page->owner = doc;
  ovr::freeDocHandle(doc);
  EXPECT_EQ(ctx->usage->inUse, 0u);
}

TEST(OvrHandles, KindDispatch) {
  struct Case {
    uint32_t kind;
    int32_t status;
  } cases[] = {{0, 2},  {1, 6},  {2, 6},  {3, 6},  {5, 6},  {6, 0},
               {7, 0},  {8, 2},  {9, 0},  {10, 2}, {11, 0}, {12, 0},
               {13, 0}, {14, 2}, {15, 0}, {18, 0}, {19, 2}, {0xFFFFFFFF, 2}};
  for (const Case &c : cases) EXPECT_EQ(ovr::kindStatus(c.kind), c.status) << c.kind;
  EXPECT_EQ(ovr::kindStatus(4, OVR_ERR_MAGIC), OVR_ERR_MAGIC);
  EXPECT_EQ(ovr::profileCodeOfKind(13), 8u);
  for (uint32_t code = 0; code <= 13; ++code) {
    const bool mrc = code == 6 || code == 8 || code == 12 || code == 13;
    EXPECT_EQ(ovr::isMrcProfile(code), mrc) << code;
  }
}

TEST(OvrHandles, OneHandlePerEngineRecordAndAllFreedOnClose) {
  ContextPtr ctx = makeContext();
  OvrDocHandle *doc = nullptr;
  ASSERT_EQ(ovr::createDocHandle(ctx.get(), 13, ovr::StreamHooks{}, &doc), OVR_OK);
  EXPECT_EQ(doc->stream->ctx, ctx.get());
  EXPECT_EQ(doc->stream->self, doc->stream);

  const ovr::Allocator alloc = ovr::contextAllocator(ctx.get());
  OvrPageRecord p0(alloc), p1(alloc);
  OvrPageHandle *a = nullptr, *b = nullptr, *c = nullptr;
  ASSERT_EQ(ovr::pageHandleFor(doc, &p0, &a), OVR_OK);
  ASSERT_EQ(ovr::pageHandleFor(doc, &p1, &b), OVR_OK);
  ASSERT_EQ(ovr::pageHandleFor(doc, &p0, &c), OVR_OK);
  EXPECT_EQ(a, c);
  EXPECT_NE(a, b);
  EXPECT_EQ(doc->pages, a);  // in order of creation
  EXPECT_EQ(a->next, b);

  OvrIfdRecord i0(alloc), i1(alloc);
  OvrIfdHandle *x = nullptr, *y = nullptr, *z = nullptr;
  ASSERT_EQ(ovr::ifdHandleFor(a, &i0, &x), OVR_OK);
  ASSERT_EQ(ovr::ifdHandleFor(a, &i1, &y), OVR_OK);
  ASSERT_EQ(ovr::ifdHandleFor(a, &i0, &z), OVR_OK);
  EXPECT_EQ(x, z);
  EXPECT_EQ(x->owner, a);
  EXPECT_EQ(ovr::checkIfdHandle(y), OVR_OK);
  EXPECT_GT(ctx->usage->inUse, 0u);
  ovr::freeDocHandle(doc);
  EXPECT_EQ(ctx->usage->inUse, 0u);
}

}  // namespace
