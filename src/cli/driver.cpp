// The conversion driver: one pass of read, import, warn, write, report.
// Nothing reaches the output path before the whole document is made (a
// replaced file gets its new text under another name first), and every
// failure ends the run with one line and status 1.

#include "tracksmith/cli/driver.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tracksmith/cli/paths.hpp"
#include "tracksmith/tracksmith.hpp"

namespace tracksmith::cli {
namespace {

constexpr std::string_view kUsage = "Usage: tracksmith <input.mid> [output.track]\n";

void print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

/// "{description} (os error {number})", as the operating system words it.
std::string os_error_text(int error_number) {
  std::string text = std::strerror(error_number);
  text += " (os error ";
  text += std::to_string(error_number);
  text += ')';
  return text;
}

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

/// Alignment of file offsets, lengths and memory for writes that bypass the
/// page cache; a multiple of every common logical block size.
constexpr std::size_t kDirectAlignment = 4096;

/// Closes a written file; a deferred write error (for example on a network
/// file system) shows only here. Returns 0 or errno.
int close_written(int fd) {
  if (::close(fd) != 0 && errno != EINTR) return errno;
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

/// Where the document goes. A regular file (existing or not) is replaced:
/// the text goes into a new file beside it, which takes the target's name in
/// one step when it is complete. Until that step the old file is untouched,
/// and after any failure it is still there, byte for byte, with no new file
/// left behind. Devices, pipes and paths under /dev or /proc, and an existing
/// file whose directory takes no new file, are written as they stand, an
/// existing regular file then cut to the text's length.
class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  /// Closes the file; a new file that did not take the target's name is
  /// removed.
  ~Output() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
  }

  /// Opens the output; returns 0 or errno. `existing` is the target's status
  /// when it already exists.
  int open(const std::string& target, const struct stat* existing, bool replace) {
    target_ = target;
    if (replace) {
      // A file its user may not write stays protected, as when it was
      // opened for writing: a new file could otherwise take its place.
      if (existing != nullptr && ::access(target.c_str(), W_OK) != 0) return errno;
      std::string temporary;
      fd_ = create_temporary(target, temporary);
      if (fd_ >= 0) {
        temporary_ = std::move(temporary);
        return keep_owner_and_mode(existing);
      }
      // A directory that takes no new file (no write permission on it)
      // still lets a writable existing file be written over, as before.
      if (errno != EACCES && errno != EPERM) return errno;
    }
    fd_ = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) return errno;
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return errno;
    if (S_ISREG(info.st_mode)) old_size_ = static_cast<std::uint64_t>(info.st_size);
    return 0;
  }

  int fd() const { return fd_; }

  /// True for a new file nobody reads yet: it may take the text in pieces
  /// before the whole text exists, and whole blocks may bypass the page
  /// cache.
  bool is_new_file() const { return !temporary_.empty(); }

  /// Ends a complete write of `size` bytes: cuts a file written in place to
  /// that length, closes, and gives a new file the target's name. Returns 0
  /// or errno.
  int commit(std::uint64_t size) {
    if (old_size_ > size && ::ftruncate(fd_, static_cast<off_t>(size)) != 0) return errno;
    const int fd = fd_;
    fd_ = -1;
    if (const int error = close_written(fd); error != 0) return error;
    if (!temporary_.empty()) {
      if (::rename(temporary_.c_str(), target_.c_str()) != 0) return errno;
      temporary_.clear();
    }
    return 0;
  }

 private:
  /// The new file keeps the old one's owner where that is allowed (it is for
  /// the superuser, and for a group the user belongs to), and its permission
  /// bits in any case.
  int keep_owner_and_mode(const struct stat* existing) {
    if (existing == nullptr) return 0;
    if (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid()) {
      // Where it is not allowed, the file belongs to its writer, as a new
      // file would.
      [[maybe_unused]] const int ignored = ::fchown(fd_, existing->st_uid, existing->st_gid);
    }
    return ::fchmod(fd_, existing->st_mode & 07777) == 0 ? 0 : errno;
  }

  int fd_ = -1;
  std::string target_;
  std::string temporary_;  ///< the new file while it does not have the target's name
  std::uint64_t old_size_ = 0;  ///< an existing regular file written in place
};

/// Writes a document to an open output in order, in pieces.
///
/// Into a new file, finished pieces are written on a second thread while
/// the rest of the document is still being made, and whole blocks go to
/// the device without the page cache (O_DIRECT) through a small aligned
/// buffer; the last partial block, and everything after a direct write that
/// fell short, takes the ordinary path, which reports the real error of a
/// short write (a full disk, a size limit). Through the page cache a new
/// file takes fresh pages, which on a virtual machine that hands freed
/// memory back to its host cost a first touch by the host. Converting the
/// 27 MB file (a 108 MB document) over an existing output, medians of 7
/// alternating runs, each after a midicsv run: in pieces and direct, 0.39 s
/// and 283 MiB peak; in pieces through the page cache, 0.47 s; the whole
/// text after making it, direct, 0.46 s and 351 MiB. Writing over the old
/// file in place, which reuses its pages but loses it on a failed write,
/// took 0.39 s.
///
/// Anything else (devices, pipes, a file written in place) takes the text
/// only when it is whole, so that a failure while making it leaves nothing
/// half-written where someone can see it.
class DocumentWriter {
 public:
  DocumentWriter(int fd, bool new_file) : fd_(fd), in_pieces_(new_file) {
    if (!in_pieces_) return;
    bounce_ = std::aligned_alloc(kDirectAlignment, kWritePiece);
    const int flags = ::fcntl(fd_, F_GETFL);
    direct_ = bounce_ != nullptr && flags >= 0 && ::fcntl(fd_, F_SETFL, flags | O_DIRECT) == 0;
    spare_.reserve(kMaxBuffers);
    try {
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
      // Without a second thread, each piece is written when it is handed on.
    }
  }
  DocumentWriter(const DocumentWriter&) = delete;
  DocumentWriter& operator=(const DocumentWriter&) = delete;
  /// Stops the thread; pieces not yet written are dropped.
  ~DocumentWriter() {
    stop(true);
    std::free(bounce_);
  }

  /// Called as the document grows: once `text` holds a full piece, hands on
  /// its leading whole blocks and keeps the rest (at least two bytes, which
  /// the blank-line rule reads).
  void drain(std::string& text) {
    if (!in_pieces_ || text.size() < kPieceBytes) return;
    const std::size_t cut = (text.size() - 2) / kDirectAlignment * kDirectAlignment;
    std::string rest = take_spare();
    rest.assign(text, cut);
    text.resize(cut);
    std::swap(text, rest);
    if (!thread_.joinable()) {
      write_piece(rest);
      return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kMaxQueued; });
    queue_.push_back(std::move(rest));
    changed_.notify_all();
  }

  /// Writes the rest of the document after everything handed on; returns
  /// the number of bytes written in all, or sets `error` to errno.
  std::uint64_t finish(std::string_view rest, int& error) {
    stop(false);
    const std::size_t blocks = rest.size() / kDirectAlignment * kDirectAlignment;
    write_piece(rest.substr(0, blocks));
    if (direct_ && ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_DIRECT) != 0 && error_ == 0) {
      error_ = errno;
    }
    direct_ = false;
    write_piece(rest.substr(blocks));
    error = error_;
    return offset_;
  }

 private:
  /// Text handed on at a time, and how many pieces may wait to be written.
  static constexpr std::size_t kPieceBytes = std::size_t{4} << 20;
  static constexpr std::size_t kMaxQueued = 2;
  static constexpr std::size_t kMaxBuffers = kMaxQueued + 3;

  /// A buffer that held an earlier piece, whose pages are already there.
  std::string take_spare() {
    std::lock_guard lock(mutex_);
    if (spare_.empty()) return {};
    std::string buffer = std::move(spare_.back());
    spare_.pop_back();
    return buffer;
  }

  /// Waits for the thread; with `drop`, pieces not yet written are dropped.
  void stop(bool drop) {
    if (!thread_.joinable()) return;
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
      if (drop) queue_.clear();
    }
    changed_.notify_all();
    thread_.join();
  }

  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      std::string piece = std::move(queue_.front());
      queue_.pop_front();
      changed_.notify_all();
      lock.unlock();
      write_piece(piece);
      piece.clear();
      lock.lock();
      if (spare_.size() < kMaxBuffers) spare_.push_back(std::move(piece));
    }
  }

  /// Writes one piece after the ones before it (a whole number of blocks
  /// unless it is the last). After a failure nothing more is written.
  void write_piece(std::string_view data) {
    if (error_ != 0) return;
    std::size_t done = 0;
    while (direct_ && done + kDirectAlignment <= data.size()) {
      const std::size_t piece = std::min(data.size() - done, kWritePiece) / kDirectAlignment * kDirectAlignment;
      std::memcpy(bounce_, data.data() + done, piece);
      const ssize_t n = ::write(fd_, bounce_, piece);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || static_cast<std::size_t>(n) % kDirectAlignment != 0) {
        // After a short or refused direct write, the ordinary path starts
        // again at the last whole block and shows the write's real error.
        const int flags = ::fcntl(fd_, F_GETFL);
        direct_ = false;
        if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_DIRECT) != 0 ||
            ::lseek(fd_, static_cast<off_t>(offset_ + done), SEEK_SET) < 0) {
          error_ = errno;
          return;
        }
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    offset_ += done;
    const std::string_view buffered = data.substr(done);
    error_ = write_all(fd_, buffered);
    offset_ += buffered.size();
  }

  const int fd_;
  const bool in_pieces_;
  void* bounce_ = nullptr;  ///< aligned room for direct writes
  bool direct_ = false;     ///< whole blocks bypass the page cache
  std::uint64_t offset_ = 0;  ///< bytes written so far
  int error_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  std::vector<std::string> spare_;
  bool closing_ = false;
  std::thread thread_;
};

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

/// What stands at an output path, links followed.
struct OutputTarget {
  std::string path;  ///< where the text goes: the output path, or the file a link leads to
  bool exists = false;
  bool replace = false;  ///< through a new file and a rename; otherwise written as it stands
  bool midi = false;  ///< an existing regular file that holds MIDI data
  struct stat status {};
};

/// Looks at the output path; returns 0 or errno.
int inspect_output(const std::string& output, OutputTarget& target) {
  target.path = output;
  if (::stat(output.c_str(), &target.status) != 0) {
    // Nothing there, or a link to nothing (written through as before).
    struct stat link {};
    target.replace = errno == ENOENT && ::lstat(output.c_str(), &link) != 0;
    return 0;
  }
  target.exists = true;
  if (!S_ISREG(target.status.st_mode)) return 0;
  // Opening follows links, so this looks at the file that would be replaced.
  const int fd = ::open(output.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd >= 0) {
    target.midi = starts_like_midi(fd);
    ::close(fd);
  }
  // A path under /dev or /proc (/dev/stdout, /dev/fd/3) names a descriptor
  // that someone holds open: even when it leads to a regular file, that file
  // is written as it stands, since a new file in its place would take the
  // name but not the open descriptor.
  target.replace = output.rfind("/dev/", 0) != 0 && output.rfind("/proc/", 0) != 0;
  struct stat link {};
  if (target.replace && ::lstat(output.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    // The link stays a link: the file it leads to is the one replaced.
    char* resolved = ::realpath(output.c_str(), nullptr);
    if (resolved == nullptr) return errno;
    target.path = resolved;
    std::free(resolved);
  }
  return 0;
}

}  // namespace

namespace {

constexpr std::string_view kHelp =
    "\n"
    "Converts a Standard MIDI File into a .track document, the sectioned text in\n"
    "which a game's audio engine describes music: a layer of notes for each MIDI\n"
    "track, figures a track plays twice as motifs, and one song that plays every\n"
    "layer. Without an output path the input's extension is replaced by .track.\n"
    "An existing output is replaced only once the new document is complete, and\n"
    "a MIDI file is never replaced. Messages go to standard error; the exit\n"
    "status is 0 on success and 1 on any failure.\n"
    "\n"
    "  tracksmith --help      this text\n"
    "  tracksmith --version   the version\n"
    "\n"
    "The document and the messages are described in tracksmith(1).\n";

/// Writes an answer to standard output; returns the exit status.
int answer(std::string_view text) {
  if (const int error = write_all(STDOUT_FILENO, text); error != 0) {
    print("tracksmith: writing standard output: " + os_error_text(error) + "\n");
    return 1;
  }
  return 0;
}

int convert(int argc, char** argv) {
  // Recognised only as the sole argument: a file of that name stays
  // reachable as ./--help.
  if (argc == 2 && argv != nullptr && argv[1] != nullptr) {
    const std::string_view only = argv[1];
    if (only == "--help") return answer(std::string(kUsage) + std::string(kHelp));
    if (only == "--version") return answer("tracksmith " + std::string(version()) + "\n");
  }
  if (argc < 2 || argv == nullptr || argv[1] == nullptr) {
    print(kUsage);
    return 1;
  }
  // Arguments are used as the bytes they are: a path that is not valid UTF-8
  // still names its file, and is printed as given.
  const std::string input = argv[1];
  const std::string output = (argc >= 3 && argv[2] != nullptr) ? std::string(argv[2])
                                                                : derive_output_path(input);

  std::string buffer;
  if (const int error = read_input(input, buffer, kMaxInputBytes); error != 0) {
    print("Reading " + input + ": " + os_error_text(error) + "\n");
    return 1;
  }

  // The output is looked at and opened once the input has been imported,
  // at the first piece of text handed on (or at the end for a short
  // document): a bad input leaves every output alone.
  OutputTarget target;
  Output out;
  std::optional<DocumentWriter> writer;
  int error = 0;
  bool refused = false;
  const auto open_output = [&] {
    if (writer || error != 0 || refused) return;
    error = inspect_output(output, target);
    if (error != 0) return;
    // A mistyped command (tracksmith a.mid b.mid, or the input named twice)
    // would otherwise replace a MIDI file by a document.
    refused = target.midi;
    if (refused) return;
    error = out.open(target.path, target.exists ? &target.status : nullptr, target.replace);
    if (error == 0) writer.emplace(out.fd(), out.is_new_file());
  };
  ConvertOptions options;
  options.keep_model = true;
  // The input buffer goes before the text is made (27 MB file: 274 MiB peak
  // against 289 MiB when it is kept to the end).
  options.input_done = [&buffer] { std::string().swap(buffer); };
  options.drain = [&](std::string& part) {
    open_output();
    if (writer) writer->drain(part);
  };
  auto converted = tracksmith::convert(
      std::span(reinterpret_cast<const std::uint8_t*>(buffer.data()), buffer.size()), options);
  if (!converted) {
    for (const auto& warning : converted.error().warnings) print("Warning: " + warning + "\n");
    print("Importing " + input + ": " + converted.error().text() + "\n");
    return 1;
  }
  for (const auto& warning : converted->warnings) print("Warning: " + warning + "\n");
  open_output();
  if (refused) {
    print("Writing " + output + ": refusing to replace a MIDI file\n");
    return 1;
  }
  if (error == 0) {
    const std::uint64_t size = writer->finish(converted->text, error);
    if (error == 0) error = out.commit(size);
  }
  if (error != 0) {
    print("Writing " + output + ": " + os_error_text(error) + "\n");
    return 1;
  }
  print("Imported " + input + " \u2192 " + output + " (" + std::to_string(converted->layers) + " layers)\n");
  return 0;
}

}  // namespace

int run(int argc, char** argv) {
  // Past a file size limit (ulimit -f) the write is to fail with its error
  // and the usual message, not to end the process by a signal.
  std::signal(SIGXFSZ, SIG_IGN);
  // A standard error that cannot be written (a closed pipe) loses the
  // messages, but the conversion's outcome decides the exit status.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return convert(argc, argv);
  } catch (const std::bad_alloc&) {
    // A file too large for this machine's memory is a failure like any other:
    // one line and status 1, and nothing written (the write comes last).
    print("tracksmith: out of memory\n");
    return 1;
  }
}

}  // namespace tracksmith::cli