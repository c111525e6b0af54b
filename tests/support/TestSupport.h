#pragma once
// Helpers shared by the test executables: where the fixtures are, temporary folders.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// Folder with fixtures/ and formats/ ("" when absent).
std::string sharedDir();
// Path of a fixture below shared/fixtures, or "" when the fixtures are absent.
std::string fixture(const std::string& relative);

// A fresh empty folder under the system's temporary folder, removed on destruction.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
void copyFile(const std::string& from, const std::string& to);
std::string readText(const std::string& path);

}  // namespace testsupport

// Skips the current test when the shared fixtures are not there.
#define REQUIRE_FIXTURES()                                                              \
  do {                                                                                  \
    if (testsupport::sharedDir().empty())                                               \
      GTEST_SKIP() << "../shared/fixtures is absent: fixture tests skipped "            \
                      "(set CHECKUP_SHARED to the folder that holds fixtures/)";       \
  } while (0)
