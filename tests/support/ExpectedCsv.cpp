#include "support/ExpectedCsv.h"

#include "common/TextUtils.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace {

[[noreturn]] void fail(size_t line, const std::string& what) {
  throw std::runtime_error("CSV line " + std::to_string(line) + ": " + what);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

CsvTable parseCsv(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  std::vector<CsvRow> records;
  CsvRow record;
  size_t line = 1;        // line of the current character
  size_t i = 0;
  const size_t n = text.size();

  // One iteration reads one cell and the separator after it.
  while (i < n) {
    CsvCell cell;
    if (text[i] == '"') {
      const size_t openLine = line;
      std::string value;
      ++i;
      for (;;) {
        if (i >= n) fail(openLine, "quoted cell is not closed");
        char c = text[i++];
        if (c == '"') {
          if (i < n && text[i] == '"') {
            value += '"';
            ++i;
          } else {
            break;
          }
        } else {
          if (c == '\n') ++line;
          value += c;
        }
      }
      cell = std::move(value);
      if (i < n && text[i] != ',' && text[i] != '\n' && text.substr(i, 2) != "\r\n")
        fail(line, "text after a closing quote");
    } else {
      size_t end = i;
      while (end < n && text[end] != ',' && text[end] != '\n' && text.substr(end, 2) != "\r\n") {
        if (text[end] == '"') fail(line, "quote inside an unquoted cell");
        ++end;
      }
      if (end > i) cell = std::string(text.substr(i, end - i));
      i = end;
    }
    record.push_back(std::move(cell));

    if (i < n && text[i] == ',') {
      ++i;
      if (i == n) record.emplace_back();  // "a," at the very end: a last NULL cell
      continue;
    }
    // End of the record: a line break or the end of the text.
    if (i < n) i += text[i] == '\r' ? size_t{2} : size_t{1};
    records.push_back(std::move(record));
    record.clear();
    ++line;
  }
  if (!record.empty()) records.push_back(std::move(record));

  CsvTable table;
  if (records.empty()) return table;
  for (auto& name : records.front()) {
    if (!name) fail(1, "empty field name");
    table.header.push_back(std::move(*name));
  }
  // Line numbers for messages: count the lines each record spans.
  size_t at = 1;
  for (size_t r = 0; r < records.size(); ++r) {
    size_t spans = 1;
    for (const auto& c : records[r])
      if (c) for (char ch : *c) spans += ch == '\n';
    if (r > 0) {
      if (records[r].size() != table.header.size())
        fail(at, std::to_string(records[r].size()) + " cells, the header has " +
                     std::to_string(table.header.size()));
      table.rows.push_back(std::move(records[r]));
    }
    at += spans;
  }
  return table;
}

CsvTable readCsvFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::stringstream ss;
  ss << in.rdbuf();
  try {
    return parseCsv(ss.str());
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
}

std::string describeCell(const CsvCell& cell) {
  if (!cell) return "<NULL>";
  return "\"" + *cell + "\"";
}

std::string toHex(std::string_view bytes) { return text::ToHex(bytes); }

std::optional<std::string> fromHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = hexDigit(hex[i]);
    int lo = hexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi << 4 | lo);
  }
  return out;
}

}  // namespace testsupport
