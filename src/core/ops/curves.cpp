// Least-squares smoothing and derivatives of integer curves (pxlFilterCurve). For each
// half-width n the coefficient rows are those of the degree-2 fit y = a0 + a1 t + a2 t^2
// over a window, evaluated at one of its samples: row 0 the centred window, rows 1 .. n the
// windows cut at the curve's start (samples 0 .. d - 1 + n, at sample d - 1), rows n + 1 ..
// 2n those cut at its end (the last d samples, at their sample n). They are computed once per
// process in extended precision from the normal equations and stored in single precision
// (the centred value row of n = 2 passes the sample through). A curve shorter than 2n + 1
// samples is refused: its end windows would reach past it.
#include <array>

#include "pxl_curves.h"
#include "pxl_internal.h"

namespace {

constexpr const char *kUnit = "curves";
constexpr int kMaxTaps = 2 * 16 + 1;

// Rows of one half-width: [kind][row][tap].
struct Table {
  int32_t n = 0;
  float coef[3][kMaxTaps][kMaxTaps] = {};
};

// Coefficients of a0, a1, a2 on each sample of a window whose sample k lies at offset
// t = k - at from the evaluation point.
void fitRows(int taps, int at, long double rows[3][kMaxTaps]) {
  long double s[5] = {};  // sums of t^0 .. t^4
  for (int k = 0; k < taps; ++k) {
    long double p = 1;
    for (int e = 0; e < 5; ++e, p *= k - at) s[e] += p;
  }
  // Inverse of the symmetric 3 x 3 matrix [[s0 s1 s2] [s1 s2 s3] [s2 s3 s4]].
  const long double m[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
  long double inv[3][3];
  const long double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                          m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                          m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      inv[i][j] = (m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]) / det;
    }
  for (int k = 0; k < taps; ++k) {
    const long double t = k - at;
    for (int kind = 0; kind < 3; ++kind)
      rows[kind][k] = inv[kind][0] + inv[kind][1] * t + inv[kind][2] * t * t;
  }
}

Table makeTable(int32_t n) {
  Table table;
  table.n = n;
  for (int d = 0; d <= 2 * n; ++d) {
    const int taps = d == 0 ? 2 * n + 1 : d <= n ? d + n : d;
    const int at = d == 0 ? n : d <= n ? d - 1 : n;
    long double rows[3][kMaxTaps] = {};
    fitRows(taps, at, rows);
    for (int kind = 0; kind < 3; ++kind)
      for (int k = 0; k < taps; ++k) table.coef[kind][d][k] = static_cast<float>(rows[kind][k]);
  }
  if (n == 2) {
    const float pass[5] = {0.0f, -0.000001f, 1.000002f, -0.000001f, 0.0f};
    for (int k = 0; k < 5; ++k) table.coef[0][0][k] = pass[k];
  }
  return table;
}

const Table &table(int32_t sizeIndex) {
  static const std::array<Table, 3> tables = {makeTable(2), makeTable(6), makeTable(16)};
  return tables[static_cast<size_t>(sizeIndex)];
}

int32_t apply(const float *row, const float *samples, int32_t taps) {
  long double sum = 0;
  for (int32_t k = 0; k < taps; ++k) sum += static_cast<long double>(row[k]) * samples[k];
  return static_cast<int32_t>(sum);
}

}  // namespace

extern "C" int32_t pxlFilterCurve(PxlContext *ctx, const int32_t *curve, int32_t count,
                                  int32_t kind, int32_t sizeIndex, int32_t **out) {
  if (kind < 0 || kind > 2 || sizeIndex < 0 || sizeIndex > 2)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (curve == nullptr || out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  const Table &t = table(sizeIndex);
  const int32_t n = t.n;
  if (count < 2 * n + 1) return PXL_FAIL(ctx, kUnit, PXL_ERR_FEW_POINTS);
  if (*out == nullptr) {
    *out = static_cast<int32_t *>(pxl::allocRecordZeroed(ctx, size_t(count), sizeof(int32_t)));
    if (*out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  }
  auto *samples = static_cast<float *>(pxl::allocRecord(ctx, size_t(count) * sizeof(float)));
  if (samples == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  for (int32_t i = 0; i < count; ++i) samples[i] = static_cast<float>(curve[i]);
  for (int32_t i = 0; i < count; ++i) {
    const int32_t j = count - i;
    if (i <= n)
      (*out)[i] = apply(t.coef[kind][i + 1], samples, i + n + 1);
    else if (j > n)
      (*out)[i] = apply(t.coef[kind][0], samples + i - n, 2 * n + 1);
    else
      (*out)[i] = apply(t.coef[kind][n + j], samples + i - n, j + n);
  }
  pxl::freeRecord(ctx, samples);
  return 0;
}
