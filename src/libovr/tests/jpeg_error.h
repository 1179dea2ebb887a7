// libjpeg's error manager for the tests' encoder and decoder: an error jumps back to the setjmp
// of the caller's frame, messages are dropped.
#ifndef OVR_JPEG_ERROR_H
#define OVR_JPEG_ERROR_H

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace ovr_test {

struct JpegErrorManager {
  jpeg_error_mgr mgr;
  jmp_buf jump;
};

// Sets up err and gives the manager to install as cinfo.err.
inline jpeg_error_mgr *jumpingErrors(JpegErrorManager &err) {
  jpeg_error_mgr *mgr = jpeg_std_error(&err.mgr);
  mgr->error_exit = [](j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegErrorManager *>(cinfo->err)->jump, 1);
  };
  mgr->output_message = [](j_common_ptr) {};
  return mgr;
}

}  // namespace ovr_test

#endif
