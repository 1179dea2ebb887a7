// Writing calls on IFDs: adding an IFD to a page, setting its raw Compression value, coding it
// (which writes its directory and links it into the file) and ending it.
//
// Coding runs the profile rules again with the compression bits and colour space given, fixes
// the JPEG quality (0 becomes 75, above 100 becomes 100; other codings have quality 0), makes the
// tables the directory is written from, writes the directory and links it: a primary IFD into
// the page chain, a stripe into its layer's chain or the SubIFDs. A primary IFD of a page after
// the first needs the previous page's primary IFD written (21), which is checked before anything
// is written. A coding that fails leaves the IFD's values (and, when its directory was not placed
// yet, its strip tables) as they were, uncoded.
#include "ovr_vocab_internal.h"
#include "ovr_write.h"
#include "ovr_writer_internal.h"

namespace ovr {
namespace {

bool previousPageCoded(const OvrIfdRecord &ifd) {
  const OvrPageRecord &page = *ifd.page;
  if (ifd.role != kRolePrimary || page.index == 0) return true;
  const OvrIfdRecord *previous = page.doc->pages[page.index - 1]->primary;
  return previous != nullptr && previous->offset != 0;
}

int32_t codeIfd(OvrIfdRecord &ifd, ProfileValues &v) {
  int32_t status = ovrApplyProfile(ifd.page, &ifd, &v);
  if (status != OVR_OK && status < OVR_ERR_NOT_ALLOWED) return status;
  LayerRecord &l = ifd.layer;
  copyPlacement(v, l);
  l.rowsPerStrip = v.rowsPerStrip;
  l.compressionBits = v.compressionBits;
  l.photometricKind = v.colourSpace;
  status = prepareDirectoryTables(ifd);
  if (status == OVR_OK) status = ovrWriteDirectory(ifd);
  if (status != OVR_OK) return status;
  return ifd.role == kRolePrimary ? ovrLinkPrimaryIfd(ifd) : ovrLinkStripeIfd(ifd);
}

}  // namespace
}  // namespace ovr

int32_t ovrAddIfd(OvrPageHandle *page, uint32_t layer, uint32_t colourKind, uint32_t x, uint32_t y,
                  uint32_t xRes, uint32_t yRes, uint32_t width, uint32_t height,
                  uint32_t rowsPerStrip, const uint8_t *palette, OvrIfdHandle **ifd) {
  using namespace ovr;
  if (ifd == nullptr) return OVR_ERR_PARAM;
  *ifd = nullptr;
  OvrPageRecord *record = nullptr;
  int32_t status = writingPage(page, &record);
  if (status != OVR_OK) return status;
  ProfileValues v;
  v.layer = layer;
  v.colourKind = colourKind;
  v.x = x;
  v.y = y;
  v.xRes = xRes;
  v.yRes = yRes;
  v.width = width;
  v.height = height;
  v.rowsPerStrip = rowsPerStrip;
  v.palette = palette;
  OvrIfdRecord *added = nullptr;
  status = addIfdRecord(*record, v, &added);
  if (status != OVR_OK) return status;
  status = ifdHandleFor(page, added, ifd);
  if (status != OVR_OK) removeIfdRecord(added);
  return status;
}

int32_t ovrSetCompressionTag(OvrIfdHandle *ifd, uint32_t value) {
  using namespace ovr;
  OvrIfdRecord *record = nullptr;
  int32_t status = writingIfd(ifd, &record, OVR_ERR_MAGIC);
  if (status != OVR_OK) return status;
  if (record->writer->state != IfdState::Added) return OVR_ERR_SEQUENCE;
  if (value > UINT16_MAX) return OVR_ERR_PARAM;
  record->rawCompression = static_cast<uint16_t>(value);
  return OVR_OK;
}

int32_t ovrSetCoding(OvrIfdHandle *ifd, uint32_t mode, uint32_t *compressionBits, uint32_t *quality,
                     const uint32_t *colourSpace) {
  using namespace ovr;
  OvrIfdRecord *record = nullptr;
  int32_t status = writingIfd(ifd, &record);
  if (status != OVR_OK) return status;
  if (compressionBits == nullptr || quality == nullptr || colourSpace == nullptr) {
    return OVR_ERR_PARAM;
  }
  OvrWriteIfd &w = *record->writer;
  if (w.state != IfdState::Added || !previousPageCoded(*record)) return OVR_ERR_SEQUENCE;
  const LayerRecord saved = record->layer;
  ProfileValues v = profileValuesOf(saved);
  v.compressionBits = *compressionBits;
  v.colourSpace = *colourSpace;
  status = codeIfd(*record, v);
  if (status != OVR_OK) {
    record->layer = saved;
    if (record->offset == 0) {
      record->dir.clear(record->dir.stripOffsets);
      record->dir.clear(record->dir.stripByteCounts);
    }
    return status;
  }
  uint32_t taken = 0;
  if (v.compressionBits == bits::kJpeg)
    taken = *quality == 0 ? 75 : *quality > 100 ? 100 : *quality;
  w.mode = mode;
  w.quality = taken;
  w.state = IfdState::Coded;
  *compressionBits = v.compressionBits;
  *quality = taken;
  return OVR_OK;
}

int32_t ovrEndIfd(OvrIfdHandle *ifd) {
  using namespace ovr;
  OvrIfdRecord *record = nullptr;
  int32_t status = writingIfd(ifd, &record);
  if (status != OVR_OK) return status;
  OvrWriteIfd &w = *record->writer;
  if (w.state != IfdState::Coded) return OVR_ERR_SEQUENCE;
  if (record->layer.rowsPerStrip == 0 && !w.runs.empty() && !w.runTablesWritten) {
    status = ovrWriteStripTables(*record);
  }
  w.runs.clear();
  w.state = IfdState::Ended;
  return status;
}
