// zadatak's scheme: one monitor admits each worker at the end of its first
// hold of `mutex` and releases it at the end of its second. Who may be admitted
// beside whom:
//   - readers together, and beside an append;
//   - one append at a time, never beside a deletion;
//   - a deletion alone; while it runs, readers of a lower index only.
#include <pthread.h>

#include "judges/scheme.hpp"

extern pthread_mutex_t mutex;

namespace istrazi::scheme {
namespace {

struct Worker {
  Command command = Command::None;
  int argument = 0;
  bool admitted = false;
};
std::array<Worker, kMaxThreads> workers;
Holds holds(&mutex);
std::string broken;

SavedCopies<std::array<Worker, kMaxThreads>, Holds, std::string> saved;

std::string name(const Worker& w) {
  const char* names[3] = {"a read", "an append", "a deletion"};
  return std::string(names[static_cast<int>(w.command)]) + " of " + std::to_string(w.argument);
}

// Whether `arriving` may be admitted while `running` is.
bool mayJoin(const Worker& arriving, const Worker& running) {
  switch (arriving.command) {
    case Command::Read: return running.command != Command::Delete || arriving.argument < running.argument;
    case Command::Append: return running.command == Command::Read;
    default: return false;
  }
}

std::string admit(Worker& arriving) {
  for (const Worker& running : workers)
    if (running.admitted && !mayJoin(arriving, running))
      return name(arriving) + " was admitted beside " + name(running);
  arriving.admitted = true;
  return {};
}

}  // namespace

void reset(const Scenario& scenario) {
  workers.fill({});
  holds.reset();
  broken.clear();
  for (const Participant& p : scenario.participants) {
    Worker& w = workers[static_cast<std::size_t>(threadOf(p.worker))];
    model.command(p, w.command, w.argument);
  }
}

void observe(const Event& event) {
  Worker& w = workers[static_cast<std::size_t>(event.thread)];
  if (event.thread == kMain || !broken.empty()) return;
  switch (holds.ends(event)) {
    case 1: broken = admit(w); break;
    case 2: w.admitted = false; break;
    default: break;
  }
}

std::string check(const StepView&) { return broken; }

void save(std::size_t slot) { saved.save(slot, workers, holds, broken); }
void restore(std::size_t slot) { saved.restore(slot, workers, holds, broken); }

}  // namespace istrazi::scheme
