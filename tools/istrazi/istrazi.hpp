// The schedule explorer: one program's source, unchanged, run under a
// controlled scheduler that lets one worker run at a time and switches only at
// the program's synchronisation calls, and a search over those switches.
//
// Each explorer executable links one program object (its `main` renamed
// `programMain`, its data sections renamed so that they can be laid out afresh
// before every run) with this core and with a model of that program: its
// scenarios, its scripted draws and the invariants over its globals.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "trace.hpp"

namespace istrazi {

// Scheduler thread numbers: 0 is the program's main thread, worker k is k + 1.
constexpr int kMaxThreads = 24;
constexpr int kMain = 0;
inline int threadOf(int worker) { return worker + 1; }
inline int workerOf(int thread) { return thread - 1; }
std::string threadName(int thread);  // "main" or "worker K"

using Mask = uint32_t;
inline Mask bit(int thread) { return Mask{1} << thread; }

// A draw whose value the search chooses (--explain, for indices no line shows).
constexpr int kChosenDraw = -1;

// One worker of a scenario and the values it draws from `rand`, in order
// (once they run out, every later draw is 0; kChosenDraw: chosen by the search).
struct Participant {
  int worker = 0;
  std::vector<int> draws;
  std::string label;  // "read 3", for reports
};

struct Scenario {
  std::string text;
  std::vector<Participant> participants;
  std::vector<int> mainDraws;  // what the program's main thread draws
  bool takesPart(int worker) const;
  const Participant* participant(int worker) const;
};

// What one step did, as far as the model's checks need to know.
struct StepView {
  int thread = 0;
  std::string_view printed;  // the trace line this step printed, if any
  uintptr_t pc = 0;          // where in the program the step began
};

// What the scheduler saw a thread do, in the order it happened: the point a
// step began at (Start, Lock, Wake, Join, Read, Write, Print, Pause) and the
// calls that take effect within a step (Unlock, Wait, Broadcast, Create, End).
// The judges build their picture of a run from these alone.
enum class Call : uint8_t { Start, Lock, Unlock, Wait, Wake, Broadcast, Create, End, Join, Read, Write, Print, Pause };
struct Event {
  int thread = 0;
  Call call = Call::Start;
  const void* object = nullptr;  // the lock, the condition or the location accessed
  const void* mutex = nullptr;   // Wait: the lock the wait gives up
  int other = -1;                // Create: the thread created; Join: the thread joined
  Mask woke = 0;                 // Broadcast: the threads it woke
  bool atomic = false;           // Read, Write: an atomic access
  uint8_t size = 0;              // Read, Write: bytes
  bool spurious = false;         // Wake: no broadcast came
  uintptr_t pc = 0;              // the program's code that made the call or access
};

class Observer {
 public:
  virtual ~Observer() = default;
  // A run begins at the program's start (one that resumes gets restore()).
  virtual void reset() = 0;
  virtual void observe(const Event& event) = 0;
  // After each step; what it broke, or empty.
  virtual std::string stepDone(const StepView& step) = 0;
  // Keeps a copy of what it has seen of the run so far in `slot`, or takes
  // that copy back (see Checkpoints).
  virtual void save(std::size_t slot) = 0;
  virtual void restore(std::size_t slot) = 0;
};

// Copies of some per-run state, one per slot: what a model or a judge keeps
// of a run, saved with each of the run's checkpoints. A slot is reused from
// run to run, so copying into it seldom allocates.
template <class... T>
class SavedCopies {
 public:
  // Slots are filled in order: `slot` is at most the number saved so far.
  void save(std::size_t slot, const T&... values) {
    if (slot == slots_.size()) slots_.emplace_back(values...);
    else slots_[slot] = std::tie(values...);
  }
  void restore(std::size_t slot, T&... values) const { std::tie(values...) = slots_[slot]; }

 private:
  std::vector<std::tuple<T...>> slots_;
};

// A global of the program that the explorer reads, and what for: a learner's
// variant of the program (--source) must keep it, with the same size.
struct Global {
  const char* name;
  std::size_t size;  // in bytes, as the explorer declares it (0: a function)
  const char* purpose;
};

// A participant's command as the judges of the data see it.
enum class Command : uint8_t { Read, Append, Delete, None };

// The part of an explorer that knows its program.
struct Model {
  provera::Program program;
  const char* syntax;                 // the scenario syntax, for --help
  std::vector<std::string> defaults;  // the default scenarios
  // Fills `into` from a scenario text; false with a message when it is not one.
  bool (*parse)(std::string_view text, Scenario& into, std::string& error);
  // Before every run, with the program's globals freshly laid out.
  void (*reset)(const Scenario& scenario);
  // The protocol's invariants over the program's globals and what the model
  // observed; empty when they hold. Called after every step.
  std::string (*check)(const StepView& step);
  // Called as the scheduler hands a lock to a thread or takes it back, and as
  // a thread starts waiting on a condition variable (just before the wait
  // gives its lock back).
  void (*acquired)(int thread, const void* mutex);
  void (*released)(int thread, const void* mutex);
  void (*waits)(int thread, const void* cond);
  // The live elements of the array at the end of a run, for counting outcomes.
  std::string (*finalArray)();
  bool judgedByProvera = true;  // false for test programs with traces of their own

  // For the judges beyond the trace (null: the program has nothing to say).
  // Every event of the run, in order, for the model's picture of its scheme.
  void (*observe)(const Event& event) = nullptr;
  // The scheme's rules on that picture after each step; empty when they hold.
  std::string (*scheme)(const StepView& step) = nullptr;
  // The program's admission state at the end of a run; empty when it is back at its start.
  std::string (*endState)() = nullptr;
  // The command and argument a participant carried out, as it resolved it
  // during the run (niz-locks draws its index modulo the count it saw).
  void (*command)(const Participant& participant, Command& command, int& argument) = nullptr;
  bool appendNeedsValueBelowLength = false;  // niz-mark: an append of a value past the length fails
  // niz-locks: a deletion lowers the count after its success line, so a
  // command's interval ends when its worker ends, not at its outcome line.
  bool effectAfterOutcomeLine = false;
  // --explain: a scenario text whose workers print the lines of `trace`
  // (kChosenDraw, written "?", where the lines do not show an argument).
  bool (*scenarioOf)(const provera::Trace& trace, std::string& text, std::string& error) = nullptr;
  // How many values a chosen draw may take (0 to this less one), given what
  // the drawing thread last read from `drawnAgainst`: the count it draws
  // modulo, which others may have changed between its read and its draw.
  int (*drawChoices)(int32_t drawnAgainst) = nullptr;
  // --play: the program's globals as a person reads them, a line or two
  // ("nCitanje 1  nDodavanje 0 ...", then the array).
  std::string (*describe)() = nullptr;
  // --play: the scenario played when none is given, with room for every kind of mistake.
  const char* playScenario = nullptr;
  // The program's globals the model and its scheme read.
  std::vector<Global> globals = {};
  // niz-locks: a read that fails uses its chosen index in nothing but its
  // test against the count, so --explain tries only the largest one.
  bool failingReadIndexIsDead = false;
  // The model's own picture of the run (the scheme's included): kept in a
  // slot and taken back with the run's checkpoints. Null: no checkpoints.
  void (*save)(std::size_t slot) = nullptr;
  void (*restore)(std::size_t slot) = nullptr;
  // --explain: the global a worker reads just before it draws (see drawChoices).
  const std::atomic<int32_t>* drawnAgainst = nullptr;
};

// Provided by the model file of each explorer.
extern const Model model;

// ---- The scheduler ---------------------------------------------------------

// Why a thread is not running: the call it stopped at.
enum class Pending : uint8_t { Start, Lock, Reacquire, Print, Pause, Access, Draw, Join, Ended };

// What a step touched. Data addresses come from the program's instrumented
// loads and stores; synchronisation objects and the trace are pseudo-addresses.
enum class Access : uint8_t {
  Read,
  Write,
  HbSource,  // orders what follows an HbSink of the same key, but is no race
  HbSink,
};
struct Touch {
  uintptr_t key;
  Access access;
};
using Footprint = std::vector<Touch>;

// Keys for the pseudo-addresses: a sync object's own address for its races,
// the address + 1 for its happens-before edges, and fixed keys for the trace
// and for each thread's start, end and wake-up by a broadcast.
constexpr uintptr_t kTraceKey = 1;
inline uintptr_t edgeKey(const void* object) { return reinterpret_cast<uintptr_t>(object) + 1; }
inline uintptr_t startKey(int thread) { return 16 + 4 * static_cast<uintptr_t>(thread); }
inline uintptr_t endKey(int thread) { return 17 + 4 * static_cast<uintptr_t>(thread); }
inline uintptr_t wakeKey(int thread) { return 18 + 4 * static_cast<uintptr_t>(thread); }
// The edges into a thread's start, out of its end and into its wake-up by a
// broadcast bind: the step after one cannot run without its source. A lock's
// edge binds only while the lock is held.
inline bool bindingEdge(uintptr_t key) { return key >= 16 && key < 16 + 4 * static_cast<uintptr_t>(kMaxThreads); }
inline bool wakeEdge(uintptr_t key) { return bindingEdge(key) && (key - 16) % 4 == 2; }

// Two touches conflict when they are of one key and not both reads: a read
// and a read commute, and so do two sinks of one edge (two steps ordered after
// the same release need no order between them).
inline bool conflicts(const Touch& x, const Touch& y) {
  return x.key == y.key && (x.access != Access::Read || y.access != Access::Read) &&
         (x.access != Access::HbSink || y.access != Access::HbSink);
}
bool dependent(const Footprint& a, const Footprint& b);

// Chooses who runs next; the scheduler calls it at every scheduling point.
class Chooser {
 public:
  virtual ~Chooser() = default;
  // Returns the thread to run among `enabled`, or -1 to abandon the run.
  virtual int choose(int depth, Mask enabled) = 0;
  // The step just taken at `depth` and what it touched.
  virtual void taken(int depth, int thread, const Footprint& footprint) = 0;
  // How many first steps of the coming run are those of the run before.
  virtual int replayed() const { return 0; }
};

struct RunResult {
  std::string trace;
  std::string errors;      // what the program wrote to standard error
  std::string violation;   // empty: the run broke no rule the scheduler sees
  bool abandoned = false;  // the chooser abandoned it (a schedule already covered)
  bool deadlock = false;
  int exitStatus = 0;
  int steps = 0;
  std::vector<int> schedule;       // the thread of every step
  std::vector<int> stepOfLine;     // the step that printed each trace line
  std::array<uintptr_t, kMaxThreads> lastPc{};  // where each thread's last step began
  Mask ended = 0;                               // the threads that had ended when the run stopped
};

struct RunOptions {
  bool spurious = true;    // a waiting thread may also wake without a broadcast
  bool markSwitches = false;  // write each switch to standard error as it happens
  // A critical section is one step up to its next call: while the lock its
  // step took is held, a plain access is no point (see the scheduler). A
  // pause is no point either, and a woken waiter that would only wait again
  // retests at once. Only where data races are judged too, since a race
  // could hide in such a step.
  bool wholeSections = false;
  Observer* observer = nullptr;  // told every event and every step
};

// The source line of a program counter in this executable ("niz-mark/niz.cpp:70"),
// from its debug information; "?" when it has none.
std::string sourceLine(uintptr_t pc);

// Whether some thread of the run in progress holds `mutex`: the invariants over
// what a lock guards hold only while it is free.
bool lockHeld(const void* mutex);

// States a search's runs went through, so that a run which replays the one
// before it up to some step starts from a state saved near that step instead
// of from the beginning. Every kEvery steps a run saves the scheduler's state,
// the program's globals and stacks, and what the model and the observer have
// seen; a state saved no deeper than the steps the next run replays is that
// run's state there too. One search (one scenario, one observer) per object.
class Checkpoints {
 public:
  static constexpr int kEvery = 16;
  Checkpoints();
  ~Checkpoints();

 private:
  friend RunResult run(const Scenario&, Chooser&, const RunOptions&, Checkpoints*);
  struct Point;
  bool resume(int replayed, const Scenario& scenario, const RunOptions& options, RunResult& into);
  void reach(const RunOptions& options, const RunResult& run);

  std::vector<std::unique_ptr<Point>> points_;  // points_[k]: the state after k * kEvery steps
  std::size_t valid_ = 0;  // points_[0, valid_) lie on the path of the run in progress
  RunResult last_;         // the run before: the trace and schedule a resumed run starts with
};

// Runs the program once under `chooser`, from fresh globals or, with
// `checkpoints`, from the deepest saved state the chooser replays.
RunResult run(const Scenario& scenario, Chooser& chooser, const RunOptions& options, Checkpoints* checkpoints = nullptr);

// ---- Steering a run step by step ------------------------------------------------
// For searches that look at the state before they choose (--explain). One run
// at a time; `into` collects its trace and schedule.

void startRun(const Scenario& scenario, const RunOptions& options, RunResult& into);
// The threads that can take a step; 0 once every thread has ended or the
// process has exited, or when none can (a deadlock).
Mask runnable();
bool allEnded();
// Whether the program has ended the process (exit, or a return from main).
bool processExited();
// The call or access a thread has stopped at.
Pending pendingOf(int thread);
// The line a thread stopped at a print will print; null if it is not at one.
const std::string* pendingLine(int thread);
// How many values a thread stopped at a chosen draw may take; 0 if it is not at one.
int pendingDraw(int thread);
// Takes one step of `thread` (with `drawValue` for a chosen draw: the draw is
// part of the step it interrupted, and no step of the schedule of its own).
void stepThread(int thread, int drawValue = 0);
// Runs the exit handlers once the last thread has ended; sets the exit status.
void finishRun();
// One step of `thread` judged as run() judges it: the model's invariants, then
// the observer's rules. What it broke ("after step 7 (worker 1): ..."), or empty.
std::string judgedStep(int thread, RunResult& into);
// Who waits for what, once no thread can take a step and some have not ended.
std::string deadlockReport();
// Closes the run as run() does: the steps, the threads ended, the exit
// handlers (unless a rule was broken) and the exit status.
void endRun(RunResult& into);

// Where a thread stands, for a person watching the run (--play).
struct ThreadView {
  bool exists = false;
  Pending pending = Pending::Ended;
  bool canRun = false;
  uintptr_t pc = 0;                 // the program's code it stopped at; 0 before its start
  const void* object = nullptr;     // Lock: the lock; Reacquire: the condition
  const void* waitMutex = nullptr;  // Reacquire: the lock the wait gave up
  bool woken = false;               // Reacquire: a broadcast has come
  int joinTarget = -1;              // Join: the thread waited for
  uintptr_t address = 0;            // Access: the location
  Access access = Access::Read;     // Access: load or store
  uint8_t size = 0;                 // Access: bytes
  const std::string* line = nullptr;  // Print: the line it will print
  std::vector<const void*> held;    // the locks it holds
};
ThreadView viewOf(int thread);
// The thread holding `mutex`; -1 when it is free.
int holderOf(const void* mutex);

// Everything a run's future depends on: the program's globals, each thread's
// stack and where it stopped, the locks held, the trace so far.
struct Snapshot;
std::shared_ptr<const Snapshot> snapshot();
void restore(const Snapshot& snapshot);
// A hash of the same: equal states hash alike.
uint64_t stateHash();

// Whether `thread`, asleep in a wait, would go past it if it were woken now:
// it is woken in a copy of the state and run alone until it waits again (no),
// meets a lock held by another (no: nothing is claimed) or goes on (yes). The
// state is then put back; no judge or model hears of the trial.
bool wouldPassWait(int thread);

}  // namespace istrazi
