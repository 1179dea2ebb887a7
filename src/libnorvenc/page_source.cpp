// Source pages of the encoding driver.
//
// readSourcePage reads one page of an open TIFF file through the token utilities and fills the page
// source: packed bilevel pages keep their framed rows, deeper pages are colour pages. A page
// without a resolution on one axis takes the other axis's; a page without any gets the default
// (with the warning "No resolution given in input file, assuming %d dpi."). Quarter turns outside 0
// to 3 give 10003.
//
// splitColorPage runs the colour-scan segmentation over a colour page (which it takes over),
// hands out the text components (and a grey image when asked), and turns the background into a
// JPEG colour layer of the page: reduced by the largest whole factor of the page's x resolution
// not above xdpi / backgroundDpi, coded into a growing memory buffer that is then cut to the
// bytes written. Statuses: 1 out of memory, those of the segmentation, the image core and the
// JPEG coder, each reported once where it arose.
#include "page_source.h"

#include <cstdio>
#include <utility>

#include "compdoc_strips.h"
#include "pxl_image.h"
#include "pxl_jpeg.h"
#include "pxl_owners_internal.h"
#include "pxl_rescale.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

namespace norvenc {
namespace {

constexpr int32_t kFallbackDpi = 300;

// The segmentation context, done at the end of the scope.
class OwnedSegmenter {
 public:
  OwnedSegmenter() = default;
  ~OwnedSegmenter() { QtzSC_done(held_); }
  OwnedSegmenter(const OwnedSegmenter &) = delete;
  OwnedSegmenter &operator=(const OwnedSegmenter &) = delete;
  QtzSCState **put() { return &held_; }
  QtzSCState *get() const { return held_; }
  void done() {
    QtzSC_done(held_);
    held_ = nullptr;
  }

 private:
  QtzSCState *held_ = nullptr;
};

// Text components handed out by the segmentation, freed unless released.
class OwnedComponents {
 public:
  explicit OwnedComponents(QtzState *state) : state_(state) {}
  ~OwnedComponents() { freeTextComponents(state_, &array_, count_); }
  OwnedComponents(const OwnedComponents &) = delete;
  OwnedComponents &operator=(const OwnedComponents &) = delete;
  QtzSCTextComponent **array() { return &array_; }
  int32_t *count() { return &count_; }
  void releaseTo(QtzSCTextComponent **array, int32_t *count) {
    *array = array_;
    *count = count_;
    array_ = nullptr;
    count_ = 0;
  }

 private:
  QtzState *state_;
  QtzSCTextComponent *array_ = nullptr;
  int32_t count_ = 0;
};

class OwnedQtzImage {
 public:
  OwnedQtzImage() = default;
  ~OwnedQtzImage() {
    if (held_ != nullptr) QtzImage_free(held_);
  }
  OwnedQtzImage(const OwnedQtzImage &) = delete;
  OwnedQtzImage &operator=(const OwnedQtzImage &) = delete;
  QtzImage **put() { return &held_; }
  QtzImage *release() { return std::exchange(held_, nullptr); }

 private:
  QtzImage *held_ = nullptr;
};

// JPEG-codes the background into a new layer record of the page's colour layers.
int32_t addBackgroundLayer(QtzState *state, Pixr *background, NorvWriterPage *page, int32_t xdpi,
                           int32_t ydpi, int32_t factor, int32_t jpegQuality) {
  PxlContext *ctx = state->ipwContext;
  int32_t width = 0, height = 0;
  pxlGetImageWidth(ctx, background, &width);
  pxlGetImageHeight(ctx, background, &height);
  // The first buffer holds a tenth of the pixels; the sink grows it on demand.
  const int64_t first = int64_t{width} * height / 10 > 0 ? int64_t{width} * height / 10 : 1;
  StripMemorySink sink{state, static_cast<uint8_t *>(qtz::allocate(state, size_t(first))), 0,
                       first};
  qtz::OwnedBlock<uint8_t> buffer(state, sink.buffer);
  if (!buffer) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  const int32_t status =
      pxlCompressImageJpeg(ctx, background, writeToMemorySink, &sink, jpegQuality, PXL_JPEG_ITULAB);
  // The sink may have moved the buffer while growing it.
  buffer.release();
  buffer.reset(sink.buffer);
  if (status != 0) return status;
  if (sink.used > 0 && sink.used < sink.capacity) {
    auto *cut = static_cast<uint8_t *>(qtz::resize(state, buffer.get(), size_t(sink.used)));
    if (cut == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
    buffer.release();
    buffer.reset(cut);
  }
  qtz::OwnedBlock<NorvLayerRecord> record(
      state, static_cast<NorvLayerRecord *>(qtz::allocate(state, sizeof(NorvLayerRecord))));
  if (!record) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  *record.get() = NorvLayerRecord{
      width, height, 0,          0, xdpi / factor, ydpi / factor, buffer.get(), size_t(sink.used),
      0,     1,      jpegQuality};
  if (const int32_t added = addColorLayer(page, record.get()); added != 0) {
    record->data = nullptr;
    return added;
  }
  record.release();
  buffer.release();
  return QTZ_OK;
}

}  // namespace

int32_t wholeDpi(int32_t fixed) {
  const int32_t dpi = static_cast<int32_t>((int64_t{fixed} + 32768) >> 16);
  return dpi == 0 ? kFallbackDpi : dpi;
}

int32_t backgroundReduction(int32_t xdpi, int32_t backgroundDpi) {
  if (xdpi < 1 || backgroundDpi < 1) return 1;
  int32_t n = xdpi / backgroundDpi;
  if (n < 1) return 1;
  while (xdpi % n != 0) --n;
  return n;
}

void freeTextComponents(QtzState *state, QtzSCTextComponent **components, int32_t count) {
  if (*components == nullptr) return;
  for (int32_t i = 0; i < count; ++i)
    if ((*components)[i].bitmap != nullptr) QtzImage_free((*components)[i].bitmap);
  qtz::release(state, *components);
  *components = nullptr;
}

void describeSource(QtzState *state, Pixr *image, int32_t defaultDpi, NorvPageSource *source) {
  PxlContext *ctx = state->ipwContext;
  int32_t width = 0, height = 0, depth = 0, xFixed = 0, yFixed = 0;
  pxlGetImageWidth(ctx, image, &width);
  pxlGetImageHeight(ctx, image, &height);
  pxlGetImageDepth(ctx, image, &depth);
  pxlGetImageResolution(ctx, image, &xFixed, &yFixed);
  int32_t xdpi = xFixed >> 16;
  int32_t ydpi = yFixed >> 16;
  const bool filled = xdpi < 1 || ydpi < 1;
  if (xdpi < 1 && ydpi < 1) {
    xdpi = ydpi = defaultDpi;
    char text[80];
    std::snprintf(text, sizeof text, "No resolution given in input file, assuming %d dpi.\n",
                  defaultDpi);
    qtz::reportText(state, QTZ_MSG_WARNING, text);
  } else if (xdpi < 1) {
    xdpi = ydpi;
  } else if (ydpi < 1) {
    ydpi = xdpi;
  }
  *source = NorvPageSource{nullptr, width, height, 0, xdpi, ydpi};
  if (depth == 1) {
    uint8_t *pixels = nullptr;
    pxlGetImageFramedData(ctx, image, &pixels);
    source->pixels = pixels;
    pxlGetImageBytesPerRow(ctx, image, &source->bytesPerRow);
  } else if (filled && xdpi < 32768 && ydpi < 32768) {
    pxlSetImageResolution(ctx, image, xdpi << 16, ydpi << 16);
  }
}

int32_t readSourcePage(QtzState *state, TIFF *file, NorvPageSource *source, int32_t index,
                       TcImage **image, int32_t quarterTurns, int32_t defaultDpi) {
  *image = nullptr;
  if (quarterTurns < 0 || quarterTurns > 3) return qtz::report(state, QTZ_ERR_ASSERT);
  if (const int32_t status = ipReadOpenTiffPage(state, file, quarterTurns, index + 1, image);
      status != 0 || *image == nullptr)
    return status;
  describeSource(state, (*image)->image, defaultDpi, source);
  return QTZ_OK;
}

int32_t splitColorPage(QtzState *state, Pixr *coreImage, NorvWriterPage *page,
                       int32_t backgroundDpi, int32_t jpegQuality, int32_t componentSizeLimit,
                       QtzSCTextComponent **components, int32_t *count, QtzImage **grey) {
  PxlContext *ctx = state->ipwContext;
  pxl::OwnedImage pageImage(ctx, coreImage);
  OwnedSegmenter sc;
  if (const int32_t status = QtzSC_init(state, sc.put()); status != 0) return status;
  int32_t xFixed = 0, yFixed = 0;
  pxlGetImageResolution(ctx, coreImage, &xFixed, &yFixed);
  const int32_t xdpi = wholeDpi(xFixed);
  const int32_t ydpi = wholeDpi(yFixed);
  if (const int32_t status = QtzSC_defaultOptions(sc.get(), xdpi, ydpi); status != 0) return status;
  sc.get()->options.componentSizeLimit = componentSizeLimit;
  // The segmentation takes the page over whatever it answers.
  if (const int32_t status = QtzSC_process(sc.get(), pageImage.release()); status != 0)
    return status;
  OwnedComponents text(state);
  if (const int32_t status = QtzSC_getTextComponents(sc.get(), text.array(), text.count());
      status != 0)
    return status;
  OwnedQtzImage greyImage;
  if (grey != nullptr) {
    if (const int32_t status = QtzSC_getGray(sc.get(), greyImage.put()); status != 0) return status;
  }
  pxl::OwnedImage background(ctx);
  if (const int32_t status = QtzSC_getBackground(sc.get(), xdpi, background.put()); status != 0)
    return status;
  sc.done();
  int32_t factor = backgroundReduction(xdpi, backgroundDpi);
  if (factor > 1) {
    int32_t width = 0, height = 0;
    pxlGetImageWidth(ctx, background.get(), &width);
    pxlGetImageHeight(ctx, background.get(), &height);
    if (width / factor < 1 || height / factor < 1) {
      factor = 1;  // a page smaller than the factor keeps its size
    } else {
      pxl::OwnedImage reduced(ctx);
      if (const int32_t status = pxlRescaleImage(ctx, background.get(), width / factor,
                                                 height / factor, reduced.put());
          status != 0)
        return status;
      background.reset(reduced.release());
    }
  }
  if (const int32_t status =
          addBackgroundLayer(state, background.get(), page, xdpi, ydpi, factor, jpegQuality);
      status != 0)
    return status;
  text.releaseTo(components, count);
  if (grey != nullptr) *grey = greyImage.release();
  return QTZ_OK;
}

}  // namespace norvenc
