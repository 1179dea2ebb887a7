// Token deskew (see tcly_deskew_internal.h): the page's skew is measured on a copy turned by
// the orientation; token positions are turned about the page centre in extended precision;
// classes are regrouped by page and deskewed per page whose threshold they exceed; large
// generic regions are drawn from their runs, turned and kept inside the page; members take
// their class's template.
//
// Failure modes: allocation failures give 1 (reported); a member whose page is not one of
// the section's, a class without a symbol record on several pages, an old member list left
// non-empty or a deskewed bitmap whose words per row disagree with its width give 10003; the
// statuses of the core and of deskewBitmap pass up. A failed regrouping keeps every member.
#include <cmath>
#include <cstring>

#include "deskew.h"
#include "pxl_owners_internal.h"
#include "pxl_rotate.h"
#include "pxl_skew.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tcly_deskew_internal.h"
#include "tcly_runs.h"
#include "tok_lossy_internal.h"

namespace tcly {
namespace {

constexpr int32_t kNoThreshold = 2147483647;
constexpr double kLargestSide = 65535.0;  // token and symbol sides are 16-bit
constexpr float kLargestSkew = 0.523598776f;
constexpr int32_t kLeastScore = 6;

TclyToken *memberToken(const QtzAdtListNode *node) {
  return reinterpret_cast<TclyToken *>(static_cast<const TokOutMember *>(node->data)->user);
}

// Index of the page record with this page number, -1 when there is none.
int32_t pageIndex(const TclyPageRecord *pages, int32_t pageCount, int32_t pageNumber) {
  for (int32_t i = 0; i < pageCount; ++i)
    if (pages[i].pageNumber == pageNumber) return i;
  return -1;
}

bool exceeds(int32_t width, int32_t height, int32_t threshold) {
  return threshold != 0 && (width > threshold || height > threshold);
}

bool onSeveralPages(const QtzAdtList *members) {
  if (members == nullptr || members->head == nullptr) return false;
  const int32_t first = memberToken(members->head)->page;
  for (const QtzAdtListNode *node = members->head->next; node != nullptr; node = node->next)
    if (memberToken(node)->page != first) return true;
  return false;
}

// Rebuilds the member list so that the members of one page follow one another, pages in the
// order of their first member. On an allocation failure the members not yet moved are
// appended in their old order, so the list still holds every member.
int32_t regroupByPage(QtzState *state, QtzAdtList **members) {
  QtzAdtList *old = *members;
  QtzAdtList *fresh = nullptr;
  if (QtzAdt_liNew(&fresh, state) != QTZ_OK) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t status = QTZ_OK;
  while (old->head != nullptr && status == QTZ_OK) {
    const int32_t page = memberToken(old->head)->page;
    QtzAdtListNode *node = old->head;
    while (node != nullptr && status == QTZ_OK) {
      if (memberToken(node)->page != page) {
        node = node->next;
        continue;
      }
      status = QtzAdt_liAdd(fresh, node->data, nullptr);
      if (status == QTZ_OK) status = QtzAdt_liRemAndNext(node, &node);
    }
  }
  if (status != QTZ_OK) {
    QtzAdt_liApp(fresh, old);
    *members = fresh;
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  }
  if (old->count != 0 || old->head != nullptr) {
    QtzAdt_liFree(fresh);
    return QTZ_ERR_ASSERT;
  }
  QtzAdt_liFree(old);
  *members = fresh;
  return QTZ_OK;
}

// Walks the page groups of a regrouped member list: fn(first node, node after the group,
// page index) for each; stops at the first non-zero status.
template <typename Fn>
int32_t forEachPageGroup(const QtzAdtList *members, const TclyPageRecord *pages, int32_t pageCount,
                         Fn fn) {
  QtzAdtListNode *node = members->head;
  while (node != nullptr) {
    const int32_t page = memberToken(node)->page;
    QtzAdtListNode *end = node->next;
    while (end != nullptr && memberToken(end)->page == page) end = end->next;
    const int32_t index = pageIndex(pages, pageCount, page);
    if (index < 0) return QTZ_ERR_ASSERT;
    if (int32_t status = fn(node, end, index); status != QTZ_OK) return status;
    node = end;
  }
  return QTZ_OK;
}

void moveMembers(QtzAdtListNode *first, const QtzAdtListNode *end, const TokInputToken &image,
                 int32_t oldWidth, int32_t oldHeight, TclySymbolRecord *symbol) {
  for (QtzAdtListNode *node = first; node != end; node = node->next) {
    TclyToken *token = memberToken(node);
    token->x -= (image.width - oldWidth) / 2;
    token->y += (image.height - oldHeight) / 2;
    token->bits = image.rows;
    token->ownsBits = 0;
    token->width = image.width;
    token->height = image.height;
    token->wordsPerRow = image.wordsPerRow;
    if (symbol != nullptr) token->symbol = symbol;
  }
}

// The class bitmap turned by a page's angle; a null result when nothing is left of it.
int32_t turnBitmap(QtzState *state, const uint32_t *rows, int32_t width, int32_t height,
                   int32_t wordsPerRow, const TclyPageRecord &page, TokInputToken *out) {
  uint32_t *turned = nullptr;
  int32_t w = 0, h = 0, words = 0;
  int32_t status = deskew::deskewBitmap(rows, width, height, wordsPerRow, &turned, &w, &h, &words,
                                        page.skewAngle, page.width, page.height, state);
  if (status != QTZ_OK) return status;
  if (words != (w + 31) / 32) {
    qtz::release(state, turned);
    return QTZ_ERR_ASSERT;
  }
  *out = TokInputToken{static_cast<uint16_t>(w), static_cast<uint16_t>(h), turned,
                       static_cast<uint16_t>(words), 0};
  return QTZ_OK;
}

int32_t deskewClass(TclyDeskewContext *context, QtzAdtList *privateList, TclyPageRecord *pages,
                    int32_t pageCount, TokOutClass *cls, QtzAdtList *variants) {
  QtzState *state = context->state;
  if (int32_t status = regroupByPage(state, &cls->members); status != QTZ_OK) return status;
  auto *shared = reinterpret_cast<TclySymbolRecord *>(cls->head.user);
  const int32_t width = cls->head.width, height = cls->head.height;
  if (shared == nullptr && onSeveralPages(cls->members)) return QTZ_ERR_ASSERT;
  return forEachPageGroup(
      cls->members, pages, pageCount,
      [&](QtzAdtListNode *first, const QtzAdtListNode *end, int32_t index) -> int32_t {
        if (!exceeds(width, height, context->thresholds[index])) return QTZ_OK;
        TokInputToken turned{};
        int32_t status = turnBitmap(state, cls->head.rows, width, height, cls->head.wordsPerRow,
                                    pages[index], &turned);
        if (status != QTZ_OK || turned.rows == nullptr) return status;
        qtz::OwnedBlock<uint32_t> rows(state, turned.rows);
        if (shared != nullptr) {
          qtz::OwnedBlock<TclySymbolRecord> symbol(
              state,
              static_cast<TclySymbolRecord *>(qtz::allocate(state, sizeof(TclySymbolRecord))));
          if (!symbol) return qtz::report(state, QTZ_ERR_NO_MEMORY);
          int32_t members = 0;
          for (const QtzAdtListNode *n = first; n != end; n = n->next) ++members;
          *symbol.get() = TclySymbolRecord{
              turned.rows,        nullptr, shared->pageFlag, turned.width, turned.height,
              turned.wordsPerRow, 0,       members};
          if (QtzAdt_liAdd(variants, symbol.get(), nullptr) != QTZ_OK)
            return qtz::report(state, QTZ_ERR_NO_MEMORY);
          moveMembers(first, end, turned, width, height, symbol.release());
          rows.release();
          return QTZ_OK;
        }
        if (QtzAdt_liAdd(privateList, cls, nullptr) != QTZ_OK)
          return qtz::report(state, QTZ_ERR_NO_MEMORY);
        qtz::release(state, cls->head.rows);
        cls->head.rows = rows.release();
        cls->head.width = turned.width;
        cls->head.height = turned.height;
        cls->head.wordsPerRow = turned.wordsPerRow;
        moveMembers(first, end, turned, width, height, nullptr);
        return QTZ_OK;
      });
}

int32_t deskewRegion(QtzState *state, const TclyPageRecord &page, TclyToken *region) {
  const int32_t width = region->width, height = region->height;
  region->notCoded = 1;
  if (region->runs != nullptr) {
    auto *bits = static_cast<uint32_t *>(qtz::allocateZeroed(
        state, static_cast<size_t>(region->wordsPerRow) * static_cast<size_t>(height), 4));
    if (bits == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
    drawRuns(bits, region->wordsPerRow, region->runs, region->runCount, 0, 0);
    if (region->ownsBits != 0) qtz::release(state, region->bits);
    qtz::release(state, region->runs);
    region->runs = nullptr;
    region->runCount = 0;
    region->bits = bits;
    region->ownsBits = 1;
    region->y += height - 1;
  }
  TokInputToken turned{region->width, region->height, region->bits, region->wordsPerRow, 0};
  if (width >= 2 && height >= 2) {
    int32_t status =
        turnBitmap(state, region->bits, width, height, region->wordsPerRow, page, &turned);
    if (status != QTZ_OK) return status;
    if (turned.rows == nullptr) return QTZ_OK;
    if (region->ownsBits != 0) qtz::release(state, region->bits);
    region->ownsBits = 1;
  }
  int64_t left = int64_t{region->x} - (turned.width - width) / 2;
  int64_t bottom = int64_t{region->y} + (turned.height - height) / 2;
  left = std::max<int64_t>(0, std::min<int64_t>(left, int64_t{page.width} - turned.width));
  region->x = static_cast<int32_t>(left);
  region->y = tclyPlacedBottomRow(bottom, turned.height, page.height);
  region->bits = turned.rows;
  region->width = turned.width;
  region->height = turned.height;
  region->wordsPerRow = turned.wordsPerRow;
  return QTZ_OK;
}

}  // namespace
}  // namespace tcly

int32_t tclyCreateDeskewContext(QtzState *state, int32_t deskewPrecision, int32_t orientation,
                                TclyDeskewContext **out) {
  if (state == nullptr || out == nullptr) return QTZ_ERR_PARAM;
  auto *context = static_cast<TclyDeskewContext *>(qtz::allocate(state, sizeof(TclyDeskewContext)));
  if (context == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  const int32_t precision = deskewPrecision < 0 ? 0 : deskewPrecision > 5 ? 5 : deskewPrecision;
  *context =
      TclyDeskewContext{orientation, 1 << (5 - precision), nullptr, 0, tcly::kNoThreshold, state};
  *out = context;
  return QTZ_OK;
}

void tclyFreeDeskewContext(TclyDeskewContext **context) {
  if (context == nullptr || *context == nullptr) return;
  QtzState *state = (*context)->state;
  qtz::release(state, (*context)->thresholds);
  qtz::release(state, *context);
  *context = nullptr;
}

int32_t tclySkewThreshold(float angle) {
  const double sine = std::fabs(std::sin(static_cast<double>(angle)));
  // Written so that a zero or not-a-number angle falls through to 0 as well.
  if (!(sine * tcly::kLargestSide > 2.0)) return 0;
  return static_cast<int32_t>(2.0 / sine);
}

int32_t measurePageSkew(TclyDeskewContext *context, Pixr *page, float *angle) {
  *angle = 0.0f;
  QtzState *state = context->state;
  PxlContext *ctx = state->ipwContext;
  if (ctx == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  pxl::OwnedImage turned(ctx);
  int32_t status = QTZ_OK;
  switch (context->orientation) {
    case 1:
      status = pxlRotate180(ctx, page, turned.put());
      break;
    case 2:
      status = pxlRotate270(ctx, page, turned.put());
      break;
    case 3:
      status = pxlRotate90(ctx, page, turned.put());
      break;
    default:
      break;
  }
  if (status != QTZ_OK) return status;
  int32_t score = 0;
  float measured = 0.0f;
  status = pxlFindSkewAngle(ctx, turned.get() != nullptr ? turned.get() : page, context->rowStep,
                            &score, &measured);
  if (status != QTZ_OK) return status;
  if (score >= tcly::kLeastScore && measured >= -tcly::kLargestSkew &&
      measured <= tcly::kLargestSkew)
    *angle = measured;
  return QTZ_OK;
}

int32_t countTokensToBeDeskewed(TclyDeskewContext *context, TclyPageRecord *pages,
                                int32_t pageCount, QtzAdtList *classes) {
  QtzState *state = context->state;
  qtz::OwnedBlock<int32_t> thresholds(
      state, static_cast<int32_t *>(qtz::allocate(state, 4 * static_cast<size_t>(pageCount) + 4)));
  if (!thresholds) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t smallest = tcly::kNoThreshold;
  for (int32_t i = 0; i < pageCount; ++i) {
    thresholds.get()[i] = tclySkewThreshold(pages[i].skewAngle);
    if (thresholds.get()[i] != 0 && thresholds.get()[i] < smallest) smallest = thresholds.get()[i];
  }
  qtz::release(state, context->thresholds);
  context->thresholds = thresholds.release();
  context->thresholdCount = pageCount;
  context->smallestThreshold = smallest;
  for (QtzAdtListNode *node = classes->head; node != nullptr; node = node->next) {
    auto *cls = static_cast<TokOutClass *>(node->data);
    const int32_t width = cls->head.width, height = cls->head.height;
    if (!(width > smallest || height > smallest) || !tcly::onSeveralPages(cls->members)) continue;
    int32_t status = tcly::regroupByPage(state, &cls->members);
    if (status == QTZ_OK)
      status = tcly::forEachPageGroup(
          cls->members, pages, pageCount,
          [&](QtzAdtListNode *, const QtzAdtListNode *, int32_t index) -> int32_t {
            if (tcly::exceeds(width, height, context->thresholds[index]))
              ++pages[index].deskewCount;
            return QTZ_OK;
          });
    if (status != QTZ_OK) return status;
  }
  return QTZ_OK;
}

int32_t deskewSectionClasses(TclyDeskewContext *context, QtzAdtList *privateList,
                             TclyPageRecord *pages, int32_t pageCount, QtzAdtList *classes,
                             QtzAdtList *variants) {
  QtzState *state = context->state;
  int32_t status = context->thresholdCount == pageCount ? QTZ_OK : QTZ_ERR_ASSERT;
  const int32_t smallest = context->smallestThreshold;
  for (QtzAdtListNode *node = classes->head; node != nullptr && status == QTZ_OK;
       node = node->next) {
    auto *cls = static_cast<TokOutClass *>(node->data);
    if (cls->head.width > smallest || cls->head.height > smallest)
      status = tcly::deskewClass(context, privateList, pages, pageCount, cls, variants);
  }
  qtz::release(state, context->thresholds);
  context->thresholds = nullptr;
  context->thresholdCount = 0;
  context->smallestThreshold = tcly::kNoThreshold;
  return status;
}

int32_t deskewPageGenericRegions(QtzState *state, TclyPageRecord *page) {
  const int32_t threshold = tclySkewThreshold(page->skewAngle);
  if (threshold == 0 || page->generics == nullptr) return QTZ_OK;
  for (QtzAdtListNode *node = page->generics->head; node != nullptr; node = node->next) {
    auto *region = static_cast<TclyToken *>(node->data);
    if (!tcly::exceeds(region->width, region->height, threshold)) continue;
    if (int32_t status = tcly::deskewRegion(state, *page, region); status != QTZ_OK) return status;
  }
  return QTZ_OK;
}

void rotateTokenPositions(TclyToken *const *tokens, int32_t count, int32_t pageWidth,
                          int32_t pageHeight, float angle) {
  if (angle == 0.0f) return;
  const long double c = std::cos(static_cast<long double>(angle));
  const long double s = std::sin(static_cast<long double>(angle));
  for (int32_t i = 0; i < count; ++i) {
    TclyToken *token = tokens[i];
    const int64_t fx = int64_t{token->x} + token->width / 2 - pageWidth / 2;
    const int64_t m = int64_t{token->y} - token->height / 2 - pageHeight / 2;
    const auto fxl = static_cast<long double>(fx), ml = static_cast<long double>(m);
    token->x +=
        static_cast<int32_t>(static_cast<int64_t>(std::floor(c * fxl - s * ml + 0.5L)) - fx);
    token->y += static_cast<int32_t>(static_cast<int64_t>(std::floor(c * ml + s * fxl + 0.5L)) - m);
  }
}

int32_t applyClassTemplates(QtzState *state, QtzAdtList *classes) {
  if (classes == nullptr) return QTZ_OK;
  for (QtzAdtListNode *c = classes->head; c != nullptr; c = c->next) {
    auto *cls = static_cast<TokOutClass *>(c->data);
    auto *symbol = reinterpret_cast<TclySymbolRecord *>(cls->head.user);
    if (symbol == nullptr || cls->members == nullptr) continue;
    for (QtzAdtListNode *m = cls->members->head; m != nullptr; m = m->next) {
      const auto *member = static_cast<const TokOutMember *>(m->data);
      auto *token = reinterpret_cast<TclyToken *>(member->user);
      if (token == nullptr) return qtz::report(state, QTZ_ERR_ASSERT);
      if (token->ownsBits != 0) qtz::release(state, token->bits);
      token->bits = cls->head.rows;
      token->ownsBits = 0;
      token->x -= member->x;
      token->y = token->y - member->y + cls->head.height - 1;
      token->width = cls->head.width;
      token->height = cls->head.height;
      token->wordsPerRow = cls->head.wordsPerRow;
      token->symbol = symbol;
    }
  }
  return QTZ_OK;
}

void drawRuns(uint32_t *rows, int32_t wordsPerRow, const uint16_t *runs, int32_t runCount,
              int32_t xOffset, int32_t firstRow) {
  for (int32_t i = 0; i < runCount; ++i) {
    const uint16_t *run = runs + 3 * static_cast<ptrdiff_t>(i);
    uint32_t *row = rows + (int64_t{firstRow} + run[0]) * wordsPerRow;
    tcly::fillSpan(row, run[1] + xOffset, run[2] + xOffset);
  }
}
