// The timeline of one run: a row per worker, time flowing to the right.
#pragma once

#include <string>
#include <vector>

#include "stamped.hpp"

namespace prikaz {

struct Style {
  bool colour = false;   // ANSI colours
  bool unicode = false;  // · █ ✓ ✗ rather than . = + x
};

int workerCount(provera::Program program);

// An axis, a row per worker and a legend, `width` columns wide, covering the
// run from 0 to `now` seconds.
std::vector<std::string> drawChart(provera::Program program, const std::vector<timeline::Span>& spans, double now,
                                   int width, const Style& style);

}  // namespace prikaz
