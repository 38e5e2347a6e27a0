/// \file
/// The one way the library says that something failed: an Error (a code
/// callers can branch on and a message a user can read, naming the file,
/// tag or offset concerned), returned in a Result<T> that holds either the
/// value or the error, in the manner of C++23's std::expected (which GCC 12
/// lacks in C++20 mode). Status is a Result without a value.
///
/// Nothing in the library throws to say that it failed; where a caller must
/// see a documented status number (DicomStatus, DCT_STATUS), the code is
/// translated at that edge.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace quillon {

/// What kind of failure an Error is. The first codes share their numbers
/// with DicomStatus, so a status number survives the trip through an Error.
enum class ErrorCode : unsigned {
  /// Anything without a kind of its own: bad input, a wrong argument.
  Failure = 0,
  /// The stream ended where more was expected.
  EndOfStream = 3,
  /// What was asked for is absent.
  NotPresent = 4,
  /// What was asked for exists but is of another kind.
  WrongKind = 5,
  /// The data model or the writer refuses an element (the message says
  /// which rule it breaks).
  Refused = 10,
  /// The input is damaged: a length past the end, a missing delimiter, a
  /// header that is no header.
  Malformed = 11,
  /// The operating system refused: open, read, write, rename, sync.
  Io = 12,
  /// Memory for a value or a frame could not be had.
  OutOfMemory = 13,
  /// The caller asked to stop.
  Cancelled = 14,
};

class Error {
 public:
  Error(ErrorCode code, std::string message) : m_code(code), m_message(std::move(message)) {}

  ErrorCode Code() const { return m_code; }
  const std::string& Message() const { return m_message; }
  /// The same error with `context` put in front of its message
  /// ("cannot save \"a.dcm\": " + message).
  Error WithContext(const std::string& context) const& { return Error(m_code, context + m_message); }

 private:
  ErrorCode m_code;
  std::string m_message;
};

/// A value of type T, or the Error that kept it from being made.
template <typename T>
class [[nodiscard]] Result {
 public:
  static_assert(!std::is_same_v<std::decay_t<T>, Error>, "a Result holds a value or an Error, not an Error value");

  Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  Result(Error error) : m_state(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit by design

  bool HasValue() const { return m_state.index() == 0; }
  explicit operator bool() const { return HasValue(); }

  T& Value() & {
    assert(HasValue());
    return std::get<0>(m_state);
  }
  const T& Value() const& {
    assert(HasValue());
    return std::get<0>(m_state);
  }
  T&& Value() && {
    assert(HasValue());
    return std::get<0>(std::move(m_state));
  }
  T& operator*() & { return Value(); }
  const T& operator*() const& { return Value(); }
  T* operator->() { return &Value(); }
  const T* operator->() const { return &Value(); }

  const Error& GetError() const {
    assert(!HasValue());
    return std::get<1>(m_state);
  }
  /// The error's message; empty when there is a value.
  const std::string& Message() const {
    static const std::string kNone;
    return HasValue() ? kNone : GetError().Message();
  }

 private:
  std::variant<T, Error> m_state;
};

/// Success, or the Error of a failure: a Result without a value. Success
/// holds no error at all, so the many statuses of a hot path (one per
/// element read or exported) cost no string.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : m_error(std::move(error)) {}  // NOLINT: implicit by design

  bool HasValue() const { return !m_error.has_value(); }
  explicit operator bool() const { return HasValue(); }

  const Error& GetError() const {
    assert(m_error.has_value());
    return *m_error;
  }
  /// The error's message; empty on success.
  const std::string& Message() const {
    static const std::string kNone;
    return m_error ? m_error->Message() : kNone;
  }

 private:
  std::optional<Error> m_error;
};

using Status = Result<void>;

/// Success, for a Status returned where nothing went wrong.
inline Status Ok() { return {}; }

}  // namespace quillon
