// The default allocator of the container library.
//
// A request of n bytes is rounded up to r, the next multiple of 4, and takes r + 12 bytes from
// the C runtime: a 32-bit word holding r, the guard word, the r data bytes and the guard word
// again. r is booked in the usage record (bytes in use and peak). Freeing checks, in order, the
// block's alignment, its size word (at least 4 and not more than the bytes in use, so that a
// damaged word never sends the check outside the block) and both guards; a failed check prints
// its message on the standard error stream and leaves the block allocated.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ovr_alloc_internal.h"

namespace ovr {
namespace {

constexpr uint32_t kGuard = 0x75c38a19;
constexpr size_t kHead = 8;  // size word and guard before the data
constexpr size_t kTail = 4;  // guard after the data

uint32_t loadWord(const unsigned char *p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void storeWord(unsigned char *p, uint32_t v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace

void *defaultAlloc(size_t size, int32_t, void *user) {
  auto *usage = static_cast<Usage *>(user);
  if (usage == nullptr || size == 0) return nullptr;
  if (size > UINT32_MAX - kHead - kTail - 3) return nullptr;
  const uint32_t rounded = static_cast<uint32_t>((size + 3) & ~size_t{3});
  auto *raw = static_cast<unsigned char *>(std::malloc(rounded + kHead + kTail));
  if (raw == nullptr) return nullptr;
  storeWord(raw, rounded);
  storeWord(raw + 4, kGuard);
  storeWord(raw + kHead + rounded, kGuard);
  usage->inUse += rounded;
  if (usage->inUse > usage->peak) usage->peak = usage->inUse;
  return raw + kHead;
}

void defaultFree(void *block, int32_t, void *user) {
  auto *usage = static_cast<Usage *>(user);
  if (usage == nullptr || block == nullptr) return;
  if (reinterpret_cast<uintptr_t>(block) % 4 != 0) {
    std::fputs("Invalid memory free, buffer is not long aligned\n", stderr);
    return;
  }
  auto *data = static_cast<unsigned char *>(block);
  unsigned char *raw = data - kHead;
  const uint32_t rounded = loadWord(raw);
  if (rounded < 4 || rounded > usage->inUse) {
    std::fputs("Memory corruption, memory before buffer invalid\n", stderr);
    return;
  }
  if (loadWord(raw + 4) != kGuard) {
    std::fputs("Memory key corrupted, memory before buffer invalid\n", stderr);
    return;
  }
  if (loadWord(data + rounded) != kGuard) {
    std::fputs("Memory key corrupted, memory after buffer invalid\n", stderr);
    return;
  }
  usage->inUse -= rounded;
  std::free(raw);
}

}  // namespace ovr
