// A minimal document window, standing in for the full one: a child window of the main window's
// frame that hosts one view control over its whole area and fits the page's width to the window.
// The main window reaches it only through NorvCtl(), its caption and FitToWidth().
#pragma once

#include <QWidget>
#include <memory>

#include "control_loader.h"

namespace viewer {

class MinimalDoc : public QWidget {
 public:
  // A window with a new control of the program's module; control() is null when none could be
  // made (*error says why).
  explicit MinimalDoc(QWidget *parent, QString *error);
  ~MinimalDoc() override;

  ViewControl *NorvCtl() const { return control_.get(); }
  // The zoom at which the current page's width fills the window.
  void FitToWidth();
  QSize sizeHint() const override { return {480, 600}; }

 private:
  std::unique_ptr<ViewControl> control_;
  QWidget *view_ = nullptr;
};

}  // namespace viewer
