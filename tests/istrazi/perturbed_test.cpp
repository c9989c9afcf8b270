// provera and istrazi --explain agree at full size: a whole real run, perturbed
// (two adjacent lines swapped, a line dropped, an outcome or a value changed),
// is accepted by provera exactly when --explain finds a schedule that prints
// it. The runs are saved ones, so the verdicts are the same on every machine:
// 300 perturbed traces of three runs per program. A trace provera rejects is
// searched within 20,000 states, one it accepts within 500,000.
#include <gtest/gtest.h>

#include <map>

#include "perturbed.hpp"
#include "scratch.hpp"

namespace {

using perturbed::Kind;
using perturbed::Verdicts;

class Perturbed : public testing::TestWithParam<const char*> {};

TEST_P(Perturbed, ProveraAcceptsExactlyWhatASchedulePrints) {
  const std::string program = GetParam();
  std::mt19937 random(2024);
  std::vector<Kind> kinds{Kind::Swap, Kind::Drop, Kind::Outcome};
  if (program == "niz-mark") kinds.push_back(Kind::Value);
  std::vector<std::string> runs;
  for (int run = 1; run <= 3; ++run) {
    runs.push_back(seam::readFile(std::string(TRACE_DIR) + "/run-" + program + "-" + std::to_string(run) + ".txt"));
    ASSERT_FALSE(runs.back().empty()) << program;
  }
  std::map<std::string, int> counts;
  for (int k = 0; k < 300; ++k) {
    Kind kind = kinds[static_cast<std::size_t>(k) % kinds.size()];
    std::string changed = perturbed::perturb(runs[static_cast<std::size_t>(k) % runs.size()], kind, random);
    if (changed.empty()) continue;
    Verdicts v = perturbed::judge(program, changed, 20000, 500000);
    EXPECT_TRUE(v.agree()) << program << " " << perturbed::kindName(kind) << ": provera "
                           << (v.proveraAccepts ? "accepts" : "rejects") << "\n"
                           << changed << v.explainOutput;
    ++counts[std::string(perturbed::kindName(kind)) + ": " + v.name()];
  }
  for (const auto& [what, n] : counts) std::cout << program << " " << what << ": " << n << "\n";
}

INSTANTIATE_TEST_SUITE_P(Programs, Perturbed, testing::Values("zadatak", "niz-mark", "niz-locks"),
                         [](const auto& info) { return std::string(info.param) == "niz-mark" ? "nizmark" : std::string(info.param) == "niz-locks" ? "nizlocks" : "zadatak"; });

}  // namespace
