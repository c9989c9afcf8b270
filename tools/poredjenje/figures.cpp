#include "figures.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <utility>

namespace poredjenje {
namespace {

// niz-mark prints no execution line: its request-to-execution wait is unknown,
// and it counts as executing from its second request line.
bool printsExecution(provera::Program program) { return program != provera::Program::NizMark; }

std::string format(const char* pattern, double value) {
  char text[32];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

// Columns on a terminal: every UTF-8 sequence takes one.
int displayWidth(const std::string& text) {
  return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

double mean(const std::vector<double>& values) {
  return values.empty() ? 0 : std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

double deviation(const std::vector<double>& values) {
  if (values.size() < 2) return 0;
  double m = mean(values), sum = 0;
  for (double v : values) sum += (v - m) * (v - m);
  return std::sqrt(sum / static_cast<double>(values.size() - 1));
}

}  // namespace

RunFigures measure(provera::Program program, const std::vector<timeline::Stamped>& lines, double secondsPerPause) {
  RunFigures figures;
  if (lines.empty()) return figures;
  double first = lines.front().at;
  auto pauses = [&](double seconds) { return (seconds - first) / secondsPerPause; };
  figures.length = pauses(lines.back().at);

  std::vector<std::pair<double, int>> changes;  // +1 when a worker starts executing, -1 when it ends
  double executing = 0;
  for (const timeline::Span& span : timeline::spans(program, lines)) {
    int c = static_cast<int>(span.command);
    if (span.ended < 0) continue;
    ++figures.commands[c];
    figures.failures[c] += !span.succeeded;
    if (span.started < 0) continue;  // a niz-locks read that failed at once
    if (printsExecution(program)) figures.waits[c].push_back(pauses(span.started) - pauses(span.requested));
    executing += pauses(span.ended) - pauses(span.started);
    changes.push_back({pauses(span.started), +1});
    changes.push_back({pauses(span.ended), -1});
  }
  // Ends before starts at the same moment: a worker that finished is not counted
  // beside one that began as it finished.
  std::sort(changes.begin(), changes.end());
  int now = 0;
  for (auto [at, change] : changes) figures.maxExecuting = std::max(figures.maxExecuting, now += change);
  figures.meanExecuting = figures.length > 0 ? executing / figures.length : 0;
  return figures;
}

std::string table(const std::vector<Summary>& summaries) {
  const int labelWidth = 34, columnWidth = 14;
  std::string text;
  // A program with no runs has no figures: "-".
  auto row = [&](const std::string& label, auto cell, bool always = false) {
    std::string line = label + std::string(static_cast<size_t>(std::max(0, labelWidth - displayWidth(label))), ' ');
    for (const Summary& s : summaries) {
      std::string value = always || !s.runs.empty() ? cell(s) : "-";
      line += std::string(static_cast<size_t>(std::max(1, columnWidth - displayWidth(value))), ' ') + value;
    }
    text += line + "\n";
  };
  auto each = [](const Summary& s, auto field) {
    std::vector<double> values;
    for (const RunFigures& r : s.runs) values.push_back(field(r));
    return values;
  };

  row("", [](const Summary& s) { return std::string(provera::nameOf(s.program)); }, true);
  row("runs", [](const Summary& s) { return std::to_string(s.runs.size()); }, true);
  row("run length, pause-s (mean ± sd)", [&](const Summary& s) {
    auto lengths = each(s, [](const RunFigures& r) { return r.length; });
    return format("%.1f", mean(lengths)) + " ± " + format("%.1f", deviation(lengths));
  });
  row("executing at once: mean", [&](const Summary& s) {
    return format("%.2f", mean(each(s, [](const RunFigures& r) { return r.meanExecuting; })));
  });
  row("executing at once: max", [&](const Summary& s) {
    int most = 0;
    for (const RunFigures& r : s.runs) most = std::max(most, r.maxExecuting);
    return std::to_string(most);
  });
  const char* const commands[3] = {"read", "append", "deletion"};
  text += "wait from request to execution, pause-s\n";
  for (int c = 0; c < 3; ++c)
    row(std::string("  ") + commands[c], [&](const Summary& s) {
      if (!printsExecution(s.program)) return std::string("-");
      std::vector<double> waits;
      for (const RunFigures& r : s.runs) waits.insert(waits.end(), r.waits[c].begin(), r.waits[c].end());
      return waits.empty() ? std::string("-") : format("%.2f", mean(waits));
    });
  text += "failed commands\n";
  for (int c = 0; c < 3; ++c)
    row(std::string("  ") + commands[c], [&](const Summary& s) {
      int runs = 0, failures = 0;
      for (const RunFigures& r : s.runs) {
        runs += r.commands[c];
        failures += r.failures[c];
      }
      return runs == 0 ? std::string("-") : format("%.0f%%", 100.0 * failures / runs);
    });
  row("traces failing the check", [](const Summary& s) { return std::to_string(s.failedChecks); }, true);
  return text;
}

}  // namespace poredjenje
