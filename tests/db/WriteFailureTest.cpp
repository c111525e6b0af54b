// Writes that fail: a write refused or cut short at any step of a Post, an Append or a
// Delete, and a process that dies in the middle (every later operation fails, so the
// change cannot be undone at once). Whatever happens, the table opens undamaged and holds
// either the state before the change or, when only the journal's final mark failed, the
// state after it: never a mix.
#include "db/EngineError.h"
#include "db/FileAccess.h"
#include "db/Table.h"
#include "db/paradox/ParadoxTable.h"
#include "support/TestSupport.h"

#include <cstring>
#include <functional>
#include <map>

namespace {

using Rows = std::vector<std::vector<std::string>>;
using Image = std::map<std::string, std::vector<uint8_t>>;  // path → bytes

const std::string kDir = "w";

// ---- file systems --------------------------------------------------------------------

// The disk goes away: from the k-th write-like operation on (write, truncate, flush,
// rename, remove), every operation fails, reads and opens included. With ShortWrite the
// k-th write still puts half of its bytes down.
class DyingFileSystem : public io::FileSystem {
public:
  explicit DyingFileSystem(io::FileSystem& inner) : inner_(inner) {}
  // The disk dies at the k-th write-like operation from now.
  void arm(long k, bool shortWrite) {
    k_ = k;
    short_ = shortWrite;
    seen_ = 0;
  }

  bool dead() const { return dead_; }
  // Counts a write-like operation; true when it must fail (and from then on everything).
  bool dies() {
    if (!dead_ && seen_++ == k_) dead_ = true;
    return dead_;
  }
  bool shortWrite() const { return short_; }
  void checkAlive(const std::string& path) const {
    if (dead_) throw io::IoError(path, "Устройство недоступно: " + path);
  }

  std::unique_ptr<io::File> open(const std::string& path, io::OpenMode mode) override;
  bool exists(const std::string& path) override {
    checkAlive(path);
    return inner_.exists(path);
  }
  bool isDirectory(const std::string& path) override {
    checkAlive(path);
    return inner_.isDirectory(path);
  }
  std::vector<io::DirEntry> list(const std::string& dir) override {
    checkAlive(dir);
    return inner_.list(dir);
  }
  void remove(const std::string& path) override {
    if (dies()) checkAlive(path);
    inner_.remove(path);
  }
  void rename(const std::string& from, const std::string& to) override {
    if (dies()) checkAlive(from);
    inner_.rename(from, to);
  }
  void makeDir(const std::string& path) override {
    checkAlive(path);
    inner_.makeDir(path);
  }

private:
  io::FileSystem& inner_;
  long k_ = -1;
  bool short_ = false;
  long seen_ = 0;
  bool dead_ = false;
};

class DyingFile : public io::File {
public:
  DyingFile(std::unique_ptr<io::File> inner, DyingFileSystem& fs) : inner_(std::move(inner)), fs_(fs) {}
  size_t readAt(uint64_t offset, void* buf, size_t n) override {
    fs_.checkAlive(path());
    return inner_->readAt(offset, buf, n);
  }
  void writeAt(uint64_t offset, const void* buf, size_t n) override {
    if (!fs_.dead() && fs_.dies()) {
      if (fs_.shortWrite()) inner_->writeAt(offset, buf, n / 2);
    }
    fs_.checkAlive(path());
    inner_->writeAt(offset, buf, n);
  }
  uint64_t size() override {
    fs_.checkAlive(path());
    return inner_->size();
  }
  void truncate(uint64_t newSize) override {
    if (fs_.dies()) fs_.checkAlive(path());
    inner_->truncate(newSize);
  }
  void flush() override {
    if (fs_.dies()) fs_.checkAlive(path());
    inner_->flush();
  }
  bool tryLock(bool exclusive) override { return inner_->tryLock(exclusive); }
  void unlock() override { inner_->unlock(); }
  io::LockInfo queryLock(bool exclusive) override { return inner_->queryLock(exclusive); }
  const std::string& path() const override { return inner_->path(); }

private:
  std::unique_ptr<io::File> inner_;
  DyingFileSystem& fs_;
};

std::unique_ptr<io::File> DyingFileSystem::open(const std::string& path, io::OpenMode mode) {
  checkAlive(path);
  return std::make_unique<DyingFile>(inner_.open(path, mode), *this);
}

// Makes a file system the default for the scope.
class DefaultFs {
public:
  explicit DefaultFs(io::FileSystem& fs) : prev_(io::setDefaultFileSystem(&fs)) {}
  ~DefaultFs() { io::setDefaultFileSystem(prev_); }
  DefaultFs(const DefaultFs&) = delete;
  DefaultFs& operator=(const DefaultFs&) = delete;

private:
  io::FileSystem* prev_;
};

// ---- tables ----------------------------------------------------------------------------

Rows allText(TTable& t) {
  Rows rows;
  for (t.First(); !t.Eof(); t.Next()) {
    std::vector<std::string> r;
    for (int i = 0; i < t.FieldCount(); ++i) r.push_back(t.Fields(i)->AsString());
    rows.push_back(r);
  }
  return rows;
}

std::string tablePath(const std::string& stem) { return kDir + "/" + stem + ".db"; }

void load(io::MemoryFileSystem& mem, const Image& image) {
  for (const auto& [p, b] : image) mem.put(p, b);
}

Image snapshot(io::MemoryFileSystem& mem) {
  Image out;
  for (const auto& e : mem.list(kDir)) out[kDir + "/" + e.name] = mem.get(kDir + "/" + e.name);
  return out;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
         static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }
uint32_t recordsOf(const std::vector<uint8_t>& db) { return le32(db, 0x06); }
uint16_t fileBlocksOf(const std::vector<uint8_t>& db) { return le16(db, 0x0C); }
uint32_t perBlockOf(const std::vector<uint8_t>& db) { return (db[0x05] * 1024u - 6u) / le16(db, 0); }

// Opens the table afresh on a healthy file system: no damage, its text.
Rows reread(io::MemoryFileSystem& mem, const std::string& path) {
  DefaultFs use(mem);
  paradox::OpenOptions o;
  o.fs = &mem;
  {
    paradox::ParadoxTable check(path, o);
    EXPECT_EQ(check.damage(), "") << path;
  }
  TTable t;
  t.SetTableName(path);
  t.Open();
  return allText(t);
}

bool journalPending(io::MemoryFileSystem& mem, const std::string& stem) {
  std::string j = kDir + "/" + stem + ".CKJ";
  if (!mem.exists(j)) return false;
  auto b = mem.get(j);
  return b.size() >= 4 && std::memcmp(b.data(), "CKJ2", 4) == 0;
}

// Whether a message names one of the table's files.
bool namesAFile(const std::string& message, const Image& image, const std::string& stem) {
  for (const auto& [p, b] : image)
    if (message.find(p) != std::string::npos) return true;
  return message.find(kDir + "/" + stem + ".CKJ") != std::string::npos;
}

bool isRussian(const std::string& message) {
  // Cyrillic letters in UTF-8 start with 0xD0 or 0xD1.
  return message.find('\xD0') != std::string::npos || message.find('\xD1') != std::string::npos;
}

// ---- cases ----------------------------------------------------------------------------

using Step = std::function<void(TTable&)>;

struct Case {
  const char* name;
  const char* stem;
  std::vector<const char*> files;  // the family's extensions in the fixtures
  Step setup;                      // run once, healthy: the state every attempt starts from
  Step operation;                  // the change that meets the faults (from browse state)
  // Checked on a healthy run: the operation does what the case is about.
  std::function<void(const Image& before, const Image& after)> shape;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void appendPlain(TTable& t, int n) {
  t.Append();
  t.FieldByName("N")->SetAsString(std::to_string(n));
  t.FieldByName("Name")->SetAsString("Zeile " + std::to_string(n));
  t.Post();
}

// Appends to plain.db until the last block holds `rest` records (mod records per block).
Step fillPlainTo(uint32_t rest) {
  return [rest](TTable& t) {
    auto& mem = dynamic_cast<io::MemoryFileSystem&>(io::defaultFileSystem());
    int n = 5000;
    for (;;) {
      auto db = mem.get(tablePath("plain"));
      if (recordsOf(db) % perBlockOf(db) == rest) return;
      appendPlain(t, n++);
    }
  };
}

void moreBlocks(const Image& before, const Image& after, const std::string& stem) {
  EXPECT_GT(fileBlocksOf(after.at(tablePath(stem))), fileBlocksOf(before.at(tablePath(stem)))) << "a new block";
}

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      {"EditInPlace", "plain", {".db"}, nullptr,
       [](TTable& t) {
         t.SetRecNo(30);
         t.Edit();
         t.FieldByName("Name")->SetAsString("Geändert an Ort");
         t.FieldByName("When")->SetAsString("29.02.2024");
         t.Post();
       },
       nullptr},
      {"EditMovesBlobToMb", "alltypes", {".db", ".mb"}, nullptr,
       [](TTable& t) {
         t.First();
         t.Edit();
         t.FieldByName("Name")->SetAsString("Lange Notiz");
         t.FieldByName("Notes")->SetAsString(std::string(5000, 'x'));
         t.Post();
       },
       [](const Image& before, const Image& after) {
         EXPECT_GT(after.at("w/alltypes.mb").size(), before.at("w/alltypes.mb").size()) << "the BLOB went to the .MB";
       }},
      {"EditSmallBlob", "alltypes", {".db", ".mb"}, nullptr,
       [](TTable& t) {
         t.SetRecNo(2);
         t.Edit();
         t.FieldByName("Notes")->SetAsString("une note plus longue que le début, dans un bloc partagé");
         t.Post();
       },
       nullptr},
      {"AppendUnkeyedNewBlock", "plain", {".db"}, fillPlainTo(0), [](TTable& t) { appendPlain(t, 9000); },
       [](const Image& b, const Image& a) { moreBlocks(b, a, "plain"); }},
      {"AppendWithBlob", "alltypes", {".db", ".mb"}, nullptr,
       [](TTable& t) {
         t.Append();
         t.FieldByName("Name")->SetAsString("Nouvelle");
         t.FieldByName("Notes")->SetAsString(std::string(3000, 'n'));
         t.Post();
       },
       nullptr},
      {"InsertKeyedSplitsBlock", "ru1251", {".db", ".px", ".mb"},
       [](TTable& t) {
         for (int key = 1000; key < 1055; ++key) {
           t.Append();
           t.FieldByName("Код")->SetAsString(std::to_string(key));
           t.FieldByName("Наименование")->SetAsString("Товар " + std::to_string(key));
           t.Post();
         }
       },
       [](TTable& t) {
         t.Append();
         t.FieldByName("Код")->SetAsString("-7");
         t.FieldByName("Наименование")->SetAsString("В начало");
         t.FieldByName("Примечание")->SetAsString(std::string(300, 'p'));
         t.Post();
       },
       [](const Image& b, const Image& a) {
         moreBlocks(b, a, "ru1251");
         EXPECT_NE(a.at("w/ru1251.px"), b.at("w/ru1251.px")) << "the index was rewritten";
       }},
      {"DeleteUnkeyed", "plain", {".db"}, nullptr,
       [](TTable& t) {
         t.SetRecNo(40);
         t.Delete();
       },
       nullptr},
      {"DeleteEmptiesAndFreesBlock", "plain", {".db"}, fillPlainTo(1),
       [](TTable& t) {
         t.Last();
         t.Delete();
       },
       [](const Image& b, const Image& a) {
         EXPECT_EQ(fileBlocksOf(a.at("w/plain.db")), fileBlocksOf(b.at("w/plain.db")));
         EXPECT_NE(le16(a.at("w/plain.db"), 0x4D), 0) << "the emptied block is on the free list";
       }},
      {"DeleteFreesBlobs", "alltypes", {".db", ".mb"}, nullptr,
       [](TTable& t) {
         t.First();
         t.Delete();
       },
       nullptr},
      {"DeleteKeyed", "ru1251", {".db", ".px", ".mb"}, nullptr,
       [](TTable& t) {
         t.SetRecNo(2);
         t.Delete();
       },
       nullptr},
  };
  return all;
}

// The state an attempt starts from: the fixture family after the case's setup.
struct Start {
  Image image;        // after the setup
  Image beforeImage;  // after the setup and the warm-up
  Rows before, after;  // the table's text before and after the operation
};

// A change with a large journal (a whole block's bytes move), made in the same session
// before the operation: the journal file is reused by a smaller change.
void warmUp(TTable& t) {
  t.First();
  t.Delete();
}

Start prepare(const Case& c, bool warm = false) {
  io::MemoryFileSystem mem;
  for (const char* ext : c.files) {
    std::string name = std::string(c.stem) + ext;
    mem.put(kDir + "/" + name, testsupport::readFile(testsupport::fixture("paradox/made/" + name)));
  }
  std::string path = tablePath(c.stem);
  Start s;
  {
    DefaultFs use(mem);
    TTable t;
    t.SetTableName(path);
    t.Open();
    if (c.setup) c.setup(t);
  }
  s.image = snapshot(mem);
  if (warm) {
    DefaultFs use(mem);
    TTable t;
    t.SetTableName(path);
    t.Open();
    warmUp(t);
  }
  s.beforeImage = snapshot(mem);
  s.before = reread(mem, path);
  {
    DefaultFs use(mem);
    TTable t;
    t.SetTableName(path);
    t.Open();
    c.operation(t);
  }
  s.after = reread(mem, path);
  EXPECT_NE(s.before, s.after) << c.name << ": the operation changes the table";
  if (c.shape && !warm) c.shape(s.image, snapshot(mem));
  return s;
}

class WriteFailure : public ::testing::TestWithParam<Case> {};

// A write fails outright or is cut short at step k, for every k the operation reaches.
TEST_P(WriteFailure, FailedWriteAtEveryStepLeavesOldOrNewTable) {
  REQUIRE_FIXTURES();
  const Case& c = GetParam();
  Start s = prepare(c);
  std::string path = tablePath(c.stem);
  for (auto fault : {io::FaultyFileSystem::Fault::FailWrite, io::FaultyFileSystem::Fault::ShortWrite}) {
    const char* kind = fault == io::FaultyFileSystem::Fault::FailWrite ? "fail" : "short";
    bool reachedEnd = false;
    long failures = 0;
    for (long k = 0; k < 200 && !reachedEnd; ++k) {
      SCOPED_TRACE(std::string(kind) + " write at step " + std::to_string(k));
      io::MemoryFileSystem mem;
      load(mem, s.image);
      io::FaultyFileSystem faulty(mem);
      bool threw = false;
      {
        DefaultFs use(faulty);
        TTable t;
        t.SetTableName(path);
        t.Open();
        faulty.arm(k, fault);
        try {
          c.operation(t);
        } catch (const EDatabaseError& e) {
          threw = true;
          ++failures;
          EXPECT_TRUE(isRussian(e.what()) && namesAFile(e.what(), s.image, c.stem)) << e.what();
        }
        reachedEnd = !faulty.fired();
        if (reachedEnd) {
          EXPECT_FALSE(threw);
        } else if (threw) {
          // Undone at once: the files are as they were, and read so on a copy.
          Image mid = snapshot(mem);
          for (const auto& [p, b] : s.image) EXPECT_TRUE(mid.at(p) == b) << p << " differs after the failed change";
          io::MemoryFileSystem copy;
          load(copy, mid);
          EXPECT_EQ(reread(copy, path), s.before) << "a failed change is not applied";
          // The dataset goes on: its memory holds the old table, and the change, made
          // again once the disk is well, lands.
          t.Cancel();
          EXPECT_EQ(allText(t), s.before) << "memory after the failed change";
          faulty.arm(-1, fault);
          c.operation(t);
          EXPECT_EQ(allText(t), s.after) << "the change made again";
        }
      }
      // Done, failed and made again, or failed only at the journal's final mark: the new table.
      EXPECT_EQ(reread(mem, path), s.after);
      EXPECT_FALSE(journalPending(mem, c.stem)) << "the journal is left behind";
    }
    EXPECT_TRUE(reachedEnd) << kind << ": the operation never got past the faults";
    EXPECT_GT(failures, 0) << kind << ": the operation met the faults";
  }
}

// The process dies at step k: the change cannot be undone at once; the next open of the
// table, on a healthy disk, undoes it from the journal. Also when an earlier, larger change
// of the same session left its (emptied) journal longer than this one's.
TEST_P(WriteFailure, KilledWriterIsUndoneOnNextOpen) {
  REQUIRE_FIXTURES();
  const Case& c = GetParam();
  std::string path = tablePath(c.stem);
  int recovered = 0;
  for (bool warm : {false, true})
  for (bool shortWrite : {false, true}) {
    Start s = prepare(c, warm);
    bool reachedEnd = false;
    for (long k = 0; k < 200 && !reachedEnd; ++k) {
      SCOPED_TRACE(std::string(warm ? "after a larger change, " : "") + (shortWrite ? "short write" : "failed write") +
                   ", then dead, at step " + std::to_string(k));
      io::MemoryFileSystem mem;
      load(mem, s.image);
      DyingFileSystem dying(mem);
      bool threw = false;
      {
        DefaultFs use(dying);
        TTable t;
        t.SetTableName(path);
        t.Open();
        if (warm) warmUp(t);
        dying.arm(k, shortWrite);
        try {
          c.operation(t);
        } catch (const EDatabaseError& e) {
          // The commit itself failing says so; a failure later (the cursor reading the
          // table on a dead disk) may come after a change that landed.
          threw = std::string(e.what()).find("Изменение не записано") != std::string::npos;
          EXPECT_TRUE(isRussian(e.what())) << e.what();
        }
        reachedEnd = !dying.dead();
      }  // closing on a dead disk must not throw
      bool pending = journalPending(mem, c.stem);
      bool touched = false;
      for (const auto& [p, b] : s.beforeImage)
        if (p.find(".CKJ") == std::string::npos && mem.exists(p) && mem.get(p) != b) touched = true;
      Rows now = reread(mem, path);
      if (reachedEnd) EXPECT_EQ(now, s.after);
      else if (threw) EXPECT_EQ(now, s.before);
      else EXPECT_TRUE(now == s.before || now == s.after) << "a mix of old and new";
      EXPECT_FALSE(journalPending(mem, c.stem)) << "the open did not consume the journal";
      if (pending && touched && now == s.before) ++recovered;
    }
    EXPECT_TRUE(reachedEnd);
  }
  EXPECT_GT(recovered, 0) << "no attempt left a journal to undo";
}

// A journal the writer did not finish is ignored: the files are left as they are. The
// complete journal of the same change, on the same files, is applied.
TEST_P(WriteFailure, TornJournalIsIgnoredOnOpen) {
  REQUIRE_FIXTURES();
  const Case& c = GetParam();
  Start s = prepare(c);
  std::string path = tablePath(c.stem), journal = kDir + "/" + c.stem + ".CKJ";
  // The journal as the writer left it when the disk died right after writing it.
  std::vector<uint8_t> full;
  {
    io::MemoryFileSystem mem;
    load(mem, s.image);
    DyingFileSystem dying(mem);
    {
      DefaultFs use(dying);
      TTable t;
      t.SetTableName(path);
      t.Open();
      dying.arm(1, false);
      EXPECT_THROW(c.operation(t), EDatabaseError);
    }
    ASSERT_TRUE(journalPending(mem, c.stem));
    full = mem.get(journal);
  }
  // The files after the change: what a journal applied by mistake would show.
  Image changed;
  {
    io::MemoryFileSystem mem;
    load(mem, s.image);
    {
      DefaultFs use(mem);
      TTable t;
      t.SetTableName(path);
      t.Open();
      c.operation(t);
    }
    changed = snapshot(mem);
    changed.erase(journal);
  }
  {
    // Every new byte of the journal is in the files: the change landed whole and stands.
    io::MemoryFileSystem mem;
    load(mem, changed);
    mem.put(journal, full);
    EXPECT_EQ(reread(mem, path), s.after) << "a change that landed whole is kept";
    EXPECT_FALSE(journalPending(mem, c.stem));
  }
  {
    // The same journal over files the change reached only in part: undone.
    io::MemoryFileSystem mem;
    load(mem, changed);
    for (const auto& [p, b] : s.image)
      if (p.find(".CKJ") == std::string::npos && changed.count(p) && changed.at(p) != b) {
        mem.put(p, b);  // one file back as it was: the change is cut short
        break;
      }
    mem.put(journal, full);
    EXPECT_EQ(reread(mem, path), s.before) << "a change cut short is undone from the journal";
  }
  std::vector<std::vector<uint8_t>> torn;
  for (size_t n : {size_t{4}, size_t{11}, size_t{12}, size_t{16}, full.size() / 2, full.size() - 4, full.size() - 1})
    torn.emplace_back(full.begin(), full.begin() + static_cast<long>(n));
  // Half written over an earlier, longer journal.
  std::vector<uint8_t> over(full.begin(), full.begin() + static_cast<long>(full.size() / 2));
  over.resize(full.size() * 2, 0xA5);
  torn.push_back(over);
  for (size_t i = 0; i < torn.size(); ++i) {
    SCOPED_TRACE("torn journal of " + std::to_string(torn[i].size()) + " of " + std::to_string(full.size()) + " bytes");
    io::MemoryFileSystem mem;
    load(mem, changed);
    mem.put(journal, torn[i]);
    EXPECT_EQ(reread(mem, path), s.after);
    for (const auto& [p, b] : changed) EXPECT_TRUE(mem.get(p) == b) << p << " was touched";
    EXPECT_FALSE(journalPending(mem, c.stem));
  }
}

// A Post that failed, made again without Cancel once the disk is well, stores everything
// the edit buffer held, BLOBs included; the engine's message names the file, in Russian.
TEST(WriteFailureRetry, PostAgainAfterFailureStoresTheWholeRecord) {
  REQUIRE_FIXTURES();
  struct Edit {
    const char* name;
    Step begin;  // puts the dataset in edit or insert state with new values
  };
  const Edit edits[] = {
      {"edit",
       [](TTable& t) {
         t.First();
         t.Edit();
         t.FieldByName("Name")->SetAsString("Encore");
         t.FieldByName("Notes")->SetAsString(std::string(5000, 'r'));
         t.FieldByName("Raw")->SetAsString("xy");
       }},
      {"append",
       [](TTable& t) {
         t.Append();
         t.FieldByName("Name")->SetAsString("Encore");
         t.FieldByName("Notes")->SetAsString(std::string(700, 'q'));
       }},
  };
  io::MemoryFileSystem start;
  for (const char* ext : {".db", ".mb"})
    start.put(kDir + "/alltypes" + ext, testsupport::readFile(testsupport::fixture(std::string("paradox/made/alltypes") + ext)));
  Image image = snapshot(start);
  std::string path = tablePath("alltypes");
  for (const auto& e : edits) {
    Rows want;
    {
      io::MemoryFileSystem mem;
      load(mem, image);
      {
        DefaultFs use(mem);
        TTable t;
        t.SetTableName(path);
        t.Open();
        e.begin(t);
        t.Post();
      }
      want = reread(mem, path);
    }
    bool reachedEnd = false;
    for (long k = 0; k < 100 && !reachedEnd; ++k) {
      SCOPED_TRACE(std::string(e.name) + ", write failing at step " + std::to_string(k));
      io::MemoryFileSystem mem;
      load(mem, image);
      io::FaultyFileSystem faulty(mem);
      {
        DefaultFs use(faulty);
        TTable t;
        t.SetTableName(path);
        t.Open();
        e.begin(t);
        faulty.arm(k, io::FaultyFileSystem::Fault::FailWrite);
        try {
          t.Post();
        } catch (const EDatabaseError& err) {
          std::string m = err.what();
          EXPECT_NE(m.find("Изменение не записано"), std::string::npos) << m;
          EXPECT_TRUE(namesAFile(m, image, "alltypes")) << m;
          EXPECT_TRUE(t.State() == dsEdit || t.State() == dsInsert) << "still editing";
          faulty.arm(-1, io::FaultyFileSystem::Fault::FailWrite);
          t.Post();
        }
        reachedEnd = !faulty.fired();
      }
      EXPECT_EQ(reread(mem, path), want);
    }
    EXPECT_TRUE(reachedEnd);
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, WriteFailure, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

}  // namespace
