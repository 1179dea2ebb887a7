// The encoder state record: made with every default by norv_initEncState, freed with what hangs
// on it by norv_cleanEncState (pending page sources, then the output writer, which finishes and
// closes the output file, then the record).
//
// Clean-up also destroys the encoder, closes a log file the encoding start opened and gives the
// library state its error stream back.
//
// Failures: 118 for a null state or out-pointer, 1 when the record cannot be allocated, 2 for a
// null address at clean-up; the writer's close status is passed on once everything is freed.
#include <cstdio>

#include "enc_driver.h"
#include "norv_enc.h"
#include "output_writer.h"
#include "qtz_internal.h"

namespace {

size_t readHook(void *buffer, size_t size, size_t count, FILE *file) {
  return std::fread(buffer, size, count, file);
}
size_t writeHook(const void *buffer, size_t size, size_t count, FILE *file) {
  return std::fwrite(buffer, size, count, file);
}

void setDefaults(NorvEncState *enc, QtzState *state) {
  *enc = NorvEncState{};
  enc->encoder = nullptr;
  enc->componentSizeLimit = 1;
  enc->tokenOption1 = 10;
  enc->deskewPrecision = 3;
  enc->orientation = 0;
  enc->quarterTurns = 0;
  enc->jbig2Halftones = 0;
  enc->resolutionOverride = -1;
  enc->outputMode = 2;
  enc->tenthLimit = 1;
  enc->dictionaryMemoryLimit = -1;
  enc->matchFraction = 0.97f;
  enc->maxClusterErrors = 3;
  enc->widthRadius = 1;
  enc->heightRadius = 1;
  enc->freezeCount = 10000;
  enc->accumulateLimit = 10000;
  enc->countTemplateMinimum = 10;
  enc->countImageMinimum = 0;
  enc->shiftTrials = 8;
  enc->errorOffset = 3;
  enc->errorKnee = 6;
  enc->smallTokenSize = 6;
  enc->errorSlope = 2.0f;
  enc->dilationRadius = 1;
  enc->tokFlags = 0x18;
  enc->lossyState = state;
  enc->docState = state;
  enc->docComponentSizeLimit = 1;
  enc->docWords[0] = -1;
  enc->docWords[1] = -1;
  enc->docOption = 301;
  enc->docOption2 = 1;
  enc->docFlags[3] = 1;
  enc->jpegScale = 1.0f;
  enc->jpegQualityCopy = 90;
  enc->jpegQuality = 90;
  enc->backgroundDpi = 100;
  enc->output.file = nullptr;
  enc->output.seek = std::fseek;
  enc->output.tell = std::ftell;
  enc->output.read = readHook;
  enc->output.write = writeHook;
  enc->output.eof = std::feof;
  enc->flushPages = 50;
  enc->defaultDpi = 300;
  enc->sectionPages = 100;
}

}  // namespace

extern "C" int32_t norv_initEncState(QtzState *state, NorvEncState **enc) {
  if (state == nullptr) return QTZ_ERR_NULL;
  if (enc == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  auto *record = static_cast<NorvEncState *>(qtz::allocate(state, sizeof(NorvEncState)));
  if (record == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  setDefaults(record, state);
  *enc = record;
  return QTZ_OK;
}

extern "C" int32_t norv_cleanEncState(QtzState *state, NorvEncState **enc) {
  if (enc == nullptr) return qtz::report(state, QTZ_ERR_PARAM);
  NorvEncState *record = *enc;
  if (record == nullptr) return QTZ_OK;
  // Pending page sources, the encoder, then the writer, which finishes and closes the output.
  norvenc::releaseEncoding(state, record);
  int32_t status = QTZ_OK;
  if (record->writer != nullptr) status = norvenc::closeWriter(record->writer);
  record->writer = nullptr;
  norvenc::restoreErrorStream(state, record);
  qtz::release(state, record);
  *enc = nullptr;
  return status;
}
