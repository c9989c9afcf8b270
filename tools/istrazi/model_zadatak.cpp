// zadatak as the explorer sees it: scenarios of workers and their arguments,
// and the monitor's invariants.
#include <pthread.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>

#include "istrazi.hpp"
#include "judges/scheme.hpp"
#include "scenario.hpp"

// The program's globals.
extern std::atomic<int32_t> niz[100];
extern std::atomic<int32_t> BROJ_ELEMENATA;
extern int32_t nCitanje, nDodavanje, nBrisanje, elementSeBrise;
extern pthread_mutex_t mutex;

namespace istrazi {
namespace {

constexpr int kWorkers = 10;
const char* const kCommands[3] = {"read", "append", "delete"};

// W:A: worker W (0-9; its command is W mod 3) with argument A (0-8).
bool parse(std::string_view text, Scenario& into, std::string& error) {
  std::vector<Entry> named;
  if (!readEntries(text, {kWorkers, {}, 8, "expected WORKER:ARGUMENT with WORKER 0-9 and ARGUMENT 0-8"}, named, error))
    return false;
  into.mainDraws.assign(kWorkers, 0);
  for (const Entry& e : named) {
    // main draws every worker's argument, in worker order; the workers' own
    // draws are pauses, whose length the schedule makes irrelevant.
    into.mainDraws[static_cast<std::size_t>(e.worker)] = e.argument;
    into.participants.push_back({e.worker, {}, std::string(kCommands[e.worker % 3]) + " " + std::to_string(e.argument)});
  }
  return true;
}

// ---- The default set ----------------------------------------------------------------

// Deletions decide every outcome: whether a reader's index lies below a
// deletion's (it may run beside it) or not (it waits), whether one deletion's
// index lies below another's, and whether one deletion is enough to push an
// index past the end (index 8). Appends only raise the count back; what they
// append never shows in the trace.
std::string signature(const std::vector<Draft>& drafts) { return signatureOf(drafts, "rad", 1, belowADeletion); }

// Workers by command: reads 0, 3, 6; appends 1, 4, 7; deletions 2, 5, 8.
std::vector<std::string> defaults() {
  constexpr int kValues[] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<std::string> texts;
  for (const std::vector<Draft>& drafts : everyClass(3, 3, kValues, signature)) {
    std::string text;
    int next[3] = {0, 1, 2};
    for (const Draft& d : drafts) {
      text += (text.empty() ? "" : ",") + std::to_string(next[d.command]) + ":" + std::to_string(d.argument);
      next[d.command] += 3;
    }
    texts.push_back(text);
  }
  return texts;
}

// --explain: the workers the trace names, with what its lines show of them.
bool scenarioOf(const provera::Trace& trace, std::string& text, std::string& error) {
  auto entry = [](const provera::Line& line) {
    return std::to_string(line.argument.value_or(0));
  };
  return workersOfTrace(trace, entry, text, error);
}

// What the model keeps of a run, with the scheme's picture, for checkpoints.
void save(std::size_t slot) { scheme::save(slot); }
void restore(std::size_t slot) { scheme::restore(slot); }

void reset(const Scenario& scenario) {
  scheme::reset(scenario);
}

// The monitor's state is consistent whenever `mutex` is free.
std::string check(const StepView&) {
  if (lockHeld(&mutex)) return {};
  if (nCitanje < 0 || nDodavanje < 0 || nBrisanje < 0) return "a counter below 0";
  if (nDodavanje > 1) return "two appends admitted together";
  if (nBrisanje > 1) return "two deletions admitted together";
  if (nBrisanje > 0 && nDodavanje > 0) return "an append admitted beside a deletion";
  if ((elementSeBrise == -1) != (nBrisanje == 0))
    return "elementSeBrise is " + std::to_string(elementSeBrise) + " while nBrisanje is " + std::to_string(nBrisanje);
  return {};
}

void ignore(int, const void*) {}

std::string finalArray() {
  std::string text;
  for (int i = 0; i < BROJ_ELEMENATA.load(); ++i) text += std::to_string(niz[i].load()) + " ";
  return text;
}

// Once every worker has gone, the monitor is as it started.
std::string endState() {
  if (nCitanje != 0 || nDodavanje != 0 || nBrisanje != 0 || elementSeBrise != -1)
    return "the monitor is not back at its start at the end: nCitanje " + std::to_string(nCitanje) + ", nDodavanje " +
           std::to_string(nDodavanje) + ", nBrisanje " + std::to_string(nBrisanje) + ", elementSeBrise " +
           std::to_string(elementSeBrise);
  return {};
}

// Worker W's command is fixed by W mod 3; main drew its argument for it.
void commandOf(const Participant& p, Command& command, int& argument) {
  const Command byWorker[3] = {Command::Read, Command::Append, Command::Delete};
  command = byWorker[p.worker % 3];
  argument = std::stoi(p.label.substr(p.label.find(' ') + 1));
}

// --play: the monitor's variables and the array.
std::string describe() {
  std::string text = "nCitanje " + std::to_string(nCitanje) + "  nDodavanje " + std::to_string(nDodavanje) +
                     "  nBrisanje " + std::to_string(nBrisanje) + "  elementSeBrise " + std::to_string(elementSeBrise) +
                     "\nBROJ_ELEMENATA " + std::to_string(BROJ_ELEMENATA.load()) + "  niz:";
  for (int i = 0; i < BROJ_ELEMENATA.load() && i < 100; ++i) text += " " + std::to_string(niz[i].load());
  return text;
}

}  // namespace

const Model model{
    provera::Program::Zadatak,
    "  WORKER:ARGUMENT,...  worker 0-9 (command by WORKER mod 3: 0 read, 1 append,\n"
    "  2 delete) and its argument 0-8; e.g. 0:2,2:4,3:4. Other workers take no part.",
    defaults(),
    parse,
    reset,
    check,
    ignore,
    ignore,
    ignore,
    finalArray,
    true,
    scheme::observe,
    scheme::check,
    endState,
    commandOf,
    false,
    false,
    scenarioOf,
    nullptr,
    describe,
    "0:3,1:5,2:3,5:1",
    {
        {"niz", sizeof(niz), "the array, for the final array the data are judged by"},
        {"BROJ_ELEMENATA", sizeof(BROJ_ELEMENATA), "the number of live elements, for the final array"},
        {"nCitanje", sizeof(nCitanje), "the readers admitted, for the monitor's invariants and its end state"},
        {"nDodavanje", sizeof(nDodavanje), "the appends admitted, for the monitor's invariants and its end state"},
        {"nBrisanje", sizeof(nBrisanje), "the deletions admitted, for the monitor's invariants and its end state"},
        {"elementSeBrise", sizeof(elementSeBrise),
         "the index under deletion (-1: none), for the monitor's invariants and its end state"},
        {"mutex", sizeof(mutex),
         "the monitor's lock: its invariants hold while it is free, and the scheme follows who holds it"},
    },
    false,
    save,
    restore,
};

}  // namespace istrazi
