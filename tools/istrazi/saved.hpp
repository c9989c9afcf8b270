// The files a schedule is kept in: the saved schedule that --replay runs
// again, and the trace stamped with step numbers for prikaz --from.
#pragma once

#include <string>
#include <vector>

namespace istrazi {

struct Saved {
  std::string explorer;   // the executable that made it ("istrazi-niz-mark")
  std::string scenario;
  bool spurious = false;  // spurious wake-ups were allowed
  bool wholeSections = false;  // the coarser steps (RunOptions::wholeSections)
  std::string violation;  // empty: none
  std::vector<int> steps;  // the thread of every step
};

bool readSaved(const std::string& path, Saved& saved, std::string& error);
// False when the file cannot be written (errno says why).
bool writeSaved(const std::string& path, const Saved& saved);

std::string scheduleText(const std::vector<int>& schedule);  // "0 1 1 2"

// One line per trace line, the step that printed it standing for its time
// ("12.000000 USPEH: ..."), as prikaz --from reads a saved run; lines past
// `stepOfLine` get `steps`.
bool writeStamped(const std::string& path, const std::string& trace, const std::vector<int>& stepOfLine, int steps);

}  // namespace istrazi
