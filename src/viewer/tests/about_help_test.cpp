// The about box built offscreen (caption, texts, OK closing a modal run), the registry lookup of
// the system-information program, the help page beside the built program and its contents, and
// the message when no browser shows it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "about_box.h"
#include "app_fixture.h"
#include "help.h"
#include "modal_watch.h"

namespace viewer {
namespace {

using ViewerWindowTest = QtAppTest;

QString labelText(const QWidget &dialog, const char *name) {
  const auto *label = dialog.findChild<QLabel *>(name);
  return label == nullptr ? QString("<missing>") : label->text();
}

TEST_F(ViewerWindowTest, AboutBoxTexts) {
  AboutBox about({"1.2.3", "Dec 11 2026"});
  EXPECT_EQ(about.windowTitle(), "About Norvview");
  EXPECT_EQ(labelText(about, "lblTitle"), QString("Norvview ") + NORVVIEW_VERSION);
  EXPECT_EQ(labelText(about, "Norvview_Ocx_Ver"), "Norvview.ocx 1.2.3 built Dec 11 2026");
  EXPECT_EQ(labelText(about, "lblDisclaimer"),
            "This is pre-alpha software!  Use at your own risk!");
  const auto *sysInfo = about.findChild<QPushButton *>("cmdSysInfo");
  ASSERT_NE(sysInfo, nullptr);
  EXPECT_EQ(sysInfo->text(), "&System Info...");
}

TEST_F(ViewerWindowTest, AboutBoxOkEndsTheModalRun) {
  AboutBox about({});
  auto *ok = about.findChild<QPushButton *>("cmdOK");
  ASSERT_NE(ok, nullptr);
  QTimer::singleShot(0, ok, &QPushButton::click);
  EXPECT_EQ(about.exec(), QDialog::Accepted);
  EXPECT_FALSE(about.isVisible());
}

TEST_F(ViewerWindowTest, RegistryValues) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QSettings root(dir.filePath("registry.ini"), QSettings::IniFormat);
  QString value = "untouched";
  EXPECT_FALSE(GetKeyValue(root, "SOFTWARE\\Missing", "PATH", value));
  EXPECT_EQ(value, "untouched");
  root.setValue("SOFTWARE/Tools/Text", "C:\\tools");
  root.setValue("SOFTWARE/Tools/Word", 0x2A);
  root.setValue("SOFTWARE/Tools/Negative", -1);
  root.setValue("SOFTWARE/Tools/List", QStringList{"a", "b"});
  const struct {
    const char *value;
    bool found;
    const char *text;
  } cases[] = {
      {"Text", true, "C:\\tools"}, {"Word", true, "&h2a"}, {"Negative", true, "&hffffffff"},
      {"List", false, ""},         {"None", false, ""},
  };
  for (const auto &c : cases) {
    QString text;
    EXPECT_EQ(GetKeyValue(root, "SOFTWARE\\Tools", c.value, text), c.found) << c.value;
    EXPECT_EQ(text, c.text) << c.value;
  }
}

TEST_F(ViewerWindowTest, SystemInformationProgramLookup) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QSettings root(dir.filePath("registry.ini"), QSettings::IniFormat);
  EXPECT_EQ(findSysInfoProgram(root), "");

  // The shared tools location counts only when the program is really there.
  root.setValue("SOFTWARE/Microsoft/Shared Tools Location/MSINFO", dir.path());
  EXPECT_EQ(findSysInfoProgram(root), "");
  QFile program(dir.filePath("MSINFO32.EXE"));
  ASSERT_TRUE(program.open(QIODevice::WriteOnly));
  program.close();
  EXPECT_EQ(findSysInfoProgram(root), dir.filePath("MSINFO32.EXE"));

  // The MSINFO key's PATH comes first, taken as it stands.
  root.setValue("SOFTWARE/Microsoft/Shared Tools/MSINFO/PATH", "/opt/sysinfo");
  EXPECT_EQ(findSysInfoProgram(root), "/opt/sysinfo");
}

// Help > Contents says so when no browser can show the page: with an empty search path none
// can be started.
TEST_F(ViewerWindowTest, HelpContentsSaysWhenNoBrowserShowsThePage) {
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QByteArray("/nonexistent"));
  ModalWatch watch;
  const bool shown = ShowHelpContents(nullptr);
  qputenv("PATH", path);
  EXPECT_FALSE(shown);
  const QString page = helpFilePath(QCoreApplication::applicationDirPath());
  EXPECT_EQ(watch.messages(),
            QStringList{"Norvview|The help page " + page +
                        " cannot be shown: no web browser could be started. Open it in a "
                        "browser of your choice.|OK"});
}

TEST(Help, PageBesideTheProgram) {
  EXPECT_EQ(helpFilePath("/opt/norvview/bin"), "/opt/norvview/bin/help/Norvview.html");
  EXPECT_EQ(helpFilePath("/opt/norvview/bin/"), "/opt/norvview/bin/help/Norvview.html");
}

TEST(Help, PageBesideTheBuiltProgramNamesTheMainCommands) {
  QFile page(helpFilePath(NORVVIEW_PROGRAM_DIR));
  ASSERT_TRUE(page.open(QIODevice::ReadOnly));
  const QString html = QString::fromUtf8(page.readAll());
  EXPECT_TRUE(html.startsWith("<!DOCTYPE html>"));
  EXPECT_TRUE(html.trimmed().endsWith("</html>"));
  for (const char *command : {"Open...", "Convert Tiff to Norv", "Contents...", "What's This?",
                              "About Norvview...", "Print...", "Options...", "Save Page As .bmp"})
    EXPECT_TRUE(html.contains(command)) << command;
}

}  // namespace
}  // namespace viewer
