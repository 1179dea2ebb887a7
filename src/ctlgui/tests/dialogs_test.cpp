// The module's dialogs built offscreen: the about box's caption, texts, icon and OK button, the
// modal run closed by its OK button, nothing shown without an application object, and the
// empty property page with its caption.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <memory>

#include "dialogs.h"
#include "gui_dialogs.h"

namespace gui {
namespace {

TEST(AboutBoxWithoutApplication, DoesNothing) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  runAboutBox();  // would abort if it made a widget
}

class DialogsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app_ = new QApplication(argc_, argv_);
  }
  static void TearDownTestSuite() {
    delete app_;
    app_ = nullptr;
  }

  static inline int argc_ = 1;
  static inline char name_[] = "test_ctlgui";
  static inline char *argv_[] = {name_, nullptr};
  static inline QApplication *app_ = nullptr;
};

QPushButton *okButton(QWidget *dialog) {
  auto *box = dialog->findChild<QDialogButtonBox *>();
  return box == nullptr ? nullptr : box->button(QDialogButtonBox::Ok);
}

TEST_F(DialogsTest, AboutBoxContents) {
  std::unique_ptr<QDialog> dialog(createAboutBox(nullptr));
  EXPECT_EQ(dialog->windowTitle(), "About Norvview Control");
  auto *version = dialog->findChild<QLabel *>("version");
  auto *notice = dialog->findChild<QLabel *>("notice");
  auto *icon = dialog->findChild<QLabel *>("icon");
  ASSERT_NE(version, nullptr);
  ASSERT_NE(notice, nullptr);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(version->text(), "Norvview Control, Version 1.0");
  EXPECT_FALSE(notice->text().isEmpty());
  EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
  const auto buttons = dialog->findChildren<QPushButton *>();
  ASSERT_EQ(buttons.size(), 1);
  EXPECT_EQ(buttons[0], okButton(dialog.get()));
  dialog->show();
  okButton(dialog.get())->click();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(DialogsTest, AboutBoxRunsModallyUntilOk) {
  QString title;
  QTimer::singleShot(0, [&title] {
    QWidget *modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    title = modal->windowTitle();
    okButton(modal)->click();
  });
  runAboutBox();
  EXPECT_EQ(title, "About Norvview Control");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(DialogsTest, PropertyPageIsEmpty) {
  std::unique_ptr<QWidget> page(createPropertyPage(nullptr));
  EXPECT_EQ(page->windowTitle(), "General");
  EXPECT_TRUE(page->findChildren<QWidget *>().isEmpty());
}

}  // namespace
}  // namespace gui
