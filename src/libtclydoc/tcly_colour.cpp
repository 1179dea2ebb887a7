// Colour pages: the text components of the colour-scan segmentation become the page's token
// list. Each token takes its component's size, a copy of its packed rows (words a row, most
// significant bit leftmost, bits past the width cleared), its position, its colour and the
// page number; the component's bitmap is freed and its pointer cleared, on failure too.
#include <cstring>

#include "qtz_internal.h"
#include "tcly_boxes_internal.h"

namespace tcly {
namespace {

// The rows of a packed library image (whole 32-bit words, its first column at bit 0 of each
// row whatever its x offset), the bits past the width cleared.
void copyPackedRows(const QtzImage *image, uint32_t *to, int32_t wordsPerRow) {
  const QtzImageHeader &h = image->hdr;
  const uint32_t tail = h.width % 32 == 0 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> (h.width % 32));
  for (int32_t r = 0; r < h.height; ++r) {
    uint32_t *row = to + int64_t{r} * wordsPerRow;
    std::memcpy(row, image->rows[h.yoff + r], 4 * static_cast<size_t>(wordsPerRow));
    row[wordsPerRow - 1] &= tail;
  }
}

}  // namespace
}  // namespace tcly

int32_t colourComponentsToTokens(QtzState *state, QtzSCTextComponent *components, int32_t count,
                                 int32_t pageNumber, QtzAdtList **tokens) {
  int32_t status = QTZ_OK;
  QtzAdtList *list = nullptr;
  if (state == nullptr || tokens == nullptr || (components == nullptr && count > 0))
    status = QTZ_ERR_ASSERT;
  else if (QtzAdt_liNew(&list, state) != QTZ_OK)
    status = qtz::report(state, QTZ_ERR_NO_MEMORY);
  for (int32_t i = 0; i < count && components != nullptr; ++i) {
    QtzSCTextComponent &component = components[i];
    const QtzImage *bitmap = component.bitmap;
    if (status == QTZ_OK &&
        (bitmap == nullptr || bitmap->hdr.type != 100 || bitmap->hdr.width < 1 ||
         bitmap->hdr.height < 1 || bitmap->hdr.width > 65535 || bitmap->hdr.height > 65535))
      status = QTZ_ERR_ASSERT;
    TclyToken *token = nullptr;
    if (status == QTZ_OK) status = tclyTakeToken(state, &token);
    if (status == QTZ_OK) {
      const int32_t words = (bitmap->hdr.width + 31) / 32;
      token->width = static_cast<uint16_t>(bitmap->hdr.width);
      token->height = static_cast<uint16_t>(bitmap->hdr.height);
      token->wordsPerRow = static_cast<uint16_t>(words);
      token->x = component.x;
      token->y = component.y;
      token->page = pageNumber;
      const uint8_t colour[4] = {component.R, component.G, component.B, 0};
      std::memcpy(token->colour, colour, sizeof(colour));
      token->bits = static_cast<uint32_t *>(
          qtz::allocate(state, 4 * static_cast<size_t>(words) * bitmap->hdr.height));
      token->ownsBits = 1;
      if (token->bits == nullptr) {
        status = qtz::report(state, QTZ_ERR_NO_MEMORY);
      } else {
        tcly::copyPackedRows(bitmap, token->bits, words);
        if (QtzAdt_liAdd(list, token, nullptr) != QTZ_OK)
          status = qtz::report(state, QTZ_ERR_NO_MEMORY);
        else
          token = nullptr;
      }
      tclyReleaseToken(state, token);
    }
    QtzImage_free(component.bitmap);
    component.bitmap = nullptr;
  }
  if (status != QTZ_OK) {
    tclyFreeTokenList(state, list);
    return status;
  }
  *tokens = list;
  return QTZ_OK;
}
