#include "common/TextUtils.h"

#include "common/CodePage.h"
#include "common/Errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace text;

TEST(TextUtils, ReplaceCharsWorksOnCharactersNotBytes) {
  struct Case { const char* s; const char* chars; char32_t c; const char* expected; };
  const Case cases[] = {
      {"Итого\r\nза\tмесяц", "\r\n\t", U' ', "Итого  за месяц"},
      {"", "\r\n", U' ', ""},
      {"abc", "", U'x', "abc"},
      // A Cyrillic character in the set is replaced whole; its neighbours sharing a lead
      // byte (Д = D0 94, Ж = D0 96) are left alone.
      {"ДЖД", "Д", U'-', "-Ж-"},
      // The replacement may be wider or narrower than what it replaces.
      {"a;b", ";", U'Ж', "aЖb"},
      {"Ж;Ж", "Ж", U'.', ".;."},
  };
  for (const auto& c : cases) EXPECT_EQ(ReplaceChars(c.s, c.chars, c.c), c.expected) << c.s;
}

TEST(TextUtils, SplitToListItems) {
  using V = std::vector<std::string>;
  struct Case { const char* s; const char* seps; V expected; };
  const Case cases[] = {
      {"a;;b,c", ";,", V{"a", "", "b", "c"}},
      {"a;b,c", "", V{"a", "b,c"}},  // no separators given: ";" only
      {"a;b;", ";", V{"a", "b"}},    // one separator at the end: no empty last item
      {"a;b;;", ";", V{"a", "b", ""}},
      {";", ";", V{""}},
      {"", ";", V{}},
      {"Поле1;Поле2", ";", V{"Поле1", "Поле2"}},
      {"x\r\ny;z", ";", V{"x", "y", "z"}},  // line breaks in the text also end items
      {"ДаЖнет", "Ж", V{"Да", "нет"}},
  };
  for (const auto& c : cases) {
    V list{"old item"};
    SplitToList(c.s, list, c.seps);
    EXPECT_EQ(list, c.expected) << c.s;
  }
}

TEST(TextUtils, StripQuotesRemovesOneMatchingPair) {
  struct Case { const char* s; const char* expected; };
  const Case cases[] = {
      {"'", "'"},           {"", ""},           {"''", ""},           {"'abc\"", "'abc\""},
      {"'abc'", "abc"},     {"\"C:\\a b\\t.db\"", "C:\\a b\\t.db"}, {"''x''", "'x'"},
      {"\"", "\""},         {"'Ж'", "Ж"},       {"abc", "abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(StripQuotes(c.s), c.expected) << c.s;
}

TEST(TextUtils, WordCharactersAndNextWord) {
  EXPECT_TRUE(IsDigitChar(U'7'));
  EXPECT_FALSE(IsDigitChar(U'٣'));  // only ASCII digits
  EXPECT_TRUE(IsWordChar(U'5', false, false));
  EXPECT_FALSE(IsWordChar(U'5', true, false));
  EXPECT_TRUE(IsWordChar(U'Я', true, true));
  EXPECT_FALSE(IsWordChar(U'я', true, true));
  EXPECT_TRUE(IsWordChar(U'я', true, false));
  EXPECT_FALSE(IsWordChar(U'q', false, true));
  EXPECT_FALSE(IsWordChar(U'_', false, false));
  EXPECT_FALSE(IsWordChar(U'Ё', false, false));
  EXPECT_FALSE(IsWordChar(U'ё', false, false));

  struct Case { const char* s; const char* word; int pos; };
  const Case cases[] = {
      {"UPPER(NAME)+CODE", "UPPER", 1},
      {"(12+X1)", "X1", 5},  // digits cannot start a word
      {"+ -", "", -1},
      {"", "", -1},
      {"(ЦЕНА2+1)", "ЦЕНА2", 2},
      {"ЖЖ+(Цена_опт)", "ЖЖ", 1},
      {"«Цена»", "Цена", 2},  // positions count characters, not bytes
      {"12_ёлка", "лка", 5},  // neither _ nor ё is a letter
  };
  for (const auto& c : cases) {
    int pos = 42;
    EXPECT_EQ(NextWord(c.s, pos), c.word) << c.s;
    EXPECT_EQ(pos, c.pos) << c.s;
  }
}

TEST(TextUtils, NextWordWalksAnExpressionWordByWord) {
  std::string s = "UPPER(НАИМ)+КОД2*3";
  std::vector<std::string> words;
  int pos = 0;
  for (std::string w = NextWord(s, pos); pos > 0; w = NextWord(s, pos)) {
    words.push_back(w);
    s = s.substr(Utf8Offset(s, pos + static_cast<int>(codepage::utf8Length(w))));
  }
  EXPECT_EQ(words, (std::vector<std::string>{"UPPER", "НАИМ", "КОД2"}));
}

TEST(TextUtils, DigitsToIntAcceptsDecimalDigitsOnly) {
  struct Case { const char* s; int64_t v64; int32_t v32; };
  const Case cases[] = {
      {" 42 ", 42, 42},
      {"-1", 0, 0},
      {"4.5", 0, 0},
      {"", 0, 0},
      {"   ", 0, 0},
      {"+5", 0, 0},
      {"1 2", 0, 0},
      {"12a", 0, 0},
      {"\t007\r\n", 7, 7},
      {"9223372036854775807", INT64_MAX, -1},
      {"4294967296", 4294967296, 0},   // only the low 32 bits remain
      {"2147483648", 2147483648, INT32_MIN},
      {"4294967338", 4294967338, 42},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DigitsToInt64(c.s), c.v64) << c.s;
    EXPECT_EQ(DigitsToInt(c.s), c.v32) << c.s;
  }
}

TEST(TextUtils, DigitsBeyondTheSixtyFourBitRangeAreAConversionError) {
  for (const char* s : {"9223372036854775808", "99999999999999999999", " 18446744073709551616 "}) {
    EXPECT_THROW(DigitsToInt64(s), EConvertError) << s;
    EXPECT_THROW(DigitsToInt(s), EConvertError) << s;
  }
  try {
    DigitsToInt64(" 99999999999999999999 ");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'99999999999999999999' не является допустимым целым числом");
  }
}

TEST(TextUtils, TextToBoolKnowsTheYesWordsInAnyCase) {
  for (const char* s : {"1", " да ", "Да", "ДА", "дА", "true", "True", "yes", "YES", "ok", "Ok", "\tTRUE\r\n"})
    EXPECT_TRUE(TextToBool(s)) << s;
  for (const char* s : {"", "0", "Y", "нет", "false", "д", "да да", "01", "TRUE1", "ДАЁ"})
    EXPECT_FALSE(TextToBool(s)) << s;
}

TEST(TextUtils, UpperCaseCoversCyrillicAndLatin) {
  EXPECT_EQ(UpperCase("абвгдеёжзийклмнопрстуфхцчшщъыьэюя"), "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ");
  EXPECT_EQ(UpperCase("abc xyz 09 [_]"), "ABC XYZ 09 [_]");
  EXPECT_EQ(UpperCase("ґ є і ї ў"), "Ґ Є І Ї Ў");
  EXPECT_EQ(UpperCase("àéÿ ß ÷ łń"), "ÀÉŸ ß ÷ ŁŃ");
  EXPECT_EQ(UpperCase("АБВ ABC №"), "АБВ ABC №");
  EXPECT_EQ(UpperCase("a\xFF" "b"), "A\xFF" "B");  // malformed bytes pass through
}

TEST(TextUtils, FileNameNoExtCutsTheLastExtension) {
  struct Case { const char* f; const char* name; const char* withPath; };
  const Case cases[] = {
      {"C:\\data\\goods.db", "goods", "C:\\data\\goods"},
      {"a.b.db", "a.b", "a.b"},
      {"/home/u/Товары.DB", "Товары", "/home/u/Товары"},
      {"C:\\my.dir\\goods", "goods", "C:\\my.dir\\goods"},  // a point in a folder is no extension
      {"C:\\data/mixed\\t.mem", "t", "C:\\data/mixed\\t"},
      {"name.", "name", "name"},
      {"C:\\data\\", "", "C:\\data\\"},
      {"", "", ""},
      {"TMytaSee.DBGrid.mem", "TMytaSee.DBGrid", "TMytaSee.DBGrid"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileNameNoExt(c.f, false), c.name) << c.f;
    EXPECT_EQ(FileNameNoExt(c.f, true), c.withPath) << c.f;
  }
}
