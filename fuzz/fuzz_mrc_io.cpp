// Runs the view control's TIFF-FX reading adapter over arbitrary bytes with the whole question
// sequence of the page builder: page and layer counts, each layer's kinds, geometry and Decode
// values, each band's place, size, byte count, global references (and the blocks they name),
// strip bytes, JBIG2 payload and colour payload. Pages, bands and global blocks are bounded so
// that each input finishes quickly; no answer may claim more bytes than the input holds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "mrc_io.h"

namespace {

constexpr uint32_t kMaxPages = 4;
constexpr uint32_t kMaxBands = 8;
constexpr uint32_t kMaxGlobals = 8;

void check(bool condition) {
  if (!condition) abort();
}

void askBand(ctl::MrcIo &io, uint32_t p, uint32_t l, uint32_t b, size_t size) {
  io.GetBandPosition(p, l, b);
  io.GetBandSize(p, l, b);
  check(io.GetBandDataSize(p, l, b) <= size);
  ctl::GlobalRefs refs;
  if (io.GetBandGlobalRefs(p, l, b, &refs)) {
    check(refs.indices.size() == refs.sizes.size());
    for (size_t i = 0; i < refs.indices.size() && i < kMaxGlobals; ++i) {
      const std::optional<ctl::Block> block = io.ReadGlobalData(refs.indices[i]);
      check(!block || block->size() <= size);
    }
  }
  const std::optional<ctl::Block> data = io.ReadBandData(p, l, b);
  const std::optional<ctl::Block> payload = io.ReadJbig2BandData(p, l, b);
  check(!payload || (data && payload->size() <= data->size()));
  const std::optional<ctl::Block> colours = io.ReadColorTokenBandData(p, l, b);
  check(!colours || (data && colours->size() < data->size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "rb");
  if (stream == nullptr) return 0;
  {
    ctl::MrcIo io(stream);
    io.ReadGlobalData(0);
    const uint32_t pages = std::min(io.GetPageCount(), kMaxPages);
    for (uint32_t p = 0; p <= pages; ++p) {
      const uint32_t layers = io.GetLayerCount(p);
      for (uint32_t l = 1; l <= layers + 1; ++l) {
        io.GetBandKind(p, l);
        io.GetColourKind(p, l);
        io.GetLayerPosition(p, l);
        io.GetLayerSize(p, l);
        io.GetLayerResolution(p, l);
        io.GetDecodeValues(p, l);
        const uint32_t bands = std::min(io.GetBandCount(p, l), kMaxBands);
        for (uint32_t b = 0; b <= bands; ++b) askBand(io, p, l, b, size);
      }
    }
  }
  fclose(stream);
  return 0;
}
