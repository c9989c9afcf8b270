// The trace of one run of zadatak, niz-locks or niz-mark, read line by line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace provera {

enum class Program { Zadatak, NizLocks, NizMark };
std::optional<Program> programNamed(std::string_view name);
std::string_view nameOf(Program program);

enum class Phase { Request, Execution, Success, Failure };
enum class Command { Read, Append, Delete };

// The command as the program's trace names it ("CITANJE", "dodavanje", "Brisanje").
std::string_view commandName(Program program, Command command);

struct Line {
  int number;  // 1-based position in the trace
  Phase phase;
  long worker;
  Command command;
  std::optional<int> argument;  // zadatak and niz-mark
  std::optional<int> value;     // a niz-mark read's success
};

struct Violation {
  int line;  // the trace line at which it shows (0 for an empty trace)
  std::vector<long> workers;
  std::string rule;
};

std::string describe(const Violation& violation);  // "line 7: workers 2, 5: <rule>"

struct Trace {
  std::vector<Line> lines;            // every well-formed line, in order
  std::vector<Violation> violations;  // lines that match no format, and the like
  int lineCount = 0;
};

// `text` safe to show on a terminal: control characters (C0, DEL and C1), the
// marks that reorder or separate text (bidi controls, U+2028, U+2029), bytes
// that are not well-formed UTF-8, '"' and '\\' as \xNN escapes, the rest unchanged.
std::string escaped(std::string_view text);

// Reads every line against the program's formats, byte for byte.
Trace parse(Program program, std::string_view text);

// The line as the program prints it, line feed included; its number is not used.
std::string format(Program program, const Line& line);

}  // namespace provera
