// SavePageAsBmp: one page, rendered directly (no cache, no orientation) at a zoom of at most
// 1.0, written as a BMP file: BITMAPFILEHEADER, the bitmap's 40-byte information header, the
// palette (2 entries for 1 bit, 256 greys for 8 bits, none above) and the rows bottom-up, each
// padded to 4 bytes. All numbers are little-endian.
//
// The bitmap written is exactly R = trunc(W x z) by trunc(H x z): a render buffer may carry
// padding columns and rows (image-core rows are whole words, 24-bit rows 8 bytes), which are
// cut off. A page whose zoomed size is empty leaves the file created and empty. A render that
// fails writes the header of an empty bitmap and no pixels, never the scribbles a failed render
// may leave in its buffer.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "norvview_ctrl.h"
#include "view_math.h"

namespace ctl {
namespace {

constexpr uint32_t kFileHeaderSize = 14;

struct FileCloser {
  void operator()(std::FILE *f) const { std::fclose(f); }
};

void put16(uint8_t *p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Bytes of palette that follow the information header for a depth.
uint32_t paletteBytes(int32_t bpp) {
  return bpp == 1 ? 8 : bpp == 8 ? 1024 : 0;
}

}  // namespace

int32_t NorvviewCtrl::SavePageAsBmp(const std::string &fileName, int32_t page, int32_t layer,
                                    double zoom) {
  if (page < 1 || page > NumPages()) return 0;
  const double z = std::min(ClampZoom(zoom), 1.0);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(fileName.c_str(), "w+b"));
  if (file == nullptr) return -1;
  Page *entry = GetCachedPage(page - 1);
  const LongPair size = entry->GetSize();
  const Rect r{0, 0, held32(truncated(static_cast<double>(size.x) * z)),
               held32(truncated(static_cast<double>(size.y) * z))};
  if (r.width() <= 0 || r.height() <= 0) return 0;

  if (site_ != nullptr) site_->beginWaitCursor();
  DibImgBuf bitmap;
  TfxPage *object = entry->GetTfxPage();
  const bool rendered = object != nullptr && object->Render(&bitmap, r, 1.0 / z, layer);
  // The file holds the page's pixels alone, not the rows and columns a render buffer is padded
  // with; a failed render writes an empty bitmap.
  bitmap.CropTo(rendered ? Extent{r.width(), r.height()} : Extent{0, 0});
  if (bitmap.headerHeight() < 0) bitmap.FlipRows();

  const int32_t bpp = bitmap.GetBitsPerPixel();
  const uint32_t q = paletteBytes(bpp);
  const uint32_t pixelOffset = kFileHeaderSize + DibImgBuf::kHeaderSize + q;
  uint8_t head[kFileHeaderSize] = {'B', 'M'};
  put32(head + 2, pixelOffset + bitmap.length());
  put16(head + 6, 0);
  put16(head + 8, 0);
  put32(head + 10, pixelOffset);
  const std::vector<uint8_t> &info = bitmap.GetInfo();
  // The information header, then the palette the header's colour table holds for the depth.
  const size_t infoBytes = std::min<size_t>(info.size(), DibImgBuf::kHeaderSize + q);
  std::fwrite(head, 1, sizeof head, file.get());
  std::fwrite(info.data(), 1, infoBytes, file.get());
  if (bitmap.length() != 0) std::fwrite(bitmap.GetData(), 1, bitmap.length(), file.get());
  if (site_ != nullptr) site_->endWaitCursor();
  return 0;
}

}  // namespace ctl
