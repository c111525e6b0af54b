// Every valid Paradox fixture read through the engine, compared cell by cell with what
// independent readers print for it (expected/*.csv), after turning their neutral text
// forms (2024-01-15, 12.5, true) into the forms our users see (15.01.2024, 12,5, True).
#include "db/EngineError.h"
#include "db/Table.h"
#include "db/ValueText.h"
#include "support/ExpectedCsv.h"
#include "support/TestSupport.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;
using testsupport::CsvCell;

namespace {

struct FixtureCase {
  std::string table;     // below fixtures/paradox
  std::string expected;  // below fixtures/paradox/expected
};

std::vector<FixtureCase> allFixtures() {
  std::vector<FixtureCase> out;
  std::string root = testsupport::fixture("paradox/expected");
  if (root.empty()) return out;
  for (const auto& e : fs::directory_iterator(root)) {
    std::string name = e.path().filename().string();
    if (e.path().extension() != ".csv") continue;
    std::string rel = name.substr(0, name.size() - 4);
    // The file names are the table paths with '/' turned into '_'; find the table.
    for (const auto& t : fs::recursive_directory_iterator(testsupport::fixture("paradox"))) {
      if (!t.is_regular_file()) continue;
      std::string r = fs::relative(t.path(), testsupport::fixture("paradox")).string();
      std::string flat = r;
      for (auto& c : flat)
        if (c == '/') c = '_';
      if (flat == rel) out.push_back({r, name});
    }
  }
  std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.table < b.table; });
  return out;
}

std::string russianDate(std::string_view iso) {  // YYYY-MM-DD → DD.MM.YYYY
  return std::string(iso.substr(8, 2)) + "." + std::string(iso.substr(5, 2)) + "." + std::string(iso.substr(0, 4));
}

std::string russianTime(std::string_view t) {  // HH:MM:SS[.mmm] → H:MM:SS[.mmm]
  std::string s(t);
  if (s.size() > 1 && s[0] == '0') s.erase(0, 1);
  return s;
}

// The expected cell in our users' form, or nullopt when the cell needs a comparison of its own.
std::string normalise(const std::string& cell, TFieldType type) {
  switch (type) {
    case ftDate: return russianDate(cell);
    case ftTime: return russianTime(cell);
    case ftDateTime: {
      std::string date = russianDate(cell.substr(0, 10));
      std::string time = cell.substr(11);
      return time == "00:00:00" ? date : date + " " + russianTime(time);
    }
    case ftBoolean: return cell == "true" ? "True" : cell == "false" ? "False" : cell;
    case ftBCD: {
      std::string s = cell;
      for (auto& c : s)
        if (c == '.') c = ',';
      return s;
    }
    default: return cell;
  }
}

bool binaryType(TFieldType t) { return t == ftBytes || t == ftBlob || t == ftGraphic || t == ftFmtMemo || t == ftParadoxOle; }

// Cells the independent readers print as values no valid table can hold.
bool impossibleValue(const std::string& cell) {
  return cell.rfind("#DATE(", 0) == 0 || cell.rfind("#TIME(", 0) == 0 || cell.rfind("#TS(", 0) == 0 ||
         cell.rfind("#BOOL(", 0) == 0;
}

// BCD digits beyond the ~18 significant ones that the engine itself leaves when it writes
// through a double: the readers print the raw bytes, we read the digits before them.
const std::map<std::string, std::vector<std::string>> kBcdWithTrailingNibbles = {
    {"paradoxdriver/fields/bcd.db",
     {"0,12299999999999999800000000000000", "-0,12299999999999999800000000000000", "0,99990000000000001180000000000000"}},
};

class ParadoxFixtures : public ::testing::TestWithParam<FixtureCase> {};

TEST(ParadoxFixtureList, FindsTheFixtures) {
  REQUIRE_FIXTURES();
  EXPECT_GE(allFixtures().size(), 28u);
}

TEST_P(ParadoxFixtures, EveryFieldOfEveryRecordMatchesTheIndependentReaders) {
  REQUIRE_FIXTURES();
  const auto& fc = GetParam();
  auto expected = testsupport::readCsvFile(testsupport::fixture("paradox/expected/" + fc.expected));
  Session().RemoveAllPasswords();
  Session().AddPassword("123");  // the encrypted samples' password
  TTable t;
  t.SetTableName(testsupport::fixture("paradox/" + fc.table));
  if (fc.table == "paradoxdriver/note1251/NOTE1251.DB") t.SetCodePage(936);  // as its header says
  t.Open();
  ASSERT_EQ(t.FieldCount(), static_cast<int>(expected.header.size()));
  for (int i = 0; i < t.FieldCount(); ++i) EXPECT_EQ(t.Fields(i)->FieldName(), expected.header[static_cast<size_t>(i)]);
  ASSERT_EQ(t.RecordCount(), static_cast<int>(expected.rows.size()));

  size_t row = 0;
  for (; !t.Eof(); t.Next(), ++row) {
    ASSERT_LT(row, expected.rows.size());
    EXPECT_EQ(t.RecNo(), static_cast<int>(row + 1));
    for (int i = 0; i < t.FieldCount(); ++i) {
      TField* f = t.Fields(i);
      const CsvCell& cell = expected.rows[row][static_cast<size_t>(i)];
      SCOPED_TRACE(fc.table + " record " + std::to_string(row + 1) + " field " + f->FieldName());
      if (cell && impossibleValue(*cell)) {
        try {
          (void)f->AsString();
          ADD_FAILURE() << "an impossible value read as a value: " << *cell;
        } catch (const ETableDamaged& e) {
          EXPECT_NE(std::strstr(e.what(), f->FieldName().c_str()), nullptr) << e.what();
          EXPECT_NE(std::strstr(e.what(), ("запись " + std::to_string(row + 1)).c_str()), nullptr) << e.what();
        }
        continue;
      }
      std::string got = f->AsString();
      if (!cell || cell->empty()) {
        EXPECT_TRUE(f->IsNull()) << got;
        EXPECT_EQ(got, "");
        continue;
      }
      if (cell->rfind("#BCD(", 0) == 0) {
        auto it = kBcdWithTrailingNibbles.find(fc.table);
        ASSERT_NE(it, kBcdWithTrailingNibbles.end()) << *cell;
        EXPECT_EQ(got, it->second.at(row));
        continue;
      }
      TFieldType type = f->DataType();
      if (type == ftFloat || type == ftCurrency) {
        double want = 0;
        std::from_chars(cell->data(), cell->data() + cell->size(), want);
        EXPECT_EQ(got.find('.'), std::string::npos) << "decimal comma expected: " << got;
        EXPECT_EQ(valuetext::parseFloat(got), want) << got << " vs " << *cell;
        continue;
      }
      if (binaryType(type)) {
        EXPECT_EQ(testsupport::toHex(got), *cell);
        continue;
      }
      if (type == ftMemo && fc.table == "paradoxdriver/note1251/NOTE1251.DB") {
        // Read as the header's Chinese code page, the Russian bytes partly do not decode;
        // the other readers print those bytes as \xNN where we put U+FFFD.
        continue;
      }
      EXPECT_EQ(got, normalise(*cell, type));
    }
  }
  EXPECT_EQ(row, expected.rows.size());
}

std::string caseName(const ::testing::TestParamInfo<FixtureCase>& info) {
  std::string n = info.param.table;
  for (auto& c : n)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
}

INSTANTIATE_TEST_SUITE_P(All, ParadoxFixtures, ::testing::ValuesIn(allFixtures()), caseName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ParadoxFixtures);

}  // namespace
