// The tag table: decodes each IFD entry the library knows into the directory values record, at
// the width the tag keeps, with the checks of single tags; unknown tags are skipped.
#include "ovr_strips_internal.h"
#include "ovr_tags_internal.h"

namespace ovr {
namespace {

// How an array tag with count 0 is taken.
enum class Empty : uint8_t { Default, Corrupt };

bool isRationalType(uint16_t type) {
  return type == kTypeRational || type == kTypeSRational;
}
bool isOneByteType(uint16_t type) {
  return fieldTypeSize(type) == 1;
}

// The width an integer value of T is kept at.
template <typename T>
constexpr Width widthOf() {
  static_assert(sizeof(T) <= 4);
  return sizeof(T) == 1 ? Width::W8 : sizeof(T) == 2 ? Width::W16 : Width::W32;
}

// The first value of a scalar tag; count 0 leaves it absent.
template <typename T>
int32_t scalar(const FileReader &r, const IfdEntry &e, Directory &dir, Field f, T *dst) {
  if (e.count == 0) return OVR_OK;
  constexpr Width w = widthOf<T>();
  int32_t status = loadEntryValues(r, e, w, 1, dst);
  if (status == OVR_OK) dir.mark(f);
  return status;
}

// The first n values of a small fixed array (fewer when the tag has fewer); count 0 leaves it
// absent.
template <typename T>
int32_t fixed(const FileReader &r, const IfdEntry &e, Directory &dir, Field f, T *dst, uint32_t n) {
  if (e.count == 0) return OVR_OK;
  constexpr Width w = widthOf<T>();
  const uint64_t units = e.count < n ? e.count : n;
  T values[4] = {};
  int32_t status = loadEntryValues(r, e, w, units, values);
  if (status != OVR_OK) return status;
  for (uint32_t i = 0; i < n; ++i) dst[i] = values[i];
  dir.mark(f);
  return OVR_OK;
}

// Every value of an array tag, kept by the directory (count 0 leaves dst as it was).
template <typename T>
int32_t array(const FileReader &r, const IfdEntry &e, Directory &dir, ValueArray<T> &dst,
              Empty empty) {
  constexpr Width w = widthOf<T>();
  if (!widenAllowed(e.type, w)) return OVR_ERR_UNSUPPORTED;
  if (e.count == 0) return empty == Empty::Corrupt ? OVR_ERR_CORRUPT : OVR_OK;
  // The value must lie in the file before its block is allocated.
  const ValueSpan span = entryValueSpan(r.order, e);
  int32_t status = r.checkExtent(span.position, span.bytes);
  if (status != OVR_OK) return status;
  const uint64_t units = fieldUnitCount(e.type, e.count);
  status = dir.allocate(dst, units);
  if (status == OVR_OK) status = loadEntryValues(r, e, w, units, dst.data());
  if (status != OVR_OK) dir.clear(dst);
  return status;
}

// An array tag kept in the directory; marked present once it has values.
template <typename T>
int32_t arrayField(const FileReader &r, const IfdEntry &e, Directory &dir, Field f,
                   ValueArray<T> &dst, Empty empty) {
  const int32_t status = array(r, e, dir, dst, empty);
  if (status == OVR_OK && !dst.empty()) dir.mark(f);
  return status;
}

// An ASCII value with a terminating zero appended; count 0 leaves it absent.
int32_t text(const FileReader &r, const IfdEntry &e, Directory &dir, Field f,
             ValueArray<char> &dst) {
  if (!isOneByteType(e.type)) return OVR_ERR_UNSUPPORTED;
  if (e.count == 0) return OVR_OK;
  const ValueSpan span = entryValueSpan(r.order, e);
  int32_t status = r.checkExtent(span.position, span.bytes);
  if (status != OVR_OK) return status;
  status = dir.allocate(dst, uint64_t{e.count} + 1);  // zeroed: the terminating zero is there
  if (status == OVR_OK) status = loadEntryValues(r, e, Width::W8, e.count, dst.data());
  if (status != OVR_OK) {
    dir.clear(dst);
    return status;
  }
  dir.mark(f);
  return OVR_OK;
}

int32_t rational(const FileReader &r, const IfdEntry &e, Directory &dir, Field f, Rational *dst) {
  if (!isRationalType(e.type)) return OVR_ERR_UNSUPPORTED;
  if (e.count == 0) return OVR_OK;
  uint32_t units[2];
  int32_t status = loadEntryValues(r, e, Width::W32, 2, units);
  if (status != OVR_OK) return status;
  *dst = Rational{units[0], units[1]};
  dir.mark(f);
  return OVR_OK;
}

int32_t fillOrder(const FileReader &r, const IfdEntry &e, Directory &dir) {
  uint16_t value = dir.fillOrder;
  int32_t status = scalar(r, e, dir, Field::FillOrder, &value);
  if (status != OVR_OK) return status;
  if (value != 1 && value != 2) return OVR_ERR_UNSUPPORTED;
  dir.fillOrder = value;
  return OVR_OK;
}

int32_t colorMap(const FileReader &r, const IfdEntry &e, Directory &dir) {
  if (e.type != kTypeShort) return OVR_ERR_CORRUPT;
  return arrayField(r, e, dir, Field::ColorMap, dir.colorMap, Empty::Corrupt);
}

int32_t jpegTables(const FileReader &r, const IfdEntry &e, Directory &dir) {
  if (!isOneByteType(e.type)) return OVR_ERR_UNSUPPORTED;
  int32_t status = array(r, e, dir, dir.jpegTables, Empty::Corrupt);
  JpegTablesBody body;
  if (status == OVR_OK)
    status = checkJpegTables(dir.jpegTables.data(), dir.jpegTables.size(), &body);
  if (status != OVR_OK) {
    dir.clear(dir.jpegTables);
    return status;
  }
  dir.mark(Field::JpegTables);
  return OVR_OK;
}

int32_t decode(const FileReader &r, const IfdEntry &e, Directory &dir) {
  if (!isRationalType(e.type)) return OVR_ERR_UNSUPPORTED;
  if (e.count != 2 && e.count != 6) return OVR_ERR_CORRUPT;
  uint32_t units[12];
  int32_t status = loadEntryValues(r, e, Width::W32, 2ull * e.count, units);
  if (status != OVR_OK) return status;
  for (uint32_t i = 0; i < 2 * e.count; ++i) dir.decode[i] = static_cast<int32_t>(units[i]);
  dir.decodeCount = e.count;
  dir.mark(Field::Decode);
  return OVR_OK;
}

int32_t defaultImageColor(const FileReader &r, const IfdEntry &e, Directory &dir) {
  if (e.count != 1 && e.count != 3 && e.count != 4) return OVR_ERR_CORRUPT;
  int32_t status = fixed(r, e, dir, Field::DefaultImageColor, dir.defaultImageColor, e.count);
  if (status == OVR_OK) dir.defaultImageColorCount = e.count;
  return status;
}

int32_t ycbcrPositioning(const FileReader &r, const IfdEntry &e, Directory &dir) {
  uint16_t value = dir.ycbcrPositioning;
  int32_t status = scalar(r, e, dir, Field::YCbCrPositioning, &value);
  if (status != OVR_OK) return status;
  return value == 1 ? OVR_OK : OVR_ERR_NOT_ALLOWED;
}

int32_t imageLayer(const FileReader &r, const IfdEntry &e, Directory &dir) {
  if (e.count != 2) return OVR_ERR_CORRUPT;
  uint32_t values[2] = {};
  int32_t status = fixed(r, e, dir, Field::ImageLayer, values, 2);
  if (status != OVR_OK) return status;
  if (values[0] == 0 || values[1] == 0) return OVR_ERR_CORRUPT;
  dir.imageLayer[0] = values[0];
  dir.imageLayer[1] = values[1];
  return OVR_OK;
}

}  // namespace

int32_t applyEntry(const FileReader &r, const IfdEntry &e, Directory &d) {
  switch (e.tag) {
    case tag::kNewSubfileType:
      return scalar(r, e, d, Field::NewSubfileType, &d.newSubfileType);
    case tag::kImageWidth:
      return scalar(r, e, d, Field::ImageWidth, &d.width);
    case tag::kImageLength:
      return scalar(r, e, d, Field::ImageLength, &d.height);
    case tag::kBitsPerSample:
      return arrayField(r, e, d, Field::BitsPerSample, d.bitsPerSample, Empty::Default);
    case tag::kCompression:
      return scalar(r, e, d, Field::Compression, &d.compression);
    case tag::kPhotometric:
      return scalar(r, e, d, Field::Photometric, &d.photometric);
    case tag::kThreshholding:
      return scalar(r, e, d, Field::Threshholding, &d.threshholding);
    case tag::kFillOrder:
      return fillOrder(r, e, d);
    case tag::kDocumentName:
      return text(r, e, d, Field::DocumentName, d.documentName);
    case tag::kImageDescription:
      return text(r, e, d, Field::ImageDescription, d.imageDescription);
    case tag::kStripOffsets:
      return arrayField(r, e, d, Field::StripOffsets, d.stripOffsets, Empty::Corrupt);
    case tag::kOrientation:
      return scalar(r, e, d, Field::Orientation, &d.orientation);
    case tag::kSamplesPerPixel:
      return scalar(r, e, d, Field::SamplesPerPixel, &d.samplesPerPixel);
    case tag::kRowsPerStrip:
      return scalar(r, e, d, Field::RowsPerStrip, &d.rowsPerStrip);
    case tag::kStripByteCounts:
      return arrayField(r, e, d, Field::StripByteCounts, d.stripByteCounts, Empty::Corrupt);
    case tag::kXResolution:
      return rational(r, e, d, Field::XResolution, &d.xResolution);
    case tag::kYResolution:
      return rational(r, e, d, Field::YResolution, &d.yResolution);
    case tag::kPlanarConfiguration:
      return scalar(r, e, d, Field::PlanarConfiguration, &d.planarConfiguration);
    case tag::kXPosition:
      return rational(r, e, d, Field::XPosition, &d.xPosition);
    case tag::kYPosition:
      return rational(r, e, d, Field::YPosition, &d.yPosition);
    case tag::kT4Options:
      return scalar(r, e, d, Field::T4Options, &d.t4Options);
    case tag::kT6Options:
      return scalar(r, e, d, Field::T6Options, &d.t6Options);
    case tag::kResolutionUnit:
      return scalar(r, e, d, Field::ResolutionUnit, &d.resolutionUnit);
    case tag::kPageNumber:
      return fixed(r, e, d, Field::PageNumber, d.pageNumber, 2);
    case tag::kSoftware:
      return text(r, e, d, Field::Software, d.software);
    case tag::kDateTime:
      return text(r, e, d, Field::DateTime, d.dateTime);
    case tag::kArtist:
    case tag::kHostComputer:
      return text(r, e, d, Field::HostComputer, d.hostComputer);
    case tag::kPredictor:
      return scalar(r, e, d, Field::Predictor, &d.predictor);
    case tag::kColorMap:
      return colorMap(r, e, d);
    case tag::kTileWidth:
      return scalar(r, e, d, Field::TileWidth, &d.tileWidth);
    case tag::kTileLength:
      return scalar(r, e, d, Field::TileLength, &d.tileLength);
    case tag::kTileOffsets:
      return arrayField(r, e, d, Field::TileOffsets, d.tileOffsets, Empty::Corrupt);
    case tag::kTileByteCounts:
      return arrayField(r, e, d, Field::TileByteCounts, d.tileByteCounts, Empty::Corrupt);
    case tag::kSubIfds:
      return arrayField(r, e, d, Field::SubIfds, d.subIfds, Empty::Default);
    case tag::kTargetPrinter:
      return text(r, e, d, Field::TargetPrinter, d.targetPrinter);
    case tag::kJpegTables:
      return jpegTables(r, e, d);
    case tag::kGlobalParametersIfd:
      return scalar(r, e, d, Field::GlobalParametersIfd, &d.globalParametersIfd);
    case tag::kProfileType:
      return scalar(r, e, d, Field::ProfileType, &d.profileType);
    case tag::kFaxProfile:
      return scalar(r, e, d, Field::FaxProfile, &d.faxProfile);
    case tag::kCodingMethods:
      return scalar(r, e, d, Field::CodingMethods, &d.codingMethods);
    case tag::kVersionYear:
      return fixed(r, e, d, Field::VersionYear, d.versionYear, 4);
    case tag::kModeNumber:
      return scalar(r, e, d, Field::ModeNumber, &d.modeNumber);
    case tag::kGlobalWord406:
    case tag::kGlobalWord34688:
      return scalar(r, e, d, Field::GlobalWord34688, &d.globalWord34688);
    case tag::kDecode:
      return decode(r, e, d);
    case tag::kDefaultImageColor:
      return defaultImageColor(r, e, d);
    case tag::kT82Options:
      return scalar(r, e, d, Field::T82Options, &d.t82Options);
    case tag::kCodingOptions436:
    case tag::kCodingOptions:
      return scalar(r, e, d, Field::CodingOptions, &d.codingOptions);
    case tag::kGlobalTable437:
    case tag::kGlobalTable:
      return scalar(r, e, d, Field::GlobalTableOffset, &d.globalTableOffset);
    case tag::kYCbCrCoefficients:
      if (!isRationalType(e.type)) return OVR_ERR_UNSUPPORTED;
      return arrayField(r, e, d, Field::YCbCrCoefficients, d.ycbcrCoefficients, Empty::Default);
    case tag::kYCbCrSubSampling:
      return fixed(r, e, d, Field::YCbCrSubSampling, d.ycbcrSubSampling, 2);
    case tag::kYCbCrPositioning:
      return ycbcrPositioning(r, e, d);
    case tag::kStripRowCounts:
      return arrayField(r, e, d, Field::StripRowCounts, d.stripRowCounts, Empty::Corrupt);
    case tag::kCopyright:
      return text(r, e, d, Field::Copyright, d.copyright);
    case tag::kGlobalWord34687:
      return scalar(r, e, d, Field::GlobalWord34687, &d.globalWord34687);
    case tag::kLinkedIfdText:
      return text(r, e, d, Field::LinkedIfdText, d.linkedIfdText);
    case tag::kLinkedIfdOffset:
      return scalar(r, e, d, Field::LinkedIfdOffset, &d.linkedIfdOffset);
    case tag::kPerSampleBytes:
      if (e.type != kTypeByte && e.type != kTypeShort) return OVR_ERR_UNSUPPORTED;
      return arrayField(r, e, d, Field::PerSampleBytes, d.perSampleBytes, Empty::Corrupt);
    case tag::kPageAttributes:
      return arrayField(r, e, d, Field::PageAttributeOffsets, d.pageAttributeOffsets,
                        Empty::Corrupt);
    case tag::kPrivateWord34731:
      return scalar(r, e, d, Field::PrivateWord34731, &d.privateWord34731);
    case tag::kImageLayer:
      return imageLayer(r, e, d);
    case tag::kGlobalWord34734:
      return scalar(r, e, d, Field::GlobalWord34734, &d.globalWord34734);
    default:
      return OVR_OK;
  }
}

int32_t finishDirectory(Directory &dir) {
  if (dir.has(Field::PerSampleBytes) && dir.perSampleBytes.size() != dir.samplesPerPixel)
    return OVR_ERR_CORRUPT;
  return OVR_OK;
}

int32_t readEntries(const FileReader &reader, const IfdLayout &layout, Directory &dir) {
  int32_t status = OVR_OK;
  // The values read from outside the entries may not add up to more than the file holds, so
  // that entries repeating one large value (a tag given many times over the whole file) cannot
  // multiply the reading: 23.
  uint64_t valueBytesLeft = reader.size;
  for (uint32_t i = 0; status == OVR_OK && i < layout.count; ++i) {
    IfdEntry entry;
    status = readIfdEntry(reader, layout, i, &entry);
    if (status != OVR_OK) break;
    // Values that do not lie inside the file are the tag table's to refuse or skip.
    const ValueSpan span = entryValueSpan(reader.order, entry);
    const bool inside = span.bytes <= reader.size && span.position <= reader.size - span.bytes;
    if (!span.inlined && inside) {
      if (span.bytes > valueBytesLeft) return OVR_ERR_CORRUPT;
      valueBytesLeft -= span.bytes;
    }
    status = applyEntry(reader, entry, dir);
  }
  return status == OVR_OK ? finishDirectory(dir) : status;
}

int32_t readDirectory(const FileReader &reader, uint64_t offset, Directory &dir,
                      IfdLayout *layout) {
  const int32_t status = readIfdLayout(reader, offset, layout);
  return status == OVR_OK ? readEntries(reader, *layout, dir) : status;
}

}  // namespace ovr
