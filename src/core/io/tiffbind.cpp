// TIFF library binding: opening files by path, descriptor or client procedures with the core
// context first, routing the library's messages for each file to that context, and closing.
//
// libtiff is used through its public interface only. Each file gets a client record from the
// context's pixel allocator set (the record, then a copy of the name) that holds the context,
// the caller's client handle and procedures; the record is libtiff's client data and the
// user value of the file's error and warning handlers (TIFFOpenOptions), so every message the
// library issues for the file arrives here with the file's context. libtiff's process-wide
// handlers are cleared once, so no message ever goes to stderr.
//
// The record's procedures forward to the caller's; the write procedure notes short writes and
// the close procedure notes failures, so that a close can report a file that did not reach
// the disk (2001) although libtiff's own close returns nothing. A file that is abandoned
// stops writing: libtiff's closing writes are dropped, so the file keeps what it holds.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "pxl_internal.h"
#include "pxl_tiff.h"

struct PxlTiffClient {
  PxlContext *ctx;
  thandle_t handle;
  TIFFReadWriteProc read;
  TIFFReadWriteProc write;
  TIFFSeekProc seek;
  TIFFCloseProc close;
  TIFFSizeProc size;
  TIFFMapFileProc map;
  TIFFUnmapFileProc unmap;
  int32_t keepHandleOpen;  // set by pxlTiffCloseContents: libtiff's close leaves the handle
  int32_t writeFailed;     // a write procedure call stored fewer bytes than asked
  int32_t closeFailed;     // the close procedure failed
  int32_t discardWrites;   // set by pxlTiffAbandon: writes are dropped (and count as done)
  const char *name;        // copy stored right behind the record
};

namespace {

// Largest single allocation libtiff may make for one of our files (directory arrays, strip
// buffers it allocates itself); file data asking for more is refused by libtiff.
constexpr tmsize_t kMaxLibraryBlock = tmsize_t{1} << 30;
constexpr size_t kLineSize = 512;

void installProcessHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandlerExt(nullptr);
    TIFFSetWarningHandlerExt(nullptr);
  });
}

void deliver(PxlContext *ctx, bool error, const char *module, const char *format, va_list args) {
  if (ctx == nullptr || ctx->message == nullptr) return;
  char text[kLineSize];
  std::vsnprintf(text, sizeof text, format, args);
  const char *prefix = error ? (module ? "Disaster in " : "Disaster: ")
                             : (module ? "Minor Problem in " : "Minor Problem: ");
  char line[kLineSize];
  int head = module ? std::snprintf(line, sizeof line, "%s%.200s: ", prefix, module)
                    : std::snprintf(line, sizeof line, "%s", prefix);
  // Room for the text, then ".\n" and the terminator: a long text is cut, the ending kept.
  int room = static_cast<int>(sizeof line) - head - 3;
  std::snprintf(line + head, sizeof line - head, "%.*s.\n", room, text);
  ctx->message(ctx->messageUser, line);
}

int fileError(TIFF *, void *user, const char *module, const char *format, va_list args) {
  deliver(static_cast<PxlTiffClient *>(user)->ctx, true, module, format, args);
  return 1;
}
int fileWarning(TIFF *, void *user, const char *module, const char *format, va_list args) {
  deliver(static_cast<PxlTiffClient *>(user)->ctx, false, module, format, args);
  return 1;
}

// The mode's open flags, or -1 for a mode libtiff does not accept.
int openFlags(const char *mode) {
  if (mode == nullptr) return -1;
  switch (mode[0]) {
    case 'r':
      return mode[1] == '+' ? O_RDWR : O_RDONLY;
    case 'w':
      return O_RDWR | O_CREAT | O_TRUNC;
    case 'a':
      return O_RDWR | O_CREAT;
    default:
      return -1;
  }
}

PxlTiffClient *clientOf(thandle_t data) {
  return static_cast<PxlTiffClient *>(data);
}

tmsize_t clientRead(thandle_t data, void *buffer, tmsize_t count) {
  PxlTiffClient *c = clientOf(data);
  return c->read(c->handle, buffer, count);
}
tmsize_t clientWrite(thandle_t data, void *buffer, tmsize_t count) {
  PxlTiffClient *c = clientOf(data);
  if (c->discardWrites) return count;
  tmsize_t written = c->write(c->handle, buffer, count);
  if (written != count) c->writeFailed = 1;
  return written;
}
toff_t clientSeek(thandle_t data, toff_t offset, int whence) {
  PxlTiffClient *c = clientOf(data);
  return c->seek(c->handle, offset, whence);
}
int clientClose(thandle_t data) {
  PxlTiffClient *c = clientOf(data);
  if (c->keepHandleOpen) return 0;
  int result = c->close(c->handle);
  if (result != 0) c->closeFailed = 1;
  return result;
}
toff_t clientSize(thandle_t data) {
  PxlTiffClient *c = clientOf(data);
  return c->size(c->handle);
}
int clientMap(thandle_t data, void **base, toff_t *size) {
  PxlTiffClient *c = clientOf(data);
  return c->map ? c->map(c->handle, base, size) : 0;
}
void clientUnmap(thandle_t data, void *base, toff_t size) {
  PxlTiffClient *c = clientOf(data);
  if (c->unmap) c->unmap(c->handle, base, size);
}

void freeClient(PxlTiffClient *client) {
  PxlContext *ctx = client->ctx;
  ctx->release[PXL_SET_PIXELS](client, 0, ctx->user[PXL_SET_PIXELS]);
}

int fdOf(thandle_t handle) {
  return static_cast<int>(reinterpret_cast<intptr_t>(handle));
}
thandle_t handleOf(int fd) {
  return reinterpret_cast<thandle_t>(static_cast<intptr_t>(fd));
}

// 0 when every write reached the handle and the close succeeded.
int32_t closeStatus(const PxlTiffClient *client, bool flushed) {
  return (flushed && !client->writeFailed && !client->closeFailed) ? int32_t{PXL_OK}
                                                                   : int32_t{PXL_ERR_FILE_WRITE};
}

// Flushes a writable file and releases libtiff's state; the client record stays.
bool closeLibraryState(TIFF *tif) {
  bool flushed = true;
  if (TIFFGetMode(tif) != O_RDONLY) flushed = TIFFFlush(tif) != 0;
  TIFFClose(tif);
  return flushed;
}

}  // namespace

extern "C" {

void pxlTiffWarningHandler(PxlContext *ctx, const char *module, const char *format, va_list args) {
  deliver(ctx, false, module, format, args);
}

void pxlTiffErrorHandler(PxlContext *ctx, const char *module, const char *format, va_list args) {
  deliver(ctx, true, module, format, args);
}

void pxlTiffReportError(PxlContext *ctx, const char *module, const char *format, ...) {
  va_list args;
  va_start(args, format);
  deliver(ctx, true, module, format, args);
  va_end(args);
}

void pxlTiffReportWarning(PxlContext *ctx, const char *module, const char *format, ...) {
  va_list args;
  va_start(args, format);
  deliver(ctx, false, module, format, args);
  va_end(args);
}

TIFF *pxlTiffClientOpen(PxlContext *ctx, const char *name, const char *mode, thandle_t handle,
                        TIFFReadWriteProc readProc, TIFFReadWriteProc writeProc,
                        TIFFSeekProc seekProc, TIFFCloseProc closeProc, TIFFSizeProc sizeProc,
                        TIFFMapFileProc mapProc, TIFFUnmapFileProc unmapProc) {
  static const char kModule[] = "TIFFClientOpen";
  installProcessHandlers();
  if (name == nullptr) name = "";
  if (openFlags(mode) < 0) {
    pxlTiffReportError(ctx, kModule, "\"%s\": Bad mode", mode ? mode : "");
    return nullptr;
  }
  if (readProc == nullptr || writeProc == nullptr || seekProc == nullptr || closeProc == nullptr ||
      sizeProc == nullptr) {
    pxlTiffReportError(ctx, kModule, "%s: Missing client procedure", name);
    return nullptr;
  }
  const size_t nameLength = std::strlen(name);
  void *block = nullptr;
  if (ctx != nullptr)
    block = ctx->allocate[PXL_SET_PIXELS](sizeof(PxlTiffClient) + nameLength + 1, 0,
                                          ctx->user[PXL_SET_PIXELS]);
  TIFFOpenOptions *options = block ? TIFFOpenOptionsAlloc() : nullptr;
  if (options == nullptr) {
    pxlTiffReportError(ctx, kModule, "%s: Out of memory (TIFF structure)", name);
    if (block != nullptr) ctx->release[PXL_SET_PIXELS](block, 0, ctx->user[PXL_SET_PIXELS]);
    closeProc(handle);
    return nullptr;
  }
  std::memset(block, 0, sizeof(PxlTiffClient) + nameLength + 1);
  auto *client = static_cast<PxlTiffClient *>(block);
  char *nameCopy = static_cast<char *>(block) + sizeof(PxlTiffClient);
  std::memcpy(nameCopy, name, nameLength);
  *client = PxlTiffClient{ctx,     handle,    readProc, writeProc, seekProc, closeProc, sizeProc,
                          mapProc, unmapProc, 0,        0,         0,        0,         nameCopy};

  TIFFOpenOptionsSetErrorHandlerExtR(options, fileError, client);
  TIFFOpenOptionsSetWarningHandlerExtR(options, fileWarning, client);
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxLibraryBlock);
  TIFF *tif = TIFFClientOpenExt(nameCopy, mode, client, clientRead, clientWrite, clientSeek,
                                clientClose, clientSize, clientMap, clientUnmap, options);
  TIFFOpenOptionsFree(options);
  if (tif == nullptr) {
    // libtiff reported why; its failed open leaves the handle to us.
    closeProc(handle);
    freeClient(client);
  }
  return tif;
}

TIFF *pxlTiffFdOpen(PxlContext *ctx, int fd, const char *name, const char *mode) {
  TIFF *tif = pxlTiffClientOpen(ctx, name, mode, handleOf(fd), pxlTiffReadProc, pxlTiffWriteProc,
                                pxlTiffSeekProc, pxlTiffCloseProc, pxlTiffSizeProc, pxlTiffMapProc,
                                pxlTiffUnmapProc);
  if (tif != nullptr) TIFFSetFileno(tif, fd);
  return tif;
}

TIFF *pxlTiffOpen(PxlContext *ctx, const char *path, const char *mode) {
  static const char kModule[] = "TIFFOpen";
  installProcessHandlers();
  const int flags = openFlags(mode);
  if (flags < 0) {
    pxlTiffReportError(ctx, kModule, "\"%s\": Bad mode", mode ? mode : "");
    return nullptr;
  }
  const int fd = path ? ::open(path, flags | O_CLOEXEC, 0666) : -1;
  if (fd < 0) {
    pxlTiffReportError(ctx, kModule, "%s: Cannot open", path ? path : "");
    return nullptr;
  }
  return pxlTiffFdOpen(ctx, fd, path, mode);
}

int32_t pxlTiffClose(TIFF *tif) {
  if (tif == nullptr) return PXL_OK;
  PxlTiffClient *client = clientOf(TIFFClientdata(tif));
  const bool flushed = closeLibraryState(tif);
  const int32_t status = closeStatus(client, flushed);
  freeClient(client);
  return status;
}

void pxlTiffAbandon(TIFF *tif) {
  if (tif == nullptr) return;
  PxlTiffClient *client = clientOf(TIFFClientdata(tif));
  client->discardWrites = 1;
  closeLibraryState(tif);
  freeClient(client);
}

int32_t pxlTiffCloseContents(TIFF *tif, PxlTiffClient **out) {
  if (tif == nullptr || out == nullptr) return PXL_ERR_PARAM;
  PxlTiffClient *client = clientOf(TIFFClientdata(tif));
  client->keepHandleOpen = 1;
  const bool flushed = closeLibraryState(tif);
  *out = client;
  return closeStatus(client, flushed);
}

int32_t pxlTiffReleaseClient(PxlTiffClient *client) {
  if (client == nullptr) return PXL_OK;
  const int32_t status =
      client->close(client->handle) == 0 ? int32_t{PXL_OK} : int32_t{PXL_ERR_FILE_WRITE};
  freeClient(client);
  return status;
}

PxlContext *pxlTiffGetContext(TIFF *tif) {
  return tif ? clientOf(TIFFClientdata(tif))->ctx : nullptr;
}

thandle_t pxlTiffClientHandle(PxlTiffClient *client) {
  return client ? client->handle : nullptr;
}

tmsize_t pxlTiffReadProc(thandle_t handle, void *buffer, tmsize_t count) {
  return ::read(fdOf(handle), buffer, static_cast<size_t>(count));
}

tmsize_t pxlTiffWriteProc(thandle_t handle, void *buffer, tmsize_t count) {
  return ::write(fdOf(handle), buffer, static_cast<size_t>(count));
}

toff_t pxlTiffSeekProc(thandle_t handle, toff_t offset, int whence) {
  return static_cast<toff_t>(::lseek(fdOf(handle), static_cast<off_t>(offset), whence));
}

int pxlTiffCloseProc(thandle_t handle) {
  return ::close(fdOf(handle));
}

toff_t pxlTiffSizeProc(thandle_t handle) {
  struct stat info;
  if (::fstat(fdOf(handle), &info) != 0) return 0;
  return static_cast<toff_t>(info.st_size);
}

int pxlTiffMapProc(thandle_t, void **, toff_t *) {
  return 0;
}

void pxlTiffUnmapProc(thandle_t, void *, toff_t) {}

void *pxlTiffMalloc(TIFF *tif, tmsize_t size) {
  PxlContext *ctx = pxlTiffGetContext(tif);
  if (ctx == nullptr || size < 0) return nullptr;
  return ctx->allocate[PXL_SET_PIXELS](static_cast<size_t>(size), 0, ctx->user[PXL_SET_PIXELS]);
}

void pxlTiffFree(TIFF *tif, void *block) {
  PxlContext *ctx = pxlTiffGetContext(tif);
  if (ctx != nullptr && block != nullptr)
    ctx->release[PXL_SET_PIXELS](block, 0, ctx->user[PXL_SET_PIXELS]);
}

void *pxlTiffRealloc(TIFF *tif, void *block, tmsize_t size) {
  PxlContext *ctx = pxlTiffGetContext(tif);
  if (ctx == nullptr || size < 0) return nullptr;
  return ctx->resize[PXL_SET_PIXELS](block, static_cast<size_t>(size), 0,
                                     ctx->user[PXL_SET_PIXELS]);
}

void pxlTiffMemset(void *destination, int value, tmsize_t count) {
  if (count > 0) std::memset(destination, value, static_cast<size_t>(count));
}

void pxlTiffMemcpy(void *destination, const void *source, tmsize_t count) {
  if (count > 0) std::memcpy(destination, source, static_cast<size_t>(count));
}

int pxlTiffMemcmp(const void *a, const void *b, tmsize_t count) {
  if (count <= 0) return 0;
  const int c = std::memcmp(a, b, static_cast<size_t>(count));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // extern "C"
