// Allocation through the callbacks of a context: the callback triple, the default allocator
// (usage record and guard words) and owned arrays that give their block back when they go.
//
// Every request is a 64-bit byte count; a request of 0 bytes allocates nothing, and one that
// does not fit size_t fails like a refused allocation (null, status 1).
#ifndef OVR_ALLOC_H
#define OVR_ALLOC_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "ovr_context.h"

namespace ovr {

// Bytes booked by the default allocator: in use now and the peak.
struct Usage {
  uint64_t inUse = 0;
  uint64_t peak = 0;
};

// The default allocator. user is the Usage record; with no record allocation gives null and
// freeing does nothing. Blocks are 8-byte aligned; their size is rounded up to a multiple of 4
// and framed by a size word and guard words, which freeing checks.
void *defaultAlloc(size_t size, int32_t spare, void *user);
void defaultFree(void *block, int32_t spare, void *user);

struct Allocator {
  OvrAllocFn alloc = nullptr;
  OvrFreeFn free = nullptr;
  void *user = nullptr;

  void *allocate(uint64_t size) const {
    if (size == 0 || size > std::numeric_limits<size_t>::max() || alloc == nullptr) return nullptr;
    return alloc(static_cast<size_t>(size), 0, user);
  }
  void release(void *block) const {
    if (block != nullptr && free != nullptr) free(block, 0, user);
  }
  // A T constructed from args in a block of its own; null when the block cannot be had.
  template <typename T, typename... Args>
  T *make(Args &&...args) const {
    void *block = allocate(sizeof(T));
    return block == nullptr ? nullptr : new (block) T(std::forward<Args>(args)...);
  }
};

// An array of trivially copyable elements in a block of an Allocator; freed on destruction.
template <typename T>
class OwnedArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  OwnedArray() = default;
  OwnedArray(const OwnedArray &) = delete;
  OwnedArray &operator=(const OwnedArray &) = delete;
  OwnedArray(OwnedArray &&other) noexcept { *this = std::move(other); }
  OwnedArray &operator=(OwnedArray &&other) noexcept {
    if (this != &other) {
      reset();
      alloc_ = other.alloc_;
      data_ = std::exchange(other.data_, nullptr);
      count_ = std::exchange(other.count_, 0);
    }
    return *this;
  }
  ~OwnedArray() { reset(); }

  // Replaces the contents with count zeroed elements. 1 when the block cannot be had.
  int32_t allocate(const Allocator &alloc, uint64_t count) {
    reset();
    if (count == 0) return OVR_OK;
    if (count > std::numeric_limits<uint64_t>::max() / sizeof(T)) return OVR_ERR_NO_MEMORY;
    void *block = alloc.allocate(count * sizeof(T));
    if (block == nullptr) return OVR_ERR_NO_MEMORY;
    alloc_ = alloc;
    data_ = static_cast<T *>(block);
    count_ = count;
    for (uint64_t i = 0; i < count; ++i) data_[i] = T{};
    return OVR_OK;
  }
  void reset() {
    alloc_.release(data_);
    data_ = nullptr;
    count_ = 0;
  }
  // Hands the block to the caller, who frees it through the same allocator.
  T *release() {
    count_ = 0;
    return std::exchange(data_, nullptr);
  }

  T *data() { return data_; }
  const T *data() const { return data_; }
  uint64_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  T &operator[](uint64_t i) { return data_[i]; }
  const T &operator[](uint64_t i) const { return data_[i]; }

 private:
  Allocator alloc_;
  T *data_ = nullptr;
  uint64_t count_ = 0;
};

}  // namespace ovr

#endif
