#include "db/FileAccess.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <dirent.h>
#include <fstream>

namespace io {

namespace {

std::string errnoText(int e) {
  switch (e) {
    case ENOENT: return "файл не найден";
    case EACCES:
    case EPERM: return "нет доступа";
    case ENOSPC: return "нет места на диске";
    case EROFS: return "файловая система только для чтения";
    case EISDIR: return "это папка, а не файл";
    case EIO: return "ошибка ввода-вывода";
    case EDQUOT: return "превышена квота диска";
    default: return std::strerror(e);
  }
}

// The process holding an open-file-description lock on the file open as `fd`. The system
// reports no process for such locks (-1 from F_OFD_GETLK and in /proc/locks), but the
// holder's /proc/PID/fdinfo/FD lists it ("lock: 1: OFDLCK ADVISORY WRITE -1 08:01:INODE …")
// beside "ino: INODE". Only processes whose /proc entries we may read are seen; 0 when
// none is found.
long ofdLockHolder(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return 0;
  const std::string ino = std::to_string(static_cast<unsigned long long>(st.st_ino));
  const std::string inLockLine = ":" + ino + " ";
  DIR* proc = ::opendir("/proc");
  if (!proc) return 0;
  long found = 0;
  while (!found) {
    const dirent* p = ::readdir(proc);
    if (!p) break;
    if (!std::all_of(p->d_name, p->d_name + std::strlen(p->d_name), [](char c) { return c >= '0' && c <= '9'; })) continue;
    const std::string fdinfo = std::string("/proc/") + p->d_name + "/fdinfo";
    DIR* fds = ::opendir(fdinfo.c_str());
    if (!fds) continue;
    while (!found) {
      const dirent* f = ::readdir(fds);
      if (!f) break;
      if (f->d_name[0] == '.') continue;
      std::ifstream in(fdinfo + "/" + f->d_name);
      bool sameFile = false, ofdLock = false;
      for (std::string line; std::getline(in, line);) {
        if (line.rfind("ino:", 0) == 0) {
          size_t at = line.find_first_not_of(" \t", 4);
          sameFile = at != std::string::npos && line.compare(at, std::string::npos, ino) == 0;
        }
        if (line.rfind("lock:", 0) == 0 && line.find("OFDLCK") != std::string::npos &&
            line.find(inLockLine) != std::string::npos)
          ofdLock = true;
      }
      if (sameFile && ofdLock) found = std::strtol(p->d_name, nullptr, 10);
    }
    ::closedir(fds);
  }
  ::closedir(proc);
  return found;
}

class PosixFile : public File {
public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFile() override { ::close(fd_); }

  size_t readAt(uint64_t offset, void* buf, size_t n) override {
    size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < n) {
      ssize_t r = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        throw IoError(path_, "Ошибка чтения файла " + path_ + ": " + errnoText(errno));
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }

  void writeAt(uint64_t offset, const void* buf, size_t n) override {
    size_t done = 0;
    auto* p = static_cast<const char*>(buf);
    while (done < n) {
      ssize_t r = ::pwrite(fd_, p + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        throw IoError(path_, "Ошибка записи в файл " + path_ + ": " + errnoText(errno));
      }
      done += static_cast<size_t>(r);
    }
  }

  uint64_t size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
      throw IoError(path_, "Не удаётся узнать размер файла " + path_ + ": " + errnoText(errno));
    return static_cast<uint64_t>(st.st_size);
  }

  void truncate(uint64_t newSize) override {
    if (::ftruncate(fd_, static_cast<off_t>(newSize)) != 0)
      throw IoError(path_, "Не удаётся изменить размер файла " + path_ + ": " + errnoText(errno));
  }

  void flush() override {
    if (::fsync(fd_) != 0 && errno != EINVAL)
      throw IoError(path_, "Не удаётся сбросить на диск файл " + path_ + ": " + errnoText(errno));
  }

  // Open-file-description locks: unlike classic POSIX record locks they also conflict
  // between two opens inside one process, so two windows of one Checkup exclude each other.
  bool tryLock(bool exclusive) override {
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    if (::fcntl(fd_, F_OFD_SETLK, &fl) == 0) return true;
    if (errno == EAGAIN || errno == EACCES) return false;
    throw IoError(path_, "Не удаётся заблокировать файл " + path_ + ": " + errnoText(errno));
  }

  void unlock() override {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    ::fcntl(fd_, F_OFD_SETLK, &fl);
  }

  LockInfo queryLock(bool exclusive) override {
    LockInfo info;
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    // Classic locks report the holder's process id; OFD locks report -1.
    if (::fcntl(fd_, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK) {
      info.held = true;
      info.pid = fl.l_pid > 0 ? fl.l_pid : ofdLockHolder(fd_);  // F_GETLK sees OFD locks too, as -1
      return info;
    }
    struct flock ofd {};
    ofd.l_type = exclusive ? F_WRLCK : F_RDLCK;
    ofd.l_whence = SEEK_SET;
    if (::fcntl(fd_, F_OFD_GETLK, &ofd) == 0 && ofd.l_type != F_UNLCK) {
      info.held = true;
      info.pid = ofd.l_pid > 0 ? ofd.l_pid : ofdLockHolder(fd_);
    }
    return info;
  }

  const std::string& path() const override { return path_; }

private:
  int fd_;
  std::string path_;
};

class PosixFileSystem : public FileSystem {
public:
  std::unique_ptr<File> open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::Read: flags |= O_RDONLY; break;
      case OpenMode::ReadWrite: flags |= O_RDWR; break;
      case OpenMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0)
      throw IoError(path, "Не удаётся открыть файл " + path + ": " + errnoText(errno));
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      throw IoError(path, "Не удаётся открыть файл " + path + ": " + errnoText(EISDIR));
    }
    return std::make_unique<PosixFile>(fd, path);
  }
  bool exists(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
  }
  bool isDirectory(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  std::vector<DirEntry> list(const std::string& dir) override {
    std::vector<DirEntry> out;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) throw IoError(dir, "Не удаётся прочитать папку " + dir + ": " + errnoText(errno));
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      out.push_back({name, isDirectory(joinPath(dir, name))});
    }
    ::closedir(d);
    std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return out;
  }
  void remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
      throw IoError(path, "Не удаётся удалить файл " + path + ": " + errnoText(errno));
  }
  void rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0)
      throw IoError(from, "Не удаётся переименовать файл " + from + " в " + to + ": " + errnoText(errno));
  }
  void makeDir(const std::string& path) override {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
      throw IoError(path, "Не удаётся создать папку " + path + ": " + errnoText(errno));
  }
};

// ---- memory files -------------------------------------------------------------------

class MemoryFile : public File {
public:
  MemoryFile(std::shared_ptr<MemoryFileSystem::Node> node, std::string path)
      : node_(std::move(node)), path_(std::move(path)) {}
  ~MemoryFile() override { unlock(); }
  size_t readAt(uint64_t offset, void* buf, size_t n) override {
    auto& b = node_->bytes;
    if (offset >= b.size()) return 0;
    size_t k = std::min<uint64_t>(n, b.size() - offset);
    std::memcpy(buf, b.data() + offset, k);
    return k;
  }
  void writeAt(uint64_t offset, const void* buf, size_t n) override {
    auto& b = node_->bytes;
    if (offset + n > b.size()) b.resize(offset + n);
    if (n) std::memcpy(b.data() + offset, buf, n);
  }
  uint64_t size() override { return node_->bytes.size(); }
  void truncate(uint64_t newSize) override { node_->bytes.resize(newSize); }
  void flush() override {}
  bool tryLock(bool exclusive) override {
    unlock();
    if (exclusive) {
      if (node_->exclusiveLock || node_->sharedLocks) return false;
      node_->exclusiveLock = true;
      mine_ = 2;
    } else {
      if (node_->exclusiveLock) return false;
      ++node_->sharedLocks;
      mine_ = 1;
    }
    return true;
  }
  void unlock() override {
    if (mine_ == 2) node_->exclusiveLock = false;
    if (mine_ == 1) --node_->sharedLocks;
    mine_ = 0;
  }
  LockInfo queryLock(bool exclusive) override {
    LockInfo i;
    int othersShared = node_->sharedLocks - (mine_ == 1 ? 1 : 0);
    bool othersExcl = node_->exclusiveLock && mine_ != 2;
    i.held = othersExcl || (exclusive && othersShared > 0);
    return i;
  }
  const std::string& path() const override { return path_; }

private:
  std::shared_ptr<MemoryFileSystem::Node> node_;
  std::string path_;
  int mine_ = 0;
};

// ---- faulty files ---------------------------------------------------------------------

class FaultyFile : public File {
public:
  FaultyFile(std::unique_ptr<File> inner, FaultyFileSystem& fs) : inner_(std::move(inner)), fs_(fs) {}
  size_t readAt(uint64_t offset, void* buf, size_t n) override { return inner_->readAt(offset, buf, n); }
  void writeAt(uint64_t offset, const void* buf, size_t n) override {
    if (const auto* f = fs_.nextFault()) {
      if (*f == FaultyFileSystem::Fault::ShortWrite) inner_->writeAt(offset, buf, n / 2);
      throw IoError(path(), "Ошибка записи в файл " + path() + ": " + errnoText(ENOSPC));
    }
    inner_->writeAt(offset, buf, n);
  }
  uint64_t size() override { return inner_->size(); }
  void truncate(uint64_t newSize) override {
    if (fs_.nextFault())
      throw IoError(path(), "Не удаётся изменить размер файла " + path() + ": " + errnoText(EIO));
    inner_->truncate(newSize);
  }
  void flush() override {
    if (fs_.nextFault())
      throw IoError(path(), "Не удаётся сбросить на диск файл " + path() + ": " + errnoText(EIO));
    inner_->flush();
  }
  bool tryLock(bool exclusive) override { return inner_->tryLock(exclusive); }
  void unlock() override { inner_->unlock(); }
  LockInfo queryLock(bool exclusive) override { return inner_->queryLock(exclusive); }
  const std::string& path() const override { return inner_->path(); }

private:
  std::unique_ptr<File> inner_;
  FaultyFileSystem& fs_;
};

FileSystem* g_default = nullptr;

}  // namespace

FileSystem& posixFileSystem() {
  static PosixFileSystem fs;
  return fs;
}

FileSystem& defaultFileSystem() { return g_default ? *g_default : posixFileSystem(); }

FileSystem* setDefaultFileSystem(FileSystem* fs) {
  FileSystem* prev = g_default;
  g_default = fs;
  return prev;
}

// ---- MemoryFileSystem ----------------------------------------------------------------

std::unique_ptr<File> MemoryFileSystem::open(const std::string& path, OpenMode mode) {
  auto it = files_.find(path);
  if (mode == OpenMode::Create) {
    if (it == files_.end()) it = files_.emplace(path, std::make_shared<Node>()).first;
    it->second->bytes.clear();
  } else if (it == files_.end()) {
    throw IoError(path, "Не удаётся открыть файл " + path + ": " + errnoText(ENOENT));
  }
  return std::make_unique<MemoryFile>(it->second, path);
}
bool MemoryFileSystem::exists(const std::string& path) { return files_.count(path) || isDirectory(path); }
bool MemoryFileSystem::isDirectory(const std::string& path) {
  if (std::find(dirs_.begin(), dirs_.end(), path) != dirs_.end()) return true;
  std::string prefix = path.empty() || path == "." ? "" : path + "/";
  for (auto& [p, n] : files_)
    if (p.rfind(prefix, 0) == 0 && p.size() > prefix.size()) return true;
  return false;
}
std::vector<DirEntry> MemoryFileSystem::list(const std::string& dir) {
  std::vector<DirEntry> out;
  std::string prefix = dir.empty() || dir == "." ? "" : dir + "/";
  for (auto& [p, n] : files_) {
    if (p.rfind(prefix, 0) != 0) continue;
    std::string rest = p.substr(prefix.size());
    if (rest.find('/') == std::string::npos) out.push_back({rest, false});
  }
  return out;
}
void MemoryFileSystem::remove(const std::string& path) { files_.erase(path); }
void MemoryFileSystem::rename(const std::string& from, const std::string& to) {
  auto it = files_.find(from);
  if (it == files_.end()) throw IoError(from, "Не удаётся переименовать файл " + from + ": " + errnoText(ENOENT));
  auto node = it->second;
  files_.erase(it);
  files_[to] = node;
}
void MemoryFileSystem::makeDir(const std::string& path) { dirs_.push_back(path); }
void MemoryFileSystem::put(const std::string& path, std::vector<uint8_t> bytes) {
  auto n = std::make_shared<Node>();
  n->bytes = std::move(bytes);
  files_[path] = n;
}
std::vector<uint8_t> MemoryFileSystem::get(const std::string& path) const {
  auto it = files_.find(path);
  return it == files_.end() ? std::vector<uint8_t>{} : it->second->bytes;
}

// ---- FaultyFileSystem ----------------------------------------------------------------

void FaultyFileSystem::arm(long n, Fault fault) {
  target_ = n;
  fault_ = fault;
  fired_ = false;
  writes_ = 0;
}
const FaultyFileSystem::Fault* FaultyFileSystem::nextFault() {
  long index = writes_++;
  if (fired_ || target_ < 0 || index != target_) return nullptr;
  fired_ = true;
  return &fault_;
}
std::unique_ptr<File> FaultyFileSystem::open(const std::string& path, OpenMode mode) {
  return std::make_unique<FaultyFile>(inner_.open(path, mode), *this);
}
void FaultyFileSystem::remove(const std::string& path) {
  if (nextFault()) throw IoError(path, "Не удаётся удалить файл " + path + ": " + errnoText(EIO));
  inner_.remove(path);
}
void FaultyFileSystem::rename(const std::string& from, const std::string& to) {
  if (nextFault()) throw IoError(from, "Не удаётся переименовать файл " + from + ": " + errnoText(EIO));
  inner_.rename(from, to);
}

// ---- paths ---------------------------------------------------------------------------

std::string normalizePath(const std::string& p) {
  std::string r = p;
  std::replace(r.begin(), r.end(), '\\', '/');
  return r;
}
std::string dirName(const std::string& p) {
  auto pos = p.find_last_of('/');
  if (pos == std::string::npos) return ".";
  if (pos == 0) return "/";
  return p.substr(0, pos);
}
std::string baseName(const std::string& p) {
  auto pos = p.find_last_of('/');
  return pos == std::string::npos ? p : p.substr(pos + 1);
}
std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}
std::string extensionOf(const std::string& p) {
  std::string b = baseName(p);
  auto pos = b.find_last_of('.');
  return pos == std::string::npos ? std::string() : b.substr(pos);
}
std::string withoutExtension(const std::string& p) {
  std::string ext = extensionOf(p);
  return p.substr(0, p.size() - ext.size());
}
std::string findFileNoCase(FileSystem& fs, const std::string& dir, const std::string& name) {
  std::string exact = joinPath(dir, name);
  if (fs.exists(exact) && !fs.isDirectory(exact)) return exact;
  auto lower = [](std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::string want = lower(name);
  std::vector<DirEntry> entries;
  try {
    entries = fs.list(dir);
  } catch (const IoError&) {
    return {};
  }
  for (auto& e : entries)
    if (!e.isDir && lower(e.name) == want) return joinPath(dir, e.name);
  return {};
}

}  // namespace io
