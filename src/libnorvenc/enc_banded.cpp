// Banded encoding: a bilevel page handed over band by band from the caller's memory, each page
// a section of its own, its dictionary and page bytes handed back to the caller. No output
// writer is involved; the encoder is built on the first band, and the library state's messages
// are dropped from then on (given back at clean-up).
//
// Failures: 2 a null record or rows, 118 a null out-pointer, 10003 page data asked for while
// no page has ended; the statuses of the conversion and the encoder pass up unchanged.
#include "enc_assembly.h"
#include "enc_driver.h"
#include "pxl_image.h"
#include "pxl_owners_internal.h"
#include "qtz_internal.h"

extern "C" int32_t norv_encMonoBufInPage(QtzState *state, NorvEncState *enc, const uint8_t *rows,
                                         int32_t width, int32_t rowCount, int32_t bytesPerLine,
                                         int32_t pageHeight, int32_t continuing, int32_t lastBand) {
  if (state == nullptr) return QTZ_ERR_NULL;
  if (enc == nullptr || rows == nullptr) return qtz::report(state, QTZ_ERR_PARAM);
  if (enc->encoder == nullptr) {
    norvenc::setErrorStream(state, enc, nullptr);
    if (const int32_t status = norvenc::buildRecordEncoder(state, enc); status != 0) return status;
  }
  // The caller's rows as a packed image (only read), then as a framed core image.
  QtzImage *wrapped = nullptr;
  if (const int32_t status = QtzImage_wrapAll(state, const_cast<uint8_t *>(rows), QTZ_IMAGE_PACKED,
                                              width, rowCount, bytesPerLine, &wrapped);
      status != 0)
    return status;
  PxlContext *ctx = state->ipwContext;
  pxl::OwnedImage band(ctx);
  const int32_t converted = tc_convertToPixr(state, wrapped, band.put());
  void *callerRows = nullptr;
  QtzImage_unwrapAll(wrapped, &callerRows);
  if (converted != 0) return converted;
  int32_t bytesPerRow = 0, xFixed = 0, yFixed = 0;
  uint8_t *framed = nullptr;
  pxlGetImageBytesPerRow(ctx, band.get(), &bytesPerRow);
  pxlGetImageResolution(ctx, band.get(), &xFixed, &yFixed);
  pxlGetImageFramedData(ctx, band.get(), &framed);
  // The band's first row: below the frame rows, its 32 frame columns in front of the pixels.
  int32_t frame = 0;
  pxlGetImageFrame(ctx, band.get(), &frame);
  const uint8_t *first = framed + int64_t{frame} * bytesPerRow;
  uint8_t overflow = 0;
  if (const int32_t status =
          addMonoBand(enc->encoder, first, width, rowCount, bytesPerRow, pageHeight, xFixed >> 16,
                      yFixed >> 16, continuing == 0 ? 1 : 0, lastBand != 0 ? 1 : 0, &overflow);
      status != 0)
    return status;
  if (lastBand == 0) return QTZ_OK;
  // Every page is a section of its own: a page beyond the budget is coded alone, not rolled
  // back out of its own section.
  enc->encoder->overflow = 0;
  return closeSection(enc->encoder, NORV_CLOSE_FINAL);
}

extern "C" int32_t norv_encMonoBufGetPGData(QtzState *state, NorvEncState *enc,
                                            const uint8_t **globalData, size_t *globalLength,
                                            const uint8_t **pageData, size_t *pageLength) {
  if (state == nullptr) return QTZ_ERR_NULL;
  if (globalData == nullptr || globalLength == nullptr || pageData == nullptr ||
      pageLength == nullptr)
    return qtz::report(state, QTZ_ERR_NULL);
  if (enc == nullptr || enc->encoder == nullptr) return qtz::report(state, QTZ_ERR_PARAM);
  NorvEncoder *encoder = enc->encoder;
  if (encoder->sectionOpen != 0 || encoder->section == nullptr || encoder->section->pageCount != 1)
    return qtz::reportText(state, QTZ_ERR_ASSERT, "No page has ended");
  qtz::release(encoder->state, enc->bandedGlobals);
  qtz::release(encoder->state, enc->bandedPage);
  enc->bandedGlobals = enc->bandedPage = nullptr;
  uint8_t *globals = nullptr, *page = nullptr;
  size_t globalsSize = 0, pageSize = 0, payload = 0;
  if (const int32_t status = encodeSectionGlobals(encoder, 0, &globals, &globalsSize); status != 0)
    return status;
  enc->bandedGlobals = globals;
  if (const int32_t status = encodeSectionPages(encoder, &page, &pageSize, &payload); status != 0)
    return status;
  enc->bandedPage = page;
  if (const int32_t status = startEncoderSection(encoder); status != 0) return status;
  *globalData = globals;
  *globalLength = globalsSize;
  *pageData = page;
  *pageLength = pageSize;
  return QTZ_OK;
}
