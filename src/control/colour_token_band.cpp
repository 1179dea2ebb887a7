// TfxColorTokenBand: a foreground of coloured tokens, painted from its mask band's symbol
// instances and its own colour payload.
//
// The mask band is decoded keeping all segments and composing no page; its text regions give
// the tokens in order, and the payload one colour per token. A payload whose colour count
// differs from the token count fails the band (its colours would land on the wrong tokens).
// The part asked for, scaled up by the reduction to band pixels, is painted in horizontal
// chunks to bound the work buffer: one chunk up to 3000 band rows, two up to 5000, else four;
// the part's output rows are split in the same proportions. Each chunk is filled black, every
// token meeting it is painted in its colour, and the chunk is resized into its rows of the
// target; at reduction (1, 1) the chunk is the target's own rows.
#include <algorithm>

#include "qtz_blat.h"
#include "tfx_band.h"
#include "token_colours.h"

namespace ctl {
namespace {

int32_t chunkCount(int64_t rows) {
  if (rows <= 3000) return 1;
  return rows <= 5000 ? 2 : 4;
}

// Paints every token that meets the chunk (band pixels) into pixels whose top-left is the
// chunk's top-left.
void paintTokens(const std::vector<Jbig2Token> &tokens, const std::vector<uint32_t> &colours,
                 Rect chunk, uint8_t *pixels, int32_t stride) {
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Jbig2Token &t = tokens[i];
    if (t.bits == nullptr || t.width <= 0 || t.height <= 0) continue;
    const int64_t left = std::max<int64_t>(t.x, chunk.left);
    const int64_t top = std::max<int64_t>(t.y, chunk.top);
    const int64_t right = std::min<int64_t>(int64_t{t.x} + t.width, chunk.right);
    const int64_t bottom = std::min<int64_t>(int64_t{t.y} + t.height, chunk.bottom);
    if (left >= right || top >= bottom) continue;
    QtzBlat_colorBlitBinaryRGB(t.bits, t.wordsPerRow * 4, t.x, t.y, pixels, stride, chunk.left,
                               chunk.top, static_cast<int32_t>(left), static_cast<int32_t>(top),
                               static_cast<int32_t>(right - left),
                               static_cast<int32_t>(bottom - top), colours[i]);
  }
}

void fillBlack(ImpImgBuf *image) {
  uint8_t *row = image->GetData();
  const size_t bytes = static_cast<size_t>(image->GetWidth()) * 3;
  for (int32_t y = 0; y < image->GetHeight(); ++y, row += image->GetStride())
    std::fill(row, row + bytes, uint8_t{0});
}

}  // namespace

bool TfxColorTokenBand::Render(ImageAdapter *target, Rect rectangle, Extent reduction) {
  if (data_.empty() || mask_ == nullptr || target == nullptr) return true;
  ImpImgBuf *t = target->asImp();
  if (t == nullptr || !t->valid() || t->GetBitsPerPixel() != 24) return false;
  if (!partOk(rectangle, reduction)) return false;
  std::vector<uint32_t> colours;
  if (!tokenColours(mask_->state(), data_.data(), data_.size(), &colours) || colours.empty())
    return false;
  Jbig2TokenSet set;
  if (!mask_->DecodeTokens(&set) || set.tokens.size() != colours.size()) return false;

  const int32_t sx = reduction.width, sy = reduction.height;
  const bool direct = sx == 1 && sy == 1;
  const int32_t rows = rectangle.height();
  const int32_t chunks = chunkCount(int64_t{rows} * sy);
  for (int32_t k = 0; k < chunks; ++k) {
    // Output rows of the chunk (relative to the target), then the chunk in band pixels.
    const int32_t top = static_cast<int32_t>(int64_t{rows} * k / chunks);
    const int32_t bottom = static_cast<int32_t>(int64_t{rows} * (k + 1) / chunks);
    if (top >= bottom) continue;
    ImpImgBuf out(Rect{0, top, rectangle.width(), bottom}, t);
    if (!out.valid()) return false;
    const Rect chunk{rectangle.left * sx, (rectangle.top + top) * sy, rectangle.right * sx,
                     (rectangle.top + bottom) * sy};
    if (direct) {
      fillBlack(&out);
      paintTokens(set.tokens, colours, chunk, out.GetData(), out.GetStride());
      continue;
    }
    DibImgBuf buffer;
    ImpImgBuf work(chunk.width(), chunk.height(), 24, &buffer);
    if (!work.valid()) return false;
    fillBlack(&work);
    paintTokens(set.tokens, colours, chunk, work.GetData(), work.GetStride());
    if (!work.ResizeInto(&out)) return false;
  }
  return true;
}

}  // namespace ctl
