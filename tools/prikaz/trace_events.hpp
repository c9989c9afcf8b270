// Runs as Chrome trace-event JSON, which the Perfetto UI opens as it is: a
// process per program, a track per worker, a complete ("X") event per phase and
// an instant event at each outcome.
#pragma once

#include <string>
#include <vector>

#include "stamped.hpp"

namespace prikaz {

struct RecordedRun {
  provera::Program program;
  std::vector<timeline::Span> spans;
  double length = 0;  // seconds from the start to the last line
};

std::string traceEvents(const std::vector<RecordedRun>& runs);

}  // namespace prikaz
