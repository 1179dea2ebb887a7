// Huffman code lengths from value counts. Leaves are merged lightest first, ties broken by the
// smaller key (a leaf's key is its index, a parent's the smaller of its children's), through a
// binary heap on (weight, key); every live node has a distinct key, so the order is total and
// the lengths do not depend on the heap. A tree deeper than the limit is rebalanced on its
// length histogram as JPEG K.3 does (a leaf pair at the deepest level moves up beside a
// shallower leaf that moves down), and the new lengths go to the leaves in order of their old
// depth, heavier first within a depth, so no leaf gets a longer code than a lighter one.
#include <algorithm>

#include "jbig2_report.h"
#include "jbig2_value_encode.h"
#include "qtz_owners_internal.h"

namespace {

struct Node {
  uint64_t weight;
  int32_t key;
  int32_t parent;
  int32_t depth;
  int32_t leaf;  // index into the counts, -1 for a parent
};

bool lighter(const Node *nodes, int32_t a, int32_t b) {
  return nodes[a].weight != nodes[b].weight ? nodes[a].weight < nodes[b].weight
                                            : nodes[a].key < nodes[b].key;
}

void siftDown(const Node *nodes, int32_t *heap, int32_t size, int32_t i) {
  for (;;) {
    int32_t least = i;
    const int32_t left = 2 * i + 1, right = left + 1;
    if (left < size && lighter(nodes, heap[left], heap[least])) least = left;
    if (right < size && lighter(nodes, heap[right], heap[least])) least = right;
    if (least == i) return;
    std::swap(heap[i], heap[least]);
    i = least;
  }
}

void siftUp(const Node *nodes, int32_t *heap, int32_t i) {
  while (i > 0 && lighter(nodes, heap[i], heap[(i - 1) / 2])) {
    std::swap(heap[i], heap[(i - 1) / 2]);
    i = (i - 1) / 2;
  }
}

int32_t popLightest(const Node *nodes, int32_t *heap, int32_t *size) {
  const int32_t top = heap[0];
  heap[0] = heap[--*size];
  siftDown(nodes, heap, *size, 0);
  return top;
}

// Moves leaves up until no length exceeds maxLength; count[len] is the number of leaves of
// each length (a full tree: the Kraft sum is 1).
void limitLengths(uint32_t *count, int32_t deepest, int32_t maxLength) {
  for (int32_t i = deepest; i > maxLength; --i) {
    while (count[i] > 0) {
      int32_t j = i - 2;
      while (count[j] == 0) --j;
      count[i] -= 2;
      count[i - 1] += 1;
      count[j + 1] += 2;
      count[j] -= 1;
    }
  }
}

}  // namespace

int32_t huffCodeLengths(const uint32_t *counts, uint8_t *lengths, int32_t n, int32_t maxLength,
                        QtzState *state) {
  int32_t leaves = 0;
  for (int32_t i = 0; i < n; ++i) {
    lengths[i] = 0;
    leaves += counts[i] > 0 ? 1 : 0;
  }
  if (leaves == 0) return 0;
  if (leaves == 1 || maxLength < 1 || ceilLog2(static_cast<uint32_t>(leaves)) > maxLength) {
    if (leaves > 1 || maxLength < 1)
      return jbReport(state, kJbAssert, "%d codes cannot have lengths of at most %d", leaves,
                      maxLength);
    for (int32_t i = 0; i < n; ++i)
      if (counts[i] > 0) lengths[i] = 1;
    return 0;
  }
  const int32_t total = 2 * leaves - 1;
  qtz::OwnedBlock<Node> nodes(state, jbAllocArray<Node>(state, static_cast<size_t>(total)));
  qtz::OwnedBlock<int32_t> heap(state, jbAllocArray<int32_t>(state, static_cast<size_t>(leaves)));
  qtz::OwnedBlock<uint32_t> histogram(state, jbAllocArray<uint32_t>(state, leaves + 1u));
  if (!nodes || !heap || !histogram) return qtz::report(state, kJbNoMemory);
  Node *node = nodes.get();
  int32_t *h = heap.get();
  int32_t size = 0;
  for (int32_t i = 0; i < n; ++i)
    if (counts[i] > 0) {
      node[size] = {counts[i], i, -1, 0, i};
      h[size] = size;
      siftUp(node, h, size++);
    }
  int32_t made = leaves;
  while (size > 1) {
    const int32_t a = popLightest(node, h, &size);
    const int32_t b = popLightest(node, h, &size);
    node[made] = {node[a].weight + node[b].weight, std::min(node[a].key, node[b].key), -1, 0, -1};
    node[a].parent = node[b].parent = made;
    h[size] = made++;
    siftUp(node, h, size++);
  }
  if (made != total) return jbReport(state, kJbAssert, "malformed code tree");
  // Parents are made after their children, so depths follow from the root downwards.
  int32_t deepest = 0;
  for (int32_t i = total - 2; i >= 0; --i) {
    node[i].depth = node[node[i].parent].depth + 1;
    if (node[i].leaf >= 0) deepest = std::max(deepest, node[i].depth);
  }
  if (deepest > maxLength) {
    uint32_t *count = histogram.get();
    for (int32_t i = 0; i < leaves; ++i) count[node[i].depth]++;
    limitLengths(count, deepest, maxLength);
    // Leaves by old depth, heavier first: the heap array is free now and holds their order.
    for (int32_t i = 0; i < leaves; ++i) h[i] = i;
    std::sort(h, h + leaves, [&](int32_t a, int32_t b) {
      if (node[a].depth != node[b].depth) return node[a].depth < node[b].depth;
      if (node[a].weight != node[b].weight) return node[a].weight > node[b].weight;
      return a < b;
    });
    int32_t length = 1;
    for (int32_t i = 0; i < leaves; ++i) {
      while (count[length] == 0) ++length;
      count[length]--;
      node[h[i]].depth = length;
    }
  }
  for (int32_t i = 0; i < leaves; ++i) lengths[node[i].leaf] = static_cast<uint8_t>(node[i].depth);
  return 0;
}
