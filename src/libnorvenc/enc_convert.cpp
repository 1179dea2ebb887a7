// The conversion entry: a TIFF scan file to a TIFF-FX file with the encoder's defaults, every
// page through norv_encDocument, the file finished by the record's clean-up (which closes it
// through the writer; the file is closed here only when no writer took it).
//
// The output is written under a temporary name in the output's directory and takes the
// output's name only once the whole document is written and closed; a failed conversion removes
// it, so the output name names the whole document or stays as it was (absent, or the file that
// had the name before).
#include "enc_convert.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "norv_enc.h"
#include "qtz_internal.h"
#include "qtz_owners_internal.h"

namespace {

constexpr int32_t kOpenFailedBase = 12000;
constexpr char kTempSuffix[] = ".XXXXXX";

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

// 12000 + errno, reported with the C library's text.
int32_t systemFailure(QtzState *state) {
  return qtz::report(state, kOpenFailedBase + errno);
}

// A new file "<directory>/.<name>.XXXXXX" beside outputPath, open for binary writing, with the
// permissions a file created by fopen would have. The name goes to *tempPath (the state's
// block, the caller's to release); null and 12000 + errno when it cannot be made.
FILE *openTempBeside(QtzState *state, const char *outputPath, char **tempPath, int32_t *status) {
  const char *slash = std::strrchr(outputPath, '/');
  const size_t dirLength = slash == nullptr ? 0 : static_cast<size_t>(slash - outputPath) + 1;
  const size_t size = std::strlen(outputPath) + 1 + sizeof kTempSuffix;
  qtz::OwnedBlock<char> name(state, static_cast<char *>(qtz::allocate(state, size)));
  if (!name) {
    *status = qtz::report(state, QTZ_ERR_NO_MEMORY);
    return nullptr;
  }
  std::snprintf(name.get(), size, "%.*s.%s%s", static_cast<int>(dirLength), outputPath,
                outputPath + dirLength, kTempSuffix);
  const int fd = mkstemp(name.get());
  if (fd < 0) {
    *status = systemFailure(state);
    return nullptr;
  }
  const mode_t mask = umask(0);
  umask(mask);
  FILE *file = fchmod(fd, 0666 & ~mask) == 0 ? fdopen(fd, "wb") : nullptr;
  if (file == nullptr) {
    *status = systemFailure(state);
    close(fd);
    unlink(name.get());
    return nullptr;
  }
  *tempPath = name.release();
  return file;
}

}  // namespace

int32_t encodeTiffFileToTfx(const char *tiffPath, const char *tfxPath, QtzState *state) {
  if (state == nullptr) return QTZ_ERR_NULL;
  if (tiffPath == nullptr || tfxPath == nullptr) return qtz::report(state, QTZ_ERR_NULL);
  char *tempPath = nullptr;
  int32_t status = QTZ_OK;
  FILE *output = openTempBeside(state, tfxPath, &tempPath, &status);
  if (output == nullptr) return status;
  qtz::OwnedBlock<char> temp(state, tempPath);
  status = encodeInto(state, output, tiffPath);
  if (status == QTZ_OK && std::rename(temp.get(), tfxPath) != 0) status = systemFailure(state);
  if (status != QTZ_OK) unlink(temp.get());
  return status;
}

int32_t describeConversionFailure(const char *inputPath, const char *outputPath, int32_t status,
                                  char *text, size_t size) {
  if (text == nullptr || size == 0) return 0;
  if (status == 0) {
    text[0] = '\0';
    return 0;
  }
  const char *in = inputPath != nullptr ? inputPath : "(none)";
  const char *out = outputPath != nullptr ? outputPath : "(none)";
  return std::snprintf(text, size, "Could not convert \"%s\" to \"%s\": %s (status %d).", in, out,
                       Qtz_getErrStr(status), status);
}

int32_t convertTiffFileToTfx(const char *inputPath, const char *outputPath) {
  QtzState *state = nullptr;
  // The layers' messages are dropped: the caller gets one sentence on the standard error stream.
  int32_t status = Qtz_initQtzState(&state, nullptr, nullptr, nullptr, Qtz_fileErrPrinter, 1, 1);
  if (status == 0) status = encodeTiffFileToTfx(inputPath, outputPath, state);
  if (state != nullptr) Qtz_cleanupQtzState(&state);
  if (status != 0) {
    char message[kConversionMessageSize];
    describeConversionFailure(inputPath, outputPath, status, message, sizeof message);
    std::fprintf(stderr, "%s\n", message);
  }
  return status;
}
