// The run-based component finder (see i_ccfind.h). Runs of two touching rows: a of row y - 1
// and b of row y touch when b.start <= a.end + g and b.end >= a.start - g (g = 1 for
// 8-connectivity). Components are nodes of a union; each counts the runs in hand whose
// parent chain passes through it, so that a merged-away node is released as soon as no run
// refers to it and a root reaching 0 is finished.
//
// Run lists: a run leaving the previous row is pushed at the front of its component's list
// with its row, so an unmerged component's list is already bottom row first, right to left.
// A merge appends the other list in constant time; a finished list that is out of order is
// sorted (row, then start, both descending) by a linked-list merge sort before delivery, so
// a page pass costs O(runs log runs) at worst, whatever the shape of its components.
#include "i_ccfind.h"

#include <algorithm>
#include <utility>

namespace pxl::cc {
namespace {

constexpr int32_t kSentinel = PXL_RUN_SENTINEL;

void makeSentinel(PxlRunNode *node, int32_t value) {
  node->start = node->end = static_cast<int16_t>(value);
  node->component = nullptr;
}

PxlCCNode *rootOf(PxlCCNode *node) {
  while (node != nullptr && node->parent != nullptr) node = node->parent;
  return node;
}

int32_t length(const PxlRunNode *run) {
  return run->end - run->start + 1;
}

// Run-list order: bottom row first, right to left within a row.
bool before(const PxlRunNode *a, const PxlRunNode *b) {
  return a->row != b->row ? a->row > b->row : a->start > b->start;
}

PxlRunNode *mergeSorted(PxlRunNode *a, PxlRunNode *b) {
  PxlRunNode head{};
  PxlRunNode *tail = &head;
  while (a != nullptr && b != nullptr) {
    PxlRunNode *&from = before(a, b) ? a : b;
    tail->next = from;
    tail = from;
    from = from->next;
  }
  tail->next = a != nullptr ? a : b;
  return head.next;
}

// Sorts a run list into run-list order (bottom-up merge sort over sub-lists of 2^i nodes).
PxlRunNode *sortRuns(PxlRunNode *list) {
  bool sorted = true;
  for (const PxlRunNode *n = list; n != nullptr && n->next != nullptr && sorted; n = n->next)
    sorted = before(n, n->next);
  if (sorted) return list;
  PxlRunNode *bins[64] = {};
  while (list != nullptr) {
    PxlRunNode *node = list;
    list = list->next;
    node->next = nullptr;
    int i = 0;
    for (; bins[i] != nullptr; ++i) {
      node = mergeSorted(bins[i], node);
      bins[i] = nullptr;
    }
    bins[i] = node;
  }
  PxlRunNode *out = nullptr;
  for (PxlRunNode *bin : bins)
    if (bin != nullptr) out = mergeSorted(bin, out);
  return out;
}

class Finder {
 public:
  Finder(PxlContext *ctx, PxlItemPool *componentPool, PxlItemPool *runPool, int32_t g,
         const Delivery &delivery)
      : ctx_(ctx), components_(componentPool), runs_(runPool), g_(g), d_(delivery) {}

  // Merge and close passes of the runs of row y - 1 (list p) against row y (list c).
  int32_t passes(PxlRunNode *p, PxlRunNode *c, int32_t y) {
    if (const int32_t status = mergePass(p, c, y); status != 0) return status;
    return closePass(p, c, y);
  }

 private:
  bool keepsRuns() const { return d_.boxes == nullptr; }

  void joinRun(PxlCCNode *u, PxlRunNode *run) {
    run->component = u;
    ++u->openCount;
    ++u->runCount;
    u->area += length(run);
  }

  // Merges root r into root m; m keeps the component.
  PxlCCNode *merge(PxlCCNode *r, PxlCCNode *m) {
    r->parent = m;
    m->xmin = std::min(m->xmin, r->xmin);
    m->ymin = std::min(m->ymin, r->ymin);
    m->xmax = std::max(m->xmax, r->xmax);
    m->openCount += r->openCount;
    m->runCount += r->runCount;
    m->area += r->area;
    if (r->lastRun != nullptr) {
      if (m->lastRun == nullptr)
        m->lastRun = r->lastRun;
      else
        m->firstRun->next = r->lastRun;
      m->firstRun = r->firstRun;
      r->firstRun = r->lastRun = nullptr;
    }
    return m;
  }

  int32_t newComponent(PxlRunNode *run, int32_t row, PxlCCNode **out) {
    void *item = nullptr;
    if (const int32_t status = pxlGetPoolItem(ctx_, components_, &item); status != 0) return status;
    auto *u = static_cast<PxlCCNode *>(item);
    *u = PxlCCNode{};
    u->xmin = run->start;
    u->xmax = run->end;
    u->ymin = row;
    u->seedX = run->start;
    u->seedY = row;
    joinRun(u, run);
    *out = u;
    return 0;
  }

  int32_t mergePass(PxlRunNode *p, PxlRunNode *cList, int32_t y) {
    PxlCCNode *m = nullptr;
    const PxlRunNode *q = p;
    PxlRunNode *c = cList;
    for (PxlRunNode *run = p->next; run->start != kSentinel; run = run->next) {
      PxlCCNode *r = rootOf(run->component);
      while (c->end < run->start - g_) c = c->next;
      if (c->start <= q->end + g_ && r != m) {
        if (r == nullptr) {
          m->xmax = std::max<int32_t>(m->xmax, run->end);
          joinRun(m, run);
          r = m;
        } else {
          r = merge(r, m);
        }
      }
      if (r == nullptr)
        if (const int32_t status = newComponent(run, y - 1, &r); status != 0) return status;
      m = r;
      q = run;
    }
    return 0;
  }

  void releaseNode(PxlCCNode *u) {
    void *item = u;
    pxlReleasePoolItem(ctx_, components_, &item);
  }

  // Delivers a finished root (when large enough) and gives its runs and node back.
  int32_t finish(PxlCCNode *u, int32_t y) {
    const int32_t width = u->xmax - u->xmin + 1, height = y - u->ymin;
    int32_t answer = 0;
    if (keepsRuns()) u->lastRun = sortRuns(u->lastRun);
    if (width >= d_.minWidth && height >= d_.minHeight)
      answer = keepsRuns() ? d_.runs(ctx_, d_.user, u->xmin, u->ymin, width, height, u->area,
                                     u->runCount, u->lastRun)
                           : d_.boxes(ctx_, d_.user, u->xmin, u->ymin, width, height, u->area,
                                      u->runCount, u->seedX, u->seedY);
    if (keepsRuns() && u->lastRun != nullptr) {
      PxlRunNode *tail = u->lastRun;
      while (tail->next != nullptr) tail = tail->next;
      tail->next = static_cast<PxlRunNode *>(runs_->freeList);
      runs_->freeList = u->lastRun;
    }
    releaseNode(u);
    if (answer != 0) {
      if (d_.stop != nullptr) *d_.stop = answer;
      return PXL_ERR_CALLBACK;
    }
    return 0;
  }

  int32_t closePass(PxlRunNode *p, PxlRunNode *cList, int32_t y) {
    PxlRunNode *c = cList->next;
    PxlRunNode *run = p->next;
    while (run->start != kSentinel) {
      PxlRunNode *following = run->next;
      PxlCCNode *u = run->component;
      while (u->parent != nullptr) {
        PxlCCNode *parent = u->parent;  // read before the node may go back to the pool
        if (--u->openCount <= 0) releaseNode(u);
        u = parent;
      }
      if (keepsRuns()) {
        run->row = y - 1;
        run->next = u->lastRun;
        u->lastRun = run;
        if (u->firstRun == nullptr) u->firstRun = run;
      }
      while (c->end < run->start - g_) c = c->next;
      if (c->start > run->end + g_) {
        if (--u->openCount <= 0)
          if (const int32_t status = finish(u, y); status != 0) return status;
      } else {
        if (c->component != nullptr) {
          --u->openCount;
        } else {
          c->component = u;
          u->xmin = std::min<int32_t>(u->xmin, c->start);
          u->area += length(c);
          ++u->runCount;
        }
        while (c->next->start <= run->end + g_) {
          c = c->next;
          joinRun(u, c);
        }
        u->xmax = std::max<int32_t>(u->xmax, c->end);
      }
      run = following;
    }
    if (keepsRuns()) p->next = run;
    return 0;
  }

  PxlContext *ctx_;
  PxlItemPool *components_;
  PxlItemPool *runs_;
  int32_t g_;
  const Delivery &d_;
};

int32_t readRow(PxlContext *ctx, const Source &s, int32_t index, PxlRunNode *first,
                PxlItemPool *runPool) {
  if (s.readRow == nullptr)
    return pxlRowToRunList(
        ctx, reinterpret_cast<const uint32_t *>(s.rows + int64_t{index} * s.bytesPerRow),
        s.x0 + s.width - 1, s.x0, first, runPool);
  const int32_t answer = s.readRow(ctx, s.reader, first, runPool);
  if (answer == 0) return 0;
  if (s.readerStop != nullptr) *s.readerStop = answer;
  return PXL_ERR_CALLBACK;
}

}  // namespace

int32_t makeRowList(PxlContext *ctx, PxlItemPool *runPool, PxlRunNode **head) {
  void *h = nullptr, *e = nullptr;
  int32_t status = pxlGetPoolItem(ctx, runPool, &h);
  if (status == 0) status = pxlGetPoolItem(ctx, runPool, &e);
  if (status != 0) return status;
  auto *headNode = static_cast<PxlRunNode *>(h), *endNode = static_cast<PxlRunNode *>(e);
  makeSentinel(headNode, -kSentinel);
  makeSentinel(endNode, kSentinel);
  headNode->next = endNode;
  endNode->next = nullptr;
  *head = headNode;
  return 0;
}

int32_t findComponents(PxlContext *ctx, PxlItemPool *componentPool, PxlItemPool *runPool,
                       PxlRunNode **a, PxlRunNode **b, int32_t y0, int32_t rowCount, int32_t g,
                       const Source &source, const Delivery &delivery) {
  Finder finder(ctx, componentPool, runPool, g, delivery);
  PxlRunNode *p = *a, *c = *b;
  int32_t status = 0;
  for (int32_t i = 0; i <= rowCount && status == 0; ++i) {
    if (i < rowCount)
      status = readRow(ctx, source, y0 + i, c->next, runPool);
    else
      makeSentinel(c->next, kSentinel);
    if (status == 0) status = finder.passes(p, c, y0 + i);
    std::swap(p, c);
  }
  *a = p;
  *b = c;
  return status;
}

}  // namespace pxl::cc
