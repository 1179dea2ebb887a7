// Jbig2GlobalStore: the document's global data blocks, the shared decoder and its state.
#include "jbig2_store.h"

#include <cstdio>

#include "jbig2_decoder.h"
#include "qtz_err.h"
#include "qtz_state.h"

namespace ctl {

Jbig2GlobalStore::Jbig2GlobalStore(int32_t highestPage) : highestPage_(highestPage) {
  // A quiet state: the decoder's failures reach the render as a failed band, never the
  // host's error stream.
  if (Qtz_initQtzState(&state_, nullptr, nullptr, nullptr, nullptr, 1, 1) != 0) {
    state_ = nullptr;
    return;
  }
  makeDecoder();
}

void Jbig2GlobalStore::makeDecoder() {
  if (QtzJbig2_newDecoder(&decoder_, 0, nullptr, nullptr, 1, highestPage_, 1, 0, nullptr, nullptr,
                          state_) != 0) {
    decoder_ = nullptr;
    return;
  }
  decoder_->pixelLimit = kPixelAllowance;
}

void Jbig2GlobalStore::Reset() {
  if (decoder_ != nullptr) QtzJbig2_freeDecoder(&decoder_);
  if (state_ != nullptr) makeDecoder();
}

Jbig2GlobalStore::~Jbig2GlobalStore() {
  blocks_.clear();
  if (decoder_ != nullptr) QtzJbig2_freeDecoder(&decoder_);
  if (state_ != nullptr) Qtz_cleanupQtzState(&state_);
}

const Block *Jbig2GlobalStore::Get(uint32_t index) const {
  const auto found = blocks_.find(index);
  return found != blocks_.end() ? &found->second : nullptr;
}

}  // namespace ctl
