// Test support for the viewer's dialogs: a document window over a loaded view control as the
// dialogs see it.
#pragma once

#include <QColor>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <utility>

#include "control_loader.h"
#include "document_access.h"

namespace viewer {

// A document window for the dialogs: a plain widget over a control, a layer list index of its
// own and a save dialog that answers savePath (empty: Cancel).
class TestDocument : public DocumentAccess {
 public:
  explicit TestDocument(std::unique_ptr<ViewControl> control) : control_(std::move(control)) {}

  comp::Dispatch &control() override { return *control_->dispatch(); }
  QWidget *window() override { return &window_; }
  void repaintWindow() override { ++repaints; }
  QColor backColour() const override { return colour; }
  void setBackColour(const QColor &c) override { colour = c; }
  int layerListIndex() const override { return layerIndex; }
  QString saveFileName(const QString &filter, const QString &defaultSuffix,
                       const QString &startName) override {
    saveCalls << filter + "|" + defaultSuffix + "|" + startName;
    return savePath;
  }

  QColor colour = QColor(10, 20, 30);
  int layerIndex = 0;
  QString savePath;
  QStringList saveCalls;
  int repaints = 0;

 private:
  std::unique_ptr<ViewControl> control_;
  QWidget window_;
};

}  // namespace viewer
