// TfxFile: an open image file seen as a list of pages, and the page table its kinds share.
//
// The table holds one owned page object per page number (0-based); an empty entry is a page
// not built yet or released. No operation raises or reports an error: a file that cannot be
// read is a document of 0 pages, and every query outside the document gives a neutral answer.
#ifndef CTL_TFX_FILE_H
#define CTL_TFX_FILE_H

#include <cstdint>
#include <memory>
#include <vector>

#include "tfx_page.h"

namespace ctl {

class TfxFile {
 public:
  virtual ~TfxFile() = default;
  TfxFile(const TfxFile &) = delete;
  TfxFile &operator=(const TfxFile &) = delete;

  virtual int32_t GetPageCount() = 0;
  // The page object of index, built when needed; null for an index outside the document.
  virtual TfxPage *GetPage(int32_t index) = 0;
  // Makes sure the page object of index exists.
  virtual void LoadPage(int32_t index) = 0;
  // Deletes the page object of index and empties its entry.
  virtual void ReleasePage(int32_t index);
  // Deletes every page object, leaving every entry empty.
  virtual void ReleaseAllPages();
  // Width and height of the page in pixels of its reference layer.
  virtual LongPair GetPageSize(int32_t index) = 0;

 protected:
  TfxFile() = default;
  // The table entry of index, or null when the table does not reach it.
  TfxPage *entry(int32_t index) const;

  std::vector<std::unique_ptr<TfxPage>> pages_;
};

}  // namespace ctl

#endif
