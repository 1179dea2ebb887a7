// Compressor binding: create, configure, start, feed and finish a compress object of the JPEG
// library with status codes. Each entry checks that the object is alive (5 otherwise) and runs
// its library calls under one guard; the guard turns any error into a status and destroys the
// object. The error manager comes from the context's record set and belongs to the object
// until jcx_finish (or, after an error, jcx_free_error_mgr) frees it.
//
// The library's own working memory comes from its memory manager, which cannot be given the
// context's allocators; it is bounded instead. Unless the JPEGMEM environment variable (read by
// the library when the object is made) sets a bound, the whole-image buffers of progressive or
// optimised coding may take kMaxWorkingMemory bytes; an image that needs more fails with 49
// ("Backing store not supported") as the library has no backing store.
#include <cstring>

#include "jccolor.h"
#include "jcxapi.h"
#include "pxl_internal.h"

namespace {

constexpr long kMaxWorkingMemory = 1L << 30;

// Runs fn(object) under the guard of a live object.
template <typename Fn>
int32_t guarded(JcxCompressObject *object, Fn fn) {
  if (const int32_t status = jcxCheckObject(object); status != 0) return status;
  return jcxGuard(
      object, [](JcxCompressObject *o, void *arg) { (*static_cast<Fn *>(arg))(o); }, &fn);
}

void setQuant(JcxCompressObject *o, int slot, int32_t quality, const uint16_t *table) {
  // The library takes basic tables in natural (row-major) order.
  unsigned int basic[DCTSIZE2];
  for (int i = 0; i < DCTSIZE2; ++i) basic[i] = table[i];
  jpeg_add_quant_table(&o->cinfo, slot, basic, jpeg_quality_scaling(quality), FALSE);
}

}  // namespace

extern "C" {

int32_t jcxCheckObject(JcxCompressObject *object) {
  if (object == nullptr) return JCX_INVALID_OBJECT;
  if (object->cinfo.global_state != 0 && object->cinfo.err != nullptr) return 0;
  if (object->cinfo.err != nullptr) {
    auto *err = reinterpret_cast<JcxErrorMgr *>(object->cinfo.err);
    err->status = JCX_INVALID_OBJECT;
    std::strcpy(err->text, jcxMessageText(JCX_INVALID_OBJECT));
  }
  return JCX_INVALID_OBJECT;
}

int32_t jcx_create(PxlContext *ctx, JcxCompressObject *object, int32_t width, int32_t height,
                   int32_t components, int32_t quality, int32_t progressive, int32_t xDensity,
                   int32_t yDensity, PxlJpegWriteFn write, void *user) {
  if (object == nullptr) return JCX_INVALID_OBJECT;
  std::memset(object, 0, sizeof *object);
  auto *err = ctx != nullptr ? pxl::newRecord<JcxErrorMgr>(ctx) : nullptr;
  if (err == nullptr) return JCX_NO_ERROR_MGR;
  jcxInitErrorMgr(err);
  object->cinfo.err = &err->pub;
  // jpeg_create_compress clears the library's object and keeps the error manager link.
  const int32_t created = jcxGuard(
      object, [](JcxCompressObject *o, void *) { jpeg_create_compress(&o->cinfo); }, nullptr);
  if (created != 0) return created;
  if (object->cinfo.mem->max_memory_to_use == 0)
    object->cinfo.mem->max_memory_to_use = kMaxWorkingMemory;
  int32_t status = jpeg_callback_dest(ctx, object, user, write);
  if (status == 0) status = jcx_set_width(ctx, object, width);
  if (status == 0) status = jcx_set_height(ctx, object, height);
  if (status == 0) status = jcx_set_components(ctx, object, components);
  if (status == 0)
    status = guarded(object, [](JcxCompressObject *o) { jpeg_set_defaults(&o->cinfo); });
  if (status == 0) status = jcx_set_quality(ctx, object, quality);
  if (status == 0 && xDensity > 6 && yDensity > 6)
    status = jcx_set_density(ctx, object, xDensity, yDensity);
  if (status == 0 && progressive != 0)
    status = guarded(object, [](JcxCompressObject *o) { jpeg_simple_progression(&o->cinfo); });
  return status;
}

int32_t jcx_set_width(PxlContext *, JcxCompressObject *object, int32_t width) {
  return guarded(object, [width](JcxCompressObject *o) {
    o->cinfo.image_width = static_cast<JDIMENSION>(width);
  });
}

int32_t jcx_set_height(PxlContext *, JcxCompressObject *object, int32_t height) {
  return guarded(object, [height](JcxCompressObject *o) {
    o->cinfo.image_height = static_cast<JDIMENSION>(height);
  });
}

int32_t jcx_set_components(PxlContext *, JcxCompressObject *object, int32_t count) {
  return guarded(object, [count](JcxCompressObject *o) {
    switch (count) {
      case 1:
        o->cinfo.in_color_space = JCS_GRAYSCALE;
        break;
      case 3:
        o->cinfo.in_color_space = JCS_RGB;
        break;
      case 4:
        o->cinfo.in_color_space = JCS_CMYK;
        break;
      default:
        ERREXIT(&o->cinfo, JERR_BAD_IN_COLORSPACE);
    }
    o->cinfo.input_components = count;
  });
}

int32_t jcx_set_quality(PxlContext *, JcxCompressObject *object, int32_t quality) {
  return guarded(object, [quality](JcxCompressObject *o) {
    if (quality < 0 || quality > 100) jcxRaise(o, JCX_BAD_QUALITY, nullptr);
    jpeg_set_quality(&o->cinfo, quality, TRUE);
  });
}

int32_t jcx_set_sampling(PxlContext *, JcxCompressObject *object, int32_t h0, int32_t v0,
                         int32_t h1, int32_t v1, int32_t h2, int32_t v2) {
  return guarded(object, [=](JcxCompressObject *o) {
    jpeg_component_info *c = o->cinfo.comp_info;
    if (c == nullptr) ERREXIT(&o->cinfo, JERR_BAD_SAMPLING);
    c[0].h_samp_factor = h0;
    c[0].v_samp_factor = v0;
    c[1].h_samp_factor = h1;
    c[1].v_samp_factor = v1;
    c[2].h_samp_factor = h2;
    c[2].v_samp_factor = v2;
  });
}

int32_t jcx_set_density(PxlContext *, JcxCompressObject *object, int32_t xDensity,
                        int32_t yDensity) {
  return guarded(object, [=](JcxCompressObject *o) {
    o->cinfo.density_unit = 1;
    o->cinfo.X_density = static_cast<UINT16>(xDensity);
    o->cinfo.Y_density = static_cast<UINT16>(yDensity);
  });
}

int32_t jcx_set_luma_quant(PxlContext *, JcxCompressObject *object, int32_t quality,
                           const uint16_t *table) {
  return guarded(object, [=](JcxCompressObject *o) { setQuant(o, 0, quality, table); });
}

int32_t jcx_set_chroma_quant(PxlContext *, JcxCompressObject *object, int32_t quality,
                             const uint16_t *table) {
  return guarded(object, [=](JcxCompressObject *o) { setQuant(o, 1, quality, table); });
}

int32_t jcx_select_cielab(PxlContext *, JcxCompressObject *object) {
  return guarded(object, [](JcxCompressObject *o) {
    if (o->cinfo.input_components != 1 && o->cinfo.input_components != 3)
      ERREXIT(&o->cinfo, JERR_BAD_J_COLORSPACE);
    o->labColorSpace = JCX_CS_CIELAB;
  });
}

int32_t jcx_select_itulab(PxlContext *, JcxCompressObject *object) {
  return guarded(object, [](JcxCompressObject *o) {
    if (o->cinfo.input_components != 1 && o->cinfo.input_components != 3)
      ERREXIT(&o->cinfo, JERR_BAD_J_COLORSPACE);
    o->labColorSpace = JCX_CS_ITULAB;
  });
}

int32_t jcx_start(PxlContext *, JcxCompressObject *object) {
  return guarded(object, [](JcxCompressObject *o) {
    if (o->cinfo.global_state != JCX_STATE_CONFIGURING)
      ERREXIT1(&o->cinfo, JERR_BAD_STATE, o->cinfo.global_state);
    pxl::jpeg::jinit_color_converter(o);
    jpeg_start_compress(&o->cinfo, TRUE);
    if (o->converter != nullptr) {
      o->convertedRows = 8 * o->cinfo.max_v_samp_factor;
      o->converted = (*o->cinfo.mem->alloc_sarray)(
          reinterpret_cast<j_common_ptr>(&o->cinfo), JPOOL_IMAGE,
          o->cinfo.image_width * static_cast<JDIMENSION>(o->cinfo.input_components),
          static_cast<JDIMENSION>(o->convertedRows));
    }
  });
}

int32_t jcx_strip_rows(PxlContext *, JcxCompressObject *object, int32_t *rows) {
  if (object == nullptr || rows == nullptr) return 0;
  const jpeg_compress_struct &c = object->cinfo;
  if (c.global_state == JCX_STATE_CONFIGURING) {
    *rows = 16;
    return 0;
  }
  const int64_t strip = int64_t{8} * c.max_v_samp_factor;
  const int64_t left = int64_t{c.image_height} - c.next_scanline;
  *rows = static_cast<int32_t>(strip < left ? strip : left);
  return 0;
}

int32_t jcx_write_rows(PxlContext *, JcxCompressObject *object, JSAMPARRAY rows, int32_t count) {
  struct Args {
    JSAMPARRAY rows;
    int32_t count;
  } args{rows, count};
  return guarded(object, [&args](JcxCompressObject *o) {
    while (args.count > 0) {
      int32_t chunk = args.count;
      JSAMPARRAY in = args.rows;
      if (o->converter != nullptr && o->cinfo.global_state == JCX_STATE_COMPRESSING) {
        if (chunk > o->convertedRows) chunk = o->convertedRows;
        o->converter->convert(o, args.rows, o->converted, chunk);
        in = o->converted;
      }
      int32_t done = 0;
      while (done < chunk) {
        const JDIMENSION taken =
            jpeg_write_scanlines(&o->cinfo, in + done, static_cast<JDIMENSION>(chunk - done));
        // Nothing taken: rows beyond the image height (a warning); the rest are dropped.
        if (taken == 0) return;
        done += static_cast<int32_t>(taken);
      }
      args.rows += chunk;
      args.count -= chunk;
    }
  });
}

int32_t jcx_finish(PxlContext *ctx, JcxCompressObject *object) {
  const int32_t status =
      guarded(object, [](JcxCompressObject *o) { jpeg_finish_compress(&o->cinfo); });
  if (status != 0) return status;
  jpeg_destroy_compress(&object->cinfo);
  jcx_free_error_mgr(ctx, &object->cinfo.err);
  return 0;
}

int32_t jcx_free_error_mgr(PxlContext *ctx, struct jpeg_error_mgr **errorMgr) {
  if (ctx == nullptr || errorMgr == nullptr || *errorMgr == nullptr) return 0;
  pxl::freeRecord(ctx, reinterpret_cast<JcxErrorMgr *>(*errorMgr));
  *errorMgr = nullptr;
  return 0;
}

}  // extern "C"
