// The output file: a regular file is replaced through a new file beside it
// and a rename; devices, pipes and descriptors named under /dev or /proc are
// written as they stand; a file holding MIDI data is refused.

#include "tracksmith/cli/output.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tracksmith::cli {
namespace {

/// Bytes handed to the kernel per write call. A single call for a whole
/// large document lets the kernel fill the page cache with its largest
/// blocks, which measured several times slower and far less steady to
/// obtain than blocks of this size.
constexpr std::size_t kWritePiece = std::size_t{1} << 20;

/// Writes every byte of `data` to the open file; returns 0 or errno.
int write_all(int fd, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, std::min(data.size() - done, kWritePiece));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

/// The directory part of a path, "." for a bare name.
std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

/// Creates a new, empty file beside `target` with a name no other file has;
/// returns its descriptor and sets `name`, or -1 with errno set.
int create_temporary(const std::string& target, std::string& name) {
  const std::string stem = directory_of(target) + "/.tracksmith-" + std::to_string(::getpid()) + "-";
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    name = stem + std::to_string(attempt) + ".tmp";
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

/// True when the open file begins like a Standard MIDI File: "MThd", or an
/// RMID wrapper ("RIFF", four size bytes, "RMID").
bool starts_like_midi(int fd) {
  unsigned char head[12] = {};
  std::size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = ::pread(fd, head + got, sizeof head - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got >= 4 && std::memcmp(head, "MThd", 4) == 0) return true;
  return got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "RMID", 4) == 0;
}

/// The descriptor a path names when it is one of this process's open
/// descriptors (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N or
/// /proc/<this process>/fd/N), or -1.
int named_descriptor(const std::string& path) {
  std::string_view rest = path;
  int fd = -1;
  if (rest == "/dev/stdout") {
    fd = 1;
  } else if (rest == "/dev/stderr") {
    fd = 2;
  } else {
    const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string_view prefix : {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
                                          std::string_view(own)}) {
      if (rest.substr(0, prefix.size()) != prefix) continue;
      rest.remove_prefix(prefix.size());
      int number = 0;
      const auto [end, failure] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
      if (failure == std::errc{} && end == rest.data() + rest.size() && !rest.empty() && rest[0] != '+') {
        fd = number;
      }
      break;
    }
  }
  return fd >= 0 && ::fcntl(fd, F_GETFD) >= 0 ? fd : -1;
}

/// A character device, a pipe or a socket: what it takes is gone at once,
/// with no old text in it that a half-made document could spoil.
bool is_stream(const struct stat& info) {
  return S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode);
}

// The new file while it does not have the target's name, for an
// interrupting signal to remove: a copy of its name in room that is never
// freed, and whether it is there.
char unfinished_name[4096];
std::atomic<bool> unfinished{false};

// Holds off the interrupting signals while a new file is made and its name
// remembered, so that an interruption always finds the name of a file it
// may leave behind.
class InterruptionsHeld {
 public:
  InterruptionsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, signal_number);
    ::pthread_sigmask(SIG_BLOCK, &held, &before_);
  }
  InterruptionsHeld(const InterruptionsHeld&) = delete;
  InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;
  ~InterruptionsHeld() { ::pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

 private:
  sigset_t before_;
};

void remember_unfinished(const std::string& name) {
  unfinished = false;
  if (name.size() >= sizeof unfinished_name) return;  // such a name stays after a signal
  std::memcpy(unfinished_name, name.c_str(), name.size() + 1);
  unfinished = true;
}

}  // namespace

void remove_unfinished_output() noexcept {
  if (unfinished.load()) ::unlink(unfinished_name);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    unfinished = false;
  }
}

int OutputFile::open(const std::string& path) {
  target_ = path;
  struct stat existing {};
  if (::stat(path.c_str(), &existing) != 0) {
    // A link to nothing is written through, as it always was; nothing at
    // all gets a new file. A path ending in a slash names a directory,
    // which is never created: opening it says so.
    struct stat link {};
    if (errno != ENOENT || ::lstat(path.c_str(), &link) == 0 || path.empty() || path.back() == '/') {
      return open_in_place(path);
    }
    {
      const InterruptionsHeld held;
      fd_ = create_temporary(path, temporary_);
      if (fd_ >= 0) remember_unfinished(temporary_);
    }
    if (fd_ < 0) {
      temporary_.clear();
      return errno == EACCES || errno == EPERM ? open_in_place(path) : errno;
    }
    return 0;
  }
  if (S_ISREG(existing.st_mode)) {
    // Opening follows links, so this looks at the file that would be replaced.
    if (const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY); fd >= 0) {
      refused_ = starts_like_midi(fd);
      ::close(fd);
      // A mistyped command (tracksmith a.mid b.mid, or the input named twice)
      // would otherwise replace a MIDI file by a document.
      if (refused_) return 0;
    }
  }
  // A path that names one of this process's open descriptors (/dev/stdout,
  // /dev/fd/3) is written through that descriptor as it stands: at its
  // offset, with its flags (">> log" appends), and never cut.
  if (const int held = named_descriptor(path); held >= 0) {
    fd_ = ::fcntl(held, F_DUPFD_CLOEXEC, 3);
    if (fd_ < 0) return errno;
    struct stat info {};
    stream_ = ::fstat(fd_, &info) == 0 && is_stream(info);
    return 0;
  }
  if (!S_ISREG(existing.st_mode)) return open_in_place(path);
  // Any other path under /dev or /proc names a descriptor that someone
  // holds open: even when it leads to a regular file, that file is written
  // as it stands, since a new file in its place would take the name but not
  // the open descriptor.
  if (path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0) return open_in_place(path);
  struct stat link {};
  if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    // The link stays a link: the file it leads to is the one replaced.
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return errno;
    target_ = resolved;
    std::free(resolved);
  }
  // A file its user may not write stays protected, as when it was opened for
  // writing: a new file could otherwise take its place.
  if (::access(target_.c_str(), W_OK) != 0) return errno;
  {
    const InterruptionsHeld held;
    fd_ = create_temporary(target_, temporary_);
    if (fd_ >= 0) remember_unfinished(temporary_);
  }
  if (fd_ >= 0) return keep_owner_and_mode(existing);
  temporary_.clear();
  // A directory that takes no new file (no write permission on it, a full
  // or read-only file system) is refused rather than written over in place:
  // a failure on the way would leave the old file half replaced.
  no_new_file_ = true;
  return errno;
}

int OutputFile::open_in_place(const std::string& target) {
  fd_ = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) return errno;
  struct stat info {};
  if (::fstat(fd_, &info) != 0) return errno;
  if (S_ISREG(info.st_mode)) old_size_ = static_cast<std::uint64_t>(info.st_size);
  stream_ = is_stream(info);
  return 0;
}

int OutputFile::write(std::string_view text) {
  if (const int error = write_all(fd_, text); error != 0) return error;
  written_ += text.size();
  return 0;
}

int OutputFile::commit() {
  if (old_size_ > written_ && ::ftruncate(fd_, static_cast<off_t>(written_)) != 0) return errno;
  const int fd = fd_;
  fd_ = -1;
  // A deferred write error (for example on a network file system) shows
  // only here.
  if (::close(fd) != 0 && errno != EINTR) return errno;
  if (!temporary_.empty()) {
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) return errno;
    unfinished = false;
    temporary_.clear();
  }
  return 0;
}

/// The new file keeps the old one's owner and group where each is allowed
/// (the owner for the superuser, the group also for a user who belongs to
/// it), and its permission bits wherever the file system has them.
int OutputFile::keep_owner_and_mode(const struct stat& existing) {
  // Each on its own, so that the group is kept even where the owner cannot
  // be; what is not allowed stays the writer's, as for a new file.
  if (existing.st_uid != ::geteuid()) {
    [[maybe_unused]] const int ignored = ::fchown(fd_, existing.st_uid, static_cast<gid_t>(-1));
  }
  if (existing.st_gid != ::getegid()) {
    [[maybe_unused]] const int ignored = ::fchown(fd_, static_cast<uid_t>(-1), existing.st_gid);
  }
  if (::fchmod(fd_, existing.st_mode & 07777) == 0) return 0;
  // A file system without permission bits (FAT through FUSE) fixes every
  // file's mode itself.
  return errno == ENOSYS || errno == ENOTSUP || errno == EOPNOTSUPP ? 0 : errno;
}

}  // namespace tracksmith::cli
