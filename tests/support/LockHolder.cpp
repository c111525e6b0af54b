#include "support/LockHolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

LockHolder::LockHolder(const std::string& path, Kind kind) {
  int ready[2];
  int release[2];
  if (pipe(ready) != 0 || pipe(release) != 0) ADD_FAILURE() << "pipe";
  pid_ = fork();
  if (pid_ == 0) {
    ::close(ready[0]);
    ::close(release[1]);
    prctl(PR_SET_NAME, "bde-holder", 0, 0, 0);
    int fd = ::open(path.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    bool ok = fd >= 0 && ::fcntl(fd, kind == Kind::Classic ? F_SETLK : F_OFD_SETLK, &fl) == 0;
    char c = ok ? '1' : '0';
    (void)!write(ready[1], &c, 1);
    char dummy;
    while (read(release[0], &dummy, 1) > 0) {
    }
    _exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  release_ = release[1];
  char c = 0;
  if (read(ready[0], &c, 1) != 1) ADD_FAILURE() << "the lock holder did not answer";
  ::close(ready[0]);
  locked_ = c == '1';
}

LockHolder::~LockHolder() {
  ::close(release_);
  waitpid(pid_, nullptr, 0);
}

}  // namespace testsupport
