#include "workers.hpp"

#include <algorithm>

namespace provera {

const char* noun(Command command) {
  switch (command) {
    case Command::Read: return "read";
    case Command::Append: return "append";
    default: return "deletion";
  }
}

std::string withArticle(Command command) {
  return std::string(command == Command::Append ? "an " : "a ") + noun(command);
}

std::vector<Window> windows(const Workers& workers) {
  std::vector<Window> result;
  for (const auto& [id, w] : workers)
    if (const Line* exec = w.execution()) result.push_back({&w, exec->number, w.outcome()->number});
  std::sort(result.begin(), result.end(), [](const Window& a, const Window& b) { return a.from < b.from; });
  return result;
}

void checkPairs(const Workers& workers, PairRule rule, std::vector<Violation>& out) {
  std::vector<Window> all = windows(workers);
  for (std::size_t i = 0; i < all.size(); ++i)
    for (std::size_t j = i + 1; j < all.size() && all[j].from < all[i].to; ++j) {
      std::string broken = rule(*all[i].worker, *all[j].worker, workers);
      if (!broken.empty()) out.push_back({all[j].from, {all[i].worker->id, all[j].worker->id}, broken});
    }
}

}  // namespace provera
