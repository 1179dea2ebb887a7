// Opens arbitrary bytes as a TIFF-FX document in the view control and exports the first pages
// whole as BMP files (the page at 1:1 and at a quarter, the first mask alone), the way a host
// does: the control's page sizes, page builder, page render and bitmap limits all see the
// input before anything it claims is allocated. The document and the BMP go through files in
// /tmp, one set per process.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "norvview_ctrl.h"

namespace {
constexpr int32_t kMaxPages = 3;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string stem = "/tmp/fuzz_control_tfx_" + std::to_string(getpid());
  const std::string path = stem + ".tfx", bmp = stem + ".bmp";
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  const bool written = fwrite(data, 1, size, f) == size;
  fclose(f);
  if (written) {
    ctl::NorvviewCtrl control;
    control.SetFileName(path);
    const int32_t pages = std::min(control.NumPages(), kMaxPages);
    for (int32_t p = 1; p <= pages; ++p) {
      control.SavePageAsBmp(bmp, p, 0, 1.0);
      control.SavePageAsBmp(bmp, p, 0, 0.25);
      control.SavePageAsBmp(bmp, p, 2, 1.0);
    }
  }
  remove(path.c_str());
  remove(bmp.c_str());
  return 0;
}
