// TifFile: a plain TIFF document read through libtiff, one TifPage per directory, all made
// when the file is opened.
//
// The file has its own library state (standard allocators and pools, errors printed to the
// standard error stream); libtiff's error and warning lines for the file go to that state's
// error sink, never straight to the terminal. A file that libtiff cannot open has 0 pages.
#ifndef CTL_TIF_FILE_H
#define CTL_TIF_FILE_H

#include <string>

#include "qtz_state.h"
#include "tfx_file.h"

typedef struct tiff TIFF;

namespace ctl {

class TifFile final : public TfxFile {
 public:
  explicit TifFile(const char *path);
  ~TifFile() override;

  int32_t GetPageCount() override;
  TfxPage *GetPage(int32_t index) override;
  // Every page exists from the start; a released page is not made again.
  void LoadPage(int32_t index) override {}
  // ImageWidth and ImageLength of directory index; (0, 0) outside the document.
  LongPair GetPageSize(int32_t index) override;
  // BitsPerSample x SamplesPerPixel of directory index when that is 1, 4, 8, 24 or 32; else 0.
  int32_t GetBitsPerPixel(int32_t index);

  // True when the first directory carries TIFF-FX's ImageLayer tag (RFC 2301): the file is a
  // TIFF-FX document, whose pages read as plain TIFF would show one layer or nothing.
  bool HasImageLayers();

  // Makes directory index the current one of the handle; false outside the document.
  bool SelectDirectory(int32_t index) { return selectDirectory(index); }

  const std::string &path() const { return path_; }
  QtzState *state() const { return state_; }
  TIFF *tiff() const { return tiff_; }

 private:
  bool selectDirectory(int32_t index);

  std::string path_;
  QtzState *state_ = nullptr;
  TIFF *tiff_ = nullptr;
};

}  // namespace ctl

#endif
