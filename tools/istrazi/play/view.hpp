// What the play screen shows, as rows of text with a style for each piece,
// laid out for a terminal of a given size; drawing them is the terminal's
// business (terminal.cpp), and the plain report is for a terminal that
// cannot move its cursor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "session.hpp"

namespace istrazi::play {

enum class Style : uint8_t { Plain, Title, Goal, Key, Ready, Waiting, Ended, Here, Broken, Passed, Dim };

struct Segment {
  std::string text;
  Style style = Style::Plain;
};
using Row = std::vector<Segment>;

// Beside the run itself: the lines of the frame around it.
struct Frame {
  std::string title;    // the explorer's name
  std::string goal;     // a broken copy's goal; empty for none
  std::string message;  // the answer to the last key
  bool help = false;    // the keys instead of the workers
  bool explaining = false;  // a schedule found for a real trace: space takes its next step
};

// The key that runs a worker: its digit for 0 to 9, then a letter from 'a'
// for 10 to 19 (none of a to j is a command key).
char keyOf(int worker);
int workerOfKey(int key);  // -1 when the key names no worker

// The rows of the screen, each at most `columns` wide, at most `rows` of them.
std::vector<Row> layout(const Session& session, const Frame& frame, int columns, int rows);

// For a plain terminal: the workers, the state and the trace lines printed
// since byte `traceFrom` of the trace, as lines of text.
std::string plainReport(const Session& session, const Frame& frame, std::size_t traceFrom);

// The keys, one line each.
std::vector<std::string> keyHelp(const Session& session, bool explaining);

}  // namespace istrazi::play
