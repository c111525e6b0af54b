// Tables made by ParadoxTableBuilder, read back by our reader (which checks the header, the
// block chain, the primary index and every BLOB reference as it opens and reads) and, where
// the package is there, by pxlib, a reader independent of ours.
#include "common/CodePage.h"
#include "common/Errors.h"
#include "db/EngineError.h"
#include "db/paradox/ParadoxFormat.h"
#include "db/paradox/ParadoxTable.h"
#include "db/paradox/ParadoxWriter.h"
#include "support/CanonicalText.h"
#include "support/ExpectedCsv.h"
#include "support/TestSupport.h"
#ifdef CHECKUP_HAVE_PXLIB
#include "support/PxlibReader.h"
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

using namespace paradox;

namespace {

// ---- values ---------------------------------------------------------------------------

std::string describe(const Value& v) {
  using K = Value::Kind;
  switch (v.kind) {
    case K::Null: return "NULL";
    case K::Int: return "Int " + std::to_string(v.i);
    case K::Float: return "Float " + testsupport::canonical::number(v.d);
    case K::Bool: return v.i ? "true" : "false";
    case K::Date: return "Date " + std::to_string(v.i);
    case K::Time: return "Time " + std::to_string(v.i);
    case K::DateTime: return "DateTime " + testsupport::canonical::number(v.d);
    case K::Bcd: return "Bcd " + v.s + " scale " + std::to_string(v.i);
    case K::Text: return "Text(" + std::to_string(v.s.size()) + ") " + v.s.substr(0, 60);
    case K::Bytes: return "Bytes(" + std::to_string(v.s.size()) + ") " + testsupport::toHex(v.s.substr(0, 30));
  }
  return "?";
}

bool same(const Value& a, const Value& b) {
  if (a.kind != b.kind) return false;
  using K = Value::Kind;
  switch (a.kind) {
    case K::Null: return true;
    case K::Float:
    case K::DateTime: return a.d == b.d;
    case K::Text:
    case K::Bytes: return a.s == b.s;
    case K::Bcd: return a.s == b.s && a.i == b.i;
    default: return a.i == b.i;
  }
}

// `n` bytes of text in a single-byte Cyrillic code page (every character below is one byte
// in cp1251 and in cp866), lines ending in CR LF.
std::string cyrillicText(size_t n, size_t seed) {
  static const std::u32string pattern = U"Счёт №17: Ёлки и палки, 0123456789 OK\r\n";
  std::string out;
  for (size_t i = 0; i < n; ++i) codepage::appendUtf8(out, pattern[(i + seed) % pattern.size()]);
  return out;
}

std::string binary(size_t n, size_t seed, const std::string& start = "") {
  std::string out = start;
  for (size_t i = out.size(); i < n; ++i) out.push_back(static_cast<char>((i * 31 + seed * 7 + 1) & 0xFF));
  out.resize(n);
  return out;
}

// ---- table definitions ----------------------------------------------------------------

NewField F(uint8_t type, uint8_t size, std::string name) { return {type, size, std::move(name)}; }

// Every type a level-5/7 table has; the first field is the autoincrement (the key when the
// table is keyed).
std::vector<NewField> allTypes() {
  return {F(pxAutoInc, 4, "Номер"),   F(pxAlpha, 30, "Название"), F(pxShort, 2, "Короткое"),
          F(pxLong, 4, "Целое"),      F(pxNumber, 8, "Число"),    F(pxMoney, 8, "Сумма"),
          F(pxDate, 4, "Дата"),       F(pxTime, 4, "Время"),      F(pxTimestamp, 8, "Момент"),
          F(pxLogical, 1, "Флаг"),    F(pxBcd, 2, "Деньги"),      F(pxBcd, 0, "ЦелоеBCD"),
          F(pxBytes, 6, "Байты"),     F(pxMemo, 20, "Заметка"),   F(pxBlob, 10, "Данные"),
          F(pxFmtMemo, 15, "Формат"), F(pxOle, 12, "Объект"),     F(pxGraphic, 20, "Рисунок")};
}

// BLOB lengths the records go through: empty, 1 byte, exactly the leader, one past it, a
// sub-allocated value, the largest sub-allocated one, the smallest with its own block, 100 KB.
size_t blobLength(size_t record, size_t field, size_t leader) {
  const size_t lengths[] = {0, 1, leader, leader + 1, 2000, 2048, 2049, 100'000, 37, 300};
  size_t k = (record + field * 3) % std::size(lengths);
  if (k == 7 && record % 20 != field % 20) k = 4;  // keep 100 KB values rare: tests stay fast
  return lengths[k];
}

// The values of record i of an allTypes() table. Every seventh record is blank where a field
// can be; the autoincrement is given explicitly now and then (jumping ahead) and otherwise left
// to the builder.
std::vector<Value> allTypesRecord(size_t i, bool keyed) {
  std::vector<Value> v;
  bool blank = i % 7 == 3;
  auto ii = static_cast<int64_t>(i);
  v.push_back(!keyed && i % 25 == 10 ? Value::ofInt(1000 + ii) : Value::null());
  v.push_back(blank ? Value::null() : Value::ofText("Запись №" + std::to_string(i) + " Ёё"));
  v.push_back(blank ? Value::null() : Value::ofInt(i % 2 ? -ii * 3 : ii * 5));
  v.push_back(blank ? Value::null() : Value::ofInt(ii * 100'003 - 2'000'000'000 + (i % 3 ? 0 : 4'000'000'000 - ii * 200'006)));
  v.push_back(blank ? Value::null() : Value::ofFloat(i % 5 == 0 ? 0.0 : static_cast<double>(ii - 60) / 7.0 * 1e3));
  v.push_back(blank ? Value::null() : Value::ofFloat(static_cast<double>(ii - 30) * 12.25));
  v.push_back(blank ? Value::null() : Value::ofDate(i % 11 == 0 ? 1 : 730'000 + ii * 37));
  v.push_back(blank ? Value::null() : Value::ofTime(i % 9 == 0 ? 0 : (ii * 1'234'567) % kMsPerDay));
  v.push_back(blank ? Value::null() : Value::ofDateTime(static_cast<double>((730'000 + ii) * kMsPerDay + ii * 1001)));
  v.push_back(blank ? Value::null() : Value::ofBool(i % 2 == 0));
  v.push_back(blank ? Value::null() : Value::ofBcd(std::to_string(ii * 12'345 - 500'000), 2));
  v.push_back(blank ? Value::null() : Value::ofBcd((i % 2 ? "-" : "") + std::to_string(ii * 98'765'431 + 7), 0));
  v.push_back(blank ? Value::null() : Value::ofBytes(binary(1 + i % 6, i, "\x7F")));
  const auto fields = allTypes();
  for (size_t f = 13; f < fields.size(); ++f) {
    size_t leader = fields[f].size - 10u;
    size_t n = blank ? 0 : blobLength(i, f, leader);
    if (n == 0) v.push_back(Value::null());
    else if (fields[f].type == pxMemo) v.push_back(Value::ofText(cyrillicText(n, i)));
    else if (fields[f].type == pxGraphic) v.push_back(Value::ofBytes(binary(n, i, "BM")));
    else v.push_back(Value::ofBytes(binary(n, i + f)));
  }
  return v;
}

// What our reader gives back for a value appended to field f.
Value readForm(const NewField& f, const Value& v) {
  if (v.isNull()) return v;
  switch (f.type) {
    case pxBytes: {
      Value r = v;
      r.s.resize(f.size, '\0');
      return r;
    }
    case pxNumber:
    case pxMoney:
      return v.kind == Value::Kind::Int ? Value::ofFloat(static_cast<double>(v.i)) : v;
    case pxBcd: {
      bool neg = v.s[0] == '-';
      std::string d = neg ? v.s.substr(1) : v.s;
      d.append(static_cast<size_t>(f.size - v.i), '0');
      size_t nz = d.find_first_not_of('0');
      d = nz == std::string::npos ? "0" : d.substr(nz);
      return Value::ofBcd(neg && d != "0" ? "-" + d : d, f.size);
    }
    case pxFmtMemo:
      return v.kind == Value::Kind::Text ? Value::ofBytes(v.s) : v;  // not text to the reader
    default:
      return v;
  }
}

struct TableCase {
  const char* name;
  BuilderOptions options;
  std::function<std::vector<NewField>()> fields;
  size_t records;
  std::function<std::vector<Value>(size_t)> record;
  int indexLevels = 0;  // of the .PX, when keyed
};

BuilderOptions opts(int level, int keys, int blockKiB, int cp, uint8_t sortOrder, std::string sortId) {
  BuilderOptions o;
  o.level = level;
  o.keyFields = keys;
  o.blockSizeKiB = blockKiB;
  o.codePage = cp;
  o.sortOrder = sortOrder;
  o.sortId = std::move(sortId);
  return o;
}

std::vector<NewField> level3Fields() {
  return {F(pxAlpha, 12, "Имя"), F(pxNumber, 8, "Число"), F(pxMoney, 8, "Сумма"), F(pxDate, 4, "Дата"),
          F(pxShort, 2, "Код")};
}
std::vector<Value> level3Record(size_t i) {
  auto ii = static_cast<int64_t>(i);
  if (i % 5 == 2) return {Value::null(), Value::null(), Value::null(), Value::null(), Value::null()};
  return {Value::ofText("Ёж " + std::to_string(i)), Value::ofFloat(static_cast<double>(ii) * 0.5 - 3),
          Value::ofFloat(static_cast<double>(ii) * 100.01),
          Value::ofDate(693'596 + ii), Value::ofInt(ii - 50)};
}

// A composite key whose index entries are large, so that the .PX gets several levels.
std::vector<NewField> wideKeyFields() {
  return {F(pxShort, 2, "Группа"), F(pxBytes, 200, "Ключ"), F(pxAlpha, 40, "Текст"), F(pxMemo, 11, "Памятка")};
}
std::vector<Value> wideKeyRecord(size_t i) {
  auto group = static_cast<int64_t>(i / 50) - 3;  // negative groups first: the sign-flip order
  std::string key = "\x01" + std::to_string(100000 + i % 50);
  return {Value::ofInt(group), Value::ofBytes(key), Value::ofText("строка " + std::to_string(i)),
          i % 4 ? Value::ofText(cyrillicText(i % 3 ? 1 : 40, i)) : Value::null()};
}

std::vector<TableCase> tableCases() {
  return {
      {"level5_unkeyed_cp1251_1k", opts(5, 0, 1, 1251, 0x8F, "ancyrr"), allTypes, 140,
       [](size_t i) { return allTypesRecord(i, false); }},
      {"level7_keyed_cp866_16k", opts(7, 1, 16, 866, 0xC0, "cyrr"), allTypes, 140,
       [](size_t i) { return allTypesRecord(i, true); }, 1},
      {"level7_keyed_cp1251_2k", opts(7, 1, 2, 1251, 0x8F, "ancyrr"), allTypes, 60,
       [](size_t i) { return allTypesRecord(i, true); }},
      {"level5_wide_composite_key_1k", opts(5, 2, 1, 1251, 0x8F, "ancyrr"), wideKeyFields, 400, wideKeyRecord,
       4},  // 4 entries a block: 100 leaves in 25 blocks, 25 entries in 7, 7 in 2, 2 in the root
      {"level4_blobs_cp1251", opts(4, 0, 2, 1251, 0x8F, "ancyrr"),
       [] {
         auto f = level3Fields();
         f.push_back(F(pxMemo, 30, "Текст"));
         f.push_back(F(pxBlob, 10, "Двоичные"));
         return f;
       },
       50,
       [](size_t i) {
         auto v = level3Record(i);
         v.push_back(i % 3 ? Value::ofText(cyrillicText(i * 97 % 3000, i)) : Value::null());
         v.push_back(i % 2 ? Value::ofBytes(binary(i * 61 % 5000 + 1, i)) : Value::null());
         return v;
       }},
      {"level3_keyed_cp866", opts(3, 1, 2, 866, 0xC0, ""),
       [] {
         auto f = level3Fields();
         std::swap(f[0], f[4]);  // key: the Short
         return f;
       },
       300,
       [](size_t i) {
         auto v = level3Record(i);
         std::swap(v[0], v[4]);
         v[0] = Value::ofInt(static_cast<int64_t>(i) - 150);
         return v;
       }},
      {"level5_empty_unkeyed", opts(5, 0, 2, 1251, 0x8F, "ancyrr"), allTypes, 0, nullptr},
      {"level7_empty_keyed", opts(7, 1, 4, 1251, 0x8F, "ancyrr"), allTypes, 0, nullptr},
  };
}

// Builds the table and returns the values as the reader should give them back.
std::vector<std::vector<Value>> build(const std::string& path, const TableCase& c) {
  auto fields = c.fields();
  ParadoxTableBuilder b(path, fields, c.options);
  std::vector<std::vector<Value>> expected;
  int64_t autoInc = 0;
  for (size_t i = 0; i < c.records; ++i) {
    auto rec = c.record(i);
    b.append(rec);
    for (size_t f = 0; f < fields.size(); ++f) {
      if (fields[f].type == pxAutoInc) {
        autoInc = rec[f].isNull() ? autoInc + 1 : std::max(autoInc, rec[f].i);
        if (rec[f].isNull()) rec[f] = Value::ofInt(autoInc);
      }
      rec[f] = readForm(fields[f], rec[f]);
    }
    expected.push_back(std::move(rec));
  }
  b.finish();
  EXPECT_EQ(b.recordCount(), c.records);
  return expected;
}

#ifdef CHECKUP_HAVE_PXLIB
// The canonical text pxlib's reader gives for a value; nullopt when pxlib 0.6.8 cannot be
// asked: a BLOB kept in the .MB, which it cannot open; a blank BCD with a scale, which it
// misreads; a graphic held in the leader, from whose length it always takes the 8 bytes a
// graphic carries in the .MB.
std::optional<std::optional<std::string>> pxlibForm(const NewField& f, const Value& v, int codePage) {
  namespace canon = testsupport::canonical;
  using R = std::optional<std::optional<std::string>>;
  if (isBlobCode(f.type) && v.s.size() > f.size - 10u) return std::nullopt;
  if (f.type == pxBcd && v.isNull() && f.size > 0) return std::nullopt;
  if (f.type == pxGraphic && !v.isNull()) return std::nullopt;
  if (v.isNull()) return R(std::optional<std::string>());
  switch (f.type) {
    case pxAlpha: return R(v.s);
    case pxMemo: return R(v.s);
    case pxShort: case pxLong: case pxAutoInc: return R(std::to_string(v.i));
    case pxNumber: case pxMoney: return R(canon::number(v.d));
    case pxDate: return R(canon::date(v.i));
    case pxTime: return R(canon::time(v.i));
    case pxTimestamp: return R(canon::timestamp(v.d));
    case pxLogical: return R(std::string(v.i ? "true" : "false"));
    case pxBcd: {
      std::string d = v.s;
      bool neg = d[0] == '-';
      if (neg) d.erase(0, 1);
      auto scale = static_cast<size_t>(f.size);
      if (d.size() <= scale) d.insert(0, scale + 1 - d.size(), '0');
      if (scale) d.insert(d.size() - scale, ".");
      return R(canon::decimalWithScale((neg ? "-" : "") + d, f.size));
    }
    default: return R(testsupport::toHex(v.s));
  }
  (void)codePage;
}
#endif

class WriterRoundTrip : public ::testing::TestWithParam<TableCase> {};

TEST_P(WriterRoundTrip, OurReaderAndPxlibReadBackEveryValue) {
  const TableCase& c = GetParam();
  testsupport::TempDir dir;
  std::string path = dir.file("TABLE.DB");
  auto expected = build(path, c);
  auto fields = c.fields();

  OpenOptions o;
  o.dosCodePage = c.options.codePage;  // level 3 names no code page
  ParadoxTable t(path, o);
  EXPECT_EQ(t.damage(), "");
  EXPECT_TRUE(t.warnings().empty()) << (t.warnings().empty() ? "" : t.warnings()[0]);
  ASSERT_EQ(t.recordCount(), c.records);
  EXPECT_EQ(t.level(), c.options.level);
  EXPECT_EQ(t.codePage(), c.options.codePage);
  EXPECT_EQ(t.keyed(), c.options.keyFields > 0);
  ASSERT_EQ(t.fields().size(), fields.size());
  for (size_t f = 0; f < fields.size(); ++f) EXPECT_EQ(t.fields()[f].name, fields[f].name);

  TRecordBuffer buf;
  for (size_t r = 0; r < c.records; ++r) {
    t.readRecord(r, buf);
    for (size_t f = 0; f < fields.size(); ++f) {
      Value got;
      try {
        got = t.fieldValue(buf, static_cast<int>(f));
      } catch (const EDatabaseError& e) {
        ADD_FAILURE() << "record " << r + 1 << ", field " << fields[f].name << ": " << e.what();
        continue;
      }
      EXPECT_TRUE(same(got, expected[r][f])) << "record " << r + 1 << ", field " << fields[f].name << ": got "
                                             << describe(got) << ", appended " << describe(expected[r][f]);
    }
  }
  EXPECT_NO_THROW(t.checkEnd());
  if (c.indexLevels) {
    auto px = testsupport::readFile(t.pxPath());
    EXPECT_EQ(px[0x20], c.indexLevels);
  }

  bool hasBlobs = std::any_of(fields.begin(), fields.end(), [](const NewField& f) { return isBlobCode(f.type); });
  if (hasBlobs) {
    auto mb = testsupport::readFile(t.mbPath());
    ASSERT_GE(mb.size(), 4096u);
    EXPECT_EQ(mb.size() % 4096, 0u);
    // The header's counter is at least every modification number a record uses.
    uint16_t counter = le16(mb.data() + 3);
    EXPECT_GE(counter, 1);
    for (size_t r = 0; r < c.records; ++r) {
      t.readRecord(r, buf);
      for (const auto& fi : t.header().fields)
        if (isBlobCode(fi.type)) {
          EXPECT_LE(readBlobDescriptor(buf.bytes.data() + fi.offset, fi).modNumber, counter);
        }
    }
  }

#ifdef CHECKUP_HAVE_PXLIB
  testsupport::PxTable px = testsupport::readWithPxlib(path, "", c.options.level == 3 ? c.options.codePage : 0);
  ASSERT_EQ(px.rows.size(), c.records);
  ASSERT_EQ(px.fields.size(), fields.size());
  for (size_t f = 0; f < fields.size(); ++f) {
    EXPECT_EQ(px.fields[f].name, fields[f].name);
    EXPECT_EQ(px.fields[f].type, fields[f].type);
  }
  for (size_t r = 0; r < c.records; ++r)
    for (size_t f = 0; f < fields.size(); ++f) {
      auto want = pxlibForm(fields[f], expected[r][f], c.options.codePage);
      if (!want) continue;
      EXPECT_EQ(px.rows[r][f], *want) << "pxlib, record " << r + 1 << ", field " << fields[f].name << ": "
                                      << px.rows[r][f].value_or("NULL") << " vs " << want->value_or("NULL");
    }
#endif
}

INSTANTIATE_TEST_SUITE_P(Tables, WriterRoundTrip, ::testing::ValuesIn(tableCases()),
                         [](const ::testing::TestParamInfo<TableCase>& i) { return std::string(i.param.name); });

// ---- header values --------------------------------------------------------------------

TEST(ParadoxWriter, HeaderCarriesTheValuesBdeTablesHave) {
  testsupport::TempDir dir;
  std::string path = dir.file("keyed.db");
  {
    ParadoxTableBuilder b(path, {F(pxAutoInc, 4, "Id"), F(pxAlpha, 20, "Name"), F(pxMemo, 15, "Note")},
                          opts(5, 1, 2, 1251, 0x8F, "ancyrr"));
    for (int i = 0; i < 500; ++i)
      b.append({i == 200 ? Value::ofInt(5000) : Value::null(), Value::ofText("n" + std::to_string(i)),
                Value::ofText(std::string(static_cast<size_t>(i % 40), 'x'))});
    b.finish();
    EXPECT_EQ(b.pxPath(), dir.file("keyed.px"));
    EXPECT_EQ(b.mbPath(), dir.file("keyed.mb"));
  }
  auto db = testsupport::readFile(path);
  const uint8_t* h = db.data();
  uint32_t n = 3, names = 3 + 5 + 5, tableName = 79, sortId = 6;
  EXPECT_EQ(le16(h + 0x00), 4 + 20 + 15);
  EXPECT_EQ(le16(h + 0x02), 0x800);
  EXPECT_EQ(h[0x04], 0);
  EXPECT_EQ(h[0x05], 2);
  EXPECT_EQ(le32(h + 0x06), 500u);
  uint16_t blocks = le16(h + 0x0C);
  EXPECT_EQ(blocks, (500 + 51) / 52);  // (2048 − 6) / 39 = 52 records a block
  EXPECT_EQ(le16(h + 0x0A), blocks);
  EXPECT_EQ(le16(h + 0x0E), 1);
  EXPECT_EQ(le16(h + 0x10), blocks);
  EXPECT_EQ(le16(h + 0x3A), blocks);
  EXPECT_EQ(db.size(), 0x800u + blocks * 2048u);
  EXPECT_EQ(le16(h + 0x21), 3);
  EXPECT_EQ(le16(h + 0x23), 1);
  EXPECT_EQ(le32(h + 0x25), 0xFF00FF00u);
  EXPECT_EQ(h[0x29], 0x8F);
  EXPECT_GE(h[0x2D], 1);
  EXPECT_EQ(h[0x39], 11);
  EXPECT_EQ(h[0x3E], 0x1F);
  EXPECT_EQ(h[0x3F], 0x0F);
  EXPECT_EQ(le32(h + 0x49), 5000u + 299);  // the highest number given: 5000, then 299 more
  EXPECT_EQ(le16(h + 0x4D), 0);
  EXPECT_EQ(le16(h + 0x51), 0x78 + 8 * n + 4 + tableName + names + sortId + 1);
  EXPECT_EQ(h[0x56], 0x20);
  EXPECT_EQ(le16(h + 0x58), 0x010B);
  EXPECT_EQ(le16(h + 0x5A), 0x010B);
  EXPECT_EQ(le32(h + 0x5C), 0u);
  EXPECT_EQ(le16(h + 0x64), n + 1);
  EXPECT_EQ(le16(h + 0x66), 0x20 + 6 * n + 4 + tableName + names);
  EXPECT_EQ(le16(h + 0x6A), 1251);
  EXPECT_EQ(h[0x6C], 1);
  EXPECT_EQ(h[0x6D], 1);
  EXPECT_EQ(le16(h + 0x6E), 0x20 + 8 * n + 4 + tableName + names);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 0x58 + le16(h + 0x6E))), "ancyrr");
  // Chain 1 → 2 → …, packed blocks.
  for (uint16_t b = 1; b <= blocks; ++b) {
    const uint8_t* blk = h + 0x800 + (b - 1u) * 2048u;
    EXPECT_EQ(le16(blk), b == blocks ? 0 : b + 1);
    EXPECT_EQ(le16(blk + 2), b - 1);
    EXPECT_EQ(le16s(blk + 4), ((b == blocks ? 500 - 52 * (blocks - 1) : 52) - 1) * 39);
  }

  auto px = testsupport::readFile(dir.file("keyed.px"));
  EXPECT_EQ(px[0x04], 1);
  EXPECT_EQ(le16(px.data() + 0x00), 4 + 6);
  EXPECT_EQ(le16(px.data() + 0x1E), 1);
  EXPECT_EQ(px[0x20], 1);
  EXPECT_EQ(le32(px.data() + 0x06), blocks);
  EXPECT_EQ(px[0x2C], h[0x2D]);
  EXPECT_EQ(px[0x3E], 0);
  EXPECT_EQ(px[0x56], 0);
  EXPECT_EQ(le16(px.data() + 0x51), 0x58 + 2 + 4 + 79);

  auto mb = testsupport::readFile(dir.file("keyed.mb"));
  ASSERT_EQ(mb.size() % 4096, 0u);
  const uint8_t mbHead[] = {0x00, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(mb.data(), mbHead, 3), 0);
  // Memo values of 6…39 bytes go to the .MB (leader 5), one modification number each:
  // 34 of every 40 records, and 14 of the last 20.
  EXPECT_EQ(le16(mb.data() + 3), 12 * 34 + 14);
  EXPECT_EQ(le16(mb.data() + 0x13), 0x800);
  EXPECT_EQ(le16(mb.data() + 0x29), 0x02A1);
}

// ---- what the builder refuses ---------------------------------------------------------

struct Refusal {
  const char* what;
  std::vector<NewField> fields;
  BuilderOptions options;
  const char* message;  // part of the Russian message
};

TEST(ParadoxWriter, RefusesDefinitionsTheFormatCannotHold) {
  const std::vector<Refusal> cases = {
      {"Long at level 3", {F(pxAlpha, 10, "A"), F(pxLong, 4, "B")}, opts(3, 0, 2, 866, 0xC0, ""), "уровн"},
      {"memo at level 3", {F(pxMemo, 20, "A")}, opts(3, 0, 2, 866, 0xC0, ""), "уровн"},
      {"autoincrement at level 4", {F(pxAutoInc, 4, "A")}, opts(4, 0, 2, 1251, 0x8F, "ancyrr"), "уровн"},
      {"level 6", {F(pxAlpha, 10, "A")}, opts(6, 0, 2, 1251, 0x8F, "ancyrr"), "уровень"},
      {"16 KiB block at level 5", {F(pxAlpha, 10, "A")}, opts(5, 0, 16, 1251, 0x8F, "ancyrr"), "размер блока"},
      {"3 KiB block", {F(pxAlpha, 10, "A")}, opts(7, 0, 3, 1251, 0x8F, "ancyrr"), "размер блока"},
      {"Alpha of 0 bytes", {F(pxAlpha, 0, "A")}, opts(5, 0, 2, 1251, 0x8F, "ancyrr"), "размер"},
      {"Short of 4 bytes", {F(pxShort, 4, "A")}, opts(5, 0, 2, 1251, 0x8F, "ancyrr"), "размер"},
      {"memo without leader", {F(pxMemo, 10, "A")}, opts(5, 0, 2, 1251, 0x8F, "ancyrr"), "размер"},
      {"BCD scale 33", {F(pxBcd, 33, "A")}, opts(5, 0, 2, 1251, 0x8F, "ancyrr"), "размер"},
      {"unknown type", {F(0x07, 4, "A")}, opts(5, 0, 2, 1251, 0x8F, "ancyrr"), "тип"},
      {"no fields", {}, opts(5, 0, 2, 1251, 0x8F, "ancyrr"), "полей"},
      {"record larger than a block", {F(pxAlpha, 255, "A"), F(pxAlpha, 255, "B"), F(pxAlpha, 255, "C"),
                                      F(pxAlpha, 255, "D")}, opts(5, 0, 1, 1251, 0x8F, "ancyrr"), "блок"},
      {"key of more fields than there are", {F(pxLong, 4, "A")}, opts(5, 2, 2, 1251, 0x8F, "ancyrr"), "ключев"},
      {"BLOB in the key", {F(pxMemo, 20, "A")}, opts(5, 1, 2, 1251, 0x8F, "ancyrr"), "ключ"},
      {"same name twice", {F(pxLong, 4, "Код"), F(pxLong, 4, "Код")}, opts(5, 0, 2, 1251, 0x8F, "ancyrr"), "повторяется"},
      {"empty name", {F(pxLong, 4, "")}, opts(5, 0, 2, 1251, 0x8F, "ancyrr"), "без имени"},
      {"name of 26 characters", {F(pxLong, 4, std::string(26, 'x'))}, opts(5, 0, 2, 1251, 0x8F, "ancyrr"), "длиннее"},
      {"name outside the code page", {F(pxLong, 4, "名前")}, opts(5, 0, 2, 1251, 0x8F, "ancyrr"), "кодовой странице"},
      {"unknown code page", {F(pxLong, 4, "A")}, opts(5, 0, 2, 12345, 0x8F, "ancyrr"), "кодовая страница"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    io::MemoryFileSystem mem;
    BuilderOptions o = c.options;
    o.fs = &mem;
    try {
      ParadoxTableBuilder b("/t/X.DB", c.fields, o);
      ADD_FAILURE() << "accepted";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

// A value its field cannot hold or a key out of order refuses that record only: the table
// made of the others reads back sound.
TEST(ParadoxWriter, RefusedRecordsLeaveNoTrace) {
  io::MemoryFileSystem mem;
  BuilderOptions o = opts(5, 2, 1, 1251, 0x8F, "ancyrr");
  o.fs = &mem;
  std::vector<NewField> fields = {F(pxLong, 4, "Год"), F(pxDate, 4, "Дата"), F(pxAlpha, 8, "Имя"),
                                  F(pxNumber, 8, "Сумма"), F(pxBcd, 2, "Точно"), F(pxAutoInc, 4, "Номер"),
                                  F(pxMemo, 11, "Текст")};
  ParadoxTableBuilder b("/t/REF.DB", fields, o);
  auto rec = [](int64_t year, int64_t day, std::string name) {
    return std::vector<Value>{Value::ofInt(year), Value::ofDate(day), Value::ofText(std::move(name)),
                              Value::ofFloat(1.5), Value::ofBcd("12345", 2), Value::null(),
                              Value::ofText(std::string(500, 'm'))};
  };
  b.append(rec(2000, 10, "а"));
  b.append(rec(2000, 11, "б"));

  struct Bad {
    const char* what;
    std::vector<Value> values;
    bool convert;  // EConvertError, else EDatabaseError
  };
  auto with = [&](size_t f, Value v) {
    auto r = rec(2001, 1, "в");
    r[f] = std::move(v);
    return r;
  };
  const std::vector<Bad> bad = {
      {"key lower than the last", rec(1999, 50, "г"), false},
      {"key equal to the last", rec(2000, 11, "д"), false},
      {"second key field lower", rec(2000, 5, "е"), false},
      {"text longer than the field", with(2, Value::ofText("длинный текст")), true},
      {"character outside the code page", with(2, Value::ofText("日本")), true},
      {"text into a number field", with(3, Value::ofText("1,5")), true},
      {"NaN", with(3, Value::ofFloat(std::nan(""))), true},
      {"Long out of range", with(0, Value::ofInt(-2147483648LL)), true},
      {"date 0", with(1, Value::ofDate(0)), true},
      {"BCD with more fraction digits", with(4, Value::ofBcd("12345", 3)), true},
      {"BCD of 33 digits", with(4, Value::ofBcd(std::string(33, '9'), 2)), true},
      {"autoincrement 0", with(5, Value::ofInt(0)), true},
      {"memo character outside the code page", with(6, Value::ofText("日本")), true},
      {"number into a memo", with(6, Value::ofInt(1)), true},
  };
  for (const auto& c : bad) {
    SCOPED_TRACE(c.what);
    if (c.convert) EXPECT_THROW(b.append(c.values), EConvertError);
    else EXPECT_THROW(b.append(c.values), EDatabaseError);
  }
  EXPECT_THROW(b.append({Value::ofInt(1)}), EDatabaseError);  // wrong number of values
  // A BCD of a smaller scale is scaled up; trailing zeros beyond the scale are fine.
  auto r = rec(2000, 12, "ж");
  r[4] = Value::ofBcd("-7", 0);
  b.append(r);
  r = rec(2000, 13, "з");
  r[4] = Value::ofBcd("1500", 3);
  b.append(r);
  b.finish();
  EXPECT_THROW(b.append(rec(2002, 1, "и")), EDatabaseError);

  OpenOptions oo;
  oo.fs = &mem;
  ParadoxTable t("/t/REF.DB", oo);
  EXPECT_EQ(t.damage(), "");
  ASSERT_EQ(t.recordCount(), 4u);
  TRecordBuffer buf;
  const char* names[] = {"а", "б", "ж", "з"};
  const char* bcd[] = {"12345", "12345", "-700", "150"};
  for (size_t i = 0; i < 4; ++i) {
    t.readRecord(i, buf);
    EXPECT_EQ(t.fieldValue(buf, 2).s, names[i]);
    EXPECT_EQ(t.fieldValue(buf, 4).s, bcd[i]);
    EXPECT_EQ(t.fieldValue(buf, 5).i, static_cast<int64_t>(i + 1));  // no number lost to refused records
    EXPECT_EQ(t.fieldValue(buf, 6).s, std::string(500, 'm'));
  }
  EXPECT_EQ(t.header().autoIncrement, 4u);
}

// Alpha keys sort by the language driver's collation: with 'ascii' that is byte order and
// the builder checks it; with other drivers it checks only what it can (no repeated key).
TEST(ParadoxWriter, AlphaKeyOrder) {
  for (const char* driver : {"ascii", "ancyrr"}) {
    SCOPED_TRACE(driver);
    io::MemoryFileSystem mem;
    BuilderOptions o = opts(5, 1, 2, 1251, std::string(driver) == "ascii" ? 0 : 0x8F, driver);
    o.fs = &mem;
    ParadoxTableBuilder b("/t/A.DB", {F(pxAlpha, 10, "Имя")}, o);
    b.append({Value::ofText("b")});
    EXPECT_THROW(b.append({Value::ofText("b")}), EDatabaseError);
    if (std::string(driver) == "ascii") EXPECT_THROW(b.append({Value::ofText("a")}), EDatabaseError);
    else EXPECT_NO_THROW(b.append({Value::ofText("a")}));
    b.append({Value::ofText("c")});
    b.finish();
    OpenOptions oo;
    oo.fs = &mem;
    ParadoxTable t("/t/A.DB", oo);
    EXPECT_EQ(t.damage(), "");
  }
}

}  // namespace
