// A growable array of trivially copyable elements (record pointers, offsets, table locations) in
// blocks of a context's allocator: insertion at any position, removal, and a span over the
// elements for the sorted-list helpers. Growing doubles the capacity (at least 4); a failed
// allocation leaves the list unchanged and gives 1.
#ifndef OVR_LIST_H
#define OVR_LIST_H

#include <cstdint>
#include <span>

#include "ovr_alloc_internal.h"

namespace ovr {

template <typename T>
class RecordList {
 public:
  explicit RecordList(const Allocator &alloc) : alloc_(alloc) {}
  RecordList(const RecordList &) = delete;
  RecordList &operator=(const RecordList &) = delete;

  // Inserts value before position at (at most size()). 1 when the block cannot be had.
  int32_t insert(uint64_t at, const T &value) {
    if (size_ == items_.size()) {
      OwnedArray<T> grown;
      const uint64_t capacity = items_.size() < 2 ? 4 : 2 * items_.size();
      if (grown.allocate(alloc_, capacity) != OVR_OK) return OVR_ERR_NO_MEMORY;
      for (uint64_t i = 0; i < size_; ++i) grown[i] = items_[i];
      items_ = std::move(grown);
    }
    for (uint64_t i = size_; i > at; --i) items_[i] = items_[i - 1];
    items_[at] = value;
    ++size_;
    return OVR_OK;
  }
  int32_t push(const T &value) { return insert(size_, value); }
  void erase(uint64_t at) {
    for (uint64_t i = at; i + 1 < size_; ++i) items_[i] = items_[i + 1];
    --size_;
  }
  void clear() {
    items_.reset();
    size_ = 0;
  }

  uint64_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T &operator[](uint64_t i) { return items_[i]; }
  const T &operator[](uint64_t i) const { return items_[i]; }
  std::span<T> span() { return std::span<T>(items_.data(), size_); }
  std::span<const T> span() const { return std::span<const T>(items_.data(), size_); }

 private:
  Allocator alloc_;
  OwnedArray<T> items_;
  uint64_t size_ = 0;
};

}  // namespace ovr

#endif
