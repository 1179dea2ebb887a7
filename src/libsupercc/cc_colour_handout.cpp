// Finished colour components: a live component's runs become the handed-out run list (pairs
// relative to the box, top row first; runs of a picture component that meet end to start in
// one row are joined, so the list follows the token run-list convention), a one-colour
// component keeps its colour as three bytes, and a picture component gets an RGB image of
// its box: each run's own colour bytes, or its solid colour for washed runs, on white.
#include <algorithm>
#include <cstring>

#include "cc_colour.h"
#include "cc_colour_internal.h"
#include "qtz_internal.h"

namespace supercc {
namespace {

static_assert(sizeof(QtzCCColourComponent) <= static_cast<size_t>(qtz::kPoolSize[3]));

bool continues(const ColourRun &previous, const ColourRun &run) {
  return previous.row == run.row && previous.start + previous.length == run.start;
}

int32_t runList(const QtzState *state, const Component &source, QtzCCColourComponent &out) {
  int32_t pairs = 0;
  for (int32_t i = 0; i < source.runCount; ++i)
    if (i == 0 || !continues(source.runs[i - 1], source.runs[i])) ++pairs;
  out.runs = static_cast<uint16_t *>(qtz::allocate(state, static_cast<size_t>(pairs) * 4));
  if (out.runs == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  int32_t n = -1;
  for (int32_t i = 0; i < source.runCount; ++i) {
    const ColourRun &run = source.runs[i];
    if (i > 0 && continues(source.runs[i - 1], run)) {
      out.runs[2 * n + 1] = static_cast<uint16_t>(out.runs[2 * n + 1] + run.length);
      continue;
    }
    ++n;
    out.runs[2 * n] = static_cast<uint16_t>(run.start - source.left);
    out.runs[2 * n + 1] = run.length;
  }
  out.runCount = pairs;
  return QTZ_OK;
}

int32_t pictureImage(QtzState *state, const Component &source, QtzCCColourComponent &out) {
  const int32_t width = source.right - source.left + 1;
  const int32_t height = source.lastRow - source.top + 1;
  QtzImage *image = nullptr;
  const int32_t status =
      QtzImage_new(state, int32_t{QTZ_IMAGE_RGB} | QTZ_IMAGE_NO_ZERO, width, height, &image);
  if (status != QTZ_OK) return status;
  for (int32_t y = 0; y < height; ++y) std::memset(image->rows[y], 0xFF, size_t(width) * 3);
  for (int32_t i = 0; i < source.runCount; ++i) {
    const ColourRun &run = source.runs[i];
    uint8_t *to = image->rows[run.row - source.top] + 3 * (run.start - source.left);
    if (run.pixels != nullptr) {
      std::memcpy(to, run.pixels, size_t{run.length} * 3);
      continue;
    }
    for (int32_t x = 0; x < run.length; ++x) {
      to[3 * x] = static_cast<uint8_t>(run.solid >> 16);
      to[3 * x + 1] = static_cast<uint8_t>(run.solid >> 8);
      to[3 * x + 2] = static_cast<uint8_t>(run.solid);
    }
  }
  out.image = image;
  return QTZ_OK;
}

int32_t finished(QtzState *state, const Component &source, QtzCCColourComponent **out) {
  if (source.runCount == 0) return QTZ_ERR_ASSERT;
  QtzCCColourComponent *record = nullptr;
  if (qtz::poolTake<3>(state, &record) != QTZ_OK) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  *record = QtzCCColourComponent{};
  record->left = source.left;
  record->top = source.top;
  record->right = source.right;
  record->bottom = source.lastRow;
  record->flags = source.flags & kPicture;
  int32_t status = runList(state, source, *record);
  if (status == QTZ_OK && record->flags != 0) status = pictureImage(state, source, *record);
  if (status != QTZ_OK) {
    freeColourComponent(state, record);
    return status;
  }
  if (record->flags == 0) {
    record->rgb[0] = static_cast<uint8_t>(source.colour >> 16);
    record->rgb[1] = static_cast<uint8_t>(source.colour >> 8);
    record->rgb[2] = static_cast<uint8_t>(source.colour);
  }
  *out = record;
  return QTZ_OK;
}

}  // namespace

int32_t appendRun(const QtzState *state, Component *component, const ColourRun &run) {
  if (component->runCount == component->runCapacity) {
    const int32_t next = std::max(4, component->runCapacity * 2);
    void *grown =
        qtz::resize(state, component->runs, static_cast<size_t>(next) * sizeof(ColourRun));
    if (grown == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
    component->runs = static_cast<ColourRun *>(grown);
    component->runCapacity = next;
  }
  component->runs[component->runCount++] = run;
  return QTZ_OK;
}

void freeComponent(QtzState *state, Component *component) {
  for (int32_t i = 0; i < component->runCount; ++i) qtz::release(state, component->runs[i].pixels);
  qtz::release(state, component->runs);
  qtz::release(state, component);
}

int32_t handOutPending(QtzCCFinder *finder, QtzAdtList *tokens, QtzAdtList *pictures) {
  QtzState *state = finder->state;
  for (int32_t slot = 0; slot < finder->slots && finder->pending > 0; ++slot) {
    Component *component = finder->slotOwner[slot];
    if (component == nullptr || (component->flags & kFinished) == 0) continue;
    QtzCCColourComponent *record = nullptr;
    int32_t status = finished(state, *component, &record);
    if (status != QTZ_OK) return status;
    status = QtzAdt_liAdd(record->flags != 0 ? pictures : tokens, record, nullptr);
    if (status != QTZ_OK) {
      freeColourComponent(state, record);
      return qtz::report(state, status);
    }
    releaseSlot(finder, component);
    --finder->pending;
    freeComponent(state, component);
  }
  return QTZ_OK;
}

void freeColourComponent(QtzState *state, QtzCCColourComponent *component) {
  if (component == nullptr) return;
  qtz::release(state, component->runs);
  QtzImage_free(component->image);
  qtz::poolGive<3>(state, component);
}

}  // namespace supercc
