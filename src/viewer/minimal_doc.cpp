// The minimal document window: the control's window fills it; fitting to the width sets the zoom
// to the window's width over the current page's unzoomed width.
#include "minimal_doc.h"

#include <QVBoxLayout>

#include "control_ids.h"

namespace viewer {

MinimalDoc::MinimalDoc(QWidget *parent, QString *error) : QWidget(parent) {
  setObjectName("NorvDoc");
  ControlModule *module = ControlModule::shared(error);
  if (module != nullptr) control_ = module->create(error);
  if (control_ != nullptr) {
    view_ = control_->createWindow(this);
  }
  if (view_ != nullptr) {
    view_->setObjectName("NorvCtl");
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
  }
}

MinimalDoc::~MinimalDoc() {
  delete view_;  // the window first: it draws from the control
}

void MinimalDoc::FitToWidth() {
  if (control_ == nullptr) return;
  // The control gives the page's width at its zoom.
  comp::Variant shown;
  const comp::Variant zoom = control_->get(dispid::ZoomFactor);
  if (comp::coerce(control_->call(dispid::GetCurrentPageWidth), comp::VarType::R8, &shown) !=
          comp::S_OK ||
      shown.asR8() <= 0 || zoom.type() != comp::VarType::R8)
    return;
  control_->put(dispid::ZoomFactor, comp::Variant::r8(zoom.asR8() * width() / shown.asR8()));
}

}  // namespace viewer
