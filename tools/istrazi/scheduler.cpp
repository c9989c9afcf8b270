// The controlled scheduler: the program's threads as user-level contexts on
// one OS thread, and link-time replacements (-Wl,--wrap) of every call through
// which the program synchronises, pauses, prints or ends.
//
// Scheduling points. A thread runs alone until it reaches a point; there it
// stops and the chooser picks who runs next among the threads that can. The
// points are every call to pthread_mutex_lock, pthread_cond_wait, pthread_join,
// sleep and printf, the end of a thread, and every load or store the program
// makes outside the running thread's own stack (the program object is compiled
// for ThreadSanitizer, and its hooks stand in for that runtime). A step is the
// call or access a thread stopped at, and the private work after it up to the
// next point. So every access to shared memory is a step of its own: whatever
// order of those accesses some timing produces on a real machine, in the
// sequentially consistent model of memory, is an order of steps the search
// can pick, and a print is followed by a point before any shared access after
// it, so another thread may run between a line and what its worker does next.
// This holds by construction, for any program and any edit of one.
//
// One exception, where the race judge runs (RunOptions::wholeSections): a step
// that began by taking a lock makes its plain (not atomic) accesses at once
// while it holds that lock, so a critical section is one step up to its next
// call, and one that gives its lock back within the step passes through it.
// That loses nothing in a program without data races: another thread's step
// that could fall between the lock and such an access neither takes a lock
// nor, without a race, touches that location (the holder took nothing since
// the lock that could order the two), so it commutes with the access. A race,
// the one thing that could hide there, shows in some schedule all the same,
// as two accesses no chain of synchronisation orders, and the race judge
// reports it. There a pause is no point either: it touches nothing, and what
// follows it up to the next point is the thread's own work or accesses made
// at once within its section, which commute as above. And a waiter that a
// broadcast woke, but whose condition still fails once the lock is free,
// retests and waits again at once, within the step that freed the lock
// (foldFutileWakes). --compare-steps checks these claims scenario by scenario.
//
// Calls that only let others go on (unlock, broadcast, thread creation) take
// effect at once, within the step: another thread that could go first could
// equally go at the next point, since nothing shared happens in between. Draws
// come from each worker's own script, so they touch nothing shared and are no
// point; `mutexRand`, which only orders the draws, is none either.
//
// What a step touched is its footprint: the data address of its access, or the
// lock, condition variable, thread or trace of its call, plus what the calls
// inside it released or woke. Two steps of different threads that touch one
// address, one of them writing, do not commute; that is what the search's
// reduction uses. A step that takes a lock as it begins and gives it back
// before its end only passed through it (passThrough()): two passes commute
// unless what they touch within the section conflicts, a pass and a take of
// the lock do not.
#include <pthread.h>
#include <setjmp.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <new>
#include <span>
#include <vector>

#include "istrazi.hpp"

extern pthread_mutex_t mutexRand;  // orders the program's draws; no scheduling point
int programMain();

extern "C" {
// The program's data sections, renamed so the linker marks where they lie.
extern char __start_istrazi_data[] __attribute__((weak));
extern char __stop_istrazi_data[] __attribute__((weak));
extern char __start_istrazi_bss[] __attribute__((weak));
extern char __stop_istrazi_bss[] __attribute__((weak));
int __real_fflush(FILE*);
void istrazi_switch(void** save, void* to);
}

// Saves the callee-saved registers and the stack pointer of the running context
// in *save and resumes the context whose stack pointer is `to`.
asm(R"(
  .text
  .globl istrazi_switch
  .type istrazi_switch, @function
istrazi_switch:
  pushq %rbp
  pushq %rbx
  pushq %r12
  pushq %r13
  pushq %r14
  pushq %r15
  movq %rsp, (%rdi)
  movq %rsi, %rsp
  popq %r15
  popq %r14
  popq %r13
  popq %r12
  popq %rbx
  popq %rbp
  ret
  .size istrazi_switch, .-istrazi_switch
)");

namespace istrazi {

std::string threadName(int thread) {
  return thread == kMain ? "main" : "worker " + std::to_string(workerOf(thread));
}

bool Scenario::takesPart(int worker) const { return participant(worker) != nullptr; }

const Participant* Scenario::participant(int worker) const {
  for (const Participant& p : participants)
    if (p.worker == worker) return &p;
  return nullptr;
}

bool dependent(const Footprint& a, const Footprint& b) {
  for (const Touch& x : a)
    for (const Touch& y : b)
      if (conflicts(x, y)) return true;
  return false;
}

namespace {

constexpr std::size_t kStackSize = 256 * 1024;
constexpr int kMaxSteps = 20000;
// A spurious wake-up: a waiting thread may take its lock back without a
// broadcast, once a run, before any other thread has taken that lock since it
// began to wait, and only where it shows something (settleWait). That is
// enough to show a wait that does not loop (its condition still holds when it
// wakes), and it keeps the space small: the wake-up commutes with everything
// but the lock and the condition variable.
constexpr int kSpuriousPerThread = 1;
// A critical section that runs this long without a point is cut there.
constexpr int kMadeAtOnce = 10000;

struct Thread {
  bool exists = false;
  Pending pending = Pending::Ended;
  const void* object = nullptr;     // the lock (Lock) or condition (Reacquire)
  const void* waitMutex = nullptr;  // Reacquire: the lock the wait gave up
  bool woken = false;               // Reacquire: a broadcast has come
  bool mayWakeAlone = false;        // Reacquire: a spurious wake-up would show something (settleWait)
  bool wokenLately = false;         // Reacquire: woken since the lock was last free (foldFutileWakes)
  int waitedSince = 0;              // Reacquire: when it began waiting, for a signal's choice
  int spurious = 0;                 // spurious wake-ups taken this run
  unsigned takesAtWait = 0;         // Reacquire: takes of the lock when the wait began
  int joinTarget = -1;              // Join: the thread waited for
  unsigned pauseSeconds = 0;        // Pause: the length asked for
  std::string line;                 // Print: the line it will print
  int drawBound = 0;                // Draw: the values the search may choose from
  int drawValue = 0;                // Draw: the value chosen
  int32_t drawnAgainst = 0;         // what its last read of model.drawnAgainst found
  uintptr_t address = 0;            // Access: the location
  Access access = Access::Read;     // Access: load or store
  bool atomic = false;              // Access: an atomic operation
  uint8_t size = 0;                 // Access: bytes
  uintptr_t pc = 0;                 // the program's code that stopped here
  std::size_t drawn = 0;            // draws taken from its script
  void* (*routine)(void*) = nullptr;
  void* arg = nullptr;
  void* sp = nullptr;  // saved stack pointer while not running
  // The hash of its live stack, kept while it does not run (see stateHash).
  uint64_t stackHash = 0;
  bool stackHashed = false;
};

alignas(64) char stacks[kMaxThreads][kStackSize];

// All of this belongs to the one run in progress.
struct Run {
  const Scenario* scenario = nullptr;
  const RunOptions* options = nullptr;
  Thread threads[kMaxThreads];
  int created = 0;  // workers the program has created so far
  int threadsUpTo = 1;  // every thread that exists lies below this
  struct Owner {
    const void* mutex;
    int thread;
  };
  struct Takes {
    const void* mutex;
    unsigned count;
  };
  std::vector<Takes> takes;  // how often each lock has been taken
  std::vector<Owner> owners;  // locks currently held
  std::vector<void (*)()> exitHandlers;
  int current = -1;  // the running thread; -1 while the scheduler runs
  void* schedulerSp = nullptr;
  Footprint footprint;  // of the step in progress
  // The lock the step in progress took as it began, while it still holds it;
  // given back within the step, the step only passed through it.
  const void* takenAtStart = nullptr;
  bool passedThrough = false;
  int madeAtOnce = 0;  // accesses the step made at once, without a point (wholeSections)
  std::string* trace = nullptr;
  std::string* errors = nullptr;
  std::size_t printedFrom = 0;  // where the step's print starts in the trace
  bool exited = false;          // the process ended (exit or a return from main)
  int exitStatus = 0;
  jmp_buf* exitJump = nullptr;  // where _exit in an exit handler lands
  std::vector<int>* stepOfLine = nullptr;
  std::vector<int>* schedule = nullptr;
  int depth = 0;
  int waits = 0;  // waits begun so far
};
Run now;

std::vector<char> dataSnapshot;

void layOutGlobals() {
  std::size_t dataSize = static_cast<std::size_t>(__stop_istrazi_data - __start_istrazi_data);
  if (dataSnapshot.size() != dataSize) dataSnapshot.assign(__start_istrazi_data, __stop_istrazi_data);
  if (dataSize) std::memcpy(__start_istrazi_data, dataSnapshot.data(), dataSize);
  if (__start_istrazi_bss)
    std::memset(__start_istrazi_bss, 0, static_cast<std::size_t>(__stop_istrazi_bss - __start_istrazi_bss));
}

void touch(uintptr_t key, Access access) {
  if (!now.footprint.empty()) {
    const Touch& last = now.footprint.back();
    if (last.key == key && last.access == access) return;
  }
  now.footprint.push_back({key, access});
}

void touchObject(const void* object) { touch(reinterpret_cast<uintptr_t>(object), Access::Write); }

// A trial run in a copy of the state (wouldPassWait) is heard by no judge
// and no model.
bool trial = false;

void notify(const Event& event) {
  if (now.options->observer && !trial) now.options->observer->observe(event);
}

void stopAt(Pending pending);

// Makes `thread`'s access part of the step in progress and tells the judges.
void makeAccess(int thread, uintptr_t address, Access access, bool atomic, uint8_t size, uintptr_t pc) {
  // A store into another thread's stack changes that stack too.
  if (access == Access::Write && address - reinterpret_cast<uintptr_t>(stacks) < sizeof stacks)
    now.threads[(address - reinterpret_cast<uintptr_t>(stacks)) / kStackSize].stackHashed = false;
  touch(address, access);
  notify({.thread = thread,
          .call = access == Access::Write ? Call::Write : Call::Read,
          .object = reinterpret_cast<const void*>(address),
          .atomic = atomic,
          .size = size,
          .pc = pc});
}

// The program's instrumented accesses. Accesses to the running thread's own
// stack are private; every other one may be shared, and is a point: the access
// is made when the thread is next chosen.
inline void noteAccess(const volatile void* address, Access access, bool atomic, void* pc, uint8_t size) {
  if (now.current < 0) return;
  auto at = reinterpret_cast<uintptr_t>(address);
  auto own = reinterpret_cast<uintptr_t>(stacks[now.current]);
  if (at - own < kStackSize) return;
  if (!atomic && now.takenAtStart && now.options->wholeSections && now.madeAtOnce < kMadeAtOnce) {
    // Inside the critical section its step began: the access is made at once.
    ++now.madeAtOnce;
    makeAccess(now.current, at, access, false, size, reinterpret_cast<uintptr_t>(pc));
    return;
  }
  Thread& t = now.threads[now.current];
  t.address = at;
  t.access = access;
  t.atomic = atomic;
  t.size = size;
  t.pc = reinterpret_cast<uintptr_t>(pc);
  stopAt(Pending::Access);
}

int ownerOf(const void* mutex) {
  for (const Run::Owner& o : now.owners)
    if (o.mutex == mutex) return o.thread;
  return -1;
}

unsigned& takesOf(const void* mutex) {
  for (Run::Takes& t : now.takes)
    if (t.mutex == mutex) return t.count;
  now.takes.push_back({mutex, 0});
  return now.takes.back().count;
}

// Caller is the thread taking `mutex`, which is free.
void take(int thread, const void* mutex) {
  now.owners.push_back({mutex, thread});
  ++takesOf(mutex);
  touchObject(mutex);
  touch(edgeKey(mutex), Access::HbSink);
  if (!trial) model.acquired(thread, mutex);
  notify({.thread = thread, .call = Call::Lock, .object = mutex, .pc = now.threads[thread].pc});
}

// `edge`: the release orders the lock's next taker after it (all but the
// end of a pass, see passThrough()).
void give(int thread, const void* mutex, void* pc, bool edge = true) {
  for (std::size_t i = 0; i < now.owners.size(); ++i)
    if (now.owners[i].mutex == mutex) {
      now.owners[i] = now.owners.back();
      now.owners.pop_back();
      break;
    }
  if (edge) touch(edgeKey(mutex), Access::HbSource);
  if (!trial) model.released(thread, mutex);
  notify({.thread = thread, .call = Call::Unlock, .object = mutex, .pc = reinterpret_cast<uintptr_t>(pc)});
}

bool spuriousLeft(const Thread& t) { return now.options->spurious && t.spurious < kSpuriousPerThread; }

bool canRun(int thread) {
  const Thread& t = now.threads[thread];
  switch (t.pending) {
    case Pending::Start:
    case Pending::Print:
    case Pending::Pause:
    case Pending::Draw:
    case Pending::Access: return true;
    case Pending::Lock: return ownerOf(t.object) < 0;
    case Pending::Reacquire:
      return (t.woken || (t.mayWakeAlone && spuriousLeft(t) && takesOf(t.waitMutex) == t.takesAtWait)) &&
             ownerOf(t.waitMutex) < 0;
    case Pending::Join: return now.threads[t.joinTarget].pending == Pending::Ended;
    case Pending::Ended: return false;
  }
  return false;
}

// The running thread stops at a scheduling point; returns when it is chosen
// again, with the point's effect (the lock taken, ...) already applied.
void stopAt(Pending pending) {
  Thread& t = now.threads[now.current];
  t.pending = pending;
  istrazi_switch(&t.sp, now.schedulerSp);
}

// The running thread ends; it is never resumed.
[[noreturn]] void endThread() {
  touch(endKey(now.current), Access::HbSource);
  notify({.thread = now.current, .call = Call::End});
  stopAt(Pending::Ended);
  __builtin_unreachable();
}

void entry() {
  int self = now.current;
  if (self == kMain) {
    int status = programMain();
    // Returning from main ends the process with its value, as exit would.
    now.exited = true;
    now.exitStatus = status;
    stopAt(Pending::Ended);
  }
  now.threads[self].routine(now.threads[self].arg);
  endThread();
}

// A fresh stack whose first switch lands in entry().
void prepareStack(int thread) {
  auto top = reinterpret_cast<uintptr_t>(stacks[thread] + kStackSize) & ~uintptr_t{15};
  auto* frame = reinterpret_cast<void**>(top);
  frame[-1] = nullptr;                               // entry's return address: never used
  frame[-2] = reinterpret_cast<void*>(&entry);       // popped by istrazi_switch's ret
  for (int r = 3; r <= 8; ++r) frame[-r] = nullptr;  // callee-saved registers
  now.threads[thread].sp = frame - 8;
  now.threads[thread].stackHashed = false;
}

void print(int thread);

// A step that took a lock as it began and gave it back before its end only
// passed through it: the lock is free before and after, as if the step had
// read it. As far as the lock goes, two such passes commute (either order
// leaves it free and both threads past it), so it counts as read, not
// written, and the release makes no edge: a later pass or take is not
// ordered after this one, and races with it instead (a take writes the
// lock). The pass still sinks the edge of the release it may have waited
// for, which the scheduler touched as the step began.
void passThrough() {
  // The step's first touch is its take of the lock (take()).
  now.footprint.front().access = Access::Read;
}

// Applies the effect of the call `thread` stopped at, as its step begins.
void beginStep(int thread) {
  Thread& t = now.threads[thread];
  switch (t.pending) {
    case Pending::Start:
      touch(startKey(thread), Access::HbSink);
      notify({.thread = thread, .call = Call::Start});
      break;
    case Pending::Lock:
      take(thread, t.object);
      now.takenAtStart = t.object;
      break;
    case Pending::Reacquire:
      notify({.thread = thread, .call = Call::Wake, .object = t.object, .spurious = !t.woken, .pc = t.pc});
      if (t.woken) {
        touch(wakeKey(thread), Access::HbSink);  // after the broadcast that woke it
        // A waiter that could also have woken by itself reads whether the
        // broadcast came: the search may then reorder the two.
        if (t.mayWakeAlone && spuriousLeft(t)) touch(reinterpret_cast<uintptr_t>(t.object), Access::Read);
      } else {
        ++t.spurious;
        touchObject(t.object);  // a spurious wake-up races with the broadcast
      }
      take(thread, t.waitMutex);
      break;
    case Pending::Join:
      touch(endKey(t.joinTarget), Access::HbSink);
      notify({.thread = thread, .call = Call::Join, .other = t.joinTarget, .pc = t.pc});
      break;
    case Pending::Access:
      if (t.access == Access::Read && model.drawnAgainst &&
          t.address == reinterpret_cast<uintptr_t>(model.drawnAgainst))
        t.drawnAgainst = model.drawnAgainst->load(std::memory_order_relaxed);  // the load is made in this step
      makeAccess(thread, t.address, t.access, t.atomic, t.size, t.pc);
      break;
    case Pending::Print:
      print(thread);
      notify({.thread = thread, .call = Call::Print, .pc = t.pc});
      break;
    case Pending::Pause: notify({.thread = thread, .call = Call::Pause, .pc = t.pc}); break;
    case Pending::Draw:
    case Pending::Ended: break;
  }
}

std::string describeWait(int thread) {
  const Thread& t = now.threads[thread];
  std::string who = threadName(thread);
  char object[64];
  switch (t.pending) {
    case Pending::Lock:
      std::snprintf(object, sizeof object, "%p", t.object);
      return who + " waits for lock " + object + ", held by " + threadName(ownerOf(t.object));
    case Pending::Reacquire:
      std::snprintf(object, sizeof object, "%p", t.object);
      return who + " waits on condition " + object + (t.woken ? " (woken, lock held by " + threadName(ownerOf(t.waitMutex)) + ")" : "");
    case Pending::Join: return who + " waits to join " + threadName(t.joinTarget);
    default: return who + " is stuck";
  }
}

}  // namespace

std::string deadlockReport() {
  std::string report = "deadlock:";
  for (int i = 0; i < kMaxThreads; ++i)
    if (now.threads[i].exists && now.threads[i].pending != Pending::Ended)
      report += " " + describeWait(i) + ";";
  report.pop_back();
  return report;
}

namespace {

void markSwitch(int thread, int previous) {
  if (!now.options->markSwitches || thread == previous) return;
  __real_fflush(stdout);
  const Thread& t = now.threads[thread];
  std::string mark = "~~ step " + std::to_string(now.depth) + ": " + threadName(thread);
  if (t.pending == Pending::Reacquire && !t.woken) mark += " (spurious wake-up)";
  if (t.pending == Pending::Pause) mark += " (after its pause of " + std::to_string(t.pauseSeconds) + " s)";
  if (t.pc) mark += " at " + sourceLine(t.pc);
  mark += "\n";
  std::fputs(mark.c_str(), stderr);
}

// Formats with only plain %d, %i, %u, %s, %c and %% (%l before an integer
// one) onto `out`, as printf would; false, at the first conversion of any
// other kind, for vsnprintf to do it. The programs' trace lines are all plain,
// and vsnprintf cost the search a fifth of its time.
bool appendPlain(std::string& out, const char* format, va_list args) {
  for (const char* p = format;;) {
    const char* percent = std::strchr(p, '%');
    out.append(p, percent ? static_cast<std::size_t>(percent - p) : std::strlen(p));
    if (!percent) return true;
    p = percent + 1;
    bool wide = *p == 'l';
    if (wide) ++p;
    char digits[24];
    char* end = digits;
    switch (*p) {
      case 'd':
      case 'i': end = std::to_chars(digits, digits + sizeof digits, wide ? va_arg(args, long) : va_arg(args, int)).ptr; break;
      case 'u':
        end = std::to_chars(digits, digits + sizeof digits, wide ? va_arg(args, unsigned long) : va_arg(args, unsigned)).ptr;
        break;
      case 's':
        if (wide) return false;
        if (const char* text = va_arg(args, const char*)) out += text;
        else out += "(null)";
        break;
      case 'c':
        if (wide) return false;
        out += static_cast<char>(va_arg(args, int));
        break;
      case '%':
        if (wide) return false;
        out += '%';
        break;
      default: return false;
    }
    out.append(digits, end);
    ++p;
  }
}

// The line `format` makes, as the thread stops at its print.
std::string formatted(const char* format, va_list args) {
  std::string line;
  va_list plain;
  va_copy(plain, args);
  bool done = appendPlain(line, format, plain);
  va_end(plain);
  if (done) return line;
  char buffer[512];
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<std::size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(n));
  line.assign(static_cast<std::size_t>(n) + 1, '\0');
  std::vsnprintf(line.data(), line.size(), format, args);
  line.resize(static_cast<std::size_t>(n));
  return line;
}

// Appends the line `thread` stopped at to the trace, as its step's print.
void print(int thread) {
  std::string& trace = *now.trace;
  std::size_t at = trace.size();
  trace += now.threads[thread].line;
  for (std::size_t i = at; i < trace.size(); ++i)
    if (trace[i] == '\n') now.stepOfLine->push_back(now.depth);
  if (now.options->markSwitches) {
    std::fwrite(trace.data() + at, 1, trace.size() - at, stdout);
    __real_fflush(stdout);
  }
  touch(kTraceKey, Access::Write);
}

}  // namespace

bool lockHeld(const void* mutex) { return ownerOf(mutex) >= 0; }

namespace {

// The run in progress reads its scenario and options, and writes what it
// prints and does, there.
void attach(const Scenario& scenario, const RunOptions& options, RunResult& into) {
  now.scenario = &scenario;
  now.options = &options;
  now.trace = &into.trace;
  now.errors = &into.errors;
  now.stepOfLine = &into.stepOfLine;
  now.schedule = &into.schedule;
}

}  // namespace

void startRun(const Scenario& scenario, const RunOptions& options, RunResult& into) {
  layOutGlobals();
  now.~Run();
  new (&now) Run();
  attach(scenario, options, into);
  now.threads[kMain].exists = true;
  now.threads[kMain].pending = Pending::Start;
  prepareStack(kMain);
  model.reset(scenario);
  if (options.observer) options.observer->reset();
}

bool allEnded() {
  for (int i = 0; i < now.threadsUpTo; ++i)
    if (now.threads[i].exists && now.threads[i].pending != Pending::Ended) return false;
  return true;
}

bool processExited() { return now.exited; }

Mask runnable() {
  if (now.exited) return 0;
  Mask enabled = 0;
  for (int i = 0; i < now.threadsUpTo; ++i)
    if (now.threads[i].exists && canRun(i)) enabled |= bit(i);
  return enabled;
}

Pending pendingOf(int thread) { return now.threads[thread].pending; }

const std::string* pendingLine(int thread) {
  const Thread& t = now.threads[thread];
  return t.exists && t.pending == Pending::Print ? &t.line : nullptr;
}

int pendingDraw(int thread) {
  const Thread& t = now.threads[thread];
  return t.exists && t.pending == Pending::Draw ? t.drawBound : 0;
}

void settleWait(int thread);
void foldFutileWakes();

void stepThread(int thread, int drawValue) {
  Thread& t = now.threads[thread];
  t.stackHashed = false;  // it runs on its stack
  if (t.pending == Pending::Draw) {
    // The draw ends no step: the thread goes on with the one it was in.
    t.drawValue = drawValue;
    now.current = thread;
    istrazi_switch(&now.schedulerSp, t.sp);
    now.current = -1;
    return;
  }
  now.footprint.clear();
  now.takenAtStart = nullptr;
  now.passedThrough = false;
  now.madeAtOnce = 0;
  beginStep(thread);
  now.current = thread;
  istrazi_switch(&now.schedulerSp, t.sp);
  now.current = -1;
  if (now.passedThrough) passThrough();
  now.schedule->push_back(thread);
  ++now.depth;
  if (t.pending == Pending::Reacquire) settleWait(thread);
  if (now.options->wholeSections && !trial) foldFutileWakes();
}

void finishRun() {
  if (now.exited) return;
  // The last thread has ended: the process runs its exit handlers.
  jmp_buf landing;
  now.exitJump = &landing;
  if (setjmp(landing) == 0)
    for (auto it = now.exitHandlers.rbegin(); it != now.exitHandlers.rend(); ++it) (*it)();
  now.exitJump = nullptr;
}

std::string judgedStep(int thread, RunResult& into) {
  std::size_t printedFrom = into.trace.size();
  uintptr_t stepPc = now.threads[thread].pc;
  into.lastPc[static_cast<std::size_t>(thread)] = stepPc;
  stepThread(thread);
  StepView view{thread, std::string_view(into.trace).substr(printedFrom), stepPc};
  std::string broken = model.check(view);
  if (broken.empty() && now.options->observer) broken = now.options->observer->stepDone(view);
  if (broken.empty()) return broken;
  return "after step " + std::to_string(now.depth - 1) + " (" + threadName(thread) + "): " + broken;
}

void endRun(RunResult& result) {
  result.steps = now.depth;
  for (int i = 0; i < kMaxThreads; ++i)
    if (now.threads[i].exists && now.threads[i].pending == Pending::Ended) result.ended |= bit(i);
  if (result.violation.empty() && !result.abandoned) finishRun();
  result.exitStatus = now.exitStatus;
  if (result.violation.empty() && !result.abandoned && result.exitStatus != 0)
    result.violation = "exit status " + std::to_string(result.exitStatus);
}

RunResult run(const Scenario& scenario, Chooser& chooser, const RunOptions& options, Checkpoints* checkpoints) {
  RunResult result;
  if (!model.save) checkpoints = nullptr;
  if (!checkpoints || !checkpoints->resume(chooser.replayed(), scenario, options, result))
    startRun(scenario, options, result);
  int previous = result.schedule.empty() ? -1 : result.schedule.back();
  for (;;) {
    if (checkpoints) checkpoints->reach(options, result);
    if (allEnded()) break;
    Mask enabled = runnable();
    if (enabled == 0) {
      result.deadlock = true;
      result.violation = deadlockReport();
      break;
    }
    if (now.depth >= kMaxSteps) {
      result.violation = "no end after " + std::to_string(kMaxSteps) + " steps";
      break;
    }
    int chosen = chooser.choose(now.depth, enabled);
    if (chosen < 0) {
      result.abandoned = true;
      break;
    }
    markSwitch(chosen, previous);
    std::string broken = judgedStep(chosen, result);
    previous = chosen;
    chooser.taken(now.depth - 1, chosen, now.footprint);
    if (!broken.empty()) {
      result.violation = broken;
      break;
    }
    if (now.exited) break;
  }
  endRun(result);
  if (checkpoints) checkpoints->last_ = result;
  return result;
}

ThreadView viewOf(int thread) {
  const Thread& t = now.threads[thread];
  ThreadView v;
  v.exists = t.exists;
  v.pending = t.pending;
  v.pc = t.pc;
  v.object = t.object;
  v.waitMutex = t.waitMutex;
  v.woken = t.woken;
  v.joinTarget = t.joinTarget;
  v.address = t.address;
  v.access = t.access;
  v.size = t.size;
  v.line = pendingLine(thread);
  v.canRun = t.exists && !now.exited && canRun(thread);
  for (const Run::Owner& o : now.owners)
    if (o.thread == thread) v.held.push_back(o.mutex);
  return v;
}

int holderOf(const void* mutex) { return ownerOf(mutex); }

// ---- Snapshots ----------------------------------------------------------------------

struct Snapshot {
  Run run;
  std::vector<char> data, bss;
  std::vector<std::vector<char>> stacks;  // each thread's live stack, from its saved pointer up
  std::size_t traceSize = 0, linesSize = 0, scheduleSize = 0;
};

namespace {

std::span<char> liveStack(int thread) {
  const Thread& t = now.threads[thread];
  if (!t.exists || t.pending == Pending::Ended) return {};
  char* sp = static_cast<char*>(t.sp);
  return {sp, static_cast<std::size_t>(stacks[thread] + kStackSize - sp)};
}

std::span<char> section(char* from, char* to) {
  return from ? std::span<char>(from, static_cast<std::size_t>(to - from)) : std::span<char>();
}

// Copies the scheduler's state, the program's globals and each thread's live
// stack into `s`, reusing its buffers.
void saveState(Snapshot& s) {
  s.run = now;
  auto data = section(__start_istrazi_data, __stop_istrazi_data);
  auto bss = section(__start_istrazi_bss, __stop_istrazi_bss);
  s.data.assign(data.begin(), data.end());
  s.bss.assign(bss.begin(), bss.end());
  s.stacks.resize(kMaxThreads);
  for (int i = 0; i < kMaxThreads; ++i) {
    auto live = liveStack(i);
    s.stacks[static_cast<std::size_t>(i)].assign(live.begin(), live.end());
  }
  s.traceSize = now.trace->size();
  s.linesSize = now.stepOfLine->size();
  s.scheduleSize = now.schedule->size();
}

// Puts back what saveState copied.
void restoreState(const Snapshot& s) {
  now = s.run;
  std::copy(s.data.begin(), s.data.end(), __start_istrazi_data);
  std::copy(s.bss.begin(), s.bss.end(), __start_istrazi_bss);
  for (int i = 0; i < kMaxThreads; ++i)
    if (auto live = liveStack(i); !live.empty())
      std::copy(s.stacks[static_cast<std::size_t>(i)].begin(), s.stacks[static_cast<std::size_t>(i)].end(), live.data());
}

}  // namespace

std::shared_ptr<const Snapshot> snapshot() {
  auto s = std::make_shared<Snapshot>();
  saveState(*s);
  return s;
}

void restore(const Snapshot& s) {
  std::string* trace = now.trace;
  std::vector<int>* lines = now.stepOfLine;
  std::vector<int>* schedule = now.schedule;
  restoreState(s);
  now.trace = trace;
  now.stepOfLine = lines;
  now.schedule = schedule;
  trace->resize(s.traceSize);
  lines->resize(s.linesSize);
  schedule->resize(s.scheduleSize);
}

// ---- Checkpoints ----------------------------------------------------------------------

struct Checkpoints::Point {
  Snapshot state;
  std::array<uintptr_t, kMaxThreads> lastPc{};
  std::size_t errorsSize = 0;
};

Checkpoints::Checkpoints() = default;
Checkpoints::~Checkpoints() = default;

// Starts the run from the deepest point the chooser replays past, with the
// run before's trace and schedule up to it; false when there is none.
bool Checkpoints::resume(int replayed, const Scenario& scenario, const RunOptions& options, RunResult& into) {
  std::size_t usable = std::min(valid_, static_cast<std::size_t>(replayed / kEvery) + 1);
  valid_ = usable;
  if (usable == 0) return false;
  std::size_t k = usable - 1;
  const Point& p = *points_[k];
  into.trace.assign(last_.trace, 0, p.state.traceSize);
  into.errors.assign(last_.errors, 0, p.errorsSize);
  into.schedule.assign(last_.schedule.begin(), last_.schedule.begin() + static_cast<std::ptrdiff_t>(p.state.scheduleSize));
  into.stepOfLine.assign(last_.stepOfLine.begin(), last_.stepOfLine.begin() + static_cast<std::ptrdiff_t>(p.state.linesSize));
  into.lastPc = p.lastPc;
  restoreState(p.state);
  attach(scenario, options, into);
  model.restore(k);
  if (options.observer) options.observer->restore(k);
  return true;
}

// Before each step: saves the state when the run has come to the next point.
void Checkpoints::reach(const RunOptions& options, const RunResult& run) {
  if (now.depth % kEvery != 0 || static_cast<std::size_t>(now.depth / kEvery) != valid_) return;
  if (points_.size() <= valid_) points_.push_back(std::make_unique<Point>());
  Point& p = *points_[valid_];
  saveState(p.state);
  p.lastPc = run.lastPc;
  p.errorsSize = run.errors.size();
  model.save(valid_);
  if (options.observer) options.observer->save(valid_);
  ++valid_;
}

namespace {
// The threads that began to wait on `thread`'s condition before it and still
// sleep there. Caller: `thread` sleeps in a wait.
int waitersBefore(int thread) {
  const Thread& t = now.threads[thread];
  int before = 0;
  for (int i = 0; i < now.threadsUpTo; ++i) {
    const Thread& o = now.threads[i];
    before += o.exists && o.pending == Pending::Reacquire && !o.woken && o.object == t.object && o.waitedSince < t.waitedSince;
  }
  return before;
}
}  // namespace

uint64_t stateHash() {
  // Eight bytes a round, each round mixing the word in fully: states are
  // hashed at every step of --explain, so this is its hot loop.
  static uint64_t hashes = 0;  // states hashed so far
  ++hashes;
  uint64_t h = 0x9E3779B97F4A7C15ull;
  auto round = [&](uint64_t word) {
    h ^= word * 0x9E3779B97F4A7C15ull;
    h = ((h << 27) | (h >> 37)) * 0xC2B2AE3D27D4EB4Full + 0x165667B19E3779F9ull;
  };
  auto mix = [&](std::span<const char> bytes) {
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    for (; n >= 8; p += 8, n -= 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      round(word);
    }
    uint64_t tail = 0;
    if (n > 0) std::memcpy(&tail, p, n);
    round(tail ^ (static_cast<uint64_t>(bytes.size()) << 40));
  };
  auto mixValue = [&](auto value) { mix({reinterpret_cast<const char*>(&value), sizeof value}); };
  mix(section(__start_istrazi_data, __stop_istrazi_data));
  mix(section(__start_istrazi_bss, __stop_istrazi_bss));
  for (int i = 0; i < kMaxThreads; ++i) {
    Thread& t = now.threads[i];
    mixValue(static_cast<int>(t.exists) << 8 | static_cast<int>(t.pending));
    if (!t.exists || t.pending == Pending::Ended) continue;
    mixValue(t.object);
    mixValue(t.woken);
    mixValue(t.drawn);
    // What the call it stopped in was given, which its stack need not keep.
    if (t.pending == Pending::Print) mix(t.line);
    if (t.pending == Pending::Access) mixValue(t.address << 8 | static_cast<uintptr_t>(t.access) << 1 | t.atomic);
    if (t.pending == Pending::Draw) mixValue(t.drawBound);
    if (t.pending == Pending::Join) mixValue(t.joinTarget);
    if (t.pending == Pending::Reacquire && !t.woken) mixValue(waitersBefore(i));  // whom a signal wakes
    // Only a thread that has run (or whose stack another wrote) since its
    // stack was last hashed is hashed again; restoring a state restores its
    // threads' hashes with their stacks. Every 64th state checks that the
    // kept hashes are still those of the stacks: a stale one could make two
    // different states one.
    bool check = t.stackHashed && (hashes % 64) == 0;
    if (!t.stackHashed || check) {
      uint64_t outer = h;
      h = 0x9E3779B97F4A7C15ull;
      mix(liveStack(i));
      if (check && h != t.stackHash) {
        std::cerr << "istrazi: internal error: the kept hash of " << threadName(i) << "'s stack is stale\n";
        std::abort();
      }
      t.stackHash = h;
      t.stackHashed = true;
      h = outer;
    }
    mixValue(t.stackHash);
  }
  uint64_t held = 0;  // in any order
  for (const Run::Owner& o : now.owners)
    held += (reinterpret_cast<uintptr_t>(o.mutex) * 0x9E3779B97F4A7C15ull) ^ static_cast<uint64_t>(o.thread);
  mixValue(held);
  mixValue(now.trace->size());
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  return h;
}

namespace {

enum class TrialEnd { WaitsAgain, GoesOn, Stuck };

// Wakes the waiting `thread` in a copy of the state and runs it alone until
// it waits again or goes on. Retaking the lock, loads and further locks are
// how a wait loop tests its condition; waiting again means it holds, anything
// else that it does not. Stuck: a lock it needs is held, or it tests too long.
// `touched`, if given, gets what the trial's steps touched.
// Caller: `thread` waits and its lock is free.
TrialEnd trialWake(int thread, Footprint* touched = nullptr) {
  // Trials come at every wait's start and after every broadcast, and never
  // nest, so one copy serves them all and keeps its buffers from trial to trial.
  static Snapshot before;
  saveState(before);
  trial = true;
  now.threads[thread].woken = true;
  TrialEnd end = TrialEnd::Stuck;
  if (touched) touched->clear();
  for (int steps = 0; steps < 1000 && canRun(thread); ++steps) {
    stepThread(thread);
    if (touched) touched->insert(touched->end(), now.footprint.begin(), now.footprint.end());
    const Thread& after = now.threads[thread];
    if (after.pending == Pending::Reacquire) {
      end = TrialEnd::WaitsAgain;
      break;
    }
    bool testing = after.pending == Pending::Lock || (after.pending == Pending::Access && after.access == Access::Read);
    if (!testing) {
      end = TrialEnd::GoesOn;
      break;
    }
  }
  restore(before);
  trial = false;
  return end;
}

}  // namespace

// A thread has just begun to wait. Until someone else takes its lock, what the
// lock guards stays as the wait found it; so a spurious wake-up in that time
// does what one now would. A wait that would loop back at once is not woken
// for nothing: that only retakes locks and shows nothing. (A trial that gets
// stuck on another lock is no proof, so that wait may wake.)
void settleWait(int thread) {
  Thread& t = now.threads[thread];
  t.mayWakeAlone = false;
  if (trial || !spuriousLeft(t)) return;
  t.mayWakeAlone = trialWake(thread) != TrialEnd::WaitsAgain;
}

// A broadcast wakes every waiter, but one whose condition still fails when
// the lock is next free would only retake the lock, test and wait again: it
// does that at once, within the step that freed the lock. Waiting for longer
// shows nothing more: before its condition could hold, someone must change
// what it tests under the lock, and the broadcast after that change wakes it
// again (without one, it sleeps on, and the judges name the lost wake-up or
// the deadlock).
void foldFutileWakes() {
  for (int i = 0; i < now.threadsUpTo; ++i) {
    Thread& t = now.threads[i];
    if (!t.exists || t.pending != Pending::Reacquire || !t.woken || !t.wokenLately || ownerOf(t.waitMutex) >= 0)
      continue;
    t.wokenLately = false;
    Footprint tested;
    TrialEnd end = trialWake(i, &tested);
    // Whatever the trial found, the step read what the retest read: the
    // waiter's fate depends on it. Its own lock is free and left so, which
    // the step's own touches of it already show. A retest that takes another
    // lock is never folded: whether that lock is free could change without a
    // touch of anything read here.
    auto mutexKey = reinterpret_cast<uintptr_t>(t.waitMutex);
    bool otherLock = false;
    for (std::size_t k = 0; k < tested.size(); ++k) {
      const Touch& touched = tested[k];
      if (touched.key == mutexKey || (touched.access != Access::Read && touched.access != Access::Write)) continue;
      // A lock's take is followed at once by the sink of its edge.
      otherLock = otherLock || (k + 1 < tested.size() && tested[k + 1].access == Access::HbSink &&
                                tested[k + 1].key == edgeKey(reinterpret_cast<const void*>(touched.key)));
      touch(touched.key, Access::Read);
    }
    if (end != TrialEnd::WaitsAgain || otherLock) continue;
    touchObject(t.object);  // what a broadcast or a wait on the condition sees
    // The judges and the model hear the retest as it would happen, its loads aside.
    notify({.thread = i, .call = Call::Wake, .object = t.object, .pc = t.pc});
    ++takesOf(t.waitMutex);
    model.acquired(i, t.waitMutex);
    notify({.thread = i, .call = Call::Lock, .object = t.waitMutex, .pc = t.pc});
    model.waits(i, t.object);
    notify({.thread = i, .call = Call::Wait, .object = t.object, .mutex = t.waitMutex, .pc = t.pc});
    model.released(i, t.waitMutex);
    notify({.thread = i, .call = Call::Unlock, .object = t.waitMutex, .pc = t.pc});
    t.woken = false;
    t.mayWakeAlone = false;
    t.takesAtWait = takesOf(t.waitMutex);
    t.waitedSince = ++now.waits;
  }
}

bool wouldPassWait(int thread) {
  const Thread& t = now.threads[thread];
  if (t.pending != Pending::Reacquire || t.woken || ownerOf(t.waitMutex) >= 0) return false;
  return trialWake(thread) == TrialEnd::GoesOn;
}

}  // namespace istrazi

using namespace istrazi;

// ---- Replacements for the program's calls ---------------------------------

extern "C" {

int __wrap_pthread_mutex_init(pthread_mutex_t*, const pthread_mutexattr_t*) { return 0; }
int __wrap_pthread_cond_init(pthread_cond_t*, const pthread_condattr_t*) { return 0; }

int __wrap_pthread_mutex_lock(pthread_mutex_t* mutex) {
  if (mutex == &mutexRand || now.current < 0) return 0;
  now.threads[now.current].object = mutex;
  now.threads[now.current].pc = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  stopAt(Pending::Lock);
  return 0;
}

int __wrap_pthread_mutex_unlock(pthread_mutex_t* mutex) {
  if (mutex == &mutexRand || now.current < 0) return 0;
  bool pass = mutex == now.takenAtStart;
  if (pass) {
    now.takenAtStart = nullptr;
    now.passedThrough = true;
  }
  give(now.current, mutex, __builtin_return_address(0), !pass);
  return 0;
}

// Gives the lock up and waits in one step, as pthread_cond_wait does; the
// thread can run again once a broadcast has come (or, with spurious wake-ups
// on, at any time) and the lock is free, and its next step retakes the lock.
int __wrap_pthread_cond_wait(pthread_cond_t* cond, pthread_mutex_t* mutex) {
  Thread& t = now.threads[now.current];
  void* pc = __builtin_return_address(0);
  touchObject(cond);
  if (!trial) model.waits(now.current, cond);
  notify({.thread = now.current, .call = Call::Wait, .object = cond, .mutex = mutex, .pc = reinterpret_cast<uintptr_t>(pc)});
  give(now.current, mutex, pc);
  t.pc = reinterpret_cast<uintptr_t>(pc);
  t.object = cond;
  t.waitMutex = mutex;
  t.woken = false;
  t.wokenLately = false;
  t.takesAtWait = takesOf(mutex);
  t.waitedSince = ++now.waits;
  stopAt(Pending::Reacquire);
  return 0;
}

namespace {
// Wakes every thread waiting on `cond`, or with `one` only the one that has
// waited longest: POSIX lets a signal wake any one, and that one is a choice
// no search need vary to show that the others stay asleep.
void wake(pthread_cond_t* cond, bool one, void* pc) {
  touchObject(cond);
  Mask woke = 0;
  for (int i = 0; i < now.threadsUpTo; ++i) {
    Thread& t = now.threads[i];
    if (t.exists && t.pending == Pending::Reacquire && t.object == cond && !t.woken) {
      if (one && woke && t.waitedSince > now.threads[__builtin_ctz(woke)].waitedSince) continue;
      woke = one ? bit(i) : woke | bit(i);
    }
  }
  for (int i = 0; i < kMaxThreads; ++i)
    if (woke & bit(i)) {
      now.threads[i].woken = true;
      now.threads[i].wokenLately = true;
      touch(wakeKey(i), Access::HbSource);
    }
  notify({.thread = now.current, .call = Call::Broadcast, .object = cond, .woke = woke, .pc = reinterpret_cast<uintptr_t>(pc)});
}
}  // namespace

int __wrap_pthread_cond_broadcast(pthread_cond_t* cond) {
  wake(cond, false, __builtin_return_address(0));
  return 0;
}

int __wrap_pthread_cond_signal(pthread_cond_t* cond) {
  wake(cond, true, __builtin_return_address(0));
  return 0;
}

// Worker k is the k-th thread created. A worker that takes no part in the
// scenario gets no context: it ends at once, having printed nothing.
int __wrap_pthread_create(pthread_t* handle, const pthread_attr_t*, void* (*routine)(void*), void* arg) {
  int worker = now.created++;
  *handle = static_cast<pthread_t>(worker);
  if (!now.scenario->takesPart(worker) || threadOf(worker) >= kMaxThreads) return 0;
  int thread = threadOf(worker);
  Thread& t = now.threads[thread];
  t.exists = true;
  now.threadsUpTo = std::max(now.threadsUpTo, thread + 1);
  t.pending = Pending::Start;
  t.routine = routine;
  t.arg = arg;
  prepareStack(thread);
  touch(startKey(thread), Access::HbSource);
  notify({.thread = now.current, .call = Call::Create, .other = thread, .pc = reinterpret_cast<uintptr_t>(__builtin_return_address(0))});
  return 0;
}

int __wrap_pthread_join(pthread_t handle, void** result) {
  if (result) *result = nullptr;
  int thread = threadOf(static_cast<int>(handle));
  if (thread >= kMaxThreads || !now.threads[thread].exists) return 0;
  now.threads[now.current].joinTarget = thread;
  now.threads[now.current].pc = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  stopAt(Pending::Join);
  return 0;
}

[[noreturn]] void __wrap_pthread_exit(void*) { endThread(); }

unsigned __wrap_sleep(unsigned seconds) {
  auto pc = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  if (now.options->wholeSections) {
    // No point: the pause goes with the step it falls in (see the top).
    notify({.thread = now.current, .call = Call::Pause, .pc = pc});
    return 0;
  }
  now.threads[now.current].pauseSeconds = seconds;
  now.threads[now.current].pc = pc;
  stopAt(Pending::Pause);
  return 0;
}

// Each thread draws from its own script; past its end every draw is 0.
int __wrap_rand() {
  const std::vector<int>* script = &now.scenario->mainDraws;
  if (now.current != kMain) {
    const Participant* p = now.scenario->participant(workerOf(now.current));
    script = p ? &p->draws : nullptr;
  }
  std::size_t& next = now.threads[now.current < 0 ? kMain : now.current].drawn;
  if (!script || next >= script->size()) return 0;
  int value = (*script)[next++];
  if (value != kChosenDraw || now.current < 0) return value;
  // A draw the search chooses (--explain): the thread stops until it does.
  Thread& t = now.threads[now.current];
  t.drawBound = model.drawChoices ? model.drawChoices(t.drawnAgainst) : 10;
  stopAt(Pending::Draw);
  return t.drawValue;
}

void __wrap_srand(unsigned) {}
time_t __wrap_time(time_t* at) {
  if (at) *at = 0;
  return 0;
}

int __wrap_printf(const char* format, ...) {
  now.threads[now.current].pc = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  va_list args;
  va_start(args, format);
  now.threads[now.current].line = formatted(format, args);
  va_end(args);
  stopAt(Pending::Print);
  return 0;
}

int __wrap_fprintf(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (stream == stdout) {
    now.threads[now.current].line = formatted(format, args);
    now.threads[now.current].pc = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    stopAt(Pending::Print);
  } else {
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    now.errors->append(buffer);
  }
  va_end(args);
  return 0;
}

int __wrap_fflush(FILE*) { return 0; }

int __wrap_atexit(void (*handler)()) {
  now.exitHandlers.push_back(handler);
  return 0;
}

[[noreturn]] void __wrap__exit(int status) {
  now.exitStatus = status;
  now.exited = true;
  if (now.exitJump) longjmp(*now.exitJump, 1);
  stopAt(Pending::Ended);
  __builtin_unreachable();
}

// ---- ThreadSanitizer's entry points, standing in for its runtime -------------

void __tsan_init() {}
void __tsan_func_entry(void*) {}
void __tsan_func_exit() {}
void __tsan_read1(void* a) { noteAccess(a, Access::Read, false, __builtin_return_address(0), 1); }
void __tsan_read2(void* a) { noteAccess(a, Access::Read, false, __builtin_return_address(0), 2); }
void __tsan_read4(void* a) { noteAccess(a, Access::Read, false, __builtin_return_address(0), 4); }
void __tsan_read8(void* a) { noteAccess(a, Access::Read, false, __builtin_return_address(0), 8); }
void __tsan_read16(void* a) { noteAccess(a, Access::Read, false, __builtin_return_address(0), 16); }
void __tsan_unaligned_read2(void* a) { noteAccess(a, Access::Read, false, __builtin_return_address(0), 2); }
void __tsan_unaligned_read4(void* a) { noteAccess(a, Access::Read, false, __builtin_return_address(0), 4); }
void __tsan_unaligned_read8(void* a) { noteAccess(a, Access::Read, false, __builtin_return_address(0), 8); }
void __tsan_unaligned_read16(void* a) { noteAccess(a, Access::Read, false, __builtin_return_address(0), 16); }
void __tsan_write1(void* a) { noteAccess(a, Access::Write, false, __builtin_return_address(0), 1); }
void __tsan_write2(void* a) { noteAccess(a, Access::Write, false, __builtin_return_address(0), 2); }
void __tsan_write4(void* a) { noteAccess(a, Access::Write, false, __builtin_return_address(0), 4); }
void __tsan_write8(void* a) { noteAccess(a, Access::Write, false, __builtin_return_address(0), 8); }
void __tsan_write16(void* a) { noteAccess(a, Access::Write, false, __builtin_return_address(0), 16); }
void __tsan_unaligned_write2(void* a) { noteAccess(a, Access::Write, false, __builtin_return_address(0), 2); }
void __tsan_unaligned_write4(void* a) { noteAccess(a, Access::Write, false, __builtin_return_address(0), 4); }
void __tsan_unaligned_write8(void* a) { noteAccess(a, Access::Write, false, __builtin_return_address(0), 8); }
void __tsan_unaligned_write16(void* a) { noteAccess(a, Access::Write, false, __builtin_return_address(0), 16); }

// One thread runs at a time, so an atomic operation is the plain operation.
int8_t __tsan_atomic8_load(const volatile int8_t* a, int) {
  noteAccess(a, Access::Read, true, __builtin_return_address(0), 1);
  return *a;
}
void __tsan_atomic8_store(volatile int8_t* a, int8_t v, int) {
  noteAccess(a, Access::Write, true, __builtin_return_address(0), 1);
  *a = v;
}
int32_t __tsan_atomic32_load(const volatile int32_t* a, int) {
  noteAccess(a, Access::Read, true, __builtin_return_address(0), 4);
  return *a;
}
void __tsan_atomic32_store(volatile int32_t* a, int32_t v, int) {
  noteAccess(a, Access::Write, true, __builtin_return_address(0), 4);
  *a = v;
}
int32_t __tsan_atomic32_fetch_add(volatile int32_t* a, int32_t v, int) {
  noteAccess(a, Access::Write, true, __builtin_return_address(0), 4);
  int32_t old = *a;
  *a = old + v;
  return old;
}
int32_t __tsan_atomic32_fetch_sub(volatile int32_t* a, int32_t v, int) {
  noteAccess(a, Access::Write, true, __builtin_return_address(0), 4);
  int32_t old = *a;
  *a = old - v;
  return old;
}

}  // extern "C"
