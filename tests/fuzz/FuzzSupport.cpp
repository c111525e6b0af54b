#include "FuzzSupport.h"

#include "FuzzFixtures.h"
#include "db/EngineError.h"
#include "db/ValueText.h"
#include "db/paradox/ParadoxFormat.h"
#include "db/paradox/ParadoxTable.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace fuzz {

std::vector<uint8_t> bytesOf(const uint8_t* data, size_t size) {
  return size ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>{};
}

namespace {

using paradox::putLe16;
using paradox::putLe32;

struct FieldSpec {
  uint8_t type;
  uint8_t size;
  const char* name;
};

// A level-4 table (or its primary index) with 1 KB blocks, one block of records.
std::vector<uint8_t> buildFile(uint8_t fileType, const std::vector<FieldSpec>& fields, int keyFields,
                               const std::vector<std::vector<uint8_t>>& records, bool indexFile) {
  const uint16_t headerSize = 0x800;
  const uint32_t blockSize = 1024;
  uint16_t recordSize = 0;
  for (const auto& f : fields) recordSize = static_cast<uint16_t>(recordSize + f.size);
  if (indexFile) recordSize = static_cast<uint16_t>(recordSize + 6);
  std::vector<uint8_t> out(headerSize + (records.empty() ? 0 : blockSize), 0);
  uint8_t* h = out.data();
  auto n = static_cast<uint16_t>(fields.size());
  putLe16(h + 0x00, recordSize);
  putLe16(h + 0x02, headerSize);
  h[0x04] = fileType;
  h[0x05] = 1;
  putLe32(h + 0x06, static_cast<uint32_t>(records.size()));
  uint16_t blocks = records.empty() ? 0 : 1;
  putLe16(h + 0x0A, blocks);
  putLe16(h + 0x0C, blocks);
  putLe16(h + 0x0E, blocks);
  putLe16(h + 0x10, blocks);
  if (indexFile) {
    putLe16(h + 0x1E, 1);  // root
    h[0x20] = 1;           // levels
  }
  putLe16(h + 0x21, n);
  putLe16(h + 0x23, static_cast<uint16_t>(keyFields));
  h[0x39] = indexFile ? 3 : 9;
  size_t pos = indexFile ? 0x58 : 0x78;
  for (const auto& f : fields) {
    h[pos++] = f.type;
    h[pos++] = f.size;
  }
  pos += 4;                      // table name pointer
  if (!indexFile) pos += 4u * n; // field name pointers
  const char* tableName = indexFile ? "fuzz.px" : "fuzz.db";
  for (size_t i = 0; tableName[i]; ++i) h[pos + i] = static_cast<uint8_t>(tableName[i]);
  pos += 79;
  if (!indexFile) {
    for (const auto& f : fields) {
      for (size_t i = 0; f.name[i]; ++i) h[pos++] = static_cast<uint8_t>(f.name[i]);
      ++pos;
    }
    putLe16(h + 0x66, static_cast<uint16_t>(pos - 0x58));
    for (uint16_t i = 1; i <= n; ++i, pos += 2) putLe16(h + pos, i);
    const char* sortId = "ancyrr";
    for (size_t i = 0; sortId[i]; ++i) h[pos++] = static_cast<uint8_t>(sortId[i]);
    putLe16(h + 0x6A, 1251);
  }
  if (!records.empty()) {
    uint8_t* b = h + headerSize;
    putLe16(b + 4, static_cast<uint16_t>((records.size() - 1) * recordSize));
    size_t at = 6;
    for (const auto& r : records) {
      std::copy(r.begin(), r.end(), b + at);
      at += recordSize;
    }
  }
  return out;
}

std::vector<uint8_t> longValue(int32_t v) {
  std::vector<uint8_t> r(4);
  paradox::encodeInt(r.data(), 4, v);
  return r;
}

// Fallbacks when the fixtures are absent: KEY (I, key) + NAME (A20), two records; and
// ID (I) + NOTE (M20) with one value in the record and one in a type-2 block of the .MB.
KeyedTable builtKeyed() {
  std::vector<FieldSpec> fields = {{paradox::pxLong, 4, "KEY"}, {paradox::pxAlpha, 20, "NAME"}};
  std::vector<std::vector<uint8_t>> recs;
  for (int k = 1; k <= 2; ++k) {
    auto r = longValue(k);
    r.resize(24, 0);
    r[4] = static_cast<uint8_t>('A' + k);
    recs.push_back(r);
  }
  KeyedTable t;
  t.db = buildFile(paradox::ftKeyedDb, fields, 1, recs, false);
  std::vector<uint8_t> leaf = longValue(1);
  std::vector<uint8_t> tail(6, 0);
  paradox::encodeInt(tail.data(), 2, 1);      // block 1
  paradox::encodeInt(tail.data() + 2, 2, 2);  // 2 records
  leaf.insert(leaf.end(), tail.begin(), tail.end());
  t.px = buildFile(paradox::ftPrimaryIndex, {fields[0]}, 0, {leaf}, true);
  return t;
}

BlobTable builtBlob() {
  std::vector<FieldSpec> fields = {{paradox::pxLong, 4, "ID"}, {paradox::pxMemo, 20, "NOTE"}};
  std::vector<std::vector<uint8_t>> recs;
  auto r1 = longValue(1);
  r1.resize(24, 0);
  for (int i = 0; i < 5; ++i) r1[4 + static_cast<size_t>(i)] = static_cast<uint8_t>('a' + i);
  putLe32(r1.data() + 4 + 10 + 4, 5);  // length 5, in the leader
  recs.push_back(r1);
  const uint32_t len = 3000;
  auto r2 = longValue(2);
  r2.resize(24, 0);
  putLe32(r2.data() + 4 + 10, 4096 | 0xFF);  // offset 4096, whole block
  putLe32(r2.data() + 4 + 10 + 4, len);
  putLe16(r2.data() + 4 + 10 + 8, 1);
  for (size_t i = 0; i < 10; ++i) r2[4 + i] = static_cast<uint8_t>('x');
  recs.push_back(r2);
  BlobTable t;
  t.db = buildFile(paradox::ftUnkeyedDb, fields, 0, recs, false);
  t.mb.assign(2 * 4096, 0);
  uint8_t* b = t.mb.data() + 4096;
  b[0] = 2;
  putLe16(b + 1, 1);
  putLe32(b + 3, len);
  putLe16(b + 7, 1);
  for (uint32_t i = 0; i < len; ++i) b[9 + i] = static_cast<uint8_t>('x');
  return t;
}

// CHECKUP_FUZZ_BUILTIN=1 uses the tables built in code even when fixtures are embedded.
[[maybe_unused]] bool useBuiltTables() {
  const char* v = std::getenv("CHECKUP_FUZZ_BUILTIN");
  return v && *v && *v != '0';
}

}  // namespace

const KeyedTable& keyedTable() {
  static const KeyedTable t = [] {
#ifdef CHECKUP_FUZZ_HAVE_FIXTURES
    if (!useBuiltTables()) return KeyedTable{bytesOf(kKeyedDb, kKeyedDbSize), bytesOf(kKeyedPx, kKeyedPxSize)};
#endif
    return builtKeyed();
  }();
  return t;
}

const BlobTable& blobTable() {
  static const BlobTable t = [] {
#ifdef CHECKUP_FUZZ_HAVE_FIXTURES
    if (!useBuiltTables()) return BlobTable{bytesOf(kAllTypesDb, kAllTypesDbSize), bytesOf(kAllTypesMb, kAllTypesMbSize)};
#endif
    return builtBlob();
  }();
  return t;
}

void readWholeTable(io::MemoryFileSystem& fs, const std::string& dbPath) {
  paradox::OpenOptions options;
  options.fs = &fs;
  options.passwords = {"123"};
  try {
    paradox::ParadoxTable table(dbPath, options);
    const auto fieldCount = static_cast<int>(table.fields().size());
    uint64_t n = table.recordCount();
    TRecordBuffer buf;
    size_t textBytes = 0;
    for (uint64_t pos = 0; pos < n; ++pos) {
      table.readRecord(pos, buf);
      for (int f = 0; f < fieldCount; ++f) {
        try {
          Value v = table.fieldValue(buf, f);
          textBytes += valuetext::format(v).size();
        } catch (const EDatabaseError&) {
        } catch (const EConvertError&) {
        }
      }
    }
    (void)textBytes;
    try {
      table.readRecord(n, buf);  // past the end: an error, never a read
    } catch (const EDatabaseError&) {
    }
    try {
      (void)table.indexes();
    } catch (const EDatabaseError&) {
    }
    table.checkEnd();
  } catch (const EDatabaseError&) {
  } catch (const EConvertError&) {
  } catch (const io::IoError& e) {
    std::fprintf(stderr, "io::IoError escaped the engine: %s\n", e.what());
    std::abort();
  }
}

}  // namespace fuzz
