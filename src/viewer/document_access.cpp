// The common save dialog and the OLE colour of a colour (see document_access.h).
#include "document_access.h"

#include <QFileDialog>

namespace viewer {

QString runSaveDialog(QWidget *parent, const QString &filter, const QString &defaultSuffix,
                      const QString &startName) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  dialog.setDefaultSuffix(defaultSuffix);
  dialog.selectFile(startName);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.front();
}

uint32_t oleColour(const QColor &colour) {
  const QColor rgb = colour.toRgb();
  return static_cast<uint32_t>(rgb.red()) | static_cast<uint32_t>(rgb.green()) << 8 |
         static_cast<uint32_t>(rgb.blue()) << 16;
}

}  // namespace viewer
