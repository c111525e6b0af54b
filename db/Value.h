#pragma once
// A field value as the drivers decode it from a record and encode it back. Drivers know
// bytes; ValueText knows how the users write values; Value is what passes between them.
#include <cstdint>
#include <string>

struct Value {
  enum class Kind : uint8_t { Null, Int, Float, Bool, Date, Time, DateTime, Bcd, Text, Bytes };
  Kind kind = Kind::Null;
  int64_t i = 0;  // Int; Bool 0/1; Date: days, 1 = 0001-01-01; Time: ms since midnight; Bcd: scale
  double d = 0;   // Float; DateTime: ms counted as days * 86 400 000 + ms of the day
  std::string s;  // Text (UTF-8) or Bytes; Bcd: the digits without point, '-' first when negative

  bool isNull() const { return kind == Kind::Null; }
  static Value null() { return {}; }
  static Value ofInt(int64_t v) { Value x; x.kind = Kind::Int; x.i = v; return x; }
  static Value ofFloat(double v) { Value x; x.kind = Kind::Float; x.d = v; return x; }
  static Value ofBool(bool v) { Value x; x.kind = Kind::Bool; x.i = v ? 1 : 0; return x; }
  static Value ofDate(int64_t days) { Value x; x.kind = Kind::Date; x.i = days; return x; }
  static Value ofTime(int64_t ms) { Value x; x.kind = Kind::Time; x.i = ms; return x; }
  static Value ofDateTime(double ms) { Value x; x.kind = Kind::DateTime; x.d = ms; return x; }
  static Value ofText(std::string s) { Value x; x.kind = Kind::Text; x.s = std::move(s); return x; }
  static Value ofBytes(std::string s) { Value x; x.kind = Kind::Bytes; x.s = std::move(s); return x; }
  static Value ofBcd(std::string digits, int scale) {
    Value x; x.kind = Kind::Bcd; x.s = std::move(digits); x.i = scale; return x;
  }
};

constexpr int64_t kMsPerDay = 86'400'000;
constexpr int64_t kMaxDay = 3'652'059;  // 9999-12-31
