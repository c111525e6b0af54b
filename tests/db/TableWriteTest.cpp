// Writing tables through the dataset: what is posted reads back, through our reader and
// through an independent one, and the files stay a table the suite's programs accept.
#include "db/EngineError.h"
#include "db/Table.h"
#include "db/ValueText.h"
#include "db/paradox/ParadoxTable.h"
#include "support/CanonicalText.h"
#include "support/TestSupport.h"
#ifdef CHECKUP_HAVE_PXLIB
#include "support/PxlibReader.h"
#endif

#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Copies a fixture's family into a temporary folder.
std::string copyFamily(const testsupport::TempDir& dir, const std::string& fixtureDb) {
  fs::path src = testsupport::fixture("paradox/" + fixtureDb);
  std::string stem = src.stem().string();
  for (const auto& e : fs::directory_iterator(src.parent_path()))
    if (e.path().stem().string() == stem) testsupport::copyFile(e.path().string(), dir.file(e.path().filename().string()));
  return dir.file(src.filename().string());
}

std::vector<std::vector<std::string>> allText(TTable& t) {
  std::vector<std::vector<std::string>> rows;
  for (t.First(); !t.Eof(); t.Next()) {
    std::vector<std::string> r;
    for (int i = 0; i < t.FieldCount(); ++i) r.push_back(t.Fields(i)->AsString());
    rows.push_back(r);
  }
  return rows;
}

// Opens the table afresh: no damage, no warnings, and its text.
std::vector<std::vector<std::string>> reread(const std::string& path) {
  paradox::ParadoxTable check(path, {});
  EXPECT_EQ(check.damage(), "") << path;
  TTable t;
  t.SetTableName(path);
  t.Open();
  return allText(t);
}

TEST(TableWrite, EditAppendDeleteReadBackUnkeyed) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  std::string path = copyFamily(dir, "made/alltypes.db");
  std::vector<std::vector<std::string>> want;
  {
    TTable t;
    t.SetTableName(path);
    t.Open();
    want = allText(t);
    t.First();
    t.Edit();
    t.FieldByName("Name")->SetAsString("Première ligne");
    t.FieldByName("Notes")->SetAsString(std::string(5000, 'x'));  // leader → .MB, type 2
    t.FieldByName("Data")->SetAsString("");                         // BLOB cleared
    t.FieldByName("Amount")->SetAsString("-12,5");
    t.FieldByName("Stamp")->SetAsString("31.12.2024 23:59:59.999");
    t.Post();
    want[0][0] = "Première ligne";
    want[0][7] = std::string(5000, 'x');
    want[0][8] = "";
    want[0][12] = "-12,50";
    want[0][10] = "31.12.2024 23:59:59.999";
    t.Append();
    t.FieldByName("Name")->SetAsString("Nouvelle");
    t.FieldByName("Notes")->SetAsString("une note courte, plus longue que le début");  // type 3
    t.FieldByName("Raw")->SetAsString(std::string("\x01\x02", 2));
    t.Post();
    EXPECT_EQ(t.FieldByName("Id")->AsString(), "6") << "autoincrement continues";
    want.push_back({"Nouvelle", "", "", "", "", "", "", "une note courte, plus longue que le début", "", "", "", "6", "",
                    std::string("\x01\x02\0\0\0\0\0\0", 8), ""});
    t.SetRecNo(2);
    t.Delete();
    want.erase(want.begin() + 1);
  }
  EXPECT_EQ(reread(path), want);
}

TEST(TableWrite, KeyedTableStaysInKeyOrderWithAValidIndex) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  std::string path = copyFamily(dir, "made/ru1251.db");
  {
    TTable t;
    t.SetTableName(path);
    t.Open();
    for (int key : {4, 0 + 7, 100, -3, 6}) {
      t.Append();
      t.FieldByName("Код")->SetAsString(std::to_string(key));
      t.FieldByName("Наименование")->SetAsString("Товар " + std::to_string(key));
      t.Post();
      EXPECT_EQ(t.FieldByName("Код")->AsString(), std::to_string(key)) << "the cursor stands on the new record";
    }
    t.Append();
    t.FieldByName("Код")->SetAsString("5");
    EXPECT_THROW(t.Post(), EDatabaseError) << "duplicate key";
    t.Cancel();
    // A changed key moves the record, with its memo.
    t.First();
    while (t.FieldByName("Код")->AsString() != "3") t.Next();
    t.Edit();
    t.FieldByName("Код")->SetAsString("50");
    t.Post();
    EXPECT_EQ(t.FieldByName("Примечание")->AsString(), "Стекло. Хрупкое! Упаковка: коробка 12 шт.");
  }
  auto rows = reread(path);
  std::vector<std::string> keys;
  for (const auto& r : rows) keys.push_back(r[0]);
  EXPECT_EQ(keys, (std::vector<std::string>{"-3", "1", "2", "4", "5", "6", "7", "10", "50", "100"}));
}

TEST(TableWrite, ManyRecordsSplitBlocksAndFreeThemAgain) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  std::string path = copyFamily(dir, "made/keyed.db");  // Alpha key under ANSIINTL: order unknown
  {
    TTable t;
    t.SetTableName(path);
    t.Open();
    t.Append();
    t.FieldByName("Dept")->SetAsString("Z99");
    t.FieldByName("No")->SetAsString("1");
    try {
      t.Post();
      FAIL() << "inserted under an unknown collation";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::strstr(e.what(), "ANSIINTL"), nullptr) << e.what();
    }
    t.Cancel();
    // Edits that keep the key and deletes are fine.
    t.Last();
    t.Edit();
    t.FieldByName("Title")->SetAsString("Geändert");
    t.Post();
    for (int i = 0; i < 100; ++i) {
      t.First();
      t.Delete();
    }
    EXPECT_EQ(t.RecordCount(), 140);
  }
  auto rows = reread(path);
  ASSERT_EQ(rows.size(), 140u);
  EXPECT_EQ(rows.back()[2], "Geändert");

  // An integer key: hundreds of inserts in random order split blocks.
  std::string path2 = copyFamily(dir, "made/ru1251.db");
  {
    TTable t;
    t.SetTableName(path2);
    t.Open();
    unsigned x = 12345;
    for (int i = 0; i < 600; ++i) {
      x = x * 1103515245u + 12345u;
      int key = 1000 + static_cast<int>(x % 100000);
      t.Append();
      t.FieldByName("Код")->SetAsString(std::to_string(key));
      t.FieldByName("Примечание")->SetAsString(i % 3 ? std::string(static_cast<size_t>(i * 7), 'z') : "");
      try {
        t.Post();
      } catch (const EDatabaseError&) {
        t.Cancel();  // a repeated random key
      }
    }
  }
  auto rows2 = reread(path2);
  for (size_t i = 1; i < rows2.size(); ++i)
    ASSERT_LT(std::stoi(rows2[i - 1][0]), std::stoi(rows2[i][0])) << "key order at " << i;
  EXPECT_GT(rows2.size(), 500u);
}

#ifdef CHECKUP_HAVE_PXLIB
TEST(TableWrite, IndependentReaderSeesWhatWasPosted) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  std::string path = copyFamily(dir, "made/plain.db");
  {
    TTable t;
    t.SetTableName(path);
    t.Open();
    t.SetRecNo(10);
    t.Edit();
    t.FieldByName("Name")->SetAsString("Zeile zehn");
    t.FieldByName("When")->SetAsString("29.02.2024");
    t.Post();
    for (int i = 0; i < 30; ++i) {
      t.Append();
      t.FieldByName("N")->SetAsString(std::to_string(1000 + i));
      t.FieldByName("Name")->SetAsString("Neu " + std::to_string(i));
      t.Post();
    }
    t.SetRecNo(3);
    t.Delete();
  }
  auto px = testsupport::readWithPxlib(path);
  auto ours = reread(path);
  ASSERT_EQ(px.rows.size(), ours.size());
  EXPECT_EQ(px.rows[8][1].value_or(""), "Zeile zehn");
  EXPECT_EQ(px.rows[8][2].value_or(""), "2024-02-29");
  for (size_t r = 0; r < ours.size(); ++r) EXPECT_EQ(px.rows[r][0].value_or(""), ours[r][0]) << r;
  EXPECT_EQ(px.rows.back()[1].value_or(""), "Neu 29");
}
#endif

}  // namespace

namespace {

TEST(TableCreate, CreateFillReplaceAndDeleteATable) {
  testsupport::TempDir dir;
  TTable t;
  t.SetDatabaseName(dir.path());
  t.SetTableName("goods");
  t.FieldDefs().Add("Код", ftInteger);
  t.FieldDefs().Add("Наименование", ftString, 40);
  t.FieldDefs().Add("Цена", ftCurrency);
  t.FieldDefs().Add("Остаток", ftBCD, 3);
  t.FieldDefs().Add("Примечание", ftMemo, 20);
  t.FieldDefs().Add("Фото", ftGraphic);
  t.IndexDefs().Add("", "Код", true);
  t.SetTableLevel(5);
  t.CreateTable();
  EXPECT_TRUE(fs::exists(dir.file("goods.DB")));
  EXPECT_TRUE(fs::exists(dir.file("goods.PX")));
  t.Open();
  EXPECT_EQ(t.TableLevel(), 5);
  for (int k : {3, 1, 2}) {
    t.Append();
    t.FieldByName("Код")->SetAsString(std::to_string(k));
    t.FieldByName("Наименование")->SetAsString("Товар №" + std::to_string(k));
    t.FieldByName("Остаток")->SetAsString("12,345");
    std::string note;
    for (int i = 0; i < k * 1500; ++i) note += "ж";
    t.FieldByName("Примечание")->SetAsString(note);
    t.FieldByName("Фото")->SetAsString(std::string(static_cast<size_t>(k) * 40, '\x7f'));
    t.Post();
  }
  t.FlushBuffers();
  t.Close();
  auto rows = reread(dir.file("goods.DB"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(rows[2][1], "Товар №3");
  EXPECT_EQ(rows[1][3], "12,345");
  std::string note;
  for (int i = 0; i < 4500; ++i) note += "ж";
  EXPECT_EQ(rows[2][4], note);
  EXPECT_EQ(rows[1][5], std::string(80, '\x7f'));

  // Without a level the table is made at level 7; an existing table is replaced.
  TTable again;
  again.SetDatabaseName(dir.path());
  again.SetTableName("GOODS");
  again.FieldDefs().Add("Name", ftString, 10);
  again.CreateTable();
  again.Open();
  EXPECT_EQ(again.TableLevel(), 7);
  EXPECT_EQ(again.RecordCount(), 0);
  EXPECT_FALSE(fs::exists(dir.file("goods.PX"))) << "the old key's index is gone with it";
  again.Close();

  again.DeleteTable();
  for (const auto& e : fs::directory_iterator(dir.path())) ADD_FAILURE() << "left behind: " << e.path();

  TTable bad;
  bad.SetDatabaseName(dir.path());
  bad.SetTableName("bad");
  bad.FieldDefs().Add("A", ftString, 10);
  bad.FieldDefs().Add("B", ftInteger);
  bad.IndexDefs().Add("", "B", true);
  EXPECT_THROW(bad.CreateTable(), EDatabaseError) << "a key must be the first fields";
  bad.FieldDefs().Clear();
  bad.IndexDefs().Clear();
  bad.FieldDefs().Add("Big", ftLargeint);
  EXPECT_THROW(bad.CreateTable(), EDatabaseError);
}

}  // namespace
