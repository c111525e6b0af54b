#pragma once
// Exceptions of the core library that callers catch by kind. Their messages are Russian
// and ready to be shown to the user as they are.
#include <stdexcept>
#include <string>

// A text that should have been a number (or a date, …) is not one, or its value is out of
// range: "'99999999999999999999' не является допустимым целым числом".
class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A dataset's filter text cannot be used: syntax error, unknown field, a constant that does
// not fit its field. position is the 1-based character position of the offending token
// (0 when the error belongs to no single token).
class EFilterError : public std::runtime_error {
public:
  EFilterError(const std::string& message, int position) : std::runtime_error(message), position_(position) {}
  int position() const { return position_; }

private:
  int position_ = 0;
};
