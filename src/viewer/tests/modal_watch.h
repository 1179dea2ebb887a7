// Answering the modal dialogs a command opens: while a ModalWatch lives, a timer records every
// new message box ("title|text|buttons") and closes it with its first button, and hands every
// other new modal dialog to the test's answer, which must close it (the command waits in the
// dialog's event loop meanwhile).
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace viewer {

class ModalWatch {
 public:
  using Answer = std::function<void(QWidget *dialog)>;
  explicit ModalWatch(Answer answer = {}) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(5);
  }

  // The message boxes seen so far.
  const QStringList &messages() const { return messages_; }

  // A message box as recorded: title, text and the texts of its buttons.
  static QString describe(const QMessageBox *box) {
    QStringList buttons;
    for (const QAbstractButton *b : box->buttons()) buttons << b->text().remove('&');
    return box->windowTitle() + "|" + box->text() + "|" + buttons.join(",");
  }

 private:
  void poll() {
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == last_) return;
    last_ = modal;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
      messages_ << describe(box);
      box->buttons().first()->click();
    } else if (answer_) {
      answer_(modal);
    }
  }

  Answer answer_;
  QTimer timer_;
  QPointer<QWidget> last_;
  QStringList messages_;
};

}  // namespace viewer
