// The conversion entry of the view control: one TIFF scan file into a TIFF-FX file with the
// encoder's default options.
#ifndef NORV_ENC_CONVERT_H
#define NORV_ENC_CONVERT_H

#include <cstddef>
#include <cstdint>

#include "qtz_state.h"

// Room for the one-sentence message of a failed conversion, paths of ordinary length included.
constexpr size_t kConversionMessageSize = 1024;

// Converts with a library state of its own (default allocators and pools), freed before
// returning. The layers' messages are dropped: a failure prints one sentence
// (describeConversionFailure) on the standard error stream. The status of encodeTiffFileToTfx,
// or the state's when it cannot be made.
int32_t convertTiffFileToTfx(const char *inputPath, const char *outputPath);

// Every page of tiffPath into a TIFF-FX file at tfxPath, through the state. 0 on success; 118 a
// null path, 12000 + errno when the output cannot be created or take its name (the C library's
// text), else the status of the encoding or of finishing the file (all reported). The file is
// written under a temporary name beside tfxPath and renamed once complete: after a failure
// tfxPath is as it was before the call and no temporary file remains.
int32_t encodeTiffFileToTfx(const char *tiffPath, const char *tfxPath, QtzState *state);

// The sentence that tells a user what failed: both paths, the status's text and the status
// ("Could not convert "a.tif" to "b.tfx": Error during write (status 2001)."), cut to size
// bytes with its terminating zero; empty for status 0. The length snprintf gives.
int32_t describeConversionFailure(const char *inputPath, const char *outputPath, int32_t status,
                                  char *text, size_t size);

#endif
