#pragma once
// Conversion errors: a text that does not convert to a number, a date, … The message is
// Russian and names the text, as the user typed or read it.
#include <stdexcept>
#include <string>

class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
