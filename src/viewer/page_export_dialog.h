// The modal dialog "Save Page as .bmp": one page of the open document saved as a Windows bitmap
// at a chosen zoom and layer, through the view control's SavePageAsBmp. Made afresh for each
// use.
#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace viewer {

class DocumentAccess;

class BmpOptions : public QDialog {
 public:
  explicit BmpOptions(QWidget *parent = nullptr);

  // Page, layer and zoom from doc's control and layer list.
  void Init(DocumentAccess &doc);

  // Checks the page and zoom fields; shows the first fault and gives false.
  bool ReadFields(int32_t &page, double &zoom);
  // Fills the layer list for the page in the page field (hidden for a plain TIFF document).
  void fixLayers();
  void SaveButton_Click();

 private:
  void message(const QString &text);

  DocumentAccess *doc_ = nullptr;
  QLineEdit *Page_;
  QLineEdit *Zoom_;
  QComboBox *Layer_;
};

// The save dialog's first name for a page: the document's name up to its last "." (the whole
// name when it has none), then "_page", the page number and ".bmp".
QString defaultBmpName(const QString &fileName, int32_t page);

}  // namespace viewer
