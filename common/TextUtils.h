#pragma once
// Small text functions shared by the windows, the grid companions and the settings code.
//
// Every string is UTF-8. A "character" is a Unicode code point, and positions and lengths
// are counted in code points, 1-based, so that a position shown to the user or passed
// between these functions means the same thing as in the single-byte world the settings
// files and table names come from. Malformed UTF-8 bytes count as one character each.
//
// Russian letters are the 32 letters А..Я / а..я without Ё/ё: words in index expressions
// and field names have always been recognised that way, and Ё is deliberately not a word
// character (a name written with Ё splits there, as it always did).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace text {

// Russian alphabets used to recognise letters (Ё/ё are in neither).
inline constexpr std::string_view kRussianUpper = "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ";
inline constexpr std::string_view kRussianLower = "абвгдежзийклмнопрстуфхцчшщъыьэюя";

// A copy of s in which every character that occurs in chars is replaced by c. The number
// of characters stays the same (the number of bytes may change).
std::string ReplaceChars(std::string_view s, std::string_view chars, char32_t c);

// Cuts s into list (cleared first) at every character of seps (";" when seps is empty).
// Consecutive separators give empty items; one separator at the very end gives no empty
// last item, and an empty s gives no items. Line breaks (CR, LF, CR LF) already in s also
// end an item, as the list was always filled from text lines.
void SplitToList(std::string_view s, std::vector<std::string>& list, std::string_view seps = {});

// s without one pair of enclosing apostrophes, or else double quotes; s itself when it is
// shorter than two characters or its ends are not a matching pair.
std::string StripQuotes(std::string_view s);

// '0'..'9' only.
bool IsDigitChar(char32_t c);
// Digits (unless noDigits), A..Z and А..Я, and unless upperOnly also a..z and а..я.
// The underscore is not a word character.
bool IsWordChar(char32_t c, bool noDigits, bool upperOnly);

// The first word of s: starts at a letter, goes on over letters and digits. pos receives
// the word's 1-based character position, or -1 (and the result is empty) when s has no
// word. The incoming value of pos is not used: a caller that wants the next word cuts s
// after this one (see Utf8Offset) and calls again.
std::string NextWord(std::string_view s, int& pos);

// Byte offset in s of the 1-based character position pos (s.size() when pos is past the
// end; 0 when pos < 1). Lets callers of NextWord cut s after a word:
// s.substr(Utf8Offset(s, pos + Utf8Length(word))).
size_t Utf8Offset(std::string_view s, int pos);

// Blanks and control characters trimmed: empty → 0; decimal digits only → their value;
// anything else (a sign, a point, a letter) → 0. A value beyond the signed 64-bit range
// throws EConvertError.
int64_t DigitsToInt64(std::string_view s);
// The low 32 bits of DigitsToInt64(s) as a signed number.
int32_t DigitsToInt(std::string_view s);

// True for "1", "TRUE", "YES", "OK" and "ДА" in any letter case with blanks around;
// everything else, the empty text included, is false.
bool TextToBool(std::string_view s);

// The folder of f with its trailing separator (when withPath) followed by f's file name
// without its last extension: «C:\data\goods.db» → «goods» or «C:\data\goods»;
// «a.b.db» → «a.b». Both '\' and '/' separate folders.
std::string FileNameNoExt(std::string_view f, bool withPath);

// Upper case of one character: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic
// (а..я, ё and the other Cyrillic letters of U+0450..U+045F); other characters unchanged.
char32_t UpperChar(char32_t c);
// s with UpperChar applied to every character.
std::string UpperCase(std::string_view s);
// s without leading and trailing blanks and control characters (code points <= U+0020).
std::string_view Trim(std::string_view s);

// Lower-case hex digits of bytes, two per byte ("" for none).
std::string ToHex(std::string_view bytes);

}  // namespace text
