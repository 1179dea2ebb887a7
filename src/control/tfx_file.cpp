// TfxFile: the page table shared by the document kinds.
#include "tfx_file.h"

namespace ctl {

TfxPage *TfxFile::entry(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= pages_.size()) return nullptr;
  return pages_[static_cast<size_t>(index)].get();
}

void TfxFile::ReleasePage(int32_t index) {
  if (index >= 0 && static_cast<size_t>(index) < pages_.size())
    pages_[static_cast<size_t>(index)].reset();
}

void TfxFile::ReleaseAllPages() {
  for (auto &page : pages_) page.reset();
}

}  // namespace ctl
