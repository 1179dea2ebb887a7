// Image adapters: views of a DibImgBuf, or of a rectangle of it, that carry out the page
// renderer's image operations. An adapter never owns the buffer's memory.
//
//   ImageAdapter  the base: size, depth, data and stride of the buffer, a masked copy through
//                 a 1-bit mask in image-core word order (24-bit pixels, a 16-entry table of
//                 copiers by mask nibble), a blend by an 8-bit weight image, and the in-place
//                 CIE L*a*b* to RGB conversion of 24-bit pixels.
//   ImpImgBuf     a header of the image primitives over the buffer (24-bit BGR, 8-bit grey or
//                 1-bit); zoom, resize, masked copy, alpha blend, conversion to 1 bit, PNM dump.
//   PixlabImgBuf  an image-core image over the buffer (1 or 8 bits, the core's 32-bit word
//                 order); bilinear resize, byte order swap, TIFF dump.
//
// Operations that take another adapter return false, changing nothing, when it is not of the
// kind they need. The image-core word order (pixel x of a row in the bits of word x / 32 from
// the most significant end) and the bitmap byte order (leftmost pixel in bit 7 of byte 0) are
// converted in one place, SwapBytes.
#ifndef CTL_IMAGE_ADAPTER_H
#define CTL_IMAGE_ADAPTER_H

#include <cstdint>
#include <string>

#include "geometry.h"
#include "image_buf.h"

struct ImpImageHeader;
struct PxlContext;
struct Pixr;

namespace ctl {

// Decode values of an ITULab layer: L*, a*, b* of codes 0 and 255.
struct LabRange {
  double lMin = 0, lMax = 100;
  double aMin = -85.33333, aMax = 84.66666;
  double bMin = -75.29412, bMax = 124.70588;
};

class ImpImgBuf;
class PixlabImgBuf;

class ImageAdapter {
 public:
  virtual ~ImageAdapter() = default;
  ImageAdapter(const ImageAdapter &) = delete;
  ImageAdapter &operator=(const ImageAdapter &) = delete;

  virtual int32_t GetWidth() const;
  virtual int32_t GetHeight() const;
  virtual int32_t GetBitsPerPixel() const;
  virtual uint8_t *GetData() const;
  virtual int32_t GetStride() const;
  // Enlarges this image by whole factors into target.
  virtual bool ZoomInto(Extent factors, ImageAdapter *target) { return false; }
  // Resamples this image to target's size.
  virtual bool ResizeInto(ImageAdapter *target) { return false; }
  // Image-core word order to bitmap byte order (the reverse is the same swap).
  virtual void SwapBytes() {}
  // Copies source's pixels where mask's bit is set.
  virtual bool CopyMasked(ImageAdapter *mask, ImageAdapter *source);
  // Blends source over this image, weighting this image by alpha's bytes.
  virtual bool BlendMasked(ImageAdapter *alpha, ImageAdapter *source);
  virtual bool Dump(const char *path, const char *kind) = 0;
  // This image as 1-bit ink (1 black) in target.
  virtual void ConvertToBinary(DibImgBuf *target) {}
  virtual Extent GetSize() const { return Extent{GetWidth(), GetHeight()}; }
  virtual int64_t GetDataSize() const { return int64_t{GetStride()} * GetHeight(); }

  // Replaces each 24-bit pixel's L*, a*, b* codes by blue, green, red.
  void ConvertLabToRgb(const LabRange &range);

  virtual ImpImgBuf *asImp() { return nullptr; }
  virtual PixlabImgBuf *asPixlab() { return nullptr; }
  DibImgBuf *buffer() const { return buffer_; }

 protected:
  explicit ImageAdapter(DibImgBuf *buffer) : buffer_(buffer) {}

  DibImgBuf *buffer_;
};

class ImpImgBuf final : public ImageAdapter {
 public:
  // Sizes buffer (row alignment 8) for width x height at bpp (24, 8, else 1); 0 counts as 1.
  ImpImgBuf(int32_t width, int32_t height, int32_t bpp, DibImgBuf *buffer);
  // A view of rectangle of parent.
  ImpImgBuf(Rect rectangle, ImpImgBuf *parent);
  ~ImpImgBuf() override;

  bool valid() const { return header_ != nullptr; }
  int32_t GetWidth() const override;
  int32_t GetHeight() const override;
  // 24 for 3 channels of 8 bits, 8 or 1 for one channel, 0 otherwise.
  int32_t GetBitsPerPixel() const override;
  uint8_t *GetData() const override;
  int32_t GetStride() const override;
  bool ZoomInto(Extent factors, ImageAdapter *target) override;
  bool ResizeInto(ImageAdapter *target) override;
  bool CopyMasked(ImageAdapter *mask, ImageAdapter *source) override;
  bool BlendMasked(ImageAdapter *alpha, ImageAdapter *source) override;
  // A binary PNM (P6) of the stored bytes: "path" when kind is a prefix of "pnm", else
  // "path.pnm".
  bool Dump(const char *path, const char *kind) override;
  void ConvertToBinary(DibImgBuf *target) override;
  int64_t GetDataSize() const override;

  ImpImgBuf *asImp() override { return this; }
  ImpImageHeader *header() const { return header_; }

 private:
  ImpImageHeader *header_ = nullptr;
};

class PixlabImgBuf final : public ImageAdapter {
 public:
  // Sizes buffer (row alignment 4) for a core image of width x height at depth (1 or 8) and
  // lays the image over its memory; 0 counts as 1.
  PixlabImgBuf(int32_t width, int32_t height, int32_t depth, DibImgBuf *buffer);
  // A view of rectangle of parent.
  PixlabImgBuf(Rect rectangle, PixlabImgBuf *parent);
  ~PixlabImgBuf() override;

  bool valid() const { return image_ != nullptr; }
  int32_t GetWidth() const override;
  int32_t GetHeight() const override;
  int32_t GetBitsPerPixel() const override;
  uint8_t *GetData() const override;
  int32_t GetStride() const override;
  // Bilinear rescale into an 8-bit PixlabImgBuf target (a 1-bit source read as white 255 and
  // black 0).
  bool ResizeInto(ImageAdapter *target) override;
  void SwapBytes() override;
  // A TIFF file (Group 4 for 1 bit, LZW otherwise): "path" when kind is a prefix of "tif" or
  // "tiff", else "path.tif".
  bool Dump(const char *path, const char *kind) override;
  int64_t GetDataSize() const override;

  PixlabImgBuf *asPixlab() override { return this; }
  Pixr *image() const { return image_; }
  PxlContext *context() const { return context_; }

 private:
  PxlContext *context_ = nullptr;
  Pixr *image_ = nullptr;
};

// A page drawing (a bitmap of 1, 8 or 24 bits, top-down) for a monochrome device: its top-left
// size pixels as 1-bit ink (1 black) in target. A 1-bit drawing is copied unchanged; grey and
// colour drawings are copied into an 8- or 24-bit ImpImgBuf of exactly that size and converted
// by ImpImgBuf::ConvertToBinary (greys of 254 and 255 white, darker greys dithered). False,
// target unchanged, for any other depth or a drawing smaller than size.
bool drawingToBinary(const DibImgBuf &drawing, Extent size, DibImgBuf *target);

}  // namespace ctl

#endif
