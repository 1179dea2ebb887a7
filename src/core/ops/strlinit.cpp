// The 64 standard structuring elements, built on first acquisition into the process-wide
// cache, and the brick and triple elements built for a caller.
//
// Ids 1 to 43 are bricks (all cells 1, origin ((w - 1) / 2, (h - 1) / 2), except id 24 whose
// origin is (0, 10)); ids 44 to 64 are patterned elements given row by row. pxlInitStdStrel
// takes one reference: when the context already holds the element both counts go up; when
// another context holds it the context's entry takes the master's element; otherwise it is
// built with the process's allocator (the master cache outlives any one context) and both
// entries take it. Failures are reported (unit "strlinit").
#include <cstring>

#include "pxl_internal.h"
#include "pxl_morph.h"

namespace {

constexpr const char *kUnit = "strlinit";

struct Brick {
  int8_t width, height, ox, oy;
};

// Ids 1 to 43.
constexpr Brick kBricks[] = {
    {2, 1, 0, 0},   {1, 2, 0, 0},   {3, 1, 1, 0},   {1, 3, 0, 1},   {4, 1, 1, 0},   {1, 4, 0, 1},
    {5, 1, 2, 0},   {1, 5, 0, 2},   {6, 1, 2, 0},   {1, 6, 0, 2},   {7, 1, 3, 0},   {1, 7, 0, 3},
    {8, 1, 3, 0},   {1, 8, 0, 3},   {9, 1, 4, 0},   {1, 9, 0, 4},   {10, 1, 4, 0},  {1, 10, 0, 4},
    {11, 1, 5, 0},  {1, 11, 0, 5},  {15, 1, 7, 0},  {1, 15, 0, 7},  {19, 1, 9, 0},  {1, 19, 0, 10},
    {20, 1, 9, 0},  {1, 20, 0, 9},  {25, 1, 12, 0}, {1, 25, 0, 12}, {30, 1, 14, 0}, {1, 30, 0, 14},
    {35, 1, 17, 0}, {1, 35, 0, 17}, {40, 1, 19, 0}, {1, 40, 0, 19}, {45, 1, 22, 0}, {1, 45, 0, 22},
    {50, 1, 24, 0}, {1, 50, 0, 24}, {1, 1, 0, 0},   {2, 2, 0, 0},   {3, 3, 1, 1},   {4, 4, 1, 1},
    {5, 5, 2, 2}};

struct Pattern {
  int8_t width, height, ox, oy;
  const char *cells;  // rows top to bottom, one digit per cell; empty for a computed one
};

// Ids 44 to 64.
constexpr Pattern kPatterns[] = {{2, 2, 0, 0, "0110"},
                                 {2, 2, 0, 0, "1001"},
                                 {3, 3, 1, 1, "222212222"},
                                 {4, 4, 1, 1, "2222200220022222"},
                                 {5, 5, 2, 2, "2222220002200022000222222"},
                                 {6, 6, 2, 2, "222222200002200002200002200002222222"},
                                 {3, 3, 1, 1, "111121111"},
                                 {4, 4, 1, 1, "1111100110011111"},
                                 {5, 5, 2, 2, "1111110001100011000111111"},
                                 {5, 5, 2, 2, "1010100000101010000010101"},
                                 {7, 7, 3, 3,
                                  "0001000"
                                  "0111100"
                                  "0100001"
                                  "1101001"
                                  "1100001"
                                  "0000000"
                                  "0001100"},
                                 {9, 9, 4, 4,
                                  "200020002"
                                  "000000000"
                                  "000000000"
                                  "000000000"
                                  "101010101"
                                  "000000000"
                                  "000000000"
                                  "000000000"
                                  "200020002"},
                                 {9, 9, 4, 4,
                                  "200010002"
                                  "000000000"
                                  "000010000"
                                  "000000000"
                                  "200010002"
                                  "000000000"
                                  "000010000"
                                  "000000000"
                                  "200010002"},
                                 {40, 1, 19, 0, ""},
                                 {1, 40, 0, 19, ""},
                                 {3, 3, 1, 1, "020200011"},
                                 {6, 10, 3, 5,
                                  "000201"
                                  "000000"
                                  "000000"
                                  "002010"
                                  "000000"
                                  "000000"
                                  "020100"
                                  "000000"
                                  "000000"
                                  "201000"},
                                 {5, 2, 2, 1, "2222211112"},
                                 {2, 5, 1, 1, "2221212121"},
                                 {5, 21, 4, 10, ""},
                                 {2, 2, 0, 0, "0000"}};

// Cell (c, r) of the computed patterns: ids 57, 58 (every third cell) and 63.
uint16_t computedCell(int32_t id, int32_t c, int32_t r) {
  if (id == 57) return c % 3 == 0 ? 1 : 0;
  if (id == 58) return r % 3 == 0 ? 1 : 0;
  // id 63: rows 0, 10, 20: 10002; rows 5, 15: 00002; other even rows 10000; odd rows 0.
  if (r % 10 == 0) return c == 0 ? 1 : c == 4 ? 2 : 0;
  if (r % 5 == 0) return c == 4 ? 2 : 0;
  return r % 2 == 0 && c == 0 ? 1 : 0;
}

int32_t makeElement(PxlContext *ctx, int32_t width, int32_t height, int32_t ox, int32_t oy,
                    PxlStrel **element) {
  if (element == nullptr || *element != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlCreateStrel(ctx, width, height, element);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  (*element)->originX = ox;
  (*element)->originY = oy;
  return PXL_OK;
}

// Builds standard element id with the allocator of ctx.
int32_t buildStandard(PxlContext *ctx, int32_t id, PxlStrel **element) {
  if (id <= 43) {
    const Brick &b = kBricks[id - 1];
    const int32_t status = makeElement(ctx, b.width, b.height, b.ox, b.oy, element);
    if (status != 0) return status;
    for (int32_t r = 0; r < b.height; ++r)
      for (int32_t c = 0; c < b.width; ++c) (*element)->rows[r][c] = 1;
  } else {
    const Pattern &p = kPatterns[id - 44];
    const int32_t status = makeElement(ctx, p.width, p.height, p.ox, p.oy, element);
    if (status != 0) return status;
    for (int32_t r = 0; r < p.height; ++r)
      for (int32_t c = 0; c < p.width; ++c)
        (*element)->rows[r][c] = p.cells[0] != 0
                                     ? static_cast<uint16_t>(p.cells[r * p.width + c] - '0')
                                     : computedCell(id, c, r);
  }
  (*element)->id = id;
  return PXL_OK;
}

int32_t tripleElement(PxlContext *ctx, int32_t n, bool vertical, PxlStrel **element) {
  if (n < 1 || n > 1000000) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  const int32_t length = 2 * n + 1;
  const int32_t status = vertical ? makeElement(ctx, length, 5, n, 2, element)
                                  : makeElement(ctx, 5, length, 2, n, element);
  if (status != 0) return status;
  // Along the triple: 1 at the middle line's cells 0, 2, 4 and 2 at both ends of each.
  for (int32_t k = 0; k <= 4; k += 2) {
    if (vertical) {
      (*element)->rows[k][n] = 1;
      (*element)->rows[k][0] = 2;
      (*element)->rows[k][2 * n] = 2;
    } else {
      (*element)->rows[n][k] = 1;
      (*element)->rows[0][k] = 2;
      (*element)->rows[2 * n][k] = 2;
    }
  }
  return PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlCreateBrickStrel(PxlContext *ctx, int32_t width, int32_t height, PxlStrel **element) {
  const int32_t status =
      makeElement(ctx, width, height, (width - 1) / 2, (height - 1) / 2, element);
  if (status != 0) return status;
  for (int32_t r = 0; r < height; ++r)
    for (int32_t c = 0; c < width; ++c) (*element)->rows[r][c] = 1;
  return PXL_OK;
}

int32_t pxlCreateTripleStrelH(PxlContext *ctx, int32_t n, PxlStrel **element) {
  return tripleElement(ctx, n, false, element);
}

int32_t pxlCreateTripleStrelV(PxlContext *ctx, int32_t n, PxlStrel **element) {
  return tripleElement(ctx, n, true, element);
}

int32_t pxlInitStdStrel(PxlContext *ctx, int32_t id) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  const pxl::StrelGuard guard(pxl::strelLock());
  PxlStrelCache *cache = ctx->strelCache;
  if (cache == nullptr || cache->master == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_STREL_CACHE);
  if (id < 1 || id > 64) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PxlStrelEntry &mine = cache->entries[id];
  PxlStrelEntry &master = cache->master->entries[id];
  if (mine.element == nullptr && master.count <= 0) {
    PxlStrel *built = nullptr;
    const int32_t status = buildStandard(pxlProcessContext(), id, &built);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    if (built == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
    master.element = built;
  }
  mine.element = master.element;
  master.count += 1;
  if (&mine != &master) mine.count += 1;
  return PXL_OK;
}

}  // extern "C"
