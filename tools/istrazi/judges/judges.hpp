// The judges beyond the trace: what the scheduler saw of a run, checked against
// rules the trace alone cannot show. As the run goes: data races and the
// scheme's rules (the model's picture of each worker's phase). At its end: the
// end state (every lock free, nobody left waiting, every admission counter
// back at its start) and the data (the outcomes, the values read and the final
// array fit one sequential execution of the commands).
#pragma once

#include <array>
#include <unordered_map>
#include <string>
#include <vector>

#include "istrazi.hpp"
#include "linear.hpp"
#include "races.hpp"

namespace istrazi {

class Judges : public Observer {
 public:
  explicit Judges(const Scenario& scenario) : scenario_(scenario) {}
  void reset() override;
  void observe(const Event& event) override;
  std::string stepDone(const StepView& step) override;
  void save(std::size_t slot) override;
  void restore(std::size_t slot) override;
  // After a run that broke no other rule; empty when it passes.
  std::string finished(const RunResult& run);

 private:
  std::string endState() const;
  std::string data();

  struct Worker {
    int requested = -1;  // the step of its first request line
    int reported = -1;   // the step of its outcome line
    int ended = -1;      // the step it ended in
    bool success = false;
    std::optional<int> value;
  };
  const Scenario& scenario_;
  RaceDetector races_;
  std::string broken_;  // what an event of the step in progress broke
  int steps_ = 0;
  std::array<Worker, kMaxThreads> workers_{};
  std::array<std::vector<const void*>, kMaxThreads> held_{};  // locks each thread holds
  std::array<bool, kMaxThreads> started_{}, ended_{};
  // For lost wake-ups: who sleeps on a condition with no broadcast on its way,
  // who has broadcast since it last took a lock, and whether a waking section
  // (those broadcasts and the unlock after them) ended in this step.
  std::array<bool, kMaxThreads> asleep_{}, broadcasting_{};
  bool wakingSectionEnded_ = false;
  std::string lostWakeUp() const;
  // The data's verdict by what it depends on: each command, its outcome and
  // the order of its interval's ends among all of them, then the final array.
  struct IntsHash {
    std::size_t operator()(const std::vector<int>& ints) const {
      uint64_t h = 0x9E3779B97F4A7C15ull;
      for (int i : ints) h = (h ^ static_cast<uint32_t>(i)) * 0x100000001B3ull;
      return static_cast<std::size_t>(h ^ (h >> 29));
    }
  };
  std::unordered_map<std::vector<int>, std::string, IntsHash> dataVerdicts_;
  struct {
    std::vector<linear::Operation> operations;
    std::vector<const Participant*> whose;
    std::vector<int> finalArray, ends, key;
  } scratch_;  // data()'s buffers
  SavedCopies<std::string, int, std::array<Worker, kMaxThreads>,
              std::array<std::vector<const void*>, kMaxThreads>, std::array<bool, kMaxThreads>,
              std::array<bool, kMaxThreads>, std::array<bool, kMaxThreads>, std::array<bool, kMaxThreads>, bool>
      saved_;
};

}  // namespace istrazi
