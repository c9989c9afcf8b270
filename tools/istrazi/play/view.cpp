#include "view.hpp"

#include <pthread.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

#include "judges/where.hpp"

namespace istrazi::play {
namespace {

// The length of the valid UTF-8 sequence at the start of `text` that is no
// control character; 0 when there is none.
std::size_t characterAt(std::string_view text) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char first = byte(0);
  if (first >= 0x20 && first < 0x7f) return 1;
  std::size_t length = first >= 0xc2 && first <= 0xdf ? 2 : first >= 0xe0 && first <= 0xef ? 3 : first >= 0xf0 && first <= 0xf4 ? 4 : 0;
  if (length == 0 || text.size() < length) return 0;
  for (std::size_t k = 1; k < length; ++k)
    if ((byte(k) & 0xc0) != 0x80) return 0;
  if ((first == 0xe0 && byte(1) < 0xa0) || (first == 0xf0 && byte(1) < 0x90) || (first == 0xf4 && byte(1) > 0x8f) ||
      (first == 0xed && byte(1) > 0x9f))
    return 0;  // overlong, past U+10FFFF, or a surrogate
  return length;
}

// Text as it may go to the terminal: a tab as a space, any byte a terminal
// would act on, or that is not part of a character, as '?'. (The programs'
// lines are Cyrillic in zadatak.)
std::string printable(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    std::size_t length = characterAt(text);
    if (length == 0) {
      out += text.front() == '\t' ? ' ' : '?';
      length = 1;
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

// Columns of printable text: one a character.
int columnsOf(std::string_view text) {
  int n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  return n;
}

// The bytes of the first `columns` characters of printable text.
std::size_t bytesOf(std::string_view text, int columns) {
  std::size_t at = 0;
  for (int n = 0; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xc0) != 0x80 && n++ == columns) break;
  }
  return at;
}

std::string lockName(const void* mutex) {
  return dataName(reinterpret_cast<uintptr_t>(mutex), sizeof(pthread_mutex_t));
}
std::string conditionName(const void* cond) {
  return dataName(reinterpret_cast<uintptr_t>(cond), sizeof(pthread_cond_t));
}

// The lines of a source file, read once.
const std::vector<std::string>& sourceFile(const std::string& path) {
  static std::map<std::string, std::vector<std::string>> files;
  auto [it, fresh] = files.try_emplace(path);
  if (fresh) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) it->second.push_back(printable(line));
  }
  return it->second;
}

std::string holderText(const void* mutex) {
  int holder = holderOf(mutex);
  return holder < 0 ? "" : " (" + threadName(holder) + " holds it)";
}

// What the thread does when it next runs, or what it waits for.
std::string nextText(const ThreadView& v, bool spurious) {
  switch (v.pending) {
    case Pending::Start: return "next: start";
    case Pending::Lock: return v.canRun ? "next: lock " + lockName(v.object) : "waits for " + lockName(v.object) + holderText(v.object);
    case Pending::Reacquire:
      if (v.woken)
        return v.canRun ? "woken: next retakes " + lockName(v.waitMutex)
                        : "woken, waits for " + lockName(v.waitMutex) + holderText(v.waitMutex);
      return "asleep on " + conditionName(v.object) + (v.canRun && spurious ? "; may wake spuriously" : "");
    case Pending::Print: {
      std::string line = v.line ? *v.line : "";
      if (line.ends_with('\n')) line.pop_back();
      return "next: print \"" + printable(line) + "\"";
    }
    case Pending::Pause: return "next: pause";
    case Pending::Access:
      return std::string("next: ") + (v.access == Access::Write ? "write " : "read ") + dataName(v.address, v.size);
    case Pending::Draw: return "next: draw";
    case Pending::Join: return "waits for " + threadName(v.joinTarget) + " to end";
    case Pending::Ended: return "ended";
  }
  return {};
}

// "holds mutex[3-6] mutexDodavanje": a run of elements of one array of locks as a range.
std::string heldText(const ThreadView& v) {
  if (v.held.empty()) return "";
  std::vector<const void*> held = v.held;
  std::sort(held.begin(), held.end());
  std::string text = "holds";
  for (std::size_t i = 0; i < held.size();) {
    std::string name = lockName(held[i]);
    std::size_t j = i + 1;
    std::size_t bracket = name.find('[');
    if (bracket != std::string::npos && name.back() == ']') {
      std::string base = name.substr(0, bracket + 1);
      int first = std::atoi(name.c_str() + bracket + 1), last = first;
      for (; j < held.size(); ++j) {
        std::string next = lockName(held[j]);
        if (!next.starts_with(base) || std::atoi(next.c_str() + bracket + 1) != last + 1) break;
        ++last;
      }
      if (last > first) name = base + std::to_string(first) + "-" + std::to_string(last) + "]";
    }
    text += " " + name;
    i = j;
  }
  return text;
}

std::string stateWord(const ThreadView& v) {
  if (!v.exists) return "not created";
  if (v.pending == Pending::Ended) return "ended";
  return v.canRun ? "can run" : "waits";
}

Style stateStyle(const ThreadView& v) {
  if (!v.exists || v.pending == Pending::Ended) return Style::Ended;
  return v.canRun ? Style::Ready : Style::Waiting;
}

// Cut to `columns`, padded to it when `pad`.
Row fit(Row row, int columns, bool pad = false) {
  Row out;
  int left = columns;
  for (Segment& s : row) {
    if (left <= 0) break;
    if (columnsOf(s.text) > left) s.text.resize(bytesOf(s.text, left));
    left -= columnsOf(s.text);
    out.push_back(std::move(s));
  }
  if (pad && left > 0) out.push_back({std::string(static_cast<std::size_t>(left), ' '), Style::Plain});
  return out;
}

// Splits `text` into rows of at most `columns`, at spaces where it can.
std::vector<std::string> wrapped(const std::string& text, int columns, std::size_t most) {
  std::vector<std::string> rows;
  std::string_view rest(text);
  int width = std::max(columns, 1);
  while (!rest.empty() && rows.size() < most) {
    if (columnsOf(rest) <= width) {
      rows.emplace_back(rest);
      break;
    }
    std::size_t end = bytesOf(rest, width);
    std::size_t cut = rest.rfind(' ', end);
    if (cut == std::string_view::npos || cut == 0) cut = end;
    rows.emplace_back(rest.substr(0, cut));
    rest.remove_prefix(cut);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  }
  return rows;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    out.push_back(printable(std::string_view(text).substr(at, end - at)));
    at = end + 1;
  }
  return out;
}

// The verdict as a person reads it: the rule, without the report's list of
// where every thread stopped (the panels show that).
std::string ruleOf(const std::string& verdict) {
  std::size_t last = verdict.find(" [last steps:");
  return printable(verdict.substr(0, last));
}

std::string workerTitle(const Session& session, int thread) {
  const Participant* p = session.scenario().participant(workerOf(thread));
  return "[" + std::string(1, keyOf(workerOf(thread))) + "] " + threadName(thread) + (p ? " " + p->label : "");
}

// One worker's panel: a header, then `context` lines of source around the
// line it stopped at (1: that line; 2: and the one before; 3: and the one after).
std::vector<Row> panel(const Session& session, int thread, int columns, int context) {
  ThreadView v = viewOf(thread);
  std::vector<Row> rows;
  Row header{{workerTitle(session, thread), Style::Key}, {"  ", Style::Plain}, {stateWord(v), stateStyle(v)}};
  std::string next = v.exists && v.pending != Pending::Ended ? nextText(v, session.spurious()) : "";
  std::string held = heldText(v);
  if (!next.empty()) header.push_back({"  " + next, stateStyle(v)});
  if (!held.empty()) header.push_back({"  " + held, Style::Plain});
  rows.push_back(fit(header, columns));
  if (context <= 0) return rows;
  Place place = v.exists && v.pending != Pending::Ended && v.pc ? sourcePlace(v.pc) : Place{};
  const std::vector<std::string>* file = place.line > 0 ? &sourceFile(place.file) : nullptr;
  int first = place.line - (context >= 2 ? 1 : 0);
  for (int k = 0; k < context; ++k) {
    int number = first + k;
    if (!file || number < 1 || number > static_cast<int>(file->size())) {
      if (k == 0 && !file)
        rows.push_back(fit({{"    " + std::string(!v.exists || v.pending == Pending::Start ? "(not started)"
                                                    : v.pending == Pending::Ended ? "(ended)" : "(no source line)"),
                             Style::Dim}},
                           columns));
      else
        rows.push_back({});
      continue;
    }
    std::string label = (number == place.line ? "> " : "  ") + std::to_string(number) + " ";
    std::string code = (*file)[static_cast<std::size_t>(number - 1)];
    rows.push_back(fit({{label + code, number == place.line ? Style::Here : Style::Dim}}, columns));
  }
  return rows;
}

}  // namespace

char keyOf(int worker) { return worker < 10 ? static_cast<char>('0' + worker) : static_cast<char>('a' + worker - 10); }

int workerOfKey(int key) {
  if (key >= '0' && key <= '9') return key - '0';
  if (key >= 'a' && key <= 'j') return key - 'a' + 10;
  return -1;
}

std::vector<std::string> keyHelp(const Session& session, bool explaining) {
  std::string keys;
  for (int t : session.workers()) keys += (keys.empty() ? "" : " ") + std::string(1, keyOf(workerOf(t)));
  std::vector<std::string> help = {
      keys + "  run that worker one step (the key is in [ ] on its panel)",
      "main runs by itself until it waits for its workers",
  };
  if (explaining) help.push_back("space  the next step of the schedule found for the trace");
  help.insert(help.end(), {
                              "u  undo the last step",
                              "r  restart the run",
                              "s  save the schedule (istrazi --replay) and its trace (prikaz --from)",
                              "?  these keys (any key goes back)",
                              "q  quit",
                          });
  return help;
}

std::vector<Row> layout(const Session& session, const Frame& frame, int columns, int rows) {
  std::vector<Row> out;
  if (columns < 1 || rows < 1) return out;
  const RunResult& run = session.result();
  std::vector<int> workers = session.workers();

  // Title and goal.
  std::string title = frame.title + " --play  step " + std::to_string(run.schedule.size()) + "  " + session.scenario().text;
  Row top{{title, Style::Title}};
  std::vector<Row> head{fit(top, columns, true)};
  if (!frame.goal.empty())
    for (const std::string& line : wrapped("Goal: " + printable(frame.goal), columns, 2)) head.push_back({{line, Style::Goal}});

  // The program's state.
  std::vector<Row> state;
  if (model.describe)
    for (const std::string& line : lines(model.describe())) state.push_back(fit({{line, Style::Plain}}, columns));

  // The verdict, or the answer to the last key.
  std::vector<Row> foot;
  if (session.over() && !session.verdict().empty()) {
    for (const std::string& line : wrapped("BROKEN: " + ruleOf(session.verdict()), columns, 3))
      foot.push_back({{line, Style::Broken}});
  } else if (session.over()) {
    foot.push_back(fit({{"The run has ended and broke no rule.", Style::Passed}}, columns));
  }
  if (!frame.message.empty()) foot.push_back(fit({{printable(frame.message), Style::Plain}}, columns));
  std::string keys;
  if (!workers.empty()) {
    auto [low, high] = std::minmax_element(workers.begin(), workers.end());
    keys = std::string(1, keyOf(workerOf(*low))) + "-" + std::string(1, keyOf(workerOf(*high))) + " run a worker  ";
  }
  keys += std::string(frame.explaining ? "space next  " : "") + "u undo  r restart  s save  ? keys  q quit";
  foot.push_back(fit({{keys, Style::Key}}, columns));

  int fixed = static_cast<int>(head.size() + state.size() + foot.size());
  int middle = rows - fixed;

  // The workers' panels, side by side where the terminal is wide, with as
  // much source as leaves the trace a few rows.
  std::vector<Row> panels;
  // Side by side also where one a row would not leave the trace two rows
  // (niz-locks runs 20 workers), as long as a panel keeps 24 columns.
  int count = std::max(1, static_cast<int>(workers.size()));
  int perRow = std::clamp(columns / 60, 1, count);
  while (perRow < count && (count + perRow - 1) / perRow > middle - 2 && columns / (perRow + 1) >= 24) ++perRow;
  int panelWidth = (columns - (perRow - 1) * 3) / perRow;
  int bands = (static_cast<int>(workers.size()) + perRow - 1) / perRow;
  if (frame.help) {
    for (const std::string& line : keyHelp(session, frame.explaining)) panels.push_back(fit({{line, Style::Plain}}, columns));
  } else if (bands > 0) {
    int bottomLeast = std::min(4, std::max(0, middle - bands));
    int context = std::clamp((middle - bottomLeast) / bands - 1, 0, 3);
    for (int band = 0; band < bands; ++band) {
      std::vector<std::vector<Row>> columnsOf;
      for (int k = 0; k < perRow; ++k) {
        std::size_t at = static_cast<std::size_t>(band * perRow + k);
        if (at < workers.size()) columnsOf.push_back(panel(session, workers[at], panelWidth, context));
      }
      for (int r = 0; r < 1 + context; ++r) {
        Row row;
        for (std::size_t k = 0; k < columnsOf.size(); ++k) {
          if (k > 0) row.push_back({" | ", Style::Dim});
          Row cell = static_cast<std::size_t>(r) < columnsOf[k].size() ? columnsOf[k][static_cast<std::size_t>(r)] : Row{};
          for (Segment& s : fit(cell, panelWidth, k + 1 < columnsOf.size())) row.push_back(std::move(s));
        }
        panels.push_back(row);
      }
    }
  }
  if (static_cast<int>(panels.size()) > middle) panels.resize(static_cast<std::size_t>(std::max(middle, 0)));

  // The timeline (who ran at each of the last steps) beside the trace.
  int bottom = middle - static_cast<int>(panels.size());
  std::vector<Row> below;
  if (bottom > 0) {
    int timelineWidth = columns >= 60 ? std::min(columns / 3, 40) : 0;
    int steps = std::max(timelineWidth - 3, 0);
    std::vector<int> rowsOf{kMain};
    rowsOf.insert(rowsOf.end(), workers.begin(), workers.end());
    std::vector<std::string> trace = lines(run.trace);
    std::size_t traceFrom = trace.size() > static_cast<std::size_t>(bottom) ? trace.size() - static_cast<std::size_t>(bottom) : 0;
    std::size_t lastStep = run.schedule.size();
    std::size_t firstStep = lastStep > static_cast<std::size_t>(steps) ? lastStep - static_cast<std::size_t>(steps) : 0;
    for (int r = 0; r < bottom; ++r) {
      Row row;
      if (timelineWidth > 0) {
        std::string cell;
        if (static_cast<std::size_t>(r) < rowsOf.size()) {
          int t = rowsOf[static_cast<std::size_t>(r)];
          cell = (t == kMain ? std::string("m") : std::string(1, keyOf(workerOf(t)))) + " ";
          for (std::size_t s = firstStep; s < lastStep; ++s) cell += run.schedule[s] == t ? '#' : '.';
        }
        row.push_back({cell, Style::Dim});
        row = fit(row, timelineWidth - 1, true);
        row.push_back({" ", Style::Plain});
      }
      std::size_t line = traceFrom + static_cast<std::size_t>(r);
      if (line < trace.size()) row.push_back({trace[line], Style::Plain});
      else if (r == 0 && trace.empty()) row.push_back({"(no trace line yet)", Style::Dim});
      below.push_back(fit(row, columns));
    }
  }

  for (auto* part : {&head, &panels, &state, &below, &foot})
    for (Row& row : *part)
      if (static_cast<int>(out.size()) < rows) out.push_back(std::move(row));
  return out;
}

std::string plainReport(const Session& session, const Frame& frame, std::size_t traceFrom) {
  const RunResult& run = session.result();
  std::string out;
  if (traceFrom < run.trace.size())
    for (const std::string& line : lines(run.trace.substr(traceFrom))) out += "  | " + line + "\n";
  out += "step " + std::to_string(run.schedule.size()) + "\n";
  for (int t : session.workers()) {
    ThreadView v = viewOf(t);
    out += workerTitle(session, t) + ": " + stateWord(v);
    std::string held = heldText(v);
    if (!held.empty()) out += "; " + held;
    if (v.exists && v.pending != Pending::Ended) {
      out += "; " + nextText(v, session.spurious());
      if (v.pc) {
        Place place = sourcePlace(v.pc);
        const std::vector<std::string>& file = sourceFile(place.file);
        if (place.line > 0 && place.line <= static_cast<int>(file.size()))
          out += "\n    " + sourceLine(v.pc) + ": " + file[static_cast<std::size_t>(place.line - 1)];
      }
    }
    out += "\n";
  }
  if (model.describe)
    for (const std::string& line : lines(model.describe())) out += "  " + line + "\n";
  if (session.over())
    out += session.verdict().empty() ? "The run has ended and broke no rule.\n" : "BROKEN: " + ruleOf(session.verdict()) + "\n";
  if (!frame.message.empty()) out += printable(frame.message) + "\n";
  return out;
}

}  // namespace istrazi::play
