#include "wellformed.hpp"

#include <array>
#include <string>
#include <vector>

#include "rules/rules.hpp"

namespace provera {
namespace {

Phase phaseOf(char letter) { return static_cast<Phase>(std::string_view("RXSF").find(letter)); }

class Enumerator {
 public:
  Enumerator(Program program, std::span<const Participant> workers,
             const std::function<void(std::string_view)>& visit)
      : program_(program), workers_(workers), visit_(visit), lines_(workers.size()), next_(workers.size()) {
    if (program == Program::Zadatak) text_ = "0123456789";
  }

  long run() {
    chooseLifecycle(0);
    return count_;
  }

 private:
  // Each worker's lines, one lifecycle after another.
  void chooseLifecycle(std::size_t k) {
    if (k == workers_.size()) return chooseValues(0);
    const Participant& p = workers_[k];
    for (std::string_view lifecycle : rulesOf(program_).lifecycles(p.command)) {
      lines_[k].clear();
      for (char letter : lifecycle)
        lines_[k].push_back({0, phaseOf(letter), p.worker, p.command, p.argument, std::nullopt});
      chooseLifecycle(k + 1);
    }
  }

  // A niz-mark read's success shows a value; the outcomes chosen fix which
  // values can be there at all.
  void chooseValues(std::size_t k) {
    if (k == workers_.size()) return interleave();
    Line& outcome = lines_[k].back();
    if (program_ != Program::NizMark || outcome.command != Command::Read || outcome.phase != Phase::Success)
      return chooseValues(k + 1);
    int deletions = 0;
    std::array<bool, 10> appended{};
    for (const std::vector<Line>& lines : lines_) {
      const Line& last = lines.back();
      if (last.phase != Phase::Success) continue;
      deletions += last.command == Command::Delete;
      if (last.command == Command::Append) appended.at(*last.argument) = true;
    }
    for (int value = 0; value <= 9; ++value) {
      if (!nizMarkValueReachable(*outcome.argument, value, deletions, appended)) continue;
      outcome.value = value;
      chooseValues(k + 1);
    }
    outcome.value.reset();
  }

  // Every order of the chosen lines that keeps each worker's own order.
  void interleave() {
    bool done = true;
    for (std::size_t k = 0; k < workers_.size(); ++k) {
      if (next_[k] == lines_[k].size()) continue;
      done = false;
      std::size_t size = text_.size();
      text_ += format(program_, lines_[k][next_[k]++]);
      interleave();
      --next_[k];
      text_.resize(size);
    }
    if (done) {
      ++count_;
      visit_(text_);
    }
  }

  Program program_;
  std::span<const Participant> workers_;
  const std::function<void(std::string_view)>& visit_;
  std::vector<std::vector<Line>> lines_;  // by worker, its chosen lines
  std::vector<std::size_t> next_;         // by worker, its next line to place
  std::string text_;
  long count_ = 0;
};

}  // namespace

long forEachWellFormedTrace(Program program, std::span<const Participant> workers,
                            const std::function<void(std::string_view)>& visit) {
  return Enumerator(program, workers, visit).run();
}

}  // namespace provera
