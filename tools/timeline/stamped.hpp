// A trace whose lines carry the time they arrived, and the phases of each
// worker that the lines mark out.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "trace.hpp"

namespace timeline {

struct Stamped {
  double at;         // seconds since the program started
  std::string text;  // the line without its line feed
};

// One line per entry: the seconds, a space, the line as printed.
void writeStamped(std::ostream& out, const std::vector<Stamped>& lines);
// Reads what writeStamped wrote. Every time must be a finite number of seconds,
// from 0 to kLongestRun and never below the one before; on the first line that
// breaks this, returns false and says why in `problem` ("line 3: ...").
bool readStamped(std::string_view text, std::vector<Stamped>& lines, std::string& problem);
constexpr double kLongestRun = 1e6;

// What one worker did and when. A worker that printed nothing has no span.
// niz-mark prints no execution line: there `started` is its second request,
// after which it tests the length, waits if it must, and works.
struct Span {
  long worker = 0;
  provera::Command command = provera::Command::Read;
  std::string label;  // the command and argument as the trace gives them: "CITANJE 4"
  double requested = -1;  // -1 where the line is missing
  double started = -1;
  double ended = -1;
  bool succeeded = false;
};

std::vector<Span> spans(provera::Program program, const std::vector<Stamped>& lines);

// The trace as the program printed it.
std::string joined(const std::vector<Stamped>& lines);

}  // namespace timeline
