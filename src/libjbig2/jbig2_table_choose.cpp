// Choosing a Huffman table per kind of value: every candidate counts how many values fall on
// each of its lines during a dry run; the standard cost is count x (prefix + range length)
// summed over the lines, the custom cost the same with prefix lengths built from the counts.
// The cheapest candidate wins (the earlier on equal cost); a custom table, which also pays 8
// bits per line and 160 bits for its table segment, wins only when strictly cheaper. A
// candidate that met a value it cannot code takes no part.
#include <algorithm>

#include "jbig2_report.h"
#include "jbig2_value_encode.h"
#include "qtz_owners_internal.h"

int32_t newCustomHuffTable(const Jbig2CodeTable *table, const uint32_t *counts,
                           const uint8_t *lengths, QtzState *state, Jbig2CodeTable **out) {
  *out = nullptr;
  const int32_t n = table->numLines;
  qtz::OwnedBlock<Jbig2CodeTable> copy(state, jbAllocArray<Jbig2CodeTable>(state, 1));
  qtz::OwnedBlock<Jbig2CodeLine> lines(state,
                                       jbAllocArray<Jbig2CodeLine>(state, static_cast<size_t>(n)));
  qtz::OwnedBlock<uint8_t> computed(state, nullptr);
  if (!copy || !lines) return qtz::report(state, kJbNoMemory);
  if (lengths == nullptr) {
    computed.reset(jbAllocArray<uint8_t>(state, static_cast<size_t>(n)));
    if (!computed) return qtz::report(state, kJbNoMemory);
    const int32_t status = huffCodeLengths(counts, computed.get(), n, kMaxPrefLen, state);
    if (status != 0) return status;
    lengths = computed.get();
  }
  for (int32_t i = 0; i < n; ++i) {
    if (lengths[i] > kMaxPrefLen) return jbReport(state, kJbAssert, "prefix length above 32");
    lines.get()[i] = table->lines[i];
    lines.get()[i].prefLen = lengths[i];
  }
  const int32_t status = buildCodeTable(copy.get(), lines.get(), n, true, state);
  lines.release();  // the table owns them now, built or not
  if (status != 0) {
    freeCodeTable(copy.get(), state);
    return status;
  }
  *out = copy.release();
  return 0;
}

void freeHuffTable(Jbig2CodeTable *table, QtzState *state) {
  if (table == nullptr) return;
  freeCodeTable(table, state);
  jbFree(state, table);
}

int32_t huffTableCosts(const Jbig2CodeTable *table, const uint32_t *counts, uint8_t *lengths,
                       uint64_t *standardCost, uint64_t *customCost, QtzState *state) {
  const int32_t status = huffCodeLengths(counts, lengths, table->numLines, kMaxPrefLen, state);
  if (status != 0) return status;
  uint64_t standard = 0, custom = 0;
  for (int32_t i = 0; i < table->numLines; ++i) {
    const Jbig2CodeLine &line = table->lines[i];
    const uint64_t extra = line.kind == kLineOob ? 0 : line.rangeLen;
    standard += uint64_t{counts[i]} * (line.prefLen + extra);
    custom += uint64_t{counts[i]} * (lengths[i] + extra);
  }
  *standardCost = standard;
  *customCost = custom;
  return 0;
}

int32_t newValueCollectors(const Jbig2CodeTable *const *candidates, int32_t n, QtzState *state,
                           Jbig2ValueCollector **out) {
  *out = nullptr;
  auto *c = jbAllocArray<Jbig2ValueCollector>(state, static_cast<size_t>(n));
  if (c == nullptr) return qtz::report(state, kJbNoMemory);
  for (int32_t i = 0; i < n; ++i) {
    int32_t status =
        newIntEncoder(&c[i].counter, true, candidates[i], nullptr, nullptr, nullptr, state);
    const auto lines = static_cast<size_t>(candidates[i]->numLines);
    if (status == 0) {
      c[i].counts = jbAllocArray<uint32_t>(state, lines);
      c[i].lengths = jbAllocArray<uint8_t>(state, lines);
      if (c[i].counts == nullptr || c[i].lengths == nullptr)
        status = qtz::report(state, kJbNoMemory);
    }
    if (status != 0) {
      freeValueCollectors(&c, i + 1, state);
      return status;
    }
  }
  *out = c;
  return 0;
}

void freeValueCollectors(Jbig2ValueCollector **collectors, int32_t n, QtzState *state) {
  if (*collectors == nullptr) return;
  for (int32_t i = 0; i < n; ++i) {
    jbFree(state, (*collectors)[i].counts);
    jbFree(state, (*collectors)[i].lengths);
  }
  jbFree(state, *collectors);
  *collectors = nullptr;
}

int32_t collectValue(Jbig2ValueCollector *collectors, int32_t n, int32_t value, bool oob) {
  for (int32_t i = 0; i < n; ++i) {
    Jbig2ValueCollector &c = collectors[i];
    if (c.unusable) continue;
    // A value outside a candidate's lines rules that candidate out; it is not a failure of
    // the coder as long as another candidate remains, so nothing is reported here.
    Jbig2IntEncoder probe = c.counter;
    probe.state = nullptr;
    if (countIntValue(&probe, value, oob, c.counts) != 0) c.unusable = 1;
  }
  return 0;
}

int32_t chooseHuffTable(Jbig2ValueCollector *collectors, int32_t n, bool customAllowed,
                        QtzState *state, const Jbig2CodeTable **table, Jbig2CodeTable **custom) {
  *table = nullptr;
  *custom = nullptr;
  int32_t best = -1, bestCustom = -1;
  uint64_t bestCost = 0, bestCustomCost = 0;
  for (int32_t i = 0; i < n; ++i) {
    Jbig2ValueCollector &c = collectors[i];
    if (c.unusable) continue;
    uint64_t standard = 0, custom = 0;
    const int32_t status =
        huffTableCosts(c.counter.table, c.counts, c.lengths, &standard, &custom, state);
    if (status != 0) return status;
    if (best < 0 || standard < bestCost) best = i, bestCost = standard;
    custom += 8 * static_cast<uint64_t>(c.counter.table->numLines) + 160;
    if (bestCustom < 0 || custom < bestCustomCost) bestCustom = i, bestCustomCost = custom;
  }
  if (best < 0) return jbReport(state, kJbAssert, "no candidate table codes these values");
  *table = collectors[best].counter.table;
  if (!customAllowed || bestCustom < 0) return 0;
  if (bestCustomCost >= bestCost) return 0;
  const Jbig2ValueCollector &c = collectors[bestCustom];
  const int32_t status = newCustomHuffTable(c.counter.table, c.counts, c.lengths, state, custom);
  if (status == 0) *table = *custom;
  return status;
}
