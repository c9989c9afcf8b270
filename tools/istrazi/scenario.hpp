// Reading scenario texts: comma-separated entries of colon-separated fields.
#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

namespace istrazi {

// Splits "a:b,c:d" into {{"a","b"},{"c","d"}}.
inline std::vector<std::vector<std::string_view>> entries(std::string_view text) {
  std::vector<std::vector<std::string_view>> result;
  while (!text.empty()) {
    std::string_view entry = text.substr(0, text.find(','));
    text.remove_prefix(std::min(text.size(), entry.size() + 1));
    std::vector<std::string_view> fields;
    while (true) {
      std::string_view field = entry.substr(0, entry.find(':'));
      fields.push_back(field);
      if (field.size() == entry.size()) break;
      entry.remove_prefix(field.size() + 1);
    }
    result.push_back(fields);
  }
  return result;
}

// The field as a number from `low` to `high`; false when it is not one.
inline bool number(std::string_view field, int low, int high, int& value) {
  auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  return error == std::errc() && end == field.data() + field.size() && value >= low && value <= high;
}

}  // namespace istrazi
