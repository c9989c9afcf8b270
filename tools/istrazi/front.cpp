// istrazi PROGRAM ...: runs the explorer built for that program, which lies
// beside this executable (each program's globals need an executable of their own).
// istrazi --replay FILE ...: runs the explorer the saved schedule names (a
// broken copy's, from the tests, too).
// istrazi PROGRAM --play --copy NAME: runs the explorer of that broken copy.
// istrazi --source FILE PROGRAM ...: builds FILE as a variant of the program
// (or finds it built in the cache) and runs that explorer.
// istrazi --exercises: lists the broken copies the tests build, each with the
// goal of a learner who explores it.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "pty_run.hpp"
#include "source.hpp"

namespace {

constexpr const char* kUsage =
    "usage: istrazi PROGRAM [OPTIONS]   explore zadatak, niz-locks or niz-mark\n"
    "       istrazi --replay FILE [--save STAMPED]\n"
    "       istrazi --source FILE PROGRAM [OPTIONS]\n"
    "                                   explore your own variant of the program, built with the\n"
    "                                   explorer's flags and cached; it keeps the program's\n"
    "                                   globals (istrazi PROGRAM --globals) and trace lines\n"
    "       istrazi --exercises         the broken copies to explore, and the goal of each\n"
    "       istrazi PROGRAM --play [--scenario S] [--copy NAME] [--explain TRACE]\n"
    "                                   be the scheduler: choose who runs next\n"
    "       istrazi PROGRAM --help      the options and the scenario syntax\n";

// The explorer a saved schedule was made by; empty when the file says none.
std::string explorerOf(const char* path) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("explorer ")) return line.substr(9);
  return {};
}

// The tests' build writes the copies' names, goals and play scenarios, a tab
// between them, beside the copies' explorers.
int listExercises() {
  std::string path = timeline::executableDirectory() + "/../test-bin/istrazi-exercises.txt";
  std::ifstream in(path);
  if (!in) {
    std::cerr << "istrazi: cannot read " << path << ": " << std::strerror(errno) << "\n";
    return 2;
  }
  std::vector<std::pair<std::string, std::string>> exercises;
  std::size_t widest = 0;
  for (std::string line; std::getline(in, line);) {
    std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::size_t end = line.find('\t', tab + 1);
    exercises.emplace_back(line.substr(0, tab), line.substr(tab + 1, end == std::string::npos ? end : end - tab - 1));
    widest = std::max(widest, tab);
  }
  for (const auto& [name, goal] : exercises)
    std::cout << name << std::string(widest - name.size() + 2, ' ') << goal << "\n";
  if (!std::cout.flush()) {
    std::cerr << "istrazi: cannot write the exercises: " << std::strerror(errno) << "\n";
    return 2;
  }
  return 0;
}

bool isProgram(const char* name) {
  return std::strcmp(name, "zadatak") == 0 || std::strcmp(name, "niz-locks") == 0 || std::strcmp(name, "niz-mark") == 0;
}

bool safeName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos && name.starts_with("istrazi-");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  std::string explorer;
  if (argc == 2 && std::strcmp(argv[1], "--exercises") == 0) return listExercises();
  if (argc >= 3 && std::strcmp(argv[1], "--replay") == 0) {
    explorer = explorerOf(argv[2]);
    if (!safeName(explorer)) {
      std::cerr << "istrazi: " << argv[2] << " names no explorer; is it a saved schedule?\n";
      return 2;
    }
  } else if (argc >= 2 && isProgram(argv[1])) {
    explorer = std::string("istrazi-") + argv[1];
    // --copy NAME: the explorer of that broken copy of the program, which the
    // tests' build makes; it is told the name again, to say its goal.
    for (int i = 2; i + 1 < argc; ++i)
      if (std::strcmp(argv[i], "--copy") == 0) {
        std::string copy = argv[i + 1];
        if (!safeName("istrazi-" + copy) || !copy.starts_with(std::string(argv[1]) + "-")) {
          std::cerr << "istrazi: " << copy << " is not a broken copy of " << argv[1]
                    << " (istrazi --exercises lists them)\n";
          return 2;
        }
        explorer = "istrazi-" + copy;
      }
    args.erase(args.begin() + 1);
  } else if (argc >= 2 && std::strcmp(argv[1], "--source") == 0) {
    if (argc < 4 || !isProgram(argv[3])) {
      std::cerr << "istrazi: --source takes a file and a program (zadatak, niz-locks or niz-mark)\n" << kUsage;
      return 2;
    }
    istrazi::Variant variant;
    if (int status = istrazi::buildVariant(argv[2], argv[3], variant); status != 0) return status;
    args.erase(args.begin() + 1, args.begin() + 4);
    args[0] = variant.name.data();
    args.push_back(nullptr);
    execv(variant.path.c_str(), args.data());
    std::cerr << "istrazi: cannot run " << variant.path << ": " << std::strerror(errno) << "\n";
    return 2;
  } else {
    if (argc >= 2 && std::strcmp(argv[1], "--help") != 0 && std::strcmp(argv[1], "-h") != 0) {
      std::cerr << "istrazi: unknown program '" << argv[1] << "'\n" << kUsage;
      return 2;
    }
    (argc >= 2 ? std::cout : std::cerr) << kUsage;
    return argc >= 2 ? 0 : 2;
  }
  // The programs' explorers lie beside this one; those of the broken copies
  // the tests build, in the test builds' directory; those of variants, in the cache.
  std::string path = timeline::executableDirectory() + "/" + explorer;
  if (access(path.c_str(), X_OK) != 0) path = timeline::executableDirectory() + "/../test-bin/" + explorer;
  if (access(path.c_str(), X_OK) != 0 && !istrazi::variantCache().empty())
    path = istrazi::variantCache() + "/" + explorer;
  if (access(path.c_str(), X_OK) != 0 && explorer != std::string("istrazi-") + argv[1]) {
    std::cerr << "istrazi: no broken copy " << explorer.substr(8) << " has been built (istrazi --exercises lists them;"
              << " cmake --build build --target " << explorer << ")\n";
    return 2;
  }
  args[0] = explorer.data();
  args.push_back(nullptr);
  execv(path.c_str(), args.data());
  std::cerr << "istrazi: cannot run " << path << ": " << std::strerror(errno) << "\n";
  return 2;
}
