// ConvertTiff2Tfx: a TIFF scan file into a TIFF-FX file through the document encoder's
// conversion entry, under the wait cursor. The member answers the entry's status: 0 when the
// whole document was written, else the failure (the entry has then left the output name as it
// was and told the failure in one sentence on the standard error stream), so that a container
// can tell the user rather than open a file that is not the document. The open document is left
// alone.
#include "enc_convert.h"
#include "norvview_ctrl.h"

namespace ctl {

int32_t NorvviewCtrl::ConvertTiff2Tfx(const std::string &tiffFile, const std::string &tfxFile) {
  if (site_ != nullptr) site_->beginWaitCursor();
  const int32_t status = convertTiffFileToTfx(tiffFile.c_str(), tfxFile.c_str());
  if (site_ != nullptr) site_->endWaitCursor();
  return status;
}

}  // namespace ctl
