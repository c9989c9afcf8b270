// Not a test: how long istrazi --explain takes on whole real runs of each
// program (median and slowest), and how often provera and --explain agree on
// those runs perturbed. Usage: explain_bench [RUNS] [PERTURBED] [MAX_STATES]
// A perturbed trace provera accepts and the search gave up on is searched
// again within --explain's own bound before it counts as a disagreement.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "perturbed.hpp"

constexpr long kDefaultBound = 5000000;  // istrazi --explain's bound when --limit is not given

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 20;
  int perturbations = argc > 2 ? std::atoi(argv[2]) : 400;
  long maxStates = argc > 3 ? std::atol(argv[3]) : 200000;
  std::mt19937 random(7);
  for (const std::string program : {"zadatak", "niz-mark", "niz-locks"}) {
    std::vector<std::string> traces;
    std::vector<double> seconds;
    int explained = 0, gaveUp = 0;
    for (int r = 0; r < runs; ++r) {
      std::string trace = perturbed::realRun(program);
      if (trace.empty()) continue;
      traces.push_back(trace);
      perturbed::Verdicts v = perturbed::judge(program, trace, maxStates);
      seconds.push_back(v.explainSeconds);
      explained += v.explain == perturbed::Verdicts::Explain::Found;
      if (v.explain == perturbed::Verdicts::Explain::GaveUp) {
        ++gaveUp;
        std::printf("--- gave up on this run of %s:\n%s", program.c_str(), trace.c_str());
      }
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("%-9s real runs %zu: explained %d, gave up %d; explain time median %.3f s, max %.3f s\n",
                program.c_str(), seconds.size(), explained, gaveUp, seconds.empty() ? 0 : seconds[seconds.size() / 2],
                seconds.empty() ? 0 : seconds.back());
    std::vector<perturbed::Kind> kinds{perturbed::Kind::Swap, perturbed::Kind::Drop, perturbed::Kind::Outcome};
    if (program == "niz-mark") kinds.push_back(perturbed::Kind::Value);
    std::map<std::string, int> counts;
    int checked = 0, disagreements = 0;
    for (int p = 0; p < perturbations && !traces.empty(); ++p) {
      perturbed::Kind kind = kinds[static_cast<std::size_t>(p) % kinds.size()];
      std::string changed = perturbed::perturb(traces[static_cast<std::size_t>(p) % traces.size()], kind, random);
      if (changed.empty()) continue;
      perturbed::Verdicts v = perturbed::judge(program, changed, maxStates, kDefaultBound);
      ++checked;
      std::string verdict = v.name();
      if (!v.agree()) {
        ++disagreements;
        std::printf("--- disagreement (%s, provera %s):\n%s%s\n", perturbed::kindName(kind),
                    v.proveraAccepts ? "accepts" : "rejects", changed.c_str(), v.explainOutput.c_str());
      }
      ++counts[std::string(perturbed::kindName(kind)) + " " + verdict];
    }
    std::printf("%-9s perturbed %d, disagreements %d:", program.c_str(), checked, disagreements);
    for (const auto& [what, n] : counts) std::printf(" %s %d;", what.c_str(), n);
    std::printf("\n");
    std::fflush(stdout);
  }
}
