// niz-mark as the explorer sees it: scenarios of workers with commands, the
// bounds of its state, and the mark each read or deletion found when it passed
// its wait.
#include <pthread.h>

#include <algorithm>
#include <array>
#include <cstdint>

#include "istrazi.hpp"
#include "judges/scheme.hpp"
#include "scenario.hpp"

// The program's globals.
extern int32_t niz[100];
extern int32_t duzinaNiza, brisDeo;
extern pthread_mutex_t mutex;

namespace istrazi {
namespace {

constexpr int kWorkers = 10;
const char* const kCommands[4] = {"read", "append", "delete", "none"};

// What the scheduler saw of each thread in this run.
struct Seen {
  int command = -1;
  int argument = 0;
  bool tested = false;      // it has taken `mutex` for its length test
  bool passedTest = false;  // and found its argument below the length
  bool admitted = false;    // it has since given `mutex` up other than by waiting
  bool waiting = false;     // the release under way is its wait's
  int32_t markAtTake = -1;  // brisDeo when it last took `mutex`
  int32_t lengthAtTake = 0; // duzinaNiza when it last took `mutex`
};
std::array<Seen, kMaxThreads> seen;
std::string broken;  // what the hooks saw go wrong in the step in progress

// W:COMMAND:A: worker W (0-9), command read, append, delete or none, argument A (0-9).
bool parse(std::string_view text, Scenario& into, std::string& error) {
  std::vector<Entry> named;
  if (!readEntries(text,
                   {kWorkers, kCommands, 9, "expected WORKER:COMMAND:A with WORKER 0-9, COMMAND read, append, delete or none, A 0-9"},
                   named, error))
    return false;
  // The worker draws its argument, then its command, then its pauses.
  for (const Entry& e : named)
    into.participants.push_back({e.worker, {e.argument, e.command}, std::string(kCommands[e.command]) + " " + std::to_string(e.argument)});
  return true;
}

// ---- The default set ----------------------------------------------------------------

// The length test on arrival decides every failure: an argument below, at or
// above the length (9 fails until an append), and how many deletions push it
// past the end; an append's value is tested the same way. The mark decides who
// waits: a read or deletion below, at or above a deletion's index.
std::string signature(const std::vector<Draft>& drafts) {
  auto pair = [](const Draft& a, const Draft& b) -> std::string {
    auto indexed = [](const Draft& d) { return d.command == 0 || d.command == 2; };
    if (indexed(a) && indexed(b) && (a.command == 2 || b.command == 2)) return relation(a.argument, b.argument);
    return "";
  };
  return signatureOf(drafts, "radn", 3, pair);
}

std::vector<std::string> defaults() {
  constexpr int kValues[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::vector<std::string> texts;
  for (const std::vector<Draft>& drafts : everyClass(4, 3, kValues, signature)) {
    std::string text;
    for (std::size_t w = 0; w < drafts.size(); ++w)
      text += (w ? "," : "") + std::to_string(w) + ":" + kCommands[drafts[w].command] + ":" +
              std::to_string(drafts[w].argument);
    texts.push_back(text);
  }
  return texts;
}

// --explain: the workers the trace names, with what its lines show of them.
bool scenarioOf(const provera::Trace& trace, std::string& text, std::string& error) {
  auto entry = [](const provera::Line& line) {
    return std::string(kCommands[static_cast<int>(line.command)]) + ":" + std::to_string(line.argument.value_or(0));
  };
  return workersOfTrace(trace, entry, text, error);
}

// What the model keeps of a run, with the scheme's picture, for checkpoints.
SavedCopies<std::array<Seen, kMaxThreads>, std::string> saved;
void save(std::size_t slot) {
  scheme::save(slot);
  saved.save(slot, seen, broken);
}
void restore(std::size_t slot) {
  scheme::restore(slot);
  saved.restore(slot, seen, broken);
}

void reset(const Scenario& scenario) {
  scheme::reset(scenario);
  seen.fill({});
  broken.clear();
  for (const Participant& p : scenario.participants) {
    Seen& s = seen[static_cast<std::size_t>(threadOf(p.worker))];
    s.argument = p.draws[0];
    s.command = p.draws[1];
  }
}

void acquired(int thread, const void* m) {
  if (m != &mutex) return;
  Seen& s = seen[static_cast<std::size_t>(thread)];
  s.markAtTake = brisDeo;
  s.lengthAtTake = duzinaNiza;
  if (!s.tested) {
    s.tested = true;
    s.passedTest = s.argument < duzinaNiza;
  }
}

void waits(int thread, const void*) { seen[static_cast<std::size_t>(thread)].waiting = true; }

// The first release after the length test that is not a wait admits a read or
// deletion: it must have found the mark below its argument when it last took
// the lock, for the rest of that hold runs without a switch. A deletion's
// later release ends its change: one that found its index no longer below the
// length must have left the length alone.
void released(int thread, const void* m) {
  if (m != &mutex) return;
  Seen& s = seen[static_cast<std::size_t>(thread)];
  if (s.waiting) {
    s.waiting = false;
    return;
  }
  if (!s.passedTest || (s.command != 0 && s.command != 2) || !broken.empty()) return;
  if (!s.admitted) {
    s.admitted = true;
    if (s.argument <= s.markAtTake)
      broken = std::string(s.command == 0 ? "a read" : "a deletion") + " of " + std::to_string(s.argument) +
               " passed its wait while the mark stood at " + std::to_string(s.markAtTake);
  } else if (s.command == 2 && s.argument >= s.lengthAtTake && duzinaNiza != s.lengthAtTake) {
    broken = "a deletion of " + std::to_string(s.argument) + " past the length " + std::to_string(s.lengthAtTake) +
             " changed the length";
  }
}

std::string check(const StepView& step) {
  if (!broken.empty()) return broken;
  // The length is tested once, on arrival: a read or append that passed that
  // test cannot fail afterwards.
  const Seen& s = seen[static_cast<std::size_t>(step.thread)];
  if ((s.command == 0 || s.command == 1) && s.passedTest && step.printed.starts_with("NEUSPEH"))
    return "a worker that passed its length test on arrival failed";
  if (lockHeld(&mutex)) return {};
  if (duzinaNiza < 0 || duzinaNiza > 19) return "the length is " + std::to_string(duzinaNiza);
  if (brisDeo < -1 || brisDeo > 9) return "the mark is " + std::to_string(brisDeo);
  return {};
}

std::string finalArray() {
  std::string text;
  for (int i = 0; i < duzinaNiza && i < 100; ++i) text += std::to_string(niz[i]) + " ";
  return text;
}

// Whichever deletion finishes last sets the mark back to -1.
std::string endState() {
  if (brisDeo != -1) return "the mark is " + std::to_string(brisDeo) + " at the end, not -1";
  return {};
}

// The worker drew its argument, then its command.
void commandOf(const Participant& p, Command& command, int& argument) {
  const Command drawn[4] = {Command::Read, Command::Append, Command::Delete, Command::None};
  argument = p.draws[0];
  command = drawn[p.draws[1]];
}

// --play: the length, the mark and the array.
std::string describe() {
  std::string text = "duzinaNiza " + std::to_string(duzinaNiza) + "  brisDeo (the mark) " + std::to_string(brisDeo) +
                     "\nniz:";
  for (int i = 0; i < duzinaNiza && i < 100; ++i) text += " " + std::to_string(niz[i]);
  return text;
}

}  // namespace

const Model model{
    provera::Program::NizMark,
    "  WORKER:COMMAND:A,...  worker 0-9, command read, append, delete or none, and its\n"
    "  argument 0-9 (the index, or the value appended); e.g. 0:delete:4,1:read:4,2:read:6.\n"
    "  Other workers take no part.",
    defaults(),
    parse,
    reset,
    check,
    acquired,
    released,
    waits,
    finalArray,
    true,
    scheme::observe,
    scheme::check,
    endState,
    commandOf,
    true,
    false,
    scenarioOf,
    nullptr,
    describe,
    "0:read:3,1:delete:3,2:delete:1,3:append:5",
    {
        {"niz", sizeof(niz), "the array, for the final array the data are judged by"},
        {"duzinaNiza", sizeof(duzinaNiza),
         "the length, for the invariants, the final array and the length each worker tested"},
        {"brisDeo", sizeof(brisDeo),
         "the mark (the lowest index under deletion, -1: none), for the invariants and the end state"},
        {"mutex", sizeof(mutex), "the lock over the length and the mark: the invariants hold while it is free, and the scheme "
                  "follows who holds it"},
    },
    false,
    save,
    restore,
};

}  // namespace istrazi
