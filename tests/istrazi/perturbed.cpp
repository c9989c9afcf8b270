#include "perturbed.hpp"

#include <fstream>

#include "check.hpp"
#include "child.hpp"
#include "scratch.hpp"

namespace perturbed {

const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::Swap: return "swap";
    case Kind::Drop: return "drop";
    case Kind::Outcome: return "outcome";
    case Kind::Value: return "value";
  }
  return "?";
}

namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The outcome words of both languages, each with the one it turns into.
constexpr std::pair<const char*, const char*> kFlips[] = {
    {"NEUSPEH:", "USPEH:"}, {"USPEH:", "NEUSPEH:"}, {"НЕУСПЕХ:", "УСПЕХ:"}, {"УСПЕХ:", "НЕУСПЕХ:"}};

}  // namespace

std::string perturb(const std::string& trace, Kind kind, std::mt19937& random) {
  std::vector<std::string> lines = seam::splitLines(trace);
  if (lines.size() < 2) return {};
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  std::vector<std::size_t> candidates;
  switch (kind) {
    case Kind::Swap: {
      std::size_t at = pick(lines.size() - 1);
      if (lines[at] == lines[at + 1]) return {};
      std::swap(lines[at], lines[at + 1]);
      return joined(lines);
    }
    case Kind::Drop:
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(pick(lines.size())));
      return joined(lines);
    case Kind::Outcome:
      for (std::size_t k = 0; k < lines.size(); ++k)
        for (auto [from, to] : kFlips)
          if (lines[k].starts_with(from)) candidates.push_back(k);
      if (candidates.empty()) return {};
      {
        std::string& line = lines[candidates[pick(candidates.size())]];
        for (auto [from, to] : kFlips)
          if (line.starts_with(from)) {
            line = to + line.substr(std::string(from).size());
            break;
          }
      }
      return joined(lines);
    case Kind::Value:
      for (std::size_t k = 0; k < lines.size(); ++k)
        if (lines[k].find(" broj ") != std::string::npos) candidates.push_back(k);
      if (candidates.empty()) return {};
      {
        std::string& line = lines[candidates[pick(candidates.size())]];
        std::size_t at = line.rfind(" broj ") + 6;
        int value = std::stoi(line.substr(at));
        line = line.substr(0, at) + std::to_string((value + 1 + static_cast<int>(pick(9))) % 10);
      }
      return joined(lines);
  }
  return {};
}

const char* Verdicts::name() const {
  if (!agree()) return "DISAGREE";
  if (proveraAccepts) return "found, accepted";
  return explain == Explain::NoSchedule ? "no schedule, rejected" : "none found, rejected";
}

std::string realRun(const std::string& program) {
  seam::Launch real(seam::programPath(program, seam::Build::Plain), {"SEAM_PAUSE=scale:1", "SEAM_JITTER=2"});
  seam::Outcome traced = seam::run(real, std::chrono::seconds(20));
  return traced.status == 0 ? traced.out : std::string();
}

namespace {

// One search of at most `maxStates` states.
Verdicts judgeWithin(const std::string& program, const std::string& trace, long maxStates) {
  Verdicts v;
  v.proveraAccepts = provera::check(*provera::programNamed(program), trace).valid();
  seam::Scratch dir;
  std::string file = dir.path("trace.txt");
  std::ofstream(file, std::ios::binary) << trace;
  seam::Launch launch(std::string(ISTRAZI_BIN_DIR) + "/istrazi");
  launch.args = {program, "--explain", file, "--out", dir.path("schedule"), "--limit", std::to_string(maxStates)};
  auto start = std::chrono::steady_clock::now();
  seam::Outcome outcome = seam::run(launch, std::chrono::seconds(100));
  v.explainSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  v.explainOutput = outcome.describe();
  bool noSchedule = outcome.status == 1 && outcome.out.find("no schedule prints this trace") != std::string::npos;
  // A trace whose lines are no run of workers names no scenario: no schedule prints it.
  bool noScenario = outcome.status == 2 && outcome.err.find("does not replay") == std::string::npos;
  if (outcome.status == 0 || (outcome.status == 1 && !noSchedule)) v.explain = Verdicts::Explain::Found;
  else if (noSchedule || noScenario) v.explain = Verdicts::Explain::NoSchedule;
  return v;
}

}  // namespace

Verdicts judge(const std::string& program, const std::string& trace, long maxStates, long acceptedMaxStates) {
  Verdicts v = judgeWithin(program, trace, maxStates);
  if (v.proveraAccepts && v.explain == Verdicts::Explain::GaveUp && acceptedMaxStates > maxStates)
    v = judgeWithin(program, trace, acceptedMaxStates);
  return v;
}

}  // namespace perturbed
