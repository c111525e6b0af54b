#pragma once
// The dump command of checkup-cli: a table as CSV through the engine's AsString, or its
// header facts, fields and indexes.
#include <iosfwd>
#include <string>
#include <vector>

struct DumpOptions {
  std::string table;          // a path, or a name within `database`
  std::string database;       // alias or folder (may be empty)
  int codePage = 0;           // override
  std::vector<std::string> passwords;
  bool info = false;
};

// Returns the process exit code: 0 when the whole table was read, 2 when reading
// stopped on damage, 1 on any other error. Messages go to err.
int runDump(const DumpOptions& options, std::ostream& out, std::ostream& err);

// One CSV cell: quoted when it holds a separator, a quote or a line break.
std::string csvCell(const std::string& text);
