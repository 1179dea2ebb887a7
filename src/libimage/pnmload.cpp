// Reading PNM-style files: "P1" to "P6" and the wide-pixel "Q1" to "Q5".
//
// The magic is the first whitespace-ended token and must be one of the eleven; no more of it
// is kept than the comparison needs. The header gives width and height (and a maxval for
// "P2", "P3", "P5" and "P6"); each is checked before anything is allocated: sides from 1 to
// QTZ_IMAGE_FILE_MAX_SIDE, a pixel block of at most QTZ_IMAGE_FILE_MAX_BYTES, maxval from 1 to
// 255, and a stream that can be measured must still hold the least number of bytes the data
// can take. Samples above maxval are refused; the others become sample x 255 / maxval. Plain
// data is read token by token ("P1" with its comments gathered like the header's), packed
// "P4" rows into words, byte and wide data in one read ("Q" elements are big-endian). Every
// failure of the file is reported as 10000 and leaves nothing allocated. The image read has
// the record type of its magic ("P1" and "P4" go straight to type 100 when that is wanted) and
// is converted to the wanted type when the pair is a promotion; otherwise 10004.
#include <cstring>

#include "qtz_image_internal.h"

namespace {

enum class Data { kPlainBits, kPlainSamples, kPackedBits, kBytes, kWide };

struct Format {
  char magic[3];
  int32_t type;
  Data data;
};

constexpr Format kFormats[] = {
    {"P1", QTZ_IMAGE_BILEVEL, Data::kPlainBits}, {"P2", QTZ_IMAGE_GREY8, Data::kPlainSamples},
    {"P3", QTZ_IMAGE_RGB, Data::kPlainSamples},  {"P4", QTZ_IMAGE_BILEVEL, Data::kPackedBits},
    {"P5", QTZ_IMAGE_GREY8, Data::kBytes},       {"P6", QTZ_IMAGE_RGB, Data::kBytes},
    {"Q1", QTZ_IMAGE_FLOAT, Data::kWide},        {"Q2", QTZ_IMAGE_DOUBLE, Data::kWide},
    {"Q3", QTZ_IMAGE_INT32, Data::kWide},        {"Q4", QTZ_IMAGE_INT16, Data::kWide},
    {"Q5", QTZ_IMAGE_RGB_FLOAT, Data::kWide},
};

bool isWhite(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The format of the magic token, or null (also at end of file).
const Format *readMagic(FILE *stream) {
  char magic[3] = {};
  for (int n = 0;; ++n) {
    const int c = std::getc(stream);
    if (c == EOF) return nullptr;
    if (isWhite(c)) break;
    if (n == 2) return nullptr;
    magic[n] = static_cast<char>(c);
  }
  for (const Format &f : kFormats)
    if (std::strcmp(f.magic, magic) == 0) return &f;
  return nullptr;
}

bool bilevelData(const Format &f) {
  return f.data == Data::kPlainBits || f.data == Data::kPackedBits;
}

class PnmReader {
 public:
  PnmReader(QtzState *state, FILE *stream, const Format &format)
      : state_(state), stream_(stream), format_(format) {}

  // Header and data into a new image of the record type (or of type 100 when packed).
  QtzImage *read(bool packed) {
    int64_t maxval = 255;
    if (!token(&width_) || !token(&height_)) return nullptr;
    if (format_.data == Data::kPlainSamples || format_.data == Data::kBytes) {
      if (!token(&maxval) || maxval < 1 || maxval > 255) return nullptr;
    }
    const int32_t type = packed ? QTZ_IMAGE_PACKED : format_.type;
    if (!sizeAcceptable(type)) return nullptr;
    QtzImage *image = readData(type);
    if (image == nullptr) return nullptr;
    if (maxval != 255 && !rescale(image, maxval)) image = discard(image);
    if (image != nullptr && length_ > 0) {
      image->comment = qtz::copyText(state_, comment_, static_cast<size_t>(length_));
      if (image->comment == nullptr) image = discard(image);
    }
    return image;
  }

 private:
  bool token(int64_t *value) {
    uint8_t error = 0;
    *value = QtzImage_pbmGetToken(stream_, &error, comment_, &length_, state_);
    return error == 0;
  }

  // Sides, block size and the bytes the data needs at least.
  bool sizeAcceptable(int32_t type) const {
    if (width_ < 1 || width_ > QTZ_IMAGE_FILE_MAX_SIDE) return false;
    if (height_ < 1 || height_ > QTZ_IMAGE_FILE_MAX_SIDE) return false;
    const int64_t block = qtz::rowBytes(type, width_, false) * height_;
    if (block > QTZ_IMAGE_FILE_MAX_BYTES) return false;
    const int64_t pixels = width_ * height_;
    int64_t least = pixels * qtz::elementBytes(format_.type);
    if (format_.data == Data::kPackedBits) least = (width_ + 7) / 8 * height_;
    return qtz::streamHolds(stream_, static_cast<uint64_t>(least));
  }

  QtzImage *readData(int32_t type) {
    const auto w = static_cast<int32_t>(width_), h = static_cast<int32_t>(height_);
    switch (format_.data) {
      case Data::kPlainBits:
        return readPlainBits(type, w, h);
      case Data::kPlainSamples:
        return readPlainSamples(w, h);
      case Data::kPackedBits:
        return readPacked(type, w, h);
      case Data::kBytes:
        return take(qtz::readElements(state_, stream_, type, w, h, false, &made_));
      case Data::kWide:
        return take(qtz::readElements(state_, stream_, type, w, h, true, &made_));
    }
    return nullptr;
  }

  QtzImage *take(qtz::ReadResult result) {
    return result == qtz::ReadResult::kOk ? made_ : nullptr;
  }

  QtzImage *readPlainBits(int32_t type, int32_t w, int32_t h) {
    QtzImage *image = nullptr;
    if (qtz::makeImage(state_, type, w, h, 0, 0, false, &image) != QTZ_OK) return nullptr;
    for (int64_t i = 0; i < h; ++i) {
      for (int64_t x = 0; x < w; ++x) {
        uint8_t error = 0;
        const int32_t bit = QtzImage_pbmGetPBMToken(stream_, &error, comment_, &length_, state_);
        if (error != 0) return discard(image);
        if (type == QTZ_IMAGE_PACKED) {
          qtz::packedRow(image, i)[x / 32] |= static_cast<uint32_t>(bit) << (31 - x % 32);
        } else {
          qtz::rowStart(image, i)[x] = static_cast<uint8_t>(bit);
        }
      }
    }
    return image;
  }

  QtzImage *readPlainSamples(int32_t w, int32_t h) {
    QtzImage *image = nullptr;
    if (qtz::makeImage(state_, qtz::unzeroed(format_.type), w, h, 0, 0, false, &image) != QTZ_OK)
      return nullptr;
    const int64_t samples = int64_t{w} * qtz::elementBytes(format_.type);
    for (int64_t i = 0; i < h; ++i) {
      uint8_t *row = qtz::rowStart(image, i);
      for (int64_t s = 0; s < samples; ++s) {
        uint8_t error = 0;
        const int32_t v = QtzImage_pbmGetToken(stream_, &error, nullptr, nullptr, state_);
        if (error != 0 || v > 255) return discard(image);
        row[s] = static_cast<uint8_t>(v);
      }
    }
    return image;
  }

  QtzImage *readPacked(int32_t type, int32_t w, int32_t h) {
    QtzImage *packed = nullptr;
    if (qtz::readPackedRows(state_, stream_, w, h, &packed) != qtz::ReadResult::kOk) return nullptr;
    if (type == QTZ_IMAGE_PACKED) return packed;
    QtzImage *bytes = nullptr;
    const int32_t status = qtz::unpackBilevel(packed, &bytes);
    QtzImage_free(packed);
    return status == QTZ_OK ? bytes : nullptr;
  }

  // sample x 255 / maxval for every sample; false for a sample above maxval.
  static bool rescale(QtzImage *image, int64_t maxval) {
    const QtzImageHeader &hdr = image->hdr;
    const int64_t samples = int64_t{hdr.width} * qtz::elementBytes(hdr.type);
    for (int64_t i = 0; i < hdr.height; ++i) {
      uint8_t *row = qtz::rowStart(image, i);
      for (int64_t s = 0; s < samples; ++s) {
        if (row[s] > maxval) return false;
        row[s] = static_cast<uint8_t>(row[s] * 255 / maxval);
      }
    }
    return true;
  }

  static QtzImage *discard(QtzImage *image) {
    QtzImage_free(image);
    return nullptr;
  }

  QtzState *state_;
  FILE *stream_;
  const Format &format_;
  int64_t width_ = 0;
  int64_t height_ = 0;
  QtzImage *made_ = nullptr;
  char comment_[QTZ_IMAGE_COMMENT_CAPACITY] = {};
  int32_t length_ = 0;
};

}  // namespace

extern "C" {

int32_t QtzImage_pLoadF(QtzState *state, int32_t want, FILE *stream, QtzImage **out) {
  if (state == nullptr || stream == nullptr || out == nullptr) return QTZ_ERR_ASSERT;
  const Format *format = readMagic(stream);
  if (format == nullptr) return qtz::report(state, QTZ_IMAGE_ERR_FILE);
  const bool packed = want == QTZ_IMAGE_PACKED;
  if (packed && !bilevelData(*format)) return qtz::report(state, QTZ_IMAGE_ERR_FILE);
  QtzImage *image = PnmReader(state, stream, *format).read(packed);
  if (image == nullptr) return qtz::report(state, QTZ_IMAGE_ERR_FILE);
  if (image->hdr.type == want) {
    *out = image;
    return QTZ_OK;
  }
  int32_t status = QTZ_IMAGE_ERR_TYPE;
  if (qtz::isPromotion(image->hdr.type, want)) status = QtzImage_convert(image, want, out);
  QtzImage_free(image);
  return status == QTZ_OK ? QTZ_OK : qtz::report(state, status);
}

int32_t QtzImage_load(QtzState *state, int32_t want, const char *path, QtzImage **out) {
  if (state == nullptr || path == nullptr || out == nullptr) return QTZ_ERR_ASSERT;
  FILE *stream = std::fopen(path, "rb");
  if (stream == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  QtzImage *image = nullptr;
  const int32_t status = QtzImage_pLoadF(state, want, stream, &image);
  if (std::fclose(stream) != 0) {
    QtzImage_free(image);
    return qtz::report(state, QTZ_IMAGE_ERR_FILE);
  }
  if (status == QTZ_OK) *out = image;
  return status;
}

}  // extern "C"
