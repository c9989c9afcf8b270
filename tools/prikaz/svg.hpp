// Runs as one self-contained SVG picture, for a slide or a page: per run a
// heading, a time axis and a row per worker with its phases drawn as bars in
// the live view's colours, an outcome mark, and a legend. It needs no other
// file: no fonts, styles or scripts from outside.
#pragma once

#include <string>
#include <vector>

#include "trace_events.hpp"

namespace prikaz {

std::string svgTimeline(const std::vector<RecordedRun>& runs);

}  // namespace prikaz
