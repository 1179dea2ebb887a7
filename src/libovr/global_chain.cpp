// The global data table chain of a document being read: loaded whole on first use, from the
// table offset that the first page gave, along each table's next offset. The chain must not
// loop (23) and its tables together may take no more bytes than the file holds (23), which
// bounds the walk however the tables overlap. A chain that fails is remembered: later lookups
// give its status at once instead of walking it again. Global data index i is the i-th entry over
// the chain; its table is found by binary search over the running entry counts, so that looking up
// every index of a referring strip stays cheap however many tables the chain has.
#include <algorithm>

#include "ovr_reader_internal.h"

namespace ovr {
namespace {

int32_t loadChain(OvrDocument *doc) {
  doc->globalTables.clear();
  doc->globalTableEnds.clear();
  LoopGuard guard;
  ReadBudget budget{doc->reader.size};
  uint64_t entries = 0;
  for (uint32_t offset = doc->globalTableOffset; offset != 0;) {
    if (guard.repeats(offset)) return OVR_ERR_CORRUPT;
    GlobalTable table;
    int32_t status = readGlobalTable(doc->reader, offset, &table);
    if (status == OVR_OK) status = budget.take(globalTableByteSize(table.count));
    if (status == OVR_OK) status = doc->globalTables.push(table);
    entries += table.count;
    if (status == OVR_OK) status = doc->globalTableEnds.push(entries);
    if (status != OVR_OK) return status;
    offset = table.next;
  }
  doc->globalTablesComplete = true;
  return OVR_OK;
}

}  // namespace

int32_t findGlobalEntry(OvrDocument *doc, uint32_t index, GlobalEntry *entry) {
  if (!doc->hasGlobalTable) return OVR_ERR_CORRUPT;
  if (doc->globalTableOffset == 0) return OVR_ERR_SEQUENCE;
  if (doc->globalChainFailure != OVR_OK) return doc->globalChainFailure;
  if (!doc->globalTablesComplete) {
    const int32_t status = loadChain(doc);
    if (status != OVR_OK && status != OVR_ERR_NO_MEMORY) doc->globalChainFailure = status;
    if (status != OVR_OK) return status;
  }
  // The first table whose running count passes index holds it.
  const std::span<uint64_t> ends = doc->globalTableEnds.span();
  const auto at = std::upper_bound(ends.begin(), ends.end(), uint64_t{index});
  if (at == ends.end()) return OVR_ERR_CORRUPT;
  const uint64_t t = static_cast<uint64_t>(at - ends.begin());
  const GlobalTable &table = doc->globalTables[t];
  const uint64_t first = *at - table.count;  // index of the table's first entry
  return readGlobalEntry(doc->reader, table, static_cast<uint32_t>(index - first), entry);
}

}  // namespace ovr
