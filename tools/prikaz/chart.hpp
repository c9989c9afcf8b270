// The timeline of one run: a row per worker, time flowing to the right,
// fitted to a width: the time scale narrows, labels shorten and the legend
// wraps so that no row is wider than asked.
#pragma once

#include <string>
#include <vector>

#include "stamped.hpp"

namespace prikaz {

struct Style {
  bool colour = false;   // ANSI colours
  bool unicode = false;  // · █ ✓ ✗ rather than . = + x
};

// The phases a cell of the chart can show, and their colours (also the SVG's).
enum class Cell { Empty, Requested, Executing, Success, Failure };
const char* colourOf(Cell cell);  // ANSI
const char* rgbOf(Cell cell);     // "#rrggbb"
// The legend's words for a phase: niz-mark has no execution line, so its
// second phase starts at the second request.
const char* meaningOf(provera::Program program, Cell cell);

// The narrowest width at which a chart fits.
constexpr int kNarrowestChart = 26;

int workerCount(provera::Program program);

// "Dod 5" for "Dodavanje na kraj 5": the command cut to three letters.
std::string shortLabel(provera::Program program, const timeline::Span& span);

// An axis, a row per worker and a legend, covering the run from 0 to `now`
// seconds; no row takes more than `width` columns. Empty when `width` is
// below kNarrowestChart.
std::vector<std::string> drawChart(provera::Program program, const std::vector<timeline::Span>& spans, double now,
                                   int width, const Style& style);

// The smallest round number of seconds per column that fits `now` in `columns`.
double secondsPerColumn(double now, int columns);

}  // namespace prikaz
