// The document encoding driver: norv_encStart readies a record (error stream, output writer,
// pending-page list, encoder with its first section), norv_encDocument encodes the pages of a
// TIFF file and norv_encPage one caller image. Pages are offered to the open section one by one;
// sections end and go to the writer by the section rule below.
//
// Section rule, with n the pages accepted since norv_encStart, F flushPages and S sectionPages:
// after a page that makes n a multiple of F the section is flushed (ended non-final when there
// is no memory limit, so the next section resumes with its classes), after one that makes n a
// multiple of S it ends final; it also ends final when the dictionary budget refuses a page and
// (with last = 1) after the last page. Each ended section's dictionary bytes and page bytes are
// attached to its writer pages and written.
//
// A page the budget refuses is never lost. Refused before it is added (the budget was already
// spent), the section ends normally and the page is offered again to the next section; added
// but reaching the limit, the section ends with a roll-back that takes it out again, and it is
// offered again likewise. A page that reaches the limit alone in its section is coded alone;
// an empty section cannot refuse a page (10003 if it ever did, rather than retrying forever).
//
// Failures: 2 a null record or a record not started, 118 a null file, path or image, 10000 a
// log file that cannot be opened, 1 out of memory, else the status of the layer that failed.
// A failed norv_encDocument or norv_encPage abandons the output: nothing more is written to it,
// and the record's clean-up cuts the file back to where the output began and gives the failure,
// so that no part of the document passes for the whole.
#include <cstdio>
#include <cstring>

#include "enc_assembly.h"
#include "enc_driver.h"
#include "output_writer.h"
#include "page_source.h"
#include "pxl_image.h"
#include "pxl_owners_internal.h"
#include "pxl_tiffpage.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

namespace norvenc {
namespace {

// What happened to an offered page.
struct PageOutcome {
  bool accepted = false;
  bool sectionFull = false;  // the open section must end before another page
};

// A writer page dropped at the end of the scope unless released.
class OwnedWriterPage {
 public:
  explicit OwnedWriterPage(NorvOutputWriter *writer) : writer_(writer) {}
  ~OwnedWriterPage() {
    if (page_ != nullptr) dropWriterPage(writer_, &page_);
  }
  OwnedWriterPage(const OwnedWriterPage &) = delete;
  OwnedWriterPage &operator=(const OwnedWriterPage &) = delete;
  NorvWriterPage **put() { return &page_; }
  NorvWriterPage *get() const { return page_; }
  void release() { page_ = nullptr; }

 private:
  NorvOutputWriter *writer_;
  NorvWriterPage *page_ = nullptr;
};

// The page's tokens to the encoder: a bilevel page whole, a colour page's text components
// after the split (which also puts its background layer on the writer page). core is taken.
int32_t addToEncoder(QtzState *state, NorvEncState *enc, Pixr *core, NorvWriterPage *page,
                     const NorvPageSource *source, uint8_t *overflow) {
  pxl::OwnedImage image(state->ipwContext, core);
  if (source->bytesPerRow != 0) return addBilevelPage(enc->encoder, source, overflow);
  QtzSCTextComponent *components = nullptr;
  int32_t count = 0;
  QtzImage *grey = nullptr;
  if (const int32_t status = splitColorPage(state, image.release(), page, enc->backgroundDpi,
                                            enc->jpegQuality, enc->componentSizeLimit, &components,
                                            &count, enc->greyTemplates != 0 ? &grey : nullptr);
      status != 0)
    return status;
  // The encoder takes the component bitmaps when it adds the page (and when adding fails); a
  // page the budget refused leaves them here, and the array always stays here.
  const int32_t before = enc->encoder->pageCount;
  const int32_t status =
      addColorTokensPage(enc->encoder, components, count, source, grey, overflow);
  if (status == 0 && enc->encoder->pageCount == before)
    freeTextComponents(state, &components, count);
  qtz::release(state, components);
  if (grey != nullptr) QtzImage_free(grey);
  return status;
}

// Offers a page (its core image and source record, both taken) to the open section.
int32_t offerPage(QtzState *state, NorvEncState *enc, Pixr *core, NorvPageSource *offered,
                  PageOutcome *outcome) {
  *outcome = PageOutcome{};
  qtz::OwnedBlock<NorvPageSource> source(state, offered);
  pxl::OwnedImage image(state->ipwContext, core);
  OwnedWriterPage page(enc->writer);
  if (const int32_t status = newWriterPage(enc->writer, source->width, source->height, page.put());
      status != 0)
    return status;
  NorvEncoder *encoder = enc->encoder;
  const int32_t before = encoder->pageCount;
  uint8_t overflow = 0;
  if (const int32_t status =
          addToEncoder(state, enc, image.release(), page.get(), source.get(), &overflow);
      status != 0)
    return status;
  source->pixels = nullptr;  // they went with the page's image
  const bool added = encoder->pageCount > before;
  const bool alone = enc->pendingPages->count == 0;
  if (!added) {
    if (alone) return qtz::reportText(state, QTZ_ERR_ASSERT, "An empty section refused a page");
    // Nothing of this page is in the section: it ends normally, without a roll-back.
    encoder->overflow = 0;
    outcome->sectionFull = true;
    return QTZ_OK;
  }
  if (overflow != 0) {
    outcome->sectionFull = true;
    // With other pages the section's close rolls this one back; alone it is coded alone.
    if (!alone) return QTZ_OK;
    encoder->overflow = 0;
  }
  QtzAdtListNode *node = nullptr;
  if (QtzAdt_liAdd(enc->pendingPages, source.get(), &node) != 0)
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  if (const int32_t status = addWriterPage(enc->writer, page.get()); status != 0) {
    QtzAdt_liRem(node);
    return status;
  }
  source.release();
  page.release();
  ++enc->pageCount;
  outcome->accepted = true;
  return QTZ_OK;
}

// The JBIG2 bytes of the k-th page of the ended section as its writer page's mask layer.
int32_t attachPageData(QtzState *state, NorvEncState *enc, const NorvPageSource *source,
                       int32_t k) {
  uint8_t *data = nullptr;
  size_t length = 0, payloadLength = 0;
  if (const int32_t status = encodeSectionPages(enc->encoder, &data, &length, &payloadLength);
      status != 0)
    return status;
  qtz::OwnedBlock<uint8_t> bytes(state, data);
  if (payloadLength > length) return qtz::report(state, QTZ_ERR_ASSERT);
  qtz::OwnedBlock<NorvLayerRecord> record(
      state, static_cast<NorvLayerRecord *>(qtz::allocate(state, sizeof(NorvLayerRecord))));
  if (!record) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  *record.get() = NorvLayerRecord{
      source->width,          source->height, 0, 0, source->xdpi, source->ydpi, data,
      length - payloadLength, payloadLength,  2, 0};
  NorvWriterPage *page = nullptr;
  if (const int32_t status = getWriterPage(enc->writer, k, &page); status != 0) return status;
  if (const int32_t status = attachMaskLayer(page, record.get()); status != 0) return status;
  record.release();
  bytes.release();
  return QTZ_OK;
}

// Ends the open section (final, or a flush), hands its pages to the writer, writes it and opens
// the next section. Every pending page source is freed.
int32_t writeOpenSection(QtzState *state, NorvEncState *enc, bool endOfSection) {
  NorvEncoder *encoder = enc->encoder;
  const bool refine = enc->greyTemplates != 0;
  const int32_t mode = endOfSection || refine ? NORV_CLOSE_FINAL : NORV_CLOSE_FLUSH;
  if (const int32_t status = closeSection(encoder, mode); status != 0) return status;
  if (refine) {
    if (const int32_t status = refineClassTemplates(encoder); status != 0) return status;
  }
  // After a roll-back the section holds exactly the pages waiting here.
  if (encoder->section == nullptr || encoder->section->pageCount != enc->pendingPages->count)
    return qtz::reportText(state, QTZ_ERR_ASSERT, "Section and pending pages differ");
  const uint8_t final = endOfSection ? 1 : 0;
  uint8_t *globals = nullptr;
  size_t globalsLength = 0;
  if (const int32_t status = encodeSectionGlobals(encoder, final, &globals, &globalsLength);
      status != 0)
    return status;
  if (const int32_t status = setSectionGlobals(enc->writer, globals, globalsLength); status != 0) {
    qtz::release(state, globals);
    return status;
  }
  int32_t k = 1;
  for (QtzAdtListNode *node = enc->pendingPages->head; node != nullptr; ++k) {
    auto *source = static_cast<NorvPageSource *>(node->data);
    if (const int32_t status = attachPageData(state, enc, source, k); status != 0) return status;
    qtz::release(state, source);
    QtzAdt_liRemAndNext(node, &node);
  }
  if (const int32_t status = writeSection(enc->writer, final); status != 0) return status;
  return startEncoderSection(encoder);
}

// The section rule after a page was offered: with pages pending, the open section ends when the
// page count reaches a multiple of sectionPages, the budget is reached or no page follows
// (`lastInput`); else it is flushed at a multiple of flushPages; else it stays open.
int32_t applySectionRule(QtzState *state, NorvEncState *enc, bool sectionFull, bool lastInput) {
  if (enc->pendingPages->count == 0) return QTZ_OK;
  const int32_t n = enc->pageCount;
  const bool end = n % enc->sectionPages == 0 || sectionFull || lastInput;
  if (!end && n % enc->flushPages != 0) return QTZ_OK;
  return writeOpenSection(state, enc, end);
}

// 2 (reported) unless the record was started: encoder, writer and pending list present.
int32_t checkStarted(QtzState *state, const NorvEncState *enc) {
  if (enc == nullptr || enc->encoder == nullptr || enc->writer == nullptr ||
      enc->pendingPages == nullptr)
    return qtz::report(state, QTZ_ERR_PARAM);
  return QTZ_OK;
}

NorvPageSource *newSource(QtzState *state) {
  return static_cast<NorvPageSource *>(qtz::allocate(state, sizeof(NorvPageSource)));
}

int32_t openRecordWriter(QtzState *state, NorvEncState *enc) {
  if (enc->writer != nullptr) return QTZ_OK;
  if (enc->writeRawJbig2 == 0) return openTfxWriter(state, &enc->output, &enc->writer);
  if (enc->writePdf != 0) return openPdfWriter(state, &enc->output, &enc->writer);
  return openJbig2FileWriter(state, &enc->output, &enc->writer);
}

// Reports "I can't open error log file "<path>" for writing." as 10000.
int32_t logOpenFailed(QtzState *state, const char *logPath) {
  constexpr char kFormat[] = "I can't open error log file \"%s\" for writing.\n";
  const size_t size = std::strlen(logPath) + sizeof kFormat;
  qtz::OwnedBlock<char> text(state, static_cast<char *>(qtz::allocate(state, size)));
  if (!text) return qtz::report(state, 10000);
  std::snprintf(text.get(), size, kFormat, logPath);
  return qtz::reportText(state, 10000, text.get());
}

int32_t startRecord(QtzState *state, NorvEncState *enc) {
  if (const int32_t status = openRecordWriter(state, enc); status != 0) return status;
  if (enc->pendingPages == nullptr && QtzAdt_liNew(&enc->pendingPages, state) != 0)
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  return buildRecordEncoder(state, enc);
}

}  // namespace

int32_t buildRecordEncoder(QtzState *state, NorvEncState *enc) {
  if (enc->encoder != nullptr) return QTZ_OK;
  const NorvTokenGroup tokens = norvTokenGroupOf(*enc);
  const TokOptions lossy = norvLossyGroupOf(*enc);
  const NorvDocGroup doc = norvDocGroupOf(*enc);
  const NorvJpegGroup jpeg = norvJpegGroupOf(*enc);
  NorvEncoder *encoder = nullptr;
  if (const int32_t status =
          buildEncoder(&encoder, &state->alloc, nullptr, &tokens, &lossy, &doc, &jpeg);
      status != 0)
    return status;
  if (const int32_t status = startEncoderSection(encoder); status != 0) {
    destroyEncoder(encoder);
    return status;
  }
  enc->encoder = encoder;
  return QTZ_OK;
}

void setErrorStream(QtzState *state, NorvEncState *enc, void *stream) {
  if (state->errSink == nullptr) return;
  if (enc->errStreamSaved == 0) {
    enc->savedErrStream = state->errSink->stream;
    enc->errStreamSaved = 1;
  }
  state->errSink->stream = stream;
}

void restoreErrorStream(QtzState *state, NorvEncState *enc) {
  if (enc->errStreamSaved != 0 && state->errSink != nullptr)
    state->errSink->stream = enc->savedErrStream;
  enc->errStreamSaved = 0;
  enc->savedErrStream = nullptr;
  if (enc->logFile != nullptr) std::fclose(enc->logFile);
  enc->logFile = nullptr;
}

void releaseEncoding(QtzState *state, NorvEncState *enc) {
  if (enc->pendingPages != nullptr) {
    for (QtzAdtListNode *node = enc->pendingPages->head; node != nullptr; node = node->next)
      qtz::release(state, node->data);
    QtzAdt_liFree(enc->pendingPages);
    enc->pendingPages = nullptr;
  }
  if (enc->encoder != nullptr) {
    qtz::release(enc->encoder->state, enc->bandedGlobals);
    qtz::release(enc->encoder->state, enc->bandedPage);
    if (destroyEncoder(enc->encoder) != QTZ_OK)
      qtz::reportText(state, QTZ_MSG_WARNING, "Problem cleaning up; continuing anyway.");
  }
  enc->bandedGlobals = nullptr;
  enc->bandedPage = nullptr;
  enc->encoder = nullptr;
}

}  // namespace norvenc

extern "C" int32_t norv_encStart(QtzState *state, NorvEncState *enc, FILE *outFile,
                                 const char *logPath) {
  if (state == nullptr) return QTZ_ERR_NULL;
  if (enc == nullptr) return qtz::report(state, QTZ_ERR_PARAM);
  if (outFile == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  enc->output.file = outFile;
  enc->pageCount = 0;
  bool openedLog = false;
  if (enc->quiet != 0) {
    norvenc::setErrorStream(state, enc, nullptr);
  } else if (logPath != nullptr && std::strcmp(logPath, "stderr") == 0) {
    norvenc::setErrorStream(state, enc, stderr);
  } else if (logPath != nullptr) {
    FILE *log = std::fopen(logPath, "w");
    if (log == nullptr) return norvenc::logOpenFailed(state, logPath);
    if (enc->logFile != nullptr) std::fclose(enc->logFile);
    enc->logFile = log;
    norvenc::setErrorStream(state, enc, log);
    openedLog = true;
  }
  const int32_t status = norvenc::startRecord(state, enc);
  if (status != 0 && openedLog) norvenc::restoreErrorStream(state, enc);
  return status;
}

namespace norvenc {
namespace {

// Every page of the TIFF file to the open section, by the section rule. The file stays open
// over the loop, so each page is reached from the one before.
int32_t encodeDocument(QtzState *state, NorvEncState *enc, const char *tiffPath, int32_t last) {
  PxlContext *ctx = state->ipwContext;
  if (ctx == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  pxl::OwnedTiff file(ctx);
  if (const int32_t status = pxlOpenTiffForRead(ctx, tiffPath, file.put()); status != 0)
    return status;
  for (int32_t index = 0;;) {
    NorvPageSource *source = newSource(state);
    if (source == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
    TcImage *image = nullptr;
    if (const int32_t status = readSourcePage(state, file.get(), source, index, &image,
                                              enc->quarterTurns, enc->defaultDpi);
        status != 0) {
      qtz::release(state, source);
      return status;
    }
    const bool exhausted = image == nullptr;
    PageOutcome outcome;
    if (exhausted) {
      qtz::release(state, source);
    } else {
      // The page's core image goes on alone; the record is freed here.
      Pixr *core = image->image;
      image->image = nullptr;
      tc_freeImage(state, image);
      if (const int32_t status = offerPage(state, enc, core, source, &outcome); status != 0)
        return status;
      // A refused page is read again into the next section.
      if (outcome.accepted) ++index;
    }
    if (const int32_t status =
            applySectionRule(state, enc, outcome.sectionFull, last == 1 && exhausted);
        status != 0)
      return status;
    if (exhausted) return QTZ_OK;
  }
}

// The caller's image to the open section, by the section rule.
int32_t encodeImage(QtzState *state, NorvEncState *enc, const QtzImage *image, int32_t last) {
  PageOutcome outcome;
  // A page refused by the open section ends it and goes into the next one; a fresh section
  // always takes it (or fails).
  while (!outcome.accepted) {
    Pixr *core = nullptr;
    if (const int32_t status = tc_convertToPixr(state, image, &core); status != 0) return status;
    NorvPageSource *source = newSource(state);
    if (source == nullptr) {
      pxlDestroyImage(state->ipwContext, &core);
      return qtz::report(state, QTZ_ERR_NO_MEMORY);
    }
    describeSource(state, core, enc->defaultDpi, source);
    if (const int32_t status = offerPage(state, enc, core, source, &outcome); status != 0)
      return status;
    if (!outcome.accepted) {
      if (const int32_t status = writeOpenSection(state, enc, true); status != 0) return status;
    }
  }
  return applySectionRule(state, enc, outcome.sectionFull, last == 1);
}

// An encoding call: the record and its input checked, then encode(); a failure leaves the
// output abandoned (see the head of the file).
template <typename Input, typename Encode>
int32_t encodingCall(QtzState *state, NorvEncState *enc, const Input *input, Encode encode) {
  if (state == nullptr) return QTZ_ERR_NULL;
  if (const int32_t status = checkStarted(state, enc); status != 0) return status;
  if (input == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  const int32_t status = encode();
  if (status != 0) abandonOutput(enc->writer, status);
  return status;
}

}  // namespace
}  // namespace norvenc

extern "C" int32_t norv_encDocument(QtzState *state, NorvEncState *enc, const char *tiffPath,
                                    int32_t last) {
  return norvenc::encodingCall(state, enc, tiffPath,
                               [&] { return norvenc::encodeDocument(state, enc, tiffPath, last); });
}

extern "C" int32_t norv_encPage(QtzState *state, NorvEncState *enc, const QtzImage *image,
                                int32_t last) {
  return norvenc::encodingCall(state, enc, image,
                               [&] { return norvenc::encodeImage(state, enc, image, last); });
}
