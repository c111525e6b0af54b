#include "common/CodePage.h"

#include <gtest/gtest.h>

using codepage::codecFor;

TEST(CodePage, RussianTextRoundTripsThroughWindowsAndDosPages) {
  const std::string text = "Ёлочные игрушки: ЪЫЬЭЮЯ ъыьэюя ё №";
  for (int cp : {1251, 866}) {
    const auto* c = codecFor(cp);
    ASSERT_NE(c, nullptr) << cp;
    std::string bytes;
    char32_t bad = 0;
    ASSERT_TRUE(c->encodeAppend(text, bytes, &bad)) << cp;
    EXPECT_EQ(codepage::utf8Length(text), bytes.size());
    EXPECT_EQ(c->decode(bytes), text) << cp;
  }
  std::string b;
  codecFor(1251)->encodeAppend("Ж", b, nullptr);
  EXPECT_EQ(b, "\xC6");
  b.clear();
  codecFor(866)->encodeAppend("Ж", b, nullptr);
  EXPECT_EQ(b, "\x86");
}

TEST(CodePage, EveryByteOfEverySingleBytePageDecodesAndEncodesBack) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  for (int cp : {437, 850, 866, 1250, 1251, 1252, 1257}) {
    const auto* c = codecFor(cp);
    ASSERT_NE(c, nullptr);
    std::string back;
    ASSERT_TRUE(c->encodeAppend(c->decode(all), back, nullptr)) << cp;
    EXPECT_EQ(back, all) << cp;
  }
}

TEST(CodePage, CharacterOutsideThePageIsRefusedAndNamed) {
  std::string out;
  char32_t bad = 0;
  EXPECT_FALSE(codecFor(866)->encodeAppend("цена €", out, &bad));
  EXPECT_EQ(bad, U'€');
  EXPECT_FALSE(codecFor(1251)->encodeAppend("\xFF\xFE", out, &bad)) << "invalid UTF-8";
}

TEST(CodePage, MultiBytePageThroughIconv) {
  const auto* c = codecFor(936);
  ASSERT_NE(c, nullptr);
  std::string bytes;
  ASSERT_TRUE(c->encodeAppend("中文", bytes, nullptr));
  EXPECT_EQ(bytes.size(), 4u);
  EXPECT_EQ(c->decode(bytes), "中文");
  EXPECT_EQ(codecFor(12345), nullptr);
}

TEST(CodePage, LanguageDrivers) {
  EXPECT_EQ(codepage::codePageOfDriver("ancyrr"), 1251);
  EXPECT_EQ(codepage::codePageOfDriver("cyrr"), 866);
  EXPECT_EQ(codepage::codePageOfDriver("ANSIINTL"), 1252);
  EXPECT_EQ(codepage::codePageOfDriver("ascii"), 0);
}
