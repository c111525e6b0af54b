// Damaged tables: every one ends in an engine error that names the file and what is wrong
// where, after the records in front of the damage have read normally.
#include "db/EngineError.h"
#include "db/FileAccess.h"
#include "db/Table.h"
#include "support/TestSupport.h"

#include <cstring>
#include <unistd.h>

namespace {

struct DamageCase {
  const char* file;       // below fixtures/paradox/made/damaged
  const char* source;     // the sound table it was made from, below fixtures/paradox/made
  int recordsBefore;      // records that read before the damage
  std::vector<std::string> inMessage;  // what the message must say
};

const DamageCase kCases[] = {
    {"dmgcount.db", "plain.db", 100, {"dmgcount.db", "103", "100", "запись 101"}},
    {"dmgloop.db", "plain.db", 78, {"dmgloop.db", "цикл", "блок 3", "блок 2"}},
    {"dmgprev.db", "plain.db", 52, {"dmgprev.db", "блок 3", "предыдущий блок 1"}},
    {"dmgrange.db", "plain.db", 52, {"dmgrange.db", "блок 9", "блок 2"}},
    {"dmgsize.db", "plain.db", 26, {"dmgsize.db", "блок 2", "940"}},
    {"dmgtrunc.db", "plain.db", 80, {"dmgtrunc.db", "обрезан", "блок 4", "запись 81"}},
    {"pxstale.db", "keyed.db", 234, {"pxstale.db", "pxstale.px", "индекс устарел", "блок 7"}},
    {"nopx.db", "keyed.db", 0, {"nopx.db", ".PX"}},
    {"dmgvalue.db", "alltypes.db", 0, {"dmgvalue.db", "даты", "«Born»", "запись 1", "смещение"}},
    {"dmgblob.db", "alltypes.db", 0, {"dmgblob", "изменён", "«Data»", "запись 1"}},
};

class DamagedTables : public ::testing::TestWithParam<DamageCase> {};

// Walks the table as the table test does, field by field; returns the records finished
// and the message of the error that stopped the walk.
std::pair<int, std::string> walk(TTable& t, TTable& sound) {
  int done = 0;
  try {
    t.Open();
    sound.Open();
    while (!t.Eof()) {
      for (int i = 0; i < t.FieldCount(); ++i) EXPECT_EQ(t.Fields(i)->AsString(), sound.Fields(i)->AsString());
      ++done;
      t.Next();
      sound.Next();
    }
  } catch (const ETableDamaged& e) {
    return {done, e.what()};
  }
  return {done, {}};
}

TEST_P(DamagedTables, StopAtTheDamageWithItsPlaceAndReadWhatIsBefore) {
  REQUIRE_FIXTURES();
  const auto& c = GetParam();
  TTable t, sound;
  t.SetTableName(testsupport::fixture(std::string("paradox/made/damaged/") + c.file));
  sound.SetTableName(testsupport::fixture(std::string("paradox/made/") + c.source));
  auto [done, message] = walk(t, sound);
  EXPECT_EQ(done, c.recordsBefore);
  ASSERT_FALSE(message.empty()) << "no damage reported";
  for (const auto& part : c.inMessage) EXPECT_NE(message.find(part), std::string::npos) << message << "\nlacks: " << part;
}

std::string damageCaseName(const ::testing::TestParamInfo<DamageCase>& p) {
  std::string n = p.param.file;
  return n.substr(0, n.find('.'));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DamagedTables, ::testing::ValuesIn(kCases), damageCaseName);

// Within one damaged record each bad value is told apart, while the sound fields of the
// same record still read.
TEST(DamagedValues, EachImpossibleValueIsItsOwnErrorAndTheRestReads) {
  REQUIRE_FIXTURES();
  TTable t;
  t.SetTableName(testsupport::fixture("paradox/made/damaged/dmgvalue.db"));
  t.Open();
  struct { const char* field; const char* what; } bad[] = {
      {"Born", "даты"}, {"At", "времени"}, {"Flag", "логическое"}, {"Amount", "масштабом 5"}};
  for (const auto& b : bad) {
    try {
      (void)t.FieldByName(b.field)->AsString();
      ADD_FAILURE() << b.field << " read";
    } catch (const ETableDamaged& e) {
      EXPECT_NE(std::strstr(e.what(), b.what), nullptr) << e.what();
      EXPECT_NE(std::strstr(e.what(), b.field), nullptr) << e.what();
    }
  }
  EXPECT_EQ(t.FieldByName("Name")->AsString(), "First");
  EXPECT_EQ(t.FieldByName("Small")->AsString(), "1");
  t.Next();
  t.Next();
  EXPECT_THROW((void)t.FieldByName("Amount")->AsString(), ETableDamaged) << "non-decimal BCD digit";
}

TEST(DamagedBlobs, EveryKindOfBadReferenceIsNamed) {
  REQUIRE_FIXTURES();
  TTable t;
  t.SetTableName(testsupport::fixture("paradox/made/damaged/dmgblob.db"));
  t.Open();
  struct { int recNo; const char* field; const char* what; } bad[] = {
      {1, "Data", "изменён"}, {2, "Notes", "за конец файла .MB"}, {3, "Notes", "5001"}, {5, "Notes", "свободную"}};
  for (const auto& b : bad) {
    t.SetRecNo(b.recNo);
    try {
      (void)t.FieldByName(b.field)->AsString();
      ADD_FAILURE() << b.field << " of record " << b.recNo << " read";
    } catch (const ETableDamaged& e) {
      EXPECT_NE(std::strstr(e.what(), b.what), nullptr) << e.what();
      EXPECT_NE(std::strstr(e.what(), ("запись " + std::to_string(b.recNo)).c_str()), nullptr) << e.what();
    }
  }
}

// Damaged bytes that a reader sees in structural places: flip, cut and stretch a sound
// table in memory and demand an engine error or a sound reading, never anything else.
TEST(DamagedHeaders, BrokenHeaderFieldsAreDamageNotCrashes) {
  REQUIRE_FIXTURES();
  auto bytes = testsupport::readFile(testsupport::fixture("paradox/made/plain.db"));
  struct Patch { size_t offset; uint8_t value; const char* what; };
  const Patch patches[] = {
      {0x04, 9, "тип файла"},          {0x05, 7, "размер блока"},      {0x39, 99, "версия"},
      {0x00, 0, "размер записи"},      {0x21, 0, "число полей"},       {0x78, 0x42, "неизвестный тип"},
      {0x79, 3, "недопустимый размер"}, {0x0E, 40, "первый блок"}};
  for (const auto& p : patches) {
    auto copy = bytes;
    copy[p.offset] = p.value;
    if (p.offset == 0x00) copy[0x01] = 0;
    if (p.offset == 0x21) copy[0x22] = 0;
    io::MemoryFileSystem mem;
    mem.put("t/x.db", copy);
    auto* prev = io::setDefaultFileSystem(&mem);
    TTable t;
    t.SetTableName("t/x.db");
    try {
      t.Open();
      while (!t.Eof()) t.Next();
      ADD_FAILURE() << "patch at " << p.offset << " not noticed";
    } catch (const ETableDamaged& e) {
      EXPECT_NE(std::strstr(e.what(), p.what), nullptr) << e.what();
      EXPECT_NE(std::strstr(e.what(), "t/x.db"), nullptr) << e.what();
    }
    io::setDefaultFileSystem(prev);
  }
}

}  // namespace

namespace {

// Another program cuts or rewrites a table while Checkup reads it: an error, not zeros.
TEST(SharedTables, ChangedUnderTheReaderIsAnErrorNotSilentData) {
  REQUIRE_FIXTURES();
  io::MemoryFileSystem mem;
  mem.put("t/plain.db", testsupport::readFile(testsupport::fixture("paradox/made/plain.db")));
  auto* prev = io::setDefaultFileSystem(&mem);
  {
    TTable t;
    t.SetTableName("t/plain.db");
    t.Open();
    EXPECT_EQ(t.FieldByName("N")->AsString(), "1");
    auto bytes = mem.get("t/plain.db");
    bytes.resize(bytes.size() - 700);  // the last block loses most of its records
    mem.put("t/plain.db", bytes);
    // A cut that the already open file no longer sees is fine; reopen on the cut file.
  }
  {
    TTable t;
    t.SetTableName("t/plain.db");
    EXPECT_THROW({ t.Open(); while (!t.Eof()) t.Next(); }, ETableDamaged);
  }
  io::setDefaultFileSystem(prev);

  // A real file cut while it is open.
  testsupport::TempDir dir;
  testsupport::copyFile(testsupport::fixture("paradox/made/plain.db"), dir.file("plain.db"));
  TTable t;
  t.SetTableName(dir.file("plain.db"));
  t.Open();
  ASSERT_EQ(::truncate(dir.file("plain.db").c_str(), 0x800 + 1024 + 200), 0);
  try {
    while (!t.Eof()) {
      for (int i = 0; i < t.FieldCount(); ++i) (void)t.Fields(i)->AsString();
      t.Next();
    }
    FAIL() << "read past the cut";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::strstr(e.what(), "изменена другой программой"), nullptr) << e.what();
  }
}

}  // namespace
