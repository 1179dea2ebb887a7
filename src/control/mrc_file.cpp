// MrcFile: opening the file, the page count and sizes, the page table filled on demand, and
// the page builder.
#include "mrc_file.h"

#include <algorithm>

#include "mrc_page.h"
#include "qtz_err.h"
#include "qtz_state.h"

namespace ctl {

MrcFile::MrcFile(const char *path) {
  pages_.resize(2);
  if (path == nullptr) return;
  stream_ = fopen(path, "rb");
  if (stream_ == nullptr) return;
  io_ = std::make_unique<MrcIo>(stream_);
  if (!io_->HasDocument()) io_.reset();
}

MrcFile::~MrcFile() {
  ReleaseAllPages();
  store_.reset();
  if (faxState_ != nullptr) Qtz_cleanupQtzState(&faxState_);
  io_.reset();
  if (stream_ != nullptr) fclose(stream_);
}

int32_t MrcFile::GetPageCount() {
  return io_ ? static_cast<int32_t>(io_->GetPageCount()) : 0;
}

TfxPage *MrcFile::GetPage(int32_t index) {
  if (index < 0 || index >= GetPageCount()) return nullptr;
  if (entry(index) == nullptr) LoadPage(index);
  return entry(index);
}

void MrcFile::LoadPage(int32_t index) {
  if (index < 0 || index >= GetPageCount()) return;
  if (pages_.size() < static_cast<size_t>(index) + 1) pages_.resize(static_cast<size_t>(index) + 1);
  if (io_) pages_[static_cast<size_t>(index)] = BuildPage(index);
}

LongPair MrcFile::GetPageSize(int32_t index) {
  if (!io_ || index < 0) return kUnknownPair;
  const auto page = static_cast<uint32_t>(index);
  const uint32_t layers = io_->GetLayerCount(page);
  const LongPair size = layers == 1  ? io_->GetLayerSize(page, 1)
                        : layers > 1 ? io_->GetLayerSize(page, 2)
                                     : kUnknownPair;
  return pageSizeOk(size) ? size : kUnknownPair;
}

namespace {

bool hasBand(const BandList &bands) {
  return std::any_of(bands.begin(), bands.end(), [](const auto &band) { return band != nullptr; });
}

// Takes the band's pixels from the page's budget; false (the budget spent) when they do not fit.
bool takeBandPixels(const BandBox &box, int64_t *budget) {
  *budget -= int64_t{box.width} * box.height;
  return *budget >= 0;
}

// The extent of a layer's bands fits a page.
bool extentOk(const TfxLayer &layer) {
  return layer.width() <= 0 || layer.height() <= 0 ||
         pageSizeOk(LongPair{layer.width(), layer.height()});
}

}  // namespace

uint64_t MrcFile::globalBytesLimit() const {
  return io_->FileSize() != 0 ? io_->FileSize() : kMaxGlobalBytes;
}

QtzState *MrcFile::faxState() {
  if (faxState_ == nullptr &&
      Qtz_initQtzState(&faxState_, nullptr, nullptr, nullptr, nullptr, 0, 0) != 0)
    faxState_ = nullptr;
  return faxState_;
}

BandList MrcFile::maskBands(uint32_t page, uint32_t layer, BandKind kind, int64_t *budget) {
  const uint32_t count = std::min(io_->GetBandCount(page, layer), kMaxBandsPerLayer);
  BandList bands(count);
  if (kind != BandKind::Jbig2 && kind != BandKind::G4) return bands;
  for (uint32_t j = 0; j < count; ++j) {
    BandBox box;
    if (!bandBoxOf(io_->GetBandPosition(page, layer, j), io_->GetBandSize(page, layer, j), &box))
      continue;
    if (!takeBandPixels(box, budget)) return bands;
    if (kind == BandKind::G4) {
      std::optional<Block> data = io_->ReadBandData(page, layer, j);
      bands[j] = std::make_unique<TfxG4Band>(data ? std::move(*data) : Block{}, box, faxState());
      continue;
    }
    if (!store_) store_ = std::make_unique<Jbig2GlobalStore>(GetPageCount());
    GlobalRefs refs;
    io_->GetBandGlobalRefs(page, layer, j, &refs);
    for (uint32_t index : refs.indices) {
      if (store_->Has(index)) continue;
      // The document's global blocks together never exceed its file: many indices naming
      // one large block would otherwise copy it once each. A block past the bound is not
      // kept, and the bands naming it fail.
      std::optional<Block> block = io_->ReadGlobalData(index);
      if (block && store_->bytes() + block->size() <= globalBytesLimit())
        store_->Put(index, *block);
    }
    std::optional<Block> data = io_->ReadJbig2BandData(page, layer, j);
    bands[j] = std::make_unique<TfxJBig2Band>(data ? std::move(*data) : Block{}, box,
                                              std::move(refs), store_.get());
  }
  return bands;
}

BandList MrcFile::colourBands(uint32_t page, uint32_t layer, const BandList &masks,
                              int64_t *budget) {
  BandList bands;
  if (layer % 2 == 0) return bands;
  const uint32_t count = std::min(io_->GetBandCount(page, layer), kMaxBandsPerLayer);
  const BandKind kind = io_->GetBandKind(page, layer);
  const ColourKind colour = io_->GetColourKind(page, layer);
  const bool strips = io_->LayerHasStrips(page, layer);
  const LongPair reference = io_->GetLayerResolution(page, layer == 1 ? 2 : layer - 1);
  const LongPair own = io_->GetLayerResolution(page, layer);
  const LongPair origin = io_->GetBandPosition(page, layer, 0);
  bands.resize(count);
  for (uint32_t b = 0; b < count; ++b) {
    std::optional<Block> data;
    if (kind == BandKind::Jpeg)
      data = io_->ReadBandData(page, layer, b);
    else if (kind == BandKind::Jbig2)
      data = io_->ReadColorTokenBandData(page, layer, b);
    else
      continue;
    LongPair position = io_->GetBandPosition(page, layer, b);
    if (strips && reference.x > 0 && reference.y > 0 && own.x > 0 && own.y > 0 &&
        position.x >= origin.x && position.y >= origin.y &&
        position.y - origin.y <= kMaxBandPosition) {
      // The strip's offset from the IFD's origin is in the layer's pixels.
      position.x = origin.x + (position.x - origin.x) * reference.x / own.x;
      position.y = origin.y + (position.y - origin.y) * reference.y / own.y;
    }
    BandBox box;
    if (!bandBoxOf(position, io_->GetBandSize(page, layer, b), &box)) continue;
    Block bytes = data ? std::move(*data) : Block{};
    if (kind == BandKind::Jpeg &&
        int64_t{box.width} * box.height >
            static_cast<int64_t>(bytes.size()) * kJpegPixelsPerByte + kJpegPixelAllowance)
      continue;
    if (!takeBandPixels(box, budget)) return bands;
    if (kind == BandKind::Jpeg) {
      bands[b] = std::make_unique<TfxJpegBand>(std::move(bytes), box, colour);
    } else {
      // The colour payload shares its strip with the mask band of the same index.
      auto *mask = b < masks.size() ? dynamic_cast<TfxJBig2Band *>(masks[b].get()) : nullptr;
      bands[b] = std::make_unique<TfxColorTokenBand>(std::move(bytes), box, mask);
    }
  }
  return bands;
}

std::unique_ptr<TfxPage> MrcFile::BuildPage(int32_t index) {
  const auto p = static_cast<uint32_t>(index);
  const uint32_t n = io_->GetLayerCount(p);
  LongPair reference = io_->GetLayerResolution(p, 2);
  int64_t budget = kMaxPageBandPixels;
  std::vector<std::unique_ptr<TfxSelLayer>> selectors(n / 2);
  for (uint32_t i = 2; i <= n; i += 2) {
    const BandKind kind = io_->GetBandKind(p, i);
    BandList masks = maskBands(p, i, kind, &budget);
    BandList foregrounds = colourBands(p, i + 1, masks, &budget);
    if (budget < 0) return nullptr;
    const LongPair own = io_->GetLayerResolution(p, i + 1);
    Extent scale{1, 1};
    // A foreground whose resolution gives no whole ratio of 1 or more is left out.
    if (own.x >= 1 && !layerScaleOf(reference, own, &scale)) foregrounds.clear();
    const ColourKind foregroundColour = io_->GetColourKind(p, i + 1);
    auto selector = std::make_unique<TfxSelLayer>(std::move(masks), std::move(foregrounds), scale,
                                                  kind, io_->GetColourKind(p, i), foregroundColour);
    if (foregroundColour == ColourKind::ItuLab)
      selector->setDecodeValues(io_->GetDecodeValues(p, i + 1));
    if (!extentOk(*selector)) return nullptr;
    selectors[i / 2 - 1] = std::move(selector);
  }

  std::unique_ptr<TfxBgLayer> background;
  const LongPair own = io_->GetLayerResolution(p, 1);
  if (own.x > 0) {
    if (reference.x == -1) reference = own;
    Extent scale{1, 1};
    const bool scaled =
        reference.x == -1 || reference.y == -1 || layerScaleOf(reference, own, &scale);
    BandList bands = scaled ? colourBands(p, 1, BandList{}, &budget) : BandList{};
    if (budget < 0) return nullptr;
    if (hasBand(bands)) {
      const ColourKind colour = io_->GetColourKind(p, 1);
      background = std::make_unique<TfxBgLayer>(std::move(bands), scale, colour);
      if (!extentOk(*background)) return nullptr;
      if (colour == ColourKind::ItuLab) background->setDecodeValues(io_->GetDecodeValues(p, 1));
    }
  }
  return std::make_unique<MrcPage>(this, std::move(background), std::move(selectors));
}

}  // namespace ctl
