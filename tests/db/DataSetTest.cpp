// The dataset contract the grid, the editor and the writers build on: states, cursor,
// editing, filters, bookmarks, data links — on a small in-memory source.
#include "db/DataSource.h"
#include "db/EngineError.h"
#include "db/ValueText.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Rows of (Name text, Qty integer, Price float); records are stored as their values.
class MemoryDriver : public TableDriver {
public:
  std::vector<std::vector<Value>> rows;
  std::vector<TFieldDesc> defs{{"Name", ftString, 20}, {"Qty", ftInteger}, {"Price", ftFloat}, {"Id", ftAutoInc, 0, 0, true}};
  int nextId = 1;

  const std::vector<TFieldDesc>& fields() const override { return defs; }
  std::vector<TIndexDesc> indexes() override { return {}; }
  uint64_t recordCount() const override { return rows.size(); }
  void readRecord(uint64_t p, TRecordBuffer& buf) override {
    buf.position = p;
    buf.bytes.assign(1, 0);
    buf.blobs.clear();
    for (size_t i = 0; i < defs.size(); ++i) buf.blobs[static_cast<int>(i)] = encode(rows.at(p)[i]);
  }
  void checkEnd() override {}
  void initRecord(TRecordBuffer& buf) override {
    buf = {};
    buf.bytes.assign(1, 0);
    for (size_t i = 0; i < defs.size(); ++i) buf.blobs[static_cast<int>(i)] = encode(Value::null());
  }
  Value fieldValue(const TRecordBuffer& buf, int f) override { return decode(buf.blobs.at(f), f); }
  void setFieldValue(TRecordBuffer& buf, int f, const Value& v) override { buf.blobs[f] = encode(v); }
  const std::string& fileName() const override { return name; }
  int level() const override { return 0; }
  bool canModify() const override { return true; }
  void prepareWrite() override {}
  void updateRecord(uint64_t p, TRecordBuffer& buf) override { rows.at(p) = values(buf); }
  uint64_t insertRecord(TRecordBuffer& buf) override {
    auto v = values(buf);
    if (v[3].isNull()) v[3] = Value::ofInt(nextId++);
    rows.push_back(v);
    return rows.size() - 1;
  }
  void deleteRecord(uint64_t p) override { rows.erase(rows.begin() + static_cast<long>(p)); }

private:
  std::string name = "memory";
  static std::string encode(const Value& v) { return v.isNull() ? std::string() : "=" + valuetext::format(v); }
  Value decode(const std::string& s, int f) const {
    if (s.empty()) return Value::null();
    std::string t = s.substr(1);
    switch (defs[static_cast<size_t>(f)].dataType) {
      case ftString: return Value::ofText(t);
      case ftFloat: return Value::ofFloat(valuetext::parseFloat(t));
      default: return Value::ofInt(valuetext::parseInteger(t, INT64_MIN, INT64_MAX));
    }
  }
  std::vector<Value> values(const TRecordBuffer& buf) const {
    std::vector<Value> v;
    for (size_t i = 0; i < defs.size(); ++i) v.push_back(decode(buf.blobs.at(static_cast<int>(i)), static_cast<int>(i)));
    return v;
  }
};

class MemoryDataSet : public TDataSet {
public:
  MemoryDriver* driver = nullptr;
  std::vector<std::vector<Value>> initial;

protected:
  std::unique_ptr<TableDriver> CreateDriver() override {
    auto d = std::make_unique<MemoryDriver>();
    d->rows = initial;
    d->nextId = static_cast<int>(initial.size()) + 1;
    driver = d.get();
    return d;
  }
};

struct EventLog : TDataLink {
  std::vector<std::string> events;
  void ActiveChanged() override { events.push_back("active"); }
  void DataSetChanged() override { events.push_back("changed"); }
  void DataSetScrolled(int d) override { events.push_back("scroll " + std::to_string(d)); }
  void RecordChanged(TField* f) override { events.push_back(std::string("field ") + (f ? f->FieldName() : "?")); }
  void EditingChanged() override { events.push_back("state"); }
};

std::vector<std::vector<Value>> sampleRows() {
  std::vector<std::vector<Value>> rows;
  const char* names[] = {"Молоко", "Хлеб", "Сыр", "Масло", "Кефир"};
  for (int i = 0; i < 5; ++i)
    rows.push_back({Value::ofText(names[i]), Value::ofInt(i * 10), Value::ofFloat(1.5 * i), Value::ofInt(i + 1)});
  return rows;
}

class DataSetTest : public ::testing::Test {
protected:
  void SetUp() override {
    ds.initial = sampleRows();
    ds.Open();
  }
  MemoryDataSet ds;
};

TEST_F(DataSetTest, CursorWalksAndReportsEofBofAndRecNo) {
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.RecordCount(), 5);
  EXPECT_TRUE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  std::vector<std::string> seen;
  while (!ds.Eof()) {
    seen.push_back(std::to_string(ds.RecNo()) + ":" + ds.FieldByName("name")->AsString());
    ds.Next();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1:Молоко", "2:Хлеб", "3:Сыр", "4:Масло", "5:Кефир"}));
  EXPECT_EQ(ds.RecNo(), 5) << "Next from the last record stays on it";
  ds.Prior();
  EXPECT_EQ(ds.RecNo(), 4);
  EXPECT_EQ(ds.MoveBy(-10), -3);
  EXPECT_TRUE(ds.Bof());
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.FieldByName("Price")->AsString(), "6");
  EXPECT_EQ(ds.FindField("нет такого"), nullptr);
  EXPECT_THROW(ds.FieldByName("нет такого"), EDatabaseError);
}

TEST_F(DataSetTest, EditPostCancelInsertAppendDelete) {
  ds.SetRecNo(2);
  EXPECT_THROW(ds.FieldByName("Qty")->SetAsString("1"), EDatabaseError) << "not in edit state";
  ds.Edit();
  EXPECT_EQ(ds.State(), dsEdit);
  ds.Edit();  // no effect on a record already edited
  ds.FieldByName("Qty")->SetAsString("77");
  EXPECT_EQ(ds.FieldByName("Qty")->AsString(), "77");
  EXPECT_THROW(ds.FieldByName("Qty")->SetAsString("семь"), EConvertError);
  EXPECT_THROW(ds.FieldByName("Id")->SetAsString("9"), EDatabaseError) << "read-only";
  ds.Cancel();
  EXPECT_EQ(ds.FieldByName("Qty")->AsString(), "10");

  ds.Edit();
  ds.FieldByName("Price")->SetAsString("2,25");
  ds.Post();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.driver->rows[1][2].d, 2.25);

  ds.Append();
  EXPECT_EQ(ds.State(), dsInsert);
  ds.FieldByName("Name")->SetAsString("Чай");
  ds.Post();
  EXPECT_EQ(ds.RecordCount(), 6);
  EXPECT_EQ(ds.RecNo(), 6);
  EXPECT_EQ(ds.FieldByName("Id")->AsString(), "6");

  // Moving while editing posts a changed record.
  ds.First();
  ds.Edit();
  ds.FieldByName("Name")->SetAsString("Молоко 3,2%");
  ds.Next();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.driver->rows[0][0].s, "Молоко 3,2%");

  ds.SetRecNo(3);
  ds.Delete();
  EXPECT_EQ(ds.RecordCount(), 5);
  EXPECT_EQ(ds.FieldByName("Name")->AsString(), "Масло");
  ds.Close();
  EXPECT_EQ(ds.State(), dsInactive);
}

TEST_F(DataSetTest, AssigningTheShownTextChangesNothing) {
  ds.Edit();
  for (int i = 0; i < ds.FieldCount(); ++i)
    if (!ds.Fields(i)->ReadOnly()) ds.Fields(i)->SetAsString(ds.Fields(i)->AsString());
  EXPECT_FALSE(ds.Modified());
}

TEST_F(DataSetTest, FilterRestrictsRowsAndNumbersThem) {
  ds.SetFilter("Qty >= 20 AND Name <> 'Масло'");
  ds.SetFiltered(true);
  EXPECT_EQ(ds.RecordCount(), 2);
  std::vector<std::string> names;
  for (ds.First(); !ds.Eof(); ds.Next()) names.push_back(ds.FieldByName("Name")->AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"Сыр", "Кефир"}));
  ds.SetFilter("Name = 'Х*'");
  EXPECT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(ds.FieldByName("Name")->AsString(), "Хлеб");
  ds.SetFilter("");
  EXPECT_EQ(ds.RecordCount(), 5);
  EXPECT_THROW(ds.SetFilter("Цена > 5"), EFilterError);
  ds.SetFiltered(false);
  EXPECT_EQ(ds.RecordCount(), 5);
}

TEST_F(DataSetTest, BookmarksAndRecordsReadWithoutMoving) {
  ds.SetRecNo(4);
  TBookmark b = ds.GetBookmark();
  ds.First();
  TRecordBuffer row;
  ds.GetRecordAt(5, row);
  EXPECT_EQ(ds.FieldByName("Name")->AsStringOf(row), "Кефир");
  EXPECT_EQ(ds.RecNo(), 1) << "reading a row does not move the cursor";
  EXPECT_TRUE(ds.BookmarkValid(b));
  ds.GotoBookmark(b);
  EXPECT_EQ(ds.FieldByName("Name")->AsString(), "Масло");
  ds.FreeBookmark(b);
  EXPECT_FALSE(ds.BookmarkValid(b));
  EXPECT_THROW(ds.GetRecordAt(6, row), EDatabaseError);
}

TEST_F(DataSetTest, DataLinksHearStateScrollAndChangesUnlessControlsAreDisabled) {
  TDataSource src(&ds);
  EventLog log;
  log.SetDataSource(&src);
  log.events.clear();
  ds.Next();
  ds.Edit();
  ds.FieldByName("Qty")->SetAsString("5");
  ds.Post();
  EXPECT_EQ(log.events, (std::vector<std::string>{"scroll 1", "state", "field Qty", "state", "changed"}));
  log.events.clear();
  ds.DisableControls();
  ds.Next();
  ds.Next();
  EXPECT_TRUE(log.events.empty());
  ds.EnableControls();
  EXPECT_EQ(log.events, (std::vector<std::string>{"changed"}));
  log.events.clear();
  ds.Close();
  EXPECT_EQ(log.events, (std::vector<std::string>{"active"}));
  EXPECT_FALSE(log.Active());
}

TEST(DataSetEmpty, EmptySourceIsAtBothEndsAndEditInserts) {
  MemoryDataSet ds;
  ds.Open();
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(ds.RecNo(), 0);
  EXPECT_EQ(ds.FieldByName("Name")->AsString(), "");
  ds.Edit();
  EXPECT_EQ(ds.State(), dsInsert);
  ds.Cancel();
  EXPECT_THROW(ds.Delete(), EDatabaseError);
}

}  // namespace
