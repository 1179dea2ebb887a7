// Fuzz entry of the JBIG2 decoder: each input is an embedded JBIG2 stream. It is decoded three
// ways: as one page (compose on), with keep-all and no composition (the colour-token road),
// and split at its first byte's share of the length into global data for a globals decoder
// and page data for a page decoder attached to it. The library state's allocation hooks refuse
// any request that would take the live total beyond a hard cap, so hostile sizes must give a
// status, never an oversized allocation, a crash, a leak or undefined behaviour. Each decoder's
// pixel limit is lowered so that one input stays within the fuzzer's time limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "jbig2_decoder.h"

namespace {

constexpr size_t kCap = size_t{48} << 20;
constexpr int64_t kPixelLimit = int64_t{1} << 20;
size_t live = 0;

// Each block carries its size in front so that the hooks can keep the live total.
void *capAllocate(size_t size) {
  if (size > kCap - live) return nullptr;
  auto *block = static_cast<size_t *>(std::malloc(size + 16));
  if (block == nullptr) return nullptr;
  block[0] = size;
  live += size;
  return reinterpret_cast<uint8_t *>(block) + 16;
}
void capRelease(void *p) {
  if (p == nullptr) return;
  auto *block = reinterpret_cast<size_t *>(static_cast<uint8_t *>(p) - 16);
  live -= block[0];
  std::free(block);
}
void *capZeroed(size_t count, size_t size) {
  if (size != 0 && count > kCap / size) return nullptr;
  void *p = capAllocate(count * size);
  if (p != nullptr) std::memset(p, 0, count * size);
  return p;
}
void *capResize(void *p, size_t size) {
  if (p == nullptr) return capAllocate(size);
  const size_t old = reinterpret_cast<size_t *>(static_cast<uint8_t *>(p) - 16)[0];
  void *fresh = capAllocate(size);
  if (fresh == nullptr) return nullptr;
  std::memcpy(fresh, p, old < size ? old : size);
  capRelease(p);
  return fresh;
}

const QtzAllocTable kHooks = {capAllocate, capRelease, capZeroed, capResize};

Jbig2Decoder *newDecoder(QtzState *state, uint8_t keepAll, uint8_t compose) {
  Jbig2Decoder *d = nullptr;
  if (QtzJbig2_newDecoder(&d, 0, nullptr, nullptr, 1, 6500, keepAll, compose, nullptr, nullptr,
                          state) != 0)
    return nullptr;
  d->pixelLimit = kPixelLimit;
  return d;
}

void decodeOnce(QtzState *state, const uint8_t *data, size_t size, uint8_t keepAll,
                uint8_t compose) {
  Jbig2Decoder *d = newDecoder(state, keepAll, compose);
  if (d == nullptr) return;
  QtzJbig2_decodePage(d, data, size, nullptr);
  QtzJbig2_freeDecoder(&d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, &kHooks, nullptr, nullptr, nullptr, 0, 0) != 0) return 0;
  decodeOnce(state, data, size, 0, 1);
  decodeOnce(state, data, size, 1, 0);
  if (size > 1) {
    const size_t split = 1 + (size - 1) * data[0] / 256;
    Jbig2Decoder *globals = newDecoder(state, 1, 0), *page = nullptr;
    if (globals != nullptr) {
      QtzJbig2_decodeGlobals(globals, data + 1, split - 1);
      QtzJbig2_decodeGlobals(globals, data + 1, split - 1);
      if ((page = newDecoder(state, 0, 1)) != nullptr) {
        if (QtzJbig2_attachGlobals(page, globals) == 0)
          QtzJbig2_decodePage(page, data + split, size - split, nullptr);
        QtzJbig2_freeDecoder(&page);
      }
      QtzJbig2_freeDecoder(&globals);
    }
  }
  Qtz_cleanupQtzState(&state);
  if (live != 0) std::abort();  // every block given back
  return 0;
}
