#pragma once
// An owned UTF-8 text in 16 bytes: texts of up to 15 bytes live inside the
// object, longer ones in one heap block of exactly their size. Models that
// hold millions of short texts (a note's sound name) use it instead of
// std::string, which takes twice the room.

#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace common {

class CompactText {
 public:
  /// Longest text held without a heap block.
  static constexpr std::size_t kInlineCapacity = 15;

  CompactText() noexcept { set_inline_size(0); }

  /// From anything that reads as a std::string_view (literals, std::string).
  template <typename S>
    requires(std::is_convertible_v<const S&, std::string_view> &&
             !std::is_same_v<std::remove_cvref_t<S>, CompactText>)
  CompactText(const S& text) {  // NOLINT: implicit like std::string
    init(std::string_view(text));
  }

  CompactText(const CompactText& other) {
    // An inline text is copied as it lies, all 16 bytes at once.
    if (other.on_heap()) {
      init(other.view());
    } else {
      std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    }
  }
  CompactText(CompactText&& other) noexcept {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    other.set_inline_size(0);
  }
  CompactText& operator=(const CompactText& other) {
    if (this != &other) {
      if (!other.on_heap()) {
        release();
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
      } else {
        CompactText copy(other);
        swap(copy);
      }
    }
    return *this;
  }
  CompactText& operator=(CompactText&& other) noexcept {
    if (this != &other) {
      release();
      std::memcpy(bytes_, other.bytes_, sizeof bytes_);
      other.set_inline_size(0);
    }
    return *this;
  }
  ~CompactText() { release(); }

  std::size_t size() const noexcept { return on_heap() ? heap_size() : kInlineCapacity - bytes_[15]; }
  bool empty() const noexcept { return size() == 0; }
  const char* data() const noexcept { return on_heap() ? heap_data() : reinterpret_cast<const char*>(bytes_); }
  std::string_view view() const noexcept { return {data(), size()}; }
  operator std::string_view() const noexcept { return view(); }  // NOLINT: reads like std::string
  std::string str() const { return std::string(view()); }
  const char* begin() const noexcept { return data(); }
  const char* end() const noexcept { return data() + size(); }

  void clear() noexcept {
    release();
    set_inline_size(0);
  }

  CompactText& operator+=(std::string_view tail) {
    std::string joined;
    joined.reserve(size() + tail.size());
    joined.append(view()).append(tail);
    return *this = CompactText(joined);
  }

  void swap(CompactText& other) noexcept {
    unsigned char temp[sizeof bytes_];
    std::memcpy(temp, bytes_, sizeof bytes_);
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    std::memcpy(other.bytes_, temp, sizeof bytes_);
  }

  friend bool operator==(const CompactText& a, const CompactText& b) noexcept { return a.view() == b.view(); }
  template <typename S>
    requires(std::is_convertible_v<const S&, std::string_view> &&
             !std::is_same_v<std::remove_cvref_t<S>, CompactText>)
  friend bool operator==(const CompactText& a, const S& b) noexcept {
    return a.view() == std::string_view(b);
  }

  /// Writes the text to any stream that takes a std::string_view.
  template <typename Stream>
  friend Stream& operator<<(Stream& stream, const CompactText& text) {
    stream << text.view();
    return stream;
  }

 private:
  // Inline form: the characters, then in byte 15 the room left (15 - size),
  // which is 0 (a terminator) for a full 15-byte text. Heap form: the block
  // pointer in bytes 0-7, the size in bytes 8-14 and kHeapTag in byte 15.
  static constexpr unsigned char kHeapTag = 0x80;
  static constexpr std::uint64_t kMaxHeapSize = (std::uint64_t{1} << 56) - 1;

  bool on_heap() const noexcept { return bytes_[15] == kHeapTag; }

  const char* heap_data() const noexcept {
    const char* pointer = nullptr;
    std::memcpy(&pointer, bytes_, sizeof pointer);
    return pointer;
  }

  std::size_t heap_size() const noexcept {
    std::uint64_t size = 0;
    std::memcpy(&size, bytes_ + 8, 7);  // the low seven bytes of the size
    return static_cast<std::size_t>(size);
  }

  void set_inline_size(std::size_t size) noexcept {
    bytes_[size] = 0;
    bytes_[15] = static_cast<unsigned char>(kInlineCapacity - size);
  }

  void init(std::string_view text) {
    if (text.size() <= kInlineCapacity) {
      std::memcpy(bytes_, text.data(), text.size());
      set_inline_size(text.size());
      return;
    }
    if (text.size() > kMaxHeapSize) throw std::length_error("text too long");
    char* block = static_cast<char*>(::operator new(text.size()));
    std::memcpy(block, text.data(), text.size());
    std::memcpy(bytes_, &block, sizeof block);
    const std::uint64_t size = text.size();
    std::memcpy(bytes_ + 8, &size, 7);
    bytes_[15] = kHeapTag;
  }

  void release() noexcept {
    if (on_heap()) ::operator delete(const_cast<char*>(heap_data()));
  }

  alignas(8) unsigned char bytes_[16];
};

static_assert(sizeof(CompactText) == 16);
static_assert(std::endian::native == std::endian::little, "CompactText stores its size in the low 7 bytes");

}  // namespace common
