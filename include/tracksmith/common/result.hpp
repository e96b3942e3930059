#pragma once
// Result<T>: a value or an Error, the way every fallible operation of the
// project reports failure. Bad input is never an exception. The member names
// follow std::expected so that switching to it later is a one-line alias.

#include <cstddef>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace tracksmith::common {

/// What kind of failure an Error describes.
enum class ErrorKind {
  InvalidMidi,  ///< the bytes are not a readable Standard MIDI File
};

/// A failure value: a kind, a one-line message, and where in the input it
/// happened when that is known.
struct Error {
  ErrorKind kind = ErrorKind::InvalidMidi;
  std::string message;
  std::optional<std::size_t> byte_offset;
};

/// Wrapper used to construct a failed Result without ambiguity.
template <class E = Error>
struct Unexpected {
  E error;
};

/// Wraps `error` for returning a failed Result.
template <class E>
Unexpected<E> unexpected(E error) {
  return Unexpected<E>{std::move(error)};
}

/// A failed Result's error of the given kind, message and input offset.
inline Unexpected<Error> make_error(ErrorKind kind, std::string message,
                                    std::optional<std::size_t> offset = std::nullopt) {
  return Unexpected<Error>{Error{kind, std::move(message), offset}};
}

/// Either a value of T or an error of E. Accessing the side it does not
/// hold is a programming error.
template <class T, class E = Error>
class [[nodiscard]] Result {
 public:
  Result(T value) : storage_(std::in_place_index<0>, std::move(value)) {}  // NOLINT
  Result(Unexpected<E> failure) : storage_(std::in_place_index<1>, std::move(failure.error)) {}  // NOLINT

  bool has_value() const noexcept { return storage_.index() == 0; }
  explicit operator bool() const noexcept { return has_value(); }

  T& value() & { return std::get<0>(storage_); }
  const T& value() const& { return std::get<0>(storage_); }
  T&& value() && { return std::get<0>(std::move(storage_)); }
  const E& error() const& { return std::get<1>(storage_); }
  E&& error() && { return std::get<1>(std::move(storage_)); }

  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

 private:
  std::variant<T, E> storage_;
};

/// Success without a value, or an error of E.
template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  Result(Unexpected<E> failure) : error_(std::move(failure.error)) {}  // NOLINT

  bool has_value() const noexcept { return !error_.has_value(); }
  explicit operator bool() const noexcept { return has_value(); }
  const E& error() const& { return *error_; }

 private:
  std::optional<E> error_;
};

}  // namespace tracksmith::common