// Pixel buffers of the view control: ImageBuf (a pixel block with its row alignment),
// DibImgBuf (a device-independent bitmap: pixel block, 40-byte BITMAPINFOHEADER and colour
// table, ready for the drawing device and the BMP writer) and SimpImgBuf (a DibImgBuf with
// the same operations).
//
// Rows are stored top-down after Create (biHeight negative) and padded to the row alignment
// (4 or 8 bytes); a buffer created with alignment 8 has its width widened until the 4-byte
// rule of the bitmap header gives the same row size. In 1-bit bitmaps colour entry 0 is white
// and entry 1 black, so a set bit is ink; 8-bit bitmaps carry a grey ramp. Header fields are
// little-endian. Sizes are computed in 64 bits: a buffer whose pixel block would exceed
// kMaxImageBytes is refused before anything is allocated and keeps its previous block. Allocation
// failures raise the C++ out-of-memory exception, as for any block of the control.
#ifndef CTL_IMAGE_BUF_H
#define CTL_IMAGE_BUF_H

#include <cstdint>
#include <memory>
#include <vector>

#include "geometry.h"

namespace ctl {

// The largest pixel block of one buffer (a page, band or work image): 256 MB, a 24-bit
// drawing of 89 million pixels. Larger requests come only from hostile or broken files.
inline constexpr uint64_t kMaxImageBytes = uint64_t{1} << 28;

// Bytes of one row of width pixels at bpp bits, padded to alignment.
uint64_t rowBytes(int64_t width, int32_t bpp, int32_t alignment);

class ImageBuf {
 public:
  ImageBuf() = default;
  virtual ~ImageBuf() = default;
  ImageBuf(const ImageBuf &) = delete;
  ImageBuf &operator=(const ImageBuf &) = delete;

  virtual int32_t GetWidth() const = 0;
  virtual int32_t GetHeight() const = 0;
  virtual int32_t GetBitsPerPixel() const = 0;
  const uint8_t *GetData() const { return data_.get(); }
  uint8_t *GetData() { return data_.get(); }
  // Sizes the buffer for size at bpp bits per pixel; false (nothing changed) when the pixel
  // block would exceed kMaxImageBytes.
  virtual bool Create(Extent size, int32_t bpp, int32_t rowAlignment) = 0;

  uint32_t length() const { return length_; }
  uint32_t capacity() const { return capacity_; }
  int32_t rowAlignment() const { return rowAlignment_; }
  // Bytes per row: length / height (0 when the height is 0).
  uint32_t GetStride() const;

 protected:
  // Resizes the block to n bytes: the same length keeps the pixels; 0 frees the block; any
  // other size gets a block of exactly n bytes with the old bytes copied and the rest 0.
  void resizeBlock(uint32_t n);

  std::unique_ptr<uint8_t[]> data_;
  uint32_t length_ = 0;
  uint32_t capacity_ = 0;
  int32_t rowAlignment_ = 4;
};

class DibImgBuf : public ImageBuf {
 public:
  static constexpr int32_t kHeaderSize = 40;
  static constexpr int32_t kPixelsPerMetre = 3937;  // 100 dots per inch

  DibImgBuf();

  int32_t GetWidth() const override;
  int32_t GetHeight() const override;
  int32_t GetBitsPerPixel() const override;
  bool Create(Extent size, int32_t bpp, int32_t rowAlignment) override;

  // Sets biBitCount and the colour table that goes with it (white and black for 1, 24 and 32
  // bits, a grey ramp for 8; other depths keep the table).
  void SetBitsPerPixel(int32_t bpp);
  // Empties the pixel block, keeping the depth.
  void Clear();
  // Takes the source's size, depth and pixels.
  bool CopyFrom(const DibImgBuf &source);
  Extent GetSize() const { return Extent{GetWidth(), GetHeight()}; }
  // The header followed by the colour table.
  const std::vector<uint8_t> &GetInfo() const { return info_; }
  // Signed biHeight: negative when rows are stored top-down.
  int32_t headerHeight() const;
  // Exchanges the rows end for end and flips the sign of biHeight: the picture is unchanged.
  void FlipRows();
  // Keeps the top-left size pixels (held within the buffer's own size): the header takes that
  // width and height, the rows are packed to 4 bytes and keep their order. A render buffer
  // whose rows were padded for the image core becomes exactly the picture asked for.
  void CropTo(Extent size);
  // Writes the rectangle of this 1-, 8- or 24-bit buffer turned clockwise by angle (90, 180 or
  // 270) into target; any other angle or depth does nothing. Pixels of the rectangle outside
  // this buffer stay 0 in the target.
  void Rotate(int32_t angle, DibImgBuf *target, Rect rectangle) const;

 private:
  int32_t field32(int32_t offset) const;
  void setField32(int32_t offset, int32_t value);

  std::vector<uint8_t> info_;
};

class SimpImgBuf final : public DibImgBuf {};

}  // namespace ctl

#endif
