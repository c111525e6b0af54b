#include "common/IniFile.h"

#include "common/TextUtils.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

bool equalsNoCase(std::string_view a, std::string_view b) { return text::UpperCase(a) == text::UpperCase(b); }

IniFile IniFile::parse(std::string_view textIn) {
  IniFile ini;
  std::string_view t = textIn;
  if (t.substr(0, 3) == "\xEF\xBB\xBF") t.remove_prefix(3);
  Section* cur = nullptr;
  size_t pos = 0;
  while (pos <= t.size()) {
    size_t nl = t.find('\n', pos);
    std::string_view line = t.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    pos = nl == std::string_view::npos ? t.size() + 1 : nl + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = text::Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      ini.sections_.push_back({std::string(text::Trim(line.substr(1, line.size() - 2))), {}});
      cur = &ini.sections_.back();
      continue;
    }
    auto eq = line.find('=');
    if (eq == std::string_view::npos || !cur) continue;
    cur->entries.emplace_back(std::string(text::Trim(line.substr(0, eq))), std::string(text::Trim(line.substr(eq + 1))));
  }
  return ini;
}

IniFile IniFile::load(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("Не удаётся прочитать файл " + path);
  std::stringstream ss;
  ss << in.rdbuf();
  return parse(ss.str());
}

const IniFile::Section* IniFile::section(std::string_view name) const {
  for (const auto& s : sections_)
    if (equalsNoCase(s.name, name)) return &s;
  return nullptr;
}

std::string IniFile::value(std::string_view sectionName, std::string_view key, std::string_view def) const {
  if (const Section* s = section(sectionName))
    for (const auto& [k, v] : s->entries)
      if (equalsNoCase(k, key)) return v;
  return std::string(def);
}
