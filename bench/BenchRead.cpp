// Reading speed of a large Paradox table: opening it, reading every field of every record
// as text through the dataset (TTable, what the grid and the scripts use) and through the
// driver alone. Prints records per second and memory; not a test, nothing is asserted.
//
//   bench_read [--records N] [--dir FOLDER]
//
// The table (20 fields of mixed types, no BLOBs) is made with ParadoxTableBuilder in FOLDER
// (default: $TMPDIR/checkup-bench) and kept there; a later run reuses it when it is sound
// and has the wanted number of records.
#include "db/EngineError.h"
#include "db/Table.h"
#include "db/paradox/ParadoxFormat.h"
#include "db/paradox/ParadoxTable.h"
#include "db/paradox/ParadoxWriter.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

using namespace paradox;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kMarker = "checkup bench v1";

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

long vmRssKiB() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

long peakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

std::vector<NewField> benchFields() {
  return {{pxAlpha, 20, "Фамилия"}, {pxAlpha, 40, "Адрес"},   {pxShort, 2, "Отдел"},   {pxLong, 4, "Счёт"},
          {pxNumber, 8, "Вес"},     {pxMoney, 8, "Сумма"},    {pxDate, 4, "Дата"},     {pxTime, 4, "Время"},
          {pxTimestamp, 8, "Создан"}, {pxLogical, 1, "Активен"}, {pxBcd, 2, "Точно"},  {pxAutoInc, 4, "Номер"},
          {pxAlpha, 10, "Код"},     {pxNumber, 8, "Курс"},    {pxLong, 4, "Кол"},      {pxDate, 4, "Срок"},
          {pxAlpha, 5, "Серия"},    {pxBytes, 8, "Метка"},    {pxLogical, 1, "Закрыт"}, {pxAlpha, 30, "Примечание"}};
}

std::vector<Value> benchRecord(uint64_t i) {
  static const char* names[] = {"Иванов", "Петров", "Сидорова", "Кузнецов", "Smith", "Попова", "Ёлкин"};
  static const char* streets[] = {"ул. Ленина", "пр. Мира", "Садовая ул.", "Main Street", "наб. Фонтанки"};
  uint64_t h = i * 0x9E3779B97F4A7C15ULL;
  h ^= h >> 29;
  auto pick = [&](uint64_t m) { h = h * 6364136223846793005ULL + 1442695040888963407ULL; return (h >> 33) % m; };
  auto si = static_cast<int64_t>(i);
  bool blank = i % 13 == 5;
  std::vector<Value> v;
  v.push_back(Value::ofText(std::string(names[pick(7)]) + " " + std::to_string(i % 1000)));
  v.push_back(Value::ofText(std::string(streets[pick(5)]) + ", д. " + std::to_string(pick(200) + 1) + ", кв. " +
                            std::to_string(pick(300) + 1)));
  v.push_back(Value::ofInt(static_cast<int64_t>(pick(2000)) - 1000));
  v.push_back(Value::ofInt(static_cast<int64_t>(pick(2'000'000'000))));
  v.push_back(blank ? Value::null() : Value::ofFloat(static_cast<double>(pick(1'000'000)) / 1000.0));
  v.push_back(Value::ofFloat(static_cast<double>(pick(10'000'000)) / 100.0));
  v.push_back(Value::ofDate(730'000 + static_cast<int64_t>(pick(10'000))));
  v.push_back(Value::ofTime(static_cast<int64_t>(pick(86'400)) * 1000));
  v.push_back(Value::ofDateTime(static_cast<double>((735'000 + static_cast<int64_t>(pick(5000))) * kMsPerDay +
                                                    static_cast<int64_t>(pick(86'400'000)))));
  v.push_back(Value::ofBool(pick(2) == 1));
  v.push_back(Value::ofBcd(std::to_string(static_cast<int64_t>(pick(100'000'000)) - 50'000'000), 2));
  v.push_back(Value::null());
  v.push_back(Value::ofText("K-" + std::to_string(si % 100000)));
  v.push_back(Value::ofFloat(90.0 + static_cast<double>(pick(10000)) / 10000.0));
  v.push_back(blank ? Value::null() : Value::ofInt(static_cast<int64_t>(pick(1000))));
  v.push_back(blank ? Value::null() : Value::ofDate(738'000 + static_cast<int64_t>(pick(1000))));
  v.push_back(Value::ofText(std::string(1, static_cast<char>('A' + pick(26))) + std::to_string(pick(1000))));
  std::string bytes(8, '\0');
  for (auto& c : bytes) c = static_cast<char>(pick(255) + 1);
  v.push_back(Value::ofBytes(bytes));
  v.push_back(blank ? Value::null() : Value::ofBool(pick(3) == 0));
  v.push_back(i % 4 ? Value::null() : Value::ofText("проверено " + std::to_string(pick(100000))));
  return v;
}

bool reusable(const std::string& path, uint64_t records) {
  if (!std::filesystem::exists(path)) return false;
  try {
    ParadoxTable t(path, OpenOptions{});
    return t.damage().empty() && t.recordCount() == records && t.fields().size() == benchFields().size() &&
           t.tableNameInHeader() == kMarker;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t records = 1'000'000;
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/checkup-bench";
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--records") records = std::strtoull(argv[i + 1], nullptr, 10);
    else if (a == "--dir") dir = argv[i + 1];
  }
  std::filesystem::create_directories(dir);
  std::string path = dir + "/BENCH" + std::to_string(records) + ".DB";

  try {
    if (!reusable(path, records)) {
      auto t0 = Clock::now();
      BuilderOptions o;
      o.level = 7;
      o.blockSizeKiB = 4;
      o.tableName = kMarker;
      ParadoxTableBuilder b(path, benchFields(), o);
      for (uint64_t i = 0; i < records; ++i) b.append(benchRecord(i));
      b.finish();
      auto t1 = Clock::now();
      std::printf("generated %s: %llu records in %.2f s (%.0f records/s), %.1f MB\n", path.c_str(),
                  static_cast<unsigned long long>(records), seconds(t0, t1), static_cast<double>(records) / seconds(t0, t1),
                  static_cast<double>(std::filesystem::file_size(path)) / 1e6);
    } else {
      std::printf("reusing %s (%.1f MB)\n", path.c_str(), static_cast<double>(std::filesystem::file_size(path)) / 1e6);
    }

    // (a) + (b): the dataset.
    long rss0 = vmRssKiB();
    auto t0 = Clock::now();
    TTable table;
    table.SetTableName(path);
    table.Open();
    auto t1 = Clock::now();
    long rss1 = vmRssKiB();
    std::printf("open (TTable): %.1f ms, VmRSS %ld -> %ld KiB (+%ld KiB)\n", seconds(t0, t1) * 1e3, rss0, rss1,
                rss1 - rss0);
    int nf = table.FieldCount();
    std::vector<TField*> fields;
    for (int f = 0; f < nf; ++f) fields.push_back(table.Fields(f));
    uint64_t n = 0, chars = 0;
    t0 = Clock::now();
    while (!table.Eof()) {
      for (TField* f : fields) chars += f->AsString().size();
      table.Next();
      ++n;
    }
    t1 = Clock::now();
    std::printf("(b) dataset, %d fields AsString: %llu records in %.2f s = %.0f records/s (%llu chars)\n", nf,
                static_cast<unsigned long long>(n), seconds(t0, t1), static_cast<double>(n) / seconds(t0, t1),
                static_cast<unsigned long long>(chars));
    std::printf("    VmRSS after reading: %ld KiB\n", vmRssKiB());
    // The same walk reading the typed values (what a grid or a writer that formats
    // values itself reads), without turning them into text.
    table.First();
    n = 0;
    uint64_t nulls = 0;
    t0 = Clock::now();
    while (!table.Eof()) {
      for (TField* f : fields) nulls += f->AsValue().isNull() ? 1u : 0u;
      table.Next();
      ++n;
    }
    t1 = Clock::now();
    std::printf("(b2) dataset, %d fields AsValue: %llu records in %.2f s = %.0f records/s (%llu blanks)\n", nf,
                static_cast<unsigned long long>(n), seconds(t0, t1), static_cast<double>(n) / seconds(t0, t1),
                static_cast<unsigned long long>(nulls));
    table.Close();

    // (c): the driver alone.
    rss0 = vmRssKiB();
    t0 = Clock::now();
    ParadoxTable drv(path, OpenOptions{});
    t1 = Clock::now();
    rss1 = vmRssKiB();
    std::printf("open (driver): %.1f ms, VmRSS %ld -> %ld KiB (+%ld KiB)\n", seconds(t0, t1) * 1e3, rss0, rss1,
                rss1 - rss0);
    TRecordBuffer buf;
    uint64_t nonNull = 0;
    t0 = Clock::now();
    uint64_t count = drv.recordCount();
    for (uint64_t r = 0; r < count; ++r) {
      drv.readRecord(r, buf);
      for (int f = 0; f < nf; ++f) nonNull += drv.fieldValue(buf, f).isNull() ? 0u : 1u;
    }
    t1 = Clock::now();
    std::printf("(c) driver, readRecord + fieldValue: %llu records in %.2f s = %.0f records/s (%llu values)\n",
                static_cast<unsigned long long>(count), seconds(t0, t1), static_cast<double>(count) / seconds(t0, t1),
                static_cast<unsigned long long>(nonNull));
    std::printf("peak RSS (ru_maxrss): %ld KiB; VmRSS now %ld KiB\n", peakRssKiB(), vmRssKiB());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_read: %s\n", e.what());
    return 1;
  }
  return 0;
}
