// niz-locks as the explorer sees it: scenarios of workers with commands, the
// writer-admission invariants, and what the scheduler sees of each worker's locks.
#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
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
  // "?" for N: the search chooses the index (--explain).
  std::string plain(text);
  std::vector<bool> chosen;
  for (const auto& fields : entries(text)) chosen.push_back(fields.size() == 3 && fields[2] == "?" && fields[1] != "append");
  for (std::size_t at = 0; (at = plain.find(":?", at)) != std::string::npos;) plain.replace(at, 2, ":0");
  std::vector<Entry> named;
  if (!readEntries(plain,
                   {kWorkers, kCommands, kCapacity - 1, "expected WORKER:COMMAND:N with WORKER 0-19, COMMAND read, append or delete, N 0-28"},
                   named, error))
    return false;
  for (std::size_t k = 0; k < named.size(); ++k) {
    const Entry& e = named[k];
    // The worker draws its command, an index, a value, then its pauses.
    bool append = e.command == 1;
    int index = chosen[k] ? kChosenDraw : append ? 0 : e.argument;
    into.participants.push_back({e.worker, {e.command, index, append ? e.argument : 0},
                                 std::string(kCommands[e.command]) + " " + (chosen[k] ? "?" : std::to_string(e.argument))});
  }
  return true;
}

// ---- The default set ----------------------------------------------------------------

// As in zadatak, deletions decide the outcomes: whether an index lies below a
// deletion's (a reader below it never meets the deletion's range) or not, and
// whether one deletion pushes it past the end. N 9 is drawn modulo the count,
// so it names the slot an append fills, or, with no append, index 0. What an
// append stores never shows.
std::string signature(std::vector<Draft> drafts) {
  bool appends = std::any_of(drafts.begin(), drafts.end(), [](const Draft& d) { return d.command == 1; });
  if (!appends)
    for (Draft& d : drafts) d.argument %= 9;
  return signatureOf(drafts, "rad", 1, belowADeletion);
}

std::vector<std::string> defaults() {
  constexpr int kValues[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::vector<std::string> texts;
  for (const std::vector<Draft>& drafts : everyClass(3, 3, kValues, signature)) {
    std::string text;
    for (std::size_t w = 0; w < drafts.size(); ++w)
      text += (w ? "," : "") + std::to_string(w) + ":" + kCommands[drafts[w].command] + ":" +
              std::to_string(drafts[w].command == 1 ? 5 : drafts[w].argument);
    texts.push_back(text);
  }
  return texts;
}

// --explain: the workers the trace names, with what its lines show of them: the
// lines carry no index, so the search draws each one ("?").
bool scenarioOf(const provera::Trace& trace, std::string& text, std::string& error) {
  auto entry = [](const provera::Line& line) {
    return std::string(kCommands[static_cast<int>(line.command)]) + (line.command == provera::Command::Append ? ":0" : ":?");
  };
  return workersOfTrace(trace, entry, text, error);
}

// A chosen index draw may take any value below the count the worker read.
int drawChoices(int32_t count) { return std::max(count, 1); }

// What the model keeps of a run, with the scheme's picture, for checkpoints.
SavedCopies<std::array<Seen, kMaxThreads>, int32_t> saved;
void save(std::size_t slot) {
  scheme::save(slot);
  saved.save(slot, seen, lastCount);
}
void restore(std::size_t slot) {
  scheme::restore(slot);
  saved.restore(slot, seen, lastCount);
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

// Matched piece by piece: this runs after every step, most of which print
// nothing, so it builds no string.
bool printedAs(std::string_view printed, std::string_view phase, int thread, std::string_view command) {
  auto take = [&](std::string_view piece) {
    if (!printed.starts_with(piece)) return false;
    printed.remove_prefix(piece.size());
    return true;
  };
  char number[16];
  auto end = std::to_chars(number, number + sizeof number, workerOf(thread)).ptr;
  return take(phase) && take(": Radnik ") && take(std::string_view(number, static_cast<std::size_t>(end - number))) &&
         take(" naredba ") && take(command) && printed == "\n";
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

// --play: the writers admitted, the count and the array.
std::string describe() {
  int32_t count = trenutniBroj.load();
  std::string text = "brDodaju " + std::to_string(brDodaju) + "  brBrisu " + std::to_string(brBrisu) +
                     "  trenutniBroj " + std::to_string(count) + "\nniz:";
  for (int i = 0; i < count && i < kCapacity; ++i) text += " " + std::to_string(niz[i]);
  return text;
}

}  // namespace

const Model model{
    provera::Program::NizLocks,
    "  WORKER:COMMAND:N,...  worker 0-19, command read, append or delete, N 0-28:\n"
    "  the index read or deleted (drawn modulo the count, as the program does) or\n"
    "  the value appended; e.g. 0:read:3,1:append:5,2:delete:0. Other workers take no part.",
    defaults(),
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
    scenarioOf,
    drawChoices,
    describe,
    "0:read:3,1:append:5,2:delete:3,3:delete:1",
    {
        {"niz", sizeof(niz),
         "the array, for the final array and for which accesses the scheme counts as the array's"},
        {"mutex", sizeof(mutex),
         "the elements' locks, for the scheme's rule that a writer holds every element it changes"},
        {"trenutniBroj", sizeof(trenutniBroj),
         "the element count, for the final array, the indices drawn and when a deletion lowers it"},
        {"brDodaju", sizeof(brDodaju), "the appends admitted, for the writers' invariants and their end state"},
        {"brBrisu", sizeof(brBrisu), "the deletions admitted, for the writers' invariants and their end state"},
        {"mutexDodavanje", sizeof(mutexDodavanje),
         "the writers' admission lock: their invariants hold while it is free"},
    },
    true,
    save,
    restore,
    &trenutniBroj,
};

}  // namespace istrazi
