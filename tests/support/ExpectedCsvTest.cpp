// The parser of the fixtures' expected CSV files: every comparison with an independent reader
// rests on it, so NULL versus empty, quoting and line breaks inside cells must be exact.
#include "support/ExpectedCsv.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TestSupport.h"

namespace {

using testsupport::CsvRow;
using testsupport::parseCsv;

struct ParseCase {
  const char* what;
  std::string text;
  std::vector<std::string> header;
  std::vector<CsvRow> rows;
};

TEST(ExpectedCsv, ParsesCells) {
  const std::nullopt_t null = std::nullopt;
  const std::vector<ParseCase> cases = {
      {"header only, no final line break", "A,B", {"A", "B"}, {}},
      {"empty unquoted cell is NULL, quoted empty is empty text", "A,B,C\n,\"\",x\n",
       {"A", "B", "C"}, {{null, "", "x"}}},
      {"NULL in the last cell", "A,B\n1,\n", {"A", "B"}, {{"1", null}}},
      {"NULL last cell without final line break", "A,B\n1,", {"A", "B"}, {{"1", null}}},
      {"comma, doubled quote and CR LF inside quotes",
       "N,T\n1,\"Quote, comma \"\"x\"\"\"\n2,\"line1\r\nline2\"\n", {"N", "T"},
       {{"1", "Quote, comma \"x\""}, {"2", "line1\r\nline2"}}},
      {"CR LF between records", "A,B\r\n1,2\r\n3,4\r\n", {"A", "B"}, {{"1", "2"}, {"3", "4"}}},
      {"single column: \"\" keeps the line from being blank", "Time\n01:00:01\n\"\"\n",
       {"Time"}, {{"01:00:01"}, {""}}},
      {"a blank line is one NULL cell", "Time\n\n03:00:03\n", {"Time"}, {{null}, {"03:00:03"}}},
      {"UTF-8 kept as is, byte-order mark skipped", "\xEF\xBB\xBFКод,Цена\n1,\"Молоко 3,2%\"\n",
       {"Код", "Цена"}, {{"1", "Молоко 3,2%"}}},
      {"spaces are data", " a , b\n x ,\" y \"\n", {" a ", " b"}, {{" x ", " y "}}},
      {"empty text", "", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto t = parseCsv(c.text);
    EXPECT_EQ(t.header, c.header);
    EXPECT_EQ(t.rows, c.rows);
  }
}

TEST(ExpectedCsv, RejectsMalformedText) {
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"unclosed quote", "A\n\"abc\n"},
      {"text after closing quote", "A\n\"abc\"d\n"},
      {"quote inside unquoted cell", "A\nab\"c\n"},
      {"too many cells", "A,B\n1,2,3\n"},
      {"too few cells", "A,B\n1\n"},
      {"NULL field name", "A,,C\n1,2,3\n"},
  };
  for (const auto& [what, text] : cases) {
    SCOPED_TRACE(what);
    EXPECT_THROW(parseCsv(text), std::runtime_error);
  }
}

TEST(ExpectedCsv, ErrorNamesTheLine) {
  try {
    parseCsv("A,B\n\"x\ny\",1\n2\n");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("line 4"), std::string::npos) << e.what();
  }
}

TEST(ExpectedCsv, HexRoundTrip) {
  const std::string bytes("\x00\x07\x0e\xff\x80 A", 7);
  EXPECT_EQ(testsupport::toHex(bytes), "00070eff802041");
  EXPECT_EQ(testsupport::fromHex("00070eff802041"), bytes);
  EXPECT_EQ(testsupport::fromHex("00070EFF802041"), bytes);
  EXPECT_EQ(testsupport::toHex(""), "");
  EXPECT_EQ(testsupport::fromHex(""), std::string());
  EXPECT_EQ(testsupport::fromHex("abc"), std::nullopt);
  EXPECT_EQ(testsupport::fromHex("0g"), std::nullopt);
}

// Every expected file of the fixtures parses, with as many cells per record as field names.
TEST(ExpectedCsv, EveryFixtureFileParses) {
  REQUIRE_FIXTURES();
  namespace fs = std::filesystem;
  size_t files = 0;
  for (const char* kind : {"paradox", "dbase"}) {
    fs::path dir = testsupport::fixture(std::string(kind) + "/expected");
    if (!fs::is_directory(dir)) continue;
    for (const auto& e : fs::directory_iterator(dir)) {
      if (e.path().extension() != ".csv") continue;
      SCOPED_TRACE(e.path().string());
      ++files;
      EXPECT_NO_THROW({
        auto t = testsupport::readCsvFile(e.path().string());
        EXPECT_FALSE(t.header.empty());
      });
    }
  }
  EXPECT_GT(files, 0u);
}

}  // namespace
