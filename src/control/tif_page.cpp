// TifPage: size and depth of a plain TIFF page from its directory.
#include "tif_page.h"

#include "tif_file.h"

namespace ctl {

LongPair TifPage::GetSize() {
  return file_ != nullptr ? file_->GetPageSize(directory_) : LongPair{0, 0};
}

int32_t TifPage::GetBitsPerPixel() {
  return file_ != nullptr ? file_->GetBitsPerPixel(directory_) : 0;
}

}  // namespace ctl
