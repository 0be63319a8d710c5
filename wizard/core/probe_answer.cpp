#include "vantora/probe_answer.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace vantora {

std::optional<Json> ParseJson(std::string_view text) {
  // The parser tells the depth of every array and object it opens (0 for the
  // outermost); one too deep spoils the whole document.
  bool too_deep = false;
  const Json::parser_callback_t depth_cap = [&too_deep](int depth, Json::parse_event_t event, Json&) {
    if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
        depth >= kJsonMaxDepth) {
      too_deep = true;
      return false;
    }
    return true;
  };
  try {
    Json value = Json::parse(text.begin(), text.end(), depth_cap, /*allow_exceptions=*/false);
    if (too_deep || value.is_discarded()) return std::nullopt;
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
