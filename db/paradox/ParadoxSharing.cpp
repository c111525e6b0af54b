#include "db/paradox/ParadoxSharing.h"

#include "db/EngineError.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>
#include <set>
#include <unistd.h>

namespace paradox {

namespace {

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Tables held for writing by this process, so that a conflict with another window of the
// same program is told as such (the system does not name the holder of an OFD lock).
std::mutex registerMutex;
std::set<std::string>& heldTables() {
  static std::set<std::string> tables;
  return tables;
}

// The same table named in other words ("a//b/./T.DB") gives the same key.
std::string registerKey(const std::string& dbPath) {
  std::string p = lower(io::normalizePath(dbPath));
  std::string out;
  size_t i = 0;
  while (i < p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    std::string part = p.substr(i, j - i);
    if (part == "." || (part.empty() && i > 0)) {
      i = j + 1;
      continue;
    }
    if (!out.empty() && out.back() != '/') out += '/';
    if (part.empty()) out = "/";
    else out += part;
    i = j + 1;
  }
  return out;
}

bool heldHere(const std::string& key) {
  std::lock_guard<std::mutex> guard(registerMutex);
  return heldTables().count(key) != 0;
}

// The program name of a process, where the system tells ("" otherwise).
std::string programName(long pid) {
#ifdef __linux__
  if (pid <= 0) return {};
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  if (!in || !std::getline(in, name)) return {};
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
  return name;
#else
  (void)pid;
  return {};
#endif
}

// "нет доступа" out of "Не удаётся открыть файл /a/b.db: нет доступа".
std::string reasonOf(const io::IoError& e) {
  std::string what = e.what();
  std::string marker = e.path() + ": ";
  auto pos = what.find(marker);
  return pos == std::string::npos ? what : what.substr(pos + marker.size());
}

std::vector<io::DirEntry> listFolder(io::FileSystem& fs, const std::string& dir, const std::string& dbPath) {
  try {
    return fs.list(dir);
  } catch (const io::IoError& e) {
    throw EDatabaseError("Нельзя записать таблицу " + dbPath + ": не удаётся прочитать её папку " + dir +
                         " (" + reasonOf(e) + ")");
  }
}

std::vector<std::string> lockFilesIn(const std::vector<io::DirEntry>& entries, const std::string& dbPath) {
  std::string tableLock = lower(io::withoutExtension(io::baseName(io::normalizePath(dbPath)))) + ".lck";
  std::vector<std::string> found;
  for (const auto& e : entries) {
    if (e.isDir) continue;
    std::string n = lower(e.name);
    if (n == "pdoxusrs.lck" || n == "paradox.lck" || n == tableLock) found.push_back(e.name);
  }
  return found;
}

[[noreturn]] void throwLockFiles(const std::string& dbPath, const std::string& dir,
                                 const std::vector<std::string>& names) {
  std::string list;
  for (const auto& n : names) {
    if (!list.empty()) list += ", ";
    list += io::joinPath(dir, n);
  }
  std::string lies = names.size() == 1 ? "рядом с ней лежит файл блокировки " : "рядом с ней лежат файлы блокировки ";
  std::string them = names.size() == 1 ? "этот файл блокировки остался от аварийно завершённой программы, и его можно удалить"
                                       : "эти файлы блокировки остались от аварийно завершённой программы, и их можно удалить";
  throw EDatabaseError("Таблица " + dbPath + " используется программой комплекса (BDE): " + lies + list +
                       ". Запись в таблицу невозможна, пока программа комплекса работает с этой папкой. "
                       "Если ни одна программа комплекса не запущена, " + them + ".");
}

[[noreturn]] void throwHeldHere(const std::string& dbPath, const std::string& file) {
  throw EDatabaseError("Таблица " + dbPath + " уже открыта для записи в этой программе (в другом окне Checkup)" +
                       (file.empty() ? std::string() : ": файл " + file + " заблокирован") +
                       ". Завершите ту запись и повторите.");
}

[[noreturn]] void throwLocked(const std::string& dbPath, const std::string& file, const io::LockInfo& info,
                              const std::string& key) {
  long pid = info.pid > 0 ? info.pid : 0;  // an OFD lock may come back as -1
  if (pid == static_cast<long>(::getpid()) || (pid == 0 && heldHere(key))) throwHeldHere(dbPath, file);
  std::string holder;
  if (pid > 0) {
    holder = "процессом " + std::to_string(pid);
    std::string name = programName(pid);
    if (!name.empty()) holder += " (" + name + ")";
  } else {
    holder = "другой программой или другим окном Checkup (номер процесса система не сообщает)";
  }
  throw EDatabaseError("Таблица " + dbPath + " занята: файл " + file + " заблокирован " + holder +
                       ". Запись в таблицу невозможна, пока он её не освободит.");
}

[[noreturn]] void throwReadOnly(const std::string& dbPath, const std::string& file, const io::IoError& e) {
  throw EDatabaseError("Таблица " + dbPath + " доступна только для чтения: файл " + file +
                       " не открывается для записи (" + reasonOf(e) +
                       "). Проверьте, не стоит ли у файла или его папки атрибут «только для чтения» и есть ли "
                       "права на запись.");
}

// Takes an exclusive lock on an open family file or throws the message naming its holder.
void lockOrThrow(io::File& f, const std::string& dbPath, const std::string& key) {
  io::LockInfo info;
  for (int attempt = 0; attempt < 3; ++attempt) {
    bool locked = false;
    try {
      locked = f.tryLock(true);
    } catch (const io::IoError& e) {
      throw EDatabaseError("Нельзя записать таблицу " + dbPath + ": " + e.what());
    }
    if (locked) return;
    info = f.queryLock(true);
    if (info.held) break;
    // Released between the two calls: try again.
  }
  throwLocked(dbPath, f.path(), info, key);
}

}  // namespace

bool isFamilyExtension(const std::string& e) {
  if (e == ".db" || e == ".px" || e == ".mb" || e == ".val") return true;
  if (e.size() < 3 || e[0] != '.' || (e[1] != 'x' && e[1] != 'y')) return false;
  std::string rest = e.substr(2);
  if (rest.size() == 2 && isHex(rest[0]) && isHex(rest[1])) return true;  // .X01, .Y0A
  if (rest[0] == 'g' && (rest.size() == 2 || rest.size() == 3))                              // .XG0, .YG12
    return std::all_of(rest.begin() + 1, rest.end(), isHex);
  return false;
}

std::vector<std::string> lockFilesBeside(io::FileSystem& fs, const std::string& dbPath) {
  std::string path = io::normalizePath(dbPath);
  try {
    return lockFilesIn(fs.list(io::dirName(path)), path);
  } catch (const io::IoError&) {
    return {};
  }
}

WriteLock::WriteLock(io::FileSystem& fs, const std::string& dbPath) : WriteLock(fs, dbPath, true) {}

WriteLock::WriteLock(io::FileSystem& fs, const std::string& dbPath, bool mustExist)
    : fs_(&fs), dbPath_(io::normalizePath(dbPath)) {
  acquire(mustExist);
}

WriteLock WriteLock::forNewTable(io::FileSystem& fs, const std::string& dbPath) {
  return WriteLock(fs, dbPath, false);
}

WriteLock::~WriteLock() { release(); }

WriteLock::WriteLock(WriteLock&& other) noexcept
    : fs_(other.fs_), dbPath_(std::move(other.dbPath_)), registered_(std::move(other.registered_)),
      files_(std::move(other.files_)) {
  other.registered_.clear();
  other.files_.clear();
}

WriteLock& WriteLock::operator=(WriteLock&& other) noexcept {
  if (this != &other) {
    release();
    fs_ = other.fs_;
    dbPath_ = std::move(other.dbPath_);
    registered_ = std::move(other.registered_);
    files_ = std::move(other.files_);
    other.registered_.clear();
    other.files_.clear();
  }
  return *this;
}

void WriteLock::acquire(bool mustExist) {
  files_ = lockFamily(mustExist);
  std::string key = registerKey(dbPath_);
  std::lock_guard<std::mutex> guard(registerMutex);
  // Nothing on disk to lock yet (a new table) is guarded by the register alone.
  if (!heldTables().insert(key).second) throwHeldHere(dbPath_, {});
  registered_ = key;
}

void WriteLock::relock() {
  for (auto& [ext, f] : files_) f->unlock();
  try {
    files_ = lockFamily(false);
  } catch (...) {
    for (auto& [ext, f] : files_) {  // best effort: keep what we had
      try {
        (void)f->tryLock(true);
      } catch (const io::IoError&) {
      }
    }
    throw;
  }
}

std::map<std::string, std::unique_ptr<io::File>> WriteLock::lockFamily(bool mustExist) {
  std::map<std::string, std::unique_ptr<io::File>> files;
  std::string dir = io::dirName(dbPath_);
  std::string stem = io::withoutExtension(io::baseName(dbPath_));
  auto entries = listFolder(*fs_, dir, dbPath_);
  if (auto lockFiles = lockFilesIn(entries, dbPath_); !lockFiles.empty()) throwLockFiles(dbPath_, dir, lockFiles);

  // The family as it lies on disk, the .DB first.
  std::vector<std::pair<std::string, std::string>> family;  // (lower-case extension, path)
  std::string wantStem = lower(stem);
  for (const auto& e : entries) {
    if (e.isDir) continue;
    std::string ext = lower(io::extensionOf(e.name));
    if (lower(io::withoutExtension(e.name)) != wantStem || !isFamilyExtension(ext)) continue;
    std::string path = io::joinPath(dir, e.name);
    if (ext != ".db") {
      family.emplace_back(ext, path);
    } else if (family.empty() || family.front().first != ".db") {
      family.insert(family.begin(), {ext, path});
    } else if (path == dbPath_) {
      family.front().second = path;  // two spellings on a case-sensitive disk: the one asked for
    }
  }
  if (!family.empty() && family.front().first == ".db") dbPath_ = family.front().second;
  if (mustExist && (family.empty() || family.front().first != ".db"))
    throw EDatabaseError("Таблица " + dbPath_ + " не найдена: нет файла " + dbPath_);

  std::string key = registered_.empty() ? registerKey(dbPath_) : registered_;
  for (const auto& [ext, path] : family) {
    if (files.count(ext)) continue;  // the same extension in two spellings: the first one wins
    std::unique_ptr<io::File> f;
    try {
      f = fs_->open(path, io::OpenMode::ReadWrite);
    } catch (const io::IoError& e) {
      if (ext != ".db" && !fs_->exists(path)) continue;  // removed meanwhile
      if (ext == ".db" && !fs_->exists(path))
        throw EDatabaseError("Таблица " + dbPath_ + " не найдена: нет файла " + path);
      throwReadOnly(dbPath_, path, e);
    }
    lockOrThrow(*f, dbPath_, key);
    files.emplace(ext, std::move(f));
  }

  // A BDE program may have come to the folder while we were locking.
  if (auto lockFiles = lockFilesIn(listFolder(*fs_, dir, dbPath_), dbPath_); !lockFiles.empty())
    throwLockFiles(dbPath_, dir, lockFiles);
  return files;
}

void WriteLock::release() noexcept {
  for (auto& [ext, f] : files_) {
    try {
      f->unlock();
    } catch (...) {
    }
  }
  files_.clear();
  if (!registered_.empty()) {
    std::lock_guard<std::mutex> guard(registerMutex);
    heldTables().erase(registered_);
    registered_.clear();
  }
}

io::File* WriteLock::file(const std::string& extensionLower) const {
  auto it = files_.find(extensionLower);
  return it == files_.end() ? nullptr : it->second.get();
}

std::vector<std::string> WriteLock::extensions() const {
  std::vector<std::string> out;
  for (const auto& [ext, f] : files_) out.push_back(ext);
  return out;
}

std::string WriteLock::familyPath(const std::string& extensionLower) const {
  std::string dbExt = io::extensionOf(dbPath_);
  bool upperCase = !dbExt.empty() && dbExt == upper(dbExt) && dbExt != lower(dbExt);
  std::string dir = io::dirName(dbPath_);
  std::string name = io::withoutExtension(io::baseName(dbPath_)) + (upperCase ? upper(extensionLower) : extensionLower);
  std::string existing = io::findFileNoCase(*fs_, dir, name);
  return existing.empty() ? io::joinPath(dir, name) : existing;
}

io::File& WriteLock::createFile(const std::string& extensionLower) {
  if (!isFamilyExtension(extensionLower))
    throw EDatabaseError("Файл с расширением «" + extensionLower + "» не входит в таблицу " + dbPath_);
  if (auto* held = file(extensionLower)) {
    try {
      held->truncate(0);
    } catch (const io::IoError& e) {
      throw EDatabaseError(std::string("Нельзя записать таблицу ") + dbPath_ + ": " + e.what());
    }
    return *held;
  }
  std::string path = familyPath(extensionLower);
  std::unique_ptr<io::File> f;
  try {
    if (fs_->exists(path)) {
      // Someone made it since the family was locked: lock before emptying it.
      f = fs_->open(path, io::OpenMode::ReadWrite);
      lockOrThrow(*f, dbPath_, registered_);
      f->truncate(0);
    } else {
      f = fs_->open(path, io::OpenMode::Create);
      lockOrThrow(*f, dbPath_, registered_);
    }
  } catch (const io::IoError& e) {
    throw EDatabaseError("Нельзя записать таблицу " + dbPath_ + ": не удаётся создать файл " + path + " (" +
                         reasonOf(e) + ")");
  }
  if (extensionLower == ".db") dbPath_ = path;
  auto& ref = *f;
  files_.emplace(extensionLower, std::move(f));
  return ref;
}

void WriteLock::removeFile(const std::string& extensionLower) {
  auto it = files_.find(extensionLower);
  if (it == files_.end()) return;
  // Deleted while still locked, so that no one finds it unlocked in between.
  try {
    fs_->remove(it->second->path());
  } catch (const io::IoError& e) {
    throw EDatabaseError(std::string("Нельзя записать таблицу ") + dbPath_ + ": " + e.what());
  }
  it->second->unlock();
  files_.erase(it);
}

}  // namespace paradox
