// What the units of the compressed document share: the document check, page records (their
// contents freed, the current page stored into the section), the classifier's output freed
// whole, and log lines.
#ifndef TDC_INTERNAL_H
#define TDC_INTERNAL_H

#include <cstdint>

#include "qtz_tdc.h"

namespace tdc {

// 118 for a null document, 2 for one without a state (neither reported), else 0.
int32_t checkDoc(const QtzTdcDoc *doc);

// A cleared page record (index -1, page number -1).
QtzTdcPageRecord emptyPage();
// Frees everything a page record owns and clears it.
void freePageContents(QtzState *state, QtzTdcPageRecord *page);
// A current page that was started but never stored: its contents freed, its positions
// abandoned.
void discardUnstoredPage(QtzTdcDoc *doc);
// Makes room for one more page record in the current section (count x 3 / 2 records, at
// least one more); 1 when memory runs out.
int32_t reservePage(QtzTdcDoc *doc);
// Stores the current page into the current section (room must have been reserved).
void storePage(QtzTdcDoc *doc);

// Frees the classes of an output list with their member lists, then the list.
void freeOutput(QtzState *state, QtzAdtList *output);
// Frees a section with its pages, blocks, output, list and JPEG compressor.
void freeSection(QtzState *state, QtzTdcSection *section);

// Marks the positions from index `from` on as belonging to no page (a page that failed
// before it was stored), so that no roll-back or bitmap step takes them for a stored page's.
void abandonPositions(QtzTdcSection *section, int32_t from);
constexpr int32_t kNoPage = -1;

// A log line (code -3) when verbose is set.
void logLine(const QtzState *state, int32_t verbose, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace tdc

#endif
