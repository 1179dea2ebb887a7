// The component collector of the page-to-token step: every component the image core's finder
// or the banded walker completes is sorted into a generic region (run triples), a small token
// (box, position and lossless class of the compressed document) or a token (bitmap handed to
// the lossy classifier), with the memory estimates (see tcly_boxes_internal.h).
//
// Components arrive in framed coordinates (page column + 32, page row + 32 - rowOffset) with a
// run chain in the core finder's order: bottom row up, right to left, inclusive columns, each
// run with its row. collectComponent is a PxlComponentFn over a Collector.
#ifndef TCLY_COLLECT_H
#define TCLY_COLLECT_H

#include <cstdint>

#include "pxl_components.h"
#include "tcly_boxes_internal.h"

namespace tcly {

inline constexpr int32_t kFrame = 32;

struct Collector {
  // Generic regions are wider or taller than a tenth of the page with tenthLimit set, else
  // than the page itself.
  Collector(QtzState *s, TokTokenizer *t, const TclyPageInput &p, const TclyBoxesOptions &o,
            const TclyCompressedSide &c)
      : state(s),
        tokenizer(t),
        page(&p),
        options(&o),
        compressed(&c),
        maxWidth(o.tenthLimit != 0 ? p.width / 10 : p.width),
        maxHeight(o.tenthLimit != 0 ? p.height / 10 : p.height) {}
  ~Collector();
  Collector(const Collector &) = delete;
  Collector &operator=(const Collector &) = delete;

  QtzState *state;
  TokTokenizer *tokenizer;
  const TclyPageInput *page;
  const TclyBoxesOptions *options;
  const TclyCompressedSide *compressed;
  int32_t maxWidth;
  int32_t maxHeight;
  int32_t rowOffset = 0;  // 0 in the top stripe, the split row in the bottom one
  QtzAdtList *tokens = nullptr;
  QtzAdtList *generics = nullptr;
  QtzCCBox *boxes = nullptr;
  int32_t boxCount = 0;
  int32_t boxCapacity = 0;
  int32_t tokenCount = 0;
  int32_t dictionaryEstimate = 0;
  int32_t compressedEstimate = 0;
  int64_t pageTokenMemory = 0;
};

// The box buffer (room for 5000 boxes) and the two lists; 1 out of memory (reported).
int32_t startCollector(Collector &c);
// Hands the lists, counts and estimates to out (the box buffer shrunk to the boxes used, or
// freed when there is none); the collector keeps nothing.
void finishCollector(Collector &c, TclyPageBoxes *out);

int32_t collectComponent(PxlContext *ctx, void *user, int32_t x, int32_t y, int32_t width,
                         int32_t height, int32_t area, int32_t runCount, PxlRunNode *chain);

}  // namespace tcly

#endif
