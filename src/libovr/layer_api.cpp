// Reading interface, layer and IFD level: a layer merged over its stripes, one stripe with its
// IFD handle, and the IFD values the reader asks for (PhotometricInterpretation, Decode, coding
// options). The value getters answer "absent" (0) for document kinds the TIFF engine does not
// handle instead of failing.
#include <cstring>

#include "ovr_document.h"
#include "ovr_reader_internal.h"

namespace {

using namespace ovr;

struct Geometry {
  uint32_t *x, *y, *xRes, *yRes, *width, *height;
};

bool complete(const Geometry &g) {
  return g.x && g.y && g.xRes && g.yRes && g.width && g.height;
}

void clear(const Geometry &g) {
  *g.x = *g.y = *g.xRes = *g.yRes = *g.width = *g.height = 0;
}

void put(const Geometry &g, const ProfileValues &v) {
  *g.x = v.x;
  *g.y = v.y;
  *g.xRes = v.xRes;
  *g.yRes = v.yRes;
  *g.width = v.width;
  *g.height = v.height;
}

// The IFD record of a value getter, or null (status 0) when the document's kind has no values.
int32_t valueIfd(const OvrIfdHandle *handle, OvrIfdRecord **ifd) {
  *ifd = nullptr;
  int32_t status = validateRecord(handle, kHandleMagic);
  if (status == OVR_OK) status = validateRecord(handle->owner, kHandleMagic);
  if (status == OVR_OK) status = validateRecord(handle->owner->owner, kHandleMagic);
  if (status != OVR_OK) return status;
  if (kindStatus(handle->owner->owner->kind) != OVR_OK) return OVR_OK;
  return readingIfd(handle, ifd);
}

}  // namespace

extern "C" {

int32_t ovrGetLayerInfo(OvrPageHandle *handle, uint32_t layer, uint32_t *x, uint32_t *y,
                        uint32_t *xRes, uint32_t *yRes, uint32_t *width, uint32_t *height,
                        uint32_t *compressionBits, uint32_t *colourKind, uint8_t *palette,
                        OvrIfdHandle **ifd) {
  const Geometry g{x, y, xRes, yRes, width, height};
  if (!complete(g) || compressionBits == nullptr || colourKind == nullptr || ifd == nullptr)
    return OVR_ERR_PARAM;
  clear(g);
  *compressionBits = *colourKind = 0;
  *ifd = nullptr;
  OvrPageRecord *page = nullptr;
  int32_t status = readingPage(handle, &page);
  Stripe merged;
  if (status == OVR_OK) status = mergeLayer(page, layer, palette, &merged);
  if (status == OVR_OK) status = ifdHandleFor(handle, merged.ifd, ifd);
  if (status != OVR_OK) return status;
  put(g, merged.values);
  *compressionBits = merged.values.compressionBits;
  *colourKind = merged.values.colourKind;
  return OVR_OK;
}

int32_t ovrGetStripeIfd(OvrPageHandle *handle, uint32_t layer, uint32_t stripe, uint32_t *x,
                        uint32_t *y, uint32_t *xRes, uint32_t *yRes, uint32_t *width,
                        uint32_t *height, uint32_t *rowsPerStrip, uint32_t *compressionBits,
                        uint32_t *colourKind, uint8_t *palette, OvrIfdHandle **ifd) {
  const Geometry g{x, y, xRes, yRes, width, height};
  if (!complete(g) || rowsPerStrip == nullptr || compressionBits == nullptr ||
      colourKind == nullptr || ifd == nullptr)
    return OVR_ERR_PARAM;
  clear(g);
  *rowsPerStrip = *compressionBits = *colourKind = 0;
  *ifd = nullptr;
  if (palette != nullptr) std::memset(palette, 0, kPaletteBytes);
  OvrPageRecord *page = nullptr;
  int32_t status = readingPage(handle, &page);
  Stripe found;
  if (status == OVR_OK) status = findStripe(page, layer, stripe, &found);
  if (isEngineError(status)) return status;
  status = ifdHandleFor(handle, found.ifd, ifd);
  if (status != OVR_OK) return status;
  put(g, found.values);
  *rowsPerStrip = found.values.rowsPerStrip;
  *compressionBits = found.values.compressionBits;
  *colourKind = found.values.colourKind;
  if (palette != nullptr && found.values.palette != nullptr)
    std::memcpy(palette, found.values.palette, paletteBytes(found.values.colourKind));
  return OVR_OK;
}

int32_t ovrGetPhotometric(OvrIfdHandle *handle, uint16_t *value, int32_t *present) {
  if (value == nullptr || present == nullptr) return OVR_ERR_PARAM;
  *value = 0;
  *present = 0;
  OvrIfdRecord *ifd = nullptr;
  int32_t status = valueIfd(handle, &ifd);
  if (status != OVR_OK || ifd == nullptr || !ifd->dir.has(Field::Photometric)) return status;
  *value = ifd->dir.photometric;
  *present = 1;
  return OVR_OK;
}

int32_t ovrGetDecode(OvrIfdHandle *handle, const int32_t **values, uint32_t *count,
                     int32_t *present) {
  if (values == nullptr || count == nullptr || present == nullptr) return OVR_ERR_PARAM;
  *values = nullptr;
  *count = 0;
  *present = 0;
  OvrIfdRecord *ifd = nullptr;
  int32_t status = valueIfd(handle, &ifd);
  if (status != OVR_OK || ifd == nullptr || !ifd->dir.has(Field::Decode)) return status;
  *values = ifd->dir.decode;
  *count = ifd->dir.decodeCount;
  *present = 1;
  return OVR_OK;
}

int32_t ovrGetCodingOptions(OvrIfdHandle *handle, uint32_t *options, int32_t *present) {
  if (options == nullptr || present == nullptr) return OVR_ERR_PARAM;
  *options = 0;
  *present = 0;
  OvrIfdRecord *ifd = nullptr;
  int32_t status = valueIfd(handle, &ifd);
  if (status != OVR_OK || ifd == nullptr || !ifd->dir.has(Field::CodingOptions)) return status;
  *options = ifd->dir.codingOptions;
  *present = 1;
  return OVR_OK;
}

}  // extern "C"
