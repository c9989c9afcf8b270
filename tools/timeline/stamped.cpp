#include "stamped.hpp"

#include <algorithm>
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

bool readStamped(std::istream& in, std::vector<Stamped>& lines) {
  std::string row;
  while (std::getline(in, row)) {
    std::size_t space = row.find(' ');
    if (space == std::string::npos) return false;
    try {
      std::size_t used = 0;
      double at = std::stod(row.substr(0, space), &used);
      if (used != space) return false;
      lines.push_back({at, row.substr(space + 1)});
    } catch (const std::exception&) {
      return false;
    }
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
