// The output handle behind the document encoder's JBIG2 output (internal/jbig2_output.h): the
// stream over its memory sink, the coding mode and the dictionaries written so far.
#ifndef NORV_JBIG2_OUTPUT_HANDLE_H
#define NORV_JBIG2_OUTPUT_HANDLE_H

#include <cstdint>

#include "jb2_stream.h"
#include "jbig2_output.h"
#include "jbig2_symbol_encode.h"
#include "qtz_adt.h"

struct QtzJb2Output {
  const void *optionBlock;  // kept, not read
  Jb2File *stream;          // over a MemoryDataSink
  QtzState *state;
  int32_t mode;
  QtzAdtList *globalDicts;  // Jbig2SymbolDictRecord, oldest first; none until the first
  QtzAdtList *pageDicts;    // the same for the page dictionaries
  int32_t globalSymbols;    // symbols in the section dictionaries
  // The section dictionary's symbols sorted by the record they came from (made by the first
  // text region after the dictionary changed; none until then).
  const Jbig2Symbol **globalIndex;
  int32_t pageSymbols;  // symbols in the latest page dictionary
  int32_t pageNumber;   // pages begun
  uint8_t singlePage;
};

// The coding options of a mode, over the stream's defaults.
void setModeOptions(Jb2File *stream, int32_t mode);

// Frees every dictionary record of the list (symbols and record) and the list; sets it to none.
void freeDictList(QtzState *state, QtzAdtList **list);
// Forgets the section dictionaries: their records and the index of their symbols.
void freeSectionDicts(QtzJb2Output *handle);

// Page association of a page segment: 1 in single-page mode, else the page given.
inline int32_t pageAssociation(const QtzJb2Output *handle, int32_t page) {
  return handle->singlePage ? 1 : page;
}

#endif
