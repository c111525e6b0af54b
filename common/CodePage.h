#pragma once
// Text in table files is in a code page of the Windows/DOS world (cp1251, cp866, …); inside
// Checkup every text is UTF-8. A Codec converts between the two. Single-byte code pages
// are tables of our own (fast, and every byte decodes and encodes back unchanged);
// multi-byte ones (932, 936, 949, 950) go through the C library's iconv.
#include <cstdint>
#include <string>
#include <string_view>

namespace codepage {

class Codec {
public:
  virtual ~Codec() = default;
  virtual int codePage() const = 0;
  // Appends the UTF-8 form of the bytes to out. Never fails: undecodable bytes of a
  // multi-byte code page become U+FFFD.
  virtual void decodeAppend(const char* bytes, size_t n, std::string& out) const = 0;
  // Appends the code page bytes of a UTF-8 text to out. Returns false when a character
  // has no byte in this code page (or the text is not valid UTF-8); *bad receives it.
  virtual bool encodeAppend(std::string_view utf8, std::string& out, char32_t* bad) const = 0;

  std::string decode(std::string_view bytes) const {
    std::string s;
    decodeAppend(bytes.data(), bytes.size(), s);
    return s;
  }
};

// The codec of a Windows code page number; nullptr when the number is unknown.
const Codec* codecFor(int codePage);

// The code page of a Paradox/BDE language driver id ("ancyrr", "cyrr", "ANSIINTL", …),
// or 0 when the id is unknown.
int codePageOfDriver(std::string_view driverId);

// UTF-8 helpers.
// Decodes one code point at s[i], advancing i; returns U+FFFD for a malformed sequence.
char32_t nextCodePoint(std::string_view s, size_t& i);
void appendUtf8(std::string& out, char32_t cp);
bool isValidUtf8(std::string_view s);
// Number of code points.
size_t utf8Length(std::string_view s);

}  // namespace codepage
