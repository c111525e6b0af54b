#pragma once
// Sharing rules for writing a Paradox table while the suite's programs (BDE) may use the
// same folder, possibly over a network share.
//
// Reading is always allowed: readers open the files read-only and never lock. Writing is
// allowed only when
//  - no Paradox lock file lies in the table's folder (PDOXUSRS.LCK, PARADOX.LCK, or the
//    old per-table NAME.LCK, any case): their presence means a BDE program may be using
//    the folder, and we do not speak BDE's locking protocol;
//  - no other process, and no other open inside this process, holds an OS lock on any
//    file of the table's family;
//  - the files can be opened for writing.
// While a WriteLock lives it holds exclusive OS locks (open-file-description locks, so
// two Checkup windows in one process exclude each other too) on the family's files.
#include "db/FileAccess.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace paradox {

// Holds the right to write one table family while it lives.
//
// The family is NAME.DB with the files beside it that share its base name (compared
// without regard to case) and carry table data: .PX, .MB, .VAL, .Xnn/.Ynn, .XGn/.YGn.
// Paradox UI files (.TV, .FAM, …) are not part of it.
//
// The locks sit on the open files themselves, so they protect the files as they are now:
// a writer that replaces a file by renaming another one over it leaves the lock on the
// old, unlinked file. Write through file()/createFile(), or call relock() right after
// renaming a new family into place.
class WriteLock {
public:
  // Checks the folder and locks the family of the existing table `dbPath` (its .DB must
  // exist; the name is matched without regard to case). Throws EDatabaseError with a
  // message for the user (Russian) when the table may not be written: a lock file of the
  // suite lies beside it, another process or another open in this process holds a lock on
  // one of its files (the message names the file, the process id and its program name
  // where the system tells), or a file cannot be opened for writing.
  WriteLock(io::FileSystem& fs, const std::string& dbPath);
  ~WriteLock();
  WriteLock(WriteLock&&) noexcept;
  WriteLock& operator=(WriteLock&&) noexcept;
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;

  // For a table about to be created (or re-created) at `dbPath`: the same checks as the
  // constructor, but the .DB need not exist. Nothing is created or truncated here; the
  // family files that already exist (a .DB included) are opened and locked, and new ones
  // are made with createFile(), which locks them as it creates them.
  static WriteLock forNewTable(io::FileSystem& fs, const std::string& dbPath);

  // The family's files opened read-write and locked, by lower-case extension (".db",
  // ".px", ".mb", ".x01", ".xg0", …); nullptr when the table has no such file. The writer
  // writes through these, so its writes go through the descriptors that hold the locks.
  io::File* file(const std::string& extensionLower) const;
  // The lower-case extensions of the files held, sorted.
  std::vector<std::string> extensions() const;

  // Creates the family file with this extension (NAME + the extension, in the case of the
  // .DB's name: upper-case extension when the .DB's is upper-case) empty and locked, and
  // keeps it. A file already held is truncated to zero instead. Throws EDatabaseError when
  // the file cannot be created or another process locks it meanwhile.
  io::File& createFile(const std::string& extensionLower);
  // Closes and deletes a held family file (a stale secondary index, say). Nothing when it
  // is not held.
  void removeFile(const std::string& extensionLower);

  // After files of the family were replaced by renaming others over them: lets go of the
  // old files and opens and locks the family as it now lies on disk (the folder is checked
  // again too). Between the two another program could take a file; then this throws as
  // the constructor does, and the lock holds what it still can.
  void relock();

  // The path of the .DB (the name found on disk, or the one given for a new table).
  const std::string& dbPath() const { return dbPath_; }

private:
  WriteLock(io::FileSystem& fs, const std::string& dbPath, bool mustExist);
  void acquire(bool mustExist);
  std::map<std::string, std::unique_ptr<io::File>> lockFamily(bool mustExist);
  void release() noexcept;
  std::string familyPath(const std::string& extensionLower) const;

  io::FileSystem* fs_ = nullptr;
  std::string dbPath_;
  std::string registered_;  // key in the process-wide register of tables held for writing
  std::map<std::string, std::unique_ptr<io::File>> files_;
};

// Read-side check, no locks: the names (as found on disk) of the Paradox lock files beside
// the table — PDOXUSRS.LCK, PARADOX.LCK and NAME.LCK, any case — for warnings. Empty when
// there are none or the folder cannot be listed.
std::vector<std::string> lockFilesBeside(io::FileSystem& fs, const std::string& dbPath);

// True for the lower-case extension of a file that belongs to a table's data family.
bool isFamilyExtension(const std::string& extensionLower);

}  // namespace paradox
