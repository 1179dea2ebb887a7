// The banded component walker (see tcly_banded_internal.h). Two run arrays hold the runs of
// the previous and the current row, each with the component it joined; components form a
// union-find forest whose roots carry the box, the pixel count and the run list. Records come
// from two slabs (chunks from the state's allocate hook with free lists), so a page makes few
// allocations however many runs it has.
//
// A component is complete when, after a row, its root was not touched by that row; completed
// roots are gathered first and delivered after the scan of the previous row, so that no run
// of that row points at a freed record. Before delivery the run list is sorted into the image
// core finder's order (bottom row up, right to left) that the collector reads.
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <new>
#include <utility>

#include "qtz_internal.h"
#include "tcly_banded_internal.h"
#include "tcly_collect.h"

namespace tcly {
namespace {

constexpr int32_t kWidestPage = 32700;  // framed columns must fit the runs' 16-bit fields
constexpr int32_t kSlabItems = 1024;

// Items of one type from chunks of kSlabItems, with a free list; every chunk goes at the end.
template <typename T>
class Slab {
 public:
  explicit Slab(QtzState *state) : state_(state) {}
  ~Slab() {
    while (chunks_ != nullptr) {
      Chunk *next = chunks_->next;
      qtz::release(state_, chunks_);
      chunks_ = next;
    }
  }
  Slab(const Slab &) = delete;
  Slab &operator=(const Slab &) = delete;

  T *take() {
    if (free_ == nullptr && !grow()) return nullptr;
    Cell *cell = free_;
    free_ = cell->next;
    return &cell->item;
  }
  void give(T *item) {
    Cell *cell = reinterpret_cast<Cell *>(item);
    cell->next = free_;
    free_ = cell;
  }

 private:
  union Cell {
    T item;
    Cell *next;
  };
  struct Chunk {
    Chunk *next;
    Cell cells[kSlabItems];
  };
  bool grow() {
    auto *chunk = static_cast<Chunk *>(qtz::allocate(state_, sizeof(Chunk)));
    if (chunk == nullptr) return false;
    chunk->next = chunks_;
    chunks_ = chunk;
    for (int32_t i = 0; i < kSlabItems; ++i) {
      chunk->cells[i].next = free_;
      free_ = &chunk->cells[i];
    }
    return true;
  }

  QtzState *state_;
  Chunk *chunks_ = nullptr;
  Cell *free_ = nullptr;
};

// A component under construction; only roots (parent == self) carry the fields below parent.
struct Piece {
  Piece *parent;
  Piece *absorbed;  // records this root absorbed, freed with it
  Piece *nextDone;  // chain of roots completed after a row
  int32_t xmin, xmax, ymin, ymax;
  int32_t lastRow;  // last row with a run; kDone once completed
  int32_t runCount;
  int64_t area;
  PxlRunNode *first;
  PxlRunNode *last;
};

constexpr int32_t kDone = INT32_MIN;

struct RowRun {
  int32_t start;
  int32_t end;
  Piece *piece;
};

Piece *find(Piece *piece) {
  while (piece->parent != piece) {
    piece->parent = piece->parent->parent;
    piece = piece->parent;
  }
  return piece;
}

// Sorts a run list into descending (row, start) order (merge sort on the list).
PxlRunNode *sortRuns(PxlRunNode *list) {
  if (list == nullptr || list->next == nullptr) return list;
  PxlRunNode *slow = list, *fast = list->next;
  while (fast != nullptr && fast->next != nullptr) {
    slow = slow->next;
    fast = fast->next->next;
  }
  PxlRunNode *second = slow->next;
  slow->next = nullptr;
  PxlRunNode *a = sortRuns(list), *b = sortRuns(second);
  PxlRunNode head{};
  PxlRunNode *tail = &head;
  while (a != nullptr && b != nullptr) {
    const bool takeA = a->row != b->row ? a->row > b->row : a->start > b->start;
    PxlRunNode *&from = takeA ? a : b;
    tail->next = from;
    tail = from;
    from = from->next;
  }
  tail->next = a != nullptr ? a : b;
  return head.next;
}

}  // namespace
}  // namespace tcly

struct TclyBandedPage {
  TclyBandedPage(QtzState *s, TokTokenizer *tokenizer, const TclyPageInput &p,
                 const TclyBoxesOptions &o, const TclyCompressedSide &c)
      : state(s),
        page(p),
        options(o),
        compressed(c),
        collector(s, tokenizer, page, options, compressed),
        runs(s),
        pieces(s) {}
  ~TclyBandedPage() {
    qtz::release(state, previous);
    qtz::release(state, current);
  }

  QtzState *state;
  TclyPageInput page;
  TclyBoxesOptions options;
  TclyCompressedSide compressed;
  tcly::Collector collector;
  tcly::Slab<PxlRunNode> runs;
  tcly::Slab<tcly::Piece> pieces;
  tcly::RowRun *previous = nullptr;
  tcly::RowRun *current = nullptr;
  int32_t previousCount = 0;
  int32_t row = 0;  // the page row the next band starts with
  bool lastSeen = false;
  bool failed = false;
};

namespace tcly {
namespace {

// The runs of one band row (pixels 0 .. width - 1 at bit frame + x), a word at a time.
int32_t listRuns(const uint8_t *row, int32_t width, int32_t frame, RowRun *out) {
  const int32_t words = (width + 31) / 32;
  const uint8_t *first = row + frame / 8;
  int32_t count = 0, start = -1;
  for (int32_t i = 0; i < words; ++i) {
    uint32_t word;
    std::memcpy(&word, first + 4 * i, 4);
    if (i == words - 1 && width % 32 != 0) word &= ~(0xFFFFFFFFu >> (width % 32));
    const int32_t base = 32 * i;
    if (word == (start < 0 ? 0u : 0xFFFFFFFFu)) continue;  // no edge in this word
    int32_t bit = 0;
    while (bit < 32) {
      const uint32_t rest = (start < 0 ? word : ~word) << bit;
      if (rest == 0) break;
      bit += std::countl_zero(rest);
      if (start < 0) {
        start = base + bit;
      } else {
        out[count++] = RowRun{start, base + bit - 1, nullptr};
        start = -1;
      }
    }
  }
  if (start >= 0) out[count++] = RowRun{start, width - 1, nullptr};
  return count;
}

int32_t addRun(TclyBandedPage &b, Piece *root, const RowRun &run, int32_t row) {
  PxlRunNode *node = b.runs.take();
  if (node == nullptr) return qtz::report(b.state, QTZ_ERR_NO_MEMORY);
  *node = PxlRunNode{nullptr, static_cast<int16_t>(run.start + kFrame),
                     static_cast<int16_t>(run.end + kFrame), row + kFrame, nullptr};
  if (root->last != nullptr) {
    root->last->next = node;
  } else {
    root->first = node;
  }
  root->last = node;
  root->xmin = std::min(root->xmin, run.start);
  root->xmax = std::max(root->xmax, run.end);
  root->ymax = row;
  root->lastRow = row;
  root->area += run.end - run.start + 1;
  ++root->runCount;
  return QTZ_OK;
}

Piece *newPiece(TclyBandedPage &b, int32_t row, int32_t start) {
  Piece *piece = b.pieces.take();
  if (piece == nullptr) return nullptr;
  *piece = Piece{piece, nullptr, nullptr, start, start, row, row, row, 0, 0, nullptr, nullptr};
  return piece;
}

// The root with the smaller top row (then left column) absorbs the other.
Piece *unite(Piece *a, Piece *b) {
  if (b->ymin < a->ymin || (b->ymin == a->ymin && b->xmin < a->xmin)) std::swap(a, b);
  b->parent = a;
  // b and everything it absorbed go to a's chain.
  Piece *tail = b;
  while (tail->absorbed != nullptr) tail = tail->absorbed;
  tail->absorbed = a->absorbed;
  a->absorbed = b;
  a->xmin = std::min(a->xmin, b->xmin);
  a->xmax = std::max(a->xmax, b->xmax);
  a->ymax = std::max(a->ymax, b->ymax);
  a->lastRow = std::max(a->lastRow, b->lastRow);
  a->area += b->area;
  a->runCount += b->runCount;
  if (b->first != nullptr) {
    if (a->last != nullptr) {
      a->last->next = b->first;
    } else {
      a->first = b->first;
    }
    a->last = b->last;
  }
  return a;
}

void release(TclyBandedPage &b, Piece *root) {
  for (PxlRunNode *run = root->first; run != nullptr;) {
    PxlRunNode *next = run->next;
    b.runs.give(run);
    run = next;
  }
  for (Piece *piece = root->absorbed; piece != nullptr;) {
    Piece *next = piece->absorbed;
    b.pieces.give(piece);
    piece = next;
  }
  b.pieces.give(root);
}

// Delivers (or drops) every root of the chain and frees it; the first collector failure is
// returned after the whole chain is freed.
int32_t deliver(TclyBandedPage &b, Piece *done) {
  int32_t status = QTZ_OK;
  const int32_t limit = b.options.componentSizeLimit;
  while (done != nullptr) {
    Piece *root = done;
    done = done->nextDone;
    const int32_t width = root->xmax - root->xmin + 1, height = root->ymax - root->ymin + 1;
    if (status == QTZ_OK && width >= limit && height >= limit) {
      root->first = sortRuns(root->first);
      status =
          collectComponent(nullptr, &b.collector, root->xmin + kFrame, root->ymin + kFrame, width,
                           height, static_cast<int32_t>(root->area), root->runCount, root->first);
    }
    release(b, root);
  }
  return status;
}

// Gathers the roots of the previous row's runs that the current row did not touch (all of
// them for the last row).
Piece *completed(TclyBandedPage &b, int32_t row, bool all) {
  Piece *done = nullptr;
  for (int32_t i = 0; i < b.previousCount; ++i) {
    Piece *root = find(b.previous[i].piece);
    if (root->lastRow == kDone || (!all && root->lastRow >= row)) continue;
    root->lastRow = kDone;
    root->nextDone = done;
    done = root;
  }
  return done;
}

int32_t walkRow(TclyBandedPage &b, const uint8_t *rowBytes, int32_t frame) {
  const int32_t row = b.row;
  const int32_t count = listRuns(rowBytes, b.page.width, frame, b.current);
  int32_t j = 0;
  for (int32_t i = 0; i < count; ++i) {
    RowRun &run = b.current[i];
    while (j < b.previousCount && b.previous[j].end + 1 < run.start) ++j;
    Piece *root = nullptr;
    for (int32_t k = j; k < b.previousCount && b.previous[k].start <= run.end + 1; ++k) {
      Piece *other = find(b.previous[k].piece);
      root = root == nullptr ? other : other == root ? root : unite(root, other);
    }
    if (root == nullptr && (root = newPiece(b, row, run.start)) == nullptr)
      return qtz::report(b.state, QTZ_ERR_NO_MEMORY);
    if (int32_t status = addRun(b, root, run, row); status != QTZ_OK) return status;
    run.piece = root;
  }
  const int32_t status = deliver(b, completed(b, row, false));
  std::swap(b.previous, b.current);
  b.previousCount = count;
  ++b.row;
  return status;
}

}  // namespace
}  // namespace tcly

int32_t tclyStartBandedPage(QtzState *state, TokTokenizer *tokenizer, const TclyPageInput &page,
                            const TclyBoxesOptions &options, const TclyCompressedSide &compressed,
                            TclyBandedPage **out) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (out == nullptr || tokenizer == nullptr || compressed.classifier == nullptr ||
      compressed.positions == nullptr || compressed.tokens == nullptr)
    return QTZ_ERR_ASSERT;
  if (page.width < 1 || page.height < 1 || page.width > tcly::kWidestPage) return QTZ_ERR_ASSERT;
  void *block = qtz::allocate(state, sizeof(TclyBandedPage));
  if (block == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  auto *banded = new (block) TclyBandedPage(state, tokenizer, page, options, compressed);
  const size_t runBytes = sizeof(tcly::RowRun) * (static_cast<size_t>(page.width) / 2 + 2);
  banded->previous = static_cast<tcly::RowRun *>(qtz::allocate(state, runBytes));
  banded->current = static_cast<tcly::RowRun *>(qtz::allocate(state, runBytes));
  int32_t status = banded->previous == nullptr || banded->current == nullptr
                       ? qtz::report(state, QTZ_ERR_NO_MEMORY)
                       : tcly::startCollector(banded->collector);
  if (status != QTZ_OK) {
    tclyFreeBandedPage(&banded);
    return status;
  }
  *out = banded;
  return QTZ_OK;
}

int32_t tclyAddBand(TclyBandedPage *banded, const uint8_t *rows, int32_t width, int32_t rowCount,
                    int32_t bytesPerRow, int32_t frame, int32_t last) {
  if (banded == nullptr || (rows == nullptr && rowCount > 0)) return QTZ_ERR_PARAM;
  if (banded->failed || banded->lastSeen || width != banded->page.width || rowCount < 0 ||
      (frame != 0 && frame != 32) ||
      int64_t{bytesPerRow} * 8 < int64_t{frame} + (int64_t{width} + 31) / 32 * 32)
    return QTZ_ERR_PARAM;
  if (int64_t{banded->row} + rowCount > banded->page.height) return QTZ_ERR_ASSERT;
  int32_t status = QTZ_OK;
  for (int32_t y = 0; y < rowCount && status == QTZ_OK; ++y)
    status = tcly::walkRow(*banded, rows + int64_t{y} * bytesPerRow, frame);
  if (status == QTZ_OK && last != 0) {
    status = tcly::deliver(*banded, tcly::completed(*banded, banded->row, true));
    banded->previousCount = 0;
    banded->lastSeen = true;
  }
  banded->failed = status != QTZ_OK;
  return status;
}

int32_t tclyEndBandedPage(TclyBandedPage *banded, TclyPageBoxes *out) {
  if (banded == nullptr || out == nullptr || !banded->lastSeen || banded->failed)
    return QTZ_ERR_PARAM;
  *out = TclyPageBoxes{};
  tcly::finishCollector(banded->collector, out);
  out->splitRow = 1;
  return QTZ_OK;
}

void tclyFreeBandedPage(TclyBandedPage **banded) {
  if (banded == nullptr || *banded == nullptr) return;
  TclyBandedPage *page = *banded;
  QtzState *state = page->state;
  page->~TclyBandedPage();
  qtz::release(state, page);
  *banded = nullptr;
}
