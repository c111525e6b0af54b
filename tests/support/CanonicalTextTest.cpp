// The text forms the expected CSV files use; readers under test are compared through them.
#include "support/CanonicalText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

namespace canonical = testsupport::canonical;

TEST(CanonicalText, Dates) {
  const std::vector<std::pair<int64_t, const char*>> cases = {
      {1, "0001-01-01"},         {719163, "1970-01-01"},   {728783, "1996-05-04"},
      {693594, "1899-12-30"},    {730179, "2000-02-29"},   {730180, "2000-03-01"},
      {738945, "2024-02-29"},    {3652059, "9999-12-31"},  {0, "#DATE(0)"},
      {-366, "#DATE(-366)"},     {3652060, "#DATE(3652060)"},
  };
  for (const auto& [days, text] : cases) EXPECT_EQ(canonical::date(days), text) << days;
}

TEST(CanonicalText, Times) {
  const std::vector<std::pair<int64_t, const char*>> cases = {
      {0, "00:00:00"},           {4212000, "01:10:12"},   {43200001, "12:00:00.001"},
      {86399999, "23:59:59.999"}, {86400000, "#TIME(86400000)"}, {-1, "#TIME(-1)"},
  };
  for (const auto& [ms, text] : cases) EXPECT_EQ(canonical::time(ms), text) << ms;
}

TEST(CanonicalText, Timestamps) {
  const double day = 86'400'000.0;
  const std::vector<std::pair<double, const char*>> cases = {
      {day, "0001-01-01 00:00:00"},
      {719163 * day + 39'600'000, "1970-01-01 11:00:00"},
      {738945 * day + 30'600'250, "2024-02-29 08:30:00.250"},
      {3652059 * day + 86'399'000, "9999-12-31 23:59:59"},
      {-31618800000.0, "#TS(-31618800000)"},
      {day - 1, "#TS(86399999)"},
      {3652060 * day, "#TS(3.15537984e+14)"},
      {day + 0.5, "#TS(86400000.5)"},
  };
  for (const auto& [ms, text] : cases) EXPECT_EQ(canonical::timestamp(ms), text) << text;
  EXPECT_EQ(canonical::timestamp(std::numeric_limits<double>::quiet_NaN()).rfind("#TS(", 0), 0u);
}

TEST(CanonicalText, NumbersAsTheExpectedFilesShowThem) {
  const std::vector<std::pair<double, const char*>> cases = {
      {40, "40"},       {-0.01, "-0.01"},  {0.1, "0.1"},   {52500.5, "52500.5"},
      {-1e20, "-1e+20"}, {1e-05, "1e-05"}, {1e16, "1e+16"}, {3.141592653589793, "3.141592653589793"},
      {0, "0"},
  };
  for (const auto& [v, text] : cases) EXPECT_EQ(canonical::number(v), text);
}

TEST(CanonicalText, DecimalWithScale) {
  struct Case {
    const char* text;
    int scale;
    const char* result;
  };
  const std::vector<Case> cases = {
      {"13.1", 3, "13.100"},  {"-7.5", 2, "-7.50"}, {"40", 6, "40.000000"}, {"1", 0, "1"},
      {"0.00", 2, "0.00"},    {"1.234", 2, ""},     {"-", 2, ""},           {"1.2x", 2, ""},
      {"-??.??", 2, ""},      {"", 2, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(canonical::decimalWithScale(c.text, c.scale), c.result) << c.text << " " << c.scale;
}

}  // namespace
