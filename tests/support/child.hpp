// Runs a test build of a program in a child process and drives it through the
// seam: whole runs with scaled pauses, or scenarios stepped pause by pause.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace seam {

enum class Build { Plain, Tsan };

// The test build of `program` ("zadatak", "niz-locks", "niz-mark").
std::string programPath(std::string_view program, Build build);
// Why the broken copy `name` is not broken after all: a message naming the copy,
// its program's source and the text no longer in it (the copy was then built
// from the unchanged source). Empty for a copy made as meant, and for a program.
std::string mutantMismatch(std::string_view name);
std::string_view buildName(Build build);
// "nizlocks_tsan": a test-name suffix for a program and build.
std::string caseName(std::string_view program, Build build);

std::vector<std::string> splitLines(std::string_view text);

// Settings every launch of `program` needs (niz-mark's main never joins its
// workers, by design, so ThreadSanitizer must not report them as leaked).
std::vector<std::string> programEnv(std::string_view program);

struct Launch {
  explicit Launch(std::string path, std::vector<std::string> environment = {}, bool stepped = false)
      : program(std::move(path)), env(std::move(environment)), step(stepped) {}

  std::string program;            // path of the test build
  std::vector<std::string> env;   // "NAME=value", added to a minimal environment (and winning)
  bool step = false;              // hold every pause until the test releases it
  std::string stdoutPath;         // send standard output to this file instead of a pipe
  std::vector<std::string> args;  // command-line arguments
};

struct Outcome {
  int status = -1;  // exit status, -1 when the process did not exit normally
  int signal = 0;   // the signal that ended it, if any
  bool timedOut = false;
  std::string out;
  std::string err;
  std::vector<std::string> lines() const { return splitLines(out); }
  std::string describe() const;  // status, output and errors, for failure messages
};

struct Event {
  char kind;   // 'S' held at start, 'P' pause, 'C' condition wait, 'L' blocked on a lock, 'E' end
  int worker;
  int detail;  // seconds of a pause, else -1
};

class Child {
 public:
  explicit Child(const Launch& launch);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Each wait gives up after `limit` and returns false.
  // A wait with `since` counts only events that arrived after that mark().
  bool start(int worker);      // lets a worker held at its start go (SEAM_HOLD_START)
  bool waitPause(int worker);  // the worker's next pause not yet waited for
  bool waitWaiting(int worker, std::size_t since = 0);  // waiting on a condition variable
  bool waitBlocked(int worker, std::size_t since = 0);  // ... or blocked on a lock
  bool waitEnd(int worker);
  bool waitAnyEvent(int worker, std::size_t since);  // any event of the worker after the mark
  std::size_t mark();  // the number of events so far
  std::size_t eventsSince(int worker, std::size_t since);  // the worker's events after a mark
  const std::vector<Event>& events();                       // every event so far

  void release(int worker, int pauses = 1);
  void releaseAll();  // every pause from now on passes at once

  std::vector<std::string> lines();  // complete lines of standard output so far
  Outcome finish();                  // release all, wait for the end (killed after `limit`)
  std::string describe();            // events and output so far

  std::chrono::milliseconds limit{5000};

 private:
  template <class Done>
  bool waitUntil(Done done);
  void pump(int timeoutMs);
  bool lastEventIs(int worker, std::string_view kinds, std::size_t since) const;

  pid_t pid_ = -1;
  int outFd_ = -1, errFd_ = -1, eventFd_ = -1;
  std::vector<int> releaseFds_;
  std::string out_, err_, eventText_;
  std::vector<Event> events_;
  std::vector<int> pausesTaken_;
  bool reaped_ = false;
};

// A whole run, free-running.
Outcome run(const Launch& launch, std::chrono::milliseconds limit = std::chrono::seconds(30));

}  // namespace seam
