// The token document and its sections: making and freeing the document, starting a section
// (new, or readying the previous record), ending it final or partial, and rolling its last
// page back.
//
// Every step of an end, a roll-back or a restart that can fail (the classifier's hand-out, a
// new class list, a new classifier) runs before anything changes, so a failure leaves the
// section as it was. Classes are taken out of a list before they are freed, and a list handed
// to the classifier for reinsertion loses each class it takes, so no class is freed or
// reinserted twice whatever fails.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tcly_doc_internal.h"
#include "tcly_grey_internal.h"

namespace tcly {
namespace {

constexpr int32_t kFirstPages = 15;
constexpr int32_t kTokenRecordBytes = 44;  // the token record of the 32-bit layout

void logLine(const QtzState *state, int32_t verbose, const char *text) {
  if (verbose != 0) qtz::reportText(state, QTZ_MSG_REPORT, text);
}

bool memberRecords(const TclyDoc *doc) {
  return (doc->lossy.flags & TOK_FLAG_MEMBER_RECORDS) != 0;
}

// The token a member of an output class stands for.
TclyToken *memberToken(const TclyDoc *doc, const QtzAdtListNode *member) {
  if (memberRecords(doc))
    return reinterpret_cast<TclyToken *>(static_cast<const TokOutMember *>(member->data)->user);
  return static_cast<TclyToken *>(member->data);
}

// Frees an output class list with the grey samples hung on its classes.
void freeClassList(TclyDoc *doc, QtzAdtList *classes) {
  if (classes == nullptr) return;
  dropGreySamples(doc->state, classes);
  if (doc->tokenizer != nullptr) tokFreeOutput(doc->tokenizer, classes, memberRecords(doc) ? 1 : 0);
}

void freeSectionOutputs(QtzState *state, QtzAdtList *outputs) {
  if (outputs == nullptr) return;
  for (QtzAdtListNode *n = outputs->head; n != nullptr; n = n->next) {
    auto *out = static_cast<TclySectionOutput *>(n->data);
    for (int32_t i = 0; i < out->count; ++i) qtz::release(state, out->symbols[i].bitmap);
    qtz::release(state, out->symbols);
    qtz::release(state, out);
  }
  QtzAdt_liClear(outputs);
}

void freeSectionPages(QtzState *state, TclySection *section) {
  for (int32_t i = 0; i < section->pageCount; ++i) tclyFreePageData(state, &section->pages[i]);
  section->pageCount = 0;
}

// A class of the list that no coded symbol stands for, with more than one member: the class
// list cannot be carried into the next section.
bool uncodedClassWithMembers(const QtzAdtList *classes) {
  if (classes == nullptr) return false;
  for (const QtzAdtListNode *n = classes->head; n != nullptr; n = n->next) {
    const auto *cls = static_cast<const TokOutClass *>(n->data);
    if (cls->head.user == 0 && cls->members != nullptr && cls->members->count > 1) return true;
  }
  return false;
}

// Takes every class not yet coded out of the list and frees it.
void dropUncodedClasses(TclyDoc *doc, QtzAdtList *classes) {
  QtzAdtListNode *n = classes->head;
  while (n != nullptr) {
    auto *cls = static_cast<TokOutClass *>(n->data);
    QtzAdtListNode *next = n->next;
    if (cls->head.user == 0) {
      QtzAdt_liRem(n);
      tokFreeClass(doc->tokenizer, cls);
    }
    n = next;
  }
}

int32_t refuseAfterFailedPage(const TclyDoc *doc) {
  if (doc->pagePending != 0)
    return qtz::reportText(doc->state, QTZ_ERR_ASSERT,
                           "A page failed after its tokens were classified");
  return QTZ_OK;
}

// The checks both section ends make: an out-pointer, an open section with its classifier, and
// no page left half-added.
int32_t readyToEnd(const TclyDoc *doc, TclySection **section) {
  if (section == nullptr || doc->section == nullptr || doc->tokenizer == nullptr)
    return qtz::report(doc->state, QTZ_ERR_NULL);
  return refuseAfterFailedPage(doc);
}

}  // namespace
}  // namespace tcly

using namespace tcly;

void tclyFreePageData(QtzState *state, TclyPageRecord *page) {
  TclyPageBoxes boxes{};
  boxes.tokens = page->tokens;
  boxes.generics = page->generics;
  boxes.halftoneImages = page->halftoneData;
  boxes.halftoneRegions = page->halftones;
  tclyFreePageBoxes(state, &boxes);
  tclyFreeTokenList(state, page->smallTokens);
  tclyFreeBandedPage(&page->banded);
  *page = TclyPageRecord{};
}

extern "C" int32_t tcly_doc_init(QtzState *state, TclyDoc **doc, uint8_t one,
                                 int32_t jbig2Halftones, int32_t componentSizeLimit,
                                 int32_t resolutionOverride, int32_t tenthLimit,
                                 const TokOptions *lossyOptions, int32_t deskewTokens,
                                 int32_t deskewPrecision, int32_t orientation, int32_t memoryLimit,
                                 int32_t verbose) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (doc == nullptr || lossyOptions == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  const int32_t needed = std::max<int32_t>(kTokenRecordBytes, sizeof(TclyToken));
  if (Qtz_getPoolSize(6) < needed) return qtz::report(state, QTZ_ERR_ASSERT);
  qtz::OwnedBlock<TclyDoc> made(
      state, static_cast<TclyDoc *>(qtz::allocateZeroed(state, 1, sizeof(TclyDoc))));
  if (!made) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  TclyDoc &d = *made.get();
  d.state = state;
  d.lossy = *lossyOptions;
  d.lossy.state = state;
  d.one = one;
  d.jbig2Halftones = jbig2Halftones;
  d.tenthLimit = tenthLimit;
  d.componentSizeLimit = componentSizeLimit;
  d.resolutionOverride = resolutionOverride;
  d.deskewTokens = deskewTokens;
  d.memoryLimit = memoryLimit;
  if (QtzAdt_liNew(&d.outputs, state) != QTZ_OK) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  if (deskewTokens != 0) {
    const int32_t status = tclyCreateDeskewContext(state, deskewPrecision, orientation, &d.deskew);
    if (status != QTZ_OK) {
      QtzAdt_liFree(d.outputs);
      return status;
    }
  }
  logLine(state, verbose, "starting document");
  *doc = made.release();
  return QTZ_OK;
}

extern "C" int32_t tcly_doc_startSection(TclyDoc *doc, TclySection *previous,
                                         int32_t firstPageNumber, int32_t) {
  if (doc == nullptr) return QTZ_ERR_NULL;
  QtzState *state = doc->state;
  if (previous != nullptr) {
    const int32_t status = tcly_doc_cleanSection(doc, previous);
    if (status != QTZ_OK) return status;
    previous->firstPage = firstPageNumber;
    doc->section = previous;
    return QTZ_OK;
  }
  if (doc->tokenizer != nullptr)
    return qtz::reportText(state, 12, "Need a previous section to restart the tokenizer.");
  qtz::OwnedBlock<TclySection> section(
      state, static_cast<TclySection *>(qtz::allocateZeroed(state, 1, sizeof(TclySection))));
  if (!section) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  qtz::OwnedBlock<TclyPageRecord> pages(state, static_cast<TclyPageRecord *>(qtz::allocateZeroed(
                                                   state, kFirstPages, sizeof(TclyPageRecord))));
  if (!pages) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  QtzAdtList *classes = nullptr;
  if (QtzAdt_liNew(&classes, state) != QTZ_OK) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  TokTokenizer *tokenizer = nullptr;
  const int32_t status = tokInit(&doc->lossy, &tokenizer);
  if (status != QTZ_OK) {
    QtzAdt_liFree(classes);
    return status == QTZ_ERR_NO_MEMORY ? status : qtz::report(state, status);
  }
  TclySection &s = *section.get();
  s.final = 1;
  s.capacity = kFirstPages;
  s.pages = pages.release();
  s.classes = classes;
  s.firstPage = firstPageNumber;
  doc->tokenizer = tokenizer;
  doc->section = section.release();
  return QTZ_OK;
}

extern "C" int32_t tcly_doc_cleanSection(TclyDoc *doc, TclySection *section) {
  if (doc == nullptr) return QTZ_ERR_NULL;
  QtzState *state = doc->state;
  if (section == nullptr || doc->tokenizer == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  if (int32_t status = refuseAfterFailedPage(doc); status != QTZ_OK) return status;
  const bool final = section->final != 0;
  // After a partial end the classes not yet coded are dropped; after a final end only when
  // the section overflowed (the rest goes with the classifier anyway).
  if ((!final || section->overflow != 0) && uncodedClassWithMembers(section->classes))
    return qtz::reportText(state, QTZ_ERR_ASSERT, "A class to drop has more than one member");
  QtzAdtList *fresh = nullptr;
  if (QtzAdt_liNew(&fresh, state) != QTZ_OK) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  QtzAdtList *classes = section->classes;
  if (final) {
    // A new classifier first: its failure leaves the old one and its classes in place.
    TokTokenizer *tokenizer = nullptr;
    const int32_t status = tokInit(&doc->lossy, &tokenizer);
    if (status != QTZ_OK) {
      QtzAdt_liFree(fresh);
      return status == QTZ_ERR_NO_MEMORY ? status : qtz::report(state, status);
    }
    freeClassList(doc, classes);
    section->classes = nullptr;
    tokFree(doc->tokenizer);
    doc->tokenizer = tokenizer;
    freeSectionOutputs(state, doc->outputs);
    section->runningEstimate = 0;
    section->compressedEstimate = 0;
  } else if (classes != nullptr) {
    dropUncodedClasses(doc, classes);
    // The classifier takes each class out of the list as it reinserts it and frees the list
    // when all are in; after a failure the list keeps only the classes not yet taken.
    const int32_t status = tokReinsertTemplates(doc->tokenizer, classes);
    if (status != QTZ_OK) {
      QtzAdt_liFree(fresh);
      return status == QTZ_ERR_NO_MEMORY ? status : qtz::report(state, status);
    }
    section->classes = nullptr;
  }
  freeSectionPages(state, section);
  section->codedSymbols = 0;
  section->classes = fresh;
  doc->page = TclyPageRecord{};
  return QTZ_OK;
}

extern "C" int32_t tcly_doc_endSection(TclyDoc *doc, TclySection **section, uint8_t final,
                                       int32_t verbose) {
  if (doc == nullptr) return QTZ_ERR_NULL;
  QtzState *state = doc->state;
  TclySection *s = doc->section;
  if (int32_t status = readyToEnd(doc, section); status != QTZ_OK) return status;
  QtzAdtList *classes = nullptr;
  const int32_t status = final != 0 ? tokEndSectionFinal(doc->tokenizer, &classes)
                                    : tokEndSectionPartial(doc->tokenizer, &classes);
  if (status != QTZ_OK) return status == QTZ_ERR_NO_MEMORY ? status : qtz::report(state, status);
  freeClassList(doc, s->classes);
  s->classes = classes;
  s->final = final != 0 ? 1 : 0;
  s->dictionaryEstimate = s->runningEstimate;
  logLine(state, verbose, "Section closed.");
  *section = s;
  return QTZ_OK;
}

extern "C" int32_t tcly_doc_endSectionRollBack(TclyDoc *doc, TclySection **section,
                                               int32_t verbose) {
  if (doc == nullptr) return QTZ_ERR_NULL;
  QtzState *state = doc->state;
  TclySection *s = doc->section;
  if (int32_t status = readyToEnd(doc, section); status != QTZ_OK) return status;
  if (s->pageCount < 2)
    return qtz::reportText(state, QTZ_ERR_ASSERT, "Cannot roll back the only page of a section");
  QtzAdtList *classes = nullptr;
  const int32_t status = tokEndSectionRollBack(doc->tokenizer, &classes);
  if (status != QTZ_OK) return status == QTZ_ERR_NO_MEMORY ? status : qtz::report(state, status);

  // The last stored page's members leave their classes; a class all of whose members lay on
  // that page goes with them (a carried class without members stays).
  TclyPageRecord &last = s->pages[s->pageCount - 1];
  const bool records = memberRecords(doc);
  QtzAdtListNode *n = classes->head;
  while (n != nullptr) {
    QtzAdtListNode *nextClass = n->next;
    auto *cls = static_cast<TokOutClass *>(n->data);
    int32_t removed = 0;
    QtzAdtListNode *m = cls->members != nullptr ? cls->members->head : nullptr;
    while (m != nullptr) {
      QtzAdtListNode *nextMember = m->next;
      if (memberToken(doc, m)->page == last.pageNumber) {
        if (records) qtz::release(state, m->data);
        QtzAdt_liRem(m);
        ++removed;
      }
      m = nextMember;
    }
    if (removed > 0 && cls->members->count == 0) {
      QtzAdt_liRem(n);
      tokFreeClass(doc->tokenizer, cls);
    }
    n = nextClass;
  }
  freeClassList(doc, s->classes);
  s->classes = classes;
  s->final = 1;
  s->runningEstimate = 0;
  tclyFreePageData(state, &last);
  --s->pageCount;
  doc->page = s->pages[s->pageCount - 1];
  logLine(state, verbose, "Section closed.");
  *section = s;
  return QTZ_OK;
}

extern "C" int32_t tcly_doc_end(TclyDoc *doc, TclySection *section) {
  if (doc == nullptr) return QTZ_OK;
  QtzState *state = doc->state;
  freeSectionOutputs(state, doc->outputs);
  QtzAdt_liFree(doc->outputs);
  tclyFreeDeskewContext(&doc->deskew);
  // A banded page still open owns its context; the rest of the working record is a copy.
  tclyFreeBandedPage(&doc->page.banded);
  for (TclySection *s : {doc->section, section == doc->section ? nullptr : section}) {
    if (s == nullptr) continue;
    freeClassList(doc, s->classes);
    freeSectionPages(state, s);
    qtz::release(state, s->pages);
    qtz::release(state, s);
  }
  if (doc->tokenizer != nullptr) {
    // Classes the classifier still holds may carry grey samples on their class words (a page
    // that failed before its section ended): they come out by a roll-back, which refines
    // nothing, and go with their samples.
    QtzAdtList *held = nullptr;
    if (tokEndSectionRollBack(doc->tokenizer, &held) == QTZ_OK) freeClassList(doc, held);
    tokFree(doc->tokenizer);
  }
  qtz::release(state, doc);
  return QTZ_OK;
}
