// Image headers, aligned allocation and release (source unit "impalloc").
//
// The aligned allocator takes size + 32 + a pointer's size from the C heap and returns the
// first multiple of 32 after room for one pointer; the heap block's address is kept in the
// pointer-sized slot just before the returned address.
//
// Release frees only what the primitives allocated for the header: its pixel block is the one
// impAllocateImage (or an untiled copy) recorded as ownedData, never a block a caller hung on
// the header itself (a header over the caller's pixels, or a mask over them released with its
// image), so releasing with the data or mask flags cannot free the caller's memory.
//
// Layout rule: bits = width x bit count; pixel order rows hold bits x nChannels, planar rows
// bits; a row is rounded up to the alignment; dataSize = height x widthStep (x nChannels in
// planar order). All layout arithmetic is 64-bit, and an untiled layout whose step or size
// does not fit a signed 32-bit field is refused with -10.
#include <cstdlib>
#include <cstring>

#include "imp_internal.h"

namespace {

using imp::bitsOf;

constexpr imp::Source kCreate{"impCreateImageHeader", "impalloc"};
constexpr imp::Source kAllocate{"impAllocateImage", "impalloc"};

// widthStep and dataSize by the layout rule, in 64 bits.
struct Layout {
  int64_t widthStep, dataSize;
};

Layout layoutOf(int32_t dataOrder, uint32_t depth, int32_t alignment, int32_t nChannels,
                int32_t width, int32_t height) {
  const int64_t unit = 8 * int64_t{alignment};
  const int64_t perRow = dataOrder == IMP_DATA_ORDER_PLANE ? 1 : nChannels;
  const int64_t bits = int64_t{width} * bitsOf(depth) * perRow;
  const int64_t step = (bits + unit - 1) / unit * unit / 8;
  const int64_t planes = dataOrder == IMP_DATA_ORDER_PLANE ? nChannels : 1;
  return {step, step * height * planes};
}

bool fitsInt32(const Layout &l) {
  return l.widthStep <= INT32_MAX && l.dataSize <= INT32_MAX;
}

// Copies up to four characters of a text and zero-fills the rest.
void copyTag(char (&field)[4], const char *text) {
  std::memset(field, 0, sizeof field);
  for (size_t i = 0; i < sizeof field && text[i] != '\0'; ++i) field[i] = text[i];
}

// The checks shared by creation and allocation, in the order creation makes them (the texts
// are checked only at creation). Returns 0 or the status.
int32_t checkFields(int32_t nChannels, int32_t alphaChannel, uint32_t depth, int32_t dataOrder,
                    int32_t origin, int32_t alignment, int32_t width, int32_t height,
                    const ImpImageHeader *maskROI, const char *colorModel, const char *channelSeq,
                    bool checkTexts) {
  if (width <= 0 || height <= 0) return IMP_STS_BAD_SIZE;
  if (nChannels <= 0) return IMP_STS_BAD_CHANNELS;
  if (nChannels != 1 && depth == IMP_DEPTH_1U) return IMP_STS_BAD_1U_CHANNELS;
  if (checkTexts && (colorModel == nullptr || channelSeq == nullptr)) return IMP_STS_BAD_MODEL;
  if (!imp::isKnownDepth(depth)) return IMP_STS_BAD_DEPTH;
  if (alphaChannel != 0 && alphaChannel != nChannels) return IMP_STS_BAD_ALPHA;
  if (dataOrder != 0 && dataOrder != 1) return IMP_STS_BAD_ORDER;
  if (origin != 0 && origin != 1) return IMP_STS_BAD_ORIGIN;
  if (alignment != 4 && alignment != 8 && alignment != 16 && alignment != 32)
    return IMP_STS_BAD_ALIGNMENT;
  if (maskROI != nullptr) {
    if (maskROI->depth != IMP_DEPTH_1U) return IMP_STS_BAD_DEPTH + IMP_STS_MASK;
    if (maskROI->tileInfo != nullptr) return IMP_STS_TILED_MASK;
    const int32_t st = ownValidateImageHeader(maskROI);
    if (st != 0) return st + IMP_STS_MASK;
  }
  return 0;
}

}  // namespace

void *ownMallocAligned(int64_t size) {
  constexpr int64_t kSlot = sizeof(void *);
  if (size <= 0 || size > INT64_MAX - 32 - kSlot) return nullptr;
  void *block = std::malloc(static_cast<size_t>(size + 32 + kSlot));
  if (block == nullptr) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(block) + kSlot;
  const uintptr_t aligned = (start + 31) & ~uintptr_t{31};
  reinterpret_cast<void **>(aligned)[-1] = block;
  return reinterpret_cast<void *>(aligned);
}

void ownFreeAligned(void *block) {
  if (block != nullptr) std::free(static_cast<void **>(block)[-1]);
}

ImpImageHeader *impCreateImageHeader(int32_t nChannels, int32_t alphaChannel, uint32_t depth,
                                     const char *colorModel, const char *channelSeq,
                                     int32_t dataOrder, int32_t origin, int32_t alignment,
                                     int32_t width, int32_t height, ImpRoiRecord *roi,
                                     ImpImageHeader *maskROI, void *ownerId,
                                     ImpTileInfoRecord *tileInfo) {
  ownSetErrorStatus(0);
  int32_t st = checkFields(nChannels, alphaChannel, depth, dataOrder, origin, alignment, width,
                           height, maskROI, colorModel, channelSeq, true);
  const Layout layout =
      st == 0 ? layoutOf(dataOrder, depth, alignment, nChannels, width, height) : Layout{};
  if (st == 0 && tileInfo == nullptr && !fitsInt32(layout)) st = IMP_STS_BAD_SIZE;
  if (st != 0) {
    kCreate.report(st, "Incorrect data-ins", __LINE__);
    return nullptr;
  }
  auto *h = static_cast<ImpImageHeader *>(ownMallocAligned(sizeof(ImpImageHeader)));
  if (h == nullptr) return nullptr;
  std::memset(h, 0, sizeof *h);
  h->headerSize = sizeof(ImpImageHeader);
  h->nChannels = nChannels;
  h->alphaChannel = alphaChannel;
  h->depth = depth;
  copyTag(h->colorModel, colorModel);
  copyTag(h->channelSeq, channelSeq);
  h->dataOrder = dataOrder;
  h->origin = origin;
  h->alignment = alignment;
  h->width = width;
  h->height = height;
  h->roi = roi;
  h->maskROI = maskROI;
  h->ownerId = ownerId;
  h->tileInfo = tileInfo;
  if (fitsInt32(layout)) {
    h->widthStep = static_cast<int32_t>(layout.widthStep);
    h->dataSize = static_cast<int32_t>(layout.dataSize);
  }
  ownSetBorder(h, IMP_BORDER_CONSTANT, IMP_SIDE_ALL, 0);
  return h;
}

void impAllocateImage(ImpImageHeader *image, int32_t fillFlag, int32_t fillValue) {
  ownSetErrorStatus(0);
  if (image == nullptr) {
    kAllocate.report(IMP_STS_BAD_ARG, "( image == ((void *)0) )", __LINE__);
    return;
  }
  if (image->imageData != nullptr) {
    kAllocate.report(IMP_STS_BAD_ARG, "( image->imageData != ((void *)0) )", __LINE__);
    return;
  }
  if (image->tileInfo != nullptr) {
    kAllocate.report(IMP_STS_BAD_ARG, "( image->tileInfo != ((void *)0) )", __LINE__);
    return;
  }
  if (image->depth == IMP_DEPTH_32F) {
    kAllocate.report(IMP_STS_BAD_ARG, "( image->depth == 32 )", __LINE__);
    return;
  }
  int32_t st = checkFields(image->nChannels, image->alphaChannel, image->depth, image->dataOrder,
                           image->origin, image->alignment, image->width, image->height,
                           image->maskROI, nullptr, nullptr, false);
  const Layout layout = st == 0 ? layoutOf(image->dataOrder, image->depth, image->alignment,
                                           image->nChannels, image->width, image->height)
                                : Layout{};
  if (st == 0 && !fitsInt32(layout)) st = IMP_STS_BAD_SIZE;
  if (st != 0) {
    kAllocate.report(st, "Incorrect data-ins", __LINE__);
    return;
  }
  auto *origin = static_cast<uint8_t *>(
      std::malloc(static_cast<size_t>(layout.dataSize + image->alignment - 1)));
  if (origin == nullptr) {
    kAllocate.report(IMP_STS_NO_MEMORY, "for allocate image data", __LINE__);
    return;
  }
  const uintptr_t a = static_cast<uintptr_t>(image->alignment);
  image->dataOrigin = image->ownedData = origin;
  image->imageData =
      reinterpret_cast<uint8_t *>((reinterpret_cast<uintptr_t>(origin) + a - 1) & ~(a - 1));
  image->widthStep = static_cast<int32_t>(layout.widthStep);
  image->dataSize = static_cast<int32_t>(layout.dataSize);
  if (fillFlag != 0) {
    const uint32_t word = imp::fillPattern(image->depth, fillValue);
    for (int64_t i = 0; i < layout.dataSize; i += 4) std::memcpy(image->imageData + i, &word, 4);
  }
}

void ownReleaseImage(ImpImageHeader *image, int32_t flags) {
  if (image == nullptr) return;
  if ((flags & IMP_RELEASE_ROI) && image->roi != nullptr) {
    ownFreeAligned(image->roi);
    image->roi = nullptr;
  }
  if ((flags & IMP_RELEASE_MASK) && image->maskROI != nullptr) {
    ownReleaseImage(image->maskROI, IMP_RELEASE_ALL & ~IMP_RELEASE_MASK);
    image->maskROI = nullptr;
  }
  if ((flags & IMP_RELEASE_TILE) && image->tileInfo != nullptr) {
    ownFreeAligned(image->tileInfo);
    image->tileInfo = nullptr;
  }
  if ((flags & IMP_RELEASE_DATA) && (image->dataOrigin != nullptr || image->ownedData != nullptr))
    ownReleaseImageData(image);
  if (flags & IMP_RELEASE_HEADER) ownFreeAligned(image);
}

void ownReleaseImageHeader(ImpImageHeader *image) {
  ownReleaseImage(image, IMP_RELEASE_HEADER);
}

void ownReleaseImageData(ImpImageHeader *image) {
  if (image == nullptr) return;
  std::free(image->ownedData);
  image->ownedData = nullptr;
  image->dataOrigin = nullptr;
  image->imageData = nullptr;
}

ImpRoiRecord *ownNewRoi(int32_t coi, int32_t xOffset, int32_t yOffset, int32_t width,
                        int32_t height) {
  auto *roi = static_cast<ImpRoiRecord *>(ownMallocAligned(sizeof(ImpRoiRecord)));
  return ownSetRoiRect(roi, coi, xOffset, yOffset, width, height);
}

ImpRoiRecord *ownSetRoiRect(ImpRoiRecord *roi, int32_t coi, int32_t xOffset, int32_t yOffset,
                            int32_t width, int32_t height) {
  if (roi != nullptr) *roi = ImpRoiRecord{coi, xOffset, yOffset, width, height};
  return roi;
}
