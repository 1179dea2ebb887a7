// The view control reached as the viewer reaches it: through the registry record, the module
// loaded with dlopen and its class object; the viewer's dispatch ids against the control's own
// member table; the control's window painting the document; the loader's failures (no record,
// no module file, a library that is no control module); and the first start's registration of
// the module installed with the viewer.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QPdfWriter>
#include <QWidget>
#include <cstdlib>
#include <set>
#include <string>

#include "comp_guids.h"
#include "comp_registry.h"
#include "control_fixture.h"
#include "control_ids.h"
#include "control_loader.h"
#include "testkit_files.h"
#include "viewer_documents.h"

namespace viewer {
namespace {

using comp::Variant;

using ControlLoaderTest = ControlTest;

TEST_F(ControlLoaderTest, DispatchIdsAnswerToTheirNames) {
  const struct {
    int32_t id;
    const char *name;
  } ids[] = {
      {dispid::FullPageCacheThreshold, "FullPageCacheThreshold"},
      {dispid::PageBreakSpace, "PageBreakSpace"},
      {dispid::ExtraPageCacheSize, "ExtraPageCacheSize"},
      {dispid::ViewMode, "ViewMode"},
      {dispid::FileName, "FileName"},
      {dispid::ZoomFactor, "ZoomFactor"},
      {dispid::CurrentPage, "CurrentPage"},
      {dispid::Layer, "Layer"},
      {dispid::IsTiff, "IsTiff"},
      {dispid::Orientation, "Orientation"},
      {dispid::IsNorv, "IsNorv"},
      {dispid::FirstPage, "FirstPage"},
      {dispid::LastPage, "LastPage"},
      {dispid::NextPage, "NextPage"},
      {dispid::PreviousPage, "PreviousPage"},
      {dispid::NumPages, "NumPages"},
      {dispid::SetPosition, "SetPosition"},
      {dispid::GetYPosition, "GetYPosition"},
      {dispid::GetXPosition, "GetXPosition"},
      {dispid::PurgeAllData, "PurgeAllData"},
      {dispid::SetXPosition, "SetXPosition"},
      {dispid::SetYPosition, "SetYPosition"},
      {dispid::GetModalHeight, "GetModalHeight"},
      {dispid::GetModalWidth, "GetModalWidth"},
      {dispid::GetTotalHeight, "GetTotalHeight"},
      {dispid::GetTotalWidth, "GetTotalWidth"},
      {dispid::GetCurrentPageWidth, "GetCurrentPageWidth"},
      {dispid::GetCurrentPageHeight, "GetCurrentPageHeight"},
      {dispid::Pan, "Pan"},
      {dispid::GetModalXPosition, "GetModalXPosition"},
      {dispid::GetModalYPosition, "GetModalYPosition"},
      {dispid::SetHandCursor, "SetHandCursor"},
      {dispid::SetGrabCursor, "SetGrabCursor"},
      {dispid::SetDefaultCursor, "SetDefaultCursor"},
      {dispid::SetZoomToolCursor, "SetZoomToolCursor"},
      {dispid::CopyToClipboardTLBR, "CopyToClipboardTLBR"},
      {dispid::CopyPageToClipboard, "CopyPageToClipboard"},
      {dispid::SetModalYPosition, "SetModalYPosition"},
      {dispid::GetPageX, "GetPageX"},
      {dispid::GetPageY, "GetPageY"},
      {dispid::SetZoomAndModalPosition, "SetZoomAndModalPosition"},
      {dispid::GetPageForPosition, "GetPageForPosition"},
      {dispid::LayersOnCurrentPage, "LayersOnCurrentPage"},
      {dispid::GetFileVersion, "GetFileVersion"},
      {dispid::GetBuildDate, "GetBuildDate"},
      {dispid::PrintLayerFromTo, "PrintLayerFromTo"},
      {dispid::SavePageAsBmp, "SavePageAsBmp"},
      {dispid::LayersOnPage, "LayersOnPage"},
      {dispid::ConvertTiff2Tfx, "ConvertTiff2Tfx"},
      {dispid::SetOrientationAndPagePosition, "SetOrientationAndPagePosition"},
      {dispid::BackColor, "BackColor"},
      {dispid::AboutBox, "AboutBox"},
  };
  std::unique_ptr<ViewControl> control = newControl();
  ASSERT_NE(control, nullptr);
  // Names compare without case, as getIdsOfNames does.
  std::set<QString> listed;
  for (const comp::MemberInfo &m : control->dispatch()->members())
    listed.insert(QString(m.name).toLower());
  for (const auto &entry : ids) {
    int32_t id = 0;
    EXPECT_EQ(control->dispatch()->getIdsOfNames(entry.name, &id), comp::S_OK) << entry.name;
    EXPECT_EQ(id, entry.id) << entry.name;
    listed.erase(QString(entry.name).toLower());
  }
  // Every member the control lists has its id here.
  EXPECT_TRUE(listed.empty()) << listed.begin()->toStdString();
}

TEST_F(ControlLoaderTest, ControlOpensADocumentAndItsWindowPaintsIt) {
  norvtest::TempDir dir("viewer_loader");
  const std::string tiff = dir.file("page.tif");
  ASSERT_TRUE(writeTestTiff(tiff, {{60, 40}, {30, 20}}));
  std::unique_ptr<ViewControl> control = newControl();
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->get(dispid::NumPages).type(), comp::VarType::Empty);  // a method, not a get
  EXPECT_EQ(control->call(dispid::NumPages), Variant::i4(0));
  EXPECT_EQ(control->put(dispid::FileName, Variant::bstr(tiff)), comp::S_OK);
  EXPECT_EQ(control->get(dispid::FileName), Variant::bstr(tiff));
  EXPECT_EQ(control->call(dispid::NumPages), Variant::i4(2));
  EXPECT_EQ(control->put(dispid::FileName, Variant::i4(5)), comp::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(control->call(dispid::NumPages, {Variant::i4(1)}).type(), comp::VarType::Empty);

  // The window shows page 1 at the top left at the control's zoom: its pixels are the control's
  // own render of the page.
  QWidget parent;
  QWidget *window = control->createWindow(&parent);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->parentWidget(), &parent);
  window->resize(200, 150);
  parent.resize(200, 150);
  parent.show();
  const QImage render = controlRender(*control->dispatch(), 1);
  const double zoom = control->get(dispid::ZoomFactor).asR8();
  EXPECT_EQ(render.size(), QSize(static_cast<int>(60 * zoom), static_cast<int>(40 * zoom)));
  expectShowsRender(window->grab().toImage(), render);
}

TEST_F(ControlLoaderTest, WindowAndControlGoInEitherOrder) {
  {
    std::unique_ptr<ViewControl> control = newControl();
    ASSERT_NE(control, nullptr);
    QWidget *window = control->createWindow(nullptr);
    ASSERT_NE(window, nullptr);
    control.reset();  // the window keeps the control alive
    window->resize(50, 50);
    window->grab();
    delete window;
  }
  std::unique_ptr<ViewControl> control = newControl();
  ASSERT_NE(control, nullptr);
  delete control->createWindow(nullptr);
  // Back on its idle site: a redraw request with no window is harmless.
  EXPECT_EQ(control->put(dispid::ZoomFactor, Variant::r8(2.0)), comp::S_OK);
}

TEST_F(ControlLoaderTest, EventsReachTheAdvisedSink) {
  struct Sink : comp::EventSink {
    std::vector<int32_t> ids;
    void fire(int32_t id, std::span<const Variant>) override { ids.push_back(id); }
  } sink;
  std::unique_ptr<ViewControl> control = newControl();
  ASSERT_NE(control, nullptr);
  std::unique_ptr<QWidget> window(control->createWindow(nullptr));
  ASSERT_NE(window, nullptr);
  control->advise(&sink);
  window->resize(40, 40);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(window.get(), &press);
  control->advise(nullptr);
  QCoreApplication::sendEvent(window.get(), &press);
  EXPECT_EQ(sink.ids, std::vector<int32_t>{eventid::MouseDown});
}

TEST_F(ControlLoaderTest, PrinterHandlesReachTheModule) {
  norvtest::TempDir dir("viewer_print");
  const std::string tiff = dir.file("doc.tif");
  ASSERT_TRUE(writeTestTiff(tiff, {{60, 40}, {30, 20}}));
  std::unique_ptr<ViewControl> control = newControl();
  ASSERT_NE(control, nullptr);
  ASSERT_EQ(control->put(dispid::FileName, Variant::bstr(tiff)), comp::S_OK);
  const auto print = [&](int32_t handle) {
    return control->call(dispid::PrintLayerFromTo,
                         {Variant::i4(handle), Variant::i4(0), Variant::i4(1), Variant::i4(2)});
  };
  const QString pdfPath = QString::fromStdString(dir.file("out.pdf"));
  int32_t handle = 0;
  {
    QPdfWriter pdf(pdfPath);
    pdf.setResolution(72);  // small device pages: the document's pages fill them
    handle = control->registerPrinter(pdf);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(print(handle), Variant::i4(0));
    control->unregisterPrinter(handle);
  }
  // Two pages went to the PDF; the handle is gone with its registration.
  QFile file(pdfPath);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().count("/Type /Page\n"), 2);
  EXPECT_EQ(print(handle), Variant::i4(-1));
}

// The path of the shared object that holds a symbol of this program's Qt.
std::string qtLibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void *>(&qVersion), &info) == 0 || info.dli_fname == nullptr)
    return {};
  return info.dli_fname;
}

TEST_F(ControlLoaderTest, LoadFailures) {
  norvtest::TempDir dir("viewer_loader");
  const std::string qt = qtLibraryPath();
  ASSERT_FALSE(qt.empty());
  const struct {
    const char *what;
    std::string registryText;  // empty: no registry file
    const char *message;
  } cases[] = {
      {"no registry file", "", "is not registered"},
      {"another class only",
       "[Class {00000000-0000-0000-0000-000000000001}]\nProgID=Other.Thing.1\nModule=" + qt + "\n",
       "is not registered"},
      {"a record without a module",
       std::string("[Class ") + comp::kControlClassId + "]\nProgID=" + kControlProgId + "\n",
       "is not registered"},
      {"a module file that is gone",
       std::string("[Class ") + comp::kControlClassId + "]\nProgID=" + kControlProgId +
           "\nModule=" + dir.file("gone.so") + "\n",
       "Cannot load"},
      {"a library that is no control module",
       std::string("[Class ") + comp::kControlClassId + "]\nProgID=" + kControlProgId +
           "\nModule=" + qt + "\n",
       "has no class object"},
      {"an unreadable registry", "not a registry line\n", "cannot be read"},
  };
  for (const auto &c : cases) {
    const std::string path = dir.file(std::string("registry_") + std::to_string(&c - cases));
    if (!c.registryText.empty()) {
      ASSERT_TRUE(norvtest::writeFile(path, c.registryText));
    }
    QString error;
    EXPECT_EQ(ControlModule::load(path, kControlProgId, &error), nullptr) << c.what;
    EXPECT_TRUE(error.contains(c.message)) << c.what << ": " << error.toStdString();
  }
}

// The module's file name as installed, and a copy-free stand-in for an installation: links to
// the built module at the places the viewer looks.
const char *moduleName() {
  return NORVVIEW_MODULE_NAME;
}

TEST_F(ControlLoaderTest, InstalledModulePath) {
  norvtest::TempDir dir("viewer_install");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.file("bin"))));
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.file("lib"))));
  const QString bin = QString::fromStdString(dir.file("bin"));
  EXPECT_EQ(installedModulePath(bin), "");
  const QString beside = bin + "/" + moduleName();
  ASSERT_TRUE(QFile::link(NORVVIEW_MODULE_PATH, beside));
  EXPECT_EQ(installedModulePath(bin), beside);
  // The library directory's module comes first.
  const QString inLib = QString::fromStdString(dir.file(std::string("lib/") + moduleName()));
  ASSERT_TRUE(QFile::link(NORVVIEW_MODULE_PATH, inLib));
  EXPECT_EQ(installedModulePath(bin), inLib);
}

TEST_F(ControlLoaderTest, FirstStartRegistersTheInstalledModule) {
  norvtest::TempDir dir("viewer_first");
  const std::string path = dir.file("config/registry.ini");
  setenv(comp::kRegistryPathVariable, path.c_str(), 1);
  QString error;
  // Nothing installed in an empty folder: no record, a message.
  EXPECT_FALSE(ensureControlRegistered(QString::fromStdString(dir.path()), &error));
  EXPECT_TRUE(error.contains("not registered")) << error.toStdString();
  EXPECT_FALSE(isRegistered(path, kControlProgId));

  // The program's folder holds the module (as after installation): it gets registered.
  const QString programDir = NORVVIEW_PROGRAM_DIR;
  EXPECT_TRUE(ensureControlRegistered(programDir, &error)) << error.toStdString();
  comp::Registry registry;
  comp::ClassRecord record;
  ASSERT_TRUE(registry.load(path));
  ASSERT_TRUE(registry.findClassByProgId(kControlProgId, &record));
  // The same file (a process that loaded the module before names it by its first name).
  EXPECT_EQ(QFileInfo(QString::fromStdString(record.modulePath)).canonicalFilePath(),
            QFileInfo(installedModulePath(programDir)).canonicalFilePath());
  std::unique_ptr<ControlModule> loaded = ControlModule::load(path, kControlProgId, &error);
  EXPECT_NE(loaded, nullptr) << error.toStdString();

  // An existing record is left as it stands.
  const std::string text = std::string("[Class ") + comp::kControlClassId +
                           "]\nProgID=" + kControlProgId + "\nModule=/elsewhere/module.so\n";
  ASSERT_TRUE(norvtest::writeFile(path, text));
  EXPECT_TRUE(ensureControlRegistered(programDir, &error));
  bool ok = false;
  const std::vector<uint8_t> after = norvtest::readFile(path, &ok);
  EXPECT_EQ(std::string(after.begin(), after.end()), text);
  setenv(comp::kRegistryPathVariable, registryPath().c_str(), 1);
}

}  // namespace
}  // namespace viewer
