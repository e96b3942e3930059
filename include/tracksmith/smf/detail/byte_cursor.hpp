#pragma once
// Bounds-checked forward reader over a byte range of the input. Every read of
// the Standard MIDI File reader goes through it, and positions are reported as
// offsets into the whole input so that errors and damage notes can name them.

#include <cstddef>
#include <cstdint>
#include <span>

namespace tracksmith::smf::detail {

/// A variable-length quantity as read: its value, how many bytes it took and
/// whether the data ended before its last byte.
struct Vlq {
  std::uint32_t value = 0;
  bool complete = true;  ///< false when the data ended on a byte with the high bit set
  bool empty = false;    ///< true when not even one byte was there
};

/// Bounds-checked reading of big-endian numbers and variable-length
/// quantities from a byte span; a read past the end fails, never overruns.
class ByteCursor {
 public:
  /// Reads `bytes`, whose first byte sits at offset `base` of the input.
  ByteCursor(std::span<const std::uint8_t> bytes, std::size_t base) noexcept
      : begin_(bytes.data()), pos_(bytes.data()), end_(bytes.data() + bytes.size()), base_(base) {}

  bool at_end() const noexcept { return pos_ == end_; }
  std::size_t remaining() const noexcept { return static_cast<std::size_t>(end_ - pos_); }
  /// Offset of the next byte in the whole input.
  std::size_t offset() const noexcept { return base_ + static_cast<std::size_t>(pos_ - begin_); }

  /// The next byte without consuming it. Precondition: !at_end().
  std::uint8_t peek() const noexcept { return *pos_; }
  /// The byte `i` places ahead without consuming it. Precondition: i < remaining().
  std::uint8_t peek_at(std::size_t i) const noexcept { return pos_[i]; }
  /// Consumes `n` bytes. Precondition: n <= remaining().
  void skip(std::size_t n) noexcept { pos_ += n; }
  /// The `n` bytes just consumed. Precondition: at least `n` bytes were consumed.
  const std::uint8_t* ptr_before(std::size_t n) const noexcept { return pos_ - n; }
  /// Consumes one byte. Precondition: !at_end().
  std::uint8_t take() noexcept { return *pos_++; }

  /// Consumes min(n, remaining()) bytes and returns them, with their offset.
  std::span<const std::uint8_t> take_up_to(std::size_t n) noexcept {
    if (n > remaining()) n = remaining();
    std::span<const std::uint8_t> out(pos_, n);
    pos_ += n;
    return out;
  }
  void skip_up_to(std::size_t n) noexcept { pos_ += (n > remaining() ? remaining() : n); }

  /// Big-endian and little-endian fixed-width reads. Precondition: remaining() is enough.
  std::uint16_t u16be() noexcept {
    std::uint16_t v = static_cast<std::uint16_t>((pos_[0] << 8) | pos_[1]);
    pos_ += 2;
    return v;
  }
  std::uint32_t u32be() noexcept {
    std::uint32_t v = (std::uint32_t{pos_[0]} << 24) | (std::uint32_t{pos_[1]} << 16) |
                      (std::uint32_t{pos_[2]} << 8) | pos_[3];
    pos_ += 4;
    return v;
  }
  std::uint32_t u32le() noexcept {
    std::uint32_t v = (std::uint32_t{pos_[3]} << 24) | (std::uint32_t{pos_[2]} << 16) |
                      (std::uint32_t{pos_[1]} << 8) | pos_[0];
    pos_ += 4;
    return v;
  }

  /// A variable-length quantity of at most 4 bytes. When all 4 have the high
  /// bit set their 28-bit value is used and the next byte is left unread;
  /// at the end of the data the bits read so far are the value.
  Vlq vlq() noexcept {
    Vlq out;
    if (pos_ == end_) {
      out.complete = false;
      out.empty = true;
      return out;
    }
    // Most values in real files fit in one byte.
    std::uint8_t b = *pos_++;
    out.value = b & 0x7Fu;
    if (b < 0x80) return out;
    for (int i = 1; i < 4; ++i) {
      if (pos_ == end_) {
        out.complete = false;
        return out;
      }
      b = *pos_++;
      out.value = (out.value << 7) | (b & 0x7Fu);
      if (b < 0x80) return out;
    }
    return out;
  }

 private:
  const std::uint8_t* begin_;
  const std::uint8_t* pos_;
  const std::uint8_t* end_;
  std::size_t base_;
};

}  // namespace tracksmith::smf::detail