// MrcIo: the TfxIo of a TIFF-FX file read through the container library, the only road from
// the document model to that library.
//
// It owns the library's I/O context and the open document over one stdio stream (the stream
// stays the caller's) and answers with copies: every block it hands out is a fresh Block, and
// every library block is given back at once. A layer stored as one IFD cut into strips has one
// band per strip; a layer stored as several IFDs (stripes) has one band per IFD. Strip rows are
// counted from the IFD's first row; band positions are pixels of the page's primary grid.
// Sizes read from the file are held in 64 bits, and no strip is read that claims more bytes
// than the file holds.
#ifndef CTL_MRC_IO_H
#define CTL_MRC_IO_H

#include <cstdint>
#include <cstdio>

#include "ovr_document.h"
#include "ovr_file_hooks.h"
#include "tfx_io.h"

namespace ctl {

class MrcIo final : public TfxIo {
 public:
  // Opens the TIFF-FX document at the stream's current position; a stream that holds none
  // gives a document of 0 pages.
  explicit MrcIo(FILE *stream);
  ~MrcIo() override;
  MrcIo(const MrcIo &) = delete;
  MrcIo &operator=(const MrcIo &) = delete;

  // True when the stream holds a document the container library reads.
  bool HasDocument() const { return document_ != nullptr; }

  uint32_t GetPageCount() override { return pageCount_; }
  std::optional<Block> ReadGlobalData(uint32_t index) override;
  // The file's size in bytes; 0 when unknown.
  uint64_t FileSize() const { return fileSize_; }
  uint32_t GetLayerCount(uint32_t page) override;
  uint32_t GetBandCount(uint32_t page, uint32_t layer) override;
  BandKind GetBandKind(uint32_t page, uint32_t layer) override;
  ColourKind GetColourKind(uint32_t page, uint32_t layer) override;
  LongPair GetLayerPosition(uint32_t page, uint32_t layer) override;
  LongPair GetLayerSize(uint32_t page, uint32_t layer) override;
  LongPair GetLayerResolution(uint32_t page, uint32_t layer) override;
  std::optional<Block> ReadBandData(uint32_t page, uint32_t layer, uint32_t band) override;
  uint64_t GetBandDataSize(uint32_t page, uint32_t layer, uint32_t band) override;
  LongPair GetBandPosition(uint32_t page, uint32_t layer, uint32_t band) override;
  LongPair GetBandSize(uint32_t page, uint32_t layer, uint32_t band) override;
  bool GetBandGlobalRefs(uint32_t page, uint32_t layer, uint32_t band, GlobalRefs *refs) override;

  // True when the layer is one IFD cut into several strips (band positions then step through
  // the IFD's rows in the layer's own pixels).
  bool LayerHasStrips(uint32_t page, uint32_t layer);
  // The layer's Decode values as numerator / denominator, in file order; empty when absent or
  // when a denominator is 0.
  std::vector<float> GetDecodeValues(uint32_t page, uint32_t layer);
  // The band's JBIG2 data without the global data indices its strip starts with.
  std::optional<Block> ReadJbig2BandData(uint32_t page, uint32_t layer, uint32_t band);
  // The colour payload of a band that shares its strip with the band of the mask before it:
  // the bytes of its strip past the mask strip's byte count; nothing when there are none or
  // the layer has no coding options word.
  std::optional<Block> ReadColorTokenBandData(uint32_t page, uint32_t layer, uint32_t band);

 private:
  // A layer merged over its stripes.
  struct LayerInfo {
    uint32_t x = 0, y = 0, xRes = 0, yRes = 0, width = 0, height = 0;
    uint32_t compressionBits = 0;
    OvrIfdHandle *ifd = nullptr;  // the first stripe's IFD
  };
  // One stripe IFD of a layer with its geometry.
  struct Stripe {
    OvrIfdHandle *ifd = nullptr;
    uint32_t x = 0, y = 0, width = 0, height = 0;
    uint32_t rowsPerStrip = 0;  // 0: strips of varying height
  };
  // Where a band's bytes and pixels are: its IFD, the strip's first row inside the IFD and its
  // rows, and the band's place on the page.
  struct BandRef {
    OvrIfdHandle *ifd = nullptr;
    uint32_t row = 0;
    uint32_t rows = 0;
    LongPair position;
    LongPair size;
  };

  OvrPageHandle *pageHandle(uint32_t page, const uint32_t **ifdCounts, uint32_t *layerCount);
  uint32_t ifdCount(uint32_t page, uint32_t layer);
  bool layerInfo(uint32_t page, uint32_t layer, LayerInfo *info);
  bool stripe(uint32_t page, uint32_t layer, uint32_t index, Stripe *out);
  bool locateBand(uint32_t page, uint32_t layer, uint32_t band, BandRef *ref);
  std::optional<Block> readStrip(const BandRef &ref);
  void giveBack(void *block);

  OvrIoContext *context_ = nullptr;
  OvrDocHandle *document_ = nullptr;
  uint32_t pageCount_ = 0;
  FILE *stream_ = nullptr;
  int64_t startPosition_ = 0;
  uint64_t fileSize_ = 0;  // 0 when unknown
  OvrFileHooks hooks_{};
  OvrHookedFile file_{};
};

}  // namespace ctl

#endif
