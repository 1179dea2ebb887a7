// Jbig2GlobalStore: the JBIG2 global data of one TIFF-FX document, read once and decoded
// once.
//
// The store keeps every global data block that a band of the document refers to, by its index
// in the document's global data table, and one shared decoder (keep-all, no page) into which
// the bands' renders feed the blocks they name; the decoder skips segments it has seen, so a
// block fed again adds nothing. It runs in a library state of its own whose errors go to the
// standard error stream. A store whose state or decoder cannot be made keeps no decoder, and
// the JBIG2 bands of its document then fail to render.
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
  // Pixels one decode call may produce in the shared decoder and in a band's page decoder
  // (regions, symbols and drawn instances together, over and above the band's own area).
  static constexpr int64_t kPixelAllowance = int64_t{1} << 26;

  explicit Jbig2GlobalStore(int32_t highestPage);
  ~Jbig2GlobalStore();
  Jbig2GlobalStore(const Jbig2GlobalStore &) = delete;
  Jbig2GlobalStore &operator=(const Jbig2GlobalStore &) = delete;

  bool Has(uint32_t index) const { return blocks_.count(index) != 0; }
  // Keeps block under index; a block already held stays.
  void Put(uint32_t index, Block block) { blocks_.emplace(index, std::move(block)); }
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
  QtzState *state_ = nullptr;
  Jbig2Decoder *decoder_ = nullptr;
};

}  // namespace ctl

#endif
