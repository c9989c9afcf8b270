// A temporary directory of the test's own, made with mkdtemp and removed with
// everything in it when the test ends, so that tests running side by side never
// share a file.
#pragma once

#include <string>

namespace seam {

class Scratch {
 public:
  Scratch();  // throws when no directory can be made
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

// The whole of the file at `path`, as bytes; empty if it cannot be read.
std::string readFile(const std::string& path);

}  // namespace seam
