#include "chart.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace prikaz {
namespace {

enum class Cell { Empty, Requested, Executing, Success, Failure };

const char* glyph(Cell cell, const Style& style) {
  static const char* const ascii[] = {" ", ".", "=", "+", "x"};
  static const char* const unicode[] = {" ", "·", "█", "✓", "✗"};
  return (style.unicode ? unicode : ascii)[static_cast<int>(cell)];
}

const char* colourOf(Cell cell) {
  static const char* const colours[] = {"", "\x1b[2m", "\x1b[36m", "\x1b[1;32m", "\x1b[1;31m"};
  return colours[static_cast<int>(cell)];
}

// What the worker was doing in the time [from, to): its outcome if that fell
// there, else the most advanced phase that overlaps it.
Cell cellOf(const timeline::Span& span, double from, double to, double now) {
  if (span.ended >= from && span.ended < to) return span.succeeded ? Cell::Success : Cell::Failure;
  double end = span.ended >= 0 ? span.ended : now;
  if (span.started >= 0 && span.started < to && end > from) return Cell::Executing;
  double waitEnd = span.started >= 0 ? span.started : end;
  if (span.requested >= 0 && span.requested < to && waitEnd > from) return Cell::Requested;
  return Cell::Empty;
}

// The smallest round number of seconds per column that fits the run.
double secondsPerColumn(double now, int columns) {
  for (double step : {0.1, 0.2, 0.25, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 30.0, 60.0})
    if (now <= step * columns) return step;
  return std::ceil(now / columns);
}

std::string axis(int labelWidth, int columns, double step) {
  std::string line(static_cast<size_t>(labelWidth), ' ');
  line += "  ";
  int every = 10;
  for (int c = 0; c < columns;) {
    if (c % every == 0) {
      char tick[16];
      std::snprintf(tick, sizeof tick, "|%gs", c * step);
      std::string t = tick;
      if (c + static_cast<int>(t.size()) > columns) break;
      line += t;
      c += static_cast<int>(t.size());
    } else {
      line += ' ';
      ++c;
    }
  }
  return line;
}

}  // namespace

int workerCount(provera::Program program) { return program == provera::Program::NizLocks ? 20 : 10; }

std::vector<std::string> drawChart(provera::Program program, const std::vector<timeline::Span>& spans, double now,
                                   int width, const Style& style) {
  std::size_t labelWidth = 3;
  for (const timeline::Span& span : spans) labelWidth = std::max(labelWidth, 3 + span.label.size());
  int columns = std::max(10, width - static_cast<int>(labelWidth) - 2);
  double step = secondsPerColumn(now, columns);

  std::vector<std::string> rows = {axis(static_cast<int>(labelWidth), columns, step)};
  for (long worker = 0; worker < workerCount(program); ++worker) {
    char number[8];
    std::snprintf(number, sizeof number, "%2ld ", worker);
    std::string row = number;
    auto span = std::find_if(spans.begin(), spans.end(), [&](const timeline::Span& s) { return s.worker == worker; });
    if (span != spans.end()) row += span->label;
    row.resize(labelWidth, ' ');
    row += "  ";
    Cell previous = Cell::Empty;
    for (int c = 0; c < columns && c * step < now; ++c) {
      Cell cell = span == spans.end() ? Cell::Empty : cellOf(*span, c * step, (c + 1) * step, now);
      if (style.colour && cell != previous) row += std::string("\x1b[0m") + colourOf(cell);
      row += glyph(cell, style);
      previous = cell;
    }
    if (style.colour) row += "\x1b[0m";
    rows.push_back(row);
  }

  bool mark = program == provera::Program::NizMark;
  std::string legend = std::string(labelWidth + 2, ' ');
  auto key = [&](Cell cell, const char* meaning) {
    if (style.colour) legend += colourOf(cell);
    legend += glyph(cell, style);
    if (style.colour) legend += "\x1b[0m";
    legend += std::string(" ") + meaning + "  ";
  };
  key(Cell::Requested, mark ? "arriving" : "requested, waiting");
  key(Cell::Executing, mark ? "after the second request" : "executing");
  key(Cell::Success, "success");
  key(Cell::Failure, "failure");
  char scale[40];
  std::snprintf(scale, sizeof scale, "(%g s a column)", step);
  legend += scale;
  rows.push_back(legend);
  return rows;
}

}  // namespace prikaz
