// niz-mark's scheme, with a mark of the explorer's own: every worker takes
// `mutex` for its length test on arrival; a read or a deletion that passed it
// is admitted when that first hold ends (any waits in between give the lock up
// and take it back), and a deletion finishes when its second hold ends. The
// mark is the index of the deletion admitted last, and -1 again whenever a
// deletion finishes:
//   - a read or a deletion may be admitted only above the mark;
//   - a deletion, once admitted, raises the mark to its index.
#include <pthread.h>

#include <cstdint>

#include "judges/scheme.hpp"

extern pthread_mutex_t mutex;
extern int32_t duzinaNiza;

namespace istrazi::scheme {
namespace {

struct Worker {
  Command command = Command::None;
  int argument = 0;
  bool tested = false;
  bool passedTest = false;  // its argument was below the length it found on arrival
};
std::array<Worker, kMaxThreads> workers;
Holds holds(&mutex);
int mark = -1;
std::string broken;

SavedCopies<std::array<Worker, kMaxThreads>, Holds, int, std::string> saved;

std::string admit(const Worker& w) {
  if (w.argument <= mark)
    return std::string(w.command == Command::Read ? "a read" : "a deletion") + " of " + std::to_string(w.argument) +
           " was admitted while the mark stood at " + std::to_string(mark);
  if (w.command == Command::Delete) mark = w.argument;
  return {};
}

}  // namespace

void reset(const Scenario& scenario) {
  workers.fill({});
  holds.reset();
  mark = -1;
  broken.clear();
  for (const Participant& p : scenario.participants) {
    Worker& w = workers[static_cast<std::size_t>(threadOf(p.worker))];
    model.command(p, w.command, w.argument);
  }
}

void observe(const Event& event) {
  Worker& w = workers[static_cast<std::size_t>(event.thread)];
  if (event.thread == kMain || !broken.empty()) return;
  if (event.call == Call::Lock && event.object == &mutex && !w.tested) {
    w.tested = true;
    w.passedTest = w.argument < duzinaNiza;
  }
  bool marked = w.passedTest && (w.command == Command::Read || w.command == Command::Delete);
  switch (holds.ends(event)) {
    case 1:
      if (marked) broken = admit(w);
      break;
    case 2:
      if (marked && w.command == Command::Delete) mark = -1;
      break;
    default: break;
  }
}

std::string check(const StepView&) { return broken; }

void save(std::size_t slot) { saved.save(slot, workers, holds, mark, broken); }
void restore(std::size_t slot) { saved.restore(slot, workers, holds, mark, broken); }

}  // namespace istrazi::scheme
