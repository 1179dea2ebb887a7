// The tag table: the TIFF, TIFF-FX and private tags the library reads, and the directory values
// record that an IFD decodes into, with a presence flag per field.
//
// Each tag keeps its values at a fixed width (see the widening rules of ovr_format.h); a field
// type that cannot widen to it is refused with 6. Checks of single tags: FillOrder 1 or 2 (6);
// ColorMap SHORT only (23); JPEGTables a well-formed table stream (23); Decode 2 or 6 rationals
// (23); DefaultImageColor 1, 3 or 4 values (23); YCbCrPositioning 1 (10000); ImageLayer two
// non-zero values (23). An array tag with count 0 keeps the TIFF default where TIFF has one
// (BitsPerSample, SubIFDs, YCbCrCoefficients) and is corrupt (23) otherwise; a scalar with count
// 0 is left absent. Tags not listed are skipped. A tag that appears twice keeps its last value.
#ifndef OVR_TAGS_H
#define OVR_TAGS_H

#include <bitset>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "ovr_alloc_internal.h"
#include "ovr_format_internal.h"

namespace ovr {

namespace tag {
constexpr uint16_t kNewSubfileType = 254;
constexpr uint16_t kImageWidth = 256;
constexpr uint16_t kImageLength = 257;
constexpr uint16_t kBitsPerSample = 258;
constexpr uint16_t kCompression = 259;
constexpr uint16_t kPhotometric = 262;
constexpr uint16_t kThreshholding = 263;
constexpr uint16_t kFillOrder = 266;
constexpr uint16_t kDocumentName = 269;
constexpr uint16_t kImageDescription = 270;
constexpr uint16_t kStripOffsets = 273;
constexpr uint16_t kOrientation = 274;
constexpr uint16_t kSamplesPerPixel = 277;
constexpr uint16_t kRowsPerStrip = 278;
constexpr uint16_t kStripByteCounts = 279;
constexpr uint16_t kXResolution = 282;
constexpr uint16_t kYResolution = 283;
constexpr uint16_t kPlanarConfiguration = 284;
constexpr uint16_t kXPosition = 286;
constexpr uint16_t kYPosition = 287;
constexpr uint16_t kT4Options = 292;
constexpr uint16_t kT6Options = 293;
constexpr uint16_t kResolutionUnit = 296;
constexpr uint16_t kPageNumber = 297;
constexpr uint16_t kSoftware = 305;
constexpr uint16_t kDateTime = 306;
constexpr uint16_t kArtist = 315;
constexpr uint16_t kHostComputer = 316;
constexpr uint16_t kPredictor = 317;
constexpr uint16_t kColorMap = 320;
constexpr uint16_t kTileWidth = 322;
constexpr uint16_t kTileLength = 323;
constexpr uint16_t kTileOffsets = 324;
constexpr uint16_t kTileByteCounts = 325;
constexpr uint16_t kSubIfds = 330;
constexpr uint16_t kTargetPrinter = 337;
constexpr uint16_t kJpegTables = 347;
constexpr uint16_t kGlobalParametersIfd = 400;
constexpr uint16_t kProfileType = 401;
constexpr uint16_t kFaxProfile = 402;
constexpr uint16_t kCodingMethods = 403;
constexpr uint16_t kVersionYear = 404;
constexpr uint16_t kModeNumber = 405;
constexpr uint16_t kGlobalWord406 = 406;
constexpr uint16_t kDecode = 433;
constexpr uint16_t kDefaultImageColor = 434;
constexpr uint16_t kT82Options = 435;
constexpr uint16_t kCodingOptions436 = 436;
constexpr uint16_t kGlobalTable437 = 437;
constexpr uint16_t kYCbCrCoefficients = 529;
constexpr uint16_t kYCbCrSubSampling = 530;
constexpr uint16_t kYCbCrPositioning = 531;
constexpr uint16_t kStripRowCounts = 559;
constexpr uint16_t kCopyright = 33432;
constexpr uint16_t kGlobalWord34687 = 34687;
constexpr uint16_t kGlobalWord34688 = 34688;
constexpr uint16_t kGlobalTable = 34689;
constexpr uint16_t kCodingOptions = 34690;
constexpr uint16_t kLinkedIfdText = 34693;
constexpr uint16_t kLinkedIfdOffset = 34694;
constexpr uint16_t kPerSampleBytes = 34700;
constexpr uint16_t kPageAttributes = 34730;
constexpr uint16_t kPrivateWord34731 = 34731;
constexpr uint16_t kImageLayer = 34732;
constexpr uint16_t kGlobalWord34734 = 34734;
}  // namespace tag

// One presence flag per directory field (tags that share a slot share a flag).
enum class Field : uint8_t {
  NewSubfileType,
  ImageWidth,
  ImageLength,
  BitsPerSample,
  Compression,
  Photometric,
  Threshholding,
  FillOrder,
  DocumentName,
  ImageDescription,
  StripOffsets,
  Orientation,
  SamplesPerPixel,
  RowsPerStrip,
  StripByteCounts,
  XResolution,
  YResolution,
  PlanarConfiguration,
  XPosition,
  YPosition,
  T4Options,
  T6Options,
  ResolutionUnit,
  PageNumber,
  Software,
  DateTime,
  HostComputer,
  Predictor,
  ColorMap,
  TileWidth,
  TileLength,
  TileOffsets,
  TileByteCounts,
  SubIfds,
  TargetPrinter,
  JpegTables,
  GlobalParametersIfd,
  ProfileType,
  FaxProfile,
  CodingMethods,
  VersionYear,
  ModeNumber,
  GlobalWord34688,
  Decode,
  DefaultImageColor,
  T82Options,
  CodingOptions,
  GlobalTableOffset,
  YCbCrCoefficients,
  YCbCrSubSampling,
  YCbCrPositioning,
  StripRowCounts,
  Copyright,
  GlobalWord34687,
  LinkedIfdText,
  LinkedIfdOffset,
  PerSampleBytes,
  PageAttributeOffsets,
  PrivateWord34731,
  ImageLayer,
  GlobalWord34734,
  Count
};

struct Rational {
  uint32_t num = 0;
  uint32_t den = 0;
};

// The values of an array tag, owned by the directory that holds the array, which gives them back
// through its own allocator (an IFD record keeps some twenty arrays, and an OwnedArray would keep
// a copy of the allocator in each). Values of up to 8 bytes (one strip offset or byte count, the
// BitsPerSample of most images) lie in the array itself instead of a block.
template <typename T>
class ValueArray {
  static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= 8);

 public:
  ValueArray() = default;
  ValueArray(const ValueArray &) = delete;
  ValueArray &operator=(const ValueArray &) = delete;

  T *data() { return inlined() ? reinterpret_cast<T *>(store_.bytes) : store_.block; }
  const T *data() const {
    return inlined() ? reinterpret_cast<const T *>(store_.bytes) : store_.block;
  }
  uint64_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  T &operator[](uint64_t i) { return data()[i]; }
  const T &operator[](uint64_t i) const { return data()[i]; }

 private:
  friend struct Directory;
  static constexpr uint64_t kInlineBytes = 8;
  bool inlined() const { return count_ != 0 && count_ <= kInlineBytes / sizeof(T); }
  union Store {
    T *block;
    alignas(8) unsigned char bytes[kInlineBytes];
  } store_ = {nullptr};
  uint64_t count_ = 0;
};

// The values of an IFD. Fields start at the values a reader assumes for an absent tag:
// resolutions 300/1, SamplesPerPixel 1, FillOrder 1 and, as in TIFF 6.0, Compression 1 and
// ResolutionUnit 2. Text values are kept with a terminating zero; arrays live in blocks of the
// directory's allocator.
struct Directory {
  explicit Directory(const Allocator &allocator) : alloc(allocator) {}
  ~Directory() {
    forEachArray([this](auto &field) { clear(field); });
  }
  Directory(const Directory &) = delete;
  Directory &operator=(const Directory &) = delete;

  // Replaces an array's values by those of a block of the directory's allocator (which the
  // directory takes, or frees once it copied a few values into the array).
  template <typename T>
  void set(ValueArray<T> &field, OwnedArray<T> &&values) {
    clear(field);
    field.count_ = values.size();
    if (field.inlined()) {
      std::memcpy(field.store_.bytes, values.data(), values.size() * sizeof(T));
      values.reset();
    } else {
      field.store_.block = values.release();
    }
  }
  // Replaces an array's values by count zeroed values, in the array itself when they fit, else
  // in a block of the directory's allocator. 1 no memory (the array is then empty).
  template <typename T>
  int32_t allocate(ValueArray<T> &field, uint64_t count) {
    clear(field);
    if (count == 0) return OVR_OK;
    if (count <= ValueArray<T>::kInlineBytes / sizeof(T)) {
      field.count_ = count;
      std::memset(field.store_.bytes, 0, sizeof field.store_.bytes);
      return OVR_OK;
    }
    OwnedArray<T> values;
    const int32_t status = values.allocate(alloc, count);
    if (status == OVR_OK) set(field, std::move(values));
    return status;
  }
  template <typename T>
  void clear(ValueArray<T> &field) {
    if (!field.inlined()) alloc.release(field.store_.block);
    field.store_.block = nullptr;
    field.count_ = 0;
  }

  bool has(Field f) const { return present.test(static_cast<size_t>(f)); }
  void mark(Field f) { present.set(static_cast<size_t>(f)); }
  // The first BitsPerSample value (1 when absent).
  uint32_t firstBitsPerSample() const { return bitsPerSample.empty() ? 1 : bitsPerSample[0]; }

  Allocator alloc;
  std::bitset<static_cast<size_t>(Field::Count)> present;

  uint32_t newSubfileType = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  ValueArray<uint16_t> bitsPerSample;
  uint16_t compression = 1;
  uint16_t photometric = 0;
  uint16_t threshholding = 1;
  uint16_t fillOrder = 1;
  uint16_t orientation = 1;
  uint16_t samplesPerPixel = 1;
  uint16_t planarConfiguration = 1;
  uint16_t resolutionUnit = 2;
  uint16_t predictor = 1;
  uint16_t ycbcrPositioning = 1;
  uint16_t pageNumber[2] = {};
  uint16_t ycbcrSubSampling[2] = {};
  uint32_t rowsPerStrip = 0;
  ValueArray<uint32_t> stripOffsets;
  ValueArray<uint32_t> stripByteCounts;
  ValueArray<uint32_t> stripRowCounts;
  Rational xResolution{300, 1};
  Rational yResolution{300, 1};
  Rational xPosition;
  Rational yPosition;
  uint32_t t4Options = 0;
  uint32_t t6Options = 0;
  ValueArray<uint16_t> colorMap;
  uint32_t tileWidth = 0;
  uint32_t tileLength = 0;
  ValueArray<uint32_t> tileOffsets;
  ValueArray<uint32_t> tileByteCounts;
  ValueArray<uint32_t> subIfds;
  ValueArray<uint8_t> jpegTables;
  ValueArray<char> documentName;
  ValueArray<char> imageDescription;
  ValueArray<char> software;
  ValueArray<char> dateTime;
  ValueArray<char> hostComputer;  // also Artist
  ValueArray<char> targetPrinter;
  ValueArray<char> copyright;
  ValueArray<char> linkedIfdText;
  uint32_t globalParametersIfd = 0;
  uint32_t profileType = 0;
  uint8_t faxProfile = 0;
  uint32_t codingMethods = 0;
  uint8_t versionYear[4] = {};
  uint8_t modeNumber = 0;
  uint32_t globalWord34688 = 0;  // also 406
  int32_t decode[12] = {};       // (numerator, denominator) pairs
  uint32_t decodeCount = 0;      // rationals
  uint16_t defaultImageColor[4] = {};
  uint32_t defaultImageColorCount = 0;
  uint32_t t82Options = 0;
  uint32_t codingOptions = 0;              // 34690 or 436
  uint32_t globalTableOffset = 0;          // 34689 or 437
  ValueArray<uint32_t> ycbcrCoefficients;  // (numerator, denominator) pairs
  uint32_t globalWord34687 = 0;
  uint32_t linkedIfdOffset = 0;
  ValueArray<uint16_t> perSampleBytes;
  ValueArray<uint32_t> pageAttributeOffsets;
  uint32_t privateWord34731 = 0;
  uint32_t imageLayer[2] = {};  // (layer, order), both from 1
  uint32_t globalWord34734 = 0;

  // Calls f on every array field.
  template <typename F>
  void forEachArray(F f) {
    f(bitsPerSample);
    f(stripOffsets);
    f(stripByteCounts);
    f(stripRowCounts);
    f(colorMap);
    f(tileOffsets);
    f(tileByteCounts);
    f(subIfds);
    f(jpegTables);
    f(documentName);
    f(imageDescription);
    f(software);
    f(dateTime);
    f(hostComputer);
    f(targetPrinter);
    f(copyright);
    f(linkedIfdText);
    f(ycbcrCoefficients);
    f(perSampleBytes);
    f(pageAttributeOffsets);
  }
};

// Decodes one entry into the directory by the tag table.
int32_t applyEntry(const FileReader &reader, const IfdEntry &entry, Directory &dir);
// Checks that involve more than one tag: per-sample bytes must give one value per sample (23).
int32_t finishDirectory(Directory &dir);
// Reads every entry of an IFD whose layout is known through the tag table (the first entry that
// fails stops the IFD with its status) and makes the checks of finishDirectory. The values outside
// the entries may take at most the file's size together (23 beyond).
int32_t readEntries(const FileReader &reader, const IfdLayout &layout, Directory &dir);
// Reads the IFD at offset: its layout, then its entries as readEntries does.
int32_t readDirectory(const FileReader &reader, uint64_t offset, Directory &dir, IfdLayout *layout);

}  // namespace ovr

#endif
