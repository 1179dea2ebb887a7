// Loading the view control through the registry: the class record found by ProgID names the
// module; the module is opened with dlopen (RTLD_NODELETE: it never leaves the process, its Qt
// objects with it), its DllGetClassObject gives the class object, and createInstance gives the
// control's dispatch interface, from which its window interface is asked.
#include "control_loader.h"

#include <dlfcn.h>

#include <QDir>
#include <QFileInfo>
#include <utility>

#include "comp_registry.h"
#include "dispatch_calls.h"

namespace viewer {
namespace {

void setError(QString *error, const QString &text) {
  if (error != nullptr) *error = text;
}

QString dlText() {
  const char *text = dlerror();
  return text != nullptr ? QString::fromLocal8Bit(text) : QString("unknown error");
}

void *openModule(const std::string &path, QString *error) {
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (handle == nullptr)
    setError(error, "Cannot load " + QString::fromStdString(path) + ": " + dlText());
  return handle;
}

template <class Fn>
Fn entryPoint(void *handle, const char *name) {
  return reinterpret_cast<Fn>(dlsym(handle, name));
}

QString statusText(int32_t status) {
  return "0x" + QString::number(static_cast<uint32_t>(status), 16).toUpper();
}

}  // namespace

ViewControl::ViewControl(comp::DispatchObject *dispatch, comp::ControlWindow *window)
    : dispatch_(dispatch), window_(window) {}

ViewControl::~ViewControl() {
  if (window_ != nullptr) {
    window_->advise(nullptr);
    window_->release();
  }
  dispatch_->release();
}

int32_t ViewControl::invoke(int32_t id, uint32_t flags, std::span<const comp::Variant> args,
                            comp::Variant *result) {
  return dispatch_->invoke(id, flags, args, result);
}

comp::Variant ViewControl::get(int32_t id) {
  return ctlGet(*dispatch_, id);
}

int32_t ViewControl::put(int32_t id, comp::Variant value) {
  return ctlPut(*dispatch_, id, value);
}

comp::Variant ViewControl::call(int32_t id, std::initializer_list<comp::Variant> args) {
  return ctlCall(*dispatch_, id, args);
}

QWidget *ViewControl::createWindow(QWidget *parent) {
  if (window_ == nullptr) return nullptr;
  return static_cast<QWidget *>(window_->createWindow(parent));
}

void ViewControl::advise(comp::EventSink *sink) {
  if (window_ != nullptr) window_->advise(sink);
}

int32_t ViewControl::registerPrinter(QPagedPaintDevice &printer) {
  return window_ != nullptr ? window_->registerPrinter(&printer) : 0;
}

void ViewControl::unregisterPrinter(int32_t handle) {
  if (window_ != nullptr) window_->unregisterPrinter(handle);
}

ControlModule::ControlModule(void *handle, comp::ClassFactory *factory, std::string modulePath)
    : handle_(handle), factory_(factory), modulePath_(std::move(modulePath)) {}

ControlModule::~ControlModule() {
  factory_->release();
  dlclose(handle_);  // the module stays (RTLD_NODELETE); only the handle goes
}

std::unique_ptr<ControlModule> ControlModule::load(const std::string &registryPath,
                                                   const char *progId, QString *error) {
  comp::Registry registry;
  if (!registry.load(registryPath)) {
    setError(error,
             "The registry file " + QString::fromStdString(registryPath) + " cannot be read.");
    return nullptr;
  }
  comp::ClassRecord record;
  if (!registry.findClassByProgId(progId, &record) || record.modulePath.empty()) {
    setError(error, QString("The class ") + progId + " is not registered.");
    return nullptr;
  }
  void *handle = openModule(record.modulePath, error);
  if (handle == nullptr) return nullptr;
  const auto getClassObject = entryPoint<comp::GetClassObjectFn>(handle, comp::kGetClassObjectName);
  void *object = nullptr;
  const int32_t status =
      getClassObject == nullptr
          ? comp::CLASS_E_CLASSNOTAVAILABLE
          : getClassObject(record.classId.c_str(), comp::kClassFactoryInterfaceId, &object);
  if (status != comp::S_OK || object == nullptr) {
    dlclose(handle);
    setError(error, "The module " + QString::fromStdString(record.modulePath) +
                        " has no class object for " + progId + " (" + statusText(status) + ").");
    return nullptr;
  }
  return std::unique_ptr<ControlModule>(
      new ControlModule(handle, static_cast<comp::ClassFactory *>(object), record.modulePath));
}

ControlModule *ControlModule::shared(QString *error) {
  static std::unique_ptr<ControlModule> module;
  if (module == nullptr) module = load(comp::Registry::defaultPath(), kControlProgId, error);
  return module.get();
}

std::unique_ptr<ViewControl> ControlModule::create(QString *error) {
  void *object = nullptr;
  const int32_t status =
      factory_->createInstance(nullptr, comp::kGenericDispatchInterfaceId, &object);
  if (status != comp::S_OK || object == nullptr) {
    setError(error, "The view control cannot be created (" + statusText(status) + ").");
    return nullptr;
  }
  auto *dispatch = static_cast<comp::DispatchObject *>(object);
  void *window = nullptr;
  if (dispatch->queryInterface(comp::kControlWindowInterfaceId, &window) != comp::S_OK)
    window = nullptr;
  return std::make_unique<ViewControl>(dispatch, static_cast<comp::ControlWindow *>(window));
}

bool isRegistered(const std::string &registryPath, const char *progId) {
  comp::Registry registry;
  comp::ClassRecord record;
  return registry.load(registryPath) && registry.findClassByProgId(progId, &record);
}

bool registerModule(const std::string &modulePath, QString *error) {
  void *handle = openModule(modulePath, error);
  if (handle == nullptr) return false;
  const auto registerServer = entryPoint<comp::RegisterServerFn>(handle, comp::kRegisterServerName);
  const int32_t status = registerServer != nullptr ? registerServer() : comp::E_NOTIMPL;
  dlclose(handle);
  if (status != comp::S_OK) {
    setError(error, "The module " + QString::fromStdString(modulePath) + " cannot be registered (" +
                        statusText(status) + ").");
    return false;
  }
  return true;
}

QString installedModulePath(const QString &programDir) {
  const QDir dir(programDir);
  for (const QString &candidate :
       {dir.filePath(QString(NORVVIEW_MODULE_RELDIR) + "/" + NORVVIEW_MODULE_NAME),
        dir.filePath(NORVVIEW_MODULE_NAME)}) {
    if (QFileInfo::exists(candidate))
      return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
  }
  return {};
}

bool ensureControlRegistered(const QString &programDir, QString *error) {
  const std::string registryPath = comp::Registry::defaultPath();
  if (isRegistered(registryPath, kControlProgId)) return true;
  const QString module = installedModulePath(programDir);
  if (module.isEmpty()) {
    setError(error, "The view control is not registered and no module is installed in " +
                        programDir + ".");
    return false;
  }
  if (!registerModule(module.toStdString(), error)) return false;
  if (isRegistered(registryPath, kControlProgId)) return true;
  setError(error, "The module " + module + " registered no view control.");
  return false;
}

}  // namespace viewer
