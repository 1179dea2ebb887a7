// Pages of the compressed document: bilevel pages added whole, colour pages started, fed in
// strips and ended, annotations, and the page records' storage in the section.
//
// A bilevel page's components all become tokens (the page's size is the maximum token size)
// with one box and one position each; the position's page value is the index the page takes
// in the section. Room for the page record is made before any token is added, so that a page
// whose tokens went in is always stored; a page that fails before it is stored leaves its
// positions marked as on no page.
//
// A colour strip runs the colour component finder over the strip's rows. One-colour
// components become coloured token boxes (a box, a colour entry, a position and a class of
// the classifier each); components with per-pixel colours are trimmed to their non-white part
// first; those and washed picture areas are sorted by top row and grouped while they overlap
// in rows: a lone component becomes an image strip of its own box, a group one merged strip.
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "cc_colour_internal.h"
#include "compdoc_strips.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tdc_internal.h"

namespace tdc {
namespace {

// Grows a block of `count` items to hold `count + more`; 1 when memory runs out (the block
// is unchanged).
template <typename T>
int32_t growItems(const QtzState *state, T *&items, int64_t count, int64_t more) {
  if (more <= 0) return QTZ_OK;
  void *grown = qtz::resize(state, items, static_cast<size_t>(count + more) * sizeof(T));
  if (grown == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  items = static_cast<T *>(grown);
  return QTZ_OK;
}

void freeLarge(QtzState *state, QtzAdtList *large) {
  if (large == nullptr) return;
  for (QtzAdtListNode *node = large->head; node != nullptr; node = node->next) {
    auto *record = static_cast<QtzCCLarge *>(node->data);
    qtz::release(state, record->runs);
    qtz::poolGive<5>(state, record);
  }
  QtzAdt_liFree(large);
}

void freeComponents(QtzState *state, QtzAdtList *list) {
  if (list == nullptr) return;
  for (QtzAdtListNode *node = list->head; node != nullptr; node = node->next)
    supercc::freeColourComponent(state, static_cast<QtzCCColourComponent *>(node->data));
  QtzAdt_liFree(list);
}

// The finder's two output lists, freed with what is left in them.
struct StripLists {
  QtzState *state;
  QtzAdtList *tokens = nullptr;
  QtzAdtList *pictures = nullptr;
  explicit StripLists(QtzState *s) : state(s) {}
  ~StripLists() {
    freeComponents(state, tokens);
    freeComponents(state, pictures);
  }
  StripLists(const StripLists &) = delete;
  StripLists &operator=(const StripLists &) = delete;
};

// The current page, when pageNumber names it and it is a colour page not yet stored.
bool isCurrentColourPage(const QtzTdcDoc *doc, int32_t pageNumber) {
  return doc->page.pageNumber == pageNumber && doc->page.index < 0 &&
         doc->page.kind == QTZ_TDC_COLOUR_PAGE;
}

void startPage(QtzTdcDoc *doc, int32_t pageNumber, int32_t width, int32_t height,
               int32_t xResolution, int32_t yResolution, int32_t kind) {
  discardUnstoredPage(doc);
  doc->page = emptyPage();
  doc->page.pageNumber = pageNumber;
  doc->page.width = width;
  doc->page.height = height;
  doc->page.xResolution = xResolution;
  doc->page.yResolution = yResolution;
  doc->page.kind = kind;
  doc->pageFirstPosition = doc->section->positions->count;
}

int32_t addTokenComponent(QtzTdcDoc *doc, QtzCCColourComponent *c) {
  if (c->flags != 0) return QTZ_ERR_ASSERT;
  QtzTdcSection *section = doc->section;
  QtzTdcPageRecord &page = doc->page;
  const int32_t box = page.boxCount;
  page.colours[box] = QtzTdcColour{static_cast<uint16_t>(c->rgb[0] << 8 | c->rgb[1]), c->rgb[2], 1};
  page.boxes[box] = QtzCCBox{0, 0, c->left, c->bottom};
  QtzCCPosBlock *positions = section->positions;
  const int32_t position = positions->count;
  positions->items[positions->count++] = QtzCCPosition{box, section->pageCount};
  QtzCCComponent component{c->runs, c->runCount, static_cast<uint16_t>(c->right - c->left + 1),
                           static_cast<uint16_t>(c->bottom - c->top + 1),
                           static_cast<uint32_t>(position)};
  const int32_t status = QtzCC_tokenAddCC(doc->state, doc->classifier, section->tokens, &component,
                                          &page.boxes[box].token);
  c->runs = component.runs;  // taken over by the classifier on success
  if (status != QTZ_OK) {
    positions->items[position].page = kNoPage;
    return status;
  }
  ++page.boxCount;
  return QTZ_OK;
}

bool runsFormRectangle(const StripComponent &c) {
  const int32_t width = c.right - c.left + 1;
  const int32_t height = c.bottom - c.top + 1;
  if (c.runCount != height || c.runs[0] != 0 || c.runs[1] != width) return false;
  for (int32_t i = 1; i < c.runCount; ++i)
    if (c.runs[2 * i] != c.runs[0] || c.runs[2 * i + 1] != c.runs[1]) return false;
  return true;
}

// The picture list as image strips of the current page.
int32_t codePictures(QtzTdcDoc *doc, QtzAdtList *pictures) {
  QtzState *state = doc->state;
  const int32_t count = pictures->count;
  qtz::OwnedBlock<StripComponent> components(
      state,
      static_cast<StripComponent *>(qtz::allocateZeroed(state, count, sizeof(StripComponent))));
  qtz::OwnedBlock<StripSource> sources(
      state, static_cast<StripSource *>(qtz::allocateZeroed(state, count, sizeof(StripSource))));
  if (!components || !sources) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  // The components leave the finder's records for the strip records.
  struct Release {
    QtzState *state;
    StripComponent *items;
    int32_t count;
    ~Release() {
      for (int32_t i = 0; i < count; ++i) {
        qtz::release(state, items[i].runs);
        QtzImage_free(items[i].image);
      }
    }
  } release{state, components.get(), 0};
  for (QtzAdtListNode *node = pictures->head; node != nullptr; node = node->next) {
    auto *c = static_cast<QtzCCColourComponent *>(node->data);
    if ((c->flags & (QTZ_CC_PER_PIXEL | QTZ_CC_WASHED)) == 0) return QTZ_ERR_ASSERT;
    components.get()[release.count++] = StripComponent{c->runs,  c->runCount, c->left,  c->top,
                                                       c->right, c->bottom,   c->image, c->flags};
    c->runs = nullptr;
    c->image = nullptr;
  }
  int32_t kept = 0;
  for (int32_t i = 0; i < count; ++i) {
    StripComponent &c = components.get()[i];
    if ((c.flags & kStripLargeShape) != 0) {
      const int32_t status = imgTrimComponent(&c, state);
      if (status != QTZ_OK) return status;
      if (c.left > c.right || c.top > c.bottom) continue;  // nothing but white
    }
    if (c.image == nullptr || c.image->hdr.width < c.right - c.left + 1 ||
        c.image->hdr.height < c.bottom - c.top + 1)
      return QTZ_ERR_ASSERT;
    sources.get()[kept++] =
        StripSource{&c, c.top, c.bottom, runsFormRectangle(c) ? uint8_t{1} : uint8_t{0}};
  }
  StripSource *sorted = sources.get();
  std::stable_sort(sorted, sorted + kept,
                   [](const StripSource &a, const StripSource &b) { return a.top < b.top; });
  const StripPage stripPage{state,
                            doc->compressionType,
                            doc->jpeg->scale,
                            doc->jpeg->quality,
                            doc->page.width,
                            doc->page.height,
                            doc->page.xResolution,
                            doc->page.yResolution,
                            &doc->section->compressor,
                            &doc->page.imageStrips};
  for (int32_t first = 0; first < kept;) {
    int32_t last = first;
    int32_t bottom = sorted[first].bottom;
    while (last + 1 < kept && sorted[last + 1].top <= bottom)
      bottom = std::max(bottom, sorted[++last].bottom);
    const int32_t status = first == last ? imgCodeComponentStrip(&stripPage, &sorted[first])
                                         : imgCodeMergedStrip(&stripPage, sorted, first, last);
    if (status != QTZ_OK) return status;
    first = last + 1;
  }
  return QTZ_OK;
}

}  // namespace

void logLine(const QtzState *state, int32_t verbose, const char *format, ...) {
  if (verbose == 0) return;
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  qtz::reportText(state, QTZ_MSG_REPORT, line);
}

void freePageContents(QtzState *state, QtzTdcPageRecord *page) {
  qtz::release(state, page->boxes);
  qtz::release(state, page->colours);
  imgFreeStrips(state, &page->imageStrips);
  freeLarge(state, page->large);
  qtz::release(state, page->annotations);
  for (int32_t i = 0; i < page->symbolCount; ++i) qtz::release(state, page->symbols[i].bits);
  qtz::release(state, page->symbols);
  const int32_t number = page->pageNumber;
  const int32_t index = page->index;
  *page = emptyPage();
  page->pageNumber = number;
  page->index = index;
}

void abandonPositions(QtzTdcSection *section, int32_t from) {
  for (int32_t i = std::max(from, 0); i < section->positions->count; ++i)
    section->positions->items[i].page = kNoPage;
}

void discardUnstoredPage(QtzTdcDoc *doc) {
  if (doc->page.index >= 0) return;
  freePageContents(doc->state, &doc->page);
  if (doc->section != nullptr) abandonPositions(doc->section, doc->pageFirstPosition);
}

int32_t reservePage(QtzTdcDoc *doc) {
  QtzTdcSection *section = doc->section;
  if (section->pageCount < section->pageCapacity) return QTZ_OK;
  const int64_t next =
      std::max<int64_t>(int64_t{section->pageCount} * 3 / 2, int64_t{section->pageCount} + 1);
  if (next > INT32_MAX / 2) return qtz::report(doc->state, QTZ_ERR_NO_MEMORY);
  const int32_t status =
      growItems(doc->state, section->pages, section->pageCapacity, next - section->pageCapacity);
  if (status != QTZ_OK) return status;
  section->pageCapacity = static_cast<int32_t>(next);
  return QTZ_OK;
}

void storePage(QtzTdcDoc *doc) {
  QtzTdcSection *section = doc->section;
  doc->page.index = section->pageCount;
  section->pages[section->pageCount++] = doc->page;
}

}  // namespace tdc

using namespace tdc;

extern "C" {

int32_t QtzTdc_addMonoPage(QtzTdcDoc *doc, int32_t pageNumber, const uint32_t *rows, int32_t width,
                           int32_t height, int32_t bytesPerRow, int32_t xResolution,
                           int32_t yResolution, int32_t verbose) {
  int32_t status = checkDoc(doc);
  if (status != QTZ_OK) return status;
  QtzState *state = doc->state;
  if (state->ipContext == nullptr || doc->section == nullptr || doc->classifier == nullptr)
    return qtz::report(state, QTZ_ERR_NULL);
  status = reservePage(doc);
  if (status != QTZ_OK) return status;
  startPage(doc, pageNumber, width, height, xResolution, yResolution, QTZ_TDC_MONO_PAGE);
  logLine(state, verbose, "About to find and tokenize CCs for page %4d.", pageNumber);
  QtzTdcSection *section = doc->section;
  QtzAdtList *large = nullptr;
  status = QtzCC_getBoxes(state, doc->classifier, rows, width, height, width, height, bytesPerRow,
                          &doc->page.boxCount, &doc->page.boxes, doc->sizeLimit, &large,
                          section->tokens, section->positions, section->pageCount, verbose);
  if (status == QTZ_OK) {
    const int32_t outliers = large != nullptr ? large->count : 0;
    logLine(state, verbose, "Found %5d CCs  (%5d boxes and %5d outliers).",
            doc->page.boxCount + outliers, doc->page.boxCount, outliers);
    logLine(state, verbose, "Found %5d halftone boxes.", doc->page.halftoneBoxCount);
    if (outliers > 0) status = QTZ_ERR_ASSERT;
  }
  freeLarge(state, large);
  if (status != QTZ_OK) {
    discardUnstoredPage(doc);
    return status;
  }
  storePage(doc);
  return QTZ_OK;
}

int32_t QtzTdc_startColorPage(QtzTdcDoc *doc, int32_t pageNumber, int32_t width, int32_t height,
                              int32_t xResolution, int32_t yResolution, uint8_t option1,
                              uint8_t option2, int32_t verbose) {
  int32_t status = checkDoc(doc);
  if (status != QTZ_OK) return status;
  QtzState *state = doc->state;
  if (doc->compressionType != 0) return qtz::report(state, QTZ_ERR_PARAM);
  if (doc->jpeg == nullptr || doc->finder == nullptr || doc->section == nullptr ||
      doc->classifier == nullptr)
    return qtz::report(state, QTZ_ERR_NULL);
  logLine(state, verbose, "About to find and tokenize color CCs for page %4d.", pageNumber);
  status = QtzCC_initPage(doc->finder, width, height, doc->tileParameter, 1);
  if (status != QTZ_OK) return status;
  doc->colourOption1 = option1;
  doc->colourOption2 = option2;
  startPage(doc, pageNumber, width, height, xResolution, yResolution, QTZ_TDC_COLOUR_PAGE);
  return QTZ_OK;
}

int32_t QtzTdc_addColorStrip(QtzTdcDoc *doc, int32_t pageNumber, int32_t rows,
                             QtzCCRunReader reader, void *readerArg, int32_t verbose) {
  int32_t status = checkDoc(doc);
  if (status != QTZ_OK) return status;
  QtzState *state = doc->state;
  if (doc->section == nullptr || !isCurrentColourPage(doc, pageNumber))
    return qtz::reportText(state, 12, "Can't add a strip to a non-current page");
  StripLists lists(state);
  status = QtzAdt_liNew(&lists.tokens, state);
  if (status == QTZ_OK) status = QtzAdt_liNew(&lists.pictures, state);
  if (status != QTZ_OK) return qtz::report(state, status);
  status = QtzCC_doStrip(doc->finder, reader, readerArg, rows, lists.tokens, lists.pictures);
  if (status != QTZ_OK) return status;
  const int32_t found = lists.tokens->count + lists.pictures->count;
  if (found == 0) return QTZ_OK;
  logLine(state, verbose, "Found %d more ccs", found);
  QtzTdcPageRecord &page = doc->page;
  QtzCCPosBlock *positions = doc->section->positions;
  const int32_t tokens = lists.tokens->count;
  status = growItems(state, page.colours, page.boxCount, tokens);
  if (status == QTZ_OK) status = growItems(state, page.boxes, page.boxCount, tokens);
  if (status == QTZ_OK && int64_t{positions->count} + tokens > positions->capacity) {
    status = growItems(state, positions->items, positions->capacity,
                       int64_t{positions->count} + tokens - positions->capacity);
    if (status == QTZ_OK) positions->capacity = positions->count + tokens;
  }
  if (status != QTZ_OK) return status;
  for (QtzAdtListNode *node = lists.tokens->head; node != nullptr;) {
    auto *c = static_cast<QtzCCColourComponent *>(node->data);
    status = addTokenComponent(doc, c);
    if (status != QTZ_OK) return status;
    supercc::freeColourComponent(state, c);
    QtzAdt_liRemAndNext(node, &node);
  }
  status = codePictures(doc, lists.pictures);
  return status;
}

int32_t QtzTdc_endColorPage(QtzTdcDoc *doc, int32_t pageNumber) {
  int32_t status = checkDoc(doc);
  if (status != QTZ_OK) return status;
  if (doc->section == nullptr || !isCurrentColourPage(doc, pageNumber))
    return qtz::reportText(doc->state, 12, "Can't end non-current page");
  status = reservePage(doc);
  if (status != QTZ_OK) return status;
  storePage(doc);
  return QTZ_OK;
}

int32_t QtzTdc_addAnnotation(QtzTdcDoc *doc, int32_t pageNumber, int32_t first, int32_t second,
                             int32_t kind, int32_t verbose) {
  int32_t status = checkDoc(doc);
  if (status != QTZ_OK) return status;
  QtzState *state = doc->state;
  const bool stored = doc->page.index >= 0;
  if (doc->page.pageNumber != pageNumber || (stored && doc->section == nullptr))
    return qtz::reportText(state, 12, "Can't add an annotation to a non-current page");
  QtzTdcPageRecord *target = stored ? &doc->section->pages[doc->page.index] : &doc->page;
  status = growItems(state, target->annotations, target->annotationCount, 1);
  if (status != QTZ_OK) return status;
  target->annotations[target->annotationCount++] = QtzTdcAnnotation{kind, first, second};
  if (stored) doc->page = *target;  // the current page is the stored record's copy
  logLine(state, verbose, "Added annotation %d to page %d", target->annotationCount - 1,
          pageNumber);
  return QTZ_OK;
}

}  // extern "C"
