#include "chart.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "text.hpp"

namespace prikaz {
namespace {

// Charts narrower than this many time columns are not worth drawing; full
// labels are kept only while at least kRoomyColumns remain for time.
constexpr int kFewestColumns = 20;
constexpr int kRoomyColumns = 40;
constexpr const char* kReset = "\x1b[0m";

const char* glyph(Cell cell, const Style& style) {
  static const char* const ascii[] = {" ", ".", "=", "+", "x"};
  static const char* const unicode[] = {" ", "·", "█", "✓", "✗"};
  return (style.unicode ? unicode : ascii)[static_cast<int>(cell)];
}

// What the worker was doing in each of the row's first `shown` columns, column
// c covering the time [c step, (c + 1) step). Each phase fills the columns from
// the one it began in up to the next phase's, and the outcome takes one; so a
// wait or an execution shorter than a column would vanish behind what came
// next. Instead every phase the worker went through keeps a column of its own,
// a thin mark: what follows is pushed on a column, or, where the row ends,
// what precedes it back.
std::vector<Cell> rowCells(const timeline::Span& span, int shown, double step) {
  std::vector<Cell> cells(static_cast<std::size_t>(shown), Cell::Empty);
  if (shown == 0) return cells;
  struct Phase {
    Cell cell;
    int column;  // where it begins
  };
  auto columnOf = [&](double at) { return std::clamp(static_cast<int>(at / step), 0, shown - 1); };
  std::vector<Phase> phases;
  if (span.requested >= 0) phases.push_back({Cell::Requested, columnOf(span.requested)});
  if (span.started >= 0) phases.push_back({Cell::Executing, columnOf(span.started)});
  if (span.ended >= 0) phases.push_back({span.succeeded ? Cell::Success : Cell::Failure, columnOf(span.ended)});

  for (std::size_t i = 1; i < phases.size(); ++i)
    phases[i].column = std::max(phases[i].column, phases[i - 1].column + 1);
  for (std::size_t i = phases.size(); i-- > 0;) {
    int latest = i + 1 < phases.size() ? phases[i + 1].column - 1 : shown - 1;
    phases[i].column = std::max(std::min(phases[i].column, latest), 0);
  }

  for (std::size_t i = 0; i < phases.size(); ++i) {
    bool outcome = i + 1 == phases.size() && span.ended >= 0;
    int end = i + 1 < phases.size() ? phases[i + 1].column : outcome ? phases[i].column + 1 : shown;
    for (int c = phases[i].column; c < end; ++c) cells[static_cast<std::size_t>(c)] = phases[i].cell;
  }
  return cells;
}

std::string axis(int labelWidth, int columns, double step) {
  std::string line(static_cast<size_t>(labelWidth) + 2, ' ');
  constexpr int kEvery = 10;
  for (int c = 0; c < columns;) {
    if (c % kEvery == 0) {
      char tick[32];
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

enum class Labels { Full, Short, None };

std::string labelOf(provera::Program program, const timeline::Span& span, Labels labels) {
  if (labels == Labels::Full) return span.label;
  if (labels == Labels::Short) return shortLabel(program, span);
  return "";
}

// The legend's keys and scale, wrapped into rows of at most `width` columns,
// under the chart's time columns when they fit there.
std::vector<std::string> legend(provera::Program program, int labelWidth, double step, int width,
                                const Style& style) {
  std::vector<std::string> keys;
  for (Cell cell : {Cell::Requested, Cell::Executing, Cell::Success, Cell::Failure}) {
    std::string key = style.colour ? std::string(colourOf(cell)) + glyph(cell, style) + kReset : glyph(cell, style);
    keys.push_back(key + " " + meaningOf(program, cell));
  }
  char scale[48];
  std::snprintf(scale, sizeof scale, "(%g s a column)", step);
  keys.push_back(scale);

  std::size_t longest = 0;
  for (const std::string& key : keys) longest = std::max(longest, widthOf(key));
  std::size_t indent = 0;
  for (std::size_t candidate : {static_cast<std::size_t>(labelWidth) + 2, std::size_t{3}})
    if (candidate + longest <= static_cast<std::size_t>(width)) {
      indent = candidate;
      break;
    }

  std::vector<std::string> rows;
  std::string row;
  std::size_t used = 0;
  for (const std::string& key : keys) {
    std::size_t wide = widthOf(key);
    if (used > 0 && used + 2 + wide > static_cast<std::size_t>(width)) {
      rows.push_back(row);
      used = 0;
    }
    if (used == 0) {
      row = std::string(indent, ' ');
      used = indent;
    } else {
      row += "  ";
      used += 2;
    }
    row += key;
    used += wide;
  }
  rows.push_back(row);
  return rows;
}

std::string workerRow(const timeline::Span* span, long worker, const std::string& label, int labelWidth,
                      int columns, double step, double now, const Style& style) {
  char number[24];
  std::snprintf(number, sizeof number, "%2ld ", worker);
  std::string row = number + label;
  row.resize(static_cast<std::size_t>(labelWidth), ' ');
  row += "  ";
  int shown = 0;
  while (shown < columns && shown * step < now) ++shown;
  std::vector<Cell> cells = span ? rowCells(*span, shown, step) : std::vector<Cell>(static_cast<std::size_t>(shown));
  Cell previous = Cell::Empty;
  for (Cell cell : cells) {
    if (style.colour && cell != previous) row += std::string(kReset) + colourOf(cell);
    row += glyph(cell, style);
    previous = cell;
  }
  if (style.colour) row += kReset;
  return row;
}

}  // namespace

const char* colourOf(Cell cell) {
  static const char* const colours[] = {"", "\x1b[2m", "\x1b[36m", "\x1b[1;32m", "\x1b[1;31m"};
  return colours[static_cast<int>(cell)];
}

const char* rgbOf(Cell cell) {
  static const char* const colours[] = {"#ffffff", "#b0b0b0", "#00a0b0", "#20a020", "#d02020"};
  return colours[static_cast<int>(cell)];
}

const char* meaningOf(provera::Program program, Cell cell) {
  bool mark = program == provera::Program::NizMark;
  switch (cell) {
    case Cell::Requested: return mark ? "arriving" : "requested, waiting";
    case Cell::Executing: return mark ? "after the second request" : "executing";
    case Cell::Success: return "success";
    case Cell::Failure: return "failure";
    default: return "";
  }
}

int workerCount(provera::Program program) { return program == provera::Program::NizLocks ? 20 : 10; }

std::string shortLabel(provera::Program program, const timeline::Span& span) {
  std::string_view command = provera::commandName(program, span.command);
  std::string argument = span.label.size() > command.size() ? span.label.substr(command.size()) : "";
  return std::string(command.substr(0, 3)) + argument;
}

double secondsPerColumn(double now, int columns) {
  for (double step : {0.1, 0.2, 0.25, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 30.0, 60.0})
    if (now <= step * columns) return step;
  return std::ceil(now / columns);
}

std::vector<std::string> drawChart(provera::Program program, const std::vector<timeline::Span>& spans, double now,
                                   int width, const Style& style) {
  if (width < kNarrowestChart) return {};
  // Full labels while they leave room for time, else three letters, else none.
  Labels labels = Labels::None;
  int labelWidth = 3;
  for (Labels candidate : {Labels::Full, Labels::Short, Labels::None}) {
    std::size_t widest = 0;
    for (const timeline::Span& span : spans) widest = std::max(widest, labelOf(program, span, candidate).size());
    labelWidth = 3 + static_cast<int>(widest);
    int room = width - labelWidth - 2;
    if (room >= (candidate == Labels::Full ? kRoomyColumns : kFewestColumns) || candidate == Labels::None) {
      labels = candidate;
      break;
    }
  }
  int columns = width - labelWidth - 2;
  double step = secondsPerColumn(now, columns);

  std::vector<std::string> rows = {axis(labelWidth, columns, step)};
  for (long worker = 0; worker < workerCount(program); ++worker) {
    auto span = std::find_if(spans.begin(), spans.end(), [&](const timeline::Span& s) { return s.worker == worker; });
    const timeline::Span* found = span == spans.end() ? nullptr : &*span;
    std::string label = found ? labelOf(program, *found, labels) : "";
    rows.push_back(workerRow(found, worker, label, labelWidth, columns, step, now, style));
  }
  for (std::string& row : legend(program, labelWidth, step, width, style)) rows.push_back(std::move(row));
  return rows;
}

}  // namespace prikaz
