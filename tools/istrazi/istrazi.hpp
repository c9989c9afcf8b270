// The schedule explorer: one program's source, unchanged, run under a
// controlled scheduler that lets one worker run at a time and switches only at
// the program's synchronisation calls, and a search over those switches.
//
// Each explorer executable links one program object (its `main` renamed
// `programMain`, its data sections renamed so that they can be laid out afresh
// before every run) with this core and with a model of that program: its
// scenarios, its scripted draws and the invariants over its globals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

// One worker of a scenario and the values it draws from `rand`, in order
// (once they run out, every later draw is 0).
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
};

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
};

// Provided by the model file of each explorer.
extern const Model model;

// ---- The scheduler ---------------------------------------------------------

// Why a thread is not running: the call it stopped at.
enum class Pending : uint8_t { Start, Lock, Reacquire, Print, Pause, Access, Join, Ended };

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

bool dependent(const Footprint& a, const Footprint& b);

// Chooses who runs next; the scheduler calls it at every scheduling point.
class Chooser {
 public:
  virtual ~Chooser() = default;
  // Returns the thread to run among `enabled`, or -1 to abandon the run.
  virtual int choose(int depth, Mask enabled) = 0;
  // The step just taken at `depth` and what it touched.
  virtual void taken(int depth, int thread, const Footprint& footprint) = 0;
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
};

struct RunOptions {
  bool spurious = true;    // a waiting thread may also wake without a broadcast
  bool markSwitches = false;  // write each switch to standard error as it happens
};

// Whether some thread of the run in progress holds `mutex`: the invariants over
// what a lock guards hold only while it is free.
bool lockHeld(const void* mutex);

// Runs the program once from fresh globals under `chooser`.
RunResult run(const Scenario& scenario, Chooser& chooser, const RunOptions& options);

}  // namespace istrazi
