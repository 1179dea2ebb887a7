// Loading one IFD for reading: its layout and directory (through the tag table), the global data
// table offset it may give, its strip tables, and the layer record derived from its values:
//   resolution  dots per inch, rounded; ResolutionUnit 3 (centimetre) converts with x 2.54; a
//               zero numerator or denominator gives 300, so that no later step divides by 0;
//   position    XPosition / YPosition (inches) x the primary IFD's resolution, rounded;
//   stripe key  ImageLayer (layer, order - 1), else (1, 0);
//   rows/strip  RowsPerStrip, else TileLength for tiles, else 0 with StripRowCounts (strips of
//               varying height), else the height; a RowsPerStrip of 0 without StripRowCounts
//               also means one strip of the whole height;
//   coding      compression bits, colour kind (with the palette of palette kinds), photometric
//               kind. A coding or sample layout the library does not know leaves compression
//               bits or colour kind 0; the IFD still loads (the stripe lookup reports it).
// Every byte the IFD takes from the file (its entries and the values outside them) is charged
// to the page's read budget before it is read, and every byte its strips may hand out to the
// document's strip budget once it is loaded (23 when either is spent).
#include "ovr_reader_internal.h"
#include "ovr_vocab_internal.h"

namespace ovr {
namespace {

constexpr uint32_t kDefaultResolution = 300;

uint32_t saturate(uint64_t v) {
  return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v);
}

uint32_t dotsPerInch(const Rational &r, uint16_t unit) {
  if (r.den == 0) return kDefaultResolution;
  const uint64_t num = r.num;
  const uint64_t den = r.den;
  const uint64_t dots = unit == 3 ? (num * 254 + den * 50) / (den * 100) : (num + den / 2) / den;
  return dots == 0 ? kDefaultResolution : saturate(dots);
}

uint32_t pixelPosition(const Rational &inches, uint32_t dotsPerInch) {
  if (inches.den == 0) return 0;
  return saturate((uint64_t{inches.num} * dotsPerInch + inches.den / 2) / inches.den);
}

// Charges the IFD's entries and every value that lies outside its entry to the budget.
int32_t chargeIfd(const FileReader &reader, const IfdLayout &layout, ReadBudget &budget) {
  int32_t status = budget.take(ifdByteSize(layout.count));
  for (uint32_t i = 0; status == OVR_OK && i < layout.count; ++i) {
    IfdEntry entry;
    status = readIfdEntry(reader, layout, i, &entry);
    if (status != OVR_OK) return status;
    const ValueSpan span = entryValueSpan(reader.order, entry);
    if (!span.inlined) status = budget.take(span.bytes);
  }
  return status;
}

int32_t readCharged(const FileReader &reader, uint64_t offset, Directory &dir, ReadBudget &budget,
                    IfdLayout *layout) {
  int32_t status = readIfdLayout(reader, offset, layout);
  if (status == OVR_OK) status = chargeIfd(reader, *layout, budget);
  if (status == OVR_OK) status = readEntries(reader, *layout, dir);
  return status;
}

// The global data table offset, given by the IFD itself or by its global parameters IFD.
int32_t takeGlobalTable(OvrDocument *doc, const Directory &dir, ReadBudget &budget) {
  if (doc->hasGlobalTable) return OVR_OK;
  if (dir.has(Field::GlobalTableOffset)) {
    doc->hasGlobalTable = true;
    doc->globalTableOffset = dir.globalTableOffset;
    return OVR_OK;
  }
  if (!dir.has(Field::GlobalParametersIfd) || dir.globalParametersIfd == 0) return OVR_OK;
  Directory global(doc->alloc);
  IfdLayout layout;
  int32_t status = readCharged(doc->reader, dir.globalParametersIfd, global, budget, &layout);
  if (status == OVR_OK && global.has(Field::GlobalTableOffset)) {
    doc->hasGlobalTable = true;
    doc->globalTableOffset = global.globalTableOffset;
  }
  return status;
}

uint32_t rowsPerStripOf(const Directory &dir) {
  const bool tiles = dir.has(Field::TileOffsets) || dir.has(Field::TileByteCounts);
  uint32_t rows = dir.height;
  if (dir.has(Field::RowsPerStrip)) {
    rows = dir.rowsPerStrip;
  } else if (tiles && dir.has(Field::TileLength)) {
    rows = dir.tileLength;
  } else if (dir.has(Field::StripRowCounts)) {
    rows = 0;
  }
  return rows == 0 && !dir.has(Field::StripRowCounts) ? dir.height : rows;
}

// Derives the layer record; 23 for a short ColorMap.
int32_t deriveLayer(OvrIfdRecord *ifd, const OvrIfdRecord *primary) {
  Directory &dir = ifd->dir;
  LayerRecord &rec = ifd->layer;
  rec.key = stripeKeyOf(dir);
  rec.xRes = dotsPerInch(dir.xResolution, dir.resolutionUnit);
  rec.yRes = dotsPerInch(dir.yResolution, dir.resolutionUnit);
  const LayerRecord &grid = primary != nullptr ? primary->layer : rec;
  rec.x = pixelPosition(dir.xPosition, grid.xRes);
  rec.y = pixelPosition(dir.yPosition, grid.yRes);
  rec.width = dir.width;
  rec.height = dir.height;
  rec.rowsPerStrip = rowsPerStripOf(dir);
  rec.photometricKind = dir.has(Field::Photometric) ? photometricKind(dir.photometric) : 0;
  if (compressionBitsFromValue(dir.compression, dir.codingOptions, &dir.t4Options,
                               &rec.compressionBits) != OVR_OK)
    rec.compressionBits = 0;
  const uint32_t bits = dir.firstBitsPerSample();
  if (colourKindFromSamples(dir.samplesPerPixel, bits, dir.has(Field::ColorMap), &rec.colourKind) !=
      OVR_OK)
    rec.colourKind = 0;
  rec.palette = nullptr;
  const uint32_t paletteSize = paletteBytes(rec.colourKind);
  if (paletteSize == 0) return OVR_OK;
  int32_t status = ifd->dir.allocate(ifd->palette, paletteSize);
  if (status == OVR_OK)
    status =
        paletteFromColorMap(dir.colorMap.data(), dir.colorMap.size(), bits, ifd->palette.data());
  if (status == OVR_OK) rec.palette = ifd->palette.data();
  return status;
}

// The first row of each strip of varying height, added up once so that finding a strip by its
// row does not walk the row counts on every call.
int32_t stripStartsOf(OvrIfdRecord *ifd) {
  const ValueArray<uint32_t> &counts = ifd->dir.stripRowCounts;
  if (!ifd->dir.has(Field::StripRowCounts)) return OVR_OK;
  int32_t status = ifd->dir.allocate(ifd->stripStarts, counts.size());
  uint64_t start = 0;
  for (uint64_t i = 0; status == OVR_OK && i < counts.size(); ++i) {
    ifd->stripStarts[i] = start;
    start += counts[i];
  }
  return status;
}

// Charges what the IFD's strips may hand out to the document's strip budget: the bytes of every
// strip, and for JPEG strips the tables merged into each. 23 once the budget is spent.
int32_t chargeStrips(OvrDocument *doc, const OvrIfdRecord *ifd) {
  const StripLayout &strips = ifd->strips;
  uint64_t bytes = 0;
  for (uint32_t i = 0; i < strips.count; ++i) bytes += strips.byteCounts[i];
  const bool merged = ifd->layer.compressionBits == bits::kJpeg && ifd->dir.has(Field::JpegTables);
  const uint64_t tables = merged ? ifd->dir.jpegTables.size() : 0;
  uint64_t &left = doc->stripBytesLeft;
  // At most 2^32 strips of 32-bit byte counts fit 64 bits; only the tables' share can overflow.
  if (bytes > left || (tables != 0 && strips.count > (left - bytes) / tables)) {
    left = 0;
    return OVR_ERR_CORRUPT;
  }
  left -= bytes + tables * strips.count;
  return OVR_OK;
}

}  // namespace

int32_t loadIfd(OvrDocument *doc, OvrIfdRecord *ifd, const OvrIfdRecord *primary,
                ReadBudget &budget) {
  IfdLayout layout;
  int32_t status = readCharged(doc->reader, ifd->offset, ifd->dir, budget, &layout);
  ifd->nextIfd = layout.next;  // known once the layout was read, even when a later step fails
  ifd->entryCount = layout.count;
  if (status == OVR_OK) status = takeGlobalTable(doc, ifd->dir, budget);
  if (status == OVR_OK) status = resolveStrips(ifd->dir, doc->reader.size, true, &ifd->strips);
  if (status == OVR_OK) status = stripStartsOf(ifd);
  if (status == OVR_OK) status = deriveLayer(ifd, primary);
  if (status == OVR_OK) status = chargeStrips(doc, ifd);
  return status;
}

}  // namespace ovr
