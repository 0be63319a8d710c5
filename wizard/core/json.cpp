#include "vantora/json.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vantora {
namespace {

// Whether arrays and objects nest deeper than kJsonMaxDepth anywhere in text
// (brackets inside strings do not count).
bool NestsTooDeep(std::string_view text) {
  int depth = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kJsonMaxDepth) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

std::optional<Json> ParseJson(std::string_view text) {
  if (NestsTooDeep(text)) return std::nullopt;
  try {
    Json value = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (value.is_discarded()) return std::nullopt;
    return value;
  } catch (...) {
    return std::nullopt;  // out of memory: unreadable like any broken answer
  }
}

const Json* JsonFind(const Json* value, std::string_view key) {
  if (value == nullptr || !value->is_object()) return nullptr;
  const auto it = value->find(key);
  return it != value->end() ? &*it : nullptr;
}

std::optional<std::string> JsonText(const Json* value) {
  if (value == nullptr) return std::nullopt;
  if (value->is_string()) return value->get_ref<const std::string&>();
  if (value->is_number()) return value->dump();
  return std::nullopt;
}

std::optional<double> JsonNumber(const Json* value) {
  if (value == nullptr) return std::nullopt;
  if (value->is_number()) {
    const double v = value->get<double>();
    return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
  }
  if (!value->is_string()) return std::nullopt;
  const std::string& text = value->get_ref<const std::string&>();
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool JsonTrue(const Json* value) {
  if (value != nullptr && value->is_boolean()) return value->get<bool>();
  const auto n = JsonNumber(value);
  return n && *n != 0;
}

}  // namespace vantora
