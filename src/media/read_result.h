// What the movie readers give back: a value, or a message for the user that
// says what is wrong with the file.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace ks {

struct ReadFailure {
  std::string message;
};

template <class T>
class ReadResult {
 public:
  ReadResult(T value) : value_(std::move(value)) {}
  ReadResult(ReadFailure failure) : error_(std::move(failure.message)) {}

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  T& value() { return *value_; }
  const T& value() const { return *value_; }
  const std::string& error() const { return error_; }

 private:
  std::optional<T> value_;
  std::string error_;
};

using ReadStatus = ReadResult<std::monostate>;
inline const ReadStatus kReadOk{std::monostate{}};

inline ReadFailure damaged(const std::string& what) { return {"the file is damaged: " + what}; }

}  // namespace ks
