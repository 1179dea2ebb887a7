// CIE L*a*b* conversion of rows for JPEG output (ITULAB and CIELAB ranges), byte-exact.
//
// The library cannot run a converter of ours, so the binding converts each row itself and
// hands the library L*, a*, b* bytes as an already converted three-component (or one-
// component) stream whose JPEG colour space equals its input colour space: the library copies
// the samples and writes the markers, sampling and tables of the YCbCr (or grey) stream that
// its defaults describe. Nothing in the stream marks L*a*b*; the container says so.
#ifndef JCCOLOR_H
#define JCCOLOR_H

#include <cstdint>

#include "jcxapi.h"

// A row converter: rows of the caller's interleaved samples to rows of JPEG samples, each
// image width pixels long.
struct JcxLabConverter {
  void (*convert)(JcxCompressObject *object, JSAMPARRAY in, JSAMPARRAY out, int32_t rows);
};

namespace pxl::jpeg {

// sRGB decoding table: entry v = round(4096 x D(v / 255)), D of IEC 61966-2-1.
const int32_t *srgbTable();
// f() table in Q14, 4097 entries (the cube root of t above 0.008856, else 7.787 t + 16/116).
const int32_t *rgb_lab_start();
double lab_cube_root(double x, double tolerance);

// Fixed-point coefficients of the L*, a*, b* bytes for the object's ranges (ITULAB defaults
// for ranges that are not positive, and for all ranges after the first such one).
struct LabCoefficients {
  int32_t kL, tL, kA, tA, kB, tB;
};
LabCoefficients labCoefficients(const JcxCompressObject *object);

// One pixel: the L*, a*, b* bytes of (r, g, b).
void labPixel(const LabCoefficients &k, uint8_t r, uint8_t g, uint8_t b, uint8_t out[3]);

// Sets the CIELAB fixed ranges into the object's range fields.
void storeCielabRanges(JcxCompressObject *object);

// Chooses the row converter of the object's colour spaces (null: the library takes the
// caller's rows) and, for L*a*b* output, makes the library copy the converted samples.
// Raises 8, 9 or 25 for a combination that cannot be coded. Runs under a guard.
void jinit_color_converter(JcxCompressObject *object);

}  // namespace pxl::jpeg

#endif
