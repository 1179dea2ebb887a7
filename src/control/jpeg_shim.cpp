// The libjpeg part of the JPEG band decoder: an error manager that jumps back to the calling
// function and counts warnings, a progress monitor that stops runaway progressive streams,
// header reading, and the decode loop (scaled output, crop through libjpeg's column crop and
// row skipping, then per row: grey replicated to three bytes, RGB turned to BGR, or samples
// copied unconverted, clipped to the target). No C++ object with a destructor is created in a
// frame that libjpeg can jump out of. Oversized images are refused before decoding.
#include "jpeg_shim.h"

#include <cstdio>  // jpeglib.h uses FILE

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

namespace ctl {
namespace {

// Progressive streams with more scans than this are taken as hostile.
constexpr int kMaxScans = 1000;
// Images with more pixels than this are refused (a 600 dpi page of 17 x 22 inches has 135
// million), and libjpeg's working memory is capped: progressive images keep every
// coefficient of the image.
constexpr int64_t kMaxPixels = int64_t{1} << 27;
constexpr long kMaxWorkingMemory = 1L << 30;
// Columns decoded beyond a crop's right edge (more than any upsampling looks ahead).
constexpr int64_t kRightContext = 32;

struct ShimErrors {
  jpeg_error_mgr mgr;
  jmp_buf jump;
  int32_t warnings;
};

struct ShimProgress {
  jpeg_progress_mgr mgr;
  j_decompress_ptr cinfo;
};

void jumpOnError(j_common_ptr cinfo) {
  longjmp(reinterpret_cast<ShimErrors *>(cinfo->err)->jump, 1);
}

// Warnings (level -1) are counted; trace messages are dropped.
void countWarning(j_common_ptr cinfo, int level) {
  if (level < 0) ++reinterpret_cast<ShimErrors *>(cinfo->err)->warnings;
}

void limitScans(j_common_ptr common) {
  const j_decompress_ptr cinfo = reinterpret_cast<ShimProgress *>(common->progress)->cinfo;
  if (cinfo->input_scan_number > kMaxScans) jumpOnError(common);
}

void setUp(jpeg_decompress_struct *cinfo, ShimErrors *errors, ShimProgress *progress,
           const JpegShimJob *job) {
  cinfo->err = jpeg_std_error(&errors->mgr);
  errors->mgr.error_exit = jumpOnError;
  errors->mgr.emit_message = countWarning;
  errors->warnings = 0;
  jpeg_create_decompress(cinfo);
  progress->mgr.progress_monitor = limitScans;
  progress->cinfo = cinfo;
  cinfo->progress = &progress->mgr;
  cinfo->mem->max_memory_to_use = kMaxWorkingMemory;
  jpeg_mem_src(cinfo, job->data, static_cast<unsigned long>(job->size));
}

void takeHeader(const jpeg_decompress_struct *cinfo, JpegShimJob *job) {
  job->imageWidth = static_cast<int32_t>(cinfo->image_width);
  job->imageHeight = static_cast<int32_t>(cinfo->image_height);
  job->components = cinfo->num_components;
  job->progressive = cinfo->progressive_mode;
}

// Scaled size of n pixels at 1/denominator, as libjpeg computes it.
int64_t scaled(int64_t n, int32_t denominator) {
  return (n + denominator - 1) / denominator;
}

// One decoded row (width pixels of `components` samples from column `skip`) into the target.
void storeRow(const JSAMPLE *row, int32_t components, bool toBgr, int64_t skip, int64_t width,
              uint8_t *out) {
  const JSAMPLE *in = row + skip * components;
  if (components == 1) {
    for (int64_t x = 0; x < width; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = in[x];
  } else if (toBgr) {
    // in and out may be the same row.
    for (int64_t x = 0; x < width; ++x) {
      const JSAMPLE red = in[3 * x], green = in[3 * x + 1], blue = in[3 * x + 2];
      out[3 * x] = blue;
      out[3 * x + 1] = green;
      out[3 * x + 2] = red;
    }
  } else if (in != out) {
    std::memcpy(out, in, static_cast<size_t>(width) * 3);
  }
}

}  // namespace

int32_t jpegShimReadHeader(JpegShimJob *job) {
  if (job == nullptr || job->data == nullptr || job->size == 0) return kJpegShimBadRequest;
  jpeg_decompress_struct cinfo;
  ShimErrors errors;
  ShimProgress progress;
  setUp(&cinfo, &errors, &progress, job);
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return kJpegShimFailed;
  }
  jpeg_read_header(&cinfo, TRUE);
  takeHeader(&cinfo, job);
  jpeg_destroy_decompress(&cinfo);
  return kJpegShimOk;
}

int32_t jpegShimDecode(JpegShimJob *job) {
  if (job == nullptr || job->data == nullptr || job->size == 0 || job->pixels == nullptr ||
      job->targetWidth <= 0 || job->targetHeight <= 0 ||
      job->stride < int64_t{job->targetWidth} * 3)
    return kJpegShimBadRequest;
  const int32_t denominator = job->scaleDenominator;
  if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8)
    return kJpegShimBadRequest;
  jpeg_decompress_struct cinfo;
  ShimErrors errors;
  ShimProgress progress;
  setUp(&cinfo, &errors, &progress, job);
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return kJpegShimFailed;
  }
  jpeg_read_header(&cinfo, TRUE);
  takeHeader(&cinfo, job);
  const int32_t components = cinfo.num_components;
  if ((components != 1 && components != 3) ||
      int64_t{job->imageWidth} * job->imageHeight > kMaxPixels) {
    jpeg_destroy_decompress(&cinfo);
    return kJpegShimUnsupported;
  }
  if (components == 1) {
    cinfo.out_color_space = JCS_GRAYSCALE;
  } else if (job->toBgr) {
    cinfo.jpeg_color_space = JCS_YCbCr;
    cinfo.out_color_space = JCS_RGB;
  } else {
    cinfo.jpeg_color_space = JCS_UNKNOWN;
    cinfo.out_color_space = JCS_UNKNOWN;
  }
  cinfo.scale_num = 1;
  cinfo.scale_denom = static_cast<unsigned int>(denominator);

  // The part of the scaled image to write.
  const int64_t fullWidth = scaled(job->imageWidth, denominator);
  const int64_t fullHeight = scaled(job->imageHeight, denominator);
  int64_t left = 0, top = 0, width = fullWidth, height = fullHeight;
  if (job->cropped) {
    left = std::max<int64_t>(job->cropLeft, 0);
    top = std::max<int64_t>(job->cropTop, 0);
    width = std::min<int64_t>(job->cropRight, fullWidth) - left;
    height = std::min<int64_t>(job->cropBottom, fullHeight) - top;
    if (width <= 0 || height <= 0 || job->cropRight - job->cropLeft > job->targetWidth ||
        job->cropBottom - job->cropTop > job->targetHeight) {
      jpeg_destroy_decompress(&cinfo);
      return kJpegShimBadRequest;
    }
  }
  width = std::min<int64_t>(width, job->targetWidth);
  height = std::min<int64_t>(height, job->targetHeight);

  jpeg_start_decompress(&cinfo);
  // Columns: libjpeg widens the crop to whole blocks; `skip` is what it added on the left.
  // Upsampled chroma needs the column after the last one written, so the crop asks for a few
  // more columns on the right than are written: the pixels then equal a whole decode's.
  int64_t skip = left;
  if (left != 0 || width != fullWidth) {
    JDIMENSION xOffset = static_cast<JDIMENSION>(left);
    JDIMENSION cropWidth =
        static_cast<JDIMENSION>(std::min(width + kRightContext, fullWidth - left));
    jpeg_crop_scanline(&cinfo, &xOffset, &cropWidth);
    skip = left - xOffset;
  }
  if (top != 0) jpeg_skip_scanlines(&cinfo, static_cast<JDIMENSION>(top));
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(
      reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
      cinfo.output_width * static_cast<JDIMENSION>(cinfo.output_components), 1);
  // Three-component rows that are exactly the part written are decoded in place.
  const bool inPlace = components == 3 && skip == 0 && int64_t{cinfo.output_width} == width;
  for (int64_t y = 0; y < height; ++y) {
    uint8_t *out = job->pixels + y * job->stride;
    JSAMPROW target = out;
    if (jpeg_read_scanlines(&cinfo, inPlace ? &target : row, 1) != 1) break;
    storeRow(inPlace ? out : row[0], components, job->toBgr && components == 3, skip, width, out);
  }
  // Rows below the part are skipped, not decoded; the stream is finished to see its end.
  if (cinfo.output_scanline < cinfo.output_height)
    jpeg_skip_scanlines(&cinfo, cinfo.output_height - cinfo.output_scanline);
  jpeg_finish_decompress(&cinfo);
  const int32_t warnings = errors.warnings;
  jpeg_destroy_decompress(&cinfo);
  return warnings != 0 ? kJpegShimWarnings : kJpegShimOk;
}

}  // namespace ctl
