#pragma once
// The text form in which the fixtures' expected CSV files show Paradox values (see
// fixtures/paradox/expected/README.md). Readers under test format their values with these
// functions so that a comparison is a comparison of strings.
#include <cstdint>
#include <string>

namespace testsupport::canonical {

// Day number with 1 = 0001-01-01 (proleptic Gregorian) → "YYYY-MM-DD";
// "#DATE(n)" outside 1…3652059 (0001-01-01…9999-12-31).
std::string date(int64_t days);
// Milliseconds since midnight → "HH:MM:SS" or "HH:MM:SS.mmm"; "#TIME(n)" outside 0…86399999.
std::string time(int64_t ms);
// Milliseconds since 0001-01-01 00:00 counted as day × 86 400 000 + ms of day (so
// 0001-01-01 00:00 is 86 400 000) → "YYYY-MM-DD HH:MM:SS[.mmm]"; "#TS(x)" for a value that is
// not a whole number of milliseconds or whose day is not a valid date.
std::string timestamp(double ms);
// Shortest text that reads back as the same double (std::to_chars without a format:
// "40", "0.1", "-1e+20", "1e-05", "1e+16").
std::string number(double v);
// A decimal text (optional '-', digits, optional '.' and digits) with exactly `scale` digits after
// the point, padding with zeros: ("13.1", 3) → "13.100". Returns "" for text that is not such a
// decimal or has more than `scale` fraction digits (nothing is rounded away silently).
std::string decimalWithScale(const std::string& text, int scale);

}  // namespace testsupport::canonical
