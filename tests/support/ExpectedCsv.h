#pragma once
// The expected CSV files beside the Paradox and dBASE fixtures: what independent readers print
// for every valid table. UTF-8, first line the field names, RFC 4180 quoting (a quoted cell may
// hold commas, doubled quotes and CR/LF line breaks). An empty unquoted cell is NULL, a quoted
// empty cell ("") is the empty string; the two are kept apart.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

using CsvCell = std::optional<std::string>;  // nullopt = NULL
using CsvRow = std::vector<CsvCell>;

struct CsvTable {
  std::vector<std::string> header;
  std::vector<CsvRow> rows;
};

// Parses a whole file's text. Line breaks outside quotes may be LF or CR LF; a UTF-8 byte-order
// mark is skipped; the line break after the last record is optional. Throws std::runtime_error
// (with the line number) for a stray or unclosed quote, text after a closing quote, a NULL field
// name or a record whose cell count differs from the header's.
CsvTable parseCsv(std::string_view text);
// Reads and parses a file; throws std::runtime_error when it cannot be read.
CsvTable readCsvFile(const std::string& path);

// A cell as the CSV would show it, for test messages: NULL as <NULL>, text quoted.
std::string describeCell(const CsvCell& cell);

// Lower-case hex of the bytes ("" for none).
std::string toHex(std::string_view bytes);
// The bytes of a hex text (either case); nullopt for an odd length or a non-hex character.
std::optional<std::string> fromHex(std::string_view hex);

}  // namespace testsupport
