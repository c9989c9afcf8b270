// Reading scenario texts: comma-separated entries of colon-separated fields.
#pragma once

#include <algorithm>
#include <charconv>
#include <span>
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

// One worker of a scenario as its text names it.
struct Entry {
  int worker = 0;
  int command = -1;  // index into the form's commands; -1 where the entry names none
  int argument = 0;
};

// The shape of a program's entries: "W:A", or "W:COMMAND:A" when it has commands.
struct EntryForm {
  int workers;                            // worker numbers 0 .. workers-1
  std::span<const char* const> commands;  // empty: the worker's number fixes its command
  int maxArgument;
  const char* usage;                      // the error when an entry does not fit
};

// Reads the entries of `text`; false with `error` set when one does not fit the
// form, a worker is named twice, or no worker is named at all.
inline bool readEntries(std::string_view text, const EntryForm& form, std::vector<Entry>& into, std::string& error) {
  std::size_t width = form.commands.empty() ? 2 : 3;
  for (const auto& fields : entries(text)) {
    Entry entry;
    if (fields.size() == 3 && width == 3)
      for (std::size_t c = 0; c < form.commands.size(); ++c)
        if (fields[1] == form.commands[c]) entry.command = static_cast<int>(c);
    if (fields.size() != width || (width == 3 && entry.command < 0) ||
        !number(fields[0], 0, form.workers - 1, entry.worker) ||
        !number(fields[width - 1], 0, form.maxArgument, entry.argument)) {
      error = form.usage;
      return false;
    }
    if (std::any_of(into.begin(), into.end(), [&](const Entry& e) { return e.worker == entry.worker; })) {
      error = "worker " + std::to_string(entry.worker) + " named twice";
      return false;
    }
    into.push_back(entry);
  }
  if (into.empty()) error = "no worker takes part";
  return !into.empty();
}

}  // namespace istrazi
