// The toy program as the explorer sees it: a scenario is a mode, and its
// invariants are what the scheduler must keep true.
#include <string>

#include "istrazi.hpp"

extern int maxInside, wokeEarly;

namespace istrazi {
namespace {

const char* const kModes[7] = {"deadlock", "exclusive", "broadcast", "wait-once", "passes", "unguarded", "quiet-leave"};

bool parse(std::string_view text, Scenario& into, std::string& error) {
  for (int mode = 0; mode < 7; ++mode)
    if (text == kModes[mode]) {
      into.mainDraws = {mode};
      for (int worker = 0; worker < 3; ++worker) into.participants.push_back({worker, {}, ""});
      return true;
    }
  error = "expected deadlock, exclusive, broadcast, wait-once, passes, unguarded or quiet-leave";
  return false;
}

void reset(const Scenario&) {}

std::string check(const StepView&) {
  if (maxInside > 1) return "two workers held one lock";
  if (wokeEarly) return "a waiter went on before the broadcast";
  return {};
}

void ignore(int, const void*) {}
std::string nothing() { return {}; }

}  // namespace

const Model model{
    provera::Program::Zadatak, "  deadlock, exclusive, broadcast, wait-once, passes, unguarded or quiet-leave",
    {"exclusive", "broadcast"},  parse,  reset, check, ignore, ignore, ignore, nothing, false,
};

}  // namespace istrazi
