// Conversion of a TIFF document through the exported encoding calls (norv_initEncState, the
// option setters, norv_encStart, norv_encDocument, norv_cleanEncState) into TIFF-FX, raw JBIG2
// or PDF, in one of three settings. Shared by the end-to-end tests and the encoder's size and
// speed table (bench/encode_table.cpp).
#ifndef NORV_E2E_ENCODE_H
#define NORV_E2E_ENCODE_H

#include <cstdint>
#include <cstdio>
#include <string>

#include "norv_enc.h"
#include "qtz_state.h"

namespace e2e {

enum class Output { Tfx, Jbig2, Pdf };
// Lossless symbol coding, the default lossy settings, or no symbol matching (every component an
// exact shape; the option the encoder has for generic coding).
enum class Mode { Lossless, Lossy, Generic };

const char *nameOf(Output output);
const char *nameOf(Mode mode);

struct EncodeOptions {
  Output output = Output::Tfx;
  Mode mode = Mode::Lossy;
  int32_t sectionPages = 0;  // 0 keeps the default
  int32_t flushPages = 0;    // 0 keeps the default
  // JBIG2 output mode: 0 keeps the default (2: MMR generic regions, Huffman-coded symbol
  // dictionaries and text regions); 3 codes all of them with the arithmetic coder.
  int32_t outputMode = 0;
  // Screened pictures found on a page coded as pattern dictionaries and halftone regions.
  bool halftones = false;
};

// Applies the options to a fresh encoder state (output kind, mode, section and flush sizes);
// the first refused setter's status.
int32_t applyOptions(NorvEncState *enc, const EncodeOptions &options);

// Converts the TIFF into the output file through the exported calls and closes everything; the
// first status that was not 0 (the clean-up's when everything before it succeeded). The
// output stream is `out` when given (the encoder closes it), else outPath opened "wb".
int32_t encodeTiff(QtzState *state, const std::string &tiffPath, const std::string &outPath,
                   const EncodeOptions &options, FILE *out = nullptr);

}  // namespace e2e

#endif
