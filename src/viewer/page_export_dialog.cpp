// The "Save Page as .bmp" dialog (see page_export_dialog.h). A page or zoom out of range is
// refused with a message and the dialog stays open with the fields as typed.
#include "page_export_dialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "control_ids.h"
#include "dispatch_calls.h"
#include "document_access.h"
#include "help.h"
#include "util.h"

namespace viewer {
namespace {

QPushButton *button(QWidget *parent, const char *name, const char *text, const char *tip) {
  auto *b = new QPushButton(text, parent);
  b->setObjectName(name);
  setHelpText(b, tip != nullptr ? tip : text);
  return b;
}

// A number as the document window writes it in a field: no blank before it.
QString numberText(double value) {
  return QString::fromStdString(Str(value)).trimmed();
}

}  // namespace

QString defaultBmpName(const QString &fileName, int32_t page) {
  const qsizetype dot = fileName.lastIndexOf('.');
  const QString stem = dot < 0 ? fileName : fileName.left(dot);
  return stem + "_page" + QString::number(page) + ".bmp";
}

BmpOptions::BmpOptions(QWidget *parent) : QDialog(parent) {
  setObjectName("BmpOptions");
  setWindowTitle("Save Page as .bmp");
  setModal(true);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Page to be Saved", this));
  Page_ = new QLineEdit(this);
  Page_->setObjectName("Page");
  setHelpText(Page_, "Page to be Saved");
  layout->addWidget(Page_);
  layout->addWidget(new QLabel("Zoom to be Saved at", this));
  Zoom_ = new QLineEdit(this);
  Zoom_->setObjectName("Zoom");
  setHelpText(Zoom_, "Zoom to be Saved at");
  layout->addWidget(Zoom_);
  Layer_ = new QComboBox(this);
  Layer_->setObjectName("Layer");
  setHelpText(Layer_, "View Individual MRC Layers");
  layout->addWidget(Layer_);
  auto *save = button(this, "SaveButton", "Save to .bmp", nullptr);
  auto *cancel = button(this, "CancelButton", "Cancel", "Exit Dialog Without Saving");
  auto *help = button(this, "helpButton", "Help", "Show Help");
  for (QPushButton *b : {save, cancel, help}) layout->addWidget(b);
  save->setDefault(true);

  connect(Page_, &QLineEdit::textChanged, this, &BmpOptions::fixLayers);
  connect(save, &QPushButton::clicked, this, &BmpOptions::SaveButton_Click);
  connect(cancel, &QPushButton::clicked, this, &BmpOptions::reject);
  connect(help, &QPushButton::clicked, this, [this] { ShowHelpContents(this); });
}

void BmpOptions::Init(DocumentAccess &doc) {
  doc_ = &doc;
  comp::Dispatch &ctl = doc.control();
  Layer_->clear();
  Page_->setText(QString::number(ctlGetI4(ctl, dispid::CurrentPage)));
  fixLayers();  // also for a page number equal to the text already there
  if (ctlGetBool(ctl, dispid::IsNorv)) Layer_->setCurrentIndex(doc.layerListIndex());
  Zoom_->setText(numberText(ctlGetR8(ctl, dispid::ZoomFactor) * 100) + "%");
}

void BmpOptions::fixLayers() {
  if (doc_ == nullptr) return;
  comp::Dispatch &ctl = doc_->control();
  if (!ctlGetBool(ctl, dispid::IsNorv)) {
    Layer_->setVisible(false);
    return;
  }
  Layer_->setVisible(true);
  const double page = Val(Page_->text().toStdString());
  if (!(page > 0 && page <= ctlCallI4(ctl, dispid::NumPages))) return;
  const int32_t layers = ctlCallI4(ctl, dispid::LayersOnPage, {comp::Variant::i4(CLng(page))});
  if (Layer_->count() == layers + 1) return;
  Layer_->clear();
  Layer_->addItem("Composite");
  for (int32_t k = 1; k <= layers; ++k) Layer_->addItem(QString("Layer %1").arg(k));
  Layer_->setCurrentIndex(0);
}

void BmpOptions::message(const QString &text) {
  QMessageBox box(QMessageBox::NoIcon, "Norvview", text, QMessageBox::Ok, this);
  box.exec();
}

bool BmpOptions::ReadFields(int32_t &page, double &zoom) {
  comp::Dispatch &ctl = doc_->control();
  const std::string pageText = Page_->text().toStdString();
  if (!IsNumeric(pageText)) {
    message("Page must be a number!");
    return false;
  }
  page = CLng(Val(pageText));
  const int32_t pages = ctlCallI4(ctl, dispid::NumPages);
  if (page < 1 || page > pages) {
    message(QString("Page must be in range [1, %1]").arg(pages));
    return false;
  }
  zoom = ZoomFromText(Zoom_->text().toStdString());
  if (!(zoom >= 0.01 && zoom <= 1.0)) {
    message("Zoom must be a percentage between 1% and 100%.");
    return false;
  }
  return true;
}

void BmpOptions::SaveButton_Click() {
  if (doc_ == nullptr) return;
  int32_t page = 0;
  double zoom = 0;
  if (!ReadFields(page, zoom)) return;
  comp::Dispatch &ctl = doc_->control();
  // An empty list (index -1) saves the composite page.
  const int32_t layer = ctlGetBool(ctl, dispid::IsNorv) ? std::max(Layer_->currentIndex(), 0) : 0;
  hide();
  const QString start =
      defaultBmpName(QString::fromStdString(ctlGetText(ctl, dispid::FileName)), page);
  const QString name = doc_->saveFileName("Windows Bitmap (*.bmp)", "bmp", start);
  if (!name.isEmpty()) {
    doc_->repaintWindow();
    ctlCall(ctl, dispid::SavePageAsBmp,
            {comp::Variant::bstr(name.toStdString()), comp::Variant::i4(page),
             comp::Variant::i4(layer), comp::Variant::r8(zoom)});
  }
  accept();
}

}  // namespace viewer
