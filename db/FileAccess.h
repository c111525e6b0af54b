#pragma once
// All file access of the engine goes through this small interface, so the same drivers
// run on real files, on memory buffers (tests, fuzzers) and on files that fail on purpose
// (fault injection). Shared table files are never memory-mapped: another program may
// truncate or rewrite them while they are open, and a mapping would turn that into a
// crash instead of a read error.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace io {

enum class OpenMode { Read, ReadWrite, Create };

// Who holds a lock, where the operating system tells.
struct LockInfo {
  bool held = false;
  long pid = 0;
};

class File {
public:
  virtual ~File() = default;
  // Reads up to n bytes at offset; returns the count actually read (short at end of file).
  // Throws io::IoError on a failure of the medium.
  virtual size_t readAt(uint64_t offset, void* buf, size_t n) = 0;
  // Writes all n bytes at offset or throws io::IoError.
  virtual void writeAt(uint64_t offset, const void* buf, size_t n) = 0;
  virtual uint64_t size() = 0;
  virtual void truncate(uint64_t newSize) = 0;
  // Makes written data durable (fsync on real files).
  virtual void flush() = 0;
  // Advisory whole-file locks shared between processes. tryLock returns false when
  // another process holds a conflicting lock.
  virtual bool tryLock(bool exclusive) = 0;
  virtual void unlock() = 0;
  // Tells whether another process holds a lock that conflicts with the given kind.
  virtual LockInfo queryLock(bool exclusive) = 0;
  virtual const std::string& path() const = 0;
};

class IoError : public std::exception {
public:
  IoError(std::string path, std::string what) : path_(std::move(path)), what_(std::move(what)) {}
  const char* what() const noexcept override { return what_.c_str(); }
  const std::string& path() const { return path_; }

private:
  std::string path_;
  std::string what_;
};

struct DirEntry {
  std::string name;  // file name without folder
  bool isDir = false;
};

class FileSystem {
public:
  virtual ~FileSystem() = default;
  // Throws IoError when the file cannot be opened (the message says why, in Russian).
  virtual std::unique_ptr<File> open(const std::string& path, OpenMode mode) = 0;
  virtual bool exists(const std::string& path) = 0;
  virtual bool isDirectory(const std::string& path) = 0;
  virtual std::vector<DirEntry> list(const std::string& dir) = 0;
  virtual void remove(const std::string& path) = 0;
  virtual void rename(const std::string& from, const std::string& to) = 0;
  virtual void makeDir(const std::string& path) = 0;
};

// The real file system (POSIX: pread/pwrite, fcntl locks, fsync).
FileSystem& posixFileSystem();

// The file system every engine object uses unless it is given another one.
FileSystem& defaultFileSystem();
// Tests swap the default (for instance for a MemoryFileSystem); returns the previous one.
FileSystem* setDefaultFileSystem(FileSystem* fs);

// Files held in memory. Paths are plain strings; folders exist implicitly.
class MemoryFileSystem : public FileSystem {
public:
  std::unique_ptr<File> open(const std::string& path, OpenMode mode) override;
  bool exists(const std::string& path) override;
  bool isDirectory(const std::string& path) override;
  std::vector<DirEntry> list(const std::string& dir) override;
  void remove(const std::string& path) override;
  void rename(const std::string& from, const std::string& to) override;
  void makeDir(const std::string& path) override;

  void put(const std::string& path, std::vector<uint8_t> bytes);
  std::vector<uint8_t> get(const std::string& path) const;

  struct Node {
    std::vector<uint8_t> bytes;
    int sharedLocks = 0;
    bool exclusiveLock = false;
  };

private:
  std::map<std::string, std::shared_ptr<Node>> files_;
  std::vector<std::string> dirs_;
};

// Wraps another file system and fails a chosen write: the k-th write from now fails
// outright or is cut short (only part of the bytes reach the file), like a full disk or
// a process killed in the middle of a write.
class FaultyFileSystem : public FileSystem {
public:
  // FailWrite: the operation fails and changes nothing; ShortWrite: a write puts only its
  // first half on the file, then fails (other operations just fail).
  enum class Fault { FailWrite, ShortWrite };
  explicit FaultyFileSystem(FileSystem& inner) : inner_(inner) {}
  // Arms a fault at the n-th (0-based) write-like operation (write, truncate, flush,
  // rename, remove) counted from now; -1 disarms. Counting restarts.
  void arm(long n, Fault fault);
  long writesSeen() const { return writes_; }
  bool fired() const { return fired_; }

  std::unique_ptr<File> open(const std::string& path, OpenMode mode) override;
  bool exists(const std::string& path) override { return inner_.exists(path); }
  bool isDirectory(const std::string& path) override { return inner_.isDirectory(path); }
  std::vector<DirEntry> list(const std::string& dir) override { return inner_.list(dir); }
  void remove(const std::string& path) override;
  void rename(const std::string& from, const std::string& to) override;
  void makeDir(const std::string& path) override { inner_.makeDir(path); }

  // Called for every write-like operation: the fault to apply to it, if any.
  const Fault* nextFault();

private:
  FileSystem& inner_;
  long target_ = -1;
  Fault fault_ = Fault::FailWrite;
  long writes_ = 0;
  bool fired_ = false;
};

// Path helpers (the engine works with '/' separated paths; Windows-style '\' in names typed
// by users is accepted and turned into '/').
std::string normalizePath(const std::string& p);
std::string dirName(const std::string& p);   // without trailing separator; "." when none
std::string baseName(const std::string& p);  // file name with extension
std::string joinPath(const std::string& dir, const std::string& name);
std::string extensionOf(const std::string& p);  // with the point, "" when none
std::string withoutExtension(const std::string& p);
// Finds a file in dir whose name equals name without regard to case; "" when none.
std::string findFileNoCase(FileSystem& fs, const std::string& dir, const std::string& name);

}  // namespace io
