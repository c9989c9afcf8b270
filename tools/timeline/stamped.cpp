#include "stamped.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <istream>
#include <map>
#include <ostream>

namespace timeline {

void writeStamped(std::ostream& out, const std::vector<Stamped>& lines) {
  char at[32];
  for (const Stamped& line : lines) {
    std::snprintf(at, sizeof at, "%.6f", line.at);
    out << at << ' ' << line.text << '\n';
  }
}

bool readStamped(std::string_view text, std::vector<Stamped>& lines, std::string& problem) {
  double previous = 0;
  for (int number = 1; !text.empty(); ++number) {
    std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view row = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));

    std::size_t space = row.find(' ');
    std::string_view field = row.substr(0, space);
    double at = 0;
    auto [stop, error] = std::from_chars(field.data(), field.data() + field.size(), at);
    const char* why = nullptr;
    if (space == std::string_view::npos || field.empty() || error != std::errc() || stop != field.data() + field.size())
      why = "does not start with a time in seconds and a space";
    else if (!std::isfinite(at) || at < 0 || at > kLongestRun)
      why = "the time is not from 0 to 1000000 seconds";
    else if (at < previous)
      why = "the time is earlier than the line before";
    if (why) {
      problem = "line " + std::to_string(number) + ": " + why;
      return false;
    }
    previous = at;
    lines.push_back({at, std::string(row.substr(space + 1))});
  }
  return true;
}

std::string joined(const std::vector<Stamped>& lines) {
  std::string text;
  for (const Stamped& line : lines) text += line.text + "\n";
  return text;
}

std::vector<Span> spans(provera::Program program, const std::vector<Stamped>& lines) {
  provera::Trace trace = provera::parse(program, joined(lines));
  std::map<long, Span> byWorker;
  for (const provera::Line& line : trace.lines) {
    double at = lines[static_cast<std::size_t>(line.number - 1)].at;
    Span& span = byWorker[line.worker];
    if (span.requested < 0) {
      span.worker = line.worker;
      span.command = line.command;
      span.label = std::string(provera::commandName(program, line.command));
      if (line.argument) span.label += " " + std::to_string(*line.argument);
    }
    switch (line.phase) {
      case provera::Phase::Request:
        if (span.requested < 0)
          span.requested = at;
        else
          span.started = at;  // niz-mark's second request line
        break;
      case provera::Phase::Execution: span.started = at; break;
      default:
        span.ended = at;
        span.succeeded = line.phase == provera::Phase::Success;
    }
  }
  std::vector<Span> result;
  for (auto& [worker, span] : byWorker) result.push_back(span);
  return result;
}

}  // namespace timeline
