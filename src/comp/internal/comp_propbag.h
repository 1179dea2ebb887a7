// The property bag a component persists into, and the exchange that reads or writes it.
//
// A bag is an ordered list of named values (the order in which they were written). An exchange
// runs in one direction: saving appends each value in the order of the calls, loading looks each
// name up and leaves the variable untouched when the bag has no value of that name and kind (no
// defaults are applied). Version values are stored under "_Version".
#ifndef COMP_PROPBAG_H
#define COMP_PROPBAG_H

#include <cstdint>
#include <string>
#include <vector>

namespace comp {

struct PropValue {
  enum class Kind : uint8_t { I4, UI4, R8, Str } kind;
  std::string name;
  int64_t integer = 0;
  double real = 0.0;
  std::string text;
};

class PropertyBag {
 public:
  const std::vector<PropValue> &values() const { return values_; }
  void append(PropValue value) { values_.push_back(std::move(value)); }
  // The value called name of kind, or null.
  const PropValue *find(const std::string &name, PropValue::Kind kind) const;

 private:
  std::vector<PropValue> values_;
};

class PropExchange {
 public:
  PropExchange(PropertyBag &bag, bool loading) : bag_(bag), loading_(loading) {}
  bool isLoading() const { return loading_; }

  void exchangeVersion(uint32_t &version) { exchange("_Version", version); }
  void exchange(const char *name, std::string &value);
  void exchange(const char *name, uint32_t &value);
  void exchange(const char *name, int32_t &value);
  void exchange(const char *name, double &value);

 private:
  PropertyBag &bag_;
  bool loading_;
};

}  // namespace comp

#endif
