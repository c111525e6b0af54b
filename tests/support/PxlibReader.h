#pragma once
// Reading a Paradox table with pxlib (the Debian package pxlib 0.6.8), an implementation
// independent of ours, for comparing our engine's reading and writing with. Values come back in
// the text form of the fixtures' expected CSV files (support/CanonicalText.h).
//
// pxlib must not take the test process down with it:
// * It runs in a forked child process that sends the result back through a pipe; a crash or a
//   child that does not finish within two minutes becomes a PxlibError (or, when it happened
//   with a BLOB file, a second reading without one, see below).
// * It loops for ever on a block chain that returns to an earlier block, so the chain is walked
//   here first and such a file refused. For an encrypted table, whose block headers cannot be read
//   without decrypting, that is not possible (a warning says so): give only sound encrypted tables.
// * 0.6.8 aborts ("stack smashing") in PX_open_blob_fp for every .MB file we have; the table is
//   then read without its BLOB file, values held in the record's leader still come through, the
//   others are "#ERR", and the first warning says what happened.
// * 0.6.8 returns -2^31 for a blank Long, Date or Time; no stored value can be -2^31, so it is
//   taken as NULL.
// Impossible values come back as the expected files show them (#DATE(n), #TIME(n), #TS(x),
// #BOOL(0xNN)); a value pxlib cannot decode is "#ERR" with a warning. Other known defects of
// 0.6.8 (BCD NULL and long BCDs, Bytes starting with 0) are listed in
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
