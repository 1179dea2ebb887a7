// Tracking hooks, captured and in-memory streams and the tracked-state fixture.
#include "testkit_state.h"

#include <cstdlib>

namespace norvtest {
namespace {

bool failNow() {
  return ++heap.requests == heap.failAt;
}

void *track(void *block, size_t size) {
  if (block != nullptr) {
    heap.live[block] = size;
    heap.sizes.push_back(size);
  }
  return block;
}

void *hookAllocate(size_t size) {
  return failNow() ? nullptr : track(std::malloc(size == 0 ? 1 : size), size);
}

void *hookAllocateZeroed(size_t count, size_t size) {
  if (failNow()) return nullptr;
  return track(std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size), count * size);
}

void *hookResize(void *block, size_t size) {
  auto known = heap.live.find(block);
  if (block != nullptr && known == heap.live.end()) ++heap.foreign;
  if (failNow()) return nullptr;
  // The old block leaves the books before realloc may free it; a failed realloc keeps it.
  const bool wasKnown = known != heap.live.end();
  const size_t oldSize = wasKnown ? known->second : 0;
  if (wasKnown) heap.live.erase(known);
  void *moved = std::realloc(block, size == 0 ? 1 : size);
  if (moved == nullptr && wasKnown) heap.live[block] = oldSize;
  return track(moved, size);
}

void hookRelease(void *block) {
  if (block == nullptr) return;
  auto it = heap.live.find(block);
  if (it == heap.live.end()) {
    ++heap.foreign;
    return;
  }
  heap.live.erase(it);
  std::free(block);
}

int32_t poolTake(void *, int32_t classIndex, void **block) {
  *block = hookAllocate(static_cast<size_t>(Qtz_getPoolSize(classIndex)));
  return *block != nullptr ? QTZ_OK : QTZ_ERR_NO_MEMORY;
}

void poolGive(void *, int32_t, void *block) {
  hookRelease(block);
}

const QtzPoolCallbacks kTrackedPools = {nullptr, poolTake, poolGive};

}  // namespace

const QtzAllocTable kTrackingHooks = {hookAllocate, hookRelease, hookAllocateZeroed, hookResize};

CapturedStream::CapturedStream() : file_(open_memstream(&buffer_, &length_)) {}

CapturedStream::~CapturedStream() {
  std::fclose(file_);
  std::free(buffer_);
}

std::string CapturedStream::text() {
  std::fflush(file_);
  return std::string(buffer_, length_);
}

InputStream::InputStream(const std::string &bytes) : bytes_(bytes) {
  file_ =
      bytes_.empty() ? std::fopen("/dev/null", "rb") : fmemopen(bytes_.data(), bytes_.size(), "rb");
}

InputStream::~InputStream() {
  if (file_ != nullptr) std::fclose(file_);
}

QtzState *trackedState(CapturedStream &errors, bool wantContexts, bool trackPools) {
  QtzState *state = nullptr;
  const int32_t status =
      Qtz_initQtzState(&state, &kTrackingHooks, trackPools ? &kTrackedPools : nullptr,
                       errors.file(), Qtz_fileErrPrinter, wantContexts, wantContexts);
  return status == QTZ_OK ? state : nullptr;
}

void TrackedStateTest::SetUp() {
  resetHeap();
  state_ = trackedState(errors_, wantContexts_, trackPools_);
  ASSERT_NE(state_, nullptr);
}

void TrackedStateTest::TearDown() {
  Qtz_cleanupQtzState(&state_);
  EXPECT_TRUE(heap.live.empty()) << heap.live.size() << " blocks leaked";
  EXPECT_EQ(heap.foreign, 0);
}

}  // namespace norvtest
