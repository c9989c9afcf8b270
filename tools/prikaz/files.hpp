// The files named on prikaz's command line.
#pragma once

#include <string>

namespace prikaz {

// The whole of the file at `path`; false, with errno set, when it cannot be
// read (a directory included).
bool readWhole(const std::string& path, std::string& text);

// A file to write once the run is over, opened before it starts so that a
// path that cannot be written is found before anyone waits for a run. It is
// replaced whole by write(); a file it made and never wrote is removed.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool open(const std::string& path);  // false with errno set
  bool write(const std::string& text);  // false with errno set
  bool isOpen() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }
  void abandon();  // closes it, removing it if it was made here

 private:
  std::string path_;
  int fd_ = -1;
  bool made_ = false;  // it did not exist before open()
};

}  // namespace prikaz
