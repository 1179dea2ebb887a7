// The control module as a program that never links it meets it: loaded with dlopen, registered
// into a registry file in a temporary directory, the control found by its ProgID, created
// through its class object and driven by dispatch id, then unregistered. Also: the entry
// points' errors, the unload answer by live objects and locks, registration failures in their
// order (type library first, classes second), the about box run by dispatch id, the hidden
// internals and the version resource.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "comp_dispatch.h"
#include "comp_guids.h"
#include "comp_module.h"
#include "comp_registry.h"
#include "comp_typelib.h"
#include "testkit_files.h"
#include "testkit_tools.h"

namespace {

using comp::ClassFactory;
using comp::Registry;
using comp::Unknown;
using comp::Variant;

constexpr const char *kControlProgId = "NORVVIEW.NorvviewCtrl.1";
constexpr const char *kPageProgId = "NORVVIEW.NorvviewPropPage.1";

// The registry file inside a temporary directory (in a subdirectory registration must make).
class ModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = dlopen(NORV_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << dlerror();
    registerServer_ = entry<comp::RegisterServerFn>(comp::kRegisterServerName);
    unregisterServer_ = entry<comp::RegisterServerFn>(comp::kUnregisterServerName);
    getClassObject_ = entry<comp::GetClassObjectFn>(comp::kGetClassObjectName);
    canUnloadNow_ = entry<comp::CanUnloadNowFn>(comp::kCanUnloadNowName);
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) dlclose(module_);
    module_ = nullptr;
  }

  void SetUp() override {
    ASSERT_NE(canUnloadNow_, nullptr);
    path_ = dir_.file("config/norvview/registry.ini");
    setenv(comp::kRegistryPathVariable, path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv(comp::kRegistryPathVariable);
    EXPECT_EQ(canUnloadNow_(), comp::S_OK) << "objects or locks left behind";
  }

  template <class Fn>
  static Fn entry(const char *name) {
    return reinterpret_cast<Fn>(dlsym(module_, name));
  }

  Registry registry() const {
    Registry r;
    EXPECT_TRUE(r.load(path_));
    return r;
  }

  ClassFactory *classObject(const char *classId) {
    void *object = nullptr;
    EXPECT_EQ(getClassObject_(classId, comp::kClassFactoryInterfaceId, &object), comp::S_OK);
    return static_cast<ClassFactory *>(object);
  }

  // A new object of classId through its class object, as the interface iid (null on failure).
  template <class Interface>
  Interface *create(const char *classId, const char *iid) {
    ClassFactory *factory = classObject(classId);
    if (factory == nullptr) return nullptr;
    void *object = nullptr;
    EXPECT_EQ(factory->createInstance(nullptr, iid, &object), comp::S_OK);
    factory->release();
    return static_cast<Interface *>(object);
  }

  static inline void *module_ = nullptr;
  static inline comp::RegisterServerFn registerServer_ = nullptr;
  static inline comp::RegisterServerFn unregisterServer_ = nullptr;
  static inline comp::GetClassObjectFn getClassObject_ = nullptr;
  static inline comp::CanUnloadNowFn canUnloadNow_ = nullptr;
  norvtest::TempDir dir_{"ctlmodule"};
  std::string path_;
};

Variant call(comp::Dispatch *d, int32_t id, uint32_t flags,
             std::initializer_list<Variant> args = {}) {
  Variant result;
  const std::vector<Variant> list(args);
  EXPECT_EQ(d->invoke(id, flags, list, &result), comp::S_OK) << "member " << id;
  return result;
}

// A two-page plain TIFF made by the netpbm and libtiff tools.
std::string twoPageTiff(const norvtest::TempDir &dir) {
  const std::string one = dir.file("one.tif"), two = dir.file("two.tif");
  const std::string both = dir.file("both.tif");
  EXPECT_EQ(norvtest::runTool("pbmmake -black 40 30 | pnmtotiff > " + one).status, 0);
  EXPECT_EQ(norvtest::runTool("pbmmake -white 20 50 | pnmtotiff > " + two).status, 0);
  EXPECT_EQ(norvtest::runTool("tiffcp " + one + " " + two + " " + both).status, 0);
  return both;
}

TEST_F(ModuleTest, RegisterFindCreateDriveUnregister) {
  // A record of another program survives registration and unregistration.
  Registry foreign;
  foreign.put({"Class {00000000-1111-2222-3333-444444444444}", {{"ProgID", "Other.Thing.1"}}});
  ASSERT_TRUE(foreign.save(path_));

  ASSERT_EQ(registerServer_(), comp::S_OK);
  const std::string module = NORV_MODULE_PATH;
  comp::ClassRecord control, page;
  {
    const Registry r = registry();
    ASSERT_TRUE(r.findClassByProgId(kControlProgId, &control));
    ASSERT_TRUE(r.findClassByProgId(kPageProgId, &page));
    EXPECT_NE(r.find("Class {00000000-1111-2222-3333-444444444444}"), nullptr);
    const comp::RegistrySection *typeLib = r.find(comp::typeLibSectionName(comp::kTypeLibId, 1, 0));
    ASSERT_NE(typeLib, nullptr);
    ASSERT_NE(typeLib->value("Name"), nullptr);
    EXPECT_EQ(*typeLib->value("Name"), "NORVVIEWLib");
    EXPECT_EQ(*typeLib->value("Module"), module);
  }
  EXPECT_EQ(control.classId, comp::kControlClassId);
  EXPECT_EQ(control.typeName, "Norvview Control");
  EXPECT_EQ(control.modulePath, module);
  EXPECT_EQ(control.threadingModel, "Apartment");
  EXPECT_EQ(control.miscStatus, 0x20191u);
  EXPECT_EQ(control.typeLibId, comp::kTypeLibId);
  EXPECT_EQ(control.typeLibVersion, "1.0");
  EXPECT_EQ(page.classId, comp::kPropertyPageClassId);
  EXPECT_EQ(page.typeName, "Norvview Property Page");
  EXPECT_EQ(page.modulePath, module);
  EXPECT_EQ(page.threadingModel, "Apartment");

  // As the viewer does: the module named by the record, its class object, a new control.
  void *viewerHandle = dlopen(control.modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_EQ(viewerHandle, module_);  // the same module, loaded once
  auto *dispatch =
      create<comp::DispatchObject>(control.classId.c_str(), comp::kGenericDispatchInterfaceId);
  ASSERT_NE(dispatch, nullptr);
  EXPECT_EQ(canUnloadNow_(), comp::S_FALSE);
  int32_t id = 0;
  ASSERT_EQ(dispatch->getIdsOfNames("numpages", &id), comp::S_OK);
  EXPECT_EQ(id, 16);

  call(dispatch, 6, comp::kPropPut, {Variant::r8(-2.0)});  // ZoomFactor
  EXPECT_EQ(call(dispatch, 6, comp::kPropGet), Variant::r8(2.0));
  EXPECT_EQ(call(dispatch, 44, comp::kMethod), Variant::bstr("0, 7, 6, 0"));  // GetFileVersion
  const std::string tiff = twoPageTiff(dir_);
  call(dispatch, 5, comp::kPropPut, {Variant::bstr(tiff)});  // FileName
  EXPECT_EQ(call(dispatch, 5, comp::kPropGet), Variant::bstr(tiff));
  EXPECT_EQ(call(dispatch, 16, comp::kMethod), Variant::i4(2));          // NumPages
  EXPECT_EQ(call(dispatch, 14, comp::kMethod), Variant::i4(2));          // NextPage
  EXPECT_EQ(call(dispatch, 7, comp::kPropGet), Variant::i4(2));          // CurrentPage
  EXPECT_EQ(call(dispatch, 9, comp::kPropGet), Variant::boolean(true));  // IsTiff

  // The same object under the control's own dispatch id, its identity and its queries.
  void *same = nullptr, *identity = nullptr, *infoView = nullptr;
  ASSERT_EQ(dispatch->queryInterface(comp::kDispatchInterfaceId, &same), comp::S_OK);
  EXPECT_EQ(same, static_cast<void *>(dispatch));
  ASSERT_EQ(dispatch->queryInterface(comp::kUnknownInterfaceId, &identity), comp::S_OK);
  ASSERT_EQ(
      static_cast<Unknown *>(identity)->queryInterface(comp::kControlInfoInterfaceId, &infoView),
      comp::S_OK);
  auto *info = static_cast<comp::ControlInfo *>(infoView);
  EXPECT_STREQ(info->userTypeName(), "Norvview Control");
  EXPECT_EQ(info->miscStatus(), 0x20191u);
  EXPECT_EQ(info->typeInfoCount(), 1u);
  ASSERT_EQ(info->propertyPages().size(), 1u);
  EXPECT_TRUE(comp::sameId(info->propertyPages()[0], page.classId.c_str()));
  void *none = &id;
  EXPECT_EQ(info->queryInterface(comp::kPropertyPageInterfaceId, &none), comp::E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  // One reference each: createInstance and the three interfaces asked for.
  EXPECT_EQ(info->release(), 3u);
  EXPECT_EQ(static_cast<Unknown *>(identity)->release(), 2u);
  EXPECT_EQ(static_cast<comp::DispatchObject *>(same)->release(), 1u);
  EXPECT_EQ(canUnloadNow_(), comp::S_FALSE);
  EXPECT_EQ(dispatch->release(), 0u);
  EXPECT_EQ(canUnloadNow_(), comp::S_OK);
  dlclose(viewerHandle);

  // The property page, by its ProgID's class.
  auto *propertyPage =
      create<comp::PropertyPage>(page.classId.c_str(), comp::kPropertyPageInterfaceId);
  ASSERT_NE(propertyPage, nullptr);
  EXPECT_STREQ(propertyPage->caption(), "General");
  EXPECT_EQ(propertyPage->isPageDirty(), comp::S_FALSE);
  EXPECT_EQ(propertyPage->apply(), comp::S_OK);
  EXPECT_EQ(canUnloadNow_(), comp::S_FALSE);
  EXPECT_EQ(propertyPage->release(), 0u);
  EXPECT_EQ(canUnloadNow_(), comp::S_OK);

  ASSERT_EQ(unregisterServer_(), comp::S_OK);
  const Registry after = registry();
  EXPECT_FALSE(after.findClassByProgId(kControlProgId, &control));
  EXPECT_FALSE(after.findClassByProgId(kPageProgId, &page));
  EXPECT_EQ(after.find(comp::typeLibSectionName(comp::kTypeLibId, 1, 0)), nullptr);
  EXPECT_EQ(after, foreign);
}

TEST_F(ModuleTest, ClassObjectsAndCreationRefuseWhatTheyLack) {
  struct Case {
    const char *classId;
    const char *iid;
    int32_t status;
  };
  const Case cases[] = {
      {comp::kControlClassId, comp::kClassFactoryInterfaceId, comp::S_OK},
      {comp::kPropertyPageClassId, comp::kUnknownInterfaceId, comp::S_OK},
      {"{6b1f3c23-7a4e-4d2b-9c51-3e8a0f6d2b10}", comp::kClassFactoryInterfaceId, comp::S_OK},
      {comp::kTypeLibId, comp::kClassFactoryInterfaceId, comp::CLASS_E_CLASSNOTAVAILABLE},
      {"", comp::kClassFactoryInterfaceId, comp::CLASS_E_CLASSNOTAVAILABLE},
      {nullptr, comp::kClassFactoryInterfaceId, comp::CLASS_E_CLASSNOTAVAILABLE},
      {comp::kControlClassId, comp::kGenericDispatchInterfaceId, comp::E_NOINTERFACE},
      {comp::kControlClassId, nullptr, comp::E_NOINTERFACE},
  };
  for (const Case &c : cases) {
    int marker = 0;
    void *object = &marker;
    EXPECT_EQ(getClassObject_(c.classId, c.iid, &object), c.status);
    if (c.status == comp::S_OK) {
      ASSERT_NE(object, nullptr);
      static_cast<Unknown *>(object)->release();
    } else {
      EXPECT_EQ(object, nullptr);
    }
  }
  EXPECT_EQ(getClassObject_(comp::kControlClassId, comp::kClassFactoryInterfaceId, nullptr),
            comp::E_POINTER);

  // Creation: aggregation refused, interfaces an object lacks refused with nothing left alive.
  for (const char *classId : {comp::kControlClassId, comp::kPropertyPageClassId}) {
    ClassFactory *factory = classObject(classId);
    ASSERT_NE(factory, nullptr);
    int marker = 0;
    void *object = &marker;
    EXPECT_EQ(factory->createInstance(factory, comp::kUnknownInterfaceId, &object),
              comp::CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    object = &marker;
    EXPECT_EQ(factory->createInstance(nullptr, comp::kClassFactoryInterfaceId, &object),
              comp::E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->createInstance(nullptr, comp::kUnknownInterfaceId, nullptr),
              comp::E_POINTER);
    EXPECT_EQ(canUnloadNow_(), comp::S_OK);
    factory->release();
  }
  void *object = nullptr;
  ClassFactory *page = classObject(comp::kPropertyPageClassId);
  EXPECT_EQ(page->createInstance(nullptr, comp::kGenericDispatchInterfaceId, &object),
            comp::E_NOINTERFACE);
  EXPECT_EQ(page->createInstance(nullptr, comp::kControlInfoInterfaceId, &object),
            comp::E_NOINTERFACE);
  page->release();
  ClassFactory *control = classObject(comp::kControlClassId);
  EXPECT_EQ(control->createInstance(nullptr, comp::kPropertyPageInterfaceId, &object),
            comp::E_NOINTERFACE);
  control->release();
}

TEST_F(ModuleTest, UnloadWaitsForObjectsAndLocks) {
  ClassFactory *control = classObject(comp::kControlClassId);
  ClassFactory *page = classObject(comp::kPropertyPageClassId);
  ASSERT_NE(control, nullptr);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(canUnloadNow_(), comp::S_OK);  // class objects held: no object, no lock

  // Locks through either class object, counted; an unlock too many is ignored.
  EXPECT_EQ(control->lockServer(true), comp::S_OK);
  EXPECT_EQ(page->lockServer(true), comp::S_OK);
  EXPECT_EQ(control->lockServer(false), comp::S_OK);
  EXPECT_EQ(canUnloadNow_(), comp::S_FALSE);
  EXPECT_EQ(control->lockServer(false), comp::S_OK);
  EXPECT_EQ(canUnloadNow_(), comp::S_OK);
  EXPECT_EQ(page->lockServer(false), comp::S_OK);
  EXPECT_EQ(control->lockServer(true), comp::S_OK);
  EXPECT_EQ(canUnloadNow_(), comp::S_FALSE);

  // Objects of both classes, alive beside the lock and after it.
  void *a = nullptr, *b = nullptr;
  ASSERT_EQ(control->createInstance(nullptr, comp::kUnknownInterfaceId, &a), comp::S_OK);
  ASSERT_EQ(page->createInstance(nullptr, comp::kUnknownInterfaceId, &b), comp::S_OK);
  EXPECT_EQ(control->lockServer(false), comp::S_OK);
  EXPECT_EQ(canUnloadNow_(), comp::S_FALSE);
  static_cast<Unknown *>(a)->release();
  EXPECT_EQ(canUnloadNow_(), comp::S_FALSE);
  static_cast<Unknown *>(b)->release();
  EXPECT_EQ(canUnloadNow_(), comp::S_OK);
  control->release();
  page->release();
}

TEST_F(ModuleTest, RegistrationFailuresInOrder) {
  // A registry that cannot be read: the type library step fails, both ways.
  std::filesystem::create_directories(path_);
  EXPECT_EQ(registerServer_(), comp::SELFREG_E_TYPELIB);
  EXPECT_EQ(unregisterServer_(), comp::SELFREG_E_TYPELIB);
  std::filesystem::remove(path_);
  ASSERT_TRUE(norvtest::writeFile(path_, std::string("not a registry\n")));
  EXPECT_EQ(registerServer_(), comp::SELFREG_E_TYPELIB);
  bool ok = false;
  EXPECT_EQ(norvtest::readFile(path_, &ok),
            std::vector<uint8_t>(
                {'n', 'o', 't', ' ', 'a', ' ', 'r', 'e', 'g', 'i', 's', 't', 'r', 'y', '\n'}));
  std::filesystem::remove(path_);

  // Both steps would change an unwritable file: the type library step comes first.
  ASSERT_TRUE(Registry().save(path_));
  std::filesystem::create_directory(path_ + ".new");
  EXPECT_EQ(registerServer_(), comp::SELFREG_E_TYPELIB);
  EXPECT_TRUE(registry().sections().empty());
  std::filesystem::remove(path_ + ".new");

  // Registered, then the class records lost and the file made unwritable: the type library
  // step has nothing to change, the class step fails and the file stays as it was.
  ASSERT_EQ(registerServer_(), comp::S_OK);
  Registry r = registry();
  ASSERT_TRUE(r.remove(comp::classSectionName(comp::kControlClassId)));
  ASSERT_TRUE(r.remove(comp::classSectionName(comp::kPropertyPageClassId)));
  ASSERT_TRUE(r.save(path_));
  const std::vector<uint8_t> stale = norvtest::readFile(path_, &ok);
  std::filesystem::create_directory(path_ + ".new");
  EXPECT_EQ(registerServer_(), comp::SELFREG_E_CLASS);
  EXPECT_EQ(norvtest::readFile(path_, &ok), stale);
  // Unregistering must remove the type library first: that step fails.
  EXPECT_EQ(unregisterServer_(), comp::SELFREG_E_TYPELIB);
  EXPECT_EQ(norvtest::readFile(path_, &ok), stale);

  // Writable again: registering twice changes nothing the second time; unregistering twice
  // succeeds both times.
  std::filesystem::remove(path_ + ".new");
  ASSERT_EQ(registerServer_(), comp::S_OK);
  const std::vector<uint8_t> registered = norvtest::readFile(path_, &ok);
  std::filesystem::create_directory(path_ + ".new");
  EXPECT_EQ(registerServer_(), comp::S_OK);
  EXPECT_EQ(norvtest::readFile(path_, &ok), registered);
  std::filesystem::remove(path_ + ".new");
  EXPECT_EQ(unregisterServer_(), comp::S_OK);
  EXPECT_EQ(unregisterServer_(), comp::S_OK);
  EXPECT_TRUE(registry().sections().empty());
}

// AboutBox (dispatch -552) runs the about box modally in a program with a Qt application.
TEST_F(ModuleTest, AboutBoxByDispatchId) {
  auto *control = create<comp::DispatchObject>(comp::kControlClassId, comp::kDispatchInterfaceId);
  ASSERT_NE(control, nullptr);

  call(control, -552, comp::kMethod);  // no application: nothing shown, nothing waits

  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int argc = 1;
  char name[] = "test_ctlmodule";
  char *argv[] = {name, nullptr};
  {
    QApplication app(argc, argv);
    QString title;
    QTimer::singleShot(0, [&title] {
      QWidget *modal = QApplication::activeModalWidget();
      ASSERT_NE(modal, nullptr);
      title = modal->windowTitle();
      modal->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    call(control, -552, comp::kMethod);
    EXPECT_EQ(title, "About Norvview Control");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
  control->release();
}

// Only the entry points are visible; the module's internals stay hidden.
TEST_F(ModuleTest, OnlyTheEntryPointsAreExported) {
  for (const char *name : {comp::kRegisterServerName, comp::kUnregisterServerName,
                           comp::kGetClassObjectName, comp::kCanUnloadNowName})
    EXPECT_NE(dlsym(module_, name), nullptr) << name;
  for (const char *name : {"_ZN6ctlmod12moduleCountsEv", "_ZN6ctlmod11classObjectEPKc",
                           "_ZN4comp8Registry11defaultPathEv", "_ZN6ctlmod16kVersionResourceE"})
    EXPECT_EQ(dlsym(module_, name), nullptr) << name;
}

// The text of the named section of an ELF64 file, or "" when it has none.
std::string elfSection(const std::string &path, const char *wanted) {
  bool ok = false;
  const std::vector<uint8_t> file = norvtest::readFile(path, &ok);
  Elf64_Ehdr header;
  if (!ok || file.size() < sizeof header) return "";
  std::memcpy(&header, file.data(), sizeof header);
  const auto sectionAt = [&](size_t i, Elf64_Shdr *s) {
    const uint64_t at = header.e_shoff + uint64_t{i} * header.e_shentsize;
    if (at + sizeof *s > file.size()) return false;
    std::memcpy(s, file.data() + at, sizeof *s);
    return s->sh_offset + s->sh_size <= file.size();
  };
  Elf64_Shdr names;
  if (!sectionAt(header.e_shstrndx, &names)) return "";
  for (size_t i = 0; i < header.e_shnum; ++i) {
    Elf64_Shdr s;
    if (!sectionAt(i, &s) || s.sh_name >= names.sh_size) continue;
    const char *name = reinterpret_cast<const char *>(file.data() + names.sh_offset + s.sh_name);
    if (std::strcmp(name, wanted) == 0)
      return std::string(reinterpret_cast<const char *>(file.data() + s.sh_offset), s.sh_size);
  }
  return "";
}

// A text resource: the section's bytes up to the text's terminating zero (a sanitizer build
// pads the section after it).
std::string textResource(const char *section) {
  const std::string bytes = elfSection(NORV_MODULE_PATH, section);
  return bytes.substr(0, bytes.find('\0'));
}

// The type library resource, read as a container reads it from the file, describes every
// member of the control's member table, and the events the control's window fires.
TEST_F(ModuleTest, TypeLibraryResourceDescribesTheControl) {
  comp::TypeLibrary library;
  ASSERT_TRUE(comp::parseTypeLibrary(textResource(".norvview.typelib.1"), &library));
  EXPECT_EQ(library.name, "NORVVIEWLib");
  EXPECT_TRUE(comp::sameId(library.id.c_str(), comp::kTypeLibId));
  EXPECT_EQ(library.major, 1u);
  EXPECT_EQ(library.minor, 0u);
  const comp::TypeInterface *dispatch = library.find(comp::kDispatchInterfaceId);
  const comp::TypeInterface *events = library.find(comp::kEventInterfaceId);
  ASSERT_NE(dispatch, nullptr);
  ASSERT_NE(events, nullptr);
  EXPECT_EQ(dispatch->name, "_DNorvview");
  EXPECT_EQ(events->name, "_DNorvviewEvents");

  auto *control = create<comp::DispatchObject>(comp::kControlClassId, comp::kDispatchInterfaceId);
  ASSERT_NE(control, nullptr);
  const std::span<const comp::MemberInfo> members = control->members();
  ASSERT_EQ(dispatch->members.size(), members.size());
  for (const comp::MemberInfo &info : members) {
    SCOPED_TRACE(info.name);
    int described = 0;
    for (const comp::TypeMember &m : dispatch->members) described += m.describes(info);
    EXPECT_EQ(described, 1);
  }

  // The window's input as events: each event fired is described with its argument types.
  void *windowView = nullptr;
  ASSERT_EQ(control->queryInterface(comp::kControlWindowInterfaceId, &windowView), comp::S_OK);
  auto *hosting = static_cast<comp::ControlWindow *>(windowView);
  struct Sink : comp::EventSink {
    std::vector<std::pair<int32_t, std::vector<comp::VarType>>> fired;
    void fire(int32_t id, std::span<const Variant> args) override {
      std::vector<comp::VarType> types;
      for (const Variant &a : args) types.push_back(a.type());
      fired.emplace_back(id, types);
    }
  } sink;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int argc = 1;
  char name[] = "test_ctlmodule";
  char *argv[] = {name, nullptr};
  {
    QApplication app(argc, argv);
    hosting->advise(&sink);
    auto *window = static_cast<QWidget *>(hosting->createWindow(nullptr));
    ASSERT_NE(window, nullptr);
    window->resize(100, 80);
    const QPointF at(10, 12);
    QMouseEvent press(QEvent::MouseButtonPress, at, window->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, at, window->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, window->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QMouseEvent twice(QEvent::MouseButtonDblClick, at, window->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QWheelEvent wheel(at, window->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QKeyEvent up(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a");
    for (QEvent *e :
         std::initializer_list<QEvent *>{&press, &move, &release, &twice, &wheel, &down, &up})
      QApplication::sendEvent(window, e);
    hosting->advise(nullptr);
    delete window;
  }
  std::vector<int32_t> seen;
  for (const auto &[id, types] : sink.fired) {
    SCOPED_TRACE(id);
    seen.push_back(id);
    const comp::TypeMember *member = nullptr;
    for (const comp::TypeMember &m : events->members)
      if (m.id == id) member = &m;
    ASSERT_NE(member, nullptr);
    EXPECT_TRUE(member->event);
    EXPECT_EQ(member->args, types);
  }
  for (const int32_t id : {-605, -606, -607, -600, -601, 1, -602, -603, -604})
    EXPECT_NE(std::find(seen.begin(), seen.end(), id), seen.end()) << id;
  EXPECT_EQ(events->members.size(), 9u);
  hosting->release();
  control->release();
}

// The verbs Edit and Properties: Edit shows the control's window in the container's with the
// focus, Properties the property frame with the property page; other verbs are refused.
TEST_F(ModuleTest, VerbsEditAndProperties) {
  auto *control = create<comp::OleObject>(comp::kControlClassId, comp::kOleObjectInterfaceId);
  ASSERT_NE(control, nullptr);
  const std::span<const comp::Verb> verbs = control->verbs();
  ASSERT_EQ(verbs.size(), 2u);
  EXPECT_EQ(verbs[0].id, comp::OLEIVERB_PRIMARY);
  EXPECT_STREQ(verbs[0].name, "&Edit");
  EXPECT_EQ(verbs[1].id, comp::OLEIVERB_PROPERTIES);
  EXPECT_STREQ(verbs[1].name, "&Properties...");
  void *window = &window;
  EXPECT_EQ(control->doVerb(-3, nullptr, &window), comp::OLEOBJ_E_INVALIDVERB);
  EXPECT_EQ(window, nullptr);
  // No application: no window can be made and no frame is shown.
  EXPECT_EQ(control->doVerb(comp::OLEIVERB_PRIMARY, nullptr, &window), comp::E_FAIL);
  EXPECT_EQ(control->doVerb(comp::OLEIVERB_PROPERTIES, nullptr, nullptr), comp::S_OK);

  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int argc = 1;
  char name[] = "test_ctlmodule";
  char *argv[] = {name, nullptr};
  {
    QApplication app(argc, argv);
    QString title, tab;
    bool pageShown = false;
    QTimer::singleShot(0, [&] {
      QWidget *modal = QApplication::activeModalWidget();
      ASSERT_NE(modal, nullptr);
      title = modal->windowTitle();
      auto *tabs = modal->findChild<QTabWidget *>();
      ASSERT_NE(tabs, nullptr);
      ASSERT_EQ(tabs->count(), 1);
      tab = tabs->tabText(0);
      pageShown = tabs->widget(0)->objectName() == "propertyPage";
      auto *buttons = modal->findChild<QDialogButtonBox *>();
      ASSERT_NE(buttons->button(QDialogButtonBox::Apply), nullptr);
      ASSERT_NE(buttons->button(QDialogButtonBox::Cancel), nullptr);
      buttons->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(control->doVerb(comp::OLEIVERB_PROPERTIES, nullptr, nullptr), comp::S_OK);
    EXPECT_EQ(title, "Norvview Control Properties");
    EXPECT_EQ(tab, "General");
    EXPECT_TRUE(pageShown);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    QWidget container;
    container.resize(200, 150);
    container.show();
    ASSERT_EQ(control->doVerb(comp::OLEIVERB_PRIMARY, &container, &window), comp::S_OK);
    auto *hosted = static_cast<QWidget *>(window);
    ASSERT_NE(hosted, nullptr);
    EXPECT_EQ(hosted->parentWidget(), &container);
    EXPECT_TRUE(hosted->isVisible());
    EXPECT_EQ(container.focusWidget(), hosted);  // the focus the window gets once it is active
    delete hosted;
  }
  EXPECT_EQ(control->release(), 0u);
}

// Bitmap resource 1: a 16 x 15 BMP file of several colours that netpbm reads (the section may
// be padded after the file by a sanitizer build).
TEST(ModuleFile, CarriesItsToolboxBitmap) {
  std::string bmp = elfSection(NORV_MODULE_PATH, ".norvview.bitmap.1");
  ASSERT_GE(bmp.size(), 54u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  auto le32 = [&](size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, bmp.data() + at, 4);
    return v;
  };
  ASSERT_LE(le32(2), bmp.size());
  EXPECT_EQ(le32(2), 54u + 15u * 48u);
  bmp.resize(le32(2));
  EXPECT_EQ(le32(18), 16u);
  EXPECT_EQ(le32(22), 15u);
  if (!norvtest::toolAvailable("bmptopnm")) GTEST_SKIP() << "netpbm missing";
  norvtest::TempDir dir("toolbox");
  ASSERT_TRUE(norvtest::writeFile(dir.file("t.bmp"), bmp));
  const norvtest::ToolRun run =
      norvtest::runTool("bmptopnm " + dir.file("t.bmp") + " 2>/dev/null | ppmtoppm");
  ASSERT_EQ(run.status, 0);
  const std::string ppm(run.output.begin(), run.output.end());
  ASSERT_EQ(ppm.rfind("P6\n16 15\n255\n", 0), 0u);
  std::set<std::string> colours;
  for (size_t at = ppm.size() - 16 * 15 * 3; at < ppm.size(); at += 3)
    colours.insert(ppm.substr(at, 3));
  EXPECT_GE(colours.size(), 4u);
}

TEST(ModuleFile, CarriesItsVersionResource) {
  const std::string text = elfSection(NORV_MODULE_PATH, ".norvview.version");
  EXPECT_NE(text.find("FileDescription=Norvview ActiveX Control Module\n"), std::string::npos);
  EXPECT_NE(text.find("FileVersion=0, 0, 16, 0\n"), std::string::npos);
}

}  // namespace
