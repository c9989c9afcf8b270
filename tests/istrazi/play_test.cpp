// istrazi --play on a pseudo-terminal, read through the terminal screen model:
// the keys of a broken copy's counterexample break its rule on screen, undo
// gives back the screen as it was, a resize redraws at the new size, `s`
// saves a schedule that --replay runs the same, and a plain terminal gets
// plain lines.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "child.hpp"
#include "scratch.hpp"
#include "screen.hpp"

namespace {

const std::string kCopy = "niz-mark-read-never-waits";
const std::string kScenario = "0:read:0,1:read:0,2:delete:0";

std::string front() { return std::string(ISTRAZI_BIN_DIR) + "/istrazi"; }

// The explorer on a terminal of its own: what it writes, and keys typed at it.
class Terminal {
 public:
  Terminal(std::vector<std::string> args, std::vector<std::string> env, int columns, int rows) {
    winsize size{static_cast<unsigned short>(rows), static_cast<unsigned short>(columns), 0, 0};
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      for (const std::string& e : env) {
        std::size_t eq = e.find('=');
        if (eq == std::string::npos) unsetenv(e.c_str());
        else setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
      }
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  // Reads until `done` holds of what has been written (false after ten seconds or at the end).
  template <class Done>
  bool waitUntil(Done done) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > limit || !pump(100)) return done();
    }
    return true;
  }
  bool waitFor(const std::string& text) {
    return waitUntil([&] { return out.find(text) != std::string::npos; });
  }
  void type(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }
  void resize(int columns, int rows) {
    winsize size{static_cast<unsigned short>(rows), static_cast<unsigned short>(columns), 0, 0};
    ioctl(master_, TIOCSWINSZ, &size);
    kill(pid_, SIGWINCH);
  }
  // Reads to the end; the exit status (-1 when it did not exit within ten seconds).
  int finish() {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < limit && pump(100)) {}
    int status = 0;
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      usleep(50000);
    }
    return -1;
  }

  std::string out;

 private:
  // False at the end of the output.
  bool pump(int ms) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return true;
    char buffer[4096];
    ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;
    out.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int master_ = -1;
  bool reaped_ = false;
};

// The screen as the last frame left it, before the terminal's own screen came back.
std::vector<std::string> lastFrame(const std::string& out, int columns, int rows) {
  seam::Screen screen(columns, rows);
  screen.feed(out.substr(0, out.rfind("\x1b[?1049l")));
  EXPECT_TRUE(screen.unknown().empty()) << screen.unknown().front();
  EXPECT_EQ(screen.wraps(), 0) << "every row fits";
  return screen.visible();
}

// Whether a frame has been drawn whole on an 80x24 terminal: its last row holds the keys.
bool drawn(const std::string& out) {
  seam::Screen screen(80, 24);
  screen.feed(out);
  return screen.visible()[23].find("run a worker") != std::string::npos;
}

std::string joined(const std::vector<std::string>& rows) {
  std::string all;
  for (const std::string& row : rows) all += row + "\n";
  return all;
}

class Play : public ::testing::Test {
 protected:
  // The keys of the counterexample the search saves for the copy: main goes
  // by itself, worker W's key is its digit. --play steps at every access.
  static std::string counterexampleKeys(seam::Scratch& scratch) {
    std::string path = scratch.path("found.schedule");
    seam::Launch launch(std::string(TEST_BIN_DIR) + "/istrazi-" + kCopy);
    launch.args = {"--scenario", kScenario, "--out", path, "--quiet", "--every-access"};
    seam::Outcome search = seam::run(launch, std::chrono::seconds(60));
    EXPECT_EQ(search.status, 1) << search.describe();
    std::ifstream in(path);
    std::string keys;
    for (std::string line; std::getline(in, line);)
      if (line.starts_with("steps "))
        for (std::size_t at = 6; at < line.size();) {
          std::size_t end = line.find(' ', at);
          int thread = std::stoi(line.substr(at, end - at));
          if (thread > 0) keys += static_cast<char>('0' + thread - 1);
          at = end == std::string::npos ? line.size() : end + 1;
        }
    return keys;
  }

  // The last frame after typing `keys` (then q) at 80x24.
  std::vector<std::string> played(const std::string& keys, std::vector<std::string> env = {"TERM=xterm", "NO_COLOR"},
                                  std::string* raw = nullptr) {
    Terminal t({front(), "niz-mark", "--play", "--copy", kCopy, "--scenario", kScenario, "--out",
                scratch_.path("played.schedule")},
               env, 80, 24);
    EXPECT_TRUE(t.waitUntil([&] { return drawn(t.out); })) << t.out;
    t.type(keys + "q");
    EXPECT_EQ(t.finish(), 0) << t.out;
    if (raw) *raw = t.out;
    return lastFrame(t.out, 80, 24);
  }

  seam::Scratch scratch_;
};

TEST_F(Play, TheCounterexamplesKeysBreakTheRuleOnScreenAndSaveItForReplay) {
  std::string keys = counterexampleKeys(scratch_);
  ASSERT_FALSE(keys.empty());
  std::string raw;
  std::vector<std::string> frame = played(keys + "s", {"TERM=xterm"}, &raw);
  std::string all = joined(frame);
  EXPECT_NE(all.find("Goal: make it break a rule (make a read go ahead"), std::string::npos) << all;
  EXPECT_NE(all.find("BROKEN: after step"), std::string::npos) << all;
  EXPECT_NE(all.find("a read of 0 passed its wait"), std::string::npos) << all;
  EXPECT_NE(all.find("[1] worker 1 read 0"), std::string::npos) << all;
  EXPECT_NE(all.find("Saved "), std::string::npos) << all;
  EXPECT_NE(raw.find("\x1b[32m"), std::string::npos) << "colour where NO_COLOR is unset";

  seam::Launch replay(front());
  replay.args = {"--replay", scratch_.path("played.schedule"), "--save", scratch_.path("replayed.txt")};
  seam::Outcome again = seam::run(replay, std::chrono::seconds(30));
  EXPECT_EQ(again.status, 1) << again.describe();
  EXPECT_NE(again.err.find("a read of 0 passed its wait"), std::string::npos) << again.describe();
  std::ifstream stamped(scratch_.path("played.txt")), replayed(scratch_.path("replayed.txt"));
  std::string a((std::istreambuf_iterator<char>(stamped)), {}), b((std::istreambuf_iterator<char>(replayed)), {});
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, b) << "the saved trace for prikaz --from is the replay's";
}

TEST_F(Play, UndoGivesBackTheScreenAsItWas) {
  std::string keys = counterexampleKeys(scratch_);
  ASSERT_GE(keys.size(), 2u);
  std::string raw;
  std::vector<std::string> before = played(keys.substr(0, keys.size() - 1), {"TERM=xterm", "NO_COLOR=1"}, &raw);
  std::vector<std::string> undone = played(keys + "u");
  EXPECT_EQ(joined(before), joined(undone));
  EXPECT_EQ(joined(before).find("BROKEN"), std::string::npos) << joined(before);
  EXPECT_EQ(raw.find("\x1b[32m"), std::string::npos) << "no colour under NO_COLOR";
  // Back to the first frame, which restarting also gives, with word of it.
  std::vector<std::string> start = played("");
  EXPECT_EQ(joined(played("0u")), joined(start));
  std::vector<std::string> restarted = played("01r");
  EXPECT_NE(joined(restarted).find("Restarted."), std::string::npos);
  std::erase(restarted, "Restarted.");
  std::erase(start, "");
  std::erase(restarted, "");
  EXPECT_EQ(joined(restarted), joined(start));
}

TEST_F(Play, AResizeRedrawsAtTheNewSize) {
  Terminal t({front(), "niz-mark", "--play", "--copy", kCopy, "--scenario", kScenario}, {"TERM=xterm", "NO_COLOR"}, 80, 24);
  ASSERT_TRUE(t.waitUntil([&] { return drawn(t.out); })) << t.out;
  std::size_t first = t.out.size();
  t.resize(100, 30);
  // The screen as a terminal resized at that moment shows it.
  auto shown = [&] {
    seam::Screen screen(80, 24);
    screen.feed(t.out.substr(0, first));
    screen.resize(100, 30);
    screen.feed(t.out.substr(first, t.out.rfind("\x1b[?1049l") - first));
    return screen;
  };
  EXPECT_TRUE(t.waitUntil([&] { return shown().visible()[29].starts_with("0-2 run a worker"); })) << joined(shown().visible());
  t.type("q");
  EXPECT_EQ(t.finish(), 0);
  seam::Screen screen = shown();
  std::vector<std::string> rows = screen.visible();
  ASSERT_EQ(rows.size(), 30u);
  EXPECT_TRUE(rows[29].starts_with("0-2 run a worker")) << joined(rows);
  EXPECT_TRUE(rows[0].starts_with("istrazi-" + kCopy + " --play")) << joined(rows);
  EXPECT_EQ(screen.wraps(), 0) << joined(rows);
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const std::string& row) { return row.find("run a worker") != row.npos; }), 1)
      << joined(rows);
}

TEST_F(Play, APlainTerminalGetsPlainLines) {
  std::string keys = counterexampleKeys(scratch_);
  for (const char* term : {"TERM=dumb", "TERM", "TERM=no-such-terminal"}) {
    Terminal t({front(), "niz-mark", "--play", "--copy", kCopy, "--scenario", kScenario}, {term}, 80, 24);
    ASSERT_TRUE(t.waitFor("> ")) << t.out;
    t.type(keys + "q\n");  // a plain terminal reads whole lines
    EXPECT_EQ(t.finish(), 0) << t.out;
    EXPECT_EQ(t.out.find('\x1b'), std::string::npos) << term;
    EXPECT_NE(t.out.find("BROKEN: after step"), std::string::npos) << t.out;
    EXPECT_NE(t.out.find("a read of 0 passed its wait while the mark stood at 0"), std::string::npos) << t.out;
  }
}

// A real run of niz-mark: the space key steps through the schedule found for
// it, and the trace printed along the way is the run's own, line for line.
TEST_F(Play, StepsThroughTheScheduleOfARealRun) {
  std::string file = std::string(TRACE_DIR) + "/niz-mark.txt";
  Terminal t({front(), "niz-mark", "--play", "--explain", file}, {"TERM=dumb"}, 80, 24);
  ASSERT_TRUE(t.waitFor("> ")) << t.out;
  t.type(std::string(300, ' ') + "q\n");
  EXPECT_EQ(t.finish(), 0) << t.out;
  std::string printed;
  for (std::string line : seam::splitLines(t.out)) {
    if (line.starts_with("> ")) line.erase(0, 2);  // after the prompt
    if (line.starts_with("  | ")) printed += line.substr(4, line.find_last_not_of('\r') - 3) + "\n";
  }
  std::ifstream in(file);
  std::string expected((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(printed, expected);
  EXPECT_NE(t.out.find("The run has ended and broke no rule."), std::string::npos) << t.out;
}

}  // namespace
