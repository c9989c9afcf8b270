// A trace whose lines carry the time they arrived, and the phases of each
// worker that the lines mark out.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "trace.hpp"

namespace timeline {

struct Stamped {
  double at;         // seconds since the program started
  std::string text;  // the line without its line feed
};

// One line per entry: the seconds, a space, the line as printed.
void writeStamped(std::ostream& out, const std::vector<Stamped>& lines);
// False when a line does not start with a time.
bool readStamped(std::istream& in, std::vector<Stamped>& lines);

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
