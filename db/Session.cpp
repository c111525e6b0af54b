#include "db/Session.h"

#include "common/CodePage.h"
#include "common/TextUtils.h"
#include "db/EngineError.h"
#include "db/FileAccess.h"

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>

TSession& Session() {
  static TSession s;
  return s;
}

bool matchesPattern(std::string_view name, std::string_view pattern) {
  std::string n = text::UpperCase(name), p = text::UpperCase(pattern);
  // Iterative wildcard match with one backtrack point.
  size_t i = 0, j = 0, star = std::string::npos, mark = 0;
  while (i < n.size()) {
    if (j < p.size() && (p[j] == '?' || p[j] == n[i])) {
      ++i;
      ++j;
    } else if (j < p.size() && p[j] == '*') {
      star = j++;
      mark = i;
    } else if (star != std::string::npos) {
      j = star + 1;
      i = ++mark;
    } else {
      return false;
    }
  }
  while (j < p.size() && p[j] == '*') ++j;
  return j == p.size();
}

std::string TSession::DefaultConfigPath() {
  if (const char* env = std::getenv("CHECKUP_ALIASES"); env && *env) return env;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/checkup/aliases.ini";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.config/checkup/aliases.ini";
}

void TSession::SetConfigPath(std::string path) {
  path_ = std::move(path);
  loadedStamp_ = -1;
}

const std::string& TSession::ConfigPath() {
  if (path_.empty()) path_ = DefaultConfigPath();
  return path_;
}

const IniFile& TSession::config() {
  const std::string& p = ConfigPath();
  struct stat st {};
  long long stamp = ::stat(p.c_str(), &st) == 0 ? static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec : 0;
  if (stamp != loadedStamp_ || p != loadedPath_) {
    try {
      ini_ = IniFile::load(p);
    } catch (const std::exception& e) {
      throw EDatabaseError(std::string("Не удаётся прочитать настройки псевдонимов: ") + e.what());
    }
    loadedStamp_ = stamp;
    loadedPath_ = p;
  }
  return ini_;
}

const IniFile::Section* TSession::alias(std::string_view name) {
  if (name.empty()) return nullptr;
  return config().section(name);
}

void TSession::GetAliasNames(std::vector<std::string>& list) {
  list.clear();
  for (const auto& s : config().sections()) list.push_back(s.name);
}

bool TSession::IsAlias(std::string_view name) { return alias(name) != nullptr; }

std::string TSession::AliasParam(std::string_view aliasName, std::string_view key) {
  if (const auto* s = alias(aliasName))
    for (const auto& [k, v] : s->entries)
      if (equalsNoCase(k, key)) return v;
  return {};
}

std::string TSession::GetAliasDriverName(std::string_view aliasName) {
  if (!alias(aliasName)) throw EDatabaseError("Псевдоним «" + std::string(aliasName) + "» не найден");
  std::string t = AliasParam(aliasName, "TYPE");
  return t.empty() ? "STANDARD" : text::UpperCase(t);
}

void TSession::GetAliasParams(std::string_view aliasName, std::vector<std::string>& list) {
  list.clear();
  const auto* s = alias(aliasName);
  if (!s) throw EDatabaseError("Псевдоним «" + std::string(aliasName) + "» не найден");
  for (const auto& [k, v] : s->entries) {
    std::string up = text::UpperCase(k);
    if (up == "TYPE" || up.rfind("PASSWORD", 0) == 0) continue;
    list.push_back(up + "=" + v);
  }
}

void TSession::AddPassword(const std::string& password) {
  if (std::find(passwords_.begin(), passwords_.end(), password) == passwords_.end()) passwords_.push_back(password);
}

std::vector<std::string> TSession::PasswordsFor(std::string_view databaseName) {
  std::vector<std::string> out = passwords_;
  if (const auto* s = alias(databaseName))
    for (const auto& [k, v] : s->entries)
      if (text::UpperCase(k).rfind("PASSWORD", 0) == 0 && !v.empty()) out.push_back(v);
  return out;
}

std::string TSession::DatabaseDirectory(std::string_view databaseName) {
  if (databaseName.empty()) return ".";
  if (alias(databaseName)) {
    std::string driver = GetAliasDriverName(databaseName);
    if (driver != "STANDARD")
      throw EDatabaseError("Псевдоним «" + std::string(databaseName) + "» относится к серверу " + driver +
                           " (SERVER NAME=" + AliasParam(databaseName, "SERVER NAME") +
                           "); поддерживаются только таблицы Paradox и dBASE");
    std::string path = io::normalizePath(AliasParam(databaseName, "PATH"));
    if (path.empty()) throw EDatabaseError("У псевдонима «" + std::string(databaseName) + "» не указан параметр PATH");
    return path;
  }
  std::string dir = io::normalizePath(std::string(databaseName));
  if (!io::defaultFileSystem().isDirectory(dir))
    throw EDatabaseError("Псевдоним или папка «" + std::string(databaseName) + "» не найдены");
  return dir;
}

TTableType TSession::DefaultTableType(std::string_view databaseName) {
  std::string d = text::UpperCase(AliasParam(databaseName, "DEFAULT DRIVER"));
  if (d == "DBASE") return ttDBase;
  if (d == "FOXPRO") return ttFoxPro;
  if (d == "ASCIIDRV") return ttASCII;
  return ttParadox;
}

int TSession::CodePageOf(std::string_view databaseName) {
  std::string cp = AliasParam(databaseName, "CODEPAGE");
  if (!cp.empty()) return static_cast<int>(text::DigitsToInt(cp));
  std::string ld = AliasParam(databaseName, "LANGDRIVER");
  return ld.empty() ? 0 : codepage::codePageOfDriver(ld);
}

void TSession::GetTableNames(std::string_view databaseName, std::string_view pattern, bool extensions, bool systemTables,
                             std::vector<std::string>& list) {
  list.clear();
  std::string dir = DatabaseDirectory(databaseName);
  std::vector<io::DirEntry> entries;
  try {
    entries = io::defaultFileSystem().list(dir);
  } catch (const io::IoError& e) {
    throw EDatabaseError(e.what());
  }
  std::string pat = pattern.empty() ? "*" : std::string(pattern);
  std::vector<std::string> out;
  for (const auto& e : entries) {
    if (e.isDir) continue;
    std::string ext = text::UpperCase(io::extensionOf(e.name));
    bool table = ext == ".DB" || ext == ".DBF";
    if (ext == ".TXT") {
      std::string sch = io::withoutExtension(e.name) + ".SCH";
      table = !io::findFileNoCase(io::defaultFileSystem(), dir, sch).empty();
    }
    bool system = false;
    if (!table && systemTables) {
      std::string up = text::UpperCase(e.name);
      system = up == "PARADOX.LCK" || up == "PDOXUSRS.LCK" || up == "PDOXUSRS.NET" || text::UpperCase(io::extensionOf(e.name)) == ".CKJ";
    }
    if (!table && !system) continue;
    if (!matchesPattern(e.name, pat)) continue;
    out.push_back(extensions || system ? e.name : io::withoutExtension(e.name));
  }
  std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) { return text::UpperCase(a) < text::UpperCase(b); });
  list = std::move(out);
}
