// Looks for the niz-mark trace that costs provera's order search the most, and
// prints how long the check of the hardest one found takes.
//
//   niz_mark_search_bench [ROUNDS] [SEED] [SAVE]
//
// Traces of ten workers with a command each, every second request line before
// every outcome line (all windows overlap), are drawn at random and then
// altered one worker or one line at a time, keeping an alteration whenever the
// search visits at least as many states. SAVE, if given, receives the hardest
// trace found.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "check.hpp"

namespace {

struct Plan {
  int command[10], argument[10], value[10];
  bool success[10];
  std::vector<int> order;  // 30 entries: worker w's k-th line is w's k-th appearance
};

const char* const kCommands[3] = {"Citanje", "Dodavanje na kraj", "Brisanje"};

std::string render(const Plan& p) {
  std::string text;
  int seen[10] = {};
  for (int w : p.order) {
    int k = seen[w]++;
    std::string body = std::string("Radnik ") + std::to_string(w) + " naredba " + kCommands[p.command[w]] + " - " +
                       std::to_string(p.argument[w]);
    if (k < 2) {
      text += "ZAHTEV: " + body + "\n";
    } else {
      text += (p.success[w] ? "USPEH: " : "NEUSPEH: ") + body;
      if (p.success[w] && p.command[w] == 0) text += " broj " + std::to_string(p.value[w]);
      text += "\n";
    }
  }
  return text;
}

void drawWorker(Plan& p, int w, std::mt19937& rng) {
  p.command[w] = static_cast<int>(rng() % 3);
  p.argument[w] = static_cast<int>(rng() % 9);
  p.success[w] = rng() % 4 != 0;
  p.value[w] = static_cast<int>(rng() % 10);
}

Plan draw(std::mt19937& rng) {
  Plan p;
  for (int w = 0; w < 10; ++w) drawWorker(p, w, rng);
  std::vector<int> firsts, seconds, outcomes;
  for (int w = 0; w < 10; ++w) firsts.push_back(w), seconds.push_back(w), outcomes.push_back(w);
  std::shuffle(firsts.begin(), firsts.end(), rng);
  std::shuffle(seconds.begin(), seconds.end(), rng);
  std::shuffle(outcomes.begin(), outcomes.end(), rng);
  p.order = firsts;
  p.order.insert(p.order.end(), seconds.begin(), seconds.end());
  p.order.insert(p.order.end(), outcomes.begin(), outcomes.end());
  return p;
}

// Swaps two neighbouring lines of different workers, or redraws one worker.
Plan alter(Plan p, std::mt19937& rng) {
  if (rng() % 2) {
    std::size_t i = rng() % (p.order.size() - 1);
    if (p.order[i] != p.order[i + 1]) std::swap(p.order[i], p.order[i + 1]);
  } else {
    int w = static_cast<int>(rng() % 10);
    switch (rng() % 4) {
      case 0: drawWorker(p, w, rng); break;
      case 1: p.argument[w] = static_cast<int>(rng() % 10); break;
      case 2: p.value[w] = static_cast<int>(rng() % 10); break;
      default: p.success[w] = !p.success[w]; break;
    }
  }
  return p;
}

long cost(const std::string& text) { return provera::check(provera::Program::NizMark, text).searchStates; }

}  // namespace

int main(int argc, char** argv) {
  long rounds = argc > 1 ? std::atol(argv[1]) : 20000;
  std::mt19937 rng(argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 1u);
  Plan best = draw(rng);
  long bestCost = cost(render(best));
  for (long r = 0; r < rounds; ++r) {
    Plan next = r % 200 == 0 ? draw(rng) : alter(best, rng);
    long c = cost(render(next));
    if (c >= bestCost) best = next, bestCost = c;
  }
  std::string text = render(best);
  constexpr int kRepeats = 20;
  auto start = std::chrono::steady_clock::now();
  provera::Report report;
  for (int i = 0; i < kRepeats; ++i) report = provera::check(provera::Program::NizMark, text);
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / kRepeats;
  std::printf("hardest niz-mark trace found in %ld rounds: %ld search states, checked in %.3f ms (%s)\n", rounds,
              bestCost, ms, report.incomplete ? "incomplete" : report.valid() ? "valid" : "rejected");
  if (argc > 3) std::ofstream(argv[3], std::ios::binary) << text;
  return 0;
}
