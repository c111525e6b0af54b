#include "db/ValueText.h"

#include "common/Errors.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace valuetext {

// ---- calendar ---------------------------------------------------------------------

// Days from 1970-01-01 after the well-known era algorithm, shifted so that
// 0001-01-01 is day 1 (1970-01-01 = 719163).
int64_t daysFromCivil(int y, int m, int d) {
  int64_t yy = y - (m <= 2 ? 1 : 0);
  int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
  int64_t yoe = yy - era * 400;
  int64_t mp = (m + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 719163;
}

Civil civilFromDays(int64_t days) {
  int64_t z = days - 719163 + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2 ? 1 : 0)), static_cast<int>(m), static_cast<int>(d)};
}

bool isValidCivil(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static const int mdays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  int max = mdays[m - 1] + (m == 2 && leap ? 1 : 0);
  return d <= max;
}

// ---- formatting -------------------------------------------------------------------

std::string formatInteger(int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string formatFloat(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  if (v == 0) return std::signbit(v) ? "-0" : "0";
  // Most stored numbers are amounts with a few decimals. When the double is exactly the
  // one nearest to m / 10^k for k <= 4, and small enough that neighbouring doubles lie
  // closer together than 10^-4, that decimal is its shortest round-trip text: write it
  // with integer arithmetic.
  {
    static constexpr double kPow10[] = {1, 10, 100, 1000, 10000};
    double a = std::fabs(v);
    if (a < 1e11 && a >= 1e-4) {
      for (int k = 0; k <= 4; ++k) {
        double scaled = a * kPow10[k];
        auto m = static_cast<int64_t>(scaled + 0.5);  // a candidate; the test below decides
        if (static_cast<double>(m) / kPow10[k] != a) continue;
        char out[40];
        int n = 0;
        if (v < 0) out[n++] = '-';
        char digits[24];
        auto r = std::to_chars(digits, digits + sizeof digits, m);
        int nd = static_cast<int>(r.ptr - digits);
        if (nd <= k) {  // 0,00m
          out[n++] = '0';
          out[n++] = ',';
          for (int z = 0; z < k - nd; ++z) out[n++] = '0';
          for (int d = 0; d < nd; ++d) out[n++] = digits[d];
        } else {
          for (int d = 0; d < nd - k; ++d) out[n++] = digits[d];
          if (k) {
            out[n++] = ',';
            for (int d = nd - k; d < nd; ++d) out[n++] = digits[d];
          }
        }
        return std::string(out, static_cast<size_t>(n));
      }
    }
  }
  // Otherwise the shortest digits that read back to the same double, laid out as the
  // platform's general format does: fixed notation for exponents -4 <= e < 15, else
  // d,dddE±x. Everything happens in fixed buffers: this runs for every number read.
  char sci[40];
  auto r = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific);
  const char* p = sci;
  const char* end = r.ptr;
  bool neg = *p == '-';
  if (neg) ++p;
  char digits[24];
  int nd = 0;
  while (p < end && *p != 'e') {
    if (*p != '.') digits[nd++] = *p;
    ++p;
  }
  int exp = 0;
  ++p;  // 'e'
  bool expNeg = *p == '-';
  ++p;  // sign
  for (; p < end; ++p) exp = exp * 10 + (*p - '0');
  if (expNeg) exp = -exp;
  while (nd > 1 && digits[nd - 1] == '0') --nd;

  char out[48];
  int n = 0;
  if (neg) out[n++] = '-';
  if (exp >= -4 && exp < 15) {
    if (exp < 0) {
      out[n++] = '0';
      out[n++] = ',';
      for (int k = 0; k < -exp - 1; ++k) out[n++] = '0';
      for (int k = 0; k < nd; ++k) out[n++] = digits[k];
    } else {
      int intLen = exp + 1;
      for (int k = 0; k < intLen; ++k) out[n++] = k < nd ? digits[k] : '0';
      if (nd > intLen) {
        out[n++] = ',';
        for (int k = intLen; k < nd; ++k) out[n++] = digits[k];
      }
    }
  } else {
    out[n++] = digits[0];
    if (nd > 1) {
      out[n++] = ',';
      for (int k = 1; k < nd; ++k) out[n++] = digits[k];
    }
    out[n++] = 'E';
    auto er = std::to_chars(out + n, out + sizeof out, exp);
    n = static_cast<int>(er.ptr - out);
  }
  return std::string(out, static_cast<size_t>(n));
}

namespace {

// Writes v as printf's "%0*lld" does (the width counts the sign); returns the end.
char* putDigits(char* p, int64_t v, int width) {
  char tmp[24];
  int n = 0;
  uint64_t u = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  do {
    tmp[n++] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u);
  if (v < 0) *p++ = '-';
  for (int i = n + (v < 0 ? 1 : 0); i < width; ++i) *p++ = '0';
  while (n) *p++ = tmp[--n];
  return p;
}

// The text of formatDate and formatTime, without the allocation of a std::string
// (these run for every date and time a table shows).
char* putDate(char* p, int64_t days) {
  Civil c = civilFromDays(days);
  p = putDigits(p, c.day, 2);
  *p++ = '.';
  p = putDigits(p, c.month, 2);
  *p++ = '.';
  return putDigits(p, c.year, 4);
}

char* putTime(char* p, int64_t ms) {
  int64_t h = ms / 3'600'000, m = ms / 60'000 % 60, s = ms / 1000 % 60, z = ms % 1000;
  p = putDigits(p, h, 1);
  *p++ = ':';
  p = putDigits(p, m, 2);
  *p++ = ':';
  p = putDigits(p, s, 2);
  if (z) {
    *p++ = '.';
    p = putDigits(p, z, 3);
  }
  return p;
}

}  // namespace

std::string formatDate(int64_t days) {
  char buf[40];
  return std::string(buf, putDate(buf, days));
}

std::string formatTime(int64_t ms) {
  char buf[64];
  return std::string(buf, putTime(buf, ms));
}

std::string formatDateTime(double ms) {
  double dayPart = std::floor(ms / static_cast<double>(kMsPerDay));
  auto days = static_cast<int64_t>(dayPart);
  double rest = ms - dayPart * static_cast<double>(kMsPerDay);
  auto msOfDay = static_cast<int64_t>(std::llround(rest));
  if (msOfDay >= kMsPerDay) {
    ++days;
    msOfDay -= kMsPerDay;
  }
  char buf[104];
  char* p = putDate(buf, days);
  if (msOfDay != 0) {
    *p++ = ' ';
    p = putTime(p, msOfDay);
  }
  return std::string(buf, p);
}

std::string formatBcd(std::string_view digits, int scale) {
  bool neg = !digits.empty() && digits[0] == '-';
  if (neg) digits.remove_prefix(1);
  auto sc = static_cast<size_t>(scale);
  // At most 32 digits, a sign, a comma and the leading zero: a fixed buffer does.
  char out[40];
  size_t n = 0;
  if (neg) out[n++] = '-';
  size_t total = std::max(digits.size(), sc + 1);
  size_t pad = total - digits.size();
  for (size_t k = 0; k < total; ++k) {
    if (k == total - sc && sc) out[n++] = ',';
    out[n++] = k < pad ? '0' : digits[k - pad];
  }
  return std::string(out, n);
}

std::string formatBool(bool v) { return v ? "True" : "False"; }

std::string formatCurrencyDisplay(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", std::fabs(v));
  std::string s(buf);
  auto point = s.find('.');
  std::string intPart = s.substr(0, point), frac = s.substr(point + 1);
  std::string grouped;
  int n = 0;
  for (size_t i = intPart.size(); i-- > 0;) {
    if (n && n % 3 == 0) grouped.insert(0, "\u00A0");
    grouped.insert(grouped.begin(), intPart[i]);
    ++n;
  }
  bool neg = v < 0 && std::string(buf) != "0.00";
  return (neg ? "-" : "") + grouped + "," + frac + "р.";
}

std::string format(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Null: return {};
    case Value::Kind::Int: return formatInteger(v.i);
    case Value::Kind::Float: return formatFloat(v.d);
    case Value::Kind::Bool: return formatBool(v.i != 0);
    case Value::Kind::Date: return formatDate(v.i);
    case Value::Kind::Time: return formatTime(v.i);
    case Value::Kind::DateTime: return formatDateTime(v.d);
    case Value::Kind::Bcd: return formatBcd(v.s, static_cast<int>(v.i));
    case Value::Kind::Text:
    case Value::Kind::Bytes: return v.s;
  }
  return {};
}

// ---- parsing ----------------------------------------------------------------------

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

namespace {

[[noreturn]] void fail(std::string_view text, const char* what) {
  throw EConvertError("'" + std::string(text) + "' " + what);
}

bool readNumber(std::string_view s, size_t& pos, int& out, int maxDigits) {
  size_t start = pos;
  int v = 0;
  while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && static_cast<int>(pos - start) < maxDigits) {
    v = v * 10 + (s[pos] - '0');
    ++pos;
  }
  if (pos == start) return false;
  out = v;
  return true;
}

// Parses a date at the start of s, advancing pos. Accepts dd.mm.yyyy (and d.m.yy, years
// below 100 taken as 19xx/20xx with the window at 50), yyyy-mm-dd and mm/dd/yyyy.
bool scanDate(std::string_view s, size_t& pos, int64_t& days) {
  int a = 0, b = 0, c = 0;
  size_t p = pos;
  if (!readNumber(s, p, a, 4) || p >= s.size()) return false;
  char sep = s[p];
  if (sep != '.' && sep != '-' && sep != '/') return false;
  size_t firstLen = p - pos;
  ++p;
  if (!readNumber(s, p, b, 2) || p >= s.size() || s[p] != sep) return false;
  ++p;
  size_t cStart = p;
  if (!readNumber(s, p, c, 4)) return false;
  size_t lastLen = p - cStart;
  int y, m, d;
  if (sep == '-') {
    if (firstLen != 4) return false;
    y = a; m = b; d = c;
  } else {
    if (firstLen > 2) return false;
    if (sep == '.') { d = a; m = b; } else { m = a; d = b; }
    y = c;
    if (lastLen <= 2) y += y < 50 ? 2000 : 1900;
  }
  if (!isValidCivil(y, m, d)) return false;
  days = daysFromCivil(y, m, d);
  pos = p;
  return true;
}

// H:mm[:ss[.zzz]] with '.' or ',' before the milliseconds.
bool scanTime(std::string_view s, size_t& pos, int64_t& ms) {
  int h = 0, m = 0, sec = 0, z = 0;
  size_t p = pos;
  if (!readNumber(s, p, h, 2) || p >= s.size() || s[p] != ':') return false;
  ++p;
  if (!readNumber(s, p, m, 2)) return false;
  if (p < s.size() && s[p] == ':') {
    ++p;
    if (!readNumber(s, p, sec, 2)) return false;
    if (p < s.size() && (s[p] == '.' || s[p] == ',')) {
      ++p;
      size_t zs = p;
      if (!readNumber(s, p, z, 3)) return false;
      for (size_t k = p - zs; k < 3; ++k) z *= 10;
    }
  }
  if (h > 23 || m > 59 || sec > 59) return false;
  ms = ((h * 60LL + m) * 60 + sec) * 1000 + z;
  pos = p;
  return true;
}

}  // namespace

int64_t parseInteger(std::string_view text, int64_t min, int64_t max) {
  std::string_view t = trimmed(text);
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  int64_t v = 0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || r.ec == std::errc::invalid_argument || r.ptr != t.data() + t.size())
    fail(text, "не является допустимым целым числом");
  if (r.ec == std::errc::result_out_of_range || v < min || v > max)
    throw EConvertError("Значение " + std::string(t) + " вне допустимого диапазона (от " + formatInteger(min) +
                        " до " + formatInteger(max) + ")");
  return v;
}

double parseFloat(std::string_view text) {
  std::string t(trimmed(text));
  for (auto& c : t)
    if (c == ',') c = '.';
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  // Our own exponent form has no sign after E for positive exponents; from_chars reads both.
  double v = 0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || r.ec == std::errc::invalid_argument || r.ptr != t.data() + t.size() ||
      t.find_first_of("iInN") != std::string::npos)
    fail(text, "не является допустимым числом с плавающей точкой");
  if (r.ec == std::errc::result_out_of_range || std::isinf(v))
    fail(text, "вне диапазона чисел с плавающей точкой");
  return v;
}

int64_t parseDate(std::string_view text) {
  std::string_view t = trimmed(text);
  size_t pos = 0;
  int64_t days = 0;
  if (!scanDate(t, pos, days) || pos != t.size()) fail(text, "не является допустимой датой");
  return days;
}

int64_t parseTime(std::string_view text) {
  std::string_view t = trimmed(text);
  size_t pos = 0;
  int64_t ms = 0;
  if (!scanTime(t, pos, ms) || pos != t.size()) fail(text, "не является допустимым временем");
  return ms;
}

double parseDateTime(std::string_view text) {
  std::string_view t = trimmed(text);
  size_t pos = 0;
  int64_t days = 0, ms = 0;
  if (!scanDate(t, pos, days)) fail(text, "не является допустимой датой и временем");
  if (pos < t.size()) {
    if (t[pos] != ' ' && t[pos] != 'T') fail(text, "не является допустимой датой и временем");
    while (pos < t.size() && (t[pos] == ' ' || t[pos] == 'T')) ++pos;
    if (!scanTime(t, pos, ms) || pos != t.size()) fail(text, "не является допустимой датой и временем");
  }
  return static_cast<double>(days * kMsPerDay + ms);
}

bool parseBool(std::string_view text) {
  std::string_view t = trimmed(text);
  auto prefixOf = [&](std::string_view word) {
    if (t.empty() || t.size() > word.size()) return false;
    for (size_t i = 0; i < t.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(t[i])) != std::tolower(static_cast<unsigned char>(word[i])))
        return false;
    return true;
  };
  if (prefixOf("True")) return true;
  if (prefixOf("False")) return false;
  fail(text, "не является допустимым логическим значением");
}

std::string parseBcd(std::string_view text, int scale, int maxDigits) {
  std::string_view t = trimmed(text);
  bool neg = false;
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
    neg = t[0] == '-';
    t.remove_prefix(1);
  }
  std::string intPart, frac;
  bool point = false;
  for (char c : t) {
    if (c == ',' || c == '.') {
      if (point) fail(text, "не является допустимым десятичным числом");
      point = true;
    } else if (c >= '0' && c <= '9') {
      (point ? frac : intPart).push_back(c);
    } else {
      fail(text, "не является допустимым десятичным числом");
    }
  }
  if (intPart.empty() && frac.empty()) fail(text, "не является допустимым десятичным числом");
  auto sc = static_cast<size_t>(scale);
  // Fraction digits beyond the scale may only be zeros: nothing is rounded away.
  for (size_t i = sc; i < frac.size(); ++i)
    if (frac[i] != '0')
      throw EConvertError("'" + std::string(text) + "': больше " + std::to_string(scale) +
                          " знаков после запятой, значение нельзя сохранить без округления");
  if (frac.size() > sc) frac.resize(sc);
  frac.append(sc - frac.size(), '0');
  size_t lead = intPart.find_first_not_of('0');
  intPart = lead == std::string::npos ? "" : intPart.substr(lead);
  if (static_cast<int>(intPart.size() + sc) > maxDigits)
    throw EConvertError("Значение " + std::string(text) + " вне допустимого диапазона (не более " +
                        std::to_string(maxDigits - scale) + " цифр до запятой)");
  std::string digits = intPart + frac;
  size_t nz = digits.find_first_not_of('0');
  digits = nz == std::string::npos ? "0" : digits.substr(nz);
  if (neg && digits != "0") digits.insert(0, "-");
  return digits;
}

}  // namespace valuetext
