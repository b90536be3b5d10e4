#include "support/TestSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/win/ModulePath.h"

namespace testsupport {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tavvy-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  // TAVVY_KEEP_TEMP=1 leaves the folder behind to look at (a failing run's frames, say).
  if (const char* keep = std::getenv("TAVVY_KEEP_TEMP"); keep && *keep == '1') {
    std::fprintf(stderr, "kept %s\n", path_.string().c_str());
    return;
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

ScopedModuleDir::ScopedModuleDir(const std::string& dir) { win::SetModuleDirectoryOverride(dir); }
ScopedModuleDir::~ScopedModuleDir() { win::SetModuleDirectoryOverride(""); }

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

std::string ReadFileText(const std::string& path) {
  auto b = ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

std::filesystem::path SourceDir() {
  if (const char* s = std::getenv("TAVVY_SOURCE_DIR")) return s;
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

}  // namespace testsupport
