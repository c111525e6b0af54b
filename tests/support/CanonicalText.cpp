#include "support/CanonicalText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace testsupport::canonical {

namespace {

constexpr int64_t kMsPerDay = 86'400'000;
constexpr int64_t kMaxDay = 3'652'059;  // 9999-12-31

// Civil date of a day number counted from 1970-01-01 (H. Hinnant's days-to-civil).
void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

std::string validDate(int64_t days) {
  int64_t y = 0;
  unsigned m = 0, d = 0;
  civilFromDays(days - 719163, y, m, d);  // 719163 = 1970-01-01
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  return buf;
}

std::string validTime(int64_t ms) {
  char buf[16];
  const auto h = static_cast<int>(ms / 3'600'000);
  const auto mi = static_cast<int>(ms / 60'000 % 60);
  const auto s = static_cast<int>(ms / 1000 % 60);
  const auto f = static_cast<int>(ms % 1000);
  if (f != 0) std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", h, mi, s, f);
  else std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
  return buf;
}

}  // namespace

std::string date(int64_t days) {
  if (days < 1 || days > kMaxDay) return "#DATE(" + std::to_string(days) + ")";
  return validDate(days);
}

std::string time(int64_t ms) {
  if (ms < 0 || ms >= kMsPerDay) return "#TIME(" + std::to_string(ms) + ")";
  return validTime(ms);
}

std::string timestamp(double ms) {
  const bool whole = std::isfinite(ms) && std::floor(ms) == ms;
  if (whole && ms >= static_cast<double>(kMsPerDay) &&
      ms < static_cast<double>((kMaxDay + 1) * kMsPerDay)) {
    const auto v = static_cast<int64_t>(ms);
    return validDate(v / kMsPerDay) + " " + validTime(v % kMsPerDay);
  }
  return "#TS(" + number(ms) + ")";
}

std::string number(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string decimalWithScale(const std::string& text, int scale) {
  size_t i = 0;
  std::string out;
  if (i < text.size() && text[i] == '-') out += text[i++];
  const size_t intStart = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') out += text[i++];
  if (i == intStart) return {};
  std::string frac;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') frac += text[i++];
  }
  if (i != text.size() || scale < 0 || frac.size() > static_cast<size_t>(scale)) return {};
  frac.append(static_cast<size_t>(scale) - frac.size(), '0');
  if (scale > 0) out += "." + frac;
  return out;
}

}  // namespace testsupport::canonical
