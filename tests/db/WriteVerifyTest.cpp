// Writing verified from outside the writer:
// * every fixture table written back with its own values stays byte for byte what it was, and
//   written with its neighbours' values reads back with them and without damage;
// * tables Checkup creates and edits read the same through pxlib (an independent reader);
// * tables pxlib writes read the same through Checkup;
// * while another process holds the table, writes are refused with the holder named and
//   reading goes on.
#include "common/CodePage.h"
#include "common/Errors.h"
#include "db/EngineError.h"
#include "db/Session.h"
#include "db/Table.h"
#include "db/paradox/ParadoxFormat.h"
#include "db/paradox/ParadoxTable.h"
#include "db/paradox/ParadoxWriter.h"
#include "support/CanonicalText.h"
#include "support/ExpectedCsv.h"
#include "support/LockHolder.h"
#include "support/TestSupport.h"
#ifdef CHECKUP_HAVE_PXLIB
#include "support/PxlibApi.h"
#include "support/PxlibReader.h"
#endif

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::vector<uint8_t>>;

// Every file in a folder by name: a family's files and anything a write left beside them.
Files snapshot(const std::string& dir) {
  Files files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) files[e.path().filename().string()] = testsupport::readFile(e.path().string());
  return files;
}

// Names the files that differ, with the first differing offset.
std::string differences(const Files& before, const Files& after) {
  std::string out;
  for (const auto& [name, bytes] : before) {
    auto it = after.find(name);
    if (it == after.end()) {
      out += name + " gone; ";
      continue;
    }
    if (it->second == bytes) continue;
    size_t n = std::min(bytes.size(), it->second.size()), at = 0;
    while (at < n && bytes[at] == it->second[at]) ++at;
    char offset[32];
    std::snprintf(offset, sizeof offset, "0x%zX", at);
    out += name + " differs from offset " + offset + " (sizes " + std::to_string(bytes.size()) + "/" +
           std::to_string(it->second.size()) + "); ";
  }
  for (const auto& [name, bytes] : after)
    if (!before.count(name)) out += name + " new; ";
  return out;
}

// Copies a fixture's family (files sharing the .DB's base name) into a temporary folder.
std::string copyFamily(const testsupport::TempDir& dir, const std::string& fixtureDb) {
  fs::path src = testsupport::fixture("paradox/" + fixtureDb);
  std::string stem = src.stem().string();
  for (const auto& e : fs::directory_iterator(src.parent_path()))
    if (e.path().stem().string() == stem) testsupport::copyFile(e.path().string(), dir.file(e.path().filename().string()));
  return dir.file(src.filename().string());
}

// Valid fixture tables: those with an expected CSV.
std::vector<std::string> validFixtures() {
  const fs::path root = testsupport::fixture("paradox");
  std::vector<std::string> tables;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    std::string rel = fs::relative(e.path(), root).generic_string();
    std::string csv = rel;
    std::replace(csv.begin(), csv.end(), '/', '_');
    if (fs::exists(root / "expected" / (csv + ".csv"))) tables.push_back(rel);
  }
  std::sort(tables.begin(), tables.end());
  return tables;
}

paradox::OpenOptions withPasswords() {
  paradox::OpenOptions o;
  o.passwords = {"123"};
  return o;
}

// Text of every field of every record; nullopt where reading the value throws ETableDamaged.
using TextRows = std::vector<std::vector<std::optional<std::string>>>;
TextRows allText(const std::string& path) {
  TTable t;
  t.SetTableName(path);
  t.Open();
  TextRows rows;
  for (t.First(); !t.Eof(); t.Next()) {
    rows.emplace_back();
    for (int i = 0; i < t.FieldCount(); ++i) {
      try {
        rows.back().push_back(t.Fields(i)->AsString());
      } catch (const ETableDamaged&) {
        rows.back().push_back(std::nullopt);
      }
    }
  }
  return rows;
}

// Why the engine refuses to write a fixture; every other valid fixture, the password-protected
// ones included, must take writes. (Keyed tables with Alpha keys under a driver other than
// 'ascii' take in-place writes; only inserts and key changes are refused, and neither happens
// here: key fields keep their values.)
struct Refusal {
  const char* table;
  const char* because;  // part of the message
};
constexpr const char* kSecondary = "вторичные индексы";
const std::vector<Refusal> kRefused = {
    {"paradoxdriver/index/C.DB", kSecondary},
    {"paradoxdriver/index/case.db", kSecondary},
    {"paradoxdriver/index/fk4.db", kSecondary},
    {"paradoxdriver/index/indexed.db", kSecondary},
    {"pxlib/TypSammlung.DB", kSecondary},
};

const Refusal* refusalOf(const std::string& table) {
  for (const auto& r : kRefused)
    if (table == r.table) return &r;
  return nullptr;
}

// Walks every record with Edit, a value per field from `valueFor` (nullopt: leave the field),
// Post. Returns the refusal message, or "" when everything was posted. Fields whose text
// does not convert are left out of `assigned`.
std::string editAll(const std::string& path,
                    const std::function<std::optional<std::string>(size_t row, int field)>& valueFor,
                    std::map<std::pair<size_t, int>, std::string>* assigned) {
  TTable t;
  t.SetTableName(path);
  t.Open();
  if (t.IsEmpty()) {
    // No record to edit: an append, cancelled, meets the same checks.
    try {
      t.Append();
      t.Cancel();
    } catch (const EDatabaseError& e) {
      return e.what();
    }
  }
  size_t row = 0;
  for (t.First(); !t.Eof(); t.Next(), ++row) {
    try {
      t.Edit();
    } catch (const EDatabaseError& e) {
      return e.what();
    }
    for (int f = 0; f < t.FieldCount(); ++f) {
      TField* field = t.Fields(f);
      if (field->ReadOnly()) continue;
      std::optional<std::string> text = valueFor(row, f);
      if (!text) continue;
      try {
        field->SetAsString(*text);
        if (assigned) (*assigned)[{row, f}] = *text;
      } catch (const EConvertError& e) {
        if (!assigned) ADD_FAILURE() << path << " record " << row + 1 << " field " << field->FieldName()
                                     << ": its own text does not convert back: " << e.what();
      }
    }
    t.Post();
  }
  return "";
}

class WriteVerify : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_FIXTURES();
    Session().AddPassword("123");
  }
};

// Assigning every field the text it shows and posting changes no byte of any file: no header
// counter, no BLOB, no index, and no journal is left beside the table.
TEST_F(WriteVerify, EveryFixtureWrittenBackWithItsOwnValuesStaysByteForByte) {
  for (const std::string& rel : validFixtures()) {
    SCOPED_TRACE(rel);
    testsupport::TempDir dir;
    std::string path = copyFamily(dir, rel);
    const Files before = snapshot(dir.path());
    const TextRows rows = allText(path);
    std::string refused = editAll(path, [&](size_t r, int f) { return rows[r][static_cast<size_t>(f)]; }, nullptr);
    if (const Refusal* r = refusalOf(rel)) {
      EXPECT_NE(refused.find(r->because), std::string::npos) << "refusal: '" << refused << "'";
    } else {
      EXPECT_EQ(refused, "");
    }
    EXPECT_EQ(differences(before, snapshot(dir.path())), "");
    if (refusalOf(rel)) continue;
    // The same with every value encoded again (SetValue does not compare texts): each value
    // has the bytes its type encodes it with. Left out: BLOBs (storing one again places it anew
    // in the .MB) and the BCD values that have a second byte form: a blank stored as all zeros
    // (pxlib's blank; Paradox's is 0x00|scale and zeros, which the engine writes) and values
    // beyond 18 digits, where BDE leaves garbage nibbles.
    {
      TTable t;
      t.SetTableName(path);
      t.Open();
      for (t.First(); !t.Eof(); t.Next()) {
        t.Edit();
        for (int f = 0; f < t.FieldCount(); ++f) {
          TField* field = t.Fields(f);
          if (field->ReadOnly() || field->IsBlob()) continue;
          try {
            Value v = field->AsValue();
            if (field->DataType() == ftBCD && (v.isNull() || field->Precision() > 18)) continue;
            field->SetValue(v);
          } catch (const ETableDamaged&) {
          }
        }
        t.Post();
      }
    }
    EXPECT_EQ(differences(before, snapshot(dir.path())), "") << "values encoded again";
  }
}

// Every record takes the next record's values (the last the first's), key fields excepted:
// real changes of every type. A fresh reading shows them, and the table is sound.
TEST_F(WriteVerify, EveryFixtureTakesItsNeighboursValuesAndStaysSound) {
  for (const std::string& rel : validFixtures()) {
    SCOPED_TRACE(rel);
    testsupport::TempDir dir;
    std::string path = copyFamily(dir, rel);
    const Files before = snapshot(dir.path());
    const TextRows rows = allText(path);
    int keyFields = paradox::ParadoxTable(path, withPasswords()).header().keyFields;
    std::map<std::pair<size_t, int>, std::string> assigned;
    std::string refused = editAll(
        path,
        [&](size_t r, int f) -> std::optional<std::string> {
          if (f < keyFields || !rows[r][static_cast<size_t>(f)]) return std::nullopt;
          return rows[(r + 1) % rows.size()][static_cast<size_t>(f)];
        },
        &assigned);
    if (const Refusal* r = refusalOf(rel)) {
      EXPECT_NE(refused.find(r->because), std::string::npos) << "refusal: '" << refused << "'";
      EXPECT_EQ(differences(before, snapshot(dir.path())), "");
      continue;
    }
    EXPECT_EQ(refused, "");
    const TextRows after = allText(path);
    if (after.size() != rows.size()) {
      ADD_FAILURE() << "records " << rows.size() << " → " << after.size();
      continue;
    }
    for (const auto& [where, text] : assigned)
      EXPECT_EQ(after[where.first][static_cast<size_t>(where.second)], text)
          << "record " << where.first + 1 << ", field " << where.second + 1;
    paradox::ParadoxTable check(path, withPasswords());
    EXPECT_EQ(check.damage(), "");
    EXPECT_EQ(check.warnings(), std::vector<std::string>{});
    for (const auto& name : {".CKJ", ".ckj"}) EXPECT_FALSE(fs::exists(io::withoutExtension(path) + name));
  }
}


// ---- Tables Checkup creates and edits, read by pxlib ---------------------------------

// Day number with 1 = 0001-01-01, computed without the engine.
int64_t dayOf(int y, unsigned m, unsigned d) {
  using namespace std::chrono;
  return (sys_days(year(y) / month(m) / day(d)) - sys_days(year(1) / January / 1)).count() + 1;
}

std::string utf8Repeat(const std::string& s, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += s;
  return out;
}

std::string binaryPattern(size_t n) {
  std::string out(n, '\0');
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>((i * 7 + 1) & 0xFF);
  return out;
}

// The field list of the created tables; the first field is the key of the keyed ones. The
// BLOBs have 10-byte leaders.
const std::vector<paradox::NewField> kCreatedFields = {
    {paradox::pxLong, 4, "Код"},         {paradox::pxAlpha, 30, "Имя"},      {paradox::pxShort, 2, "Кол"},
    {paradox::pxNumber, 8, "Число"},     {paradox::pxMoney, 8, "Сумма"},     {paradox::pxDate, 4, "Дата"},
    {paradox::pxTime, 4, "Время"},       {paradox::pxTimestamp, 8, "Момент"}, {paradox::pxLogical, 1, "Флаг"},
    {paradox::pxAutoInc, 4, "Счётчик"},  {paradox::pxBcd, 2, "Точно"},      {paradox::pxBytes, 6, "Байты"},
    {paradox::pxMemo, 20, "Заметка"},    {paradox::pxBlob, 20, "Двоичные"}, {paradox::pxFmtMemo, 20, "Формат"},
};
constexpr size_t kAutoIncField = 9;
constexpr size_t kFirstBlobField = 12;
constexpr size_t kLeader = 10;

// A record as texts in the form AsString shows them ("" = NULL); the autoincrement is filled in
// when the record is stored.
using Texts = std::vector<std::string>;

// Our value in the text form pxlib values come in (support/CanonicalText.h).
std::optional<std::string> canonicalOf(const Value& v) {
  namespace c = testsupport::canonical;
  switch (v.kind) {
    case Value::Kind::Null: return std::nullopt;
    case Value::Kind::Int: return std::to_string(v.i);
    case Value::Kind::Float: return c::number(v.d);
    case Value::Kind::Bool: return v.i ? "true" : "false";
    case Value::Kind::Date: return c::date(v.i);
    case Value::Kind::Time: return c::time(v.i);
    case Value::Kind::DateTime: return c::timestamp(v.d);
    case Value::Kind::Bcd: {
      std::string digits = v.s;
      bool negative = !digits.empty() && digits[0] == '-';
      if (negative) digits.erase(0, 1);
      const size_t scale = static_cast<size_t>(v.i);
      if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
      std::string whole = digits.substr(0, digits.size() - scale);
      whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
      std::string text = (negative ? "-" : "") + whole + (scale ? "." + digits.substr(digits.size() - scale) : "");
      return c::decimalWithScale(text, static_cast<int>(scale));
    }
    case Value::Kind::Text: return v.s;
    case Value::Kind::Bytes: return testsupport::toHex(v.s);
  }
  return std::nullopt;
}

struct CreatedCase {
  int level;
  int codePage;
  uint8_t sortOrder;
  const char* sortId;
  int keyFields;
};

std::string describe(const CreatedCase& c) {
  return "level " + std::to_string(c.level) + ", " + c.sortId + " (" + std::to_string(c.codePage) + "), " +
         (c.keyFields ? "keyed" : "unkeyed");
}

// Builds the table with two records, then through TTable appends, edits and deletes; returns
// what it should hold, in table order.
std::vector<Texts> createAndEdit(const std::string& path, const CreatedCase& c) {
  paradox::BuilderOptions o;
  o.level = c.level;
  o.keyFields = c.keyFields;
  o.codePage = c.codePage;
  o.sortOrder = c.sortOrder;
  o.sortId = c.sortId;
  const double stamp = static_cast<double>(dayOf(2024, 12, 31)) * 86400000.0 + 86399999.0;
  std::vector<Texts> model;
  {
    paradox::ParadoxTableBuilder b(path, kCreatedFields, o);
    // Limits and every type; the BLOBs hold 0 bytes, 1 byte and exactly their leader.
    b.append({Value::ofInt(10), Value::ofText("Ёлка зелёная, ё"), Value::ofInt(-32767), Value::ofFloat(1234.5),
              Value::ofFloat(-12.5), Value::ofDate(dayOf(2024, 2, 29)), Value::ofTime(32707000),
              Value::ofDateTime(stamp), Value::ofBool(true), Value::null(), Value::ofBcd("-12345", 2),
              Value::ofBytes("\x01\x02\x03\x04\x05\x06"), Value::ofText(""), Value::ofBytes("x"),
              Value::ofBytes("0123456789")});
    model.push_back({"10", "Ёлка зелёная, ё", "-32767", "1234,5", "-12,5", "29.02.2024", "9:05:07",
                     "31.12.2024 23:59:59.999", "True", "1", "-123,45", "\x01\x02\x03\x04\x05\x06", "", "x",
                     "0123456789"});
    // NULLs, and BLOBs of 100 KB and more than a leader.
    b.append({Value::ofInt(20), Value::ofText("Пустая"), Value::null(), Value::null(), Value::null(), Value::null(),
              Value::null(), Value::null(), Value::ofBool(false), Value::null(), Value::null(), Value::null(),
              Value::ofText(utf8Repeat("Я", 102400)), Value::ofBytes(binaryPattern(102400)),
              Value::ofBytes(std::string(200, 'f'))});
    model.push_back({"20", "Пустая", "", "", "", "", "", "", "False", "2", "", "", utf8Repeat("Я", 102400),
                     binaryPattern(102400), std::string(200, 'f')});
    b.finish();
  }
  TTable t;
  t.SetTableName(path);
  t.Open();
  int nextAuto = 3;
  auto put = [&](const Texts& texts) {
    for (size_t f = 0; f < texts.size(); ++f)
      if (f != kAutoIncField) t.Fields(static_cast<int>(f))->SetAsString(texts[f]);
    t.Post();
    Texts stored = texts;
    stored[kAutoIncField] = std::to_string(nextAuto++);
    return stored;
  };
  auto keyOrder = [&] {
    if (c.keyFields)
      std::stable_sort(model.begin(), model.end(),
                       [](const Texts& a, const Texts& b) { return std::stoi(a[0]) < std::stoi(b[0]); });
  };
  // Appends: one before every key, one after.
  t.Append();
  model.push_back(put({"5", "Щука", "7", "0,1", "0", "01.01.0001", "0:00:00", "01.01.0001", "False", "", "0,00",
                       "abcdef", "Щ", utf8Repeat("Ж", kLeader), "", }));
  t.Append();
  model.push_back(put({"30", "Последняя", "32767", "-1E20", "99999999,99", "31.12.9999", "23:59:59.999",
                       "31.12.9999 23:59:59", "True", "", "123456789012345,67", "zyxwvu", utf8Repeat("Ю", 3000), "",
                       std::string(kLeader, 'l')}));
  keyOrder();
  // Edits: the first record's BLOBs change size class both ways, numbers and text change.
  t.First();
  t.Edit();
  Texts first = model[0];
  const Texts edited = {first[0], "Изменённая", "-1", "2,5", "3,25", "15.06.1999", "12:30:00", "15.06.1999 12:30:00",
                        "False", first[kAutoIncField], "-0,01", "qwerty", utf8Repeat("Ё", 102400), "y",
                        binaryPattern(5000)};
  for (size_t f = 0; f < edited.size(); ++f)
    if (f != kAutoIncField) t.Fields(static_cast<int>(f))->SetAsString(edited[f]);
  t.Post();
  model[0] = edited;
  t.Last();
  t.Edit();
  t.Fields(1)->SetAsString("");
  t.Fields(static_cast<int>(kFirstBlobField))->SetAsString("");
  t.Post();
  model.back()[1] = "";
  model.back()[kFirstBlobField] = "";
  // Delete the record with the 100 KB BLOBs; append after the delete.
  t.First();
  while (t.Fields(0)->AsString() != "20") t.Next();
  t.Delete();
  model.erase(std::find_if(model.begin(), model.end(), [](const Texts& r) { return r[0] == "20"; }));
  t.Append();
  model.push_back(put({"15", "После удаления", "", "", "", "", "", "", "", "", "", "", "", binaryPattern(1), ""}));
  keyOrder();
  return model;
}

#ifdef CHECKUP_HAVE_PXLIB
// Where pxlib 0.6.8 reads our files differently from what they hold (see
// tests/pxlib/PxlibFixtureTest.cpp): our own reading is compared instead.
bool pxlibCannotRead(const paradox::NewField& f, const std::optional<std::string>& pxlibShows, const Value& ours) {
  // 0.6.8 aborts opening any .MB; it reads only BLOBs held in the leader.
  if (f.type == paradox::pxMemo || f.type == paradox::pxBlob || f.type == paradox::pxFmtMemo) {
    size_t stored = 0;  // bytes in the file: a memo's letters are one byte each in 866 and 1251
    for (char ch : ours.s) stored += (static_cast<unsigned char>(ch) & 0xC0) != 0x80 ? 1 : 0;
    if (ours.kind == Value::Kind::Bytes) stored = ours.s.size();
    return pxlibShows == "#ERR" && stored > kLeader;
  }
  // 0.6.8 takes only a zero first byte for a blank BCD; blank is stored as Paradox stores it,
  // 0x00 | scale followed by zeros.
  if (f.type == paradox::pxBcd) return pxlibShows == "#ERR" && ours.isNull();
  return false;
}
#endif

TEST_F(WriteVerify, CreatedAndEditedTablesReadTheSameThroughPxlib) {
  const std::vector<CreatedCase> cases = {
      {5, 866, 0xC0, "cyrr", 0},   {5, 866, 0xC0, "cyrr", 1},   {5, 1251, 0x8F, "ancyrr", 0},
      {5, 1251, 0x8F, "ancyrr", 1}, {7, 866, 0xC0, "cyrr", 0},  {7, 866, 0xC0, "cyrr", 1},
      {7, 1251, 0x8F, "ancyrr", 0}, {7, 1251, 0x8F, "ancyrr", 1},
  };
  for (const CreatedCase& c : cases) {
    SCOPED_TRACE(describe(c));
    testsupport::TempDir dir;
    const std::string path = dir.file("MADE.DB");
    std::vector<Texts> model;
    try {
      model = createAndEdit(path, c);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
      continue;
    }
    // Our reading: the values stored, a sound table.
    {
      paradox::ParadoxTable check(path, {});
      EXPECT_EQ(check.damage(), "");
      EXPECT_EQ(check.warnings(), std::vector<std::string>{});
      EXPECT_EQ(check.level(), c.level);
      EXPECT_EQ(check.codePage(), c.codePage);
    }
    TTable t;
    t.SetTableName(path);
    t.Open();
    if (t.RecordCount() != static_cast<int>(model.size())) {
      ADD_FAILURE() << "records: " << t.RecordCount() << ", want " << model.size();
      continue;
    }
    std::vector<std::vector<std::optional<std::string>>> ours;
    std::vector<std::vector<Value>> oursValues;
    size_t r = 0;
    for (t.First(); !t.Eof(); t.Next(), ++r) {
      ours.emplace_back();
      oursValues.emplace_back();
      for (int f = 0; f < t.FieldCount(); ++f) {
        oursValues.back().push_back(t.Fields(f)->AsValue());
        EXPECT_EQ(t.Fields(f)->AsString(), model[r][static_cast<size_t>(f)])
            << "record " << r + 1 << ", field " << t.Fields(f)->FieldName();
        ours.back().push_back(canonicalOf(t.Fields(f)->AsValue()));
      }
    }
#ifdef CHECKUP_HAVE_PXLIB
    testsupport::PxTable px;
    try {
      px = testsupport::readWithPxlib(path);
    } catch (const std::exception& e) {
      ADD_FAILURE() << e.what();
      continue;
    }
    EXPECT_EQ(px.fileType, c.keyFields ? 0 : 2);
    EXPECT_EQ(px.headerCodePage, c.codePage);
    if (px.fields.size() != kCreatedFields.size() || px.rows.size() != ours.size()) {
      ADD_FAILURE() << "pxlib reads " << px.fields.size() << " fields, " << px.rows.size() << " records";
      continue;
    }
    for (size_t f = 0; f < kCreatedFields.size(); ++f) {
      EXPECT_EQ(px.fields[f].name, kCreatedFields[f].name);
      EXPECT_EQ(px.fields[f].type, kCreatedFields[f].type) << kCreatedFields[f].name;
    }
    for (size_t row = 0; row < ours.size(); ++row)
      for (size_t f = 0; f < kCreatedFields.size(); ++f) {
        if (pxlibCannotRead(kCreatedFields[f], px.rows[row][f], oursValues[row][f])) continue;
        EXPECT_EQ(px.rows[row][f], ours[row][f]) << "record " << row + 1 << ", field " << kCreatedFields[f].name << ": pxlib "
                                                 << testsupport::describeCell(px.rows[row][f]) << ", ours "
                                                 << testsupport::describeCell(ours[row][f]);
      }
#endif
  }
}

// ---- Tables pxlib writes, read by Checkup --------------------------------------------

// Runs fn in a forked child (pxlib must not take the test process down); the child's exit
// code, or 128 + the signal that ended it.
int inChild(const std::function<int()>& fn) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int rc = 1;
    try {
      rc = fn();
    } catch (...) {
    }
    ::_exit(rc);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#ifdef CHECKUP_HAVE_PXLIB
// A record as it goes to pxlib (nullopt: blank), and as AsString must show it.
struct PxRowIn {
  std::optional<std::string> name;  // Alpha 20, UTF-8; stored in code page 1251
  std::optional<double> ratio;      // N
  std::optional<int> small;         // S
  std::optional<int> big;           // I
  std::optional<int64_t> born;      // D, day number
  std::optional<bool> flag;         // L
  std::optional<double> price;      // $
  Texts shown;
};

// The text of a date, computed without the engine.
std::string dateText(int64_t dayNumber) {
  using namespace std::chrono;
  year_month_day ymd{sys_days(year(1) / January / 1) + days(dayNumber - 1)};
  char text[16];
  std::snprintf(text, sizeof text, "%02u.%02u.%04d", static_cast<unsigned>(ymd.day()),
                static_cast<unsigned>(ymd.month()), static_cast<int>(ymd.year()));
  return text;
}

// A short number with a decimal comma.
std::string commaNumber(double v) {
  std::string text = testsupport::canonical::number(v);
  std::replace(text.begin(), text.end(), '.', ',');
  return text;
}

// Records with text of the code page (1251: Cyrillic, 1252: Western European).
std::vector<PxRowIn> pxlibRows(int codePage) {
  const bool cyrillic = codePage == 1251;
  const std::string first = cyrillic ? "Проверка, ё" : "Grüße, Ærø";
  const std::string full = cyrillic ? utf8Repeat("Я", 20) : utf8Repeat("ß", 20);
  const std::string word = cyrillic ? "Запись " : "Eintrag ";
  std::vector<PxRowIn> rows = {
      {first, 1234.5, -32767, 2147483647, dayOf(2024, 2, 29), true, -12.5,
       {first, "1234,5", "-32767", "2147483647", "29.02.2024", "True", "-12,5"}},
      {"Zeile \"mit\" Komma,", -1e20, 0, -2147483647, dayOf(1, 1, 1), false, 0.0,
       {"Zeile \"mit\" Komma,", "-1E20", "0", "-2147483647", "01.01.0001", "False", "0"}},
      {{}, {}, {}, {}, {}, {}, {}, {"", "", "", "", "", "", ""}},
      {full, 0.1, 32767, 1, dayOf(9999, 12, 31), {}, 99999999.99,
       {full, "0,1", "32767", "1", "31.12.9999", "", "99999999,99"}},
  };
  // Enough records for several 2 KiB blocks.
  for (int i = 0; i < 300; ++i) {
    std::string name = word + std::to_string(i);
    int64_t born = dayOf(2000, 1, 1) + i;
    rows.push_back({name, i * 0.25, i - 150, i * 100000, born, i % 2 == 0, i * 1.5,
                    {name, commaNumber(i * 0.25), std::to_string(i - 150), std::to_string(i * 100000), dateText(born),
                     i % 2 ? "False" : "True", commaNumber(i * 1.5)}});
  }
  return rows;
}

extern "C" void ignorePxlibMessage(pxdoc_t*, int, const char*, void*) {}

// Writes the table with pxlib's own writing functions, in this process (call it in a child).
int writeWithPxlib(const std::string& path, int codePage, const std::vector<PxRowIn>& rows) {
  pxdoc_t* doc = PX_new2(ignorePxlibMessage, nullptr, nullptr, nullptr);
  if (!doc) return 2;
  char names[7][8] = {"Name", "Ratio", "Small", "Big", "Born", "Flag", "Price"};
  const char types[7] = {pxfAlpha, pxfNumber, pxfShort, pxfLong, pxfDate, pxfLogical, pxfCurrency};
  const int lengths[7] = {20, 8, 2, 4, 4, 1, 8};
  // pxlib takes the field array and frees it with the document: allocate it as pxlib does.
  auto* fields = static_cast<pxfield_t*>(doc->malloc(doc, 7 * sizeof(pxfield_t), "fields"));
  for (int i = 0; i < 7; ++i) {
    char* name = static_cast<char*>(doc->malloc(doc, 8, "name"));
    std::memcpy(name, names[i], 8);
    fields[i] = {name, types[i], lengths[i], 0};
  }
  if (PX_create_file(doc, fields, 7, path.c_str(), pxfFileTypNonIndexDB) < 0) return 3;
  if (PX_set_value(doc, "codepage", static_cast<float>(codePage)) < 0) return 6;
  PX_set_tablename(doc, "PXMADE");
  std::vector<char> rec(static_cast<size_t>(PX_get_recordsize(doc)));
  const codepage::Codec* codec = codepage::codecFor(codePage);
  for (const PxRowIn& r : rows) {
    std::fill(rec.begin(), rec.end(), '\0');  // blank values are zero bytes
    char* p = rec.data();
    if (r.name) {
      std::string bytes;
      if (!codec->encodeAppend(*r.name, bytes, nullptr)) return 4;
      bytes.resize(20, '\0');
      PX_put_data_alpha(doc, p, 20, bytes.data());
    }
    if (r.ratio) PX_put_data_double(doc, p + 20, 8, *r.ratio);
    if (r.small) PX_put_data_short(doc, p + 28, 2, static_cast<short>(*r.small));
    if (r.big) PX_put_data_long(doc, p + 30, 4, *r.big);
    if (r.born) PX_put_data_long(doc, p + 34, 4, static_cast<int>(*r.born));
    if (r.flag) PX_put_data_byte(doc, p + 38, 1, *r.flag ? 1 : 0);
    if (r.price) PX_put_data_double(doc, p + 39, 8, *r.price);
    if (PX_put_record(doc, rec.data()) < 0) return 5;
  }
  PX_close(doc);
  PX_delete(doc);
  return 0;
}

TEST_F(WriteVerify, TablesPxlibWritesReadTheSame) {
  // pxlib always writes language driver 0x62 ANSIINTL, a Windows-1252 driver, whatever code page
  // it stores; the engine reads text in the driver's code page, so a 1251 table is opened with
  // the code page it was written in (as an alias's LANGDRIVER would).
  for (int codePage : {1252, 1251}) {
    SCOPED_TRACE(codePage);
    testsupport::TempDir dir;
    const std::string path = dir.file("PXMADE.DB");
    const std::vector<PxRowIn> rows = pxlibRows(codePage);
    ASSERT_EQ(inChild([&] { return writeWithPxlib(path, codePage, rows); }), 0) << "pxlib did not write the table";
    paradox::OpenOptions o;
    o.codePage = codePage == 1252 ? 0 : codePage;
    paradox::ParadoxTable check(path, o);
    EXPECT_EQ(check.damage(), "");
    EXPECT_EQ(check.header().codePage, codePage);
    EXPECT_EQ(check.codePage(), codePage);
    TTable t;
    t.SetTableName(path);
    t.SetCodePage(o.codePage);
    t.Open();
    ASSERT_EQ(t.RecordCount(), static_cast<int>(rows.size()));
    std::vector<std::string> names;
    for (int f = 0; f < t.FieldCount(); ++f) names.push_back(t.Fields(f)->FieldName());
    EXPECT_EQ(names, (std::vector<std::string>{"Name", "Ratio", "Small", "Big", "Born", "Flag", "Price"}));
    size_t r = 0;
    for (t.First(); !t.Eof(); t.Next(), ++r) {
      Texts got;
      for (int f = 0; f < t.FieldCount(); ++f) got.push_back(t.Fields(f)->AsString());
      EXPECT_EQ(got, rows[r].shown) << "record " << r + 1;
    }
    // And the table pxlib wrote takes our writes.
    const std::string changed = codePage == 1251 ? "Изменено" : "Geändert";
    t.SetRecNo(2);
    t.Edit();
    t.FieldByName("Name")->SetAsString(changed);
    t.Post();
    t.Close();
    EXPECT_EQ(paradox::ParadoxTable(path, o).damage(), "");
    EXPECT_EQ(testsupport::readWithPxlib(path).rows.at(1).at(0), changed);
  }
}
#endif

// ---- Another process holding the table ----------------------------------------------

using testsupport::LockHolder;


TEST_F(WriteVerify, WritesAreRefusedWhileAnotherProcessHoldsTheTable) {
  enum class How { ClassicLock, OfdLock, LockFile };
  struct Case {
    const char* fixture;
    const char* lockedExtension;  // the family file the other process locks, or the lock file beside
    How how;
  };
  const std::vector<Case> cases = {
      {"made/plain.db", ".db", How::ClassicLock},     {"made/plain.db", ".db", How::OfdLock},
      {"made/ru1251.db", ".db", How::ClassicLock},    {"made/ru1251.db", ".mb", How::ClassicLock},
      {"made/ru1251.db", ".px", How::OfdLock},        {"made/plain.db", "PDOXUSRS.LCK", How::LockFile},
      {"made/ru1251.db", "PARADOX.LCK", How::LockFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fixture) + " " + c.lockedExtension +
                 (c.how == How::ClassicLock ? " classic lock" : c.how == How::OfdLock ? " OFD lock" : ""));
    testsupport::TempDir dir;
    const std::string path = copyFamily(dir, c.fixture);
    const TextRows rows = allText(path);
    std::unique_ptr<LockHolder> holder;
    std::string mustName;
    if (c.how == How::LockFile) {
      testsupport::writeFile(dir.file(c.lockedExtension), {});
      mustName = c.lockedExtension;
    } else {
      holder = std::make_unique<LockHolder>(io::withoutExtension(path) + c.lockedExtension,
                                              c.how == How::OfdLock ? LockHolder::Kind::Ofd : LockHolder::Kind::Classic);
      if (!holder->locked()) {
        ADD_FAILURE() << "the child could not lock the file";
        continue;
      }
      mustName = std::to_string(holder->pid());
    }
    const Files before = snapshot(dir.path());
    {
      TTable t;
      t.SetTableName(path);
      t.Open();
      const std::vector<std::pair<const char*, std::function<void()>>> writes = {
          {"Edit", [&] { t.Edit(); }}, {"Append", [&] { t.Append(); }}, {"Delete", [&] { t.Delete(); }}};
      for (const auto& [what, write] : writes) {
        t.SetRecNo(2);
        try {
          write();
          ADD_FAILURE() << what << " was allowed";
          t.Cancel();
        } catch (const EDatabaseError& e) {
          EXPECT_NE(std::string(e.what()).find(mustName), std::string::npos) << what << ": " << e.what();
        }
        EXPECT_EQ(t.State(), dsBrowse) << what;
        // Reading goes on: the records read as before.
        TextRows now;
        for (t.First(); !t.Eof(); t.Next()) {
          now.emplace_back();
          for (int f = 0; f < t.FieldCount(); ++f) now.back().push_back(t.Fields(f)->AsString());
        }
        EXPECT_EQ(now, rows) << "after " << what;
      }
    }
    EXPECT_EQ(differences(before, snapshot(dir.path())), "");
    // Once the other process lets go, the same table takes writes.
    holder.reset();
    if (c.how == How::LockFile) fs::remove(dir.file(c.lockedExtension));
    TTable t;
    t.SetTableName(path);
    t.Open();
    t.Edit();
    t.Fields(1)->SetAsString("Freigegeben");
    t.Post();
    EXPECT_EQ(t.Fields(1)->AsString(), "Freigegeben");
  }
}

}  // namespace
