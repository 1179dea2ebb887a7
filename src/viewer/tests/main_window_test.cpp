// The main window built offscreen: its frame, size and menus in order with their captions, Exit
// closing it; and the name rules of the open and convert commands.
#include <gtest/gtest.h>

#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStringList>

#include "app_fixture.h"
#include "main_window.h"

namespace viewer {
namespace {

using MainWindowTest = QtAppTest;

// "name=caption" for each item of a menu, "-" for a separator.
QStringList items(const QMenu *menu) {
  QStringList list;
  for (const QAction *action : menu->actions())
    list << (action->isSeparator() ? QString("-") : action->objectName() + "=" + action->text());
  return list;
}

TEST_F(MainWindowTest, FrameSizeAndMenus) {
  NorvviewApp window;
  EXPECT_EQ(window.centralWidget(), window.mdiArea());
  EXPECT_TRUE(window.mdiArea()->subWindowList().isEmpty());
  // 9000 by 12600 twips: portrait, 6.25 by 8.75 inches.
  const double dpi = window.screen()->logicalDotsPerInchY();
  EXPECT_NEAR(window.height(), 8.75 * dpi, 1.0);
  EXPECT_NEAR(window.width(), 6.25 * window.screen()->logicalDotsPerInchX(), 1.0);

  const QList<QAction *> menus = window.menuBar()->actions();
  ASSERT_EQ(menus.size(), 3);
  EXPECT_EQ(menus[0]->text(), "&File");
  EXPECT_EQ(menus[1]->text(), "&Tools");
  EXPECT_EQ(menus[2]->text(), "&Help");
  EXPECT_EQ(items(menus[0]->menu()),
            QStringList({"menuFileOpen=&Open...", "-", "menuFileExit=E&xit"}));
  EXPECT_EQ(items(menus[1]->menu()),
            QStringList({"menuToolsConverttifftonorv=Convert Tiff to Norv"}));
  EXPECT_EQ(items(menus[2]->menu()),
            QStringList({"menuHelpContents=&Contents...", "menuHelpWhatsthis=&What's This?", "-",
                         "menuHelpAbout=&About Norvview..."}));
}

TEST_F(MainWindowTest, ExitClosesTheWindow) {
  NorvviewApp window;
  window.show();
  ASSERT_TRUE(window.isVisible());
  window.findChild<QAction *>("menuFileExit")->trigger();
  EXPECT_FALSE(window.isVisible());
}

TEST(MainWindowNames, CleanFileName) {
  const struct {
    const char *given;
    const char *cleaned;
  } cases[] = {
      {"\"/tmp/a b.tfx\"", "/tmp/a b.tfx"},  // quotes around a path
      {"  /tmp/a.tfx  ", "/tmp/a.tfx"},
      {"   ", ""},
      {"\"/tmp/a.tfx", "/tmp/a.tfx"},  // a leading quote only
      {"/tmp/a.tfx\"", "/tmp/a.tfx"},
      {"\"", ""},  // emptied by the first removal; the second finds nothing
      {"\"\"", ""},
      {"\"\"x\"\"", "\"x\""},  // each quote removed once
      {" \"a\" ", "a"},
      {"\ta.tfx", "\ta.tfx"},  // only blanks are trimmed
  };
  for (const auto &c : cases) EXPECT_EQ(cleanFileName(c.given), c.cleaned) << c.given;
}

TEST(MainWindowNames, ProposedOutputName) {
  const struct {
    const char *tiff;
    const char *output;
  } cases[] = {
      {"scan.tif", "scan.tfx"},
      {"/data/scan.page.tiff", "/data/scan.page.tfx"},
      {"scan", "scan.tfx"},
      {"/data/v1.2/scan", "/data/v1.tfx"},  // the last dot anywhere in the path
      {".tif", ".tfx"},
  };
  for (const auto &c : cases) EXPECT_EQ(proposedOutputName(c.tiff), c.output) << c.tiff;
}

}  // namespace
}  // namespace viewer
