// niz-locks' scheme: writers are admitted one at a time, and each holds the
// elements its change concerns while it changes the array.
//   - A writer is admitted when its first hold of `mutexDodavanje` ends that
//     it took afresh and did not wait in, and counted until its second such
//     hold ends; no other writer may be counted meanwhile.
//   - An append, while it writes a slot or the count, holds every live element.
//   - A deletion, while it moves elements or lowers the count, holds its index
//     and every live element above it.
#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "judges/scheme.hpp"

constexpr int kCapacity = 29;
extern int32_t niz[kCapacity];
extern std::array<pthread_mutex_t, kCapacity> mutex;
extern std::atomic<int32_t> trenutniBroj;
extern pthread_mutex_t mutexDodavanje;

namespace istrazi::scheme {
namespace {

struct Worker {
  const Participant* participant = nullptr;
  bool counted = false;
  std::array<bool, kCapacity> holds{};  // the element locks it holds
};
std::array<Worker, kMaxThreads> workers;
Holds admissions(&mutexDodavanje, false);
std::string broken;

SavedCopies<std::array<Worker, kMaxThreads>, Holds, std::string> saved;

int elementOf(const void* object) {
  auto* lock = static_cast<const pthread_mutex_t*>(object);
  return lock >= mutex.data() && lock < mutex.data() + kCapacity ? static_cast<int>(lock - mutex.data()) : -1;
}

bool changesTheArray(const void* address) {
  auto* slot = static_cast<const int32_t*>(address);
  return (slot >= niz && slot < niz + kCapacity) || address == &trenutniBroj;
}

std::string admit(Worker& w, int thread) {
  for (int t = 0; t < kMaxThreads; ++t)
    if (t != thread && workers[static_cast<std::size_t>(t)].counted)
      return threadName(thread) + " was admitted while " + threadName(t) + " was still counted";
  w.counted = true;
  return {};
}

// The elements a writer must hold as it changes the array: every live one for
// an append, its index and above for a deletion.
std::string holdsItsRange(const Worker& w, int thread) {
  Command command = Command::None;
  int index = 0;
  model.command(*w.participant, command, index);
  if (command == Command::Read) return {};
  int from = command == Command::Append ? 0 : index;
  for (int i = from; i < trenutniBroj.load(); ++i)
    if (!w.holds[static_cast<std::size_t>(i)])
      return threadName(thread) + (command == Command::Append ? " (an append)" : " (a deletion)") +
             " changed the array without holding element " + std::to_string(i);
  return {};
}

}  // namespace

void reset(const Scenario& scenario) {
  workers.fill({});
  admissions.reset();
  broken.clear();
  for (const Participant& p : scenario.participants) workers[static_cast<std::size_t>(threadOf(p.worker))].participant = &p;
}

void observe(const Event& event) {
  Worker& w = workers[static_cast<std::size_t>(event.thread)];
  if (!w.participant || !broken.empty()) return;
  int element = elementOf(event.object);
  if (element >= 0 && (event.call == Call::Lock || event.call == Call::Unlock))
    w.holds[static_cast<std::size_t>(element)] = event.call == Call::Lock;
  if (event.call == Call::Write && changesTheArray(event.object)) broken = holdsItsRange(w, event.thread);
  if (!broken.empty()) return;
  switch (admissions.ends(event)) {
    case 1: broken = admit(w, event.thread); break;
    case 2: w.counted = false; break;
    default: break;
  }
}

std::string check(const StepView&) { return broken; }

void save(std::size_t slot) { saved.save(slot, workers, admissions, broken); }
void restore(std::size_t slot) { saved.restore(slot, workers, admissions, broken); }

}  // namespace istrazi::scheme
