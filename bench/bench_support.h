// What the benchmarks share: stopping a run on a failed set-up or a wrong result, a default
// image-core context, and moving pages between Leptonica's images and ours. Both keep rows
// as native 32-bit words with the first pixel in the most significant bits, so rows copy
// across as whole words and compare word for word.
#ifndef BENCH_SUPPORT_H
#define BENCH_SUPPORT_H

#include <allheaders.h>
#include <errno.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "pxl_context.h"
#include "pxl_image.h"

namespace bench {

[[noreturn]] inline void fail(const char *what) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
  std::exit(1);
}

// A context with the C runtime's allocators and no callbacks.
inline PxlContext *defaultContext() {
  PxlContext *ctx = nullptr;
  if (pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &ctx) != 0)
    fail("no context");
  return ctx;
}

// First word of content row y of a framed image (frame 32).
inline l_uint32 *contentRow(Pixr *p, int y) {
  return reinterpret_cast<l_uint32 *>(p->framedData + int64_t{32 + y} * p->bytesPerRow +
                                      4 * p->depth);
}

// True when a single-channel core image and a Leptonica image have the same size, depth and
// content pixels (the bits after each row's last pixel are not compared).
inline bool sameContent(Pixr *ours, PIX *theirs) {
  if (theirs == nullptr || pixGetWidth(theirs) != ours->width ||
      pixGetHeight(theirs) != ours->height || pixGetDepth(theirs) != ours->depth)
    return false;
  const int bits = ours->width * ours->depth, words = bits / 32, tail = bits % 32;
  for (int y = 0; y < ours->height; ++y) {
    const l_uint32 *a = contentRow(ours, y);
    const l_uint32 *b = pixGetData(theirs) + static_cast<size_t>(y) * pixGetWpl(theirs);
    for (int w = 0; w < words; ++w)
      if (a[w] != b[w]) return false;
    if (tail && (a[words] ^ b[words]) >> (32 - tail)) return false;
  }
  return true;
}

// Renders a PostScript page with a Ghostscript device (extra options, resolution and the
// size "WxH" in pixels) through a temporary file and reads it with Leptonica.
inline PIX *renderPage(const std::string &psFile, const char *device, const std::string &extra,
                       int dpi, int width, int height) {
  char path[] = "/tmp/bench_page_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) fail("no temporary file");
  close(fd);
  const std::string command = std::string("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=") + device +
                              " " + extra + " -r" + std::to_string(dpi) + " -g" +
                              std::to_string(width) + "x" + std::to_string(height) +
                              " -sOutputFile=" + path + " " + psFile;
  if (std::system(command.c_str()) != 0) fail("Ghostscript could not render the page");
  PIX *pix = pixRead(path);
  std::remove(path);
  if (pix == nullptr || pixGetWidth(pix) != width || pixGetHeight(pix) != height)
    fail("the rendered page could not be read");
  return pix;
}

// A framed copy of a Leptonica image (depth 1 or 8) at the given resolution in dots per inch.
inline Pixr *framedCopy(PxlContext *ctx, PIX *pix, int32_t dpi) {
  const int w = pixGetWidth(pix), h = pixGetHeight(pix), depth = pixGetDepth(pix);
  Pixr *p = nullptr;
  if (pxlCreateImage(ctx, w, h, depth, dpi << 16, dpi << 16, 32, &p) != 0) fail("no image");
  const size_t rowBytes = 4 * ((size_t(w) * depth + 31) / 32);
  for (int y = 0; y < h; ++y)
    std::memcpy(contentRow(p, y), pixGetData(pix) + size_t(y) * pixGetWpl(pix), rowBytes);
  return p;
}

// Stops the run unless both images have the same size and pixels (bits after a row's last
// pixel are ignored).
inline void requireSame(Pixr *ours, PIX *theirs, const char *what) {
  const int w = pixGetWidth(theirs), h = pixGetHeight(theirs), wpl = pixGetWpl(theirs);
  if (ours == nullptr || ours->width != w || ours->height != h ||
      ours->depth != pixGetDepth(theirs))
    fail(what);
  const int usedBits = int((int64_t(w) * ours->depth) % 32);
  const l_uint32 keep = usedBits ? ~(0xFFFFFFFFu >> usedBits) : 0xFFFFFFFFu;
  for (int y = 0; y < h; ++y) {
    const l_uint32 *a = contentRow(ours, y), *b = pixGetData(theirs) + size_t(y) * wpl;
    for (int i = 0; i < wpl; ++i)
      if ((a[i] ^ b[i]) & (i == wpl - 1 ? keep : 0xFFFFFFFFu)) fail(what);
  }
}

}  // namespace bench

#endif
