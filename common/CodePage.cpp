#include "common/CodePage.h"

#include "common/CodePageTables.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iconv.h>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace codepage {

char32_t nextCodePoint(std::string_view s, size_t& i) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int len = 0;
  char32_t cp = 0;
  if ((c & 0xE0) == 0xC0) { len = 2; cp = c & 0x1F; }
  else if ((c & 0xF0) == 0xE0) { len = 3; cp = c & 0x0F; }
  else if ((c & 0xF8) == 0xF0) { len = 4; cp = c & 0x07; }
  else { ++i; return 0xFFFD; }
  if (i + static_cast<size_t>(len) > s.size()) { ++i; return 0xFFFD; }
  for (int k = 1; k < len; ++k) {
    unsigned char d = b(i + static_cast<size_t>(k));
    if ((d & 0xC0) != 0x80) { ++i; return 0xFFFD; }
    cp = (cp << 6) | (d & 0x3F);
  }
  // Overlong forms and surrogates are malformed.
  if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<size_t>(len);
  return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool isValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    size_t before = i;
    char32_t cp = nextCodePoint(s, i);
    if (cp == 0xFFFD) {
      // A real U+FFFD is three bytes EF BF BD.
      if (i - before != 3) return false;
    }
  }
  return true;
}

size_t utf8Length(std::string_view s) {
  size_t n = 0;
  for (char c : s)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

namespace {

class TableCodec : public Codec {
public:
  TableCodec(int cp, const char16_t* map) : cp_(cp) {
    for (int b = 0; b < 256; ++b) {
      std::string u;
      appendUtf8(u, map[b]);
      std::memcpy(utf8_[static_cast<size_t>(b)].data(), u.data(), u.size());
      len_[static_cast<size_t>(b)] = static_cast<uint8_t>(u.size());
      if (map[b] >= 0x80) reverse_.emplace_back(map[b], static_cast<uint8_t>(b));
      else asciiIdentity_ = asciiIdentity_ && map[b] == b;
    }
    std::sort(reverse_.begin(), reverse_.end());
    for (int b = 0; b < 128; ++b)
      if (map[b] < 0x80) low_[map[b]] = static_cast<int16_t>(b);
  }
  int codePage() const override { return cp_; }

  void decodeAppend(const char* bytes, size_t n, std::string& out) const override {
    // One pass for the exact length, one to write: no filling, no second allocation.
    size_t len = 0;
    for (size_t i = 0; i < n; ++i) len += len_[static_cast<unsigned char>(bytes[i])];
    size_t start = out.size();
    if (len == n && asciiIdentity_) {
      out.append(bytes, n);  // plain ASCII (or a page whose every byte is one UTF-8 byte)
      return;
    }
    out.resize(start + len);
    char* o = out.data() + start;
    for (size_t i = 0; i < n; ++i) {
      auto b = static_cast<unsigned char>(bytes[i]);
      uint8_t l = len_[b];
      const char* u = utf8_[b].data();
      o[0] = u[0];
      if (l > 1) {
        o[1] = u[1];
        if (l > 2) {
          o[2] = u[2];
          if (l > 3) o[3] = u[3];
        }
      }
      o += l;
    }
  }

  bool encodeAppend(std::string_view utf8, std::string& out, char32_t* bad) const override {
    size_t i = 0;
    while (i < utf8.size()) {
      auto c = static_cast<unsigned char>(utf8[i]);
      if (c < 0x80 && low_[c] >= 0) {
        out.push_back(static_cast<char>(low_[c]));
        ++i;
        continue;
      }
      size_t before = i;
      char32_t cp = nextCodePoint(utf8, i);
      if (cp == 0xFFFD && i - before != 3) {
        if (bad) *bad = 0xFFFD;
        return false;
      }
      auto it = std::lower_bound(reverse_.begin(), reverse_.end(), std::make_pair(cp, uint8_t{0}));
      if (it == reverse_.end() || it->first != cp) {
        if (bad) *bad = cp;
        return false;
      }
      out.push_back(static_cast<char>(it->second));
    }
    return true;
  }

private:
  int cp_;
  std::array<std::array<char, 4>, 256> utf8_{};
  std::array<uint8_t, 256> len_{};
  std::array<int16_t, 128> low_ = [] {
    std::array<int16_t, 128> a{};
    a.fill(-1);
    return a;
  }();
  bool asciiIdentity_ = true;
  std::vector<std::pair<char32_t, uint8_t>> reverse_;
};

// Multi-byte code pages through iconv. Conversions are guarded by a mutex: iconv
// descriptors keep state.
class IconvCodec : public Codec {
public:
  IconvCodec(int cp, iconv_t dec, iconv_t enc) : cp_(cp), dec_(dec), enc_(enc) {}
  ~IconvCodec() override {
    iconv_close(dec_);
    iconv_close(enc_);
  }
  int codePage() const override { return cp_; }

  void decodeAppend(const char* bytes, size_t n, std::string& out) const override {
    std::lock_guard<std::mutex> g(m_);
    iconv(dec_, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> in(bytes, bytes + n);
    char* ip = in.data();
    size_t il = n;
    std::vector<char> buf(n * 4 + 16);
    while (il > 0) {
      char* op = buf.data();
      size_t ol = buf.size();
      size_t r = iconv(dec_, &ip, &il, &op, &ol);
      out.append(buf.data(), static_cast<size_t>(op - buf.data()));
      if (r == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        // An invalid or incomplete sequence: one replacement character, skip a byte.
        appendUtf8(out, 0xFFFD);
        ++ip;
        --il;
        iconv(dec_, nullptr, nullptr, nullptr, nullptr);
      }
    }
  }

  bool encodeAppend(std::string_view utf8, std::string& out, char32_t* bad) const override {
    std::lock_guard<std::mutex> g(m_);
    iconv(enc_, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> in(utf8.begin(), utf8.end());
    char* ip = in.data();
    size_t il = in.size();
    std::vector<char> buf(in.size() * 2 + 16);
    while (il > 0) {
      char* op = buf.data();
      size_t ol = buf.size();
      size_t r = iconv(enc_, &ip, &il, &op, &ol);
      out.append(buf.data(), static_cast<size_t>(op - buf.data()));
      if (r == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        size_t pos = static_cast<size_t>(ip - in.data());
        if (bad) *bad = nextCodePoint(utf8, pos);
        return false;
      }
    }
    return true;
  }

private:
  int cp_;
  iconv_t dec_;
  iconv_t enc_;
  mutable std::mutex m_;
};

}  // namespace

const Codec* codecFor(int cp) {
  static std::mutex m;
  static std::map<int, std::unique_ptr<Codec>> cache;
  std::lock_guard<std::mutex> g(m);
  auto it = cache.find(cp);
  if (it != cache.end()) return it->second.get();
  std::unique_ptr<Codec> codec;
  for (const auto& t : codepage_tables::kTables)
    if (t.codePage == cp) codec = std::make_unique<TableCodec>(cp, t.map);
  if (!codec && (cp == 932 || cp == 936 || cp == 949 || cp == 950 || cp == 20866 || cp == 868)) {
    std::string name = cp == 20866 ? "KOI8-R" : cp == 868 ? "IBM868" : "CP" + std::to_string(cp);
    iconv_t dec = iconv_open("UTF-8", name.c_str());
    iconv_t enc = iconv_open(name.c_str(), "UTF-8");
    if (dec != reinterpret_cast<iconv_t>(-1) && enc != reinterpret_cast<iconv_t>(-1))
      codec = std::make_unique<IconvCodec>(cp, dec, enc);
    else {
      if (dec != reinterpret_cast<iconv_t>(-1)) iconv_close(dec);
      if (enc != reinterpret_cast<iconv_t>(-1)) iconv_close(enc);
    }
  }
  const Codec* result = codec.get();
  cache.emplace(cp, std::move(codec));
  return result;
}

int codePageOfDriver(std::string_view id) {
  struct Driver { const char* id; int cp; };
  // BDE language drivers by their short id (Paradox and dBASE).
  static const Driver drivers[] = {
      {"ancyrr", 1251}, {"cyrr", 866},        {"BGPD1251", 1251}, {"BULGARIA", 868},
      {"intl", 437},    {"intl850", 850},     {"ANSIINTL", 1252}, {"ANSII850", 1252},
      {"DBWINUS0", 1252}, {"DBWINWE0", 1252}, {"china", 936},     {"db866ru0", 866},
      {"DB866RU0", 866}, {"DBWINRU0", 1251},  {"db1251ru", 1251}, {"nordan", 865},
      {"nordan40", 865}, {"swedfin", 437},    {"czech", 852},     {"hun852dc", 852},
      {"polish", 852},  {"slovene", 852},     {"turk", 857},      {"greek", 737},
      {"ANSISWFN", 1252}, {"ANSINOR4", 1252}, {"ANSISPAN", 1252}, {"ANSIGRK1", 1253},
      {"ANSIPOL", 1250}, {"ANSICZ", 1250},    {"ANSIHUN", 1250},  {"ANSITURK", 1254},
  };
  for (const auto& d : drivers)
    if (id == d.id) return d.cp;
  // "ascii" depends on the table: the caller takes the header's code page.
  return 0;
}

}  // namespace codepage
