// Destination manager that hands the compressed bytes to the caller's write callback in
// blocks of 4096 bytes. The record comes from the library's permanent pool the first time a
// destination is installed on an object and is reused after that; the output buffer comes
// from the image pool when compression starts.
//
// The callback must take every byte it is given. A non-zero callback status ends the
// compression with that status; any short count, including 0, raises 36 ("Output file
// write error"): this binding never suspends, so a callback that takes nothing must not
// leave the library retrying forever. The methods run under a guard and hold plain data only.
#include "jcxapi.h"

namespace {

struct Destination {
  jpeg_destination_mgr pub;
  void *user;
  PxlJpegWriteFn write;
  JOCTET *buffer;
  PxlContext *ctx;
};

JcxCompressObject *objectOf(j_compress_ptr cinfo) {
  return reinterpret_cast<JcxCompressObject *>(cinfo);
}

// Hands count bytes from the buffer to the callback; a failure leaves the step.
void deliver(j_compress_ptr cinfo, Destination *dest, int32_t count) {
  int32_t written = 0;
  const int32_t status = dest->write(dest->ctx, dest->user, dest->buffer, count, &written);
  if (status != 0) jcxRaise(objectOf(cinfo), status, "Write callback failed");
  if (written != count) ERREXIT(cinfo, JERR_FILE_WRITE);
}

void initDestination(j_compress_ptr cinfo) {
  auto *dest = reinterpret_cast<Destination *>(cinfo->dest);
  dest->buffer = static_cast<JOCTET *>((*cinfo->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, JCX_OUTPUT_BLOCK));
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = JCX_OUTPUT_BLOCK;
}

boolean emptyOutputBuffer(j_compress_ptr cinfo) {
  auto *dest = reinterpret_cast<Destination *>(cinfo->dest);
  deliver(cinfo, dest, JCX_OUTPUT_BLOCK);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = JCX_OUTPUT_BLOCK;
  return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
  auto *dest = reinterpret_cast<Destination *>(cinfo->dest);
  const auto count = static_cast<int32_t>(JCX_OUTPUT_BLOCK - dest->pub.free_in_buffer);
  if (count > 0) deliver(cinfo, dest, count);
}

struct InstallArgs {
  PxlContext *ctx;
  void *user;
  PxlJpegWriteFn write;
};

void install(JcxCompressObject *object, void *arg) {
  const auto *a = static_cast<const InstallArgs *>(arg);
  j_compress_ptr cinfo = &object->cinfo;
  if (cinfo->dest == nullptr) {
    cinfo->dest = static_cast<jpeg_destination_mgr *>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(Destination)));
  }
  auto *dest = reinterpret_cast<Destination *>(cinfo->dest);
  dest->pub.init_destination = initDestination;
  dest->pub.empty_output_buffer = emptyOutputBuffer;
  dest->pub.term_destination = termDestination;
  dest->user = a->user;
  dest->write = a->write;
  dest->buffer = nullptr;
  dest->ctx = a->ctx;
}

}  // namespace

extern "C" int32_t jpeg_callback_dest(PxlContext *ctx, JcxCompressObject *object, void *user,
                                      PxlJpegWriteFn write) {
  if (const int32_t status = jcxCheckObject(object); status != 0) return status;
  InstallArgs args{ctx, user, write};
  return jcxGuard(object, install, &args);
}
