#pragma once
// The output file of the command line: what stands at the output path, and
// how the document reaches it without ever losing the old one.

#include <cstdint>
#include <string>
#include <string_view>

#include <sys/stat.h>

namespace tracksmith::cli {

/// Removes the new file of an output being written, if there is one, and
/// nothing else: for a signal handler (it only calls unlink).
void remove_unfinished_output() noexcept;

/// Where the document goes. A regular file (existing or not) is replaced:
/// the text goes into a new file beside it, which takes the target's name in
/// one step when it is complete. Until that step the old file is untouched,
/// and after any failure it is still there, byte for byte, with no new file
/// left behind; where no new file can be made beside it, it is not replaced
/// at all. A path naming an open descriptor of the process (/dev/stdout,
/// /dev/fd/N) is written through that descriptor as it stands; other
/// devices, pipes and paths under /dev or /proc are written as they stand,
/// a regular file reached that way then cut to the text's length. A file
/// that holds MIDI data is never opened for writing.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  /// Closes the file; a new file that did not take the target's name is
  /// removed.
  ~OutputFile();

  /// Looks at `path` and opens where the text goes; returns 0 or errno.
  /// When the path holds MIDI data nothing is opened and refused() is true.
  int open(const std::string& path);
  bool refused() const { return refused_; }
  /// True when open() failed because no new file could be made beside an
  /// existing one to replace it (the old file is then kept as it is).
  bool no_new_file() const { return no_new_file_; }

  /// True where the text may go in pieces before the whole of it exists: a
  /// new file nobody sees yet, and a character device, pipe or socket,
  /// which has no old text to lose (the text is made once the input is
  /// imported, so only running out of memory can stop it half-way, and the
  /// exit status then says so). A regular file or block device written in
  /// place takes the text only when it is whole, so that a failure while
  /// making it leaves the old text whole.
  bool takes_pieces() const { return !temporary_.empty() || stream_; }

  /// Appends `text` to what was written so far; returns 0 or errno.
  int write(std::string_view text);

  /// Ends a complete write: cuts a file written in place to its new length,
  /// closes, and gives a new file the target's name. Returns 0 or errno.
  int commit();

 private:
  int open_in_place(const std::string& target);
  int keep_owner_and_mode(const struct stat& existing);

  int fd_ = -1;
  bool refused_ = false;
  bool no_new_file_ = false;
  std::string target_;     ///< the path, or the file a link at it leads to
  std::string temporary_;  ///< the new file while it does not have the target's name
  std::uint64_t old_size_ = 0;  ///< an existing regular file written in place
  bool stream_ = false;         ///< a character device, pipe or socket
  std::uint64_t written_ = 0;
};

}  // namespace tracksmith::cli
