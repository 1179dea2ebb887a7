// The conversion entry: a TIFF scan file to a TIFF-FX file with the encoder's defaults, every
// page through norv_encDocument, the file finished by the record's clean-up (which closes it
// through the writer; the file is closed here only when no writer took it).
#include "enc_convert.h"

#include <cerrno>
#include <cstdio>

#include "norv_enc.h"
#include "qtz_internal.h"

namespace {

constexpr int32_t kOpenFailedBase = 12000;

// Runs the record over the open output file; the record is cleaned up on every path.
int32_t encodeInto(QtzState *state, FILE *output, const char *tiffPath) {
  NorvEncState *enc = nullptr;
  if (const int32_t status = norv_initEncState(state, &enc); status != 0) {
    std::fclose(output);
    return status;
  }
  int32_t status = norv_encStart(state, enc, output, nullptr);
  // The writer took the file when it opened; otherwise it is still ours to close.
  if (enc->writer == nullptr) std::fclose(output);
  if (status == 0) status = norv_encDocument(state, enc, tiffPath, 1);
  const int32_t cleaned = norv_cleanEncState(state, &enc);
  return status != 0 ? status : cleaned;
}

}  // namespace

int32_t encodeTiffFileToTfx(const char *tiffPath, const char *tfxPath, QtzState *state) {
  if (state == nullptr) return QTZ_ERR_NULL;
  if (tiffPath == nullptr || tfxPath == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  FILE *output = std::fopen(tfxPath, "wb");
  if (output == nullptr) return qtz::report(state, kOpenFailedBase + errno);
  return encodeInto(state, output, tiffPath);
}

int32_t convertTiffFileToTfx(const char *inputPath, const char *outputPath) {
  QtzState *state = nullptr;
  if (const int32_t status =
          Qtz_initQtzState(&state, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 1, 1);
      status != 0)
    return status;
  const int32_t status = encodeTiffFileToTfx(inputPath, outputPath, state);
  Qtz_cleanupQtzState(&state);
  return status;
}
