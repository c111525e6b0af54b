#include "support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace testsupport {

std::string sharedDir() {
  std::string dir;
  if (const char* env = std::getenv("CHECKUP_SHARED")) dir = env;
  else dir = CHECKUP_SHARED_DIR;
  std::error_code ec;
  if (!fs::is_directory(fs::path(dir) / "fixtures", ec)) return {};
  return fs::weakly_canonical(dir).string();
}

std::string fixture(const std::string& relative) {
  std::string dir = sharedDir();
  if (dir.empty()) return {};
  return dir + "/fixtures/" + relative;
}

TempDir::TempDir() {
  std::random_device rd;
  auto base = fs::temp_directory_path();
  for (;;) {
    auto p = base / ("checkup-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.string();
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void copyFile(const std::string& from, const std::string& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace testsupport
