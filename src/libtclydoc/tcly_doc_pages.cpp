// Pages of the token document: a bilevel page whole or band by band, the text components of a
// colour page, their storage in the section (the token document's page record and the
// compressed document's beside it) and the section's dictionary budget.
//
// Room for both records is made before the page's tokens reach the classifier, so that once
// they have, storing the page cannot fail. A page that fails in between (its tokens are in the
// classifier, the page is not stored) marks the document; see tcly_doc_internal.h.
#include <algorithm>
#include <cstring>

#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tcly_banded_internal.h"
#include "tcly_doc_internal.h"

namespace tcly {
namespace {

constexpr char kLimitTooSmall[] = "Dicionary Memory limit is too small";

int32_t bytesOf(int32_t wordsPerRow, int32_t height) {
  return wordsPerRow * height * 4 + 32;
}

// Room for one more record in an array of count records: count x 3 / 2 when full.
template <typename T>
int32_t reserve(QtzState *state, T **items, int32_t *capacity, int32_t count) {
  if (count < *capacity) return QTZ_OK;
  const int32_t grown = std::max(count * 3 / 2, count + 1);
  void *block = qtz::resize(state, *items, sizeof(T) * static_cast<size_t>(grown));
  if (block == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  *items = static_cast<T *>(block);
  *capacity = grown;
  return QTZ_OK;
}

TclyBoxesOptions boxesOptions(const TclyDoc *doc) {
  return TclyBoxesOptions{
      doc->lossy.smallTokenSize, doc->componentSizeLimit,
      doc->jbig2Halftones,       doc->tenthLimit,
      doc->memoryLimit,          (doc->lossy.flags & TOK_FLAG_KEEP_INPUT) != 0 ? 1 : 0};
}

// Checks the document and readies both page records; room for both is made first.
int32_t beginPage(TclyDoc *doc, QtzTdcDoc *tdc, int32_t pageNumber, int32_t width, int32_t height,
                  int32_t xdpi, int32_t ydpi, int32_t colour) {
  if (doc == nullptr) return QTZ_ERR_NULL;
  QtzState *state = doc->state;
  TclySection *section = doc->section;
  if (tdc == nullptr || section == nullptr || doc->tokenizer == nullptr ||
      tdc->section == nullptr || tdc->section->positions == nullptr ||
      tdc->section->tokens == nullptr)
    return qtz::report(state, QTZ_ERR_NULL);
  if (doc->pagePending != 0 || doc->page.banded != nullptr)
    return qtz::reportText(state, QTZ_ERR_ASSERT, "A page is still open or failed");
  int32_t status = reserve(state, &section->pages, &section->capacity, section->pageCount);
  if (status == QTZ_OK)
    status =
        reserve(state, &tdc->section->pages, &tdc->section->pageCapacity, tdc->section->pageCount);
  if (status != QTZ_OK) return status;
  doc->tdcLastPage = tdc->page;
  TclyPageRecord &page = doc->page;
  page = TclyPageRecord{};
  page.pageNumber = pageNumber;
  page.sectionIndex = section->pageCount;
  page.colour = colour;
  page.width = width;
  page.height = height;
  page.xdpi = xdpi;
  page.ydpi = ydpi;
  QtzTdcPageRecord &record = tdc->page;
  std::memset(static_cast<void *>(&record), 0, sizeof record);
  record.pageNumber = pageNumber;
  record.index = -1;
  record.width = width;
  record.height = height;
  record.xResolution = xdpi;
  record.yResolution = ydpi;
  record.kind = colour != 0 ? QTZ_TDC_COLOUR_PAGE : QTZ_TDC_MONO_PAGE;
  return QTZ_OK;
}

void applyOverride(const TclyDoc *doc, TclyPageRecord &page, QtzTdcPageRecord &record) {
  if (doc->resolutionOverride == -1) return;
  page.xdpi = page.ydpi = doc->resolutionOverride;
  record.xResolution = record.yResolution = doc->resolutionOverride;
}

// Stores both records (room was made by beginPage).
void storePage(TclyDoc *doc, QtzTdcDoc *tdc) {
  TclySection *section = doc->section;
  section->pages[section->pageCount++] = doc->page;
  QtzTdcSection *cd = tdc->section;
  tdc->page.index = cd->pageCount;
  cd->pages[cd->pageCount++] = tdc->page;
  doc->runningTotal += doc->page.addCount;
  doc->pagePending = 0;
}

// The section's memory budget for the page just stored; -1 when the limit is smaller than the
// section's only page (with needFinal, only in a section whose classifier started empty). The
// page weighs its dictionary and compressed-document estimates and the two estimates of its
// compressed-document record (its boxes and positions stay with the section).
int32_t applyBudget(TclyDoc *doc, QtzTdcDoc *tdc, bool needFinal) {
  TclySection *section = doc->section;
  const TclyPageRecord &page = doc->page;
  if (doc->memoryLimit <= 0) {
    section->overflow = 0;
    return QTZ_OK;
  }
  const int64_t record = int64_t{tdc->page.estimates[0]} + tdc->page.estimates[1];
  const int64_t estimate = int64_t{page.dictionaryEstimate} + page.compressedEstimate + record +
                           section->runningEstimate + section->compressedEstimate;
  if (estimate >= doc->memoryLimit) {
    section->overflow = 1;
    if (section->pageCount == 1 && (!needFinal || section->final == 1))
      return qtz::reportText(doc->state, -1, kLimitTooSmall);
    return QTZ_OK;
  }
  section->runningEstimate += page.dictionaryEstimate;
  section->compressedEstimate += static_cast<int32_t>(page.compressedEstimate + record);
  section->overflow = 0;
  return QTZ_OK;
}

// A page that failed before it was stored: both working records go back to the last stored
// page's (the failed page's data is freed by whoever held it).
void abandonPage(TclyDoc *doc, QtzTdcDoc *tdc) {
  TclySection *section = doc->section;
  doc->page = section->pageCount > 0 ? section->pages[section->pageCount - 1] : TclyPageRecord{};
  tdc->page = doc->tdcLastPage;
}

// Positions that a failed page left in the compressed document's block belong to no page.
void abandonPositions(QtzTdcDoc *tdc, int32_t from) {
  QtzCCPosBlock *positions = tdc->section->positions;
  for (int32_t i = from; i < positions->count; ++i) positions->items[i].page = -1;
}

// A bilevel page's boxes go into both records, the page is stored and weighed.
int32_t finishMonoPage(TclyDoc *doc, QtzTdcDoc *tdc, TclyPageBoxes &boxes) {
  TclyPageRecord &page = doc->page;
  QtzTdcPageRecord &record = tdc->page;
  applyOverride(doc, page, record);
  if (boxes.tokens == nullptr || boxes.tokenCount != boxes.tokens->count) {
    tclyFreePageBoxes(doc->state, &boxes);
    return qtz::reportText(doc->state, QTZ_ERR_ASSERT, "Token count disagrees with the list");
  }
  page.tokens = boxes.tokens;
  page.tokenCount = boxes.tokenCount;
  page.generics = boxes.generics;
  page.addCount = boxes.boxCount;
  page.splitRow = boxes.splitRow;
  page.skewAngle = boxes.skewAngle;
  page.dictionaryEstimate = boxes.dictionaryEstimate;
  page.compressedEstimate = boxes.compressedEstimate;
  page.halftones = boxes.halftoneRegions;
  page.halftoneData = boxes.halftoneImages;
  record.boxes = boxes.boxes;
  record.boxCount = boxes.boxCount;
  record.estimates[0] = boxes.compressedPageEstimates[0];
  record.estimates[1] = boxes.compressedPageEstimates[1];
  boxes = TclyPageBoxes{};
  storePage(doc, tdc);
  return applyBudget(doc, tdc, true);
}

}  // namespace
}  // namespace tcly

using namespace tcly;

extern "C" int32_t tcly_doc_addMonoPage(const uint8_t *pixels, TclyDoc *doc, QtzTdcDoc *tdc,
                                        int32_t width, int32_t height, int32_t bytesPerRow,
                                        int32_t xdpi, int32_t ydpi, int32_t pageNumber, int32_t) {
  int32_t status = beginPage(doc, tdc, pageNumber, width, height, xdpi, ydpi, 0);
  if (status != QTZ_OK) return status;
  const TclyPageInput input{pixels, width, height,     bytesPerRow,
                            xdpi,   ydpi,  pageNumber, tdc->section->pageCount};
  const TclyBoxesOptions options = boxesOptions(doc);
  const TclyCompressedSide side{tdc->classifier, tdc->section->positions, tdc->section->tokens};
  const int32_t firstPosition = tdc->section->positions->count;
  TclyPageBoxes boxes{};
  doc->pagePending = 1;
  status = getBoxesLossy(doc->state, doc->tokenizer, input, options, side, doc->deskew, &boxes);
  if (status == QTZ_OK) status = finishMonoPage(doc, tdc, boxes);
  if (doc->pagePending != 0) {
    abandonPositions(tdc, firstPosition);
    abandonPage(doc, tdc);
  }
  return status;
}

extern "C" int32_t tcly_doc_addColorTokens(QtzSCTextComponent *components, int32_t count,
                                           TclyDoc *doc, QtzTdcDoc *tdc, int32_t width,
                                           int32_t height, int32_t, int32_t xdpi, int32_t ydpi,
                                           int32_t pageNumber, int32_t) {
  int32_t status = beginPage(doc, tdc, pageNumber, width, height, xdpi, ydpi, 1);
  if (status != QTZ_OK) {
    for (int32_t i = 0; i < count && components != nullptr; ++i) {
      QtzImage_free(components[i].bitmap);
      components[i].bitmap = nullptr;
    }
    return status;
  }
  QtzState *state = doc->state;
  TclySection *section = doc->section;
  TclyPageRecord &page = doc->page;
  QtzTdcPageRecord &record = tdc->page;
  applyOverride(doc, page, record);
  QtzAdtList *tokens = nullptr;
  status = colourComponentsToTokens(state, components, count, pageNumber, &tokens);
  if (status != QTZ_OK) {
    abandonPage(doc, tdc);
    return status;
  }
  QtzAdtList *small = nullptr;
  qtz::OwnedBlock<QtzCCBox> instances(
      state, static_cast<QtzCCBox *>(qtz::allocateZeroed(
                 state, static_cast<size_t>(std::max(count, 1)), sizeof(QtzCCBox))));
  if (!instances || QtzAdt_liNew(&small, state) != QTZ_OK) {
    tclyFreeTokenList(state, tokens);
    abandonPage(doc, tdc);
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  }
  page.tokens = tokens;
  page.smallTokens = small;

  // Small tokens are kept by position; the rest go to the classifier until the estimates pass
  // the limit. From the first classified token on the page is pending.
  const int32_t limit = doc->memoryLimit;
  const int32_t smallSize = doc->lossy.smallTokenSize;
  const bool copies = (doc->lossy.flags & TOK_FLAG_KEEP_INPUT) != 0;
  const int64_t carried = int64_t{section->runningEstimate} + section->compressedEstimate;
  QtzAdtListNode *n = tokens->head;
  while (n != nullptr && status == QTZ_OK) {
    auto *token = static_cast<TclyToken *>(n->data);
    QtzAdtListNode *next = n->next;
    if (token->width < smallSize && token->height < smallSize) {
      token->y = token->y + token->height - 1;
      status = QtzAdt_liAdd(small, token, nullptr);
      if (status != QTZ_OK) {
        status = qtz::report(state, QTZ_ERR_NO_MEMORY);
        break;
      }
      QtzAdt_liRem(n);
      if (limit > 0) page.compressedEstimate += bytesOf(token->wordsPerRow, token->height);
    } else {
      int32_t before = 0;
      int32_t after = 0;
      doc->pagePending = 1;
      const TokInputToken input{token->width, token->height, token->bits, token->wordsPerRow,
                                reinterpret_cast<uintptr_t>(token)};
      if (!copies) {
        token->bits = nullptr;
        token->ownsBits = 0;
      }
      status = tokGetClassCount(doc->tokenizer, &before);
      if (status == QTZ_OK) status = tokAddToken(doc->tokenizer, &input);
      if (status == QTZ_OK) status = tokGetClassCount(doc->tokenizer, &after);
      if (status != QTZ_OK) break;
      if (limit > 0 && after > before)
        page.dictionaryEstimate += bytesOf(token->wordsPerRow, token->height);
    }
    n = next;
    if (limit > 0 && carried + page.dictionaryEstimate + page.compressedEstimate > int64_t{limit})
      break;
  }
  // Tokens the walk did not reach are dropped.
  while (status == QTZ_OK && n != nullptr) {
    QtzAdtListNode *next = n->next;
    tclyReleaseToken(state, static_cast<TclyToken *>(n->data));
    QtzAdt_liRem(n);
    n = next;
  }
  if (status != QTZ_OK) {
    tclyFreePageData(state, &page);
    abandonPage(doc, tdc);
    return status == QTZ_ERR_NO_MEMORY ? status : qtz::report(state, status);
  }
  page.tokenCount = tokens->count;
  page.addCount = small->count;
  record.boxes = instances.release();
  record.estimates[0] = std::max(count, 1) * static_cast<int32_t>(sizeof(QtzCCBox));
  storePage(doc, tdc);
  return applyBudget(doc, tdc, false);
}

extern "C" int32_t tcly_startPage(TclyDoc *doc, QtzTdcDoc *tdc, int32_t pageNumber, int32_t width,
                                  int32_t height, int32_t xdpi, int32_t ydpi) {
  int32_t status = beginPage(doc, tdc, pageNumber, width, height, xdpi, ydpi, 0);
  if (status != QTZ_OK) return status;
  doc->page.splitRow = 1;
  const TclyPageInput input{nullptr, width, height,     0,
                            xdpi,    ydpi,  pageNumber, tdc->section->pageCount};
  const TclyBoxesOptions options = boxesOptions(doc);
  const TclyCompressedSide side{tdc->classifier, tdc->section->positions, tdc->section->tokens};
  status = tclyStartBandedPage(doc->state, doc->tokenizer, input, options, side, &doc->page.banded);
  if (status != QTZ_OK) {
    abandonPage(doc, tdc);
    return status;
  }
  doc->pageFirstPosition = tdc->section->positions->count;
  return QTZ_OK;
}

extern "C" int32_t tcly_encBufferInPage(TclyDoc *doc, const uint8_t *rows, int32_t width,
                                        int32_t rowCount, int32_t bytesPerRow, int32_t frame,
                                        int32_t last, int32_t) {
  if (doc == nullptr) return QTZ_ERR_NULL;
  if (doc->page.banded == nullptr) return qtz::report(doc->state, QTZ_ERR_NULL);
  // A band refused by its arguments (2) is refused before any of its rows is walked.
  const int32_t status =
      tclyAddBand(doc->page.banded, rows, width, rowCount, bytesPerRow, frame, last);
  if (status != QTZ_ERR_PARAM) doc->pagePending = 1;
  return status;
}

extern "C" int32_t tcly_endPage(TclyDoc *doc, QtzTdcDoc *tdc) {
  if (doc == nullptr) return QTZ_ERR_NULL;
  if (tdc == nullptr || tdc->section == nullptr || doc->page.banded == nullptr)
    return qtz::report(doc->state, QTZ_ERR_NULL);
  TclyPageBoxes boxes{};
  int32_t status = tclyEndBandedPage(doc->page.banded, &boxes);
  tclyFreeBandedPage(&doc->page.banded);
  if (status == QTZ_OK) status = finishMonoPage(doc, tdc, boxes);
  if (status != QTZ_OK && status != -1) {
    if (doc->pagePending != 0) abandonPositions(tdc, doc->pageFirstPosition);
    abandonPage(doc, tdc);
  }
  return status;
}
