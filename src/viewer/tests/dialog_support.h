// Test support for the viewer's dialogs: answering the modal dialog a command opens (a message
// box, the colour dialog, the file dialog) from the event loop, and a document window over a
// loaded view control as the dialogs see it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <utility>

#include "control_loader.h"
#include "document_access.h"

namespace viewer {

// Runs answer once on the next modal window that is not ignore, from the event loop; the
// answer must close that window. Stops looking when it goes out of scope.
class ModalAnswer {
 public:
  explicit ModalAnswer(std::function<void(QWidget *)> answer, QWidget *ignore = nullptr)
      : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this, ignore] {
      QWidget *modal = QApplication::activeModalWidget();
      if (modal == nullptr || modal == ignore) return;
      timer_.stop();
      ++answered_;
      answer_(modal);
    });
    timer_.start(5);
  }
  int answered() const { return answered_; }

 private:
  std::function<void(QWidget *)> answer_;
  QTimer timer_;
  int answered_ = 0;
};

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
