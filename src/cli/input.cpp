// Whole-file input: a regular file is read straight into pages of its size;
// a stream grows them, up to a limit.

#include "tracksmith/cli/input.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tracksmith::cli {
namespace {

/// Closes a file whose reading or writing failed and passes the error on.
int close_failed(int fd, int error) {
  ::close(fd);
  return error;
}

std::size_t page_size() {
  static const std::size_t size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

}  // namespace

void InputBytes::release(std::span<const std::uint8_t> part) noexcept {
  const std::size_t page = page_size();
  const auto begin = reinterpret_cast<std::uintptr_t>(part.data());
  const std::uintptr_t first = (begin + page - 1) / page * page;
  const std::uintptr_t last = (begin + part.size()) / page * page;
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

void InputBytes::clear() noexcept {
  if (data_ != nullptr) ::munmap(data_, capacity_);
  data_ = nullptr;
  size_ = 0;
  capacity_ = 0;
}

int InputBytes::reserve(std::size_t capacity) noexcept {
  if (capacity <= capacity_) return 0;
  const std::size_t page = page_size();
  capacity = (capacity + page - 1) / page * page;
  void* const pages = data_ == nullptr
                          ? ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                          : ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE);
  if (pages == MAP_FAILED) return ENOMEM;
  data_ = static_cast<std::uint8_t*>(pages);
  capacity_ = capacity;
  return 0;
}

int read_input(const std::string& path, InputBytes& input, std::uint64_t limit) {
  input.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  // A regular file is read straight into pages of its size. When they are
  // full, a small read tells whether anything follows (a pipe, a file that
  // grew meanwhile); only then do they grow, doubling, up to the limit: an
  // endless stream is not read until memory runs out.
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    const auto file_size = static_cast<std::uint64_t>(info.st_size);
    if (file_size >= limit) return close_failed(fd, EFBIG);
    if (const int error = input.reserve(static_cast<std::size_t>(file_size)); error != 0) return close_failed(fd, error);
  }
  char probe[1 << 16];
  std::size_t& size = input.size_;
  for (;;) {
    const bool full = size == input.capacity_;
    char* const into = full ? probe : reinterpret_cast<char*>(input.data_) + size;
    const ssize_t n = ::read(fd, into, full ? sizeof probe : input.capacity_ - size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return close_failed(fd, errno);
    }
    if (n == 0) break;
    const auto count = static_cast<std::size_t>(n);
    if (full) {
      if (size + count >= limit) return close_failed(fd, EFBIG);
      const auto wanted = std::min<std::uint64_t>(std::max(2 * size, size + count), limit - 1);
      if (const int error = input.reserve(static_cast<std::size_t>(wanted)); error != 0) return close_failed(fd, error);
      std::memcpy(input.data_ + size, probe, count);
    }
    size += count;
    // The pages may hold more than the limit allows.
    if (size >= limit) return close_failed(fd, EFBIG);
  }
  ::close(fd);
  return 0;
}

}  // namespace tracksmith::cli
