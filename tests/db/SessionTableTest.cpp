// Aliases, table names and the resolution of a table's files, as administrators set them
// up: tables copied from Windows, names in any case, aliases in one INI file.
#include "db/EngineError.h"
#include "db/Session.h"
#include "db/Table.h"
#include "support/TestSupport.h"

#include <cstring>
#include <fstream>

namespace {

class SessionTest : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_FIXTURES();
    for (const char* f : {"CLIENTS.DB", "clients.PX", "Clients.MB", "orders.db", "stock.DBF", "notes.txt", "notes.SCH",
                          "readme.txt", "PDOXUSRS.LCK"})
      testsupport::writeFile(dir.file(f), {0});
    testsupport::copyFile(testsupport::fixture("paradox/made/ru1251.db"), dir.file("GOODS.DB"));
    testsupport::copyFile(testsupport::fixture("paradox/made/ru1251.px"), dir.file("goods.px"));
    testsupport::copyFile(testsupport::fixture("paradox/made/ru1251.mb"), dir.file("Goods.Mb"));
    std::ofstream ini(dir.file("aliases.ini"));
    ini << "[radevad]\nTYPE=STANDARD\nPATH=" << dir.path() << "\nDEFAULT DRIVER=PARADOX\nPASSWORD=секрет\n"
        << "[ib]\nTYPE=INTRBASE\nSERVER NAME=host:c:\\db\\x.gdb\nUSER NAME=SYSDBA\n";
    ini.close();
    Session().SetConfigPath(dir.file("aliases.ini"));
  }
  void TearDown() override { Session().SetConfigPath(testsupport::TempDir().file("none.ini")); }
  testsupport::TempDir dir;
};

TEST_F(SessionTest, AliasesAndTheirParameters) {
  std::vector<std::string> names;
  Session().GetAliasNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"radevad", "ib"}));
  EXPECT_TRUE(Session().IsAlias("RADEVAD"));
  EXPECT_FALSE(Session().IsAlias("другой"));
  std::vector<std::string> params;
  Session().GetAliasParams("ib", params);
  EXPECT_EQ(params, (std::vector<std::string>{"SERVER NAME=host:c:\\db\\x.gdb", "USER NAME=SYSDBA"}));
  Session().GetAliasParams("radevad", params);
  EXPECT_EQ(params.at(0), "PATH=" + dir.path());
  for (const auto& p : params) EXPECT_EQ(p.find("секрет"), std::string::npos) << "passwords stay hidden";
  EXPECT_EQ(Session().GetAliasDriverName("ib"), "INTRBASE");
  EXPECT_THROW(Session().GetTableNames("ib", "*.db", false, false, names), EDatabaseError);
}

TEST_F(SessionTest, TableNamesMatchWithoutRegardToCase) {
  std::vector<std::string> names;
  Session().GetTableNames("radevad", "*.db", false, false, names);
  EXPECT_EQ(names, (std::vector<std::string>{"CLIENTS", "GOODS", "orders"}));
  Session().GetTableNames("radevad", "", true, false, names);
  EXPECT_EQ(names, (std::vector<std::string>{"CLIENTS.DB", "GOODS.DB", "notes.txt", "orders.db", "stock.DBF"}));
  Session().GetTableNames(dir.path(), "c*", true, true, names);
  EXPECT_EQ(names, (std::vector<std::string>{"CLIENTS.DB"}));
  Session().GetTableNames(dir.path(), "*.lck", true, true, names);
  EXPECT_EQ(names, (std::vector<std::string>{"PDOXUSRS.LCK"}));
}

TEST_F(SessionTest, TableNameResolvesWithItsFamilyInAnyCase) {
  TTable t;
  t.SetDatabaseName("radevad");
  t.SetTableName("goods");
  EXPECT_TRUE(t.Exists());
  t.Open();
  EXPECT_EQ(t.RecordCount(), 5);
  EXPECT_EQ(t.FieldByName("Примечание")->AsString(), "Хранить при температуре от +2 до +6 °C") << "the .MB found as Goods.Mb";
  EXPECT_EQ(t.TableLevel(), 7);
  t.Close();
  t.SetTableName(dir.path() + "/Goods.db");
  EXPECT_TRUE(t.Exists());
  t.SetTableName("nothing");
  EXPECT_FALSE(t.Exists());
  try {
    t.Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::strstr(e.what(), "nothing.DB"), nullptr) << e.what();
  }
  t.SetDatabaseName("нет такого");
  t.SetTableName("goods");
  EXPECT_THROW(t.Open(), EDatabaseError);
}

TEST(TableStructure, FieldAndIndexDefinitionsWithoutOpening) {
  REQUIRE_FIXTURES();
  struct { const char* table; std::vector<std::string> indexes; } cases[] = {
      {"paradoxdriver/index/C.DB", {"*:C:primary unique", "A:A:", "B:B:"}},
      {"paradoxdriver/index/fk4.db", {"*:ID:primary unique", "reference:FK1;FK:"}},
      {"paradoxdriver/index/indexed.db", {"Descending:Indexed:descending ci not-maintained"}},
      {"paradoxdriver/index/case.db", {"C:C:not-maintained"}},
      {"pxlib/TypSammlung.DB", {"*:Alpha;Numerisch:primary unique", "Numerisch:Numerisch:not-maintained"}},
  };
  for (const auto& c : cases) {
    TTable t;
    t.SetTableName(testsupport::fixture(std::string("paradox/") + c.table));
    t.IndexDefs().Update();
    std::vector<std::string> got;
    for (const auto& ix : t.IndexDefs().Items()) {
      std::string opts;
      if (ix.primary) opts += "primary ";
      if (ix.unique) opts += "unique ";
      if (ix.descending) opts += "descending ";
      if (ix.caseInsensitive) opts += "ci ";
      if (!ix.maintained) opts += "not-maintained ";
      if (!opts.empty()) opts.pop_back();
      got.push_back((ix.primary ? "*" : ix.name) + ":" + ix.fields + ":" + opts);
    }
    std::sort(got.begin() + (got.size() > 1 ? 1 : 0), got.end());
    EXPECT_EQ(got, c.indexes) << c.table;
    EXPECT_FALSE(t.Active());
  }
  TTable t;
  t.SetTableName(testsupport::fixture("paradox/made/alltypes.db"));
  t.FieldDefs().Update();
  ASSERT_EQ(t.FieldDefs().Count(), 15);
  struct { int i; TFieldType type; int size; } defs[] = {
      {0, ftString, 20}, {1, ftDate, 0}, {2, ftSmallint, 0}, {3, ftInteger, 0}, {4, ftCurrency, 0},
      {5, ftFloat, 0}, {6, ftBoolean, 0}, {7, ftMemo, 10}, {8, ftBlob, 0}, {9, ftTime, 0},
      {10, ftDateTime, 0}, {11, ftAutoInc, 0}, {12, ftBCD, 2}, {13, ftBytes, 8}, {14, ftString, 4}};
  for (const auto& d : defs) {
    EXPECT_EQ(t.FieldDefs()[d.i].dataType, d.type) << d.i;
    EXPECT_EQ(t.FieldDefs()[d.i].size, d.size) << d.i;
  }
  EXPECT_TRUE(t.FieldDefs()[11].readOnly) << "autoincrement";
}

TEST(TableText, PasswordsAndCodePages) {
  REQUIRE_FIXTURES();
  Session().RemoveAllPasswords();
  TTable t;
  t.SetTableName(testsupport::fixture("paradox/paradoxdriver/encrypt/encrypted.db"));
  try {
    t.Open();
    FAIL() << "opened without the password";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::strstr(e.what(), "паролем"), nullptr) << e.what();
    EXPECT_NE(std::strstr(e.what(), "encrypted.db"), nullptr) << e.what();
  }
  Session().AddPassword("неверный");
  EXPECT_THROW(t.Open(), EDatabaseError);
  Session().AddPassword("123");
  t.Open();
  EXPECT_EQ(t.FieldByName("Text")->AsString(), "Value 1");
  t.Close();
  Session().RemoveAllPasswords();

  // The header says Chinese, the bytes are Windows Russian: the override reads them.
  TTable note;
  note.SetTableName(testsupport::fixture("paradox/paradoxdriver/note1251/NOTE1251.DB"));
  note.SetCodePage(1251);
  note.Open();
  EXPECT_EQ(note.FieldByName("Note")->AsString().rfind("При разработке электронных сервисов необходимо", 0), 0u);
  note.Next();
  EXPECT_EQ(note.FieldByName("Note")->AsString().rfind("Удивительное", 0), 0u) << note.FieldByName("Note")->AsString();

  TTable dos;
  dos.SetTableName(testsupport::fixture("paradox/made/ru866.db"));
  dos.Open();
  EXPECT_EQ(dos.FieldByName("Имя")->AsString(), "Пётр");
}

}  // namespace
