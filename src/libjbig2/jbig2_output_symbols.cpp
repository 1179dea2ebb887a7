// Symbol dictionaries and text regions of the document encoder's JBIG2 output.
//
// A dictionary call writes the symbols not yet emitted (none: nothing is written) as one
// dictionary in coding order, keeps its record (the symbols' sizes and the records they came
// from) on the section or page list and marks the symbols emitted; a failure leaves them
// unemitted. Section dictionaries form a chain: each after the first refers to the one before
// and exports all its symbols, so the handle keeps only the newest record, holding every section
// symbol in ID order. A text region refers to that dictionary, then the page dictionary; an
// instance's symbol is looked up among their records (sorted by record address, so the token
// document's records are never written to), and its top row is its bottom row - height + 1.
// Positions are 32-bit; a top row below -2^31 gives 2. The colour payload coder, when given,
// receives the instances' tokens in coding order after the region is written. A region with
// lastStripe set releases the page dictionaries (retention flag 0 in its referred-to list).
#include <algorithm>

#include "jbig2_output_handle.h"
#include "jbig2_report.h"
#include "jbig2_seg_write.h"
#include "qtz_owners_internal.h"

namespace {

using DictOwner = qtz::OwnedBlock<Jbig2SymbolDictRecord>;

// Writes the symbols not yet emitted as one dictionary and appends its record to *list. With
// chain set and a dictionary already on the list, the new one refers to the newest of them and
// exports its symbols before its own; its record then stands for the whole chain (the previous
// symbols followed by the new ones) and the previous record leaves the list, so that a text
// region needs to refer to one section dictionary however many flushes wrote one.
int32_t writeDictionary(QtzJb2Output *handle, TclySymbolRecord *symbols, int32_t count,
                        int32_t page, bool chain, QtzAdtList **list, int32_t *written) {
  QtzState *state = handle->state;
  *written = 0;
  int32_t fresh = 0;
  for (int32_t i = 0; symbols != nullptr && i < count; ++i) fresh += symbols[i].emitted == 0;
  if (fresh == 0) return 0;
  Jbig2SymbolDictRecord *previous = chain && *list != nullptr && (*list)->tail != nullptr
                                        ? static_cast<Jbig2SymbolDictRecord *>((*list)->tail->data)
                                        : nullptr;
  const int32_t inherited = previous != nullptr ? previous->numSymbols : 0;
  DictOwner dict(state, jbAllocArray<Jbig2SymbolDictRecord>(state, 1));
  qtz::OwnedBlock<Jbig2Symbol> records(
      state, jbAllocArray<Jbig2Symbol>(state, static_cast<size_t>(fresh)));
  qtz::OwnedBlock<Jbig2Symbol> joined(
      state, jbAllocArray<Jbig2Symbol>(state, static_cast<size_t>(int64_t{inherited} + fresh)));
  if (!dict || !records || !joined) return qtz::report(state, kJbNoMemory);
  int32_t n = 0;
  for (int32_t i = 0; i < count; ++i) {
    TclySymbolRecord &s = symbols[i];
    if (s.emitted != 0) continue;
    records.get()[n++] = {
        s.width, s.height, s.bitmap, s.wordsPerRow, reinterpret_cast<uintptr_t>(&s), 0, 0};
  }
  dict->header.type = kSegSymbolDict;
  dict->header.page = page;
  dict->numSymbols = fresh;
  dict->symbols = records.get();
  Jb2File *stream = handle->stream;
  const Jbig2SymbolDictRecord *inputs[1] = {previous};
  int32_t status = 0;
  if (previous != nullptr) {
    const Jbig2SegHeader *refs[1] = {&previous->header};
    status = segAddReferences(stream, &dict->header, refs, 1);
    if (status == 0) dict->header.retain[0] = 1;
    dict->exportInputs = true;
  }
  if (status == 0)
    status = encodeSymbolDict(stream, dict.get(), previous != nullptr ? inputs : nullptr,
                              previous != nullptr ? 1 : 0, nullptr, nullptr, true);
  freeSegReferences(stream, &dict->header);
  if (status != 0) return status;
  if (*list == nullptr && (status = QtzAdt_liNew(list, state)) != 0) return status;
  if ((status = QtzAdt_liAdd(*list, dict.get(), nullptr)) != 0) return status;
  Jbig2Symbol *all = joined.release();
  if (previous != nullptr) std::copy(previous->symbols, previous->symbols + inherited, all);
  std::copy(records.get(), records.get() + fresh, all + inherited);
  for (int32_t i = inherited; i < inherited + fresh; ++i) {
    reinterpret_cast<TclySymbolRecord *>(all[i].user0)->emitted = 1;
    all[i].bitmap = nullptr;  // the bitmap stays the token document's
  }
  dict->symbols = all;
  dict->numSymbols = inherited + fresh;
  dict.release();
  *written = fresh;
  if (previous != nullptr) {
    QtzAdt_liRem((*list)->tail->prev);
    jbFree(state, previous->symbols);
    jbFree(state, previous);
  }
  return 0;
}

int32_t listLength(const QtzAdtList *list) {
  int32_t n = 0;
  for (const QtzAdtListNode *node = list != nullptr ? list->head : nullptr; node != nullptr;
       node = node->next)
    ++n;
  return n;
}

// The dictionaries a text region refers to: section ones first, then page ones.
struct RegionDicts {
  const Jbig2SymbolDictRecord **dicts = nullptr;
  int32_t count = 0;
  int32_t globalCount = 0;
};

// Symbol records of every dictionary, sorted by the address of the record they came from.
bool byOrigin(const Jbig2Symbol *a, const Jbig2Symbol *b) {
  return a->user0 < b->user0;
}

const Jbig2Symbol *findSymbol(const Jbig2Symbol *const *sorted, int64_t count,
                              const TclySymbolRecord *origin) {
  const auto key = reinterpret_cast<uintptr_t>(origin);
  const Jbig2Symbol *const *end = sorted + count;
  const Jbig2Symbol *const *at = std::lower_bound(
      sorted, end, key, [](const Jbig2Symbol *s, uintptr_t k) { return s->user0 < k; });
  return at != end && (*at)->user0 == key ? *at : nullptr;
}

// What the instance-order callback of the text encoder collects: the instances' tokens in
// coding order (the instance's extra word is its index in the caller's array).
struct TokenOrder {
  const TclyTextInstance *instances;
  const QtzTokenBitmap **tokens;
};

int32_t collectTokens(const Jbig2SymbolInstance *const *ordered, int32_t count, void *user) {
  auto *order = static_cast<TokenOrder *>(user);
  for (int32_t i = 0; i < count; ++i) order->tokens[i] = order->instances[ordered[i]->extra].token;
  return 0;
}

}  // namespace

int32_t QtzJb2_outSymbolDict(TclySymbolRecord *symbols, int32_t count, const void *,
                             void **newDictionary, int32_t, int32_t, QtzJb2Output *handle, void *) {
  int32_t written = 0;
  const int32_t status =
      writeDictionary(handle, symbols, count, 0, true, &handle->globalDicts, &written);
  if (status != 0) return status;
  handle->globalSymbols += written;
  if (written > 0) {
    jbFree(handle->state, handle->globalIndex);
    handle->globalIndex = nullptr;
  }
  if (newDictionary != nullptr) *newDictionary = nullptr;
  return 0;
}

int32_t QtzJb2_outPageSymbolDict(TclySymbolRecord *symbols, int32_t count, int32_t, int32_t,
                                 int32_t, int32_t, int32_t, const void *, void **newDictionary,
                                 int32_t, int32_t, QtzJb2Output *handle, void *) {
  int32_t written = 0;
  const int32_t status = writeDictionary(handle, symbols, count, pageAssociation(handle, 0), false,
                                         &handle->pageDicts, &written);
  if (status != 0) return status;
  if (written > 0) handle->pageSymbols = written;
  if (newDictionary != nullptr) *newDictionary = nullptr;
  return 0;
}

int32_t QtzJb2_outTextRegion(const TclyTextInstance *instances, int32_t count, int32_t width,
                             int32_t height, int32_t, int32_t, TclyColourOrder *colours,
                             int32_t pageNumber, const void *, uint8_t lastStripe,
                             QtzJb2Output *handle, const int32_t *topRow) {
  QtzState *state = handle->state;
  Jb2File *stream = handle->stream;
  if (count < 0 || (count > 0 && instances == nullptr))
    return jbReport(state, kJbAssert, "text region: %d instances", count);

  const int32_t globalCount = listLength(handle->globalDicts);
  const int32_t dictCount = globalCount + listLength(handle->pageDicts);
  qtz::OwnedBlock<const Jbig2SymbolDictRecord *> dicts(
      state, jbAllocArray<const Jbig2SymbolDictRecord *>(state, static_cast<size_t>(dictCount)));
  if (!dicts) return qtz::report(state, kJbNoMemory);
  int64_t symbolCount = 0;
  int32_t d = 0;
  for (const QtzAdtList *list : {handle->globalDicts, handle->pageDicts})
    for (const QtzAdtListNode *n = list != nullptr ? list->head : nullptr; n != nullptr;
         n = n->next) {
      dicts.get()[d] = static_cast<const Jbig2SymbolDictRecord *>(n->data);
      symbolCount += dicts.get()[d++]->numSymbols;
    }
  // Nothing to place and no symbol to place: a page without symbol-coded tokens has no text
  // region (its symbol-ID code could not be built from no symbols).
  if (count == 0 && symbolCount == 0) return 0;

  // The symbols sorted by the record they came from: the section ones once per section
  // dictionary (kept in the handle, as every region of the section looks them up), the page
  // ones per region.
  int64_t sectionCount = 0;
  for (int32_t i = 0; i < globalCount; ++i) sectionCount += dicts.get()[i]->numSymbols;
  auto sortSymbols = [](const Jbig2SymbolDictRecord *const *from, int32_t n,
                        const Jbig2Symbol **to) {
    int64_t at = 0;
    for (int32_t i = 0; i < n; ++i)
      for (int32_t k = 0; k < from[i]->numSymbols; ++k) to[at++] = &from[i]->symbols[k];
    std::sort(to, to + at, byOrigin);
  };
  if (handle->globalIndex == nullptr && sectionCount > 0) {
    handle->globalIndex =
        jbAllocArray<const Jbig2Symbol *>(state, static_cast<size_t>(sectionCount));
    if (handle->globalIndex == nullptr) return qtz::report(state, kJbNoMemory);
    sortSymbols(dicts.get(), globalCount, handle->globalIndex);
  }
  const int64_t pageCount = symbolCount - sectionCount;
  qtz::OwnedBlock<const Jbig2Symbol *> sorted(
      state, jbAllocArray<const Jbig2Symbol *>(state, static_cast<size_t>(pageCount)));
  qtz::OwnedBlock<Jbig2SymbolInstance> placed(
      state, jbAllocArray<Jbig2SymbolInstance>(state, static_cast<size_t>(count)));
  qtz::OwnedBlock<const QtzTokenBitmap *> tokens(
      state, jbAllocArray<const QtzTokenBitmap *>(state, static_cast<size_t>(count)));
  if (!sorted || !placed || !tokens) return qtz::report(state, kJbNoMemory);
  sortSymbols(dicts.get() + globalCount, dictCount - globalCount, sorted.get());

  for (int32_t i = 0; i < count; ++i) {
    const TclyTextInstance &in = instances[i];
    const Jbig2Symbol *symbol = findSymbol(handle->globalIndex, sectionCount, in.symbol);
    if (symbol == nullptr) symbol = findSymbol(sorted.get(), pageCount, in.symbol);
    if (symbol == nullptr)
      return jbReport(state, kJbAssert, "text region: instance %d has no symbol", i);
    const int64_t top = int64_t{in.y} - symbol->height + 1;
    if (top < INT32_MIN) return jbReport(state, kJbParam, "text region: instance %d above", i);
    placed.get()[i] = {in.x, static_cast<int32_t>(top), symbol, nullptr, static_cast<uintptr_t>(i)};
  }

  Jbig2TextRegionRecord region{};
  region.header.type = 6;
  region.header.page = pageAssociation(handle, pageNumber);
  region.region = {width, height, 0, topRow != nullptr ? *topRow : 0, kOpOr};
  region.numInstances = count;
  region.instances = placed.get();
  qtz::OwnedBlock<const Jbig2SegHeader *> refs(
      state, jbAllocArray<const Jbig2SegHeader *>(state, static_cast<size_t>(dictCount)));
  if (!refs) return qtz::report(state, kJbNoMemory);
  for (int32_t i = 0; i < dictCount; ++i) refs.get()[i] = &dicts.get()[i]->header;
  int32_t status = segAddReferences(stream, &region.header, refs.get(), dictCount);
  if (status == 0) {
    for (int32_t i = 0; i < dictCount; ++i)
      region.header.retain[i] = i < globalCount || lastStripe == 0 ? 1 : 0;
    TokenOrder order{instances, tokens.get()};
    status = encodeTextRegion(stream, &region, dicts.get(), collectTokens, &order, false);
  }
  freeSegReferences(stream, &region.header);
  if (status != 0) return status;

  if (colours != nullptr && colours->collect != nullptr && count > 0) {
    status = colours->collect(tokens.get(), static_cast<uint32_t>(count), colours->colours,
                              colours->payload, &colours->size, state);
    if (status != 0) return status;
  }
  if (lastStripe != 0) {
    freeDictList(state, &handle->pageDicts);
    handle->pageSymbols = 0;
  }
  return 0;
}
