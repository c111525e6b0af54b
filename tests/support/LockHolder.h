#pragma once
// Another program holding a lock on a file: a child process named "bde-holder" that takes
// a whole-file write lock (a classic fcntl lock, or an open-file-description lock, which the
// system reports without a process id) and keeps it until the holder is destroyed.
#include <string>
#include <sys/types.h>

namespace testsupport {

class LockHolder {
public:
  enum class Kind { Classic, Ofd };
  explicit LockHolder(const std::string& path, Kind kind = Kind::Classic);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;
  // Whether the child got its lock.
  bool locked() const { return locked_; }
  pid_t pid() const { return pid_; }

private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool locked_ = false;
};

}  // namespace testsupport
