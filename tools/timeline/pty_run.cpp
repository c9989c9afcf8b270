#include "pty_run.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <sys/ioctl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <chrono>
#include <csignal>
#include <cstring>

extern char** environ;

namespace timeline {
namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string lastError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// `fd` moved above the standard descriptors, so that a descriptor the caller
// left closed (standard output, say) is never taken by one of ours.
int aboveStandard(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  close(fd);
  return moved;
}

// A terminal whose output passes unchanged: line feeds stay line feeds.
int openTerminal(int& slave, std::string& failure) {
  int master = aboveStandard(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  char name[128];
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    failure = lastError("cannot open a pseudo-terminal");
    if (master >= 0) close(master);
    return -1;
  }
  slave = aboveStandard(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
  termios settings;
  if (slave < 0 || tcgetattr(slave, &settings) != 0) {
    failure = lastError("cannot open a pseudo-terminal");
    close(master);
    return -1;
  }
  settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(slave, TCSANOW, &settings);
  return master;
}

// Why runs must end: 0, a signal number, or -1. Written from signal handlers,
// so a lock-free atomic and nothing more.
std::atomic<int> stopWanted{0};
static_assert(std::atomic<int>::is_always_lock_free);

void onStopSignal(int signal) {
  int none = 0;
  stopWanted.compare_exchange_strong(none, signal);
}

}  // namespace

void stopRuns(int why) {
  int none = 0;
  stopWanted.compare_exchange_strong(none, why);
}

int stopReason() { return stopWanted.load(); }

void stopRunsOnSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

void dieOf(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  _exit(128 + signal);
}

std::string executableDirectory() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string self(path, static_cast<size_t>(n));
  return self.substr(0, self.rfind('/'));
}

std::string printed(const RunResult& run) {
  std::string text = joined(run.lines);
  if (run.unfinished) text.pop_back();
  return text;
}

RunResult runStamped(const std::vector<std::string>& argv, const RunOptions& options) {
  RunResult result;
  int slave = -1;
  int master = openTerminal(slave, result.failure);
  if (master < 0) return result;
  if (options.columns > 0 && options.rows > 0) {
    winsize size{options.rows, options.columns, 0, 0};
    ioctl(master, TIOCSWINSZ, &size);
  }
  int errors[2];
  bool piped = pipe2(errors, O_CLOEXEC) == 0;
  if (piped) {
    errors[0] = aboveStandard(errors[0]);
    errors[1] = aboveStandard(errors[1]);
  }
  if (!piped || errors[0] < 0 || errors[1] < 0) {
    result.failure = lastError("cannot make a pipe");
    close(master);
    close(slave);
    return result;
  }

  // Everything the child needs is made before fork: after it, only exec-safe calls.
  std::vector<std::string> envStrings;
  auto nameOf = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
  for (char** e = environ; *e; ++e) {
    bool replaced = std::any_of(options.env.begin(), options.env.end(),
                                [&](const std::string& mine) { return nameOf(mine) == nameOf(*e); });
    if (!replaced) envStrings.emplace_back(*e);
  }
  for (const std::string& mine : options.env)
    if (mine.find('=') != std::string::npos) envStrings.push_back(mine);
  std::vector<char*> envp, args;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings = argv;
  for (std::string& a : argStrings) args.push_back(a.data());
  args.push_back(nullptr);

  Clock::time_point start = Clock::now();
  pid_t pid = fork();
  if (pid == 0) {  // stays in our process group, so that Ctrl-C ends it with us
    std::signal(SIGPIPE, SIG_DFL);  // an ignored signal stays ignored across exec
    int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(slave, 1);
    dup2(errors[1], 2);
    execve(args[0], args.data(), envp.data());
    const char* message = "cannot run the program\n";
    (void)!write(2, message, std::strlen(message));
    _exit(127);
  }
  close(slave);
  close(errors[1]);
  if (pid < 0) {
    result.failure = lastError("cannot start a process");
    close(master);
    close(errors[0]);
    return result;
  }

  if (options.onStart) options.onStart(pid, master);
  std::string partial;
  int out = master, err = errors[0];
  while (out >= 0 || err >= 0) {
    if (stopReason() != 0 && result.stopped == 0) {
      result.stopped = stopReason();
      kill(pid, SIGKILL);
    }
    pollfd fds[2];
    int count = 0;
    if (out >= 0) fds[count++] = {out, POLLIN, 0};
    if (err >= 0) fds[count++] = {err, POLLIN, 0};
    int ready = poll(fds, static_cast<nfds_t>(count), static_cast<int>(options.tick * 1000));
    double now = since(start);
    if (options.timeout > 0 && now > options.timeout && !result.timedOut) {
      result.timedOut = true;
      kill(pid, SIGKILL);
    }
    if (ready <= 0) {
      if (options.onTick && result.stopped == 0) options.onTick(now);
      continue;
    }
    for (int i = 0; i < count; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {  // end of file, or EIO once the terminal's last writer is gone
        if (n < 0 && errno == EINTR) continue;
        close(fds[i].fd);
        (fds[i].fd == out ? out : err) = -1;
        continue;
      }
      if (fds[i].fd == err) {
        result.errors.append(buffer, static_cast<size_t>(n));
        continue;
      }
      partial.append(buffer, static_cast<size_t>(n));
      std::size_t end;
      while ((end = partial.find('\n')) != std::string::npos) {
        result.lines.push_back({now, partial.substr(0, end)});
        partial.erase(0, end + 1);
        if (options.onLine && result.stopped == 0) options.onLine(result.lines.back());
      }
    }
  }
  if (!partial.empty()) {
    result.lines.push_back({since(start), partial});
    result.unfinished = true;
  }

  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  if (stopReason() != 0 && result.stopped == 0) result.stopped = stopReason();
  if (options.onTick && result.stopped == 0) options.onTick(since(start));
  return result;
}

}  // namespace timeline
