// The questions the page builder asks of a TIFF-FX document, answered with plain integers,
// pairs and freshly allocated byte blocks (TfxIo), and the value types of those answers.
//
// Pages are numbered from 0; layers from 1 (1 the background, 2, 4, ... masks, 3, 5, ... the
// foreground of the mask before it); bands of a layer (its strips, or its stripe IFDs) from 0.
// Every query turns a failure into a neutral answer (0, an empty block, (-1, -1), false) and
// reports nothing. Pairs hold 64-bit values so that every 32-bit field of a file and the -1
// of "unknown" fit without wrapping.
#ifndef CTL_TFX_IO_H
#define CTL_TFX_IO_H

#include <cstdint>
#include <optional>
#include <vector>

namespace ctl {

// (x, y), (width, height) or (x resolution, y resolution).
struct LongPair {
  int64_t x = -1;
  int64_t y = -1;
  bool operator==(const LongPair &) const = default;
};

inline constexpr LongPair kUnknownPair{-1, -1};

using Block = std::vector<uint8_t>;

// How the bytes of a layer's bands are coded.
enum class BandKind : int32_t {
  None = 0,
  Jpeg = 1,
  Jbig2 = 2,
  G4 = 3,
  Coding4 = 4,  // compression bits 4: no band is built for it
  Coding2 = 5   // compression bits 2: no band is built for it
};

// The colour kind of a layer, from its PhotometricInterpretation.
enum class ColourKind : int32_t {
  None = 0,
  WhiteIsZero = 1,
  BlackIsZero = 2,
  Rgb = 3,
  Separated = 4,
  YCbCr = 5,
  CieLab = 6,
  IccLab = 7,
  ItuLab = 8
};

// The global data blocks a band's strip refers to: the block indices and each block's length.
struct GlobalRefs {
  std::vector<uint32_t> indices;
  std::vector<uint32_t> sizes;
};

class TfxIo {
 public:
  virtual ~TfxIo() = default;

  virtual uint32_t GetPageCount() = 0;
  // A copy of global data block index (its data length), or nothing.
  virtual std::optional<Block> ReadGlobalData(uint32_t index) = 0;
  virtual uint32_t GetLayerCount(uint32_t page) = 0;
  virtual uint32_t GetBandCount(uint32_t page, uint32_t layer) = 0;
  virtual BandKind GetBandKind(uint32_t page, uint32_t layer) = 0;
  virtual ColourKind GetColourKind(uint32_t page, uint32_t layer) = 0;
  virtual LongPair GetLayerPosition(uint32_t page, uint32_t layer) = 0;
  virtual LongPair GetLayerSize(uint32_t page, uint32_t layer) = 0;
  virtual LongPair GetLayerResolution(uint32_t page, uint32_t layer) = 0;
  // The band's raw strip bytes as read (a JPEG strip with its tables merged in), or nothing.
  virtual std::optional<Block> ReadBandData(uint32_t page, uint32_t layer, uint32_t band) = 0;
  // The stored byte count of the band's strip; 0 when unknown.
  virtual uint64_t GetBandDataSize(uint32_t page, uint32_t layer, uint32_t band) = 0;
  virtual LongPair GetBandPosition(uint32_t page, uint32_t layer, uint32_t band) = 0;
  virtual LongPair GetBandSize(uint32_t page, uint32_t layer, uint32_t band) = 0;
  virtual bool GetBandGlobalRefs(uint32_t page, uint32_t layer, uint32_t band,
                                 GlobalRefs *refs) = 0;
};

}  // namespace ctl

#endif
