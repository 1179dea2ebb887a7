// The conversion entry of the view control: one TIFF scan file into a TIFF-FX file with the
// encoder's default options.
#ifndef NORV_ENC_CONVERT_H
#define NORV_ENC_CONVERT_H

#include <cstdint>

#include "qtz_state.h"

// Converts with a library state of its own (default allocators and pools, messages to the
// standard error stream), freed before returning. The status of encodeTiffFileToTfx, or the
// state's when it cannot be made.
int32_t convertTiffFileToTfx(const char *inputPath, const char *outputPath);

// Every page of tiffPath into a new TIFF-FX file at tfxPath, through the state. 0 on success;
// 118 a null path, 12000 + errno when the output cannot be created (the C library's text),
// else the status of the encoding or of finishing the file (all reported). A failed run leaves
// the sections written before the failure in the file.
int32_t encodeTiffFileToTfx(const char *tiffPath, const char *tfxPath, QtzState *state);

#endif
