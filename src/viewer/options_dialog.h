// The modal dialog "Options": the cache sizes and the page gap of one document window's view
// control and the window's background colour, on two tabs ("Caching", "Format"). Values live in
// the control and the window only; the dialog is made afresh for each use.
#pragma once

#include <QColor>
#include <QDialog>
#include <array>

class QLineEdit;
class QPushButton;
class QTabBar;

namespace viewer {

class DocumentAccess;

class Options : public QDialog {
 public:
  explicit Options(QWidget *parent = nullptr);

  // Fills the fields from doc's control and the colour from doc's window.
  void Init(DocumentAccess &doc);

  // Sets the control (and the window's colour) from the fields, only when something changed
  // since the last apply.
  void DoApply();
  // Shows the panel of the selected tab, hides and disables the other.
  void FixTabs();

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  void markChanged();
  void AppBgColor_Click();
  void setButtonColour(const QColor &colour);

  DocumentAccess *doc_ = nullptr;
  QTabBar *tbsOptions_;
  std::array<QWidget *, 2> picOptions_;
  QLineEdit *ExtraPageCache_;
  QLineEdit *FullPageCache_;
  QLineEdit *PageBreakSpace_;
  QPushButton *AppBgColor_;
  QPushButton *cmdApply_;
  QColor colour_;
};

}  // namespace viewer
