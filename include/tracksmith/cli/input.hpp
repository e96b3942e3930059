#pragma once
// Whole-file input for the command line.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tracksmith::cli {

/// The bytes of an input, in pages of their own, so that the parts already
/// converted can be given back to the system while the rest is still read.
class InputBytes {
 public:
  InputBytes() = default;
  InputBytes(const InputBytes&) = delete;
  InputBytes& operator=(const InputBytes&) = delete;
  ~InputBytes() { clear(); }

  std::span<const std::uint8_t> bytes() const { return {data_, size_}; }
  /// Gives back the whole pages that lie within `part`, a part of bytes()
  /// that nobody reads any more; those bytes then read as zeros.
  void release(std::span<const std::uint8_t> part) noexcept;
  /// Gives back all of the memory; bytes() is then empty.
  void clear() noexcept;

 private:
  friend int read_input(const std::string& path, InputBytes& input, std::uint64_t limit);
  /// Makes room for `capacity` bytes, keeping those held; returns 0 or errno.
  int reserve(std::size_t capacity) noexcept;

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

/// Reads the whole file at `path` into `input`, replacing what it held, and
/// returns 0, or the errno of the call that failed. An input of `limit` bytes
/// or more fails with EFBIG, a stream as soon as it passes the limit, so that
/// an endless one (a device, a pipe) is not read until memory runs out.
int read_input(const std::string& path, InputBytes& input, std::uint64_t limit);

}  // namespace tracksmith::cli
