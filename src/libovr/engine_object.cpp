// The TIFF engine object: one per context, holding the document serial counter and a copy of the
// context's allocation callbacks (it starts with the default allocator over its own usage
// record, which the context replaces right after creating it).
#include <cstdlib>

#include "ovr_records_internal.h"

int32_t ovrCreateTiffObject(uint32_t clientWord, OvrTiffObject **out) {
  if (out == nullptr) return OVR_ERR_PARAM;
  *out = nullptr;
  auto *obj = static_cast<OvrTiffObject *>(std::calloc(1, sizeof(OvrTiffObject)));
  if (obj == nullptr) return OVR_ERR_NO_MEMORY;
  obj->self = obj;
  obj->magic = ovr::kEngineMagic;
  obj->version = ovr::kEngineVersion;
  obj->clientWord = clientWord;
  ovrSetTiffObjectAllocator(obj, &obj->usageRecord, ovr::defaultAlloc, ovr::defaultFree);
  *out = obj;
  return OVR_OK;
}

int32_t ovrSetTiffObjectAllocator(OvrTiffObject *obj, void *user, OvrAllocFn alloc,
                                  OvrFreeFn release) {
  int32_t status = ovr::validateRecord(obj, ovr::kEngineMagic);
  if (status != OVR_OK) return status;
  if (alloc == nullptr || release == nullptr) return OVR_ERR_PARAM;
  obj->alloc = alloc;
  obj->free = release;
  obj->user = user;
  return OVR_OK;
}

int32_t ovrDestroyTiffObject(OvrTiffObject *obj) {
  int32_t status = ovr::validateRecord(obj, ovr::kEngineMagic);
  if (status != OVR_OK) return status;
  const bool leaked = obj->usageRecord.inUse != 0;
  *obj = OvrTiffObject{};
  std::free(obj);
  return leaked ? OVR_ERR_SEQUENCE : OVR_OK;
}
