#pragma once
// Room for a count of values known only at run time, usually small: up to
// N in the object itself (on the caller's stack), more on the heap. For a
// writer or builder that needs a few values for a moment per note and would
// otherwise allocate a list for every one.

#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace tracksmith::common {

template <typename T, std::size_t N>
class SmallBuffer {
 public:
  /// Room for `count` values, default-constructed.
  explicit SmallBuffer(std::size_t count) {
    if (count > N) {
      heap_.resize(count);
      values_ = std::span<T>(heap_);
    } else {
      values_ = std::span<T>(inline_).first(count);
    }
  }
  // The view refers to the object's own storage.
  SmallBuffer(const SmallBuffer&) = delete;
  SmallBuffer& operator=(const SmallBuffer&) = delete;

  std::span<T> values() noexcept { return values_; }

 private:
  std::array<T, N> inline_{};
  std::vector<T> heap_;
  std::span<T> values_;
};

}  // namespace tracksmith::common
