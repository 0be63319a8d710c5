// The reader of ffprobe's answers: JSON documents read with nlohmann::json. Parsing refuses broken text and
// documents nested too deep, and never throws; the readers below take a null pointer for a value that is not
// there, so that lookups chain.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace vantora {

using Json = nlohmann::json;

// Arrays and objects nested deeper than this make a document unreadable.
constexpr int kJsonMaxDepth = 64;

// Parses a whole document; nullopt on any syntax error or nesting deeper than
// kJsonMaxDepth.
std::optional<Json> ParseJson(std::string_view text);

// The member key of an object; nullptr when there is none or value is no
// object (or null).
const Json* JsonFind(const Json* value, std::string_view key);
// A string as it is, a number as text; nullopt otherwise.
std::optional<std::string> JsonText(const Json* value);
// A finite number, or a string that holds exactly one (ffprobe writes many
// numbers as strings); nullopt otherwise.
std::optional<double> JsonNumber(const Json* value);
// true, or a number (or numeric string) other than 0.
bool JsonTrue(const Json* value);

}  // namespace vantora
