// MrcFile: a TIFF-FX (mixed raster content) document read through MrcIo, whose page objects
// are built on first use and kept until released.
//
// The file is opened "rb" at construction; a file that cannot be opened, or that the
// container library does not take as a TIFF-FX document, has no adapter and 0 pages. A page
// released is built again on its next GetPage.
//
// BuildPage turns the adapter's answers into an MrcPage: for each mask layer i (2, 4, ...) its
// bands (JBIG2 or Group 4; other codings give empty entries) and the bands of the foreground
// layer i + 1 (JPEG or colour tokens) in a TfxSelLayer whose foreground scale is the mask's
// resolution over the foreground's; then the bands of layer 1 (JPEG) in a TfxBgLayer, scaled by
// the mask's resolution over its own (layerScaleOf): a
// foreground or background whose resolution gives another ratio is left out (its mask stays),
// and a foreground without a resolution has scale (1, 1). Band positions of a layer cut into
// strips step through its rows in its own pixels and are converted to reference pixels. The
// first JBIG2 mask band of the document makes the JBIG2 global-segment store; every global
// block a band names is read into it once. Group 4 bands decode in a library state the file
// makes with its first such band. At most kMaxBandsPerLayer bands of a layer are built.
//
// Bounds, checked before anything is decoded or allocated for a page: a declared page size
// outside pageSizeOk is unknown; a JPEG band claiming more pixels than its bytes can code
// (kJpegPixelsPerByte) is left out; a page whose bands together exceed kMaxPageBandPixels, or
// whose bands' extent exceeds kMaxPagePixels, is refused (GetPage answers null, which the
// control draws as a failed page).
#ifndef CTL_MRC_FILE_H
#define CTL_MRC_FILE_H

#include <cstdio>
#include <memory>

#include "jbig2_store.h"
#include "mrc_io.h"
#include "tfx_file.h"
#include "tfx_layer.h"

namespace ctl {

class MrcFile final : public TfxFile {
 public:
  explicit MrcFile(const char *path);
  ~MrcFile() override;

  int32_t GetPageCount() override;
  TfxPage *GetPage(int32_t index) override;
  void LoadPage(int32_t index) override;
  // With one layer its size; with more, the mask layer's (layer 2); else (-1, -1).
  LongPair GetPageSize(int32_t index) override;

  // The adapter, or null when the file holds no TIFF-FX document.
  MrcIo *io() const { return io_.get(); }

  static constexpr uint32_t kMaxBandsPerLayer = 1u << 16;

  // The JBIG2 global-segment store, null until the first JBIG2 mask band is built.
  Jbig2GlobalStore *store() const { return store_.get(); }

 private:
  std::unique_ptr<TfxPage> BuildPage(int32_t index);
  // budget: band pixels the page may still take; a band past it makes the budget negative
  // and is not built.
  BandList maskBands(uint32_t page, uint32_t layer, BandKind kind, int64_t *budget);
  BandList colourBands(uint32_t page, uint32_t layer, const BandList &masks, int64_t *budget);
  QtzState *faxState();
  // The most global data bytes the store keeps: the file's size (kMaxGlobalBytes when the
  // size is unknown).
  uint64_t globalBytesLimit() const;
  static constexpr uint64_t kMaxGlobalBytes = uint64_t{1} << 26;

  FILE *stream_ = nullptr;
  std::unique_ptr<MrcIo> io_;
  std::unique_ptr<Jbig2GlobalStore> store_;
  QtzState *faxState_ = nullptr;
};

}  // namespace ctl

#endif
