// libFuzzer target: reading a saved run (prikaz --from), then regrouping its
// lines by worker and judging them, for each of the three programs.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check.hpp"
#include "stamped.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<timeline::Stamped> lines;
  std::string problem;
  if (!timeline::readStamped(text, lines, problem)) return 0;
  for (provera::Program program : {provera::Program::Zadatak, provera::Program::NizLocks, provera::Program::NizMark}) {
    timeline::spans(program, lines);
    provera::check(program, timeline::joined(lines));
  }
  return 0;
}
