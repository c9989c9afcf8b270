// Showing a run as its lines arrive: on a terminal that moves its cursor, a
// frame redrawn in place, fitted to the terminal and redrawn whole after a
// resize; elsewhere, or where no chart fits, the lines themselves and the chart
// once the run is over.
#pragma once

#include <string>
#include <vector>

#include "chart.hpp"
#include "stamped.hpp"
#include "terminal.hpp"

namespace prikaz {

// Where output goes: every piece of text the view shows passes through here.
using Write = void (*)(const std::string& text);

// The heading, chart and latest line of a run at `now`, for a terminal of
// `size`: every row narrower than the terminal and no more rows than it has.
// Empty when no chart fits.
std::vector<std::string> liveFrame(provera::Program program, const std::vector<timeline::Stamped>& lines, double now,
                                   Size size, const Style& style);

// Redraws a frame in place. The cursor stays on the frame's last row, so a
// frame as tall as the terminal never scrolls it.
class LiveScreen {
 public:
  explicit LiveScreen(Write write) : write_(write) {}
  // Draws `rows` over the previous frame; after a resize clears the screen
  // first, since the terminal may have rewrapped the rows standing there.
  void show(const std::vector<std::string>& rows, bool resized);
  void erase();   // takes the frame off the screen
  void finish();  // leaves the frame where it is and moves below it

 private:
  Write write_;
  int height_ = 0;  // rows of the frame on the screen; 0 when none is
};

// One run shown as it goes.
class RunView {
 public:
  RunView(provera::Program program, const Terminal& terminal, Write write);
  void update(const std::vector<timeline::Stamped>& lines, double now, bool newLine);
  // The run is over: the last frame stays, or the chart follows the lines.
  void end(const std::vector<timeline::Stamped>& lines, double now);

 private:
  void printLines(const std::vector<timeline::Stamped>& lines);
  Style style() const;

  provera::Program program_;
  Terminal terminal_;
  Write write_;
  LiveScreen screen_;
  bool live_;           // drawing frames; false once the lines are printed instead
  Size size_;           // the size the last frame was drawn for
  std::size_t printed_ = 0;  // lines printed so far when not live
};

}  // namespace prikaz
