// Jbig2GlobalStore: the JBIG2 global data of one TIFF-FX document, read once and decoded
// once.
//
// The store keeps every global data block that a band of the document refers to, by its index
// in the document's global data table, and one shared decoder (keep-all, no page) into which
// the bands' renders feed the blocks they name; the decoder skips segments it has seen, so a
// block fed again adds nothing. It runs in a quiet library state of its own: a decoding
// failure reaches the render as a failed band and is never printed. A store whose state or decoder
// cannot be made keeps no decoder, and the JBIG2 bands of its document then fail to render.
#ifndef CTL_JBIG2_STORE_H
#define CTL_JBIG2_STORE_H

#include <cstdint>
#include <map>

#include "tfx_io.h"

struct Jbig2Decoder;
struct QtzState;

namespace ctl {

class Jbig2GlobalStore {
 public:
  // Pixels one decode call may produce in the shared decoder (symbols), and the most a band's
  // page decoder may produce over and above four times its own area (a band smaller than
  // this gets an allowance of its own size and a little more).
  static constexpr int64_t kPixelAllowance = int64_t{1} << 26;

  explicit Jbig2GlobalStore(int32_t highestPage);
  ~Jbig2GlobalStore();
  Jbig2GlobalStore(const Jbig2GlobalStore &) = delete;
  Jbig2GlobalStore &operator=(const Jbig2GlobalStore &) = delete;

  bool Has(uint32_t index) const { return blocks_.count(index) != 0; }
  // Keeps block under index; a block already held stays.
  void Put(uint32_t index, Block block) {
    bytes_ += block.size();
    blocks_.emplace(index, std::move(block));
  }
  // The bytes of every block put so far (the document's bound on its global data).
  uint64_t bytes() const { return bytes_; }
  // The block of index, or null.
  const Block *Get(uint32_t index) const;

  // Replaces the shared decoder by a fresh one (after a failure left it unusable); the blocks
  // stay and are decoded again when bands name them.
  void Reset();

  Jbig2Decoder *decoder() const { return decoder_; }
  QtzState *state() const { return state_; }

 private:
  void makeDecoder();

  int32_t highestPage_;
  std::map<uint32_t, Block> blocks_;
  uint64_t bytes_ = 0;
  QtzState *state_ = nullptr;
  Jbig2Decoder *decoder_ = nullptr;
};

}  // namespace ctl

#endif
