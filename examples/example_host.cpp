// Hosting the view control in a program of one's own, through the host interface only
// (host/norv_host.h): the control module is found in the per-user component registry by the
// control's ProgID and loaded with dlopen, never linked; the control is made by the module's
// class object and driven by dispatch, its members found by name.
//
// The program converts <data dir>/sample_scan.tif and sample_colour.tif into TIFF-FX documents
// with the control's ConvertTiff2Tfx, opens each, pages through it and renders every page at
// 1:1 into a memory bitmap of the page's size (a bitmap device of the control's window
// interface, drawn by PrintLayerFromTo), saving it as <output dir>/host-<name>-<page>.ppm, and
// beside it the control's own export of the page (SavePageAsBmp) as host-<name>-<page>.bmp.
// Then it shows the control in a window and receives the events that a key and a wheel turn
// on it fire. Qt runs on its offscreen platform unless QT_QPA_PLATFORM says otherwise.
//
// Status 2 for a usage error, 1 when the registered control cannot be loaded, made or driven;
// without a registered control there is nothing to host, which the program says (status 0).
#include <dlfcn.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "host/norv_host.h"

namespace {

using comp::Variant;

// The registry file's path: $NORVVIEW_REGISTRY, else under $XDG_CONFIG_HOME or $HOME/.config.
std::string registryPath() {
  if (const char *path = std::getenv(comp::kRegistryPathVariable); path != nullptr && *path != 0)
    return path;
  if (const char *config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != 0)
    return std::string(config) + "/norvview/registry.ini";
  const char *home = std::getenv("HOME");
  return home != nullptr ? std::string(home) + "/.config/norvview/registry.ini" : std::string();
}

// The class id and module path of the class registered under progId: the section
// "[Class {id}]" whose ProgID line names it. False when there is none.
bool findClass(const std::string &registry, const char *progId, std::string *classId,
               std::string *module) {
  std::ifstream in(registry);
  std::string line, section, id, path, prog;
  const auto finish = [&] {
    if (prog == progId && !path.empty() && section.rfind("Class ", 0) == 0) {
      *classId = section.substr(6);
      *module = path;
      return true;
    }
    return false;
  };
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '[' && line.back() == ']') {
      if (finish()) return true;
      section = line.substr(1, line.size() - 2);
      path.clear();
      prog.clear();
    } else if (line.rfind("ProgID=", 0) == 0) {
      prog = line.substr(7);
    } else if (line.rfind("Module=", 0) == 0) {
      path = line.substr(7);
    }
  }
  return finish();
}

// The events the control fires, kept in order.
class EventLog final : public comp::EventSink {
 public:
  void fire(int32_t id, std::span<const Variant> args) override {
    ids.push_back(id);
    std::printf("event %d with %zu arguments\n", id, args.size());
  }
  bool saw(int32_t id) const {
    for (int32_t seen : ids)
      if (seen == id) return true;
    return false;
  }
  std::vector<int32_t> ids;
};

// The control's members called by name.
class Control {
 public:
  explicit Control(comp::DispatchObject *dispatch) : dispatch_(dispatch) {}
  // The member's result; ok becomes false (and stays) when a call fails.
  Variant call(const char *name, uint32_t flags, std::vector<Variant> args = {}) {
    int32_t id = 0;
    Variant result;
    if (dispatch_->getIdsOfNames(name, &id) != comp::S_OK ||
        dispatch_->invoke(id, flags, args, &result) != comp::S_OK) {
      std::fprintf(stderr, "example_host: calling %s failed\n", name);
      ok = false;
    }
    return result;
  }
  int32_t method(const char *name, std::vector<Variant> args = {}) {
    return call(name, comp::kMethod, std::move(args)).asI4();
  }
  void put(const char *name, Variant value) { call(name, comp::kPropPut, {std::move(value)}); }

  bool ok = true;

 private:
  comp::DispatchObject *dispatch_;
};

// Converts, opens and renders one document; false when a step fails.
bool renderDocument(Control &control, comp::ControlWindow *window, const std::string &data,
                    const std::string &out, const std::string &name) {
  const std::string document = out + "/host-" + name + ".tfx";
  control.method("ConvertTiff2Tfx",
                 {Variant::bstr(data + "/" + name + ".tif"), Variant::bstr(document)});
  control.put("FileName", Variant::bstr(document));
  const int32_t pages = control.method("NumPages");
  if (pages <= 0) {
    std::fprintf(stderr, "example_host: %s has no pages\n", document.c_str());
    return false;
  }
  control.put("ViewMode", Variant::i4(1));
  control.put("ZoomFactor", Variant::r8(1.0));
  control.put("Orientation", Variant::i4(0));
  control.put("Layer", Variant::i4(0));
  for (int32_t page = control.method("FirstPage"); page >= 1;) {
    const int32_t width = control.method("GetCurrentPageWidth");
    const int32_t height = control.method("GetCurrentPageHeight");
    QImage bitmap(width, height, QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    const int32_t handle = window->registerBitmap(&bitmap);
    const int32_t printed =
        control.method("PrintLayerFromTo",
                       {Variant::i4(handle), Variant::i4(0), Variant::i4(page), Variant::i4(page)});
    window->unregisterPrinter(handle);
    const std::string base = out + "/host-" + name + "-" + std::to_string(page);
    if (handle == 0 || printed != 0 || !bitmap.save(QString::fromStdString(base + ".ppm"), "PPM")) {
      std::fprintf(stderr, "example_host: page %d of %s was not rendered\n", page, name.c_str());
      return false;
    }
    control.method("SavePageAsBmp", {Variant::bstr(base + ".bmp"), Variant::i4(page),
                                     Variant::i4(0), Variant::r8(1.0)});
    std::printf("%s page %d of %d: %d x %d\n", name.c_str(), page, pages, width, height);
    const int32_t next = control.method("NextPage");
    page = next != page ? next : 0;
  }
  return control.ok;
}

// Shows the control in a window and sends it a key and a wheel turn; true when both events
// came back through the sink.
bool receiveEvents(comp::ControlWindow *window, EventLog &log) {
  auto *view = static_cast<QWidget *>(window->createWindow(nullptr));
  if (view == nullptr) return false;
  view->resize(320, 240);
  view->show();
  QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
  QApplication::sendEvent(view, &key);
  QWheelEvent wheel(QPointF(40, 40), view->mapToGlobal(QPointF(40, 40)), QPoint(), QPoint(0, 120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view, &wheel);
  delete view;
  return log.saw(comp::kEventKeyDown) && log.saw(comp::kEventMouseWheel);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <data dir> <output dir>\n", argv[0]);
    return 2;
  }
  const std::string data = argv[1], out = argv[2];
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);

  std::string classId, modulePath;
  if (!findClass(registryPath(), comp::kControlProgId, &classId, &modulePath)) {
    // Nothing to host: the module registers itself (DllRegisterServer) when it is installed.
    std::printf("example_host: %s is not registered in %s; nothing to host\n", comp::kControlProgId,
                registryPath().c_str());
    return 0;
  }
  // The module stays loaded for the life of the process: the windows it made use its code.
  void *module = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (module == nullptr) {
    std::fprintf(stderr, "example_host: %s\n", dlerror());
    return 1;
  }
  const auto getClassObject =
      reinterpret_cast<comp::GetClassObjectFn>(dlsym(module, comp::kGetClassObjectName));
  void *object = nullptr;
  if (getClassObject == nullptr ||
      getClassObject(classId.c_str(), comp::kClassFactoryInterfaceId, &object) != comp::S_OK) {
    std::fprintf(stderr, "example_host: %s has no class object for %s\n", modulePath.c_str(),
                 classId.c_str());
    return 1;
  }
  auto *factory = static_cast<comp::ClassFactory *>(object);
  void *made = nullptr, *windowInterface = nullptr;
  int status = 1;
  if (factory->createInstance(nullptr, comp::kGenericDispatchInterfaceId, &made) == comp::S_OK) {
    auto *dispatch = static_cast<comp::DispatchObject *>(made);
    if (dispatch->queryInterface(comp::kControlWindowInterfaceId, &windowInterface) == comp::S_OK) {
      auto *window = static_cast<comp::ControlWindow *>(windowInterface);
      EventLog log;
      window->advise(&log);
      Control control(dispatch);
      bool ok = true;
      for (const char *name : {"sample_scan", "sample_colour"})
        ok = renderDocument(control, window, data, out, name) && ok;
      if (!receiveEvents(window, log)) {
        std::fprintf(stderr, "example_host: the control's events did not arrive\n");
        ok = false;
      }
      window->advise(nullptr);
      window->release();
      status = ok ? 0 : 1;
    }
    dispatch->release();
  }
  factory->release();
  dlclose(module);
  return status;
}
