// The view control's host interface: what a container program needs to load the control
// module, make controls and drive them by dispatch, receive their events and show them. C++20,
// header only; a host loads the module with dlopen and never links it. The control module and
// the viewer are built on these same declarations.
//
// Finding the module: the per-user component registry file, $NORVVIEW_REGISTRY, else
// $XDG_CONFIG_HOME/norvview/registry.ini, else $HOME/.config/norvview/registry.ini, holds one
// section "[Class {class id}]" per registered class, with the lines "ProgID=..." (the control's
// is kControlProgId) and "Module=<path of the module>". The module's DllRegisterServer writes
// them (norv_module.h).
//
// Making a control: dlopen the module, look up kGetClassObjectName, ask it for the class
// object of kControlClassId as kClassFactoryInterfaceId, and createInstance(nullptr,
// kGenericDispatchInterfaceId) gives the control's DispatchObject; queryInterface on it gives
// its ControlWindow (kControlWindowInterfaceId) and ControlInfo (kControlInfoInterfaceId).
//
// References: every interface derives from Unknown, and every interface pointer handed out
// (createInstance, queryInterface, a class object) carries one reference, given back with
// release() on that pointer. An object's interfaces are separate pointers (cast the void * to
// the interface asked for, nothing else); its Unknown interface is its identity.
//
// Calling: getIdsOfNames gives a member's id by name (case-insensitive), invoke calls it by id
// with the arguments as Variants; arguments of another numeric kind are converted to the
// member's (Automation's rules), members() lists every member with its types. Statuses are
// HRESULT values.
#ifndef NORV_HOST_H
#define NORV_HOST_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace comp {

// ---- Statuses (HRESULT values) ----
enum : int32_t {
  S_OK = 0,
  E_NOTIMPL = static_cast<int32_t>(0x80004001u),
  E_INVALIDARG = static_cast<int32_t>(0x80070057u),
  DISP_E_UNKNOWNNAME = static_cast<int32_t>(0x80020006u),
  DISP_E_MEMBERNOTFOUND = static_cast<int32_t>(0x80020003u),
  DISP_E_TYPEMISMATCH = static_cast<int32_t>(0x80020005u),
  DISP_E_OVERFLOW = static_cast<int32_t>(0x8002000Au),
  DISP_E_BADPARAMCOUNT = static_cast<int32_t>(0x8002000Eu),
};
inline constexpr int32_t S_FALSE = 1;
inline constexpr int32_t E_NOINTERFACE = static_cast<int32_t>(0x80004002u);
inline constexpr int32_t E_POINTER = static_cast<int32_t>(0x80004003u);
inline constexpr int32_t E_OUTOFMEMORY = static_cast<int32_t>(0x8007000Eu);
inline constexpr int32_t CLASS_E_NOAGGREGATION = static_cast<int32_t>(0x80040110u);
inline constexpr int32_t CLASS_E_CLASSNOTAVAILABLE = static_cast<int32_t>(0x80040111u);
inline constexpr int32_t SELFREG_E_TYPELIB = static_cast<int32_t>(0x80040200u);
inline constexpr int32_t SELFREG_E_CLASS = static_cast<int32_t>(0x80040201u);

// ---- Variants ----
enum class VarType : uint8_t { Empty, I2, I4, R8, Bstr, Bool, I2Ref };

// The value a dispatch member takes or gives: empty, I2, I4, R8, a UTF-8 string, BOOL (TRUE is
// -1) or a 16-bit integer by reference (an event argument the sink may change).
class Variant {
 public:
  Variant() = default;
  static Variant i2(int16_t v) { return Variant(VarType::I2, v, 0.0); }
  static Variant i4(int32_t v) { return Variant(VarType::I4, v, 0.0); }
  static Variant r8(double v) { return Variant(VarType::R8, 0, v); }
  static Variant boolean(bool v) { return Variant(VarType::Bool, v ? -1 : 0, 0.0); }
  static Variant bstr(std::string v) {
    Variant out(VarType::Bstr, 0, 0.0);
    out.text_ = std::move(v);
    return out;
  }
  static Variant i2Ref(int16_t *target) {
    Variant out(VarType::I2Ref, 0, 0.0);
    out.ref_ = target;
    return out;
  }

  VarType type() const { return type_; }
  // The value as its own kind; the caller has checked type() (or coerced the variant).
  int16_t asI2() const { return static_cast<int16_t>(integer_); }
  int32_t asI4() const { return static_cast<int32_t>(integer_); }
  double asR8() const { return real_; }
  bool asBool() const { return integer_ != 0; }
  const std::string &asBstr() const { return text_; }
  int16_t *asI2Ref() const { return ref_; }

  bool operator==(const Variant &other) const = default;

 private:
  Variant(VarType type, int64_t integer, double real)
      : type_(type), integer_(integer), real_(real) {}

  VarType type_ = VarType::Empty;
  int64_t integer_ = 0;
  double real_ = 0.0;
  std::string text_;
  int16_t *ref_ = nullptr;
};

// ---- Dispatch and events ----
// Kinds of call (invoke flags; a property get may also be made as a method call).
enum InvokeFlags : uint32_t { kMethod = 1, kPropGet = 2, kPropPut = 4 };

enum class MemberKind : uint8_t {
  StoredProperty,  // a member variable with a change notification
  Property,        // get and put functions
  ReadOnlyProperty,
  Method,
};

constexpr size_t kMaxArgs = 4;

struct MemberInfo {
  int32_t id;
  const char *name;
  MemberKind kind;
  VarType result;  // the property's type, or the method's result (Empty: none)
  uint8_t argCount;
  VarType args[kMaxArgs];
};

class Dispatch {
 public:
  virtual ~Dispatch() = default;
  // The id of the member called name (case-insensitive); DISP_E_UNKNOWNNAME when none.
  virtual int32_t getIdsOfNames(const char *name, int32_t *id) const = 0;
  // Calls member id; result (may be null) receives a get's value or a method's result.
  virtual int32_t invoke(int32_t id, uint32_t flags, std::span<const Variant> args,
                         Variant *result) = 0;
  // Every member with its id, name, kind and types, in map order.
  virtual std::span<const MemberInfo> members() const = 0;
};

// The receiver of a component's events (stock events and custom ones), args in declared order.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void fire(int32_t id, std::span<const Variant> args) = 0;
};

// The control's events: the stock ones (mouse events: Button I2, Shift I2, x and y as pixel
// positions; KeyDown and KeyUp: the key code as an I2 by reference and Shift I2; KeyPress: the
// character as an I2 by reference) and MouseWheel (flags I4, delta I2, x I4, y I4; a positive
// delta is a turn away from the user).
inline constexpr int32_t kEventClick = -600;
inline constexpr int32_t kEventDblClick = -601;
inline constexpr int32_t kEventKeyDown = -602;
inline constexpr int32_t kEventKeyPress = -603;
inline constexpr int32_t kEventKeyUp = -604;
inline constexpr int32_t kEventMouseDown = -605;
inline constexpr int32_t kEventMouseMove = -606;
inline constexpr int32_t kEventMouseUp = -607;
inline constexpr int32_t kEventMouseWheel = 1;

// ---- Objects and the class factory ----
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

// The dispatch interface of an object with its reference counting.
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

// The control's window, events and drawing devices as the container that shows it sees them.
// The toolkit is Qt: the container runs a QApplication before it makes a window or a device.
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
  // Ends a registration registerPrinter or registerBitmap made (and a job it left open); other
  // handles are ignored.
  virtual void unregisterPrinter(int32_t handle) = 0;
  // A drawing device over the container's memory bitmap (on Qt a QImage * of a 32-bit RGB
  // format), registered as registerPrinter registers a printer: PrintLayerFromTo with its
  // handle draws one page into the bitmap as onto a printer's sheet of the bitmap's size (a
  // page of exactly that size is drawn pixel for pixel). A bitmap holds one page: a second page
  // of the same job fails. 0 when no device is made.
  virtual int32_t registerBitmap(void *bitmap) = 0;

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

// ---- Identifiers ----
// The ProgIDs the module registers.
inline constexpr const char *kControlProgId = "NORVVIEW.NorvviewCtrl.1";
inline constexpr const char *kPropertyPageProgId = "NORVVIEW.NorvviewPropPage.1";
// The fixed ids of the view control's type library, interfaces and classes (braced GUID text,
// compared without regard to the case of letters). They never change between releases.
inline constexpr const char *kTypeLibId = "{6B1F3C20-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr unsigned kTypeLibMajor = 1;
inline constexpr unsigned kTypeLibMinor = 0;
inline constexpr const char *kDispatchInterfaceId = "{6B1F3C21-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr const char *kEventInterfaceId = "{6B1F3C22-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr const char *kControlClassId = "{6B1F3C23-7A4E-4D2B-9C51-3E8A0F6D2B10}";
inline constexpr const char *kPropertyPageClassId = "{6B1F3C24-7A4E-4D2B-9C51-3E8A0F6D2B10}";
// Interface ids: the first three are the standard ones; the control's dispatch interface
// answers to kDispatchInterfaceId as well.
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

// ---- The module's entry points, looked up by these names with dlsym (see norv_module.h) ----
using RegisterServerFn = int32_t (*)();
using GetClassObjectFn = int32_t (*)(const char *classId, const char *iid, void **out);
using CanUnloadNowFn = int32_t (*)();
inline constexpr const char *kRegisterServerName = "DllRegisterServer";
inline constexpr const char *kUnregisterServerName = "DllUnregisterServer";
inline constexpr const char *kGetClassObjectName = "DllGetClassObject";
inline constexpr const char *kCanUnloadNowName = "DllCanUnloadNow";
// The environment variable that names the registry file.
inline constexpr const char *kRegistryPathVariable = "NORVVIEW_REGISTRY";

}  // namespace comp

#endif
