#include "play.hpp"

#include <ncursesw/curses.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <clocale>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string_view>

#include "saved.hpp"
#include "session.hpp"
#include "view.hpp"

namespace istrazi::play {
namespace {

bool set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// As prikaz decides: a terminal that moves its cursor has TERM set and not dumb.
bool cursorTerminal() {
  return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO) && set("TERM") && std::string_view(std::getenv("TERM")) != "dumb";
}

// The worker steps of a schedule, in order (main goes by itself).
std::vector<int> workerSteps(const std::vector<int>& schedule) {
  std::vector<int> steps;
  for (int t : schedule)
    if (t != kMain) steps.push_back(t);
  return steps;
}

class Game {
 public:
  explicit Game(const Options& options) : options_(options), session_(options.scenario, options.spurious) {
    frame.title = options.explorer;
    frame.goal = options.goal;
    frame.explaining = !options.plan.empty();
    if (frame.explaining) frame.message = "A schedule that prints the trace was found: space takes its next step.";
  }

  // False once the person quits.
  bool key(int key) {
    frame.message.clear();
    if (frame.help) {
      frame.help = false;
      return true;
    }
    switch (key) {
      case 'q':
      case 3:  // Ctrl-C
        return false;
      case '?': frame.help = true; return true;
      case 'u':
        if (!session_.undo()) frame.message = "Nothing to undo.";
        return true;
      case 'r':
        session_.restart();
        frame.message = "Restarted.";
        return true;
      case 's': save(); return true;
      case ' ':
      case '\n':
      case '\r':
      case 'n':
        if (frame.explaining) next();
        return true;
      default: break;
    }
    int worker = workerOfKey(key);
    if (worker < 0) {
      frame.message = "No such key: ? shows the keys.";
      return true;
    }
    if (!session_.scenario().takesPart(worker)) {
      frame.message = "Worker " + std::to_string(worker) + " takes no part in this scenario.";
    } else if (session_.over()) {
      frame.message = "The run is over: u undoes the last step, r restarts.";
    } else if (!session_.step(threadOf(worker))) {
      frame.message = "Worker " + std::to_string(worker) + " cannot run now.";
    }
    return true;
  }

  const Session& session() const { return session_; }
  Frame frame;

 private:
  // The next worker step of the schedule found, while the run has kept to it.
  void next() {
    std::vector<int> plan = workerSteps(options_.plan), done = workerSteps(session_.result().schedule);
    if (done.size() > plan.size() || !std::equal(done.begin(), done.end(), plan.begin())) {
      frame.message = "The run has left the schedule found: u undoes, r restarts.";
    } else if (done.size() == plan.size() || session_.over()) {
      frame.message = "That was the schedule's last step.";
    } else if (!session_.step(plan[done.size()])) {
      frame.message = "The schedule's next step cannot run here.";
    }
  }

  void save() {
    const Session& s = session_;
    if (!s.over()) {
      frame.message = "The run has not ended: save it once it ends or breaks a rule.";
      return;
    }
    std::string path = options_.out.empty() ? options_.explorer + ".schedule" : options_.out;
    std::string stamped = path.ends_with(".schedule") ? path.substr(0, path.size() - 9) + ".txt" : path + ".txt";
    Saved saved{options_.explorer, s.scenario().text, s.spurious(), false, s.verdict(), s.result().schedule};
    if (!writeSaved(path, saved) || !writeStamped(stamped, s.result().trace, s.result().stepOfLine, s.result().steps)) {
      frame.message = "Cannot save: " + std::string(std::strerror(errno));
      return;
    }
    frame.message = "Saved " + path + " (istrazi --replay) and " + stamped + " (prikaz --from).";
  }

  const Options& options_;
  Session session_;
};

// ---- A terminal that moves its cursor ------------------------------------------

short colourOf(Style style) {
  switch (style) {
    case Style::Ready:
    case Style::Passed: return 1;
    case Style::Waiting: return 2;
    case Style::Broken: return 3;
    case Style::Key:
    case Style::Goal: return 4;
    default: return 0;
  }
}

attr_t attributesOf(Style style, bool colour) {
  attr_t a = A_NORMAL;
  switch (style) {
    case Style::Title: a = A_REVERSE; break;
    case Style::Here:
    case Style::Broken:
    case Style::Goal: a = A_BOLD; break;
    case Style::Dim:
    case Style::Ended: a = A_DIM; break;
    default: break;
  }
  if (colour && colourOf(style)) a |= COLOR_PAIR(colourOf(style));
  return a;
}

void draw(const Game& game, bool colour) {
  erase();
  std::vector<Row> rows = layout(game.session(), game.frame, COLS, LINES);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    move(static_cast<int>(r), 0);
    for (const Segment& s : rows[r]) {
      attrset(attributesOf(s.style, colour));
      addnstr(s.text.data(), static_cast<int>(s.text.size()));
    }
  }
  attrset(A_NORMAL);
  refresh();
}

// ncursesw writes the characters of the locale's encoding: UTF-8, which the
// programs' lines need, also where the environment names none.
void chooseUtf8() {
  std::setlocale(LC_ALL, "");
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || std::string_view(codeset) != "UTF-8") std::setlocale(LC_CTYPE, "C.UTF-8");
}

int plain(Game& game);

// ncurses turns a SIGWINCH into KEY_RESIZE only when a read of the keyboard
// returns, and a read it is blocked in may simply go on after the signal; so
// the keyboard is read with a timeout, and each timeout looks at the size.
constexpr int kResizeCheckMs = 100;

bool resized() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) return false;
  if (size.ws_row == LINES && size.ws_col == COLS) return false;
  resizeterm(size.ws_row, size.ws_col);
  return true;
}

// After getch gave ERR: whether the input has ended, rather than the timeout
// having passed with no key.
bool inputEnded() {
  pollfd in{STDIN_FILENO, POLLIN, 0};
  if (poll(&in, 1, 0) <= 0) return false;
  int waiting = 0;
  return (in.revents & (POLLHUP | POLLERR | POLLNVAL)) || (ioctl(STDIN_FILENO, FIONREAD, &waiting) == 0 && waiting == 0);
}

int onTerminal(Game& game) {
  chooseUtf8();
  // A terminal ncurses has no description of gets the plain report.
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (!screen) return plain(game);
  raw();
  noecho();
  keypad(stdscr, TRUE);
  curs_set(0);
  typeahead(-1);  // every frame is drawn whole, however fast the keys come
  bool colour = has_colors() && !set("NO_COLOR");
  if (colour) {
    start_color();
    use_default_colors();
    init_pair(1, COLOR_GREEN, -1);
    init_pair(2, COLOR_YELLOW, -1);
    init_pair(3, COLOR_RED, -1);
    init_pair(4, COLOR_CYAN, -1);
  }
  timeout(kResizeCheckMs);
  for (bool redraw = true;;) {
    if (redraw) draw(game, colour);
    int key = getch();
    redraw = true;
    if (key == KEY_RESIZE) continue;
    if (key == ERR) {
      if (inputEnded()) break;
      redraw = resized();
      continue;
    }
    if (!game.key(key)) break;
  }
  endwin();
  delscreen(screen);
  return 0;
}

// ---- A plain terminal, a file or a pipe -------------------------------------------

int plain(Game& game) {
  std::size_t shown = 0;
  char previous = '\n';
  std::cout << game.frame.title << " --play " << game.session().scenario().text << "\n";
  if (!game.frame.goal.empty()) std::cout << "Goal: " << game.frame.goal << "\n";
  for (const std::string& line : keyHelp(game.session(), game.frame.explaining)) std::cout << "  " << line << "\n";
  for (;;) {
    std::cout << plainReport(game.session(), game.frame, shown) << "> " << std::flush;
    shown = game.session().result().trace.size();
    char c = 0;
    ssize_t n;
    do n = read(STDIN_FILENO, &c, 1);
    while (n < 0 && errno == EINTR);
    if (n <= 0) break;
    // A plain terminal hands over whole lines: each character is a key, and
    // an empty line, when stepping through a schedule found, its next step.
    bool emptyLine = c == '\n' && previous == '\n';
    previous = c;
    if (c == '\n' && !(emptyLine && game.frame.explaining)) continue;
    bool wasHelp = c == '?';
    if (!game.key(static_cast<unsigned char>(c))) break;
    shown = std::min(shown, game.session().result().trace.size());  // undone or restarted
    if (wasHelp) {
      for (const std::string& line : keyHelp(game.session(), game.frame.explaining)) std::cout << "  " << line << "\n";
      game.frame.help = false;
    }
  }
  std::cout << "\n";
  return std::cout ? 0 : 2;
}

}  // namespace

int run(const Options& options) {
  Game game(options);
  return cursorTerminal() ? onTerminal(game) : plain(game);
}

}  // namespace istrazi::play
