// The entry list of a page IFD, in ascending tag order, and the rules its values follow: samples
// and bits per sample of a colour kind, the PhotometricInterpretation of a colour kind, coding
// and colour space, and the number of fixed-height strips.
//
// The strip tables, SubIFDs slots and coding options are written as the IFD record holds them
// (zero-filled until strips and links arrive), so that a directory written again keeps them.
// Strips of varying height have one zero placeholder in each table until the strips are
// complete. The first pass over the list checks everything the second would refuse: an unknown
// colour kind (6), kind 11 whose samples no writing call supplies (21), compression bits without
// a Compression value (2; so every IFD written is coded and has strip tables), 0x8000 without a
// raw value (21).
#include "ovr_vocab_internal.h"
#include "ovr_writer_internal.h"

namespace ovr {
namespace {

struct Table {
  uint32_t count = 0;
  const uint32_t *units = nullptr;
};

// An in-memory table, or one zero element while it is empty.
Table tableOf(const ValueArray<uint32_t> &values) {
  static const uint32_t kZero = 0;
  if (values.empty()) return Table{1, &kZero};
  return Table{static_cast<uint32_t>(values.size()), values.data()};
}

// PhotometricInterpretation of a photometric kind (1-8) used as a colour space.
uint32_t photometricOfKind(uint32_t kind) {
  static const uint32_t kValues[9] = {0, 0, 1, 2, 5, 6, 8, 9, 10};
  return kValues[kind];
}

bool isLabSpace(uint32_t colourSpace) {
  return colourSpace >= 6 && colourSpace <= 8;
}

}  // namespace

int32_t sampleLayout(uint32_t colourKind, SampleLayout *layout) {
  static const SampleLayout kLayouts[11] = {{0, 0}, {1, 1}, {1, 4}, {1, 8}, {1, 4}, {1, 8},
                                            {3, 4}, {3, 8}, {4, 1}, {4, 4}, {4, 8}};
  if (colourKind == colour::kCallerSamples) return OVR_ERR_SEQUENCE;
  if (colourKind == 0 || colourKind > colour::kFour8) return OVR_ERR_UNSUPPORTED;
  *layout = kLayouts[colourKind];
  return OVR_OK;
}

uint32_t photometricValue(uint32_t colourKind, uint32_t compressionBits, uint32_t colourSpace) {
  if (colourKind == colour::kPalette4 || colourKind == colour::kPalette8) return 3;
  if (colourKind == colour::kBilevel || colourKind == colour::kFour1) return 0;
  if (colourKind == colour::kColour8) {
    if (compressionBits != bits::kJpeg && compressionBits != bits::kNone) return 2;
    const bool named = colourSpace == 3 || colourSpace == 4 || isLabSpace(colourSpace);
    return named ? photometricOfKind(colourSpace) : 6;
  }
  return isLabSpace(colourSpace) ? photometricOfKind(colourSpace) : 1;
}

uint64_t fixedStripCount(const LayerRecord &layer) {
  if (layer.rowsPerStrip == 0) return 0;
  return (uint64_t{layer.height} + layer.rowsPerStrip - 1) / layer.rowsPerStrip;
}

int32_t ovrWritePageDirectory(OvrIfdRecord &ifd, EntryPass &pass) {
  OvrDocument &doc = *ifd.page->doc;
  OvrWriteIfd &w = *ifd.writer;
  const LayerRecord &l = ifd.layer;
  const uint32_t profile = doc.profileCode;
  const bool primary = ifd.role == kRolePrimary;
  const bool mrc = isMrcProfile(profile);
  const bool fixed = l.rowsPerStrip > 0;

  SampleLayout samples;
  int32_t status = sampleLayout(l.colourKind, &samples);
  if (status != OVR_OK) return status;
  uint16_t compression = 0;
  uint32_t t4Options = 0;
  status =
      compressionValueFromBits(l.compressionBits, ifd.rawCompression, &compression, &t4Options);
  if (status != OVR_OK) return status;
  if (fixed && ifd.dir.stripOffsets.size() != fixedStripCount(l)) return OVR_ERR_INTERNAL;

  pass.add1(tag::kNewSubfileType, kTypeLong, (primary ? 2 : 0) + (mrc ? 16 : 0));
  pass.add1(tag::kImageWidth, kTypeLong, l.width);
  pass.add1(tag::kImageLength, kTypeLong, l.height);
  const uint32_t bitsPerSample[4] = {samples.bits, samples.bits, samples.bits, samples.bits};
  pass.add(tag::kBitsPerSample, kTypeShort, samples.samples, bitsPerSample);
  pass.add1(tag::kCompression, kTypeShort, compression);
  pass.add1(tag::kPhotometric, kTypeShort,
            photometricValue(l.colourKind, l.compressionBits, l.photometricKind));
  const Table offsets = tableOf(ifd.dir.stripOffsets);
  pass.add(tag::kStripOffsets, kTypeLong, offsets.count, offsets.units, &w.stripOffsets);
  if (samples.samples > 1) pass.add1(tag::kSamplesPerPixel, kTypeShort, samples.samples);
  // RowsPerStrip is a SHORT; a strip taller than a SHORT holds needs the LONG form of the tag.
  if (fixed) {
    pass.add1(tag::kRowsPerStrip, l.rowsPerStrip <= UINT16_MAX ? kTypeShort : kTypeLong,
              l.rowsPerStrip);
  }
  const Table counts = tableOf(ifd.dir.stripByteCounts);
  pass.add(tag::kStripByteCounts, kTypeLong, counts.count, counts.units, &w.stripByteCounts);
  const uint32_t xResolution[2] = {l.xRes, 1};
  const uint32_t yResolution[2] = {l.yRes, 1};
  pass.add(tag::kXResolution, kTypeRational, 1, xResolution);
  pass.add(tag::kYResolution, kTypeRational, 1, yResolution);
  if (l.compressionBits == bits::kJpeg) pass.add1(tag::kPlanarConfiguration, kTypeShort, 1);
  if (!primary) {
    const LayerRecord &p = ifd.page->primary->layer;
    const uint32_t xPosition[2] = {l.x, p.xRes};
    const uint32_t yPosition[2] = {l.y, p.yRes};
    pass.add(tag::kXPosition, kTypeRational, 1, xPosition);
    pass.add(tag::kYPosition, kTypeRational, 1, yPosition);
  }
  if (compression == kCompressionT4) pass.add1(tag::kT4Options, kTypeLong, t4Options);
  pass.add1(tag::kResolutionUnit, kTypeShort, 2);
  if (primary) {
    const uint32_t pageNumber[2] = {ifd.page->index, 0};
    pass.add(tag::kPageNumber, kTypeShort, 2, pageNumber, &w.pageNumber);
    w.pageNumberWritten = ifd.page->index;
  }
  if (l.colourKind == colour::kPalette4 || l.colourKind == colour::kPalette8) {
    uint32_t colorMap[3 * 256];
    const uint32_t entries = 1u << samples.bits;
    for (uint32_t i = 0; i < entries; ++i) {
      for (uint32_t c = 0; c < 3; ++c) colorMap[c * entries + i] = l.palette[3 * i + c] * 257u;
    }
    pass.add(tag::kColorMap, kTypeShort, 3 * entries, colorMap);
  }
  if (primary && mrc) {
    const Table slots = tableOf(ifd.dir.subIfds);
    pass.add(tag::kSubIfds, kTypeIfd, slots.count, slots.units, &w.subIfds);
  }
  const bool globalProfile = mrc || profile == 7;
  if (primary && ifd.page->index == 0 && globalProfile) {
    if (pass.writing() && doc.writer->globalIfd == 0 && pass.status() == OVR_OK) {
      pass.note(writeGlobalParameters(doc));
    }
    pass.add1(tag::kGlobalParametersIfd, kTypeIfd, doc.writer->globalIfd);
  }
  if (!fixed) {
    const Table rows = tableOf(ifd.dir.stripRowCounts);
    pass.add(tag::kStripRowCounts, kTypeLong, rows.count, rows.units, &w.stripRowCounts);
  }
  const bool optionsProfile = profile == 7 || profile == 8 || profile == 13;
  if (optionsProfile && isJbig2Class(l.compressionBits)) {
    uint32_t options = ifd.dir.codingOptions;
    if (l.compressionBits == bits::kPrivate34673 || l.compressionBits == bits::kJbig2Variant) {
      options |= kOptionJbig2Variant;
    }
    if (l.key.layer % 2 == 1) options |= kOptionTailBytes;
    pass.add1(tag::kCodingOptions, kTypeLong, options, &w.codingOptions);
    if (pass.writing() && pass.status() == OVR_OK) {
      ifd.dir.codingOptions = options;
      ifd.dir.mark(Field::CodingOptions);
    }
  }
  if (mrc) {
    const uint32_t imageLayer[2] = {l.key.layer, l.key.order + 1};
    pass.add(tag::kImageLayer, kTypeLong, 2, imageLayer);
  }
  return pass.status();
}

}  // namespace ovr
