// Records of the container library's two layers and the rules that every operation applies to
// them first.
//
// Every record opens with a self pointer (its own address) and a 32-bit magic word: handle-layer
// records (context, document, page and IFD handles) carry kHandleMagic, engine records (the TIFF
// engine object and its document, page and IFD records) kEngineMagic. Validation gives 2 for a
// null pointer or a record whose self pointer is not its own address and 10000 for a wrong magic;
// handles below a document then dispatch on their document's kind.
#ifndef OVR_RECORDS_H
#define OVR_RECORDS_H

#include <cstdint>
#include <cstring>

#include "ovr_alloc_internal.h"
#include "ovr_context.h"

// Engine records of an open document; defined by the reading and writing engines.
struct OvrDocument;
struct OvrPageRecord;
struct OvrIfdRecord;
struct OvrTiffObject;

namespace ovr {

constexpr uint32_t kHandleMagic = 0x00494F00;
constexpr uint32_t kEngineMagic = 0x54465800;
constexpr uint32_t kContextVersion = 0x123abc00;
constexpr uint32_t kEngineVersion = 0x123abc02;

// Document kinds 1-18: 11 is what classification gives a TIFF stream; the TIFF-FX profile code
// of an engine kind is kind - 5.
constexpr uint32_t kKindTiff = 11;
constexpr uint32_t kKindMax = 18;

// Status of any operation on a document of this kind before it does work: 0 for the kinds the
// TIFF engine handles; kinds 1-5 (other formats) give `unsupported` (6, or 10000 for the
// operation that sets a raw compression value); refused kinds 8, 10, 14, kind 0 and kinds above
// 18 give 2.
int32_t kindStatus(uint32_t kind, int32_t unsupported = OVR_ERR_UNSUPPORTED);
inline uint32_t profileCodeOfKind(uint32_t kind) {
  return kind - 5;
}
// The Mixed Raster Content profiles (codes 6, 8, 12, 13): several IFDs per page in layers, with
// ImageLayer tags and SubIFDs; an IFD there may be an empty stripe without strip tables.
inline bool isMrcProfile(uint32_t profileCode) {
  return profileCode == 6 || profileCode == 8 || profileCode == 12 || profileCode == 13;
}

// 0 when p is a record of the layer with this magic, else 2 or 10000 as above.
inline int32_t validateRecord(const void *p, uint32_t magic) {
  if (p == nullptr) return OVR_ERR_PARAM;
  struct Head {
    const void *self;
    uint32_t magic;
  } head;
  std::memcpy(&head, p, sizeof head);
  if (head.self != p) return OVR_ERR_PARAM;
  return head.magic == magic ? OVR_OK : OVR_ERR_MAGIC;
}

}  // namespace ovr

// The I/O context (handle layer).
struct OvrIoContext {
  void *self;
  uint32_t magic;
  uint32_t version;
  uint32_t clientWord;
  OvrAllocFn alloc;
  OvrFreeFn free;
  void *user;                  // given to both callbacks; by default the usage record below
  ovr::Usage *usage;           // the usage record
  void *handlersFirstFamily;   // handlers of document kinds 1-2: never created
  void *handlersSecondFamily;  // handlers of document kinds 3-5: never created
  OvrTiffObject *engine;       // made on first use by an open or create
  ovr::Usage usageRecord;
};

// The TIFF engine object, shared by all documents of a context.
struct OvrTiffObject {
  void *self;
  uint32_t magic;
  uint32_t serialCounter;  // each new engine document takes counter + 1
  uint32_t version;
  uint32_t clientWord;
  OvrAllocFn alloc;
  OvrFreeFn free;
  void *user;
  ovr::Usage usageRecord;
};

// The stream record of a document: the caller's stream value and hooks.
struct OvrStream {
  void *self;
  void *client;  // passed unchanged to every hook
  OvrReadHook read;
  OvrWriteHook write;
  OvrSeekHook seek;
  OvrSeekEndHook seekEnd;
  OvrTellHook tell;
  uint32_t swap;    // set when the file is big-endian
  uint32_t failed;  // sticky: once set, every later write fails with 12
  OvrIoContext *ctx;
};

struct OvrDocHandle {
  void *self;
  uint32_t magic;
  uint32_t kind;
  OvrDocument *doc;
  OvrStream *stream;
  OvrPageHandle *pages;     // in order of creation
  OvrPageHandle *lastPage;  // the list's tail
};

struct OvrPageHandle {
  void *self;
  uint32_t magic;
  OvrPageRecord *page;
  OvrPageHandle *next;
  OvrIfdHandle *ifds;  // in order of creation
  OvrDocHandle *owner;
  OvrIfdHandle *lastIfd;  // the list's tail
};

struct OvrIfdHandle {
  void *self;
  uint32_t magic;
  OvrIfdRecord *ifd;
  OvrIfdHandle *next;
  OvrPageHandle *owner;
};

namespace ovr {

// The caller's stream value and hooks, as an open or create receives them.
struct StreamHooks {
  void *client = nullptr;
  OvrReadHook read = nullptr;
  OvrWriteHook write = nullptr;
  OvrSeekHook seek = nullptr;
  OvrSeekEndHook seekEnd = nullptr;
  OvrTellHook tell = nullptr;
};

// The context's callbacks (ctx must be valid).
inline Allocator contextAllocator(const OvrIoContext *ctx) {
  return Allocator{ctx->alloc, ctx->free, ctx->user};
}

// The context's engine object, created on first use with the context's callbacks. 1 no memory.
int32_t contextEngine(OvrIoContext *ctx, OvrTiffObject **engine);
// The serial number of a new engine document.
inline uint32_t nextDocumentSerial(OvrTiffObject *engine) {
  return ++engine->serialCounter;
}

// Validation of a handle and, below a document, of its owners, followed by the kind dispatch of
// kindStatus with `unsupported` for kinds 1-5.
int32_t checkContext(const OvrIoContext *ctx);
int32_t checkDocHandle(const OvrDocHandle *doc, int32_t unsupported = OVR_ERR_UNSUPPORTED);
int32_t checkPageHandle(const OvrPageHandle *page, int32_t unsupported = OVR_ERR_UNSUPPORTED);
int32_t checkIfdHandle(const OvrIfdHandle *ifd, int32_t unsupported = OVR_ERR_UNSUPPORTED);

// Makes a document handle of `kind` with its stream record over the caller's hooks, from the
// context's allocator. 1 no memory; 2 / 10000 for a bad context.
int32_t createDocHandle(OvrIoContext *ctx, uint32_t kind, const StreamHooks &hooks,
                        OvrDocHandle **out);
// The handle of an engine page (or IFD) record: the one made before for that record (which the
// record keeps), or a new one appended to the owner's list. 1 no memory.
int32_t pageHandleFor(OvrDocHandle *doc, OvrPageRecord *page, OvrPageHandle **out);
int32_t ifdHandleFor(OvrPageHandle *page, OvrIfdRecord *ifd, OvrIfdHandle **out);
// Frees the document's IFD handles, then its page handles, the stream record and the handle.
void freeDocHandle(OvrDocHandle *doc);

}  // namespace ovr

// The engine object; a context makes its own through contextEngine.
int32_t ovrCreateTiffObject(uint32_t clientWord, OvrTiffObject **obj);
int32_t ovrSetTiffObjectAllocator(OvrTiffObject *obj, void *user, OvrAllocFn alloc,
                                  OvrFreeFn release);
int32_t ovrDestroyTiffObject(OvrTiffObject *obj);

#endif
