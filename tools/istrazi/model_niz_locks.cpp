// niz-locks as the explorer sees it: scenarios of workers with commands, the
// writer-admission invariants, and what the scheduler sees of each worker's locks.
#include <pthread.h>

#include <array>
#include <atomic>
#include <cstdint>

#include "istrazi.hpp"
#include "judges/scheme.hpp"
#include "scenario.hpp"

// The program's globals.
constexpr int kCapacity = 29;
extern int32_t niz[kCapacity];
extern std::array<pthread_mutex_t, kCapacity> mutex;
extern std::atomic<int32_t> trenutniBroj;
extern int32_t brDodaju, brBrisu;
extern pthread_mutex_t mutexDodavanje;

namespace istrazi {
namespace {

constexpr int kWorkers = 20;
const char* const kCommands[3] = {"read", "append", "delete"};

// What the scheduler saw of each thread in this run.
struct Seen {
  int command = -1;
  int32_t countAtDraw = -1;  // the count its first read of it found: its index is drawn modulo that
  int elementPasses = 0;  // element locks taken since its last trace line
  bool succeeded = false;  // a deletion that has printed its success line
};
std::array<Seen, kMaxThreads> seen;
int32_t lastCount = 0;

bool isElementLock(const void* m) {
  auto* p = static_cast<const pthread_mutex_t*>(m);
  return p >= mutex.data() && p < mutex.data() + kCapacity;
}

// W:COMMAND:N: worker W (0-19) reads or deletes index N, or appends value N (0-9).
// The index is drawn as N modulo the count at the time, as the program draws it.
bool parse(std::string_view text, Scenario& into, std::string& error) {
  std::vector<Entry> named;
  if (!readEntries(text,
                   {kWorkers, kCommands, 9, "expected WORKER:COMMAND:N with WORKER 0-19, COMMAND read, append or delete, N 0-9"},
                   named, error))
    return false;
  for (const Entry& e : named) {
    // The worker draws its command, an index, a value, then its pauses.
    bool append = e.command == 1;
    into.participants.push_back({e.worker, {e.command, append ? 0 : e.argument, append ? e.argument : 0},
                                 std::string(kCommands[e.command]) + " " + std::to_string(e.argument)});
  }
  return true;
}

void reset(const Scenario& scenario) {
  scheme::reset(scenario);
  seen.fill({});
  for (const Participant& p : scenario.participants) seen[static_cast<std::size_t>(threadOf(p.worker))].command = p.draws[0];
  lastCount = trenutniBroj.load();
}

void acquired(int thread, const void* m) {
  if (isElementLock(m)) ++seen[static_cast<std::size_t>(thread)].elementPasses;
}

bool printedAs(std::string_view printed, const char* phase, int thread, const char* command) {
  std::string expected = std::string(phase) + ": Radnik " + std::to_string(workerOf(thread)) + " naredba " + command + "\n";
  return printed == expected;
}

std::string countAndPasses(const StepView& step);

// The writer counters are consistent whenever `mutexDodavanje` is free.
std::string check(const StepView& step) {
  if (lockHeld(&mutexDodavanje)) return countAndPasses(step);
  if (brDodaju < 0 || brBrisu < 0) return "a writer counter below 0";
  if (brDodaju > 1) return "two appends admitted together";
  if (brBrisu > 1) return "two deletions admitted together";
  if (brDodaju > 0 && brBrisu > 0) return "an append and a deletion admitted together";
  return countAndPasses(step);
}

// The count and each reader's lock passes, checked after every step.
std::string countAndPasses(const StepView& step) {
  int32_t count = trenutniBroj.load();
  if (count < 0 || count > kCapacity) return "the count is " + std::to_string(count);
  Seen& s = seen[static_cast<std::size_t>(step.thread)];
  if (printedAs(step.printed, "USPEH", step.thread, "brisanje")) s.succeeded = true;
  // A deletion lowers the count only once its success line is out.
  if (count < lastCount && !s.succeeded)
    return "the count fell to " + std::to_string(count) + " before the deletion's success line";
  lastCount = count;
  // A reader prints its execution line, and its success line, only after its
  // element's lock was free at some moment since its previous line.
  if (s.command == 0 && !step.printed.empty()) {
    bool execution = printedAs(step.printed, "IZVRSAVANJE", step.thread, "citanje");
    bool success = printedAs(step.printed, "USPEH", step.thread, "citanje");
    if ((execution || success) && s.elementPasses == 0)
      return std::string("a reader printed its ") + (execution ? "execution" : "success") +
             " line without passing its element's lock";
    s.elementPasses = 0;
  }
  return {};
}

void ignore(int, const void*) {}

std::string finalArray() {
  std::string text;
  for (int i = 0; i < trenutniBroj.load() && i < kCapacity; ++i) text += std::to_string(niz[i]) + " ";
  return text;
}

// The first count a worker reads is the one its index is drawn against.
void observe(const Event& event) {
  Seen& s = seen[static_cast<std::size_t>(event.thread)];
  if (event.call == Call::Read && event.object == &trenutniBroj && event.thread != kMain && s.countAtDraw < 0)
    s.countAtDraw = trenutniBroj.load();
  scheme::observe(event);
}

// Once every writer has gone, no writer is counted as admitted.
std::string endState() {
  if (brDodaju != 0 || brBrisu != 0)
    return "writers still counted as admitted at the end: brDodaju " + std::to_string(brDodaju) + ", brBrisu " +
           std::to_string(brBrisu);
  return {};
}

// The worker drew its command, an index (taken modulo the count it saw; 0 on
// an empty array) and a value.
void commandOf(const Participant& p, Command& command, int& argument) {
  const Command drawn[3] = {Command::Read, Command::Append, Command::Delete};
  command = drawn[p.draws[0]];
  int32_t count = seen[static_cast<std::size_t>(threadOf(p.worker))].countAtDraw;
  argument = command == Command::Append ? p.draws[2] : count > 0 ? p.draws[1] % count : 0;
}

// Writers wait for admission while either counter is above 0.
bool waitWouldEnd(int) { return brDodaju == 0 && brBrisu == 0; }

}  // namespace

const Model model{
    provera::Program::NizLocks,
    "  WORKER:COMMAND:N,...  worker 0-19, command read, append or delete, N 0-9:\n"
    "  the index read or deleted (drawn modulo the count, as the program does) or\n"
    "  the value appended; e.g. 0:read:3,1:append:5,2:delete:0. Other workers take no part.",
    {"0:append:1,1:append:2,2:read:0", "0:delete:8,1:delete:3,2:read:7", "0:read:3,1:append:5,2:delete:0",
     "0:delete:8,1:append:4,2:read:8"},
    parse,
    reset,
    check,
    acquired,
    ignore,
    ignore,
    finalArray,
    true,
    observe,
    scheme::check,
    endState,
    commandOf,
    false,
    true,
    waitWouldEnd,
};

}  // namespace istrazi
