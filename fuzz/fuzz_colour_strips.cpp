// Fuzz target of the colour component finder: bytes become a page size, a wash threshold, a
// strip height and the runs of every row (one-colour runs from a small palette with near
// colours, picture runs, white); every run the finder accepts must come back in exactly one
// handed-out component, inside the page, with nothing left behind.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cc_colour_internal.h"
#include "qtz_cc.h"

namespace {

struct Input {
  const uint8_t *data;
  size_t size;
  size_t at = 0;
  uint8_t next() { return at < size ? data[at++] : 0; }
};

struct Reader {
  Input *input;
  int width;
  int x = 0;
  uint8_t pixels[3 * 16] = {};
  int64_t inked = 0;
  static int32_t read(QtzCCRunItem *item, int32_t *end, void *user, QtzState *) {
    static const uint32_t palette[] = {0x000000, 0x0A0A0A, 0x141414, 0xFF0000,
                                       0xFFFFFF, 0x00FF00, 0x0000FF};
    auto *self = static_cast<Reader *>(user);
    const uint8_t code = self->input->next();
    const int length = 1 + (code & 15);
    if ((code >> 4) == 15 || self->x + length > self->width) {
      *end = 1;
      self->x = 0;
      return 0;
    }
    item->length = static_cast<uint16_t>(length);
    const int kind = (code >> 4) % 8;
    if (kind == 7) {
      item->picture = 1;
      for (int i = 0; i < 3 * length; ++i) self->pixels[i] = self->input->next();
      item->pixels = self->pixels;
    } else {
      item->colour = palette[kind];
    }
    if (item->picture != 0 || item->colour != 0xFFFFFF) self->inked += length;
    self->x += length;
    return 0;
  }
};

int64_t pixelsOf(const QtzCCColourComponent &c, int width, int height) {
  int64_t count = 0;
  int row = c.top, lastEnd = 1 << 30;
  for (int i = 0; i < c.runCount; ++i) {
    const int start = c.runs[2 * i], length = c.runs[2 * i + 1];
    if (i > 0 && start <= lastEnd) ++row;
    lastEnd = start + length;
    if (length == 0 || c.left + start + length > width || row >= height) __builtin_trap();
    count += length;
  }
  if (row != c.bottom) __builtin_trap();
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input input{data, size};
  const int width = 1 + input.next() % 64;
  const int height = 1 + input.next() % 64;
  const int threshold = input.next() * 2;
  const int strip = 1 + input.next() % 16;
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, nullptr, nullptr, 0, 0) != 0) return 0;
  QtzCCFinder *finder = nullptr;
  QtzAdtList *lists[2] = {nullptr, nullptr};
  if (QtzCC_init(state, &finder) == 0 && QtzAdt_liNew(&lists[0], state) == 0 &&
      QtzAdt_liNew(&lists[1], state) == 0 &&
      QtzCC_initPage(finder, width, height, threshold > 255 ? 0xFFFF : threshold, 1) == 0) {
    Reader reader{&input, width};
    int32_t status = 0;
    for (int y = 0; status == 0 && y < height; y += strip)
      status = QtzCC_doStrip(finder, Reader::read, &reader, strip < height - y ? strip : height - y,
                             lists[0], lists[1]);
    int64_t handedOut = 0;
    for (QtzAdtList *list : lists)
      for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next)
        handedOut += pixelsOf(*static_cast<QtzCCColourComponent *>(n->data), width, height);
    if (status == 0 && handedOut != reader.inked) __builtin_trap();
  }
  for (QtzAdtList *list : lists) {
    if (list == nullptr) continue;
    for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next)
      supercc::freeColourComponent(state, static_cast<QtzCCColourComponent *>(n->data));
    QtzAdt_liFree(list);
  }
  QtzCC_cleanup(&finder);
  Qtz_cleanupQtzState(&state);
  return 0;
}
