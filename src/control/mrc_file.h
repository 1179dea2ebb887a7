// MrcFile: a TIFF-FX (mixed raster content) document read through MrcIo, whose page objects
// are built on first use and kept until released.
//
// The file is opened "rb" at construction; a file that cannot be opened, or that the
// container library does not take as a TIFF-FX document, has no adapter and 0 pages. A page
// released is built again on its next GetPage.
#ifndef CTL_MRC_FILE_H
#define CTL_MRC_FILE_H

#include <cstdio>
#include <memory>

#include "mrc_io.h"
#include "tfx_file.h"

namespace ctl {

class MrcFile final : public TfxFile {
 public:
  explicit MrcFile(const char *path);
  ~MrcFile() override;

  int32_t GetPageCount() override;
  TfxPage *GetPage(int32_t index) override;
  void LoadPage(int32_t index) override;
  // With one layer its size; with more, the mask layer's (layer 2); else (-1, -1).
  LongPair GetPageSize(int32_t index) override;

  // The adapter, or null when the file holds no TIFF-FX document.
  MrcIo *io() const { return io_.get(); }

 private:
  std::unique_ptr<TfxPage> BuildPage(int32_t index);

  FILE *stream_ = nullptr;
  std::unique_ptr<MrcIo> io_;
};

}  // namespace ctl

#endif
