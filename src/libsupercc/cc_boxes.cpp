// The components of a framed bilevel page as token boxes: the image core's finder walks the
// content with 8-connectivity and calls the collector once per component. A component within
// the maximum size gets a box, a position and a class of the lossless classifier; a larger
// one becomes a large-component record with its runs.
//
// The finder's run chain goes from the bottom row up, right to left, with inclusive buffer
// columns; it is turned into a top-down run list here, at this one place, by filling the list
// from its end.
#include <cstdio>

#include "cc_grow.h"
#include "pxl_components.h"
#include "qtz_cc.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

namespace supercc {
namespace {

constexpr int32_t kFrame = 32;
constexpr int32_t kFirstBoxes = 5000;

static_assert(sizeof(QtzCCBox) == 12);
static_assert(sizeof(QtzCCLarge) <= static_cast<size_t>(qtz::kPoolSize[5]));

void logLine(const QtzState *state, int32_t verbose, const char *text) {
  if (verbose != 0) qtz::reportText(state, QTZ_MSG_REPORT, text);
}

void freeLarge(QtzState *state, QtzCCLarge *record) {
  qtz::release(state, record->runs);
  qtz::poolGive<5>(state, record);
}

void freeLargeList(QtzState *state, QtzAdtList *list) {
  if (list == nullptr) return;
  for (QtzAdtListNode *node = list->head; node != nullptr; node = node->next)
    freeLarge(state, static_cast<QtzCCLarge *>(node->data));
  QtzAdt_liFree(list);
}

// The run chain as pairs, top row first and left to right: (start - left, length) for a
// token, (start - left, end - left) for a large component. Null when memory runs out.
uint16_t *runList(const QtzState *state, const PxlRunNode *chain, int32_t runCount, int32_t left,
                  bool token) {
  auto *runs = static_cast<uint16_t *>(qtz::allocate(state, 4 * static_cast<size_t>(runCount)));
  if (runs == nullptr) return nullptr;
  int32_t i = runCount;
  for (const PxlRunNode *run = chain; run != nullptr && i > 0; run = run->next) {
    --i;
    runs[2 * i] = static_cast<uint16_t>(run->start - left);
    runs[2 * i + 1] = static_cast<uint16_t>(token ? run->end - run->start + 1 : run->end - left);
  }
  return runs;
}

int32_t collectLarge(QtzLlCCData *data, int32_t x, int32_t y, int32_t width, int32_t height,
                     int32_t runCount, const PxlRunNode *chain) {
  QtzState *state = data->state;
  QtzCCLarge *record = nullptr;
  if (qtz::poolTake<5>(state, &record) != QTZ_OK) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  *record = QtzCCLarge{static_cast<uint16_t>(width),
                       static_cast<uint16_t>(height),
                       0,
                       static_cast<uint16_t>((width + 31) / 32),
                       record,
                       x - kFrame,
                       y - kFrame,
                       runList(state, chain, runCount, x, false),
                       static_cast<uint32_t>(runCount)};
  int32_t status = record->runs == nullptr ? qtz::report(state, QTZ_ERR_NO_MEMORY)
                                           : QtzAdt_liAdd(data->large, record, nullptr);
  if (status != QTZ_OK) {
    freeLarge(state, record);
    return status;
  }
  ++data->componentCount;
  return QTZ_OK;
}

int32_t collectToken(QtzLlCCData *data, int32_t x, int32_t y, int32_t width, int32_t height,
                     int32_t runCount, const PxlRunNode *chain) {
  QtzState *state = data->state;
  if (data->boxCount == data->boxCapacity && !growByHalf(state, data->boxes, data->boxCapacity))
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  QtzCCPosBlock *positions = data->posBlock;
  if (positions->count == positions->capacity &&
      !growByHalf(state, positions->items, positions->capacity))
    return qtz::report(state, QTZ_ERR_NO_MEMORY);
  qtz::OwnedBlock<uint16_t> runs(state, runList(state, chain, runCount, x, true));
  if (!runs) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  QtzCCBox &box = data->boxes[data->boxCount];
  box = QtzCCBox{0, 0, static_cast<uint16_t>(x - kFrame),
                 static_cast<uint16_t>(y - kFrame + height - 1)};
  positions->items[positions->count] = QtzCCPosition{data->boxCount, data->page};
  QtzCCComponent component{runs.get(), runCount, static_cast<uint16_t>(width),
                           static_cast<uint16_t>(height), static_cast<uint32_t>(positions->count)};
  int32_t status = QtzCC_tokenAddCC(state, data->tokenizer, data->tokBlock, &component, &box.token);
  if (component.runs == nullptr) runs.release();
  if (status != QTZ_OK) return status;
  ++positions->count;
  ++data->boxCount;
  ++data->componentCount;
  return QTZ_OK;
}

int32_t collect(PxlContext *, void *user, int32_t x, int32_t y, int32_t width, int32_t height,
                int32_t, int32_t runCount, PxlRunNode *chain) {
  auto *data = static_cast<QtzLlCCData *>(user);
  if (width > data->maxWidth || height > data->maxHeight)
    return collectLarge(data, x, y, width, height, runCount, chain);
  return collectToken(data, x, y, width, height, runCount, chain);
}

// The box array and large list under construction, freed unless handed out.
struct Collection {
  QtzState *state;
  QtzCCBox *boxes = nullptr;
  QtzAdtList *large = nullptr;
  ~Collection() {
    qtz::release(state, boxes);
    freeLargeList(state, large);
  }
};

}  // namespace
}  // namespace supercc

extern "C" int32_t QtzCC_getBoxes(QtzState *state, QtzLlTokenizer *tokenizer, const uint32_t *rows,
                                  int32_t width, int32_t height, int32_t maxWidth,
                                  int32_t maxHeight, int32_t bytesPerRow, int32_t *count,
                                  QtzCCBox **boxes, int32_t sizeLimit, QtzAdtList **large,
                                  QtzCCTokBlock *tokBlock, QtzCCPosBlock *posBlock, int32_t page,
                                  int32_t verbose) {
  using namespace supercc;
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (count == nullptr || boxes == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  *count = 0;
  *boxes = nullptr;
  if (large != nullptr) *large = nullptr;
  if (width < 1 || height < 1) return QTZ_OK;
  if (tokenizer == nullptr || rows == nullptr || tokBlock == nullptr || posBlock == nullptr ||
      state->ipContext == nullptr)
    return qtz::report(state, QTZ_ERR_NULL);
  if (bytesPerRow <= 0 || int64_t{bytesPerRow} * 8 < int64_t{width} + 2 * kFrame)
    return qtz::report(state, QTZ_ERR_PARAM);
  logLine(state, verbose, "QtzCC_getBoxes() starts.");

  Collection made{state};
  int32_t status = QtzAdt_liNew(&made.large, state);
  if (status != QTZ_OK) return status;
  made.boxes = static_cast<QtzCCBox *>(qtz::allocate(state, kFirstBoxes * sizeof(QtzCCBox)));
  if (made.boxes == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  QtzLlCCData data{};
  QtzLlCCData_init(state, &data, 0, tokenizer, made.boxes, 0, kFirstBoxes, made.large, maxWidth,
                   maxHeight, tokBlock, posBlock, page, 0, 0);
  logLine(state, verbose, "About to call pixlab CC finder.");
  int32_t stop = 0;
  status = pxlFindConnectedComponents(state->ipContext, reinterpret_cast<const uint8_t *>(rows),
                                      bytesPerRow, kFrame, kFrame, width, height, sizeLimit,
                                      sizeLimit, 1, &data, collect, &stop);
  made.boxes = data.boxes;  // the collector may have moved it
  if (status != QTZ_OK) return status;
  if (verbose != 0) {
    char line[40];
    std::snprintf(line, sizeof line, "Found %d ccs", data.componentCount);
    logLine(state, verbose, line);
  }
  if (data.boxCount == 0) {
    qtz::release(state, made.boxes);
    made.boxes = nullptr;
  } else {
    void *shrunk =
        qtz::resize(state, made.boxes, static_cast<size_t>(data.boxCount) * sizeof(QtzCCBox));
    if (shrunk == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
    made.boxes = static_cast<QtzCCBox *>(shrunk);
  }
  *count = data.boxCount;
  *boxes = std::exchange(made.boxes, nullptr);
  if (large != nullptr) *large = std::exchange(made.large, nullptr);
  logLine(state, verbose, "GetBoxes() ends (ok).");
  return QTZ_OK;
}
