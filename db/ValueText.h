#pragma once
// Values as text, with the conventions the users see on Russian Windows: 31.12.2024,
// 9:05:07, decimal comma, True/False. Reading a value as text and writing that text back
// gives the same value: floats keep their shortest round-trip digits, times and timestamps
// their milliseconds, BCD every digit of its scale.
#include "db/Value.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace valuetext {

// Civil dates, proleptic Gregorian; day 1 = 0001-01-01.
struct Civil { int year; int month; int day; };
int64_t daysFromCivil(int year, int month, int day);
Civil civilFromDays(int64_t days);
bool isValidCivil(int year, int month, int day);

std::string formatInteger(int64_t v);
std::string formatFloat(double v);           // 1234,5  0,1  1E20  -1,5E-6
std::string formatDate(int64_t days);        // 25.12.2023
std::string formatTime(int64_t ms);          // 9:05:07, 23:59:59.999
std::string formatDateTime(double ms);       // 25.12.2023 9:05:07; midnight: 25.12.2023
std::string formatBcd(std::string_view digits, int scale);  // -123,45 with all scale digits
std::string formatBool(bool v);              // True / False
// What a grid shows for money: 1 234,50р. (no-break space between thousands).
std::string formatCurrencyDisplay(double v);

// Generic: the text of a value as AsString gives it ("" for NULL).
std::string format(const Value& v);

// Parsing; every function throws EConvertError with a Russian message naming the text.
int64_t parseInteger(std::string_view text, int64_t min, int64_t max);
double parseFloat(std::string_view text);
int64_t parseDate(std::string_view text);
int64_t parseTime(std::string_view text);
double parseDateTime(std::string_view text);
bool parseBool(std::string_view text);
// Digits in the form Value::Kind::Bcd keeps them: no more than `scale` fraction digits
// (trailing zeros beyond it are fine), no more than maxDigits in all.
std::string parseBcd(std::string_view text, int scale, int maxDigits);

std::string_view trimmed(std::string_view s);

}  // namespace valuetext
