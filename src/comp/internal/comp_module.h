// The in-process server contract between the control module and the programs that load it with
// dlopen: the four entry points every such module exports, the object interfaces its class
// factories hand out, the standard interface ids and the statuses of these calls.
//
// References: every interface derives from Unknown, and every interface pointer handed out
// (createInstance, queryInterface, a class object from DllGetClassObject) carries one
// reference, given back with release() on that pointer. An object's interfaces are separate
// pointers (cast the void* to the interface asked for, nothing else); the Unknown interface is
// the object's identity.
#ifndef COMP_MODULE_H
#define COMP_MODULE_H

#include <cstdint>
#include <span>

#include "comp_dispatch.h"
#include "comp_variant.h"

namespace comp {

// Statuses of object creation and self-registration (HRESULT values).
inline constexpr int32_t S_FALSE = 1;
inline constexpr int32_t E_NOINTERFACE = static_cast<int32_t>(0x80004002u);
inline constexpr int32_t E_POINTER = static_cast<int32_t>(0x80004003u);
inline constexpr int32_t E_OUTOFMEMORY = static_cast<int32_t>(0x8007000Eu);
inline constexpr int32_t CLASS_E_NOAGGREGATION = static_cast<int32_t>(0x80040110u);
inline constexpr int32_t CLASS_E_CLASSNOTAVAILABLE = static_cast<int32_t>(0x80040111u);
inline constexpr int32_t SELFREG_E_TYPELIB = static_cast<int32_t>(0x80040200u);
inline constexpr int32_t SELFREG_E_CLASS = static_cast<int32_t>(0x80040201u);

// Interface ids. The first three are the standard ones; the control's own dispatch interface
// answers to its type library's id (kDispatchInterfaceId, comp_guids.h) as well.
inline constexpr const char *kUnknownInterfaceId = "{00000000-0000-0000-C000-000000000046}";
inline constexpr const char *kClassFactoryInterfaceId = "{00000001-0000-0000-C000-000000000046}";
inline constexpr const char *kGenericDispatchInterfaceId = "{00020400-0000-0000-C000-000000000046}";
inline constexpr const char *kControlInfoInterfaceId = "{6B1F3C30-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr const char *kPropertyPageInterfaceId = "{6B1F3C31-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr const char *kControlWindowInterfaceId = "{6B1F3C32-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr const char *kOleObjectInterfaceId = "{6B1F3C33-7A4E-4D2B-9C51-3E8A0F6D2B10}";

// Verbs (OLE verb numbers) and the status of a verb an object does not answer.
inline constexpr int32_t OLEIVERB_PRIMARY = 0;
inline constexpr int32_t OLEIVERB_PROPERTIES = -7;
inline constexpr int32_t OLEOBJ_E_INVALIDVERB = static_cast<int32_t>(0x80040181u);
inline constexpr int32_t E_FAIL = static_cast<int32_t>(0x80004005u);

// True when a and b name the same id (braced GUID text, letters in either case).
inline bool sameId(const char *a, const char *b) {
  return a != nullptr && b != nullptr && sameName(a, b);
}

// A reference-counted object asked for its interfaces by id.
class Unknown {
 public:
  // The interface iid of this object in *out, with one more reference; E_NOINTERFACE (and
  // *out null) when the object has none; E_POINTER for a null out.
  virtual int32_t queryInterface(const char *iid, void **out) = 0;
  virtual uint32_t addRef() = 0;
  // Drops one reference; the object deletes itself at zero. Gives the count left.
  virtual uint32_t release() = 0;

 protected:
  ~Unknown() = default;
};

// The dispatch interface of an object (see comp_dispatch.h) with its reference counting.
class DispatchObject : public Unknown, public Dispatch {};

// The class object of one class of the module.
class ClassFactory : public Unknown {
 public:
  // A new object of the class, asked for iid. Aggregation (a non-null outer) is not supported.
  virtual int32_t createInstance(Unknown *outer, const char *iid, void **out) = 0;
  // Keeps the module loaded (lock) or lets it go (unlock) whatever objects live.
  virtual int32_t lockServer(bool lock) = 0;

 protected:
  ~ClassFactory() = default;
};

// What a container asks a control before it shows it.
class ControlInfo : public Unknown {
 public:
  virtual const char *userTypeName() const = 0;
  virtual uint32_t miscStatus() const = 0;
  virtual uint32_t typeInfoCount() const = 0;
  // The class ids of the property pages the control lists.
  virtual std::span<const char *const> propertyPages() const = 0;

 protected:
  ~ControlInfo() = default;
};

// The control's window, events and printers as the container that shows it sees them.
class ControlWindow : public Unknown {
 public:
  // A new window of the toolkit hosting the control, a child of parent (on Qt both are
  // QWidget *; parent may be null), or null when no window can be made. The window keeps a
  // reference to the control while it lives; the container destroys it (directly or with its
  // parent). One window at a time: a second one takes the control over from the first.
  virtual void *createWindow(void *parent) = 0;
  // Where the control fires its events from now on (null: nowhere). The sink must outlive the
  // connection: the container sets null before the sink goes.
  virtual void advise(EventSink *sink) = 0;
  // A drawing device over the container's printer (on Qt a QPagedPaintDevice *) registered in
  // the module's device handle table: the handle PrintLayerFromTo takes, or 0 when none is
  // made. The printer must outlive the registration.
  virtual int32_t registerPrinter(void *printer) = 0;
  // Ends a registration registerPrinter made (and a job it left open); other handles are
  // ignored.
  virtual void unregisterPrinter(int32_t handle) = 0;

 protected:
  ~ControlWindow() = default;
};

// The verbs a container offers for an object (on its context menu) and runs.
struct Verb {
  int32_t id;
  const char *name;  // the menu text
};
class OleObject : public Unknown {
 public:
  virtual std::span<const Verb> verbs() const = 0;
  // Runs verb id. parent is the container's window for the verbs that show one (on Qt a
  // QWidget *, may be null); window (may be null) receives the window a verb made, or null.
  // OLEOBJ_E_INVALIDVERB for a verb the object does not list.
  virtual int32_t doVerb(int32_t id, void *parent, void **window) = 0;

 protected:
  ~OleObject() = default;
};

// A property page: its caption, its dirty state and the apply step of its data exchange.
class PropertyPage : public Unknown {
 public:
  virtual const char *caption() const = 0;
  // S_OK when the page holds changes not yet applied, S_FALSE otherwise.
  virtual int32_t isPageDirty() const = 0;
  virtual int32_t apply() = 0;

 protected:
  ~PropertyPage() = default;
};

// The entry points of a module, looked up by these names with dlsym.
using RegisterServerFn = int32_t (*)();
using GetClassObjectFn = int32_t (*)(const char *classId, const char *iid, void **out);
using CanUnloadNowFn = int32_t (*)();
inline constexpr const char *kRegisterServerName = "DllRegisterServer";
inline constexpr const char *kUnregisterServerName = "DllUnregisterServer";
inline constexpr const char *kGetClassObjectName = "DllGetClassObject";
inline constexpr const char *kCanUnloadNowName = "DllCanUnloadNow";

}  // namespace comp

#endif
