// The view control as the viewer reaches it: through the per-user component registry (ProgID ->
// class id -> module path), the module loaded with dlopen, its class object's createInstance,
// and then dispatch ids alone. The viewer never links the module.
//
// ControlModule is one loaded module (the program keeps one for its whole run: shared()); each
// ViewControl is one control made by it, holding references on the control's dispatch and
// window interfaces. A module once loaded stays in the process.
#pragma once

#include <QString>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>

#include "comp_module.h"

class QPagedPaintDevice;
class QWidget;

namespace viewer {

// The ProgID of the view control's class.
using comp::kControlProgId;

// One view control. Member calls go by dispatch id (control_ids.h).
class ViewControl {
 public:
  // Takes over one reference on each interface.
  ViewControl(comp::DispatchObject *dispatch, comp::ControlWindow *window);
  ~ViewControl();
  ViewControl(const ViewControl &) = delete;
  ViewControl &operator=(const ViewControl &) = delete;

  // The dispatch interface's invoke.
  int32_t invoke(int32_t id, uint32_t flags, std::span<const comp::Variant> args,
                 comp::Variant *result);
  // A property's value (an empty variant when the get fails).
  comp::Variant get(int32_t id);
  // Sets a property; the status of the put.
  int32_t put(int32_t id, comp::Variant value);
  // Calls a method; its result (an empty variant when the call fails).
  comp::Variant call(int32_t id, std::initializer_list<comp::Variant> args = {});

  // A new window hosting the control, a child of parent (see comp::ControlWindow); null when
  // the module makes none.
  QWidget *createWindow(QWidget *parent);
  // Where the control's events go (null: nowhere); the sink must outlive the connection.
  void advise(comp::EventSink *sink);
  // The printer as a drawing device of the control's module, for PrintLayerFromTo: its device
  // handle, or 0 when the module makes none. Give it back with unregisterPrinter before the
  // printer goes.
  int32_t registerPrinter(QPagedPaintDevice &printer);
  void unregisterPrinter(int32_t handle);

  comp::DispatchObject *dispatch() const { return dispatch_; }

 private:
  comp::DispatchObject *dispatch_;
  comp::ControlWindow *window_;
};

class ControlModule {
 public:
  // Finds the class of progId in the registry file at registryPath and loads its module;
  // null with a message in *error when the record, the module or its class object is missing.
  static std::unique_ptr<ControlModule> load(const std::string &registryPath, const char *progId,
                                             QString *error);
  // The program's module: the view control's, found through the registry file's usual place
  // (comp::Registry::defaultPath), loaded on the first call that succeeds.
  static ControlModule *shared(QString *error);

  ~ControlModule();
  ControlModule(const ControlModule &) = delete;
  ControlModule &operator=(const ControlModule &) = delete;

  // A new control; null with a message in *error when the class object refuses.
  std::unique_ptr<ViewControl> create(QString *error);
  const std::string &modulePath() const { return modulePath_; }

 private:
  ControlModule(void *handle, comp::ClassFactory *factory, std::string modulePath);

  void *handle_;
  comp::ClassFactory *factory_;
  std::string modulePath_;
};

// True when the registry file at registryPath holds a class record for progId.
bool isRegistered(const std::string &registryPath, const char *progId);
// Loads the module at modulePath and runs its self-registration (into the registry file by
// comp::Registry's rule); false with a message in *error when that fails.
bool registerModule(const std::string &modulePath, QString *error);
// The control module of a viewer installed in programDir: the library directory's module by
// the installed layout, else the one beside the program (the build tree's); empty when neither
// exists.
QString installedModulePath(const QString &programDir);
// First start: registers the module installed with the viewer when the registry holds no
// record for the view control. True when a record exists afterwards.
bool ensureControlRegistered(const QString &programDir, QString *error);

}  // namespace viewer
