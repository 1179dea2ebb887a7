// Conversion of a TIFF document through the exported encoding calls (see e2e_encode.h).
#include <cstdio>

#include "e2e_encode.h"

namespace e2e {

const char *nameOf(Output output) {
  switch (output) {
    case Output::Tfx:
      return "TIFF-FX";
    case Output::Jbig2:
      return "raw JBIG2";
    case Output::Pdf:
      return "PDF";
  }
  return "?";
}

const char *nameOf(Mode mode) {
  switch (mode) {
    case Mode::Lossless:
      return "lossless";
    case Mode::Lossy:
      return "lossy";
    case Mode::Generic:
      return "generic";
  }
  return "?";
}

int32_t applyOptions(NorvEncState *enc, const EncodeOptions &options) {
  const uint8_t raw = options.output != Output::Tfx ? 1 : 0;
  const uint8_t pdf = options.output == Output::Pdf ? 1 : 0;
  const uint8_t generic = options.mode == Mode::Generic ? 1 : 0;
  const int32_t *section = options.sectionPages > 0 ? &options.sectionPages : nullptr;
  const int32_t *flush = options.flushPages > 0 ? &options.flushPages : nullptr;
  const int32_t *outputMode = options.outputMode > 0 ? &options.outputMode : nullptr;
  const uint8_t halftones = 1;
  int32_t status =
      norv_setGeneralEncOptions(enc, options.halftones ? &halftones : nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr, outputMode, nullptr, nullptr, nullptr,
                                nullptr, nullptr, &generic, flush, section, nullptr, &raw, &pdf);
  if (status != 0 || options.mode != Mode::Lossless) return status;
  // Lossless symbols: a token joins a class only when it matches without error and without the
  // one-pixel tolerance of the dilated comparison.
  const float exact = 1.0f;
  const int32_t noErrors = 0;
  const int32_t noDilation = 0;
  return norv_setTokenOptions(enc, nullptr, &exact, &noErrors, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &noDilation,
                              nullptr, nullptr);
}

int32_t encodeTiff(QtzState *state, const std::string &tiffPath, const std::string &outPath,
                   const EncodeOptions &options, FILE *out) {
  FILE *file = out != nullptr ? out : std::fopen(outPath.c_str(), "wb");
  if (file == nullptr) return -1;
  NorvEncState *enc = nullptr;
  int32_t status = norv_initEncState(state, &enc);
  if (status == 0) status = applyOptions(enc, options);
  if (status == 0) status = norv_encStart(state, enc, file, nullptr);
  if (status == 0) status = norv_encDocument(state, enc, tiffPath.c_str(), 1);
  // From a successful writer open on the file is the writer's, closed by the clean-up.
  const bool writerOwnsFile = enc != nullptr && enc->writer != nullptr;
  const int32_t clean = norv_cleanEncState(state, &enc);
  if (!writerOwnsFile) std::fclose(file);
  return status != 0 ? status : clean;
}

}  // namespace e2e
