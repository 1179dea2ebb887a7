// Conversion between pixel types: the table of (source, target) entries with their
// converters, QtzImage_convert and imPromote.
//
// One converter template serves all 56 pairs of the types 1, 2, 3, 4, 5, 6, 8 and 9; each
// makes a new, not zeroed image of the target type with the source's size and offsets and
// converts every pixel by the rule of its pair:
//   - promotions: offset + scale x value from the table (scale 1 and offset 0 keep the value;
//     bilevel to the byte, integer and colour types has scale -255 and offset 255);
//   - bilevel source: a non-zero byte counts as 1;
//   - bilevel target: grey 0 is black, float non-zero is black, colour all-zero is black;
//   - colour to grey: (299 R + 587 G + 114 B) / 1000, in integers for byte colour (so that
//     grey (v, v, v) gives v) and in doubles for float colour, truncated for integer targets;
//   - every other value: a plain cast; floating values are truncated toward zero (NaN to 0,
//     beyond the 64-bit range saturated) and integer targets keep the low bits; one channel
//     fills all three of a colour target.
// Type 100 is converted through type 5 by unpacking and packing; type 7 has no converters.
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "qtz_image_internal.h"

namespace {

struct ConversionEntry;
using Converter = int32_t (*)(const QtzImage *, const ConversionEntry &, QtzImage **);

struct ConversionEntry {
  uint8_t promote;
  double scale;
  double offset;
  Converter converter;  // null for an empty entry
};

// Pair kinds by source row and target column: 'P' promotion, 'D' other conversion, '-' none.
constexpr const char *kPairKinds[10] = {
    "----------",  // 0
    "--PPPDP-PP",  // 1 grey bytes
    "-D-DPDD-DP",  // 2 float
    "-DD-DDD-DP",  // 3 colour bytes
    "-DDD-DD-DD",  // 4 double
    "-PPPP-P-PP",  // 5 bilevel bytes
    "-DDDPD--DD",  // 6 i32
    "----------",  // 7 four bytes: no conversions
    "-DPDPDP--P",  // 8 i16
    "-DDDDDD-D-",  // 9 colour floats
};

constexpr char pairKind(int from, int to) {
  return kPairKinds[from][to];
}

// Element type and channel count of each pixel type.
template <typename Element, int Channels>
struct PixelOf {
  using E = Element;
  static constexpr int kChannels = Channels;
};
template <int T>
struct Pixel;
template <>
struct Pixel<1> : PixelOf<uint8_t, 1> {};
template <>
struct Pixel<2> : PixelOf<float, 1> {};
template <>
struct Pixel<3> : PixelOf<uint8_t, 3> {};
template <>
struct Pixel<4> : PixelOf<double, 1> {};
template <>
struct Pixel<5> : PixelOf<uint8_t, 1> {};
template <>
struct Pixel<6> : PixelOf<int32_t, 1> {};
template <>
struct Pixel<8> : PixelOf<int16_t, 1> {};
template <>
struct Pixel<9> : PixelOf<float, 3> {};

template <typename E>
E load(const uint8_t *p) {
  E v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename E>
void store(uint8_t *p, E v) {
  std::memcpy(p, &v, sizeof v);
}

// A value cast to element type T: truncation toward zero and low bits for integer targets.
template <typename T, typename S>
T castTo(S v) {
  if constexpr (std::is_integral_v<S> || std::is_floating_point_v<T>) {
    return static_cast<T>(v);
  } else {
    const double d = static_cast<double>(v);
    int64_t whole = 0;
    if (d >= 0x1p63) {
      whole = std::numeric_limits<int64_t>::max();
    } else if (d < -0x1p63) {
      whole = std::numeric_limits<int64_t>::min();
    } else if (!std::isnan(d)) {
      whole = static_cast<int64_t>(d);
    }
    return static_cast<T>(whole);
  }
}

template <int From, int To>
void convertPixel(const uint8_t *s, uint8_t *d, const ConversionEntry &entry) {
  using S = typename Pixel<From>::E;
  using D = typename Pixel<To>::E;
  constexpr int kIn = Pixel<From>::kChannels;
  constexpr int kOut = Pixel<To>::kChannels;
  if constexpr (From == QTZ_IMAGE_BILEVEL) {
    const D v = castTo<D>(entry.offset + (s[0] != 0 ? entry.scale : 0.0));
    for (int c = 0; c < kOut; ++c) store<D>(d + c * sizeof(D), v);
  } else if constexpr (To == QTZ_IMAGE_BILEVEL) {
    bool black = false;
    if constexpr (kIn == 3) {
      black = load<S>(s) == 0 && load<S>(s + sizeof(S)) == 0 && load<S>(s + 2 * sizeof(S)) == 0;
    } else if constexpr (std::is_floating_point_v<S>) {
      black = load<S>(s) != 0;
    } else {
      black = load<S>(s) == 0;
    }
    d[0] = black ? 1 : 0;
  } else if constexpr (kIn == 3 && kOut == 1) {
    const S r = load<S>(s), g = load<S>(s + sizeof(S)), b = load<S>(s + 2 * sizeof(S));
    if constexpr (std::is_integral_v<S>) {
      const int32_t sum = 299 * r + 587 * g + 114 * b;
      if constexpr (std::is_integral_v<D>) {
        store<D>(d, static_cast<D>(sum / 1000));
      } else {
        store<D>(d, static_cast<D>(sum / 1000.0));
      }
    } else {
      const double sum = 299.0 * r + 587.0 * g + 114.0 * b;
      store<D>(d, castTo<D>(sum / 1000.0));
    }
  } else {
    for (int c = 0; c < kOut; ++c) {
      const S v = load<S>(s + (kIn == 3 ? c : 0) * sizeof(S));
      if constexpr (pairKind(From, To) == 'P') {
        store<D>(d + c * sizeof(D), castTo<D>(entry.offset + entry.scale * static_cast<double>(v)));
      } else {
        store<D>(d + c * sizeof(D), castTo<D>(v));
      }
    }
  }
}

template <int From, int To>
int32_t convertImage(const QtzImage *src, const ConversionEntry &entry, QtzImage **out) {
  const QtzImageHeader &h = src->hdr;
  QtzImage *dst = nullptr;
  int32_t status =
      qtz::makeImage(src->state, qtz::unzeroed(To), h.width, h.height, h.xoff, h.yoff, false, &dst);
  if (status != QTZ_OK) return status;
  constexpr int64_t kInBytes = qtz::elementBytes(From), kOutBytes = qtz::elementBytes(To);
  for (int64_t i = 0; dst->rows != nullptr && i < h.height; ++i) {
    const uint8_t *s = qtz::rowStart(src, i);
    uint8_t *d = qtz::rowStart(dst, i);
    for (int64_t x = 0; x < h.width; ++x)
      convertPixel<From, To>(s + x * kInBytes, d + x * kOutBytes, entry);
  }
  *out = dst;
  return QTZ_OK;
}

template <int Index>
constexpr ConversionEntry makeEntry() {
  constexpr int kFrom = Index / 10, kTo = Index % 10;
  constexpr char kKind = pairKind(kFrom, kTo);
  if constexpr (kKind == '-') {
    return ConversionEntry{0, 0.0, 0.0, nullptr};
  } else if constexpr (kKind == 'D') {
    return ConversionEntry{0, 0.0, 0.0, &convertImage<kFrom, kTo>};
  } else if constexpr (kFrom == QTZ_IMAGE_BILEVEL && kTo != QTZ_IMAGE_FLOAT &&
                       kTo != QTZ_IMAGE_DOUBLE) {
    return ConversionEntry{1, -255.0, 255.0, &convertImage<kFrom, kTo>};
  } else {
    return ConversionEntry{1, 1.0, 0.0, &convertImage<kFrom, kTo>};
  }
}

template <size_t... Index>
constexpr std::array<ConversionEntry, 100> makeTable(std::index_sequence<Index...>) {
  return {makeEntry<Index>()...};
}

constexpr std::array<ConversionEntry, 100> kTable = makeTable(std::make_index_sequence<100>{});

const ConversionEntry *entryFor(int32_t from, int32_t to) {
  if (from < 0 || from > 9 || to < 0 || to > 9) return nullptr;
  const ConversionEntry &entry = kTable[from * 10 + to];
  return entry.converter != nullptr ? &entry : nullptr;
}

// Runs a converter; a result it cannot make is reported as 118.
int32_t run(const ConversionEntry &entry, const QtzImage *image, QtzImage **out) {
  return entry.converter(image, entry, out) == QTZ_OK ? QTZ_OK
                                                      : qtz::report(image->state, QTZ_ERR_NULL);
}

// Converts through a temporary type-5 image: unpacked from the source, or packed at the end.
int32_t convertThroughBilevel(const QtzImage *image, uint16_t to, QtzImage **out) {
  QtzImage *bilevel = nullptr;
  int32_t status = image->hdr.type == QTZ_IMAGE_PACKED
                       ? qtz::imPromote(image, QTZ_IMAGE_BILEVEL, &bilevel)
                       : QtzImage_convert(image, QTZ_IMAGE_BILEVEL, &bilevel);
  if (status != QTZ_OK) return status;
  status = to == QTZ_IMAGE_PACKED ? qtz::imPromote(bilevel, QTZ_IMAGE_PACKED, out)
                                  : QtzImage_convert(bilevel, to, out);
  QtzImage_free(bilevel);
  return status;
}

}  // namespace

namespace qtz {

bool isPromotion(int32_t from, int32_t to) {
  const ConversionEntry *entry = entryFor(from, to);
  return entry != nullptr && entry->promote != 0;
}

int32_t imPromote(const QtzImage *image, int32_t to, QtzImage **out) {
  const int32_t from = image->hdr.type;
  if (from == QTZ_IMAGE_PACKED && to == QTZ_IMAGE_BILEVEL) {
    return unpackBilevel(image, out) == QTZ_OK ? QTZ_OK : report(image->state, QTZ_ERR_NULL);
  }
  if (from == QTZ_IMAGE_BILEVEL && to == QTZ_IMAGE_PACKED) {
    return packBilevel(image, out) == QTZ_OK ? QTZ_OK : report(image->state, QTZ_ERR_NULL);
  }
  const ConversionEntry *entry = entryFor(from, to);
  if (entry == nullptr || entry->promote == 0) return QTZ_ERR_ASSERT;
  return run(*entry, image, out);
}

}  // namespace qtz

extern "C" int32_t QtzImage_convert(const QtzImage *image, uint16_t to, QtzImage **out) {
  if (image == nullptr || out == nullptr) return QTZ_ERR_ASSERT;
  const int32_t from = image->hdr.type;
  if (from == to) return QtzImage_dup(image, 0, out);
  const bool bilevelPair = (from == QTZ_IMAGE_PACKED && to == QTZ_IMAGE_BILEVEL) ||
                           (from == QTZ_IMAGE_BILEVEL && to == QTZ_IMAGE_PACKED);
  if (bilevelPair) return qtz::imPromote(image, to, out);
  if (from == QTZ_IMAGE_PACKED || to == QTZ_IMAGE_PACKED)
    return convertThroughBilevel(image, to, out);
  const ConversionEntry *entry = entryFor(from, to);
  if (entry == nullptr) return QTZ_ERR_ASSERT;
  return entry->promote != 0 ? qtz::imPromote(image, to, out) : run(*entry, image, out);
}
