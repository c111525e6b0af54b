#include "db/EngineError.h"
#include "db/FileAccess.h"
#include "db/paradox/ParadoxSharing.h"
#include "db/paradox/ParadoxTable.h"
#include "support/LockHolder.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using paradox::WriteLock;

using testsupport::LockHolder;

// The message of the EDatabaseError a WriteLock throws, or nullopt when it succeeds.
std::optional<std::string> refusal(io::FileSystem& fs, const std::string& dbPath) {
  try {
    WriteLock lock(fs, dbPath);
    return std::nullopt;
  } catch (const EDatabaseError& e) {
    return std::string(e.what());
  }
}

void touch(const std::string& path, const std::string& text = "x") {
  testsupport::writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// A table family: the .DB, its primary index, BLOBs in upper case, two secondary indexes,
// and neighbours that are not part of it.
struct Family {
  testsupport::TempDir dir;
  std::string db = dir.file("t.db");
  Family() {
    for (const char* name : {"t.db", "t.px", "T.MB", "t.x02", "t.YG0", "t.tv", "other.db", "tt.db"})
      touch(dir.file(name), name);
  }
};

TEST(ParadoxSharing, AnotherProcessLockingAFamilyFileRefusesTheWriteNamingItsHolder) {
  Family t;
  auto& fs = io::posixFileSystem();
  for (const char* name : {"t.db", "T.MB", "t.px", "t.x02", "t.YG0"}) {
    SCOPED_TRACE(name);
    LockHolder holder(t.dir.file(name));
    ASSERT_TRUE(holder.locked());
    auto msg = refusal(fs, t.db);
    ASSERT_TRUE(msg.has_value());
    EXPECT_NE(msg->find(t.dir.file(name)), std::string::npos) << *msg;
    EXPECT_NE(msg->find("процессом " + std::to_string(holder.pid()) + " (bde-holder)"), std::string::npos) << *msg;
    EXPECT_NE(msg->find("занята"), std::string::npos) << *msg;
  }
  // An OFD lock, which the system reports without a process id: the holder is found through
  // its open files.
  {
    LockHolder holder(t.db, LockHolder::Kind::Ofd);
    ASSERT_TRUE(holder.locked());
    auto msg = refusal(fs, t.db);
    ASSERT_TRUE(msg.has_value());
    EXPECT_NE(msg->find(t.db), std::string::npos) << *msg;
    EXPECT_NE(msg->find("процессом " + std::to_string(holder.pid())), std::string::npos) << *msg;
  }
  // Locks on files outside the family do not matter.
  for (const char* name : {"t.tv", "other.db", "tt.db"}) {
    SCOPED_TRACE(name);
    LockHolder holder(t.dir.file(name));
    ASSERT_TRUE(holder.locked());
    EXPECT_EQ(refusal(fs, t.db), std::nullopt);
  }
  // Once the holders are gone the table is writable again.
  EXPECT_EQ(refusal(fs, t.db), std::nullopt);
}

TEST(ParadoxSharing, WriteLockHoldsEveryFamilyFileAgainstOtherProcesses) {
  Family t;
  auto& fs = io::posixFileSystem();
  {
    WriteLock lock(fs, t.db);
    EXPECT_EQ(lock.extensions(), (std::vector<std::string>{".db", ".mb", ".px", ".x02", ".yg0"}));
    for (const char* name : {"t.db", "t.px", "T.MB", "t.x02", "t.YG0"}) {
      SCOPED_TRACE(name);
      LockHolder other(t.dir.file(name));
      EXPECT_FALSE(other.locked());
    }
    LockHolder outside(t.dir.file("t.tv"));
    EXPECT_TRUE(outside.locked());
  }
  LockHolder after(t.db);
  EXPECT_TRUE(after.locked());
}

TEST(ParadoxSharing, SecondWriteLockInTheSameProcessIsRefusedUntilTheFirstIsGone) {
  Family t;
  auto& fs = io::posixFileSystem();
  {
    WriteLock first(fs, t.db);
    for (const std::string& path : {t.db, t.dir.file("T.DB"), t.dir.path() + "/./t.db"}) {
      SCOPED_TRACE(path);
      auto msg = refusal(fs, path);
      ASSERT_TRUE(msg.has_value());
      EXPECT_NE(msg->find("в этой программе"), std::string::npos) << *msg;
      EXPECT_NE(msg->find("/t.db заблокирован"), std::string::npos) << *msg;
    }
    // Another table of the folder is free.
    EXPECT_EQ(refusal(fs, t.dir.file("other.db")), std::nullopt);
    // Moving the lock keeps it held.
    WriteLock moved(std::move(first));
    EXPECT_TRUE(refusal(fs, t.db).has_value());
    EXPECT_NE(moved.file(".db"), nullptr);
  }
  EXPECT_EQ(refusal(fs, t.db), std::nullopt);
  WriteLock again(fs, t.db);
  EXPECT_EQ(again.dbPath(), t.db);
}

TEST(ParadoxSharing, LockFilesBesideTheTableRefuseTheWriteNamingTheFile) {
  auto& fs = io::posixFileSystem();
  for (const char* name : {"PDOXUSRS.LCK", "paradox.lck", "Paradox.Lck", "T.LCK", "t.lck"}) {
    SCOPED_TRACE(name);
    testsupport::TempDir dir;
    std::string db = dir.file("t.db");
    touch(db);
    touch(dir.file("other.db"));
    touch(dir.file("old.lck"));  // another table's old lock file: not ours
    EXPECT_TRUE(paradox::lockFilesBeside(fs, db).empty());
    EXPECT_EQ(refusal(fs, db), std::nullopt);

    touch(dir.file(name));
    EXPECT_EQ(paradox::lockFilesBeside(fs, db), std::vector<std::string>{name});
    auto msg = refusal(fs, db);
    ASSERT_TRUE(msg.has_value());
    EXPECT_NE(msg->find(dir.file(name)), std::string::npos) << *msg;
    EXPECT_NE(msg->find("программой комплекса (BDE)"), std::string::npos) << *msg;
    EXPECT_NE(msg->find("можно удалить"), std::string::npos) << *msg;
    EXPECT_THROW(WriteLock::forNewTable(fs, db), EDatabaseError);
    // The folder's lock files keep every table of it from being written, a table's own only that table.
    bool folderLock = std::string(name) != "T.LCK" && std::string(name) != "t.lck";
    EXPECT_EQ(refusal(fs, dir.file("other.db")).has_value(), folderLock);
    try {
      WriteLock::forNewTable(fs, dir.file("new.db"));
      EXPECT_FALSE(folderLock);
    } catch (const EDatabaseError& e) {
      EXPECT_TRUE(folderLock) << e.what();
    }

    ::unlink(dir.file(name).c_str());
    EXPECT_EQ(refusal(fs, db), std::nullopt);
  }
  // Both files of a folder in use are named.
  testsupport::TempDir dir;
  touch(dir.file("t.db"));
  touch(dir.file("PDOXUSRS.LCK"));
  touch(dir.file("PARADOX.LCK"));
  auto msg = refusal(fs, dir.file("t.db"));
  ASSERT_TRUE(msg.has_value());
  EXPECT_NE(msg->find(dir.file("PDOXUSRS.LCK")), std::string::npos) << *msg;
  EXPECT_NE(msg->find(dir.file("PARADOX.LCK")), std::string::npos) << *msg;
}

// Files that open for reading only, as on a read-only share.
class ReadOnlyFileSystem : public io::MemoryFileSystem {
public:
  std::unique_ptr<io::File> open(const std::string& path, io::OpenMode mode) override {
    if (mode != io::OpenMode::Read && (readOnly.empty() || path == readOnly))
      throw io::IoError(path, "Не удаётся открыть файл " + path + ": нет доступа");
    return MemoryFileSystem::open(path, mode);
  }
  std::string readOnly;  // "" = every file
};

TEST(ParadoxSharing, AFileThatDoesNotOpenForWritingIsReportedAsReadOnly) {
  ReadOnlyFileSystem fs;
  fs.put("d/t.db", {1, 2, 3});
  fs.put("d/t.px", {4});
  for (const std::string& which : {std::string(), std::string("d/t.px")}) {
    SCOPED_TRACE(which);
    fs.readOnly = which;
    auto msg = refusal(fs, "d/t.db");
    ASSERT_TRUE(msg.has_value());
    EXPECT_NE(msg->find("только для чтения"), std::string::npos) << *msg;
    EXPECT_NE(msg->find(which.empty() ? "d/t.db" : which), std::string::npos) << *msg;
    EXPECT_NE(msg->find("нет доступа"), std::string::npos) << *msg;
  }
}

TEST(ParadoxSharing, AReadOnlyTableFileOnDiskIsReportedAsReadOnly) {
  if (geteuid() == 0) GTEST_SKIP() << "running as root, where file permissions do not bind";
  testsupport::TempDir dir;
  std::string db = dir.file("t.db");
  touch(db);
  ASSERT_EQ(::chmod(db.c_str(), 0444), 0);
  auto msg = refusal(io::posixFileSystem(), db);
  ASSERT_TRUE(msg.has_value());
  EXPECT_NE(msg->find("только для чтения"), std::string::npos) << *msg;
  EXPECT_NE(msg->find(db), std::string::npos) << *msg;
  ::chmod(db.c_str(), 0644);
}

TEST(ParadoxSharing, AMissingTableIsNotFound) {
  testsupport::TempDir dir;
  auto msg = refusal(io::posixFileSystem(), dir.file("none.db"));
  ASSERT_TRUE(msg.has_value());
  EXPECT_NE(msg->find("не найдена"), std::string::npos) << *msg;
}

TEST(ParadoxSharing, TheWriterWritesThroughTheLockedFiles) {
  testsupport::TempDir dir;
  touch(dir.file("T.DB"), "old");
  touch(dir.file("T.PX"), "px");
  auto& fs = io::posixFileSystem();
  WriteLock lock(fs, dir.file("t.db"));  // found without regard to case
  EXPECT_EQ(lock.dbPath(), dir.file("T.DB"));
  ASSERT_NE(lock.file(".db"), nullptr);
  EXPECT_EQ(lock.file(".mb"), nullptr);
  EXPECT_EQ(lock.file(".DB"), nullptr);  // keys are lower-case
  lock.file(".db")->writeAt(0, "new", 3);
  EXPECT_EQ(testsupport::readText(dir.file("T.DB")), "new");

  // A BLOB file made now takes the case of the table's name and is locked at once.
  io::File& mb = lock.createFile(".mb");
  mb.writeAt(0, "blob", 4);
  EXPECT_EQ(mb.path(), dir.file("T.MB"));
  EXPECT_EQ(testsupport::readText(dir.file("T.MB")), "blob");
  EXPECT_EQ(lock.file(".mb"), &mb);
  {
    LockHolder other(dir.file("T.MB"));
    EXPECT_FALSE(other.locked());
  }
  // Creating a held file again empties it.
  EXPECT_EQ(&lock.createFile(".px"), lock.file(".px"));
  EXPECT_EQ(lock.file(".px")->size(), 0u);
  lock.removeFile(".px");
  EXPECT_EQ(lock.file(".px"), nullptr);
  EXPECT_FALSE(fs.exists(dir.file("T.PX")));
  EXPECT_THROW(lock.createFile(".txt"), EDatabaseError);
}

TEST(ParadoxSharing, RelockTakesTheFilesRenamedIntoPlace) {
  testsupport::TempDir dir;
  std::string db = dir.file("t.db");
  touch(db, "old");
  auto& fs = io::posixFileSystem();
  WriteLock lock(fs, db);
  touch(dir.file("t.db.new"), "new");
  touch(dir.file("t.px.new"), "px");
  ASSERT_EQ(::rename(dir.file("t.db.new").c_str(), db.c_str()), 0);
  ASSERT_EQ(::rename(dir.file("t.px.new").c_str(), dir.file("t.px").c_str()), 0);
  {
    LockHolder other(db);  // the lock stayed on the old file
    EXPECT_TRUE(other.locked());
  }
  lock.relock();
  EXPECT_EQ(lock.extensions(), (std::vector<std::string>{".db", ".px"}));
  char buf[3] = {};
  ASSERT_EQ(lock.file(".db")->readAt(0, buf, 3), 3u);
  EXPECT_EQ(std::string(buf, 3), "new");
  for (const std::string& path : {db, dir.file("t.px")}) {
    LockHolder other(path);
    EXPECT_FALSE(other.locked()) << path;
  }
  // A lock file appearing meanwhile is seen by relock too.
  touch(dir.file("PARADOX.LCK"));
  EXPECT_THROW(lock.relock(), EDatabaseError);
}

TEST(ParadoxSharing, ANewTableIsCheckedAndLockedAsItsFilesAreMade) {
  testsupport::TempDir dir;
  auto& fs = io::posixFileSystem();
  std::string db = dir.file("new.db");
  {
    WriteLock lock = WriteLock::forNewTable(fs, db);
    EXPECT_EQ(lock.file(".db"), nullptr);
    EXPECT_FALSE(fs.exists(db));  // nothing is created by the check
    // Another window wanting the same new table is refused even before a file exists.
    EXPECT_THROW(WriteLock::forNewTable(fs, db), EDatabaseError);
    io::File& f = lock.createFile(".db");
    f.writeAt(0, "hdr", 3);
    EXPECT_TRUE(fs.exists(db));
    LockHolder other(db);
    EXPECT_FALSE(other.locked());
  }
  // The family left behind is locked like any other on the next attempt.
  touch(dir.file("new.px"));
  {
    LockHolder holder(dir.file("new.px"));
    ASSERT_TRUE(holder.locked());
    try {
      WriteLock::forNewTable(fs, db);
      ADD_FAILURE() << "a locked index of the table was not seen";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(std::to_string(holder.pid())), std::string::npos) << e.what();
    }
  }
  WriteLock lock = WriteLock::forNewTable(fs, db);
  EXPECT_NE(lock.file(".db"), nullptr);
  EXPECT_NE(lock.file(".px"), nullptr);
}

TEST(ParadoxSharing, FamilyExtensions) {
  for (const char* e : {".db", ".px", ".mb", ".val", ".x01", ".y01", ".x0a", ".xg0", ".yg0", ".xg12"})
    EXPECT_TRUE(paradox::isFamilyExtension(e)) << e;
  for (const char* e : {"", ".", ".tv", ".fam", ".lck", ".x", ".x1", ".x123", ".xg", ".xgz", ".z01", ".DB"})
    EXPECT_FALSE(paradox::isFamilyExtension(e)) << e;
}

std::vector<std::vector<uint8_t>> readAll(const std::string& path) {
  paradox::ParadoxTable table(path, {});
  std::vector<std::vector<uint8_t>> records;
  for (uint64_t i = 0; i < table.recordCount(); ++i) {
    TRecordBuffer buf;
    table.readRecord(i, buf);
    records.push_back(buf.bytes);
  }
  table.checkEnd();
  return records;
}

TEST(ParadoxSharing, ReadingStaysAllowedWhileTheTableIsLocked) {
  REQUIRE_FIXTURES();
  testsupport::TempDir dir;
  std::string db = dir.file("plain.db");
  testsupport::copyFile(testsupport::fixture("paradox/made/plain.db"), db);
  auto before = readAll(db);
  ASSERT_FALSE(before.empty());
  {
    LockHolder holder(db);
    ASSERT_TRUE(holder.locked());
    EXPECT_EQ(readAll(db), before);
    EXPECT_TRUE(refusal(io::posixFileSystem(), db).has_value());
  }
  {
    WriteLock lock(io::posixFileSystem(), db);
    EXPECT_EQ(readAll(db), before);
  }
  // A folder with lock files of the suite still reads, with a warning.
  touch(dir.file("PDOXUSRS.LCK"));
  EXPECT_EQ(readAll(db), before);
  EXPECT_EQ(paradox::lockFilesBeside(io::posixFileSystem(), db), std::vector<std::string>{"PDOXUSRS.LCK"});
}

}  // namespace
