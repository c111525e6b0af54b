#include "common/TextUtils.h"

#include "common/CodePage.h"
#include "common/Errors.h"

#include <limits>

namespace text {

using codepage::appendUtf8;
using codepage::nextCodePoint;

namespace {

bool containsChar(std::string_view set, char32_t c) {
  size_t i = 0;
  while (i < set.size())
    if (nextCodePoint(set, i) == c) return true;
  return false;
}

bool isBlank(unsigned char c) { return c <= ' '; }

}  // namespace

std::string ReplaceChars(std::string_view s, std::string_view chars, char32_t c) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const size_t start = i;
    const char32_t cp = nextCodePoint(s, i);
    if (containsChar(chars, cp))
      appendUtf8(out, c);
    else
      out.append(s.substr(start, i - start));  // keeps malformed bytes as they were
  }
  return out;
}

void SplitToList(std::string_view s, std::vector<std::string>& list, std::string_view seps) {
  if (seps.empty()) seps = ";";
  list.clear();
  std::string item;
  bool open = false;  // an item has been started (text or an ending separator is pending)
  size_t i = 0;
  while (i < s.size()) {
    const size_t start = i;
    const char32_t cp = nextCodePoint(s, i);
    if (cp == '\r' || cp == '\n' || containsChar(seps, cp)) {
      list.push_back(std::move(item));
      item.clear();
      open = false;
      // A CR LF pair in the text is one line break, not two.
      if (cp == '\r' && i < s.size() && s[i] == '\n' && !containsChar(seps, '\r')) ++i;
    } else {
      item.append(s.substr(start, i - start));
      open = true;
    }
  }
  if (open) list.push_back(std::move(item));
}

std::string StripQuotes(std::string_view s) {
  // The quotes are ASCII, so two bytes that are both quotes are two distinct characters.
  if (s.size() > 1 && ((s.front() == '\'' && s.back() == '\'') || (s.front() == '"' && s.back() == '"')))
    return std::string(s.substr(1, s.size() - 2));
  return std::string(s);
}

bool IsDigitChar(char32_t c) { return c >= '0' && c <= '9'; }

bool IsWordChar(char32_t c, bool noDigits, bool upperOnly) {
  if (!noDigits && IsDigitChar(c)) return true;
  if (c >= 'A' && c <= 'Z') return true;
  if (containsChar(kRussianUpper, c)) return true;
  if (upperOnly) return false;
  if (c >= 'a' && c <= 'z') return true;
  return containsChar(kRussianLower, c);
}

std::string NextWord(std::string_view s, int& pos) {
  size_t i = 0;
  int p = 1;
  while (i < s.size()) {
    size_t next = i;
    if (IsWordChar(nextCodePoint(s, next), true, false)) break;
    i = next;
    ++p;
  }
  if (i >= s.size()) {
    pos = -1;
    return {};
  }
  pos = p;
  const size_t start = i;
  nextCodePoint(s, i);  // the first letter
  while (i < s.size()) {
    size_t next = i;
    if (!IsWordChar(nextCodePoint(s, next), false, false)) break;
    i = next;
  }
  return std::string(s.substr(start, i - start));
}

size_t Utf8Offset(std::string_view s, int pos) {
  size_t i = 0;
  for (int p = 1; p < pos && i < s.size(); ++p) nextCodePoint(s, i);
  return i;
}

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && isBlank(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && isBlank(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

int64_t DigitsToInt64(std::string_view s) {
  const std::string_view t = Trim(s);
  for (char ch : t)
    if (!IsDigitChar(static_cast<unsigned char>(ch))) return 0;
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t v = 0;
  for (char ch : t) {
    const auto digit = static_cast<uint64_t>(ch - '0');
    if (v > (kMax - digit) / 10)
      throw EConvertError("'" + std::string(t) + "' не является допустимым целым числом");
    v = v * 10 + digit;
  }
  return static_cast<int64_t>(v);
}

int32_t DigitsToInt(std::string_view s) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(DigitsToInt64(s)) & 0xFFFFFFFFu));
}

char32_t UpperChar(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // Latin-1
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {  // Latin Extended-A: pairs of capital and small letter
    if (c == 0x131) return 'I';
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
    if (c <= 0x137 || (c >= 0x14A && c <= 0x177)) return (c % 2 == 1) ? c - 1 : c;
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9) return c == 0x3C2 ? 0x3A3 : c - 0x20;  // Greek
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;                       // а..я
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;                       // ё, ђ, є, і, ї, ў, …
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
    return (c % 2 == 1) ? c - 1 : c;
  if (c >= 0x4C1 && c <= 0x4CE) return (c % 2 == 0) ? c - 1 : c;
  if (c == 0x4CF) return 0x4C0;
  return c;
}

std::string UpperCase(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    const size_t start = i;
    const char32_t cp = nextCodePoint(s, i);
    const char32_t up = UpperChar(cp);
    if (up == cp)
      out.append(s.substr(start, i - start));
    else
      appendUtf8(out, up);
  }
  return out;
}

bool TextToBool(std::string_view s) {
  const std::string u = UpperCase(Trim(s));
  return u == "1" || u == "TRUE" || u == "YES" || u == "OK" || u == "ДА";
}

std::string FileNameNoExt(std::string_view f, bool withPath) {
  const size_t sep = f.find_last_of("\\/");
  const size_t nameStart = sep == std::string_view::npos ? 0 : sep + 1;
  const size_t dot = f.rfind('.');
  const size_t end = (dot != std::string_view::npos && dot >= nameStart) ? dot : f.size();
  const size_t begin = withPath ? 0 : nameStart;
  return std::string(f.substr(begin, end - begin));
}

std::string ToHex(std::string_view bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    out += digits[b >> 4];
    out += digits[b & 0x0F];
  }
  return out;
}

}  // namespace text
