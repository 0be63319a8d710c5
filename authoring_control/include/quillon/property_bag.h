// The persisted state of a control: a key -> value bag the container saves
// and loads (in place of a stream). Keys are compared exactly.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/automation/variant.h"
#include "quillon/export.h"

namespace quillon {

class QUILLON_API PropertyBag {
 public:
  // The key holding the property-exchange version (I4).
  static constexpr char kVersionKey[] = "_Version";

  void Write(const std::string& key, platform::Variant value);
  std::optional<platform::Variant> Read(const std::string& key) const;
  bool Contains(const std::string& key) const { return values_.count(key) != 0; }
  std::size_t size() const { return values_.size(); }

 private:
  std::map<std::string, platform::Variant> values_;
};

}  // namespace quillon
