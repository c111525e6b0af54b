// Values as the users write them, and back: every text AsString gives must read back to
// the very same value.
#include "common/Errors.h"
#include "db/ValueText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace valuetext;

TEST(ValueText, RussianFormsOfEachKind) {
  struct { Value v; const char* text; } cases[] = {
      {Value::ofFloat(1234.5), "1234,5"},
      {Value::ofFloat(0.1), "0,1"},
      {Value::ofFloat(-0.01), "-0,01"},
      {Value::ofFloat(1e20), "1E20"},
      {Value::ofFloat(-1e20), "-1E20"},
      {Value::ofFloat(1e-5), "1E-5"},
      {Value::ofFloat(0.0001), "0,0001"},
      {Value::ofFloat(1e16), "1E16"},
      {Value::ofFloat(123456789012345.0), "123456789012345"},
      {Value::ofFloat(3.141592653589793), "3,141592653589793"},
      {Value::ofFloat(0.1 + 0.2), "0,30000000000000004"},
      {Value::ofFloat(1.5e-7), "1,5E-7"},
      {Value::ofDate(daysFromCivil(2023, 12, 25)), "25.12.2023"},
      {Value::ofDate(1), "01.01.0001"},
      {Value::ofDate(kMaxDay), "31.12.9999"},
      {Value::ofTime((9 * 3600 + 5 * 60 + 7) * 1000LL), "9:05:07"},
      {Value::ofTime(86'399'999), "23:59:59.999"},
      {Value::ofTime(0), "0:00:00"},
      {Value::ofDateTime(static_cast<double>(daysFromCivil(2023, 12, 25) * kMsPerDay + 32'707'000)), "25.12.2023 9:05:07"},
      {Value::ofDateTime(static_cast<double>(daysFromCivil(2024, 2, 29) * kMsPerDay + 30'600'250)), "29.02.2024 8:30:00.250"},
      {Value::ofDateTime(static_cast<double>(daysFromCivil(1899, 12, 30) * kMsPerDay)), "30.12.1899"},
      {Value::ofBcd("-12345", 2), "-123,45"},
      {Value::ofBcd("5", 3), "0,005"},
      {Value::ofBcd("0", 2), "0,00"},
      {Value::ofBcd("40000000", 6), "40,000000"},
      {Value::ofBcd("7", 0), "7"},
      {Value::ofBool(true), "True"},
      {Value::ofBool(false), "False"},
      {Value::ofInt(-1234), "-1234"},
      {Value::null(), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(format(c.v), c.text);
  EXPECT_EQ(daysFromCivil(1970, 1, 1), 719163);
  EXPECT_EQ(daysFromCivil(1996, 5, 4), 728783);
}

TEST(ValueText, FloatsReadBackExactly) {
  std::mt19937_64 rng(42);
  std::uniform_int_distribution<uint64_t> bits;
  int checked = 0;
  while (checked < 100000) {
    uint64_t b = bits(rng);
    double d;
    std::memcpy(&d, &b, 8);
    if (!std::isfinite(d)) continue;
    ++checked;
    std::string s = formatFloat(d);
    ASSERT_EQ(s.find('.'), std::string::npos) << s;
    double back = parseFloat(s);
    ASSERT_EQ(std::memcmp(&back, &d, 8), 0) << s;
  }
  for (double d : {std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
                   std::numeric_limits<double>::max(), -0.0}) {
    EXPECT_EQ(std::signbit(parseFloat(formatFloat(d))), std::signbit(d));
    EXPECT_EQ(parseFloat(formatFloat(d)), d);
  }
}

TEST(ValueText, DatesAndTimesReadBackForEveryDayAndManyTimes) {
  for (int64_t day = 1; day <= kMaxDay; day += 97) ASSERT_EQ(parseDate(formatDate(day)), day);
  for (int64_t ms = 0; ms < kMsPerDay; ms += 999'983) ASSERT_EQ(parseTime(formatTime(ms)), ms);
  for (int64_t ms = 0; ms < kMsPerDay; ms += 12'345'677) {
    double ts = static_cast<double>(740000 * kMsPerDay + ms);
    ASSERT_EQ(parseDateTime(formatDateTime(ts)), ts);
  }
}

TEST(ValueText, ParsingAcceptsWhatUsersTypeAndRefusesTheRest) {
  EXPECT_EQ(parseFloat("12.5"), 12.5);
  EXPECT_EQ(parseFloat(" 12,5 "), 12.5);
  EXPECT_EQ(parseFloat("1e+20"), 1e20);
  EXPECT_EQ(parseDate("2024-01-15"), daysFromCivil(2024, 1, 15));
  EXPECT_EQ(parseDate("1.2.24"), daysFromCivil(2024, 2, 1));
  EXPECT_EQ(parseTime("09:05"), (9 * 60 + 5) * 60'000);
  EXPECT_EQ(parseTime("1:02:03,5"), 3'723'500);
  EXPECT_TRUE(parseBool("tr"));
  EXPECT_FALSE(parseBool("F"));
  EXPECT_EQ(parseBcd("-1,5", 2, 32), "-150");
  EXPECT_EQ(parseBcd("1,2300", 2, 32), "123");
  struct { const char* text; int kind; } bad[] = {
      {"12,5,1", 0}, {"abc", 0}, {"", 0}, {"nan", 0}, {"1e999", 0},
      {"31.02.2024", 1}, {"2024-13-01", 1}, {"00.01.2024", 1}, {"15.01.2024x", 1},
      {"24:00:00", 2}, {"12:60", 2}, {"yes", 3}, {"1,234", 4}, {"12a", 5}, {"99999", 6}};
  for (const auto& b : bad) {
    SCOPED_TRACE(b.text);
    switch (b.kind) {
      case 0: EXPECT_THROW(parseFloat(b.text), EConvertError); break;
      case 1: EXPECT_THROW(parseDate(b.text), EConvertError); break;
      case 2: EXPECT_THROW(parseTime(b.text), EConvertError); break;
      case 3: EXPECT_THROW(parseBool(b.text), EConvertError); break;
      case 4: EXPECT_THROW(parseBcd(b.text, 2, 32), EConvertError) << "would round"; break;
      case 5: EXPECT_THROW(parseInteger(b.text, -32767, 32767), EConvertError); break;
      case 6: EXPECT_THROW(parseInteger(b.text, -32767, 32767), EConvertError) << "out of range"; break;
    }
  }
  EXPECT_THROW(parseBcd("123456789012345678901234567890123", 2, 32), EConvertError);
}

TEST(ValueText, MoneyAsTheGridShowsIt) {
  EXPECT_EQ(formatCurrencyDisplay(1234.5), "1\u00A0234,50р.");
  EXPECT_EQ(formatCurrencyDisplay(-1234.5), "-1\u00A0234,50р.");
  EXPECT_EQ(formatCurrencyDisplay(0), "0,00р.");
  EXPECT_EQ(formatCurrencyDisplay(1234567.891), "1\u00A0234\u00A0567,89р.");
}
