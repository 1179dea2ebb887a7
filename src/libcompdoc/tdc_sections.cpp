// The compressed document and its sections: making and freeing the document, starting a
// section (new, or reusing the previous record), and ending it final, partial or by rolling
// its last page back.
//
// The classifier lives across sections: a partial end hands out the classes made so far and
// keeps it, and the next start must resume it from that output so that class numbers stay
// valid; a final end drops it and the next start makes a new one; after a roll-back the next
// start resumes it, finishes it and starts a new one. Class members are position indices;
// a position's page value is the index of its page within the section.
//
// Roll-back removes the instances of the current page: of the last stored page when that is
// the current page (the section's page count drops by one; a section's only page cannot be
// rolled back: 10003), or of a page started but never stored (no stored page changes). Every
// step that can fail (the classifier's hand-out, the section's blocks) runs before anything
// is changed, so a failed section end or roll-back leaves the section as it was.
#include <cstring>

#include "compdoc_strips.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tdc_internal.h"

namespace tdc {
namespace {

constexpr int32_t kFirstPages = 15;
constexpr int32_t kFirstTokens = 50;
constexpr int32_t kFirstPositions = 100;

int32_t startClassifier(QtzTdcDoc *doc) {
  QtzLlTokParams defaults{0, doc->state};
  QtzLlTokParams *params = doc->classifierOptions != nullptr ? doc->classifierOptions : &defaults;
  params->flags = 0;
  params->state = doc->state;
  return QtzLlTokInit(&doc->classifier, params);
}

// The classifier resumed from previous's output; after a roll-back it is then finished and
// restarted, and the classes of the rolled-back section are freed.
int32_t resumeClassifier(QtzTdcDoc *doc, QtzTdcSection *previous) {
  QtzState *state = doc->state;
  if (previous == nullptr)
    return qtz::reportText(state, 12, "Need a previous section to restart the tokenizer.");
  int32_t status = QtzLlTokResume(doc->classifier, previous->output);
  if (status != QTZ_OK) return status;
  previous->output = nullptr;
  if (previous->final != 1) return QTZ_OK;
  QtzAdtList *finished = nullptr;
  status = QtzLlTokFinal(doc->classifier, &finished);
  if (status != QTZ_OK) return status;
  doc->classifier = nullptr;
  freeOutput(state, finished);
  previous->counter = 0;
  return startClassifier(doc);
}

int32_t reuseSection(QtzTdcDoc *doc, QtzTdcSection *section) {
  QtzState *state = doc->state;
  if (section->output != nullptr || (doc->halftone != 0 && section->check != 0))
    return qtz::reportText(state, 12, "Previous section block isn't in sync with cookie");
  QtzCCPosBlock *positions = nullptr;
  int32_t status = QtzCC_initPosBlock(state, &positions, kFirstPositions);
  if (status != QTZ_OK) return status;
  QtzCCTokBlock *tokens = section->tokens;
  const int32_t keep = tokens->count > 0 ? section->carriedTokens : 0;
  void *items = qtz::resize(state, tokens->items,
                            static_cast<size_t>(keep + kFirstTokens) * sizeof(uint32_t));
  if (items == nullptr) {
    QtzCC_cleanupPosBlock(state, positions);
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  }
  tokens->items = static_cast<uint32_t *>(items);
  tokens->capacity = keep + kFirstTokens;
  tokens->count = keep;
  section->carriedTokens = keep;
  if (section->list == nullptr) {
    status = QtzAdt_liNew(&section->list, state);
    if (status != QTZ_OK) {
      QtzCC_cleanupPosBlock(state, positions);
      return qtz::report(state, status);
    }
  }
  for (int32_t i = 0; i < section->pageCount; ++i) freePageContents(state, &section->pages[i]);
  section->pageCount = 0;
  QtzCC_cleanupPosBlock(state, section->positions);
  section->positions = positions;
  if (section->final == 1) section->counter = 0;
  return QTZ_OK;
}

int32_t newSection(QtzTdcDoc *doc, QtzTdcSection **out) {
  QtzState *state = doc->state;
  auto *made = static_cast<QtzTdcSection *>(qtz::allocateZeroed(state, 1, sizeof(QtzTdcSection)));
  if (made == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  made->compressionType = doc->compressionType;
  made->jpeg = doc->jpeg;
  made->pages = static_cast<QtzTdcPageRecord *>(
      qtz::allocateZeroed(state, kFirstPages, sizeof(QtzTdcPageRecord)));
  int32_t status = made->pages == nullptr ? qtz::report(state, QTZ_ERR_NO_MEMORY) : QTZ_OK;
  made->pageCapacity = kFirstPages;
  if (status == QTZ_OK) status = QtzCC_initTokBlock(state, &made->tokens, kFirstTokens);
  if (status == QTZ_OK) status = QtzCC_initPosBlock(state, &made->positions, kFirstPositions);
  if (status == QTZ_OK) {
    status = QtzAdt_liNew(&made->list, state);
    if (status != QTZ_OK) qtz::report(state, status);
  }
  if (status != QTZ_OK) {
    freeSection(state, made);
    return status;
  }
  *out = made;
  return QTZ_OK;
}

// Removes from every class of output the members whose position lies on page `page` (or on
// no page); a class left without members is freed. 10003 when a class's member list does not
// empty as counted.
int32_t removePageMembers(QtzState *state, QtzAdtList *output, const QtzCCPosBlock *positions,
                          int32_t page) {
  QtzAdtListNode *node = output->head;
  while (node != nullptr) {
    auto *cls = static_cast<QtzLlClass *>(node->data);
    const int32_t before = cls->members != nullptr ? cls->members->count : 0;
    int32_t removed = 0;
    for (QtzAdtListNode *m = before > 0 ? cls->members->head : nullptr; m != nullptr;) {
      const auto index = static_cast<int64_t>(reinterpret_cast<uintptr_t>(m->data));
      const int32_t on = index < positions->count ? positions->items[index].page : kNoPage;
      if (on != page && on != kNoPage) {
        m = m->next;
        continue;
      }
      QtzAdt_liRemAndNext(m, &m);
      ++removed;
    }
    cls->memberCount -= removed;
    if (before == 0 || removed < before) {
      node = node->next;
      continue;
    }
    if (cls->members->count != 0) return QTZ_ERR_ASSERT;
    QtzAdt_liFree(cls->members);
    QtzAdt_liRemAndNext(node, &node);
    QtzLlTokFreeClass(cls, state);
  }
  return QTZ_OK;
}

}  // namespace

int32_t checkDoc(const QtzTdcDoc *doc) {
  if (doc == nullptr) return QTZ_ERR_NULL;
  if (doc->state == nullptr) return QTZ_ERR_PARAM;
  return QTZ_OK;
}

QtzTdcPageRecord emptyPage() {
  QtzTdcPageRecord page{};
  page.pageNumber = -1;
  page.index = -1;
  return page;
}

void freeOutput(QtzState *state, QtzAdtList *output) {
  if (output == nullptr) return;
  for (QtzAdtListNode *node = output->head; node != nullptr; node = node->next) {
    auto *cls = static_cast<QtzLlClass *>(node->data);
    if (cls->members != nullptr) QtzAdt_liFree(cls->members);
  }
  QtzLlTokFreeOutput(output, state);
}

void freeSection(QtzState *state, QtzTdcSection *section) {
  if (section == nullptr) return;
  for (int32_t i = 0; i < section->pageCount; ++i) freePageContents(state, &section->pages[i]);
  qtz::release(state, section->pages);
  QtzCC_cleanupPosBlock(state, section->positions);
  QtzCC_cleanupTokBlock(state, section->tokens);
  freeOutput(state, section->output);
  if (section->list != nullptr) QtzAdt_liFree(section->list);
  imgFreeJpegCompressor(state, &section->compressor);
  qtz::release(state, section);
}

}  // namespace tdc

using namespace tdc;

extern "C" {

int32_t QtzTdc_initDoc(QtzState *state, QtzTdcDoc **doc, uint8_t optionA, uint8_t colour,
                       int32_t halftone, int32_t sizeLimit, uint16_t tileParameter,
                       int32_t compressionType, const QtzTdcJpegParams *jpeg,
                       QtzLlTokParams *classifierOptions, int32_t optionWord, int32_t verbose) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (doc == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  *doc = nullptr;
  static_assert(sizeof(QtzTdcImageStrip) <= static_cast<size_t>(qtz::kPoolSize[6]));
  qtz::OwnedBlock<QtzTdcDoc> made(
      state, static_cast<QtzTdcDoc *>(qtz::allocateZeroed(state, 1, sizeof(QtzTdcDoc))));
  if (!made) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  made->state = state;
  made->optionA = optionA;
  made->colour = colour;
  made->halftone = halftone;
  made->sizeLimit = sizeLimit;
  made->optionWord = optionWord;
  made->compressionType = compressionType;
  made->jpeg = jpeg;
  made->page = emptyPage();
  made->tileParameter = tileParameter;
  made->classifierOptions = classifierOptions;
  if (colour != 0) {
    const int32_t status = QtzCC_init(state, &made->finder);
    if (status != QTZ_OK) return status;
  }
  *doc = made.release();
  return QTZ_OK;
}

int32_t tdcFreeDoc(QtzTdcDoc **doc, QtzTdcSection *section) {
  if (doc == nullptr || *doc == nullptr) return QTZ_OK;
  QtzTdcDoc *doomed = *doc;
  *doc = nullptr;
  QtzState *state = doomed->state;
  QtzLlTokAbort(doomed->classifier);
  QtzCC_cleanup(&doomed->finder);
  if (doomed->page.index < 0) freePageContents(state, &doomed->page);  // never stored
  if (doomed->section != section) freeSection(state, doomed->section);
  freeSection(state, section);
  qtz::release(state, doomed);
  return QTZ_OK;
}

int32_t QtzTdc_startSection(QtzTdcDoc *doc, QtzTdcSection *previous, int32_t verbose) {
  int32_t status = checkDoc(doc);
  if (status != QTZ_OK) return status;
  if (doc->section != nullptr)  // the open section must end first
    return qtz::reportText(doc->state, 12, "Previous section block isn't in sync with cookie");
  status = doc->classifier != nullptr ? resumeClassifier(doc, previous) : startClassifier(doc);
  if (status != QTZ_OK) return status;
  QtzTdcSection *section = previous;
  status = previous != nullptr ? reuseSection(doc, previous) : newSection(doc, &section);
  if (status != QTZ_OK) return status;
  if (doc->page.index < 0) freePageContents(doc->state, &doc->page);
  doc->page = emptyPage();
  doc->section = section;
  doc->pageFirstPosition = 0;
  return QTZ_OK;
}

int32_t QtzTdc_endSection(QtzTdcDoc *doc, QtzTdcSection **section, uint8_t final, int32_t verbose) {
  int32_t status = checkDoc(doc);
  if (status != QTZ_OK) return status;
  QtzState *state = doc->state;
  if (section == nullptr || doc->section == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  *section = nullptr;
  QtzTdcSection *ending = doc->section;
  if (doc->classifier != nullptr) {
    QtzAdtList *classes = nullptr;
    status = final != 0 ? QtzLlTokFinal(doc->classifier, &classes)
                        : QtzLlTokPartial(doc->classifier, &classes);
    if (status != QTZ_OK) return status;
    if (final != 0) doc->classifier = nullptr;
    if (ending->output != nullptr) {
      QtzAdt_liApp(ending->output, classes);
    } else {
      ending->output = classes;
    }
  }
  ending->final = final != 0 ? 1 : 0;
  doc->section = nullptr;
  *section = ending;
  return QTZ_OK;
}

int32_t QtzTdc_endSectionRollBack(QtzTdcDoc *doc, QtzTdcSection **section, int32_t verbose) {
  int32_t status = checkDoc(doc);
  if (status != QTZ_OK) return status;
  QtzState *state = doc->state;
  if (section == nullptr || doc->section == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  *section = nullptr;
  QtzTdcSection *ending = doc->section;
  const bool stored = doc->page.index >= 0 && doc->page.index == ending->pageCount - 1;
  const int32_t page = stored ? ending->pageCount - 1 : ending->pageCount;
  if (stored && ending->pageCount == 1) return QTZ_ERR_ASSERT;
  QtzAdtList *classes = nullptr;
  if (doc->classifier != nullptr) {
    status = QtzLlTokPartial(doc->classifier, &classes);
    if (status != QTZ_OK) return status;
    if (ending->output != nullptr) {
      QtzAdt_liApp(ending->output, classes);
    } else {
      ending->output = classes;
    }
  }
  if (ending->output != nullptr) {
    status = removePageMembers(state, ending->output, ending->positions, page);
    if (status != QTZ_OK) return status;
  }
  if (stored) {
    --ending->pageCount;
    freePageContents(state, &ending->pages[ending->pageCount]);
  } else {
    discardUnstoredPage(doc);
  }
  doc->page = ending->pageCount > 0 ? ending->pages[ending->pageCount - 1] : emptyPage();
  ending->final = 1;
  ending->counter = 0;
  doc->section = nullptr;
  *section = ending;
  return QTZ_OK;
}

}  // extern "C"
