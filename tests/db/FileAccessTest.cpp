#include "db/FileAccess.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(FileAccess, PosixReadWriteSizeAndShortReadAtEnd) {
  testsupport::TempDir dir;
  auto& fs = io::posixFileSystem();
  auto f = fs.open(dir.file("a.bin"), io::OpenMode::Create);
  f->writeAt(10, "abc", 3);
  EXPECT_EQ(f->size(), 13u);
  char buf[8] = {};
  EXPECT_EQ(f->readAt(11, buf, 8), 2u);
  EXPECT_EQ(std::string(buf, 2), "bc");
  EXPECT_THROW(fs.open(dir.file("missing"), io::OpenMode::Read), io::IoError);
}

TEST(FileAccess, LocksExcludeAnotherOpenInTheSameProcessAndAnotherProcess) {
  testsupport::TempDir dir;
  auto& fs = io::posixFileSystem();
  auto a = fs.open(dir.file("t.db"), io::OpenMode::Create);
  auto b = fs.open(dir.file("t.db"), io::OpenMode::ReadWrite);
  ASSERT_TRUE(a->tryLock(true));
  EXPECT_FALSE(b->tryLock(false));
  EXPECT_TRUE(b->queryLock(true).held);
  a->unlock();
  EXPECT_TRUE(b->tryLock(false));
  b->unlock();

  // A child process holding a classic lock is seen, with its process id.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  if (child == 0) {
    auto f = io::posixFileSystem().open(dir.file("t.db"), io::OpenMode::ReadWrite);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    int fd = ::open(dir.file("t.db").c_str(), O_RDWR);
    fcntl(fd, F_SETLK, &fl);
    (void)!write(ready[1], "x", 1);
    sleep(5);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  auto info = a->queryLock(false);
  EXPECT_TRUE(info.held);
  EXPECT_EQ(info.pid, child);
  EXPECT_FALSE(a->tryLock(false));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(a->tryLock(true));
}

TEST(FileAccess, FaultyFileSystemFailsTheArmedWriteOnly) {
  io::MemoryFileSystem mem;
  io::FaultyFileSystem faulty(mem);
  auto f = faulty.open("x", io::OpenMode::Create);
  faulty.arm(1, io::FaultyFileSystem::Fault::ShortWrite);
  f->writeAt(0, "aaaa", 4);
  EXPECT_THROW(f->writeAt(4, "bbbb", 4), io::IoError);
  f->writeAt(8, "cc", 2);
  auto bytes = mem.get("x");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("aaaabb\0\0cc", 10));
}

TEST(FileAccess, FindFileIgnoresCase) {
  io::MemoryFileSystem mem;
  mem.put("dir/CLIENTS.DB", {1});
  EXPECT_EQ(io::findFileNoCase(mem, "dir", "clients.db"), "dir/CLIENTS.DB");
  EXPECT_EQ(io::findFileNoCase(mem, "dir", "other.db"), "");
  EXPECT_EQ(io::normalizePath("C:\\data\\goods.db"), "C:/data/goods.db");
}
