#include "files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace prikaz {
namespace {

bool writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool readWhole(const std::string& path, std::string& text) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    if (S_ISDIR(info.st_mode)) errno = EISDIR;
    int error = errno;
    close(fd);
    errno = error;
    return false;
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      int error = errno;
      close(fd);
      errno = error;
      return n == 0;
    }
  }
}

OutputFile::~OutputFile() { abandon(); }

bool OutputFile::open(const std::string& path) {
  path_ = path;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  made_ = fd_ >= 0;
  if (fd_ < 0 && errno == EEXIST) fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);  // EISDIR for a directory
  return fd_ >= 0;
}

bool OutputFile::write(const std::string& text) {
  struct stat info {};
  bool regular = fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);  // /dev/stdout, say, is not cut
  bool ok = (!regular || ftruncate(fd_, 0) == 0) && writeAll(fd_, text);
  int error = errno;
  ok = close(fd_) == 0 && ok;
  fd_ = -1;
  made_ = false;
  if (!ok && error != 0) errno = error;
  return ok;
}

void OutputFile::abandon() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
  if (made_) unlink(path_.c_str());
  made_ = false;
}

}  // namespace prikaz
