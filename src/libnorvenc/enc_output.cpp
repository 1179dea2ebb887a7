// The encoder assembly's page output: an ended section's symbols collected and coded as the
// section dictionary, then each page coded in turn (page information, page dictionary, text
// regions, halftone and generic regions, end of stripe, end of page).
//
// Symbols of a section, in one array of TclySymbolRecord:
//   - section symbols first: lossy classes not coded before whose members lie on two or more of
//     the section's pages, then the compressed document's shared bitmaps (small tokens whose
//     class is used on several pages);
//   - then each page's own symbols: its lossy classes used on it alone, its compressed-document
//     page-local bitmaps, and (colour pages) one record per small token kept by position.
// A class coded in an earlier section of a carried run (flush without a memory limit) keeps
// its record and is not coded again. When the section's classes carry into the next section
// (a non-final end, or one that overflowed), a class with two or more members is a section
// symbol even when its members share one page: the token document keeps only coded classes
// with members across a restart, and page dictionaries do not outlive their page.
// Every record owns its bitmap. The array goes to the token document's section outputs, which
// free the section symbols' bitmaps when their dictionaries are no longer referred to; the
// page symbols' bitmaps are freed as soon as their page dictionary is written.
//
// With token deskew, the section's large classes get a deskewed variant per page whose skew
// they exceed (coded in a page dictionary of that page), each page's large generic regions are
// turned, and its token positions are turned about the page centre before its regions are
// coded.
//
// A bilevel page is coded as two stripes split at the page's split row R: rows 0 to R - 1,
// closed by an end-of-stripe segment carrying R - 1 (ITU-T T.88 7.4.10: the end row is the
// last row of the stripe), then rows R to height - 1. Instances (text-region reference corner:
// the bottom-left pixel) and generic regions whose bottom row lies above R go to the first
// stripe. A split row outside 1 to height - 1 codes the page as one stripe. A colour page is one
// text region with the colours of its instances collected behind the JBIG2 bytes.
//
// With MMR-coded generic regions, a page symbol that one instance alone uses is drawn into a
// generic region instead of being coded in the page dictionary and placed by a text region: into
// the page's generic region whose box holds it, or else into a region of single shapes of its
// text line when the measured MMR bytes of such regions are fewer than the shapes cost as
// symbols (foldSingleShapes).
//
// Failures: 10003 an encoder that does not point to itself, a page call without an ended
// section or past its last page, a token without a symbol record, records of the two
// documents that disagree; 1 out of memory (reported); the back end's statuses pass up.
#include <algorithm>
#include <bit>
#include <cstring>

#include "colour_payload.h"
#include "compdoc_tdc.h"
#include "enc_assembly.h"
#include "jb2_stream.h"
#include "jbig2_output.h"
#include "qtz_blat.h"
#include "qtz_halftone.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tcly_deskew_internal.h"

namespace {

bool valid(const NorvEncoder *encoder) {
  return encoder != nullptr && encoder->self == encoder;
}

const TokOutMember *memberOf(const QtzAdtListNode *node) {
  return static_cast<const TokOutMember *>(node->data);
}

const TclyToken *tokenOf(const QtzAdtListNode *node) {
  return reinterpret_cast<const TclyToken *>(memberOf(node)->user);
}

// Where a lossy class not yet coded goes: the section dictionary (-1), the page of the given
// index within the section, or nowhere (-2: no members, or a member on no page of the section).
int32_t placeOfClass(const TokOutClass *cls, const TclySection *section, bool carried) {
  if (cls->members == nullptr || cls->members->head == nullptr) return -2;
  const int32_t firstPage = section->pages[0].pageNumber;
  int32_t page = -1;
  for (const QtzAdtListNode *m = cls->members->head; m != nullptr; m = m->next) {
    const TclyToken *token = tokenOf(m);
    const int64_t index = int64_t{token->page} - firstPage;
    if (index < 0 || index >= section->pageCount) return -2;
    if (page >= 0 && page != index) return -1;
    page = static_cast<int32_t>(index);
  }
  if (carried && cls->members->count >= 2) return -1;
  return page;
}

// A record owning a copy of packed rows.
int32_t copyRecord(QtzState *state, const uint32_t *rows, uint16_t width, uint16_t height,
                   uint16_t wordsPerRow, uint8_t pageFlag, TclySymbolRecord *record) {
  const size_t words = size_t{wordsPerRow} * height;
  auto *bitmap = static_cast<uint32_t *>(qtz::allocate(state, std::max<size_t>(words, 1) * 4));
  if (bitmap == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  if (words > 0) std::memcpy(bitmap, rows, words * 4);
  *record = TclySymbolRecord{bitmap, nullptr, pageFlag, width, height, wordsPerRow, 0, 0};
  return QTZ_OK;
}

// A record taking a compressed-document bitmap over (the bitmap's pointer is cleared).
TclySymbolRecord takeRecord(QtzTokenBitmap &bitmap, uint8_t pageFlag) {
  TclySymbolRecord record{bitmap.bits,        nullptr, pageFlag, bitmap.width, bitmap.height,
                          bitmap.wordsPerRow, 0,       0};
  bitmap.bits = nullptr;
  return record;
}

// Frees the bitmaps of records [first, first + count) and clears them.
void releaseBitmaps(QtzState *state, TclySymbolRecord *symbols, int32_t first, int32_t count) {
  for (int32_t i = first; i < first + count; ++i) {
    qtz::release(state, symbols[i].bitmap);
    symbols[i].bitmap = nullptr;
  }
}

// An array of records that each own a bitmap (`bits`), freed with what is left in them.
template <typename Record>
struct BitmapsHeld {
  QtzState *state;
  Record *items = nullptr;
  int32_t count = 0;
  ~BitmapsHeld() {
    for (int32_t i = 0; i < count; ++i) qtz::release(state, items[i].bits);
    qtz::release(state, items);
  }
};

// Builds the section's symbol array and page table (see the file comment); on success the
// encoder holds both and every coded class points to its record.
int32_t collectSectionSymbols(NorvEncoder *encoder) {
  QtzState *state = encoder->state;
  TclySection *section = encoder->section;
  QtzTdcSection *tdcSection = encoder->tdcSection;
  const int32_t pages = section->pageCount;
  if (tdcSection == nullptr || tdcSection->pageCount != pages)
    return qtz::reportText(state, QTZ_ERR_ASSERT, "The two documents disagree on the pages");
  for (int32_t i = 0; i < pages; ++i)
    if (tdcSection->pages[i].pageNumber != section->pages[i].pageNumber)
      return qtz::reportText(state, QTZ_ERR_ASSERT, "The two documents disagree on the pages");
  const bool carried = section->final == 0 || section->overflow != 0;
  const uint8_t pageFlag = encoder->out->pageDictFlagOff == 0 ? 1 : 0;

  qtz::OwnedBlock<NorvPageSymbols> table(
      state, static_cast<NorvPageSymbols *>(qtz::allocateZeroed(
                 state, static_cast<size_t>(std::max(pages, 1)), sizeof(NorvPageSymbols))));
  if (!table) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  NorvPageSymbols *perPage = table.get();

  // Counts: lossy classes per place, then the compressed document's bitmaps.
  int32_t lossyShared = 0;
  QtzAdtList *classes = section->classes;
  for (QtzAdtListNode *c = classes != nullptr ? classes->head : nullptr; c != nullptr;
       c = c->next) {
    const auto *cls = static_cast<const TokOutClass *>(c->data);
    if (cls->head.user != 0) continue;
    const int32_t place = placeOfClass(cls, section, carried);
    if (place == -1) ++lossyShared;
    if (place >= 0) ++perPage[place].count;
  }
  BitmapsHeld<QtzTokenBitmap> shared{state};  // the shared bitmaps tdcMakeSectionBitmaps made
  if (tdcSection->output != nullptr) {
    const int32_t freeAll = encoder->tdc->classifier == nullptr ? 1 : 0;
    int32_t status = tdcMakeSectionBitmaps(state, tdcSection->output, tdcSection, &shared.items,
                                           &shared.count, freeAll, 0, nullptr);
    if (status != QTZ_OK) return status;
  }
  const int32_t sectionCount = lossyShared + shared.count;
  int64_t total = sectionCount;
  for (int32_t i = 0; i < pages; ++i) {
    const TclyPageRecord &page = section->pages[i];
    NorvPageSymbols &p = perPage[i];
    const int32_t lossyOwn = p.count;
    const int32_t small =
        page.colour != 0 && page.smallTokens != nullptr ? page.smallTokens->count : 0;
    p.first = static_cast<int32_t>(total);
    p.tdcFirst = p.first + lossyOwn;
    p.smallFirst = p.tdcFirst + tdcSection->pages[i].symbolCount;
    p.count = lossyOwn + tdcSection->pages[i].symbolCount + small;
    total += p.count;
  }
  if (total > INT32_MAX / static_cast<int64_t>(sizeof(TclySymbolRecord)))
    return qtz::report(state, QTZ_ERR_NO_MEMORY);

  // The records. Bitmaps are made into the array as it fills, so a failure frees those made.
  struct Records {
    QtzState *state;
    TclySymbolRecord *items;
    int32_t count;
    ~Records() {
      if (items == nullptr) return;
      releaseBitmaps(state, items, 0, count);
      qtz::release(state, items);
    }
  } records{state,
            static_cast<TclySymbolRecord *>(qtz::allocateZeroed(
                state, static_cast<size_t>(std::max<int64_t>(total, 1)), sizeof(TclySymbolRecord))),
            static_cast<int32_t>(total)};
  if (records.items == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  TclySymbolRecord *symbols = records.items;
  int32_t nextShared = 0;
  int32_t *nextOwn = nullptr;  // per page: the next lossy page record
  qtz::OwnedBlock<int32_t> cursors(
      state, static_cast<int32_t *>(
                 qtz::allocate(state, sizeof(int32_t) * static_cast<size_t>(std::max(pages, 1)))));
  if (!cursors) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  nextOwn = cursors.get();
  for (int32_t i = 0; i < pages; ++i) nextOwn[i] = perPage[i].first;
  for (QtzAdtListNode *c = classes != nullptr ? classes->head : nullptr; c != nullptr;
       c = c->next) {
    const auto *cls = static_cast<const TokOutClass *>(c->data);
    if (cls->head.user != 0) continue;
    const int32_t place = placeOfClass(cls, section, carried);
    if (place == -2) continue;
    const int32_t at = place == -1 ? nextShared++ : nextOwn[place]++;
    const int32_t status =
        copyRecord(state, cls->head.rows, cls->head.width, cls->head.height, cls->head.wordsPerRow,
                   place == -1 ? 0 : pageFlag, &symbols[at]);
    if (status != QTZ_OK) return status;
  }
  for (int32_t i = 0; i < shared.count; ++i)
    symbols[lossyShared + i] = takeRecord(shared.items[i], 0);
  for (int32_t i = 0; i < pages; ++i) {
    QtzTdcPageRecord &record = tdcSection->pages[i];
    for (int32_t k = 0; k < record.symbolCount; ++k)
      symbols[perPage[i].tdcFirst + k] = takeRecord(record.symbols[k], pageFlag);
    const TclyPageRecord &page = section->pages[i];
    if (page.colour == 0 || page.smallTokens == nullptr) continue;
    int32_t k = perPage[i].smallFirst;
    for (QtzAdtListNode *n = page.smallTokens->head; n != nullptr; n = n->next, ++k) {
      auto *token = static_cast<TclyToken *>(n->data);
      int32_t status = QTZ_OK;
      if (token->bits != nullptr && token->ownsBits != 0) {
        symbols[k] = TclySymbolRecord{
            token->bits, nullptr, pageFlag, token->width, token->height, token->wordsPerRow, 0, 0};
        token->ownsBits = 0;
      } else {
        status = copyRecord(state, token->bits, token->width, token->height, token->wordsPerRow,
                            pageFlag, &symbols[k]);
      }
      if (status != QTZ_OK) return status;
      token->symbol = &symbols[k];
    }
  }

  // The section's array goes to the token document's outputs, which own it from here.
  auto *output = static_cast<TclySectionOutput *>(qtz::allocate(state, sizeof(TclySectionOutput)));
  if (output == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  *output = TclySectionOutput{symbols, sectionCount};
  if (QtzAdt_liAdd(encoder->doc->outputs, output, nullptr) != QTZ_OK) {
    qtz::release(state, output);
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  }
  records.items = nullptr;

  // Coded classes point to their records (page-private ones until their section is written).
  nextShared = 0;
  for (int32_t i = 0; i < pages; ++i) nextOwn[i] = perPage[i].first;
  for (QtzAdtListNode *c = classes != nullptr ? classes->head : nullptr; c != nullptr;
       c = c->next) {
    auto *cls = static_cast<TokOutClass *>(c->data);
    if (cls->head.user != 0) continue;
    const int32_t place = placeOfClass(cls, section, carried);
    if (place == -2) continue;
    const int32_t at = place == -1 ? nextShared++ : nextOwn[place]++;
    cls->head.user = reinterpret_cast<uintptr_t>(&symbols[at]);
  }
  for (int32_t i = 0; i < pages; ++i) section->pages[i].privateSymbolCount = perPage[i].count;
  encoder->symbols = symbols;
  encoder->symbolCount = static_cast<int32_t>(total);
  encoder->sectionSymbolCount = sectionCount;
  encoder->tdcSharedFirst = lossyShared;
  encoder->tdcSharedCount = shared.count;
  encoder->pageSymbols = table.release();
  return QTZ_OK;
}

// Frees the page-private bitmaps still held, points the page-private classes back at no
// record (they are not coded for later sections), and frees the page table.
void finishPrivateSymbols(NorvEncoder *encoder) {
  QtzState *state = encoder->state;
  TclySymbolRecord *symbols = encoder->symbols;
  if (symbols != nullptr) {
    const int32_t first = encoder->sectionSymbolCount;
    releaseBitmaps(state, symbols, first, encoder->symbolCount - first);
    const TclySymbolRecord *begin = symbols + first, *end = symbols + encoder->symbolCount;
    QtzAdtList *classes = encoder->section != nullptr ? encoder->section->classes : nullptr;
    for (QtzAdtListNode *c = classes != nullptr ? classes->head : nullptr; c != nullptr;
         c = c->next) {
      auto *cls = static_cast<TokOutClass *>(c->data);
      const auto *record = reinterpret_cast<const TclySymbolRecord *>(cls->head.user);
      if (record >= begin && record < end) cls->head.user = 0;
    }
  }
  encoder->symbols = nullptr;
  encoder->symbolCount = 0;
  encoder->sectionSymbolCount = 0;
  tclyFreeSymbolList(state, encoder->deskewedVariants);
  encoder->deskewedVariants = nullptr;
  qtz::release(state, encoder->pageSymbols);
  encoder->pageSymbols = nullptr;
}

// One instance of a text region: the symbol placed by its left column and bottom row, kept on
// the page (left column at least 0 and the symbol inside the width where it fits; bottom row
// as tclyPlacedBottomRow keeps it).
TclyTextInstance placedInstance(const TclySymbolRecord *symbol, const QtzTokenBitmap *token,
                                int64_t left, int64_t bottom, const TclyPageRecord &page) {
  if (left + symbol->width > page.width) left = int64_t{page.width} - symbol->width;
  if (left < 0) left = 0;
  const int32_t y = tclyPlacedBottomRow(bottom, symbol->height, page.height);
  return TclyTextInstance{symbol, token, static_cast<int32_t>(left), y};
}

bool above(const TclyTextInstance &a, const TclyTextInstance &b) {
  return a.y != b.y ? a.y < b.y : a.x < b.x;
}

// The page's instances, sorted by bottom row: its lossy tokens, the compressed document's
// boxes, its small tokens. tokens (colour pages) receives one token record per instance whose
// colour is the instance's.
int32_t buildInstances(NorvEncoder *encoder, int32_t index, TclyTextInstance **out,
                       QtzTokenBitmap **tokensOut, int32_t *countOut) {
  QtzState *state = encoder->state;
  const TclyPageRecord &page = encoder->section->pages[index];
  const QtzTdcPageRecord &record = encoder->tdcSection->pages[index];
  const NorvPageSymbols &own = encoder->pageSymbols[index];
  const int64_t count = int64_t{page.tokens != nullptr ? page.tokens->count : 0} + record.boxCount +
                        (page.smallTokens != nullptr ? page.smallTokens->count : 0);
  qtz::OwnedBlock<TclyTextInstance> instances(
      state,
      static_cast<TclyTextInstance *>(qtz::allocate(
          state, sizeof(TclyTextInstance) * static_cast<size_t>(std::max<int64_t>(count, 1)))));
  qtz::OwnedBlock<QtzTokenBitmap> tokens(state, nullptr);
  if (page.colour != 0)
    tokens.reset(static_cast<QtzTokenBitmap *>(qtz::allocateZeroed(
        state, static_cast<size_t>(std::max<int64_t>(count, 1)), sizeof(QtzTokenBitmap))));
  if (!instances || (page.colour != 0 && !tokens)) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t n = 0;
  auto add = [&](const TclyToken *token) -> int32_t {
    if (token->symbol == nullptr)
      return qtz::reportText(state, QTZ_ERR_ASSERT, "A token without a symbol record");
    const QtzTokenBitmap *colour = nullptr;
    if (tokens) {
      QtzTokenBitmap &t = tokens.get()[n];
      t.colour = reinterpret_cast<uint8_t *>(const_cast<uint16_t *>(token->colour));
      t.width = token->symbol->width;
      t.height = token->symbol->height;
      colour = &t;
    }
    instances.get()[n++] = placedInstance(token->symbol, colour, token->x, token->y, page);
    return QTZ_OK;
  };
  for (const QtzAdtList *list : {page.tokens, page.smallTokens})
    for (const QtzAdtListNode *t = list != nullptr ? list->head : nullptr; t != nullptr;
         t = t->next)
      if (int32_t status = add(static_cast<const TclyToken *>(t->data)); status != QTZ_OK)
        return status;
  for (int32_t b = 0; b < record.boxCount; ++b) {
    const QtzCCBox &box = record.boxes[b];
    const int64_t at = box.flags != 0 ? int64_t{own.tdcFirst} + box.token
                                      : int64_t{encoder->tdcSharedFirst} + box.token;
    const bool inRange = box.flags != 0 ? box.token < uint32_t(own.smallFirst - own.tdcFirst)
                                        : box.token < uint32_t(encoder->tdcSharedCount);
    if (!inRange) return qtz::reportText(state, QTZ_ERR_ASSERT, "A box without a symbol record");
    instances.get()[n++] = placedInstance(&encoder->symbols[at], nullptr, box.x, box.yBottom, page);
  }
  std::sort(instances.get(), instances.get() + n, above);
  *out = instances.release();
  *tokensOut = tokens.release();
  *countOut = n;
  return QTZ_OK;
}

// The bottom row of a generic region: it keeps its top row while it has its run list, and its
// bottom row once deskewing drew and turned it.
int64_t bottomRowOf(const TclyToken *region) {
  return region->runs != nullptr ? int64_t{region->y} + region->height - 1 : region->y;
}

// A symbol instance drawn into a generic region instead of being placed by a text region: the
// region, the symbol and its top-left pixel in the region.
struct FoldedShape {
  const TclyToken *region;
  const TclySymbolRecord *symbol;
  int32_t x;
  int32_t y;
};

// One generic region of the page as an immediate generic region: drawn from its runs, or its
// own bitmap when it has one; the folded shapes of the region are ORed in.
int32_t codeGenericRegion(NorvEncoder *encoder, const TclyToken *region, const FoldedShape *folded,
                          int32_t foldedCount) {
  QtzState *state = encoder->state;
  const int32_t wordsPerRow = (region->width + 31) / 32;
  const uint32_t *rows = region->bits;
  qtz::OwnedBlock<uint32_t> drawn(state, nullptr);
  bool shapes = false;
  for (int32_t i = 0; i < foldedCount && !shapes; ++i) shapes = folded[i].region == region;
  if (region->runs != nullptr || rows == nullptr || shapes) {
    drawn.reset(static_cast<uint32_t *>(qtz::allocateZeroed(
        state, std::max<size_t>(size_t(wordsPerRow) * region->height, 1), sizeof(uint32_t))));
    if (!drawn) return qtz::report(state, QTZ_ERR_NO_MEMORY);
    if (region->runs != nullptr) {
      drawRuns(drawn.get(), wordsPerRow, region->runs, region->runCount, 0, 0);
    } else if (rows != nullptr) {
      for (int32_t y = 0; y < region->height; ++y)
        std::memcpy(drawn.get() + int64_t{y} * wordsPerRow, rows + int64_t{y} * region->wordsPerRow,
                    size_t(wordsPerRow) * 4);
    }
    for (int32_t i = 0; i < foldedCount; ++i) {
      const FoldedShape &f = folded[i];
      if (f.region != region) continue;
      QtzBlat_blitBitsOrClip(drawn.get(), wordsPerRow, 0, 0, region->width, region->height,
                             f.symbol->bitmap, f.symbol->wordsPerRow, f.symbol->width,
                             f.symbol->height, f.x, f.y, state);
    }
    rows = drawn.get();
  }
  const int32_t bytesPerRow = (drawn ? wordsPerRow : region->wordsPerRow) * 4;
  QtzImage *image = nullptr;
  int32_t status = QtzImage_wrapAll(state, const_cast<uint32_t *>(rows), QTZ_IMAGE_PACKED,
                                    region->width, region->height, bytesPerRow, &image);
  if (status != QTZ_OK) return status;
  status = QtzJbig2_encodeGenericRegion(
      image, 2, region->x, static_cast<int32_t>(bottomRowOf(region) - region->height + 1),
      encoder->out->handle, encoder->out->ops.user);
  void *unwrapped = nullptr;
  QtzImage_unwrapAll(image, &unwrapped);
  return status;
}

// The generic regions of one stripe: those whose bottom row lies above `below` (every one with
// INT64_MAX), each coded and taken off the list.
int32_t codeGenericRegions(NorvEncoder *encoder, QtzAdtList *generics, int64_t below,
                           const FoldedShape *folded, int32_t foldedCount) {
  QtzAdtListNode *n = generics != nullptr ? generics->head : nullptr;
  while (n != nullptr) {
    auto *region = static_cast<TclyToken *>(n->data);
    if (bottomRowOf(region) >= below) {
      n = n->next;
      continue;
    }
    if (int32_t status = codeGenericRegion(encoder, region, folded, foldedCount); status != QTZ_OK)
      return status;
    tclyReleaseToken(encoder->state, region);
    QtzAdt_liRemAndNext(n, &n);
  }
  return QTZ_OK;
}

// The halftone regions of stripe `key`: pattern dictionary and halftone region with the
// halftone option, else generic regions of their bilevel copies.
int32_t codeHalftones(NorvEncoder *encoder, TclyPageRecord &page, int32_t key, int32_t pageNumber) {
  if (page.halftones == nullptr || page.halftoneData == nullptr || page.halftones->count == 0)
    return QTZ_OK;
  TclyOutput *out = encoder->out;
  if (encoder->doc->jbig2Halftones != 0)
    return encodeHalftoneJBig2(&page.halftones, page.halftoneData,
                               QtzJbig2_outputStream(out->handle), key, pageNumber, encoder->state);
  return out->ops.genericRegion(page.halftones, 2, key, page.halftoneData, out->handle,
                                out->ops.user);
}

// The deskewed class variants the page's tokens use, coded as a page dictionary of their own:
// copies of the variant records (the variants keep their bitmaps) in one array, which the
// tokens then point to; `copies` holds the array until the page is written.
int32_t codeDeskewedVariants(NorvEncoder *encoder, const TclyPageRecord &page,
                             qtz::OwnedBlock<TclySymbolRecord> &copies) {
  QtzState *state = encoder->state;
  if (encoder->deskewedVariants == nullptr || encoder->deskewedVariants->count == 0 ||
      page.tokens == nullptr || page.tokens->count == 0)
    return QTZ_OK;
  const TclySymbolRecord *begin = encoder->symbols;
  const TclySymbolRecord *end = begin + encoder->symbolCount;
  auto isVariant = [&](const TclyToken *t) {
    return t->symbol != nullptr && (t->symbol < begin || t->symbol >= end);
  };
  const auto tokenCount = static_cast<size_t>(page.tokens->count);
  qtz::OwnedBlock<TclySymbolRecord *> used(
      state, static_cast<TclySymbolRecord **>(qtz::allocate(state, sizeof(void *) * tokenCount)));
  if (!used) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  size_t n = 0;
  for (QtzAdtListNode *t = page.tokens->head; t != nullptr; t = t->next) {
    auto *token = static_cast<TclyToken *>(t->data);
    if (isVariant(token)) used.get()[n++] = token->symbol;
  }
  if (n == 0) return QTZ_OK;
  TclySymbolRecord **first = used.get();
  std::sort(first, first + n);
  n = static_cast<size_t>(std::unique(first, first + n) - first);
  copies.reset(static_cast<TclySymbolRecord *>(qtz::allocate(state, sizeof(TclySymbolRecord) * n)));
  if (!copies) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  for (size_t i = 0; i < n; ++i) {
    copies.get()[i] = *first[i];
    copies.get()[i].emitted = 0;
  }
  for (QtzAdtListNode *t = page.tokens->head; t != nullptr; t = t->next) {
    auto *token = static_cast<TclyToken *>(t->data);
    if (!isVariant(token)) continue;
    const size_t at =
        static_cast<size_t>(std::lower_bound(first, first + n, token->symbol) - first);
    token->symbol = &copies.get()[at];
  }
  TclyOutput *out = encoder->out;
  void *unused = nullptr;
  return out->ops.pageDict(copies.get(), static_cast<int32_t>(n), page.width, page.height,
                           page.xdpi, page.ydpi, 0, out->dictionary, &unused, 0, 0, out->handle,
                           out->ops.user);
}

// The page's token positions turned about the page centre by its skew.
int32_t rotatePageTokens(QtzState *state, const TclyPageRecord &page) {
  if (page.tokens == nullptr || page.tokens->count == 0) return QTZ_OK;
  qtz::OwnedBlock<TclyToken *> tokens(
      state, static_cast<TclyToken **>(
                 qtz::allocate(state, sizeof(void *) * static_cast<size_t>(page.tokens->count))));
  if (!tokens) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t n = 0;
  for (QtzAdtListNode *t = page.tokens->head; t != nullptr; t = t->next)
    tokens.get()[n++] = static_cast<TclyToken *>(t->data);
  rotateTokenPositions(tokens.get(), n, page.width, page.height, page.skewAngle);
  return QTZ_OK;
}

// What single shapes cost as symbols, in bits beside their share of the dictionary's collective
// bitmaps: per shape its symbol ID, and its placement in the text region and width in the
// dictionary (about 9 bits of strip and offset codes measured on scanned book pages, and a few
// of width). The choice is not sensitive to it: any value from 8 to 40 moves the scanned pages'
// total by less than 0.1 %.
constexpr int64_t kSymbolBitsBesideId = 14;

// Single shapes (the instances at `members`) drawn into one region: its box and bitmap, and
// the bytes of its MMR-coded generic regions (`bytes`, negative when the box is too large for
// a region of the page).
struct ShapeRegion {
  uint32_t *bits;  // owned by the array holding the region
  int64_t left, top, width, height;
  int32_t wordsPerRow;
  int64_t bytes;
};

int32_t drawShapes(NorvEncoder *encoder, const TclyTextInstance *instances, const int32_t *members,
                   int32_t n, ShapeRegion &region) {
  QtzState *state = encoder->state;
  int64_t left = INT64_MAX, right = 0, top = INT64_MAX, bottom = 0;
  for (int32_t m = 0; m < n; ++m) {
    const TclyTextInstance &in = instances[members[m]];
    left = std::min<int64_t>(left, in.x);
    right = std::max<int64_t>(right, int64_t{in.x} + in.symbol->width);
    top = std::min<int64_t>(top, int64_t{in.y} - in.symbol->height + 1);
    bottom = std::max<int64_t>(bottom, in.y);
  }
  region.bytes = -1;
  if (n == 0 || right - left > UINT16_MAX || bottom - top + 1 > UINT16_MAX) return QTZ_OK;
  region.left = left, region.top = top, region.width = right - left;
  region.height = bottom - top + 1;
  region.wordsPerRow = static_cast<int32_t>((region.width + 31) / 32);
  region.bits = static_cast<uint32_t *>(qtz::allocateZeroed(
      state, std::max<size_t>(size_t(region.wordsPerRow) * size_t(region.height), 1), 4));
  if (region.bits == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  for (int32_t m = 0; m < n; ++m) {
    const TclyTextInstance &in = instances[members[m]];
    const TclySymbolRecord &s = *in.symbol;
    QtzBlat_blitBitsOrClip(region.bits, region.wordsPerRow, 0, 0, int32_t(region.width),
                           int32_t(region.height), s.bitmap, s.wordsPerRow, s.width, s.height,
                           int32_t(in.x - left), int32_t(in.y - s.height + 1 - top), state);
  }
  return QtzJbig2_mmrBytes(encoder->out->handle, region.bits, int32_t(region.width),
                           int32_t(region.height), region.wordsPerRow, true, &region.bytes);
}

// The bytes single shapes cost as symbols: their bitmaps side by side on one bottom row coded
// by MMR (about their share of the collective bitmaps) and the bits above per shape.
int32_t symbolBytes(NorvEncoder *encoder, const TclyTextInstance *instances, const int32_t *members,
                    int32_t n, int64_t *bytes) {
  QtzState *state = encoder->state;
  int64_t width = 0;
  int32_t height = 0;
  for (int32_t m = 0; m < n; ++m) {
    width += instances[members[m]].symbol->width;
    height = std::max<int32_t>(height, instances[members[m]].symbol->height);
  }
  const auto symbols = static_cast<uint32_t>(encoder->symbolCount);
  const int64_t idBits = symbols > 1 ? std::bit_width(symbols - 1) : 0;
  *bytes = (n * (idBits + kSymbolBitsBesideId) + 7) / 8;
  if (width == 0 || height == 0) return QTZ_OK;
  if (width > INT32_MAX / 2) {
    *bytes = INT64_MAX / 2;  // never cheaper than a region
    return QTZ_OK;
  }
  const auto wordsPerRow = static_cast<int32_t>((width + 31) / 32);
  qtz::OwnedBlock<uint32_t> side(state, static_cast<uint32_t *>(qtz::allocateZeroed(
                                            state, size_t(wordsPerRow) * size_t(height), 4)));
  if (!side) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t at = 0;
  for (int32_t m = 0; m < n; ++m) {
    const TclySymbolRecord &s = *instances[members[m]].symbol;
    QtzBlat_blitBitsOrClip(side.get(), wordsPerRow, 0, 0, int32_t(width), height, s.bitmap,
                           s.wordsPerRow, s.width, s.height, at, height - s.height, state);
    at += s.width;
  }
  int64_t code = 0;
  const int32_t status = QtzJbig2_mmrBytes(encoder->out->handle, side.get(), int32_t(width), height,
                                           wordsPerRow, false, &code);
  *bytes += code;
  return status;
}

// The generic regions of single shapes that no region of the page holds: each its place (left
// column, bottom row), size and bitmap (owned), and its stripe (1 or 2).
struct LineRegions {
  BitmapsHeld<TclyToken> regions;
  qtz::OwnedBlock<uint8_t> stripes;
  void add(ShapeRegion &region, uint8_t stripe) {
    TclyToken &line = regions.items[regions.count];
    line = TclyToken{};
    line.width = static_cast<uint16_t>(region.width);
    line.height = static_cast<uint16_t>(region.height);
    line.bits = region.bits;
    region.bits = nullptr;
    line.wordsPerRow = static_cast<uint16_t>(region.wordsPerRow);
    line.x = static_cast<int32_t>(region.left);
    line.y = static_cast<int32_t>(region.top + region.height - 1);
    stripes.get()[regions.count++] = stripe;
  }
};

// The single shapes of one stripe that no region holds (`shapes`, sorted by top row), grouped
// into text lines (shapes whose rows overlap). Of three ways, the one of fewest bytes by the
// measures above: each line a region of its own or symbols, whichever costs less; all the
// shapes in one region; the lines that are cheaper as regions in one region, the others
// symbols. MMR cuts a region into bands at white rows after rows of two or more runs, so one
// region over many lines saves segment headers only where lines are not parted that way.
// drop[i] is set for the instances that go to regions.
int32_t foldStripe(NorvEncoder *encoder, const TclyTextInstance *instances, int32_t *shapes,
                   int32_t n, uint8_t stripe, LineRegions &lines, uint8_t *drop) {
  QtzState *state = encoder->state;
  qtz::OwnedBlock<int32_t> ends(
      state, static_cast<int32_t *>(qtz::allocate(state, 4 * size_t(std::max(n, 1)))));
  if (!ends) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t lineCount = 0;
  for (int32_t start = 0; start < n;) {
    int64_t bottom = instances[shapes[start]].y;
    int32_t stop = start + 1;
    while (stop < n &&
           int64_t{instances[shapes[stop]].y} - instances[shapes[stop]].symbol->height + 1 <=
               bottom)
      bottom = std::max<int64_t>(bottom, instances[shapes[stop++]].y);
    ends.get()[lineCount++] = stop;
    start = stop;
  }
  // One region per line, then one of all the shapes and one of the lines cheaper as regions.
  BitmapsHeld<ShapeRegion> weighed{state, static_cast<ShapeRegion *>(qtz::allocateZeroed(
                                              state, size_t(lineCount) + 2, sizeof(ShapeRegion)))};
  if (weighed.items == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  weighed.count = lineCount + 2;
  ShapeRegion *line = weighed.items;
  ShapeRegion &all = weighed.items[lineCount], &some = weighed.items[lineCount + 1];
  // Per line: region or symbols.
  int64_t separate = 0, symbolsOfRest = 0;
  int32_t cheaper = 0;  // shapes of the lines cheaper as regions, moved to the front
  qtz::OwnedBlock<int32_t> chosen(
      state, static_cast<int32_t *>(qtz::allocate(state, 4 * size_t(std::max(n, 1)))));
  if (!chosen) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  for (int32_t l = 0, start = 0; l < lineCount; start = ends.get()[l++]) {
    const int32_t count = ends.get()[l] - start;
    int64_t asSymbols = 0;
    int32_t status = drawShapes(encoder, instances, shapes + start, count, line[l]);
    if (status == QTZ_OK)
      status = symbolBytes(encoder, instances, shapes + start, count, &asSymbols);
    if (status != QTZ_OK) return status;
    if (line[l].bytes >= 0 && line[l].bytes < asSymbols) {
      separate += line[l].bytes;
      for (int32_t m = start; m < ends.get()[l]; ++m) chosen.get()[cheaper++] = shapes[m];
    } else {
      separate += asSymbols;
      symbolsOfRest += asSymbols;
      line[l].bytes = -1;
    }
  }
  all.bytes = some.bytes = -1;
  int32_t status = drawShapes(encoder, instances, shapes, n, all);
  if (status == QTZ_OK && cheaper > 0 && cheaper < n)
    status = drawShapes(encoder, instances, chosen.get(), cheaper, some);
  if (status != QTZ_OK) return status;
  const int64_t allBytes = all.bytes >= 0 ? all.bytes : INT64_MAX;
  const int64_t someBytes = some.bytes >= 0 ? some.bytes + symbolsOfRest : INT64_MAX;
  if (allBytes < separate && allBytes <= someBytes) {
    lines.add(all, stripe);
    for (int32_t m = 0; m < n; ++m) drop[shapes[m]] = 1;
  } else if (someBytes < separate) {
    lines.add(some, stripe);
    for (int32_t m = 0; m < cheaper; ++m) drop[chosen.get()[m]] = 1;
  } else {
    for (int32_t l = 0, start = 0; l < lineCount; start = ends.get()[l++]) {
      if (line[l].bytes < 0) continue;
      lines.add(line[l], stripe);
      for (int32_t m = start; m < ends.get()[l]; ++m) drop[shapes[m]] = 1;
    }
  }
  return QTZ_OK;
}

// MMR coding: the page's own symbols that one instance alone uses are drawn into generic
// regions rather than coded in the page dictionary and placed by a text region. One whose box
// lies inside one of the page's generic regions is drawn into that region (*folded receives
// those shapes): in the region's MMR code it costs about what its share of a dictionary's
// collective bitmap does, and its width, symbol-ID code, placement and ID are saved (on printed
// music, whose staves make one generic region, most marks are single). The others go, stripe by
// stripe, to regions of their text lines where the measured bytes are fewer (foldStripe; on the
// scanned book pages measured most shapes are single, and their lines' regions take 4 to 14 %
// fewer bytes than their symbols). The folded symbols are marked emitted, so the page
// dictionary leaves them out, and their instances leave the list (its order kept).
int32_t foldSingleShapes(NorvEncoder *encoder, int32_t b, TclyTextInstance *instances,
                         int32_t *count, qtz::OwnedBlock<FoldedShape> &folded, int32_t *foldedCount,
                         LineRegions &lines) {
  QtzState *state = encoder->state;
  const TclyPageRecord &page = encoder->section->pages[b];
  const NorvPageSymbols &own = encoder->pageSymbols[b];
  TclySymbolRecord *first = encoder->symbols + own.first, *end = first + own.count;
  const size_t slots = size_t(std::max(*count, 1));
  qtz::OwnedBlock<int32_t> uses(
      state, static_cast<int32_t *>(
                 qtz::allocateZeroed(state, size_t(std::max(own.count, 1)), sizeof(int32_t))));
  qtz::OwnedBlock<int32_t> loose(state, static_cast<int32_t *>(qtz::allocate(state, 4 * slots)));
  qtz::OwnedBlock<uint8_t> drop(state,
                                static_cast<uint8_t *>(qtz::allocateZeroed(state, slots, 1)));
  folded.reset(static_cast<FoldedShape *>(qtz::allocate(state, sizeof(FoldedShape) * slots)));
  lines.regions.items = static_cast<TclyToken *>(qtz::allocate(state, sizeof(TclyToken) * slots));
  lines.stripes.reset(static_cast<uint8_t *>(qtz::allocate(state, slots)));
  if (!uses || !loose || !drop || !folded || lines.regions.items == nullptr || !lines.stripes)
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  auto ownIndex = [&](const TclySymbolRecord *s) { return s >= first && s < end ? s - first : -1; };
  for (int32_t i = 0; i < *count; ++i)
    if (const auto k = ownIndex(instances[i].symbol); k >= 0) uses.get()[k]++;
  const int32_t split = page.splitRow;
  const bool striped = split > 0 && split < page.height;
  auto stripeOf = [&](const TclyTextInstance &in) -> uint8_t {
    return striped && in.y >= split ? 2 : 1;
  };
  auto topOf = [](const TclyTextInstance &in) { return int64_t{in.y} - in.symbol->height + 1; };
  int32_t n = 0, looseCount = 0;
  for (int32_t i = 0; i < *count; ++i) {
    const TclyTextInstance &in = instances[i];
    const auto k = ownIndex(in.symbol);
    if (k < 0 || uses.get()[k] != 1) continue;
    const TclyToken *inside = nullptr;
    const int64_t top = topOf(in);
    for (const QtzAdtListNode *g = page.generics != nullptr ? page.generics->head : nullptr;
         g != nullptr; g = g->next) {
      const auto *region = static_cast<const TclyToken *>(g->data);
      const int64_t regionTop = bottomRowOf(region) - region->height + 1;
      if (in.x >= region->x && in.x + in.symbol->width <= int64_t{region->x} + region->width &&
          top >= regionTop && in.y <= bottomRowOf(region)) {
        inside = region;
        break;
      }
    }
    if (inside == nullptr) {
      // A line region stays inside its stripe: a shape of the second stripe reaching above
      // the split stays a symbol.
      if (stripeOf(in) == 1 || top >= split) loose.get()[looseCount++] = i;
      continue;
    }
    drop.get()[i] = 1;
    folded.get()[n++] = {inside, in.symbol, in.x - inside->x,
                         static_cast<int32_t>(top - (bottomRowOf(inside) - inside->height + 1))};
  }
  // By stripe, then top row.
  int32_t *order = loose.get();
  std::sort(order, order + looseCount, [&](int32_t a, int32_t c) {
    const uint8_t sa = stripeOf(instances[a]), sc = stripeOf(instances[c]);
    if (sa != sc) return sa < sc;
    const int64_t ta = topOf(instances[a]), tc = topOf(instances[c]);
    return ta != tc ? ta < tc : a < c;
  });
  for (int32_t start = 0; start < looseCount;) {
    const uint8_t stripe = stripeOf(instances[order[start]]);
    int32_t stop = start + 1;
    while (stop < looseCount && stripeOf(instances[order[stop]]) == stripe) ++stop;
    const int32_t status =
        foldStripe(encoder, instances, order + start, stop - start, stripe, lines, drop.get());
    if (status != QTZ_OK) return status;
    start = stop;
  }
  int32_t kept = 0;
  for (int32_t i = 0; i < *count; ++i) {
    if (drop.get()[i] == 0) {
      instances[kept++] = instances[i];
      continue;
    }
    first[ownIndex(instances[i].symbol)].emitted = 1;
  }
  *count = kept;
  *foldedCount = n;
  return QTZ_OK;
}

// The line regions of one stripe.
int32_t codeLineRegions(NorvEncoder *encoder, const LineRegions &lines, uint8_t stripe) {
  for (int32_t i = 0; i < lines.regions.count; ++i) {
    if (lines.stripes.get()[i] != stripe) continue;
    if (int32_t status = codeGenericRegion(encoder, &lines.regions.items[i], nullptr, 0);
        status != QTZ_OK)
      return status;
  }
  return QTZ_OK;
}

// Page b of the ended section (see the file comment).
int32_t encodeOnePage(NorvEncoder *encoder, int32_t b) {
  QtzState *state = encoder->state;
  TclyOutput *out = encoder->out;
  TclyPageRecord &page = encoder->section->pages[b];
  const NorvPageSymbols &own = encoder->pageSymbols[b];
  int32_t status = QTZ_OK;
  if (encoder->doc->deskew != nullptr && page.skewAngle != 0.0f) {
    if ((status = deskewPageGenericRegions(state, &page)) != QTZ_OK) return status;
  }
  encoder->colourFlag = page.colour != 0 ? 1 : 0;
  out->ops.user = &encoder->colourFlag;
  status = QtzJbig2_encodePageInfo(page.width, page.height, page.xdpi, page.ydpi, out->handle,
                                   &encoder->colourFlag);
  if (status != QTZ_OK) return status;
  TclyTextInstance *instanceArray = nullptr;
  QtzTokenBitmap *tokenArray = nullptr;
  int32_t count = 0;
  qtz::OwnedBlock<TclyTextInstance> instances(state, nullptr);
  qtz::OwnedBlock<QtzTokenBitmap> tokens(state, nullptr);
  auto build = [&] {
    const int32_t built = buildInstances(encoder, b, &instanceArray, &tokenArray, &count);
    instances.reset(instanceArray);
    tokens.reset(tokenArray);
    return built;
  };
  // Shapes fold into generic regions only where the page's tokens keep their places (no token
  // deskew) and the regions are MMR coded.
  const bool fold = page.colour == 0 && encoder->doc->deskew == nullptr && own.count > 0 &&
                    jb2GetOptions(QtzJbig2_outputStream(out->handle))->bytes[0] == 0;
  qtz::OwnedBlock<FoldedShape> folded(state, nullptr);
  int32_t foldedCount = 0;
  LineRegions lines{{state}, qtz::OwnedBlock<uint8_t>(state)};
  if (fold && ((status = build()) != QTZ_OK ||
               (status = foldSingleShapes(encoder, b, instances.get(), &count, folded, &foldedCount,
                                          lines)) != QTZ_OK))
    return status;
  void *pageDictionary = nullptr;
  if (own.count > 0) {
    status = out->ops.pageDict(encoder->symbols + own.first, own.count, page.width, page.height,
                               page.xdpi, page.ydpi, 0, out->dictionary, &pageDictionary, 0, 0,
                               out->handle, out->ops.user);
    if (status != QTZ_OK) return status;
    // The dictionary keeps the symbols' sizes; their bitmaps are no longer needed (the folded
    // shapes' once their regions are written).
    if (!fold) releaseBitmaps(state, encoder->symbols, own.first, own.count);
  }
  qtz::OwnedBlock<TclySymbolRecord> variants(state, nullptr);
  if ((status = codeDeskewedVariants(encoder, page, variants)) != QTZ_OK) return status;
  if (encoder->doc->deskew != nullptr && page.skewAngle != 0.0f) {
    if ((status = rotatePageTokens(state, page)) != QTZ_OK) return status;
  }
  if (!fold && (status = build()) != QTZ_OK) return status;
  const void *dictionary = pageDictionary != nullptr ? pageDictionary : out->dictionary;
  const int32_t pageNumber = page.pageNumber + 1;

  if (page.colour != 0) {
    QtzColorState *colours = nullptr;
    if ((status = initColors(&colours, encoder->verbose, state)) != QTZ_OK) return status;
    TclyColourOrder order{encodeColors, &encoder->colourPayload, 0, colours};
    status =
        out->ops.textRegion(instances.get(), count, page.width, page.height, page.xdpi, page.ydpi,
                            &order, pageNumber, dictionary, 1, out->handle, nullptr);
    cleanupColors(colours);
    encoder->colourPayloadLength = order.size;
    if (status != QTZ_OK) return status;
  } else {
    const int32_t split = page.splitRow;
    const bool striped = split > 0 && split < page.height;
    const int32_t rows = striped ? split : page.height;
    int32_t first = 0;
    while (first < count && (!striped || instances.get()[first].y < split)) ++first;
    const int32_t top = 0;
    status =
        out->ops.textRegion(instances.get(), first, page.width, rows, page.xdpi, page.ydpi, nullptr,
                            pageNumber, dictionary, striped ? 0 : 1, out->handle, &top);
    if (status == QTZ_OK) status = codeHalftones(encoder, page, 1, pageNumber);
    if (status == QTZ_OK && !striped) status = codeHalftones(encoder, page, 2, pageNumber);
    if (status == QTZ_OK)
      status = codeGenericRegions(encoder, page.generics, striped ? split : INT64_MAX, folded.get(),
                                  foldedCount);
    if (status == QTZ_OK) status = codeLineRegions(encoder, lines, 1);
    if (status == QTZ_OK && striped) {
      status = QtzJbig2_encodeEndOfStripe(split - 1, pageNumber, out->handle);
      for (int32_t i = first; i < count; ++i) instances.get()[i].y -= split;
      if (status == QTZ_OK)
        status = out->ops.textRegion(instances.get() + first, count - first, page.width,
                                     page.height - split, page.xdpi, page.ydpi, nullptr, pageNumber,
                                     dictionary, 1, out->handle, &split);
      if (status == QTZ_OK) status = codeHalftones(encoder, page, 2, pageNumber);
      if (status == QTZ_OK)
        status = codeGenericRegions(encoder, page.generics, INT64_MAX, folded.get(), foldedCount);
      if (status == QTZ_OK) status = codeLineRegions(encoder, lines, 2);
    }
    if (status != QTZ_OK) return status;
    tclyFreeTokenList(state, page.generics);
    page.generics = nullptr;
    if (fold) releaseBitmaps(state, encoder->symbols, own.first, own.count);
  }
  if (pageDictionary != nullptr) {
    status = out->ops.freeDict(pageDictionary, out->handle, out->ops.user);
    if (status != QTZ_OK) return status;
  }
  return out->ops.endOfPage(out->handle, out->ops.user);
}

// After the section's last page: its page-private records go, and a final section's
// dictionaries are forgotten (the next section codes its symbols anew).
int32_t finishSection(NorvEncoder *encoder) {
  finishPrivateSymbols(encoder);
  TclyOutput *out = encoder->out;
  int32_t status = QTZ_OK;
  if (encoder->sectionFinal != 0) {
    status = out->ops.freeDict(out->dictionary, out->handle, out->ops.user);
    out->dictionary = nullptr;
  }
  if (status == QTZ_OK && out->final != 0)
    status = out->ops.freeDict(nullptr, out->handle, nullptr);
  return status;
}

// The per-page deskewed variants of the section's large classes (every class with members has
// a record by now, so none is left to the private list).
int32_t deskewClasses(NorvEncoder *encoder) {
  QtzState *state = encoder->state;
  TclySection *section = encoder->section;
  QtzAdtList *privateList = nullptr;
  if (QtzAdt_liNew(&privateList, state) != QTZ_OK ||
      QtzAdt_liNew(&encoder->deskewedVariants, state) != QTZ_OK) {
    if (privateList != nullptr) QtzAdt_liFree(privateList);
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  }
  int32_t status =
      deskewSectionClasses(encoder->doc->deskew, privateList, section->pages, section->pageCount,
                           section->classes, encoder->deskewedVariants);
  if (status == QTZ_OK && privateList->count != 0)
    status = qtz::reportText(state, QTZ_ERR_ASSERT, "A deskewed class without a symbol record");
  QtzAdt_liFree(privateList);
  return status;
}

}  // namespace

namespace norvenc {

void dropSectionOutput(NorvEncoder *encoder) {
  finishPrivateSymbols(encoder);
  qtz::release(encoder->state, encoder->colourPayload);
  encoder->colourPayload = nullptr;
  encoder->colourPayloadLength = 0;
}

}  // namespace norvenc

int32_t encodeSectionGlobals(NorvEncoder *encoder, uint8_t, uint8_t **data, size_t *length) {
  if (!valid(encoder)) return QTZ_ERR_ASSERT;
  QtzState *state = encoder->state;
  if (data == nullptr || length == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  if (encoder->section == nullptr || encoder->sectionOpen != 0)
    return qtz::reportText(state, QTZ_ERR_ASSERT, "No ended section to encode");
  norvenc::dropSectionOutput(encoder);
  TclyOutput *out = encoder->out;
  out->page = encoder->section->pages;
  encoder->pageIndex = 0;
  if (encoder->section->pageCount == 0) {
    *data = nullptr;
    *length = 0;
    return finishSection(encoder);
  }
  TclySection *section = encoder->section;
  TclyDeskewContext *deskew = encoder->doc->deskew;
  int32_t status = QTZ_OK;
  if (deskew != nullptr)
    status = countTokensToBeDeskewed(deskew, section->pages, section->pageCount, section->classes);
  if (status == QTZ_OK) status = collectSectionSymbols(encoder);
  if (status != QTZ_OK) return status;
  if (encoder->sectionSymbolCount > 0) {
    void *dictionary = nullptr;
    status = out->ops.sectionDict(encoder->symbols, encoder->sectionSymbolCount, out->dictionary,
                                  &dictionary, 0, 0, out->handle, out->ops.user);
    if (status != QTZ_OK) return status;
    if (dictionary != nullptr) {
      if (out->dictionary != nullptr) {
        status = out->ops.freeDict(out->dictionary, out->handle, out->ops.user);
        if (status != QTZ_OK) return status;
      }
      out->dictionary = dictionary;
    }
  }
  status = applyClassTemplates(state, section->classes);
  if (status == QTZ_OK && deskew != nullptr) status = deskewClasses(encoder);
  if (status != QTZ_OK) return status;
  return QtzJbig2_takeEncodedData(out->handle, data, length);
}

int32_t encodeSectionPages(NorvEncoder *encoder, uint8_t **data, size_t *length,
                           size_t *payloadLength) {
  if (!valid(encoder)) return QTZ_ERR_ASSERT;
  QtzState *state = encoder->state;
  if (data == nullptr || length == nullptr || payloadLength == nullptr)
    return qtz::report(state, QTZ_ERR_NULL);
  const TclySection *section = encoder->section;
  if (section == nullptr || encoder->sectionOpen != 0 || encoder->pageSymbols == nullptr ||
      encoder->pageIndex >= section->pageCount)
    return qtz::reportText(state, QTZ_ERR_ASSERT, "No page of an ended section to encode");
  TclyOutput *out = encoder->out;
  int32_t status = encodeOnePage(encoder, encoder->pageIndex);
  if (status != QTZ_OK) return status;
  ++encoder->pageIndex;
  uint8_t *bytes = nullptr;
  size_t size = 0;
  if ((status = QtzJbig2_takeEncodedData(out->handle, &bytes, &size)) != QTZ_OK) return status;
  qtz::OwnedBlock<uint8_t> owned(state, bytes);
  const size_t payload = encoder->colourPayload != nullptr ? encoder->colourPayloadLength : 0;
  if (payload > 0) {
    auto *grown = static_cast<uint8_t *>(qtz::resize(state, owned.get(), size + payload));
    if (grown == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
    owned.release();
    owned.reset(grown);
    std::memcpy(grown + size, encoder->colourPayload, payload);
  }
  qtz::release(state, encoder->colourPayload);
  encoder->colourPayload = nullptr;
  encoder->colourPayloadLength = 0;
  if (encoder->pageIndex == section->pageCount) {
    if ((status = finishSection(encoder)) != QTZ_OK) return status;
  } else {
    ++out->page;
  }
  *data = owned.release();
  *length = size + payload;
  *payloadLength = payload;
  return QTZ_OK;
}
