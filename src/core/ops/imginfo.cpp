// Page statistics (pxlComputeImageInfo): the boxes of a bilevel page's text, marked in a
// bilevel image.
//
// The page's components (at least R/100 wide and R/50 high at R dots per inch; 4-connected)
// become statistics records. Their heights, each counted with its two neighbours, form a
// height profile whose runs of non-empty heights are the height clusters; the cluster with
// the most entries is the body text. The height bound is the last height + 1 of the tallest
// cluster above it that starts below four fifths of an inch and is either that short on
// average or well filled, else of the body-text cluster. A first filter drops long thin
// rules, wide flat components below the body text whose runs say they are rules or solid
// bars, wide components above it that are nearly solid or nearly empty, and sparse
// components above the height bound (pictures).
//
// The survivors are then merged, left to right, into groups that stand side by side on one
// line: a record may join a group whose right end it follows by fewer than 3 R/25 columns,
// whose reference row (a quarter of the way down) lies within the record's rows or the
// record's within the group's, and whose tallest member it matches within a factor of 2; of
// those it joins the one with the most members (so that a fragment that began a group of its
// own does not split the line), else it begins a group. When the page has a text line (a
// group of three or more members at least eight times as wide as it is high), groups that
// are not text lines are dropped; a page without text lines keeps every group. Each
// remaining group's box is set to 1 in the result.
#include <algorithm>

#include "i_xfer.h"
#include "pxl_components.h"
#include "pxl_owners_internal.h"
#include "pxl_pages.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "imginfo";

// One component, later one group of components side by side.
struct Stats {
  Stats *next;
  int32_t x;  // content coordinates
  int32_t y;
  int32_t width;
  int32_t height;
  int32_t pixels;
  int32_t runs;
  int32_t top;
  int32_t bottom;
  int32_t referenceFirst;  // y + (2 height + 1) / 4
  int32_t reference;
  int32_t members;
  int32_t tallest;  // height of the tallest member
  int32_t order;    // position in the list, for a deterministic sort
};

void freeStatsList(PxlContext *ctx, Stats *list) {
  while (list != nullptr) {
    Stats *next = list->next;
    pxl::freeRecord(ctx, list);
    list = next;
  }
}
using OwnedStats = pxl::Owner<Stats, freeStatsList>;

// Component callback: a new record at the head of the list (user is the head's address).
int32_t collectStats(PxlContext *ctx, void *user, int32_t xmin, int32_t ymin, int32_t width,
                     int32_t height, int32_t area, int32_t runCount, PxlRunNode *) {
  auto **head = static_cast<Stats **>(user);
  Stats *s = pxl::newRecord<Stats>(ctx);
  if (s == nullptr) return PXL_ERR_NO_MEMORY;
  s->x = xmin - 32;
  s->y = ymin - 32;
  s->width = width;
  s->height = height;
  s->pixels = area;
  s->runs = runCount;
  s->top = s->y;
  s->bottom = s->y + height - 1;
  s->referenceFirst = s->reference = s->y + (2 * height + 1) / 4;
  s->members = 1;
  s->tallest = height;
  s->order = *head != nullptr ? (*head)->order + 1 : 0;
  s->next = *head;
  *head = s;
  return 0;
}

struct Cluster {
  int32_t mean;
  int32_t first;
  int32_t last;
  int64_t entries;
};

// The body text's last height and the height bound from the height profile of the records.
int32_t heightLimits(PxlContext *ctx, const Stats *list, int32_t pageHeight, int32_t dpi,
                     int32_t *bodyLast, int32_t *bound) {
  const size_t heights = size_t(pageHeight) + 2;
  pxl::OwnedRecord<int32_t> profile(
      ctx, static_cast<int32_t *>(pxl::allocRecordZeroed(ctx, heights, sizeof(int32_t))));
  // At most one cluster per two heights.
  pxl::OwnedRecord<Cluster> clusters(
      ctx, static_cast<Cluster *>(pxl::allocRecordZeroed(ctx, heights / 2 + 1, sizeof(Cluster))));
  if (!profile || !clusters) return PXL_ERR_NO_MEMORY;
  int32_t *p = profile.get();
  for (const Stats *s = list; s != nullptr; s = s->next) {
    ++p[s->height - 1];
    ++p[s->height];
    ++p[s->height + 1];
  }
  Cluster *c = clusters.get();
  int32_t count = 0, body = -1;
  for (int32_t h = 0; h < int32_t(heights); ++h) {
    if (p[h] == 0) continue;
    int64_t sum = 0, weighted = 0;
    const int32_t first = h;
    for (; h < int32_t(heights) && p[h] != 0; ++h) {
      sum += p[h];
      weighted += int64_t{h} * p[h];
    }
    c[count] = {int32_t(weighted / sum), first, h - 1, sum};
    if (body < 0 || c[count].entries > c[body].entries) body = count;
    ++count;
  }
  *bodyLast = body >= 0 ? c[body].last : 0;
  *bound = *bodyLast + 1;
  const int32_t tall = 4 * dpi / 5;
  for (int32_t i = count - 1; i > body; --i)
    if (c[i].first < tall && (c[i].mean < tall || c[i].entries > 4)) {
      *bound = c[i].last + 1;
      break;
    }
  return 0;
}

// The first filter: whether a record is dropped.
bool dropped(const Stats &s, int32_t pageWidth, int32_t dpi, int32_t bodyLast, int32_t bound) {
  const int64_t w = s.width, h = s.height, p = s.pixels, n = s.runs;
  if (w > pageWidth / 2 && w > 8 * h && w > 2 * dpi && n < w - h) return true;
  if (w > dpi && h < bodyLast && ((w > 8 * h && 5 * p >= 4 * w * h) || (n < w / 2 && w > 4 * h)))
    return true;
  if (h < w && h > bodyLast && n < w / 2 && (10 * p > 9 * w * h || 7 * p < w * h)) return true;
  return h > bound && 8 * p < w * h;
}

bool sideBySide(const Stats &group, const Stats &s, int32_t maxGap) {
  const int32_t right = group.x + group.width - 1;
  if (s.x - right - 1 >= maxGap) return false;
  if (s.height > 2 * group.tallest || group.tallest > 2 * s.height) return false;
  return (s.referenceFirst >= group.top && s.referenceFirst <= group.bottom) ||
         (group.reference >= s.top && group.reference <= s.bottom);
}

void join(Stats *group, const Stats &s) {
  const int32_t right = std::max(group->x + group->width, s.x + s.width);
  group->top = std::min(group->top, s.top);
  group->bottom = std::max(group->bottom, s.bottom);
  group->width = right - group->x;
  group->pixels += s.pixels;
  group->runs += s.runs;
  group->members += s.members;
  group->tallest = std::max(group->tallest, s.tallest);
}

bool textLine(const Stats &g) {
  return g.members >= 3 && int64_t{g.width} >= 8 * int64_t{g.bottom - g.top + 1};
}

// Merges the records side by side into groups (the list is rebuilt from the groups) and
// drops the groups that are not text lines when the page has one.
int32_t mergeGroups(PxlContext *ctx, OwnedStats *list, int32_t maxGap) {
  size_t n = 0;
  for (Stats *s = list->get(); s != nullptr; s = s->next) ++n;
  if (n == 0) return 0;
  pxl::OwnedRecord<Stats *> sorted(
      ctx, static_cast<Stats **>(pxl::allocRecord(ctx, n * sizeof(Stats *))));
  if (!sorted) return PXL_ERR_NO_MEMORY;
  Stats **order = sorted.get();
  n = 0;
  for (Stats *s = list->release(); s != nullptr; s = s->next) order[n++] = s;
  std::sort(order, order + n, [](const Stats *a, const Stats *b) {
    return a->x != b->x ? a->x < b->x : a->order < b->order;
  });
  // order[0 .. groups) are the groups; every other record joins one or starts one.
  size_t groups = 0;
  for (size_t i = 0; i < n; ++i) {
    Stats *s = order[i];
    Stats *best = nullptr;
    for (size_t g = 0; g < groups; ++g)
      if (sideBySide(*order[g], *s, maxGap) &&
          (best == nullptr || order[g]->members > best->members))
        best = order[g];
    if (best == nullptr) {
      order[groups++] = s;
      continue;
    }
    join(best, *s);
    pxl::freeRecord(ctx, s);
  }
  const bool lines =
      std::any_of(order, order + groups, [](const Stats *g) { return textLine(*g); });
  Stats *head = nullptr;
  for (size_t g = groups; g-- > 0;) {
    if (lines && !textLine(*order[g])) {
      pxl::freeRecord(ctx, order[g]);
      continue;
    }
    order[g]->next = head;
    head = order[g];
  }
  list->reset(head);
  return 0;
}

}  // namespace

extern "C" int32_t pxlComputeImageInfo(PxlContext *ctx, Pixr *page, Pixr **result, int32_t flag) {
  (void)flag;
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, page, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  if (result == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  Pixr *main = nullptr;
  PXL_STEP(ctx, kUnit, pxlGetImageMainChannel(ctx, page, &main));
  pxl::xfer::Plane p;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, main, 0, nullptr, &p));
  const auto whole = [](int32_t r) { return int32_t((int64_t{r} + 32768) >> 16); };
  int32_t dpi = std::max(whole(main->xResolution), whole(main->yResolution));
  if (dpi == 0) dpi = std::max(main->xResolution, main->yResolution);
  if (dpi < 10) return PXL_FAIL(ctx, kUnit, PXL_ERR_RESOLUTION);
  const int32_t r50 = dpi / 50, r25 = dpi / 25;

  pxl::OwnedImage made(ctx);
  Pixr *out = *result;
  if (out != nullptr) {
    pxl::xfer::Attrs a;
    PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, out, &a));
    if (a.width != p.width || a.height != p.height) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  } else {
    PXL_STEP(ctx, kUnit,
             pxlCreateImage(ctx, p.width, p.height, 1, dpi << 16, dpi << 16, 32, made.put()));
    out = made.get();
  }

  OwnedStats list(ctx);
  Stats *found = nullptr;
  int32_t stop = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlFindConnectedComponents(
      ctx, p.framed, p.bytesPerRow, 32, 32, p.width, p.height, r50 > 1 ? r50 / 2 : 1,
      r25 > 5 ? r25 / 2 : 3, 0, &found, collectStats, &stop);
  list.reset(found);
  if (status != 0)
    return PXL_FAIL(ctx, kUnit, status == PXL_ERR_CALLBACK && stop != 0 ? stop : status);

  int32_t bodyLast = 0, bound = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = heightLimits(ctx, list.get(), p.height, dpi, &bodyLast, &bound);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  Stats *kept = nullptr, **tail = &kept;
  for (Stats *s = list.release(); s != nullptr;) {
    Stats *next = s->next;
    if (dropped(*s, p.width, dpi, bodyLast, bound)) {
      pxl::freeRecord(ctx, s);
    } else {
      *tail = s;
      tail = &s->next;
    }
    s = next;
  }
  *tail = nullptr;
  list.reset(kept);

  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = mergeGroups(ctx, &list, 3 * r25);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  for (Stats *g = list.get(); g != nullptr; g = g->next)
    PXL_STEP(ctx, kUnit,
             pxlRasterOp(ctx, 0, 0, nullptr, PXL_ROP_SET, g->x, g->top, g->width,
                         g->bottom - g->top + 1, out));
  made.release();
  *result = out;
  return 0;
}
