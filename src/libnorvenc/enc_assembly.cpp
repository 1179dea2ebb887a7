// The encoder assembly's life and sections: the option groups read out of the encoder state,
// the encoder built over its own library state (JBIG2 back-end table, lossy and
// compressed-document option copies, token document, compressed document, JBIG2 output) and
// destroyed, sections opened and ended, the dictionary budget tested before each page, and
// pages added whole, band by band or as the text components of a colour page.
//
// Sections: every end leaves the restart flag set, since both documents keep their classifiers
// (or the knowledge that they must start anew) in the ended section records: the next start
// hands those records back. A flush with no memory limit ends the section non-final, so the
// classes coded so far carry into the next section; any other end is final.
//
// Failures: 10003 for a record that does not point to itself; 118 for a budget test without
// section records; 1 out of memory (reported); the layers' statuses pass up unchanged.
#include <cstdio>

#include "enc_assembly.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tcly_grey_internal.h"

namespace {

constexpr uint32_t kLossyFlags = TOK_FLAG_MEMBER_RECORDS | TOK_FLAG_REALIGN;  // 0x18
constexpr float kDefaultJpegScale = 1.0f;
constexpr int32_t kDefaultJpegQuality = 75;
constexpr char kCleanUpWarning[] = "Problem cleaning up; continuing anyway.";

bool valid(const NorvEncoder *encoder) {
  return encoder != nullptr && encoder->self == encoder;
}

// The lossy option copy: fields 0 to 13 of the group (or the defaults), the rest the encoder's.
TokOptions lossyCopy(const TokOptions *group, QtzState *state) {
  TokOptions o = group != nullptr
                     ? *group
                     : TokOptions{0.97f, 3, 1,    1, 10000, 10000, 10,      0,       8,      3,
                                  6,     6, 2.0f, 1, 0,     0,     nullptr, nullptr, nullptr};
  o.dilationCode = 0;
  o.flags = kLossyFlags;
  o.state = state;
  o.endSectionHook = nullptr;
  o.hookUserData = nullptr;
  return o;
}

NorvDocGroup docCopy(const NorvDocGroup *group, QtzState *state, uint8_t verbose) {
  NorvDocGroup d{};
  if (group != nullptr) {
    d = *group;
  } else {
    d.componentSizeLimit = 1;
    d.words[0] = d.words[1] = -1;
    d.option = 301;
    d.option2 = 1;
    d.flags[3] = 1;
    d.verbose = verbose;
  }
  d.classifier.state = state;
  return d;
}

// Closes the three layers that exist (the compressed document with the section record its
// last end handed out, then the token document likewise, then the JBIG2 output); whether every
// one closed cleanly.
bool closeLayers(NorvEncoder *encoder) {
  bool clean = true;
  norvenc::dropSectionOutput(encoder);
  if (encoder->tdc != nullptr) clean &= tdcFreeDoc(&encoder->tdc, encoder->tdcSection) == QTZ_OK;
  encoder->tdcSection = nullptr;
  if (encoder->doc != nullptr) clean &= tcly_doc_end(encoder->doc, encoder->section) == QTZ_OK;
  encoder->doc = nullptr;
  encoder->section = nullptr;
  if (encoder->out != nullptr) clean &= tcly_out_end(encoder->out) == QTZ_OK;
  encoder->out = nullptr;
  return clean;
}

// Frees the option copies, the table and the record, then the encoder's state.
void freeEncoder(NorvEncoder *encoder) {
  QtzState *state = encoder->state;
  qtz::release(state, encoder->docOptions);
  qtz::release(state, encoder->lossy);
  qtz::release(state, encoder->ops);
  encoder->self = nullptr;
  qtz::release(state, encoder);
  Qtz_cleanupQtzState(&state);
}

}  // namespace

NorvTokenGroup norvTokenGroupOf(const NorvEncState &e) {
  return NorvTokenGroup{e.componentSizeLimit,
                        e.tokenOption1,
                        e.deskewPrecision,
                        e.orientation,
                        e.quarterTurns,
                        e.jbig2Halftones,
                        e.resolutionOverride,
                        {e.spare[0], e.spare[1]},
                        e.deskewTokens,
                        e.pageDictFlagOff,
                        e.outputMode,
                        e.tenthLimit,
                        e.dictionaryMemoryLimit,
                        e.verbose,
                        e.writePdf};
}

TokOptions norvLossyGroupOf(const NorvEncState &e) {
  return TokOptions{e.matchFraction,
                    e.maxClusterErrors,
                    e.widthRadius,
                    e.heightRadius,
                    e.freezeCount,
                    e.accumulateLimit,
                    e.countTemplateMinimum,
                    e.countImageMinimum,
                    e.shiftTrials,
                    e.errorOffset,
                    e.errorKnee,
                    e.smallTokenSize,
                    e.errorSlope,
                    e.dilationRadius,
                    0,
                    e.tokFlags,
                    e.lossyState,
                    nullptr,
                    e.hookUserData};
}

NorvDocGroup norvDocGroupOf(const NorvEncState &e) {
  return NorvDocGroup{QtzLlTokParams{static_cast<uint32_t>(e.docFirstWord), e.docState},
                      e.docComponentSizeLimit,
                      {e.docWords[0], e.docWords[1]},
                      e.docOption,
                      e.docOption2,
                      {e.docFlags[0], e.docFlags[1], e.docFlags[2], e.docFlags[3]},
                      e.docJbig2Halftones,
                      e.docVerbose,
                      {e.docTrailingWords[0], e.docTrailingWords[1]},
                      e.quiet};
}

NorvJpegGroup norvJpegGroupOf(const NorvEncState &e) {
  return NorvJpegGroup{e.jpegScale, e.jpegQualityCopy, e.jpegQuality, e.backgroundDpi,
                       e.noSymbolMatching};
}

int32_t buildEncoder(NorvEncoder **encoder, const QtzAllocTable *allocTable,
                     const QtzPoolCallbacks *poolCallbacks, const NorvTokenGroup *tokenGroup,
                     const TokOptions *lossyGroup, const NorvDocGroup *docGroup,
                     const NorvJpegGroup *jpegGroup) {
  if (encoder == nullptr || tokenGroup == nullptr) return QTZ_ERR_NULL;
  QtzState *state = nullptr;
  int32_t status =
      Qtz_initQtzState(&state, allocTable, poolCallbacks, stderr, Qtz_fileErrPrinter, 1, 1);
  if (status != QTZ_OK) return status;
  auto *made = static_cast<NorvEncoder *>(qtz::allocateZeroed(state, 1, sizeof(NorvEncoder)));
  if (made == nullptr) {
    qtz::report(state, QTZ_ERR_NO_MEMORY);
    Qtz_cleanupQtzState(&state);
    return QTZ_ERR_NO_MEMORY;
  }
  made->self = made;
  made->state = state;
  made->verbose = tokenGroup->verbose;
  made->ops = static_cast<TclyOutOps *>(qtz::allocateZeroed(state, 1, sizeof(TclyOutOps)));
  made->lossy = static_cast<TokOptions *>(qtz::allocate(state, sizeof(TokOptions)));
  made->docOptions = static_cast<NorvDocGroup *>(qtz::allocate(state, sizeof(NorvDocGroup)));
  if (made->ops == nullptr || made->lossy == nullptr || made->docOptions == nullptr) {
    qtz::report(state, QTZ_ERR_NO_MEMORY);
    freeEncoder(made);
    return QTZ_ERR_NO_MEMORY;
  }
  jbig2FillOutOps(made->ops);
  *made->lossy = lossyCopy(lossyGroup, state);
  *made->docOptions = docCopy(docGroup, state, tokenGroup->verbose);
  made->jpeg = jpegGroup != nullptr ? QtzTdcJpegParams{jpegGroup->scale, jpegGroup->qualityCopy}
                                    : QtzTdcJpegParams{kDefaultJpegScale, kDefaultJpegQuality};

  const NorvTokenGroup &t = *tokenGroup;
  const NorvDocGroup &d = *made->docOptions;
  status = tcly_doc_init(state, &made->doc, 1, t.jbig2Halftones, t.componentSizeLimit,
                         t.resolutionOverride, t.tenthLimit, made->lossy, t.deskewTokens,
                         t.deskewPrecision, t.orientation, t.dictionaryMemoryLimit, t.verbose);
  if (status == QTZ_OK)
    status = QtzTdc_initDoc(state, &made->tdc, d.flags[0], d.flags[1], d.jbig2Halftones,
                            d.componentSizeLimit, static_cast<uint16_t>(d.option), 0, &made->jpeg,
                            &made->docOptions->classifier, d.trailingWords[0], d.verbose);
  if (status == QTZ_OK)
    status = tcly_out_init(state, &made->out, 1, t.writePdf, &made->jpeg, t.tokenOption1,
                           t.spare[0], t.pageDictFlagOff, t.outputMode, t.verbose, made->ops);
  if (status != QTZ_OK) {
    closeLayers(made);
    freeEncoder(made);
    return status;
  }
  *encoder = made;
  return QTZ_OK;
}

int32_t destroyEncoder(NorvEncoder *encoder) {
  if (encoder == nullptr) return QTZ_OK;
  if (!valid(encoder)) return QTZ_ERR_ASSERT;
  // The warning goes out while the state that carries the sink still exists.
  if (!closeLayers(encoder)) qtz::reportText(encoder->state, QTZ_MSG_WARNING, kCleanUpWarning);
  freeEncoder(encoder);
  return QTZ_OK;
}

int32_t startEncoderSection(NorvEncoder *encoder) {
  if (!valid(encoder)) return QTZ_ERR_ASSERT;
  if (encoder->sectionOpen != 0) return QTZ_OK;
  // What the ended section's output kept goes before its records are reused.
  norvenc::dropSectionOutput(encoder);
  TclySection *previous = nullptr;
  QtzTdcSection *previousTdc = nullptr;
  if (encoder->restart != 0) {
    previous = encoder->section;
    previousTdc = encoder->tdcSection;
    // An output the compressed document will not resume (its classifier ended with the
    // section) is freed here: a reused section must come back without one.
    if (previousTdc != nullptr && encoder->tdc->classifier == nullptr &&
        previousTdc->output != nullptr) {
      for (QtzAdtListNode *n = previousTdc->output->head; n != nullptr; n = n->next) {
        auto *cls = static_cast<QtzLlClass *>(n->data);
        if (cls->members != nullptr) QtzAdt_liFree(cls->members);
        cls->members = nullptr;
      }
      QtzLlTokFreeOutput(previousTdc->output, encoder->state);
      previousTdc->output = nullptr;
    }
  }
  int32_t status =
      tcly_doc_startSection(encoder->doc, previous, encoder->pageCount, encoder->verbose);
  if (status == QTZ_OK) status = QtzTdc_startSection(encoder->tdc, previousTdc, encoder->verbose);
  if (status != QTZ_OK) return status;
  encoder->section = encoder->doc->section;
  encoder->tdcSection = encoder->tdc->section;
  encoder->sectionOpen = 1;
  encoder->restart = 0;
  return QTZ_OK;
}

int32_t checkSectionBudget(NorvEncoder *encoder, uint8_t *refuse) {
  if (!valid(encoder)) return QTZ_ERR_ASSERT;
  const TclyDoc *doc = encoder->doc;
  if (refuse == nullptr || doc == nullptr || doc->section == nullptr || encoder->tdc == nullptr ||
      encoder->tdc->section == nullptr)
    return QTZ_ERR_NULL;
  encoder->overflow = 0;
  *refuse = 0;
  const int32_t limit = doc->memoryLimit;
  if (limit <= 0) return QTZ_OK;
  const int64_t estimate =
      int64_t{doc->section->runningEstimate} + int64_t{doc->section->compressedEstimate};
  if (estimate >= limit) {
    encoder->overflow = 1;
    *refuse = 1;
  } else if (0.9 * static_cast<double>(limit) <= static_cast<double>(estimate)) {
    *refuse = 1;
  }
  return QTZ_OK;
}

namespace {

// The frame every page goes through: validity, an open section, the budget (a refused page
// gives 0 with the overflow byte), then the page itself, then the token document's flag.
template <typename AddFn>
int32_t addPage(NorvEncoder *encoder, uint8_t *overflow, AddFn add) {
  if (!valid(encoder)) return QTZ_ERR_ASSERT;
  if (overflow == nullptr) return qtz::report(encoder->state, QTZ_ERR_NULL);
  uint8_t refuse = 0;
  int32_t status = checkSectionBudget(encoder, &refuse);
  if (status != QTZ_OK) return qtz::report(encoder->state, status);
  if (refuse != 0) {
    *overflow = encoder->overflow;
    return QTZ_OK;
  }
  status = add();
  if (status != QTZ_OK) return status;
  ++encoder->pageCount;
  encoder->overflow = encoder->doc->section->overflow;
  *overflow = encoder->overflow;
  return QTZ_OK;
}

}  // namespace

int32_t addBilevelPage(NorvEncoder *encoder, const NorvPageSource *page, uint8_t *overflow) {
  if (valid(encoder) && page == nullptr) return qtz::report(encoder->state, QTZ_ERR_NULL);
  return addPage(encoder, overflow, [&] {
    return tcly_doc_addMonoPage(page->pixels, encoder->doc, encoder->tdc, page->width, page->height,
                                page->bytesPerRow, page->xdpi, page->ydpi, encoder->pageCount, 0);
  });
}

int32_t addColorTokensPage(NorvEncoder *encoder, QtzSCTextComponent *components,
                           int32_t componentCount, const NorvPageSource *page,
                           const QtzImage *greyImage, uint8_t *overflow) {
  if (valid(encoder) && page == nullptr) return qtz::report(encoder->state, QTZ_ERR_NULL);
  return addPage(encoder, overflow, [&] {
    TclyDoc *doc = encoder->doc;
    const int32_t pageNumber = encoder->pageCount;
    int32_t status = tcly_doc_addColorTokens(components, componentCount, doc, encoder->tdc,
                                             page->width, page->height, page->bytesPerRow,
                                             page->xdpi, page->ydpi, pageNumber, 0);
    if (status != QTZ_OK || greyImage == nullptr) return status;
    // The classes come out for the grey patches of this page's members and go back in; they
    // go back also when the gathering fails.
    QtzAdtList *classes = nullptr;
    status = tokEndSectionPartial(doc->tokenizer, &classes);
    if (status != QTZ_OK) return qtz::report(encoder->state, status);
    const int32_t gathered =
        gatherGreySamples(encoder->state, greyImage, classes, doc->page.tokens, pageNumber);
    status = tokReinsertClasses(doc->tokenizer, classes);
    if (status != QTZ_OK) {
      // The classes not put back are the caller's: freed here with their samples, as the
      // page fails.
      dropGreySamples(encoder->state, classes);
      tokFreeOutput(doc->tokenizer, classes, (doc->lossy.flags & TOK_FLAG_MEMBER_RECORDS) != 0);
      return qtz::report(encoder->state, status);
    }
    return gathered;
  });
}

int32_t addColorTokensPagePlain(NorvEncoder *encoder, QtzSCTextComponent *components,
                                int32_t componentCount, const NorvPageSource *page,
                                uint8_t *overflow) {
  return addColorTokensPage(encoder, components, componentCount, page, nullptr, overflow);
}

int32_t addMonoBand(NorvEncoder *encoder, const uint8_t *framedRows, int32_t width,
                    int32_t rowCount, int32_t bytesPerRow, int32_t pageHeight, int32_t xdpi,
                    int32_t ydpi, uint8_t newPage, uint8_t lastBand, uint8_t *overflow) {
  if (!valid(encoder)) return QTZ_ERR_ASSERT;
  if (overflow == nullptr) return qtz::report(encoder->state, QTZ_ERR_NULL);
  if (newPage != 0) {
    uint8_t refuse = 0;
    int32_t status = checkSectionBudget(encoder, &refuse);
    if (status != QTZ_OK) return qtz::report(encoder->state, status);
    encoder->bandRefused = refuse;
    if (refuse != 0) {
      *overflow = encoder->overflow;
      return QTZ_OK;
    }
    status = tcly_startPage(encoder->doc, encoder->tdc, encoder->pageCount, width, pageHeight, xdpi,
                            ydpi);
    if (status != QTZ_OK) return status;
  }
  // The bands of a refused page are passed over up to its last.
  if (encoder->bandRefused != 0) {
    *overflow = encoder->overflow;
    return QTZ_OK;
  }
  int32_t status =
      tcly_encBufferInPage(encoder->doc, framedRows, width, rowCount, bytesPerRow, 32, lastBand, 0);
  if (status != QTZ_OK || lastBand == 0) return status;
  status = tcly_endPage(encoder->doc, encoder->tdc);
  if (status != QTZ_OK) return status;
  ++encoder->pageCount;
  encoder->overflow = encoder->doc->section->overflow;
  *overflow = encoder->overflow;
  return QTZ_OK;
}

int32_t closeSection(NorvEncoder *encoder, int32_t mode) {
  if (!valid(encoder)) return QTZ_ERR_ASSERT;
  if (encoder->sectionOpen == 0) return qtz::report(encoder->state, QTZ_ERR_NULL);
  TclyOutput *out = encoder->out;
  const int32_t limit = encoder->doc->memoryLimit;
  uint8_t final = 1;
  if (mode == NORV_CLOSE_FINAL) {
    out->final = 1;
  } else if (limit < 0) {
    final = 0;
    out->final = 0;
  } else if (limit > 0) {
    out->final = 1;
  }
  TclySection *section = nullptr;
  QtzTdcSection *tdcSection = nullptr;
  int32_t status = QTZ_OK;
  if (encoder->overflow != 0) {
    status = tcly_doc_endSectionRollBack(encoder->doc, &section, encoder->verbose);
    if (status == QTZ_OK)
      status = QtzTdc_endSectionRollBack(encoder->tdc, &tdcSection, encoder->verbose);
    if (status != QTZ_OK) return status;
    encoder->overflow = 0;
    --encoder->pageCount;
    final = 1;
  } else {
    status = tcly_doc_endSection(encoder->doc, &section, final, encoder->verbose);
    if (status == QTZ_OK)
      status = QtzTdc_endSection(encoder->tdc, &tdcSection, final, encoder->verbose);
    if (status != QTZ_OK) return status;
  }
  encoder->section = section;
  encoder->tdcSection = tdcSection;
  encoder->sectionFinal = final;
  encoder->sectionOpen = 0;
  encoder->restart = 1;
  encoder->pageIndex = 0;
  return QTZ_OK;
}

int32_t refineClassTemplates(NorvEncoder *encoder) {
  if (!valid(encoder)) return QTZ_ERR_ASSERT;
  if (encoder->section == nullptr || encoder->sectionOpen != 0)
    return qtz::report(encoder->state, QTZ_ERR_NULL);
  return refineClassTemplates(encoder->state, encoder->section->classes);
}
