// Test-only replacements for the calls through which a test drives a program.
//
// Test builds of the three programs link this file with
//   -Wl,--wrap=sleep,--wrap=rand,--wrap=srand,--wrap=pthread_create,
//   --wrap=pthread_exit,--wrap=pthread_mutex_lock,--wrap=pthread_cond_wait,
//   --wrap=printf
// so that the program's own source stays exactly as shipped. The shipped
// binaries never contain it.
//
// Settings come from the environment, read once before main:
//   SEAM_PAUSE=scale:N  sleep(s) lasts s*N milliseconds (unset: real seconds)
//   SEAM_PAUSE=step     every pause of a worker blocks until the test releases it
//   SEAM_SEED=N         srand seeds with N whatever it is given
//   SEAM_RAND=W:v,v;... scripted draws: thread W ("main" or a worker number) takes
//                       these values from rand first, then the real generator's
//   SEAM_FAIL_CREATE=K  the creation of worker K fails with EAGAIN
//   SEAM_HOLD_START=1   in step mode, every worker is held before its first step
//   SEAM_JITTER=N       every worker starts up to N ms late, and after each line
//                       it prints it stalls up to N ms, as on a loaded machine
//                       with a slow terminal (drawn at random, not from rand)
//
// Worker K is the K-th thread the program creates. In step mode the test reads
// events from fd 3, one line each, and releases worker K's pauses through fd 10+K
// (one byte releases one pause; end of file releases every later one):
//   "S K"    worker K is held at its start (released like a pause)
//   "P K S"  worker K entered a pause of S seconds
//   "C K"    worker K is about to wait on a condition variable
//   "L K"    worker K found a lock taken and is about to block on it
//   "E K"    worker K is ending
// Standard output is line-buffered in step mode, so every line a worker printed
// before an event can be read once the event has arrived.

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

extern "C" {
int __real_rand();
void __real_srand(unsigned);
int __real_pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
[[noreturn]] void __real_pthread_exit(void*);
int __real_pthread_mutex_lock(pthread_mutex_t*);
int __real_pthread_cond_wait(pthread_cond_t*, pthread_mutex_t*);
}

#if defined(__SANITIZE_THREAD__)
#define SEAM_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define SEAM_TSAN 1
#endif
#endif

namespace {

constexpr int kMaxWorkers = 32;
constexpr int kMaxScript = 32;
constexpr int kEventFd = 3;
constexpr int kReleaseFdBase = 10;

struct Script {
  int values[kMaxScript];
  int size = 0;
  int next = 0;  // touched only by the thread the script belongs to
};

struct Settings {
  bool step = false;
  bool holdStart = false;
  long pauseMs = 1000;
  bool seeded = false;
  unsigned seed = 0;
  int failCreate = -1;
  long jitterMs = 0;
  Script mainScript;
  Script workerScripts[kMaxWorkers];
};

thread_local int currentWorker = -1;  // -1 on the main thread

struct Start {
  void* (*routine)(void*);
  void* arg;
  int worker;
};
Start starts[kMaxWorkers];
std::atomic<int> created{0};
std::atomic<int> running{0};  // workers started and not yet ending

void parseScripts(Settings& into, std::string_view text) {
  while (!text.empty()) {
    std::string_view entry = text.substr(0, text.find(';'));
    text.remove_prefix(std::min(text.size(), entry.size() + 1));
    std::size_t colon = entry.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view who = entry.substr(0, colon);
    Script* script = &into.mainScript;
    if (who != "main") {
      int worker = std::atoi(std::string(who).c_str());
      if (worker < 0 || worker >= kMaxWorkers) continue;
      script = &into.workerScripts[worker];
    }
    std::string_view values = entry.substr(colon + 1);
    while (!values.empty() && script->size < kMaxScript) {
      std::string_view value = values.substr(0, values.find(','));
      values.remove_prefix(std::min(values.size(), value.size() + 1));
      script->values[script->size++] = std::atoi(std::string(value).c_str());
    }
  }
}

Settings readSettings() {
  Settings settings;
  if (const char* pause = std::getenv("SEAM_PAUSE")) {
    std::string_view p(pause);
    if (p == "step") {
      settings.step = true;
      setvbuf(stdout, nullptr, _IOLBF, 0);
    } else if (p.starts_with("scale:")) {
      settings.pauseMs = std::atol(pause + 6);
    }
  }
  if (const char* seed = std::getenv("SEAM_SEED")) {
    settings.seeded = true;
    settings.seed = static_cast<unsigned>(std::strtoul(seed, nullptr, 10));
  }
  settings.holdStart = settings.step && std::getenv("SEAM_HOLD_START") != nullptr;
  if (const char* fail = std::getenv("SEAM_FAIL_CREATE")) settings.failCreate = std::atoi(fail);
  if (const char* jitter = std::getenv("SEAM_JITTER")) settings.jitterMs = std::atol(jitter);
  if (const char* script = std::getenv("SEAM_RAND")) parseScripts(settings, script);
  return settings;
}

Settings settings = readSettings();  // before main, while the program has one thread

void event(char kind, int worker, int detail = -1) {
  if (!settings.step || worker < 0) return;
  char line[32];
  int n = detail < 0 ? snprintf(line, sizeof line, "%c %d\n", kind, worker)
                     : snprintf(line, sizeof line, "%c %d %d\n", kind, worker, detail);
  ssize_t written;
  do written = write(kEventFd, line, static_cast<size_t>(n));
  while (written < 0 && errno == EINTR);
}

void awaitRelease(int worker) {
  char byte;
  ssize_t n;
  do n = read(kReleaseFdBase + worker, &byte, 1);
  while (n < 0 && errno == EINTR);
}

void workerEnding() {
  event('E', currentWorker);
  running.fetch_sub(1);
}

// Stalls up to SEAM_JITTER milliseconds, drawn from a generator of the
// thread's own so that the program's draws stay as they are.
void jitter() {
  if (settings.jitterMs <= 0) return;
  thread_local uint64_t state = static_cast<uint64_t>(time(nullptr)) * 0x9E3779B97F4A7C15ull ^
                                reinterpret_cast<uintptr_t>(&state) ^ static_cast<uint64_t>(clock());
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  long us = static_cast<long>(state % static_cast<uint64_t>(settings.jitterMs * 1000 + 1));
  timespec stall{us / 1000000, (us % 1000000) * 1000};
  while (nanosleep(&stall, &stall) != 0 && errno == EINTR) {
  }
}

void* trampoline(void* p) {
  const Start* start = static_cast<const Start*>(p);
  currentWorker = start->worker;
  jitter();
  if (settings.holdStart) {
    event('S', currentWorker);
    awaitRelease(currentWorker);
  }
  void* result = start->routine(start->arg);
  workerEnding();
  return result;
}

}  // namespace

extern "C" {

unsigned __wrap_sleep(unsigned seconds) {
  if (settings.step && currentWorker >= 0) {
    event('P', currentWorker, static_cast<int>(seconds));
    awaitRelease(currentWorker);
    return 0;
  }
  long ms = static_cast<long>(seconds) * settings.pauseMs;
  timespec pause{ms / 1000, (ms % 1000) * 1000000};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
  return 0;
}

int __wrap_rand() {
  Script* script = currentWorker < 0 ? &settings.mainScript
                   : currentWorker < kMaxWorkers ? &settings.workerScripts[currentWorker]
                                                 : nullptr;
  if (script && script->next < script->size) return script->values[script->next++];
  return __real_rand();
}

void __wrap_srand(unsigned seed) { __real_srand(settings.seeded ? settings.seed : seed); }

int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attr,
                          void* (*routine)(void*), void* arg) {
  int worker = created.fetch_add(1);
  if (worker == settings.failCreate || worker >= kMaxWorkers) return EAGAIN;
  starts[worker] = Start{routine, arg, worker};
  running.fetch_add(1);
  int result = __real_pthread_create(thread, attr, trampoline, &starts[worker]);
  if (result != 0) running.fetch_sub(1);
  return result;
}

// Under ThreadSanitizer a process whose main thread ends with pthread_exit never
// exits, so there main waits for the workers and ends the process itself, the
// way the last thread's end would.
[[noreturn]] void __wrap_pthread_exit(void* result) {
  if (currentWorker >= 0) {
    workerEnding();
  } else {
#ifdef SEAM_TSAN
    while (running.load() > 0) {
      timespec tick{0, 1000000};
      nanosleep(&tick, nullptr);
    }
    std::exit(0);
#endif
  }
  __real_pthread_exit(result);
}

int __wrap_pthread_mutex_lock(pthread_mutex_t* mutex) {
  if (settings.step && currentWorker >= 0) {
    int result = pthread_mutex_trylock(mutex);
    if (result != EBUSY) return result;
    event('L', currentWorker);
  }
  return __real_pthread_mutex_lock(mutex);
}

int __wrap_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vprintf(format, args);
  va_end(args);
  if (currentWorker >= 0) jitter();
  return n;
}

int __wrap_pthread_cond_wait(pthread_cond_t* cond, pthread_mutex_t* mutex) {
  event('C', currentWorker);
  return __real_pthread_cond_wait(cond, mutex);
}

}  // extern "C"
