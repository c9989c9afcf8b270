// Reading scenario texts: comma-separated entries of colon-separated fields.
#pragma once

#include <algorithm>
#include <charconv>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "trace.hpp"

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

// ---- The default set ------------------------------------------------------------

// One worker of a generated scenario: an index into the program's commands and
// its argument.
struct Draft {
  int command = 0;
  int argument = 0;
};

// What decides the outcomes of a scenario: two scenarios with equal signatures
// meet the same boundaries (which index lies below, at or above which, which
// falls past the end after how many deletions, ...).
using Signature = std::function<std::string(const std::vector<Draft>&)>;

// Every multiset of `workers` commands out of `commands`, and for each, one
// argument tuple per signature: the first, in increasing order, of the tuples
// drawn from `values`. Workers of the same command are interchangeable, so
// their arguments are taken in increasing order only.
inline std::vector<std::vector<Draft>> everyClass(int commands, int workers, std::span<const int> values,
                                                  const Signature& signature) {
  std::vector<std::vector<Draft>> result;
  std::vector<Draft> drafts(static_cast<std::size_t>(workers));
  std::set<std::string> seen;
  // Fills drafts[k..] with commands from `fromCommand` up and arguments in order.
  std::function<void(std::size_t)> fill = [&](std::size_t k) {
    if (k == drafts.size()) {
      if (seen.insert(signature(drafts)).second) result.push_back(drafts);
      return;
    }
    int first = k == 0 ? 0 : drafts[k - 1].command;
    for (int c = first; c < commands; ++c)
      for (int v : values) {
        if (k > 0 && c == drafts[k - 1].command && v < drafts[k - 1].argument) continue;
        drafts[k] = {c, v};
        fill(k + 1);
      }
  };
  fill(0);
  return result;
}

// --explain: "W:ENTRY,..." for every worker the trace names, in order of
// number, each entry what `entry` makes of that worker's first line.
inline bool workersOfTrace(const provera::Trace& trace, const std::function<std::string(const provera::Line&)>& entry,
                           std::string& text, std::string& error) {
  std::vector<const provera::Line*> first;
  for (const provera::Line& line : trace.lines)
    if (std::none_of(first.begin(), first.end(), [&](const provera::Line* l) { return l->worker == line.worker; }))
      first.push_back(&line);
  if (first.empty()) {
    error = "the trace names no worker";
    return false;
  }
  std::sort(first.begin(), first.end(), [](const provera::Line* a, const provera::Line* b) { return a->worker < b->worker; });
  text.clear();
  for (const provera::Line* line : first) text += (text.empty() ? "" : ",") + std::to_string(line->worker) + ":" + entry(*line);
  return true;
}

// "<" "=" ">": how a compares with b.
inline const char* relation(int a, int b) { return a < b ? "<" : a == b ? "=" : ">"; }

// The signature the three programs share (command 2 is the deletion): each
// worker's command letter and, but for the `unplaced` command, whether one
// deletion by another worker is enough to push its argument past the end of
// the nine elements; then what `pair` says of each two workers.
inline std::string signatureOf(const std::vector<Draft>& drafts, std::string_view letters, int unplaced,
                               const std::function<std::string(const Draft&, const Draft&)>& pair) {
  int deletions = static_cast<int>(std::count_if(drafts.begin(), drafts.end(), [](const Draft& d) { return d.command == 2; }));
  std::string text;
  for (const Draft& d : drafts) {
    text += letters[static_cast<std::size_t>(d.command)];
    if (d.command == unplaced) continue;
    int others = deletions - (d.command == 2);
    text += std::to_string(std::min(9 - d.argument, std::min(others, 1) + 1));
  }
  for (std::size_t i = 0; i < drafts.size(); ++i)
    for (std::size_t j = i + 1; j < drafts.size(); ++j) text += pair(drafts[i], drafts[j]);
  return text;
}

// Whether a's index lies below b's, where one of them is a deletion and the
// other is no append: in zadatak and niz-locks nothing else about two indices
// decides an outcome.
inline std::string belowADeletion(const Draft& a, const Draft& b) {
  if ((a.command == 2 && b.command != 1) || (b.command == 2 && a.command != 1)) return a.argument < b.argument ? "<" : ">=";
  return "";
}

}  // namespace istrazi
