// libFuzzer target: provera's parser and checker on arbitrary bytes, as one
// program's trace (FUZZ_PROGRAM names it). Nothing may crash, leak, read out
// of bounds or hit undefined behaviour, and a verdict is always one of
// valid, violations or incomplete.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const provera::Program program = *provera::programNamed(FUZZ_PROGRAM);
  std::string_view text(reinterpret_cast<const char*>(data), size);
  provera::Report report = provera::check(program, text);
  for (const provera::Violation& v : report.violations)
    if (provera::describe(v).empty()) std::abort();
  if (report.valid() && report.summary.empty()) std::abort();
  // The same bytes as a run of the even-numbered workers only.
  provera::Scope scope;
  for (long id = 0; id < provera::workerCount(program); id += 2) scope.workers.insert(id);
  provera::check(program, text, scope);
  return 0;
}
