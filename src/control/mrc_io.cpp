// MrcIo: opening the document over a stdio stream, the page and layer lookups and the layer
// questions (layer count, band count, band kind, colour kind, position, size, resolution,
// Decode values).
#include "mrc_io.h"

#include <array>

namespace ctl {
namespace {

// Compression bits of the container library and the band kind each gives.
BandKind bandKindOf(uint32_t compressionBits) {
  switch (compressionBits) {
    case 16:
      return BandKind::Jpeg;
    case 1024:
      return BandKind::Jbig2;
    case 8:
      return BandKind::G4;
    case 4:
      return BandKind::Coding4;
    case 2:
      return BandKind::Coding2;
    default:
      return BandKind::None;
  }
}

ColourKind colourKindOf(uint16_t photometric) {
  switch (photometric) {
    case 0:
      return ColourKind::WhiteIsZero;
    case 1:
      return ColourKind::BlackIsZero;
    case 2:
      return ColourKind::Rgb;
    case 5:
      return ColourKind::Separated;
    case 6:
      return ColourKind::YCbCr;
    case 8:
      return ColourKind::CieLab;
    case 9:
      return ColourKind::IccLab;
    case 10:
      return ColourKind::ItuLab;
    default:
      return ColourKind::None;
  }
}

// The stream's size, leaving its position at `position`; 0 when it cannot be learnt.
uint64_t streamSize(FILE *stream, long position) {
  if (fseek(stream, 0, SEEK_END) != 0) return 0;
  const long end = ftell(stream);
  if (fseek(stream, position, SEEK_SET) != 0 || end < 0) return 0;
  return static_cast<uint64_t>(end);
}

}  // namespace

MrcIo::MrcIo(FILE *stream) : stream_(stream) {
  hooks_ = OvrFileHooks{fread, fwrite, fseek, ftell};
  if (stream == nullptr || ovrCreateIoContext(0, &context_) != OVR_OK) return;
  const long position = ftell(stream);
  if (position < 0) return;
  startPosition_ = position;
  fileSize_ = streamSize(stream, position);
  file_ = OvrHookedFile{stream, startPosition_, &hooks_};
  if (ovrOpenDocument(context_, &file_, 0, fileHookRead, fileHookWrite, fileHookSeek,
                      fileHookSeekEnd, fileHookTell, &document_) != OVR_OK ||
      document_ == nullptr) {
    if (document_ != nullptr) ovrCloseDocument(document_);
    document_ = nullptr;
    return;
  }
  uint8_t kind = 0, subKind = 0;
  uint16_t pages = 0;
  if (ovrGetDocumentInfo(document_, &kind, &subKind, &pages) != OVR_OK) {
    ovrCloseDocument(document_);
    document_ = nullptr;
    return;
  }
  pageCount_ = pages;
}

MrcIo::~MrcIo() {
  if (document_ != nullptr) ovrCloseDocument(document_);
  if (context_ != nullptr) ovrDestroyIoContext(context_);
}

void MrcIo::giveBack(void *block) {
  if (block != nullptr) ovrFreeData(context_, &block);
}

OvrPageHandle *MrcIo::pageHandle(uint32_t page, const uint32_t **ifdCounts, uint32_t *layerCount) {
  *ifdCounts = nullptr;
  *layerCount = 0;
  if (document_ == nullptr || page >= pageCount_) return nullptr;
  uint16_t attribute = 0;
  OvrPageHandle *handle = nullptr;
  if (ovrGetPage(document_, static_cast<int32_t>(page), ifdCounts, layerCount, &attribute,
                 &handle) != OVR_OK ||
      *ifdCounts == nullptr) {
    *layerCount = 0;
    return nullptr;
  }
  return handle;
}

uint32_t MrcIo::ifdCount(uint32_t page, uint32_t layer) {
  const uint32_t *counts = nullptr;
  uint32_t layers = 0;
  if (pageHandle(page, &counts, &layers) == nullptr || layer == 0 || layer > layers) return 0;
  return counts[layer - 1];
}

bool MrcIo::layerInfo(uint32_t page, uint32_t layer, LayerInfo *info) {
  *info = LayerInfo{};
  const uint32_t *counts = nullptr;
  uint32_t layers = 0;
  OvrPageHandle *handle = pageHandle(page, &counts, &layers);
  if (handle == nullptr || layer == 0 || layer > layers) return false;
  uint32_t colourKind = 0;
  std::array<uint8_t, 768> palette{};
  return ovrGetLayerInfo(handle, layer, &info->x, &info->y, &info->xRes, &info->yRes, &info->width,
                         &info->height, &info->compressionBits, &colourKind, palette.data(),
                         &info->ifd) == OVR_OK &&
         info->ifd != nullptr;
}

bool MrcIo::stripe(uint32_t page, uint32_t layer, uint32_t index, Stripe *out) {
  *out = Stripe{};
  const uint32_t *counts = nullptr;
  uint32_t layers = 0;
  OvrPageHandle *handle = pageHandle(page, &counts, &layers);
  if (handle == nullptr || layer == 0 || layer > layers) return false;
  uint32_t xRes = 0, yRes = 0, bits = 0, kind = 0;
  return ovrGetStripeIfd(handle, layer, index, &out->x, &out->y, &xRes, &yRes, &out->width,
                         &out->height, &out->rowsPerStrip, &bits, &kind, nullptr,
                         &out->ifd) == OVR_OK &&
         out->ifd != nullptr;
}

uint32_t MrcIo::GetLayerCount(uint32_t page) {
  const uint32_t *counts = nullptr;
  uint32_t layers = 0;
  pageHandle(page, &counts, &layers);
  return layers;
}

uint32_t MrcIo::GetBandCount(uint32_t page, uint32_t layer) {
  const uint32_t ifds = ifdCount(page, layer);
  if (ifds != 1) return ifds;
  Stripe only;
  if (!stripe(page, layer, 0, &only)) return 0;
  // Rows per strip 0 (strips of varying height) is read as one band of the whole IFD.
  if (only.rowsPerStrip == 0 || only.rowsPerStrip >= only.height) return 1;
  return static_cast<uint32_t>((uint64_t{only.height} + only.rowsPerStrip - 1) / only.rowsPerStrip);
}

bool MrcIo::LayerHasStrips(uint32_t page, uint32_t layer) {
  return ifdCount(page, layer) == 1 && GetBandCount(page, layer) > 1;
}

BandKind MrcIo::GetBandKind(uint32_t page, uint32_t layer) {
  LayerInfo info;
  return layerInfo(page, layer, &info) ? bandKindOf(info.compressionBits) : BandKind::None;
}

ColourKind MrcIo::GetColourKind(uint32_t page, uint32_t layer) {
  LayerInfo info;
  if (!layerInfo(page, layer, &info)) return ColourKind::None;
  uint16_t photometric = 0;
  int32_t present = 0;
  if (ovrGetPhotometric(info.ifd, &photometric, &present) != OVR_OK || !present)
    return ColourKind::None;
  return colourKindOf(photometric);
}

LongPair MrcIo::GetLayerPosition(uint32_t page, uint32_t layer) {
  LayerInfo info;
  return layerInfo(page, layer, &info) ? LongPair{info.x, info.y} : kUnknownPair;
}

LongPair MrcIo::GetLayerSize(uint32_t page, uint32_t layer) {
  LayerInfo info;
  return layerInfo(page, layer, &info) ? LongPair{info.width, info.height} : kUnknownPair;
}

LongPair MrcIo::GetLayerResolution(uint32_t page, uint32_t layer) {
  LayerInfo info;
  return layerInfo(page, layer, &info) ? LongPair{info.xRes, info.yRes} : kUnknownPair;
}

std::vector<float> MrcIo::GetDecodeValues(uint32_t page, uint32_t layer) {
  LayerInfo info;
  if (!layerInfo(page, layer, &info)) return {};
  const int32_t *rationals = nullptr;
  uint32_t count = 0;
  int32_t present = 0;
  if (ovrGetDecode(info.ifd, &rationals, &count, &present) != OVR_OK || !present ||
      rationals == nullptr)
    return {};
  std::vector<float> values;
  values.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const int32_t numerator = rationals[2 * i];
    const int32_t denominator = rationals[2 * i + 1];
    if (denominator == 0) return {};
    values.push_back(static_cast<float>(numerator) / static_cast<float>(denominator));
  }
  return values;
}

}  // namespace ctl
