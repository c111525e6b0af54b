// Writing speed: the table test's write-back ("Запись": every field of every record gets
// its own text again and the record is posted), the same with one field really changed
// in every record, and appending records one Post at a time to a new table. Prints
// records per second; not a test, nothing is asserted.
//
//   bench_write [--records N] [--dir FOLDER]
#include "db/EngineError.h"
#include "db/Table.h"
#include "db/paradox/ParadoxFormat.h"
#include "db/paradox/ParadoxTable.h"
#include "db/paradox/ParadoxWriter.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void report(const char* what, uint64_t n, Clock::time_point t0, Clock::time_point t1) {
  std::printf("%s: %llu records in %.2f s = %.0f records/s\n", what, static_cast<unsigned long long>(n), seconds(t0, t1),
              static_cast<double>(n) / seconds(t0, t1));
}

// A table of 10 mixed fields made with the builder.
void makeTable(const std::string& path, uint64_t records) {
  using namespace paradox;
  std::vector<NewField> f = {{pxAlpha, 20, "Фамилия"}, {pxShort, 2, "Отдел"}, {pxLong, 4, "Счёт"}, {pxNumber, 8, "Вес"},
                             {pxMoney, 8, "Сумма"},    {pxDate, 4, "Дата"},   {pxTime, 4, "Время"}, {pxLogical, 1, "Флаг"},
                             {pxBcd, 2, "Точно"},      {pxAlpha, 30, "Примечание"}};
  BuilderOptions o;
  o.level = 7;
  o.blockSizeKiB = 4;
  ParadoxTableBuilder b(path, f, o);
  for (uint64_t i = 0; i < records; ++i) {
    auto si = static_cast<int64_t>(i);
    b.append({Value::ofText("Иванов " + std::to_string(i % 1000)), Value::ofInt(si % 1000), Value::ofInt(si * 7),
              Value::ofFloat(static_cast<double>(i) / 8.0), Value::ofFloat(static_cast<double>(i % 100000) / 100.0),
              Value::ofDate(730000 + si % 5000), Value::ofTime(si % 86400 * 1000), Value::ofBool(i % 2),
              Value::ofBcd(std::to_string(si % 1000000), 2), i % 3 ? Value::null() : Value::ofText("заметка " + std::to_string(i))});
  }
  b.finish();
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t records = 1'000'000;
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/checkup-bench-write";
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--records") records = std::strtoull(argv[i + 1], nullptr, 10);
    else if (a == "--dir") dir = argv[i + 1];
  }
  fs::remove_all(dir);
  fs::create_directories(dir);
  try {
    std::string path = dir + "/WB.DB";
    auto t0 = Clock::now();
    makeTable(path, records);
    report("made with the builder", records, t0, Clock::now());

    // The table test's write-back.
    {
      TTable t;
      t.SetTableName(path);
      t.Open();
      std::vector<TField*> fields;
      for (int i = 0; i < t.FieldCount(); ++i) fields.push_back(t.Fields(i));
      uint64_t n = 0;
      t0 = Clock::now();
      while (!t.Eof()) {
        for (TField* f : fields) {
          std::string s = f->AsString();
          if (!f->ReadOnly()) {
            t.Edit();
            f->SetAsString(s);
          }
        }
        if (t.State() == dsEdit) t.Post();
        t.Next();
        ++n;
      }
      report("write-back, every field its own text, Post", n, t0, Clock::now());
    }
    // One field really changed in every record: an in-place write through the journal.
    {
      TTable t;
      t.SetTableName(path);
      t.Open();
      TField* f = t.FieldByName("Счёт");
      uint64_t n = 0;
      t0 = Clock::now();
      while (!t.Eof()) {
        t.Edit();
        f->SetAsString(std::to_string(n));
        t.Post();
        t.Next();
        ++n;
      }
      report("edit one field of every record, Post", n, t0, Clock::now());
    }
    // Appending through the dataset to a new table.
    {
      TTable t;
      t.SetTableName(dir + "/APPEND.DB");
      t.FieldDefs().Add("Фамилия", ftString, 20);
      t.FieldDefs().Add("Счёт", ftInteger);
      t.FieldDefs().Add("Сумма", ftCurrency);
      t.FieldDefs().Add("Дата", ftDate);
      t.FieldDefs().Add("Примечание", ftString, 30);
      t.CreateTable();
      t.Open();
      TField* f0 = t.Fields(0);
      TField* f1 = t.Fields(1);
      TField* f2 = t.Fields(2);
      TField* f3 = t.Fields(3);
      TField* f4 = t.Fields(4);
      t0 = Clock::now();
      for (uint64_t i = 0; i < records; ++i) {
        t.Append();
        f0->SetAsString("Петров " + std::to_string(i % 1000));
        f1->SetAsString(std::to_string(i));
        f2->SetAsString("1234,5");
        f3->SetAsString("31.12.2024");
        if (i % 3 == 0) f4->SetAsString("добавлено");
        t.Post();
      }
      report("append through the dataset, one Post per record", records, t0, Clock::now());
      t.Close();
      paradox::ParadoxTable check(dir + "/APPEND.DB", {});
      std::printf("appended table: %llu records, damage: %s\n", static_cast<unsigned long long>(check.recordCount()),
                  check.damage().empty() ? "none" : check.damage().c_str());
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("peak RSS: %ld KiB\n", u.ru_maxrss);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_write: %s\n", e.what());
    return 1;
  }
  fs::remove_all(dir);
  return 0;
}
