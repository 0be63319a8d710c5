#include "quillon/property_bag.h"

namespace quillon {

void PropertyBag::Write(const std::string& key, platform::Variant value) {
  values_[key] = value.Dereferenced();
}

std::optional<platform::Variant> PropertyBag::Read(const std::string& key) const {
  const auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

}  // namespace quillon
