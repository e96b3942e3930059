// Whole-file input: a regular file is read straight into a buffer of its
// size; a stream grows its buffer, up to a limit.

#include "tracksmith/cli/input.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tracksmith::cli {
namespace {

/// Closes a file whose reading or writing failed and passes the error on.
int close_failed(int fd, int error) {
  ::close(fd);
  return error;
}

}  // namespace

int read_input(const std::string& path, std::string& bytes, std::uint64_t limit) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  // A regular file is read straight into a buffer of its size. When the
  // buffer is full, a small read tells whether anything follows (a pipe, a
  // file that grew meanwhile); only then does the buffer grow, doubling, up
  // to the limit: an endless stream is not read until memory runs out.
  std::size_t size = 0;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    const auto file_size = static_cast<std::uint64_t>(info.st_size);
    if (file_size >= limit) return close_failed(fd, EFBIG);
    bytes.resize(file_size);
  }
  char probe[1 << 16];
  for (;;) {
    const bool full = size == bytes.size();
    char* const into = full ? probe : bytes.data() + size;
    const ssize_t n = ::read(fd, into, full ? sizeof probe : bytes.size() - size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return close_failed(fd, errno);
    }
    if (n == 0) break;
    const auto count = static_cast<std::size_t>(n);
    if (full) {
      if (size + count >= limit) return close_failed(fd, EFBIG);
      bytes.resize(static_cast<std::size_t>(
          std::min<std::uint64_t>(std::max(2 * size, size + count), limit - 1)));
      std::memcpy(bytes.data() + size, probe, count);
    }
    size += count;
  }
  bytes.resize(size);
  ::close(fd);
  return 0;
}

}  // namespace tracksmith::cli
