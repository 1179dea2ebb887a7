// The JBIG2 output object: made around the back end's handle, ended with the current
// dictionary released before the handle is closed (the close frees the handle, and the
// release reaches the handle's dictionary lists).
#include "qtz_internal.h"
#include "tcly_out_internal.h"

extern "C" int32_t tcly_out_init(QtzState *state, TclyOutput **out, int32_t one, uint8_t writePdf,
                                 const void *optionBlock, int32_t tokenOption1, uint8_t spareByte,
                                 uint8_t pageDictFlagOff, int32_t outputMode, uint8_t verbose,
                                 const TclyOutOps *ops) {
  if (state == nullptr) return QTZ_ERR_PARAM;
  if (out == nullptr || ops == nullptr || ops->open == nullptr)
    return qtz::report(state, QTZ_ERR_NULL);
  auto *made = static_cast<TclyOutput *>(qtz::allocateZeroed(state, 1, sizeof(TclyOutput)));
  if (made == nullptr) return qtz::report(state, QTZ_ERR_NO_MEMORY);
  made->state = state;
  made->one = one;
  made->spareByte = spareByte;
  made->tokenOption1 = tokenOption1;
  made->pageDictFlagOff = pageDictFlagOff;
  made->optionBlock = optionBlock;
  made->verbose = verbose;
  made->ops = *ops;
  made->ops.user = nullptr;
  const int32_t status =
      made->ops.open(optionBlock, state, outputMode, 1, writePdf, &made->handle, &made->ops.user);
  if (status != QTZ_OK) {
    qtz::release(state, made);
    return status;
  }
  *out = made;
  return QTZ_OK;
}

extern "C" int32_t tcly_out_end(TclyOutput *out) {
  if (out == nullptr) return QTZ_OK;
  int32_t freed = QTZ_OK;
  if (out->dictionary != nullptr && out->ops.freeDict != nullptr)
    freed = out->ops.freeDict(out->dictionary, out->handle, out->ops.user);
  out->dictionary = nullptr;
  int32_t status = QTZ_OK;
  if (out->ops.close != nullptr) status = out->ops.close(out->handle, out->ops.user);
  qtz::release(out->state, out);
  return status != QTZ_OK ? status : freed;
}
