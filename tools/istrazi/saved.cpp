#include "saved.hpp"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "istrazi.hpp"

namespace istrazi {

std::string scheduleText(const std::vector<int>& schedule) {
  std::string text;
  for (int t : schedule) text += (text.empty() ? "" : " ") + std::to_string(t);
  return text;
}

bool writeSaved(const std::string& path, const Saved& saved) {
  std::ofstream out(path);
  out << "istrazi schedule\n"
      << "explorer " << saved.explorer << "\n"
      << "scenario " << saved.scenario << "\n"
      << "spurious " << (saved.spurious ? "yes" : "no") << "\n"
      << "sections " << (saved.wholeSections ? "whole" : "split") << "\n"
      << "violation " << saved.violation << "\n"
      << "steps " << scheduleText(saved.steps) << "\n";
  out.close();
  return static_cast<bool>(out);
}

bool readSaved(const std::string& path, Saved& saved, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string line;
  if (!std::getline(in, line) || line != "istrazi schedule") {
    error = path + " is not a saved schedule";
    return false;
  }
  bool haveSteps = false;
  while (std::getline(in, line)) {
    std::string key = line.substr(0, line.find(' '));
    std::string value = line.size() > key.size() ? line.substr(key.size() + 1) : "";
    if (key == "explorer") saved.explorer = value;
    else if (key == "scenario") saved.scenario = value;
    else if (key == "spurious") saved.spurious = value == "yes";
    else if (key == "sections") saved.wholeSections = value == "whole";
    else if (key == "violation") saved.violation = value;
    else if (key == "steps") {
      std::istringstream numbers(value);
      for (int t; numbers >> t;) {
        if (t < 0 || t >= kMaxThreads) {
          error = path + ": step thread out of range";
          return false;
        }
        saved.steps.push_back(t);
      }
      haveSteps = !numbers.bad();
    }
  }
  if (!haveSteps || saved.scenario.empty()) {
    error = path + " lacks its scenario or steps";
    return false;
  }
  return true;
}

bool writeStamped(const std::string& path, const std::string& trace, const std::vector<int>& stepOfLine, int steps) {
  std::ofstream out(path);
  std::istringstream lines(trace);
  std::size_t n = 0;
  for (std::string line; std::getline(lines, line); ++n)
    out << (n < stepOfLine.size() ? stepOfLine[n] : steps) << ".000000 " << line << "\n";
  out.close();
  return static_cast<bool>(out);
}

}  // namespace istrazi
