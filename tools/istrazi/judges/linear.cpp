#include "linear.hpp"

#include <cstddef>
#include <string>
#include <unordered_set>

namespace istrazi::linear {

Array::Result Array::apply(Command command, int argument) {
  auto length = static_cast<int>(elements.size());
  switch (command) {
    case Command::Read:
      if (argument < 0 || argument >= length) return {};
      return {true, elements[static_cast<std::size_t>(argument)]};
    case Command::Delete:
      if (argument < 0 || argument >= length) return {};
      elements.erase(elements.begin() + argument);
      return {true, 0};
    case Command::Append:
      if (appendNeedsValueBelowLength && argument >= length) return {};
      elements.push_back(argument);
      return {true, 0};
    case Command::None: return {true, 0};
  }
  return {};
}

namespace {

// Depth-first over the orders that respect real time: an operation may go next
// when no operation still waiting reported before it was requested. Where an
// append must find its value below the length, a successful one takes effect
// at two moments, in order: its test of the length, then its store at the end
// (niz-mark tests on arrival and stores after its pause).
class Search {
 public:
  Search(const std::vector<Operation>& operations, const std::vector<int>& finalArray, bool splitAppends)
      : operations_(operations), finalArray_(finalArray), splitAppends_(splitAppends), phase_(operations.size(), kWaiting) {}

  bool fits(const Array& array, std::size_t placed) {
    if (placed == operations_.size()) return array.elements == finalArray_;
    // Where the search goes on from depends only on which operations have
    // taken effect and on the array they left, so a pair that led nowhere
    // once is not tried again: with twenty workers the orders are too many.
    std::string key(phase_.begin(), phase_.end());
    for (int e : array.elements) key += std::to_string(e) + ",";
    if (failed_.contains(key)) return false;
    // An operation that leaves the array as it is (a read, a command that
    // fails) and that may take effect now with what it reported is placed now
    // and nothing else is tried here: in any order that places it later,
    // moving it here changes no other outcome and breaks no real-time bound
    // (its own is met now, and others' only get easier).
    for (std::size_t i = 0; i < operations_.size(); ++i) {
      const Operation& op = operations_[i];
      if (phase_[i] != kWaiting || !mayGoNext(i) || (op.success && op.command != Command::Read)) continue;
      Array after = array;
      Array::Result result = after.apply(op.command, op.argument);
      if (result.success != op.success || (op.success && op.value && result.value != *op.value)) continue;
      phase_[i] = kDone;
      bool found = fits(array, placed + 1);
      phase_[i] = kWaiting;
      if (!found) failed_.insert(std::move(key));
      return found;
    }
    for (std::size_t i = 0; i < operations_.size(); ++i) {
      if (phase_[i] == kDone || !mayGoNext(i) || hasTwinDueSooner(i)) continue;
      const Operation& op = operations_[i];
      Array after = array;
      int next = kDone;
      if (splitAppends_ && op.command == Command::Append && op.success) {
        if (phase_[i] == kWaiting) {
          if (op.argument >= static_cast<int>(array.elements.size())) continue;
          next = kTested;
        } else {
          after.elements.push_back(op.argument);
        }
      } else {
        Array::Result result = after.apply(op.command, op.argument);
        if (result.success != op.success) continue;
        if (op.success && op.value && result.value != *op.value) continue;
      }
      int was = phase_[i];
      phase_[i] = next;
      bool found = fits(after, placed + (next == kDone));
      phase_[i] = was;
      if (found) return true;
    }
    failed_.insert(std::move(key));
    return false;
  }

 private:
  static constexpr int kWaiting = 0, kTested = 1, kDone = 2;

  // Of two operations with the same command, argument and outcome, both free
  // to go next, the one whose outcome line came first goes first: any order
  // that places the other one first stays within every bound with the two
  // swapped (whatever had to wait for the later outcome line may wait for
  // the earlier one). Twenty workers' appends of one value are then placed
  // in one order, not in all of them.
  bool hasTwinDueSooner(std::size_t candidate) const {
    const Operation& c = operations_[candidate];
    for (std::size_t j = 0; j < operations_.size(); ++j) {
      const Operation& o = operations_[j];
      if (j == candidate || phase_[j] != phase_[candidate] || o.command != c.command || o.argument != c.argument ||
          o.success != c.success || o.value != c.value)
        continue;
      if ((o.reported < c.reported || (o.reported == c.reported && j < candidate)) && mayGoNext(j)) return true;
    }
    return false;
  }

  bool mayGoNext(std::size_t candidate) const {
    for (std::size_t j = 0; j < operations_.size(); ++j)
      if (phase_[j] != kDone && j != candidate && operations_[j].reported < operations_[candidate].requested) return false;
    return true;
  }

  const std::vector<Operation>& operations_;
  const std::vector<int>& finalArray_;
  bool splitAppends_;
  std::vector<int> phase_;
  std::unordered_set<std::string> failed_;  // states from which no order fits
};

std::string numbers(const std::vector<int>& values) {
  std::string text;
  for (int v : values) text += (text.empty() ? "" : " ") + std::to_string(v);
  return text;
}

}  // namespace

std::string check(const std::vector<Operation>& operations, const std::vector<int>& finalArray,
                  bool appendNeedsValueBelowLength) {
  Array start;
  start.appendNeedsValueBelowLength = appendNeedsValueBelowLength;
  if (Search(operations, finalArray, appendNeedsValueBelowLength).fits(start, 0)) return {};
  std::string seen;
  for (const Operation& op : operations) {
    seen += op.who + (op.success ? " succeeded" : " failed");
    if (op.value) seen += " with " + std::to_string(*op.value);
    seen += ", ";
  }
  return "no order of the commands one at a time gives what they reported (" + seen + "final array [" +
         numbers(finalArray) + "])";
}

}  // namespace istrazi::linear
