#include "scratch.hpp"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

namespace seam {

Scratch::Scratch() {
  std::string base = ::testing::TempDir();
  if (!base.ends_with('/')) base += '/';
  std::string pattern = base + "niz-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr)
    throw std::runtime_error("cannot make a temporary directory in " + base + ": " + std::strerror(errno));
  dir_ = name.data();
}

Scratch::~Scratch() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace seam
