// Planning a text region before it is coded: transposition, SBDSOFFSET, the strip size and the
// order of the instances.
//
// Transposition: the region is coded in columns when its most crowded left column holds more
// instances than its most crowded bottom row. SBDSOFFSET: the instances are taken in bands of 8
// T values, by S within a band; the commonest gap + 1 (next S - last column of the previous
// instance) between neighbours of a band, within -16 to 15, the smallest on equal counts, and
// -16 when no pair qualifies. Strip size: for 1, 2, 4 and 8 rows per strip the coded bits are
// estimated (the DS steps within each strip, the T bits of each instance, and per strip its DT,
// its first S and its end mark); the cheapest wins, the smaller on equal cost. The lowest T is
// taken together with 0, so the first strip step of non-negative coordinates is 1.
#include <algorithm>
#include <functional>

#include "jbig2_report.h"
#include "jbig2_symbol_encode.h"
#include "qtz_owners_internal.h"

Jbig2InstanceKey instanceKey(const Jbig2TextLayout &layout, const Jbig2SymbolInstance &in) {
  const int64_t x = in.x, y = in.y;
  const int64_t width = in.symbol->width, height = in.symbol->height;
  if (layout.transposed) return {x, y, height};
  return {layout.refCorner == 1 ? y : y + height - 1, x, width};
}

int32_t dsCostBits(int64_t d) {
  if (d < -4) return 12;
  if (d < 0) return 8;
  if (d < 4) return 4;
  return d < 128 ? 8 : 12;
}

int32_t dtCostBits(int64_t d) {
  if (d == 1) return 1;
  if (d <= 4) return 3;
  return d <= 8 ? 5 : 8;
}

int32_t fsCostBits(int64_t d) {
  return d >= -32 && d <= 32 ? 8 : 12;
}

namespace {

// The largest number of equal values among the values in [0, limit).
int32_t largestCount(int32_t *values, int32_t n) {
  std::sort(values, values + n);
  int32_t best = 0;
  for (int32_t i = 0; i < n;) {
    int32_t j = i;
    while (j < n && values[j] == values[i]) ++j;
    best = std::max(best, j - i);
    i = j;
  }
  return best;
}

}  // namespace

int32_t chooseTransposed(const Jbig2SymbolInstance *instances, int32_t count, int32_t width,
                         int32_t height, QtzState *state, bool *transposed) {
  *transposed = false;
  qtz::OwnedBlock<int32_t> values(state, jbAllocArray<int32_t>(state, static_cast<size_t>(count)));
  if (!values) return qtz::report(state, kJbNoMemory);
  int32_t n = 0;
  for (int32_t i = 0; i < count; ++i)
    if (instances[i].x >= 0 && instances[i].x < width) values.get()[n++] = instances[i].x;
  const int32_t columns = largestCount(values.get(), n);
  n = 0;
  for (int32_t i = 0; i < count; ++i) {
    const int64_t bottom = int64_t{instances[i].y} + instances[i].symbol->height - 1;
    if (bottom >= 0 && bottom < height) values.get()[n++] = static_cast<int32_t>(bottom);
  }
  *transposed = largestCount(values.get(), n) < columns;
  return 0;
}

namespace {

bool byBandThenS(const Jbig2InstanceKey &a, const Jbig2InstanceKey &b) {
  if ((a.t >> 3) != (b.t >> 3)) return (a.t >> 3) < (b.t >> 3);
  if (a.s != b.s) return a.s < b.s;
  return a.size < b.size;
}

int32_t commonestGap(const Jbig2InstanceKey *keys, int32_t count) {
  int32_t counts[32] = {};
  for (int32_t i = 1; i < count; ++i) {
    if ((keys[i].t >> 3) != (keys[i - 1].t >> 3)) continue;
    const int64_t gap = keys[i].s - (keys[i - 1].s + keys[i - 1].size - 1);
    if (gap >= -16 && gap <= 15) counts[gap + 16]++;
  }
  int32_t best = 0;
  for (int32_t v = 1; v < 32; ++v)
    if (counts[v] > counts[best]) best = v;
  return best - 16;
}

// Estimated bits of the region with strips of 2^logStrips rows (keys sorted by band, then S).
int64_t stripCost(const Jbig2InstanceKey *keys, int32_t count, int32_t logStrips, int32_t dsOffset,
                  int64_t lowestT) {
  const int32_t perBand = 8 >> logStrips;
  int64_t cost = 0, previousStrip = lowestT >> logStrips, previousFirstS = 0;
  for (int32_t i = 0; i < count;) {
    const int64_t band = keys[i].t >> 3;
    bool used[8] = {};
    int64_t firstS[8] = {}, end[8] = {};
    for (; i < count && (keys[i].t >> 3) == band; ++i) {
      const int32_t strip = static_cast<int32_t>((keys[i].t - 8 * band) >> logStrips);
      if (!used[strip]) {
        used[strip] = true;
        firstS[strip] = keys[i].s;
      } else {
        cost += dsCostBits(keys[i].s - end[strip] - dsOffset);
      }
      end[strip] = keys[i].s + keys[i].size - 1;
      cost += logStrips;
    }
    for (int32_t j = 0; j < perBand; ++j) {
      if (!used[j]) continue;
      const int64_t strip = band * perBand + j;
      cost += dtCostBits(strip - previousStrip) + fsCostBits(firstS[j] - previousFirstS) + 2;
      previousStrip = strip;
      previousFirstS = firstS[j];
    }
  }
  return cost;
}

}  // namespace

int32_t chooseStripsAndOffset(const Jbig2SymbolInstance *instances, int32_t count,
                              Jbig2TextLayout *layout, QtzState *state) {
  qtz::OwnedBlock<Jbig2InstanceKey> keys(
      state, jbAllocArray<Jbig2InstanceKey>(state, static_cast<size_t>(count)));
  if (!keys) return qtz::report(state, kJbNoMemory);
  int64_t lowestT = 0;
  for (int32_t i = 0; i < count; ++i) {
    keys.get()[i] = instanceKey(*layout, instances[i]);
    lowestT = std::min(lowestT, keys.get()[i].t);
  }
  std::sort(keys.get(), keys.get() + count, byBandThenS);
  layout->dsOffset = commonestGap(keys.get(), count);
  int64_t bestCost = 0;
  for (int32_t logStrips = 0; logStrips < 4; ++logStrips) {
    const int64_t cost = stripCost(keys.get(), count, logStrips, layout->dsOffset, lowestT);
    if (logStrips == 0 || cost < bestCost) {
      bestCost = cost;
      layout->logStrips = logStrips;
    }
  }
  layout->stripT = ((lowestT >> layout->logStrips) - 1) * (int64_t{1} << layout->logStrips);
  return 0;
}

void sortTextInstances(const Jbig2TextLayout &layout, const Jbig2SymbolInstance **order,
                       int32_t count) {
  const int32_t shift = layout.logStrips;
  std::sort(order, order + count,
            [&layout, shift](const Jbig2SymbolInstance *a, const Jbig2SymbolInstance *b) {
              const Jbig2InstanceKey ka = instanceKey(layout, *a), kb = instanceKey(layout, *b);
              if ((ka.t >> shift) != (kb.t >> shift)) return (ka.t >> shift) < (kb.t >> shift);
              if (ka.s != kb.s) return ka.s < kb.s;
              return std::less<const Jbig2SymbolInstance *>()(a, b);
            });
}
