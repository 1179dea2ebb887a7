// ConvertTiff2Tfx: a TIFF scan file into a TIFF-FX file through the document encoder's
// conversion entry, under the wait cursor. The entry reports its failures on the standard error
// stream; the member answers 0 whatever happened and leaves the open document alone.
#include "enc_convert.h"
#include "norvview_ctrl.h"

namespace ctl {

int32_t NorvviewCtrl::ConvertTiff2Tfx(const std::string &tiffFile, const std::string &tfxFile) {
  if (site_ != nullptr) site_->beginWaitCursor();
  convertTiffFileToTfx(tiffFile.c_str(), tfxFile.c_str());
  if (site_ != nullptr) site_->endWaitCursor();
  return 0;
}

}  // namespace ctl
