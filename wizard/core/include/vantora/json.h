// A small JSON reader for the answers of helper programs (ffprobe). Strict
// enough to refuse broken text, bounded in nesting depth, never throws.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantora {

class JsonValue {
 public:
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };

  Kind kind() const { return kind_; }
  bool is_object() const { return kind_ == Kind::kObject; }
  bool is_array() const { return kind_ == Kind::kArray; }

  // Member of an object, or nullptr (also for a value that is not an object).
  const JsonValue* Find(std::string_view key) const;
  const std::vector<JsonValue>& items() const { return items_; }

  // The value as text: a string as is, a number as written; nullopt otherwise.
  std::optional<std::string> AsText() const;
  // A number, or a string that holds one (ffprobe writes many numbers as strings).
  std::optional<double> AsNumber() const;
  bool AsBool() const;  // true, or a non-zero number

  // Parses a whole document; nullopt on any syntax error or nesting deeper
  // than 64 levels.
  static std::optional<JsonValue> Parse(std::string_view text);

 private:
  friend class JsonParser;
  Kind kind_ = Kind::kNull;
  bool bool_ = false;
  std::string text_;  // string contents, or a number's spelling
  std::vector<JsonValue> items_;
  std::vector<std::pair<std::string, JsonValue>> members_;
};

}  // namespace vantora
