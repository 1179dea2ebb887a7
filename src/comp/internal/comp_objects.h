// Component objects of a module: the counts of live objects and locks that keep a module
// loaded, the reference counting its objects share, and their creation for a class object.
#ifndef COMP_OBJECTS_H
#define COMP_OBJECTS_H

#include <atomic>
#include <cstdint>
#include <new>

#include "comp_module.h"

namespace comp {

// A module's live objects and the locks its class objects' lockServer holds. Objects live on
// their creator's thread (apartment model), but the counts are atomic so that any thread may
// ask whether the module can go. An unlock without a lock is ignored rather than letting the
// count wrap.
class ModuleCounts {
 public:
  void objectCreated() { ++objects_; }
  void objectDestroyed() { --objects_; }
  void lock(bool lock) {
    if (lock) {
      ++locks_;
      return;
    }
    int64_t held = locks_.load();
    while (held > 0 && !locks_.compare_exchange_weak(held, held - 1)) {
    }
  }
  // True when no object lives and no lock is held.
  bool canUnload() const { return objects_.load() == 0 && locks_.load() == 0; }

 private:
  std::atomic<int64_t> objects_{0};
  std::atomic<int64_t> locks_{0};
};

// An object implementing Interfaces (each derived from Unknown): counted among its module's live
// objects from construction to destruction, deleted when its last reference is released. The
// object itself answers queryInterface, handing each interface out with handOut.
template <class... Interfaces>
class ModuleObject : public Interfaces... {
 public:
  uint32_t addRef() override { return ++refs_; }
  uint32_t release() override {
    const uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  explicit ModuleObject(ModuleCounts &counts) : counts_(counts) { counts_.objectCreated(); }
  virtual ~ModuleObject() { counts_.objectDestroyed(); }
  int32_t handOut(void *iface, void **out) {
    *out = iface;
    addRef();
    return S_OK;
  }

 private:
  ModuleCounts &counts_;
  uint32_t refs_ = 0;
};

// A new T (made from counts and more) asked for iid: S_OK with one reference in *out,
// E_NOINTERFACE (the object gone again) when T lacks iid, E_OUTOFMEMORY when T cannot be made.
template <class T, class... More>
int32_t createObject(ModuleCounts &counts, const char *iid, void **out, More... more) {
  T *object = new (std::nothrow) T(counts, more...);
  if (object == nullptr) return E_OUTOFMEMORY;
  object->addRef();
  const int32_t status = object->queryInterface(iid, out);
  object->release();
  return status;
}

}  // namespace comp

#endif
