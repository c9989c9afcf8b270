#include "child.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace seam {
namespace {

// Must match the seam: events arrive on fd 3, worker K's pauses are released through 10+K.
constexpr int kEventFd = 3;
constexpr int kReleaseFdBase = 10;
constexpr int kWorkers = 20;

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

// A pipe whose ends sit above every descriptor the child is given, so that the
// child's dup2 calls never overwrite a source they still need.
void highPipe(int ends[2]) {
  int raw[2];
  if (pipe2(raw, O_CLOEXEC) != 0) fail("pipe");
  for (int i = 0; i < 2; ++i) {
    ends[i] = fcntl(raw[i], F_DUPFD_CLOEXEC, 64);
    if (ends[i] < 0) fail("fcntl");
    close(raw[i]);
  }
}

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

std::string_view buildName(Build build) { return build == Build::Tsan ? "tsan" : "plain"; }

std::string caseName(std::string_view program, Build build) {
  std::string name(program);
  std::erase(name, '-');
  return name + "_" + std::string(buildName(build));
}

std::string programPath(std::string_view program, Build build) {
  std::string path = std::string(TEST_BIN_DIR) + "/" + std::string(program) + "-seam";
  if (build == Build::Tsan) path += "-tsan";
  return path;
}

std::string mutantMismatch(std::string_view name) {
  std::ifstream in(std::string(MUTANT_DIR) + "/" + std::string(name) + ".mismatch");
  std::string message;
  std::getline(in, message);
  return message;
}

std::vector<std::string> programEnv(std::string_view program) {
  if (program.starts_with("niz-mark")) return {"TSAN_OPTIONS=halt_on_error=1 exitcode=66 report_thread_leaks=0"};
  return {};
}

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos) break;  // an unfinished line is not a line yet
    lines.emplace_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::string Outcome::describe() const {
  std::ostringstream s;
  s << "status " << status << (signal ? ", signal " + std::to_string(signal) : "")
    << (timedOut ? ", timed out" : "") << "\n--- stdout ---\n" << out << "--- stderr ---\n" << err;
  return s.str();
}

Child::Child(const Launch& launch) : pausesTaken_(kWorkers, 0) {
  signal(SIGPIPE, SIG_IGN);  // a release sent to a program that has ended is harmless
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);

  int out[2], err[2], events[2] = {-1, -1};
  highPipe(out);
  highPipe(err);
  if (launch.stdoutPath.empty())
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, launch.stdoutPath.c_str(), O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);

  std::vector<int> releaseReadEnds;
  if (launch.step) {
    highPipe(events);
    posix_spawn_file_actions_adddup2(&actions, events[1], kEventFd);
    for (int w = 0; w < kWorkers; ++w) {
      int release[2];
      highPipe(release);
      posix_spawn_file_actions_adddup2(&actions, release[0], kReleaseFdBase + w);
      releaseReadEnds.push_back(release[0]);
      releaseFds_.push_back(release[1]);
    }
  }

  // The launch's own settings come first, so that they win over these defaults.
  std::vector<std::string> env = launch.env;
  env.push_back("TSAN_OPTIONS=halt_on_error=1 exitcode=66");
  if (launch.step) env.push_back("SEAM_PAUSE=step");
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string program = launch.program;
  std::vector<std::string> args = launch.args;
  std::vector<char*> argv = {program.data()};
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int spawned = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (events[1] >= 0) close(events[1]);
  for (int fd : releaseReadEnds) close(fd);
  if (spawned != 0) {
    errno = spawned;
    fail("cannot start " + program);
  }

  outFd_ = out[0];
  errFd_ = err[0];
  eventFd_ = events[0];
  if (!launch.stdoutPath.empty()) closeFd(outFd_);
  for (int fd : {outFd_, errFd_, eventFd_})
    if (fd >= 0) fcntl(fd, F_SETFL, O_NONBLOCK);
}

Child::~Child() {
  releaseAll();
  if (!reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  closeFd(outFd_);
  closeFd(errFd_);
  closeFd(eventFd_);
}

void Child::pump(int timeoutMs) {
  struct Source {
    int* fd;
    std::string* text;
  };
  Source sources[] = {{&outFd_, &out_}, {&errFd_, &err_}, {&eventFd_, &eventText_}};
  pollfd fds[3];
  int count = 0;
  for (Source& s : sources)
    if (*s.fd >= 0) fds[count++] = pollfd{*s.fd, POLLIN, 0};
  if (count == 0) return;
  if (poll(fds, static_cast<nfds_t>(count), timeoutMs) <= 0) return;

  for (Source& s : sources) {
    if (*s.fd < 0) continue;
    char buffer[65536];
    for (;;) {
      ssize_t n = read(*s.fd, buffer, sizeof buffer);
      if (n > 0) {
        s.text->append(buffer, static_cast<size_t>(n));
        continue;
      }
      if (n == 0) closeFd(*s.fd);
      break;  // end of file, or nothing more for now
    }
  }

  std::size_t end;
  while ((end = eventText_.find('\n')) != std::string::npos) {
    Event e{'?', -1, -1};
    std::sscanf(eventText_.c_str(), "%c %d %d", &e.kind, &e.worker, &e.detail);
    events_.push_back(e);
    eventText_.erase(0, end + 1);
  }
}

template <class Done>
bool Child::waitUntil(Done done) {
  auto deadline = Clock::now() + limit;
  for (;;) {
    pump(0);
    if (done()) return true;
    bool silent = outFd_ < 0 && eventFd_ < 0;  // nothing more can arrive
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (silent || left.count() <= 0) return false;
    pump(static_cast<int>(std::min<long>(left.count(), 50)));
  }
}

bool Child::lastEventIs(int worker, std::string_view kinds, std::size_t since) const {
  for (std::size_t i = events_.size(); i-- > 0;)
    if (events_[i].worker == worker) return i >= since && kinds.find(events_[i].kind) != kinds.npos;
  return false;
}

std::size_t Child::mark() {
  pump(0);
  return events_.size();
}

std::size_t Child::eventsSince(int worker, std::size_t since) {
  pump(0);
  std::size_t count = 0;
  for (std::size_t i = since; i < events_.size(); ++i) count += events_[i].worker == worker;
  return count;
}

const std::vector<Event>& Child::events() {
  pump(0);
  return events_;
}

bool Child::waitAnyEvent(int worker, std::size_t since) {
  return waitUntil([&] { return eventsSince(worker, since) > 0; });
}

bool Child::start(int worker) {
  bool held = waitUntil([&] {
    for (const Event& e : events_)
      if (e.kind == 'S' && e.worker == worker) return true;
    return false;
  });
  if (held) release(worker);
  return held;
}

bool Child::waitPause(int worker) {
  int wanted = pausesTaken_.at(static_cast<size_t>(worker)) + 1;
  bool arrived = waitUntil([&] {
    int seen = 0;
    for (const Event& e : events_) seen += e.kind == 'P' && e.worker == worker;
    return seen >= wanted;
  });
  if (arrived) pausesTaken_[static_cast<size_t>(worker)] = wanted;
  return arrived;
}

bool Child::waitWaiting(int worker, std::size_t since) {
  return waitUntil([&] { return lastEventIs(worker, "C", since); });
}

bool Child::waitBlocked(int worker, std::size_t since) {
  return waitUntil([&] { return lastEventIs(worker, "CL", since); });
}

bool Child::waitEnd(int worker) {
  return waitUntil([&] { return lastEventIs(worker, "E", 0); });
}

void Child::release(int worker, int pauses) {
  int fd = releaseFds_.at(static_cast<size_t>(worker));
  std::string bytes(static_cast<size_t>(pauses), 'r');
  if (fd >= 0 && write(fd, bytes.data(), bytes.size()) < 0) fail("release");
}

void Child::releaseAll() {
  for (int& fd : releaseFds_) closeFd(fd);
}

std::vector<std::string> Child::lines() {
  pump(0);
  return splitLines(out_);
}

Outcome Child::finish() {
  releaseAll();
  Outcome outcome;
  auto deadline = Clock::now() + limit;
  while ((outFd_ >= 0 || errFd_ >= 0 || eventFd_ >= 0) && Clock::now() < deadline) pump(50);

  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      // A process may outlive its pipes; SIGKILL, because a sanitizer may ignore SIGTERM.
      outcome.timedOut = true;
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  reaped_ = true;
  pump(0);
  if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  outcome.out = out_;
  outcome.err = err_;
  return outcome;
}

std::string Child::describe() {
  pump(0);
  std::ostringstream s;
  s << "--- events ---\n";
  for (const Event& e : events_) s << e.kind << ' ' << e.worker << (e.detail >= 0 ? " " + std::to_string(e.detail) : "") << '\n';
  s << "--- stdout ---\n" << out_ << "\n--- stderr ---\n" << err_;
  return s.str();
}

Outcome run(const Launch& launch, std::chrono::milliseconds limit) {
  Child child(launch);
  child.limit = limit;
  return child.finish();
}

}  // namespace seam
