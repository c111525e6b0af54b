#pragma once
// The default session: the aliases (named databases) the user configured, and the table
// names of a database. Aliases come from one INI file, one section per alias:
//
//   [radevad]
//   TYPE=STANDARD              driver type; SQL drivers (INTRBASE, …) carry SERVER NAME
//   PATH=/srv/radevad/data     folder of the table files
//   DEFAULT DRIVER=PARADOX     type of a table named without extension
//   LANGDRIVER=ancyrr          language driver: the code page text is read with
//   PASSWORD=secret            passwords of encrypted tables (PASSWORD1, PASSWORD2, …)
//
// The file is $CHECKUP_ALIASES, else $XDG_CONFIG_HOME/checkup/aliases.ini, else
// ~/.config/checkup/aliases.ini. A database name that is not an alias may be a folder.
#include "common/IniFile.h"

#include <string>
#include <string_view>
#include <vector>

enum TTableType { ttDefault, ttParadox, ttDBase, ttFoxPro, ttASCII };

class TSession {
public:
  void GetAliasNames(std::vector<std::string>& list);
  bool IsAlias(std::string_view name);
  // Table names of a database (alias or folder) matching a file pattern ("*.db", "gw_*";
  // empty: all), without regard to case, in name order. Without extensions the names
  // open with the database's default driver. systemTables adds the engine's control and
  // lock files found there (PARADOX.LCK, PDOXUSRS.LCK, PDOXUSRS.NET) and Checkup's write
  // journals (NAME.CKJ).
  void GetTableNames(std::string_view databaseName, std::string_view pattern, bool extensions, bool systemTables,
                     std::vector<std::string>& list);
  // name=value lines of the alias (passwords left out).
  void GetAliasParams(std::string_view alias, std::vector<std::string>& list);
  std::string GetAliasDriverName(std::string_view alias);
  std::string AliasParam(std::string_view alias, std::string_view key);

  void AddPassword(const std::string& password);
  void RemoveAllPasswords() { passwords_.clear(); }
  // The session's passwords and those of the alias.
  std::vector<std::string> PasswordsFor(std::string_view databaseName);

  // The folder a database's tables are in: the alias's PATH, or the name itself as a
  // folder ("" = the current folder). Throws for an alias of an SQL driver.
  std::string DatabaseDirectory(std::string_view databaseName);
  // The table type a name without extension has in that database.
  TTableType DefaultTableType(std::string_view databaseName);
  // A code page override for the database's tables (LANGDRIVER or CODEPAGE), 0 for none.
  int CodePageOf(std::string_view databaseName);

  static std::string DefaultConfigPath();
  void SetConfigPath(std::string path);  // tests and the command-line tool
  const std::string& ConfigPath();

private:
  const IniFile& config();
  const IniFile::Section* alias(std::string_view name);

  std::string path_;
  IniFile ini_;
  long long loadedStamp_ = -1;
  std::string loadedPath_;
  std::vector<std::string> passwords_;
};

TSession& Session();

// Wildcard match (* and ?) without regard to case.
bool matchesPattern(std::string_view name, std::string_view pattern);
