#pragma once
// Reading a Paradox table with pxlib (the Debian package pxlib 0.6.8), an implementation
// independent of ours, for comparing our engine's reading and writing with. Values come back in
// the text form of the fixtures' expected CSV files (support/CanonicalText.h).
//
// pxlib is trusted only with structurally sound tables: it loops for ever on a block chain that
// returns to an earlier block, so readWithPxlib walks the chain itself first and refuses such a
// file (for an encrypted table, whose block headers cannot be read without decrypting, that check
// is not possible: do not pass damaged encrypted tables). Known defects of 0.6.8 are listed in
// tests/pxlib/PxlibFixtureTest.cpp.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

struct PxField {
  std::string name;  // UTF-8
  int type = 0;      // Paradox type byte (0x01 Alpha … 0x18 Bytes)
  int size = 0;      // size byte of the header (BCD: the scale)
};

using PxRow = std::vector<std::optional<std::string>>;  // nullopt = NULL

struct PxTable {
  int fileVersion = 0;     // fileVersionID as pxlib reports it (e.g. 70 for level 7)
  int headerCodePage = 0;  // code page stored in the header (0 for level 3)
  int codePage = 0;        // code page used to decode text
  int fileType = 0;        // 0 keyed, 2 unkeyed
  bool encrypted = false;
  std::vector<PxField> fields;
  std::vector<PxRow> rows;
  // Everything pxlib reported through its error handler, and values it could not decode
  // ("record 3, field Notes: …"); such cells hold "#ERR".
  std::vector<std::string> warnings;
};

// Thrown when pxlib cannot open the table or the file is one pxlib must not be given.
class PxlibError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads every record of the table at dbPath. mbPath names the BLOB file (when "", the .MB or .mb
// beside the table is used if it exists). codePageOverride, when not 0, decodes text with that
// code page instead of the header's; level-3 tables, which store none, default to 437.
PxTable readWithPxlib(const std::string& dbPath, const std::string& mbPath = "",
                      int codePageOverride = 0);

// Text of a table's code page as UTF-8, the way the expected files show it: single-byte code
// pages through common/CodePage.h, multi-byte ones through iconv with every byte that does not
// decode written as "\xNN".
std::string decodeText(const std::string& bytes, int codePage);

}  // namespace testsupport
