#pragma once
// Windows initialisation files: [sections] of key=value lines. Sections and keys compare
// without regard to case; order is kept. Used for the alias configuration and settings.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class IniFile {
public:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;
  };

  static IniFile parse(std::string_view text);
  // An absent file gives an empty IniFile; an unreadable one throws std::runtime_error.
  static IniFile load(const std::string& path);

  const std::vector<Section>& sections() const { return sections_; }
  const Section* section(std::string_view name) const;
  std::string value(std::string_view section, std::string_view key, std::string_view def = {}) const;

private:
  std::vector<Section> sections_;
};

bool equalsNoCase(std::string_view a, std::string_view b);
