// Helpers shared by the test programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh temporary folder, removed with everything in it when the object dies
// (TAVVY_KEEP_TEMP=1 keeps it, to look at what a test left).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // Path of a file inside, as a string with the folder's trailing separator handled.
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  std::string Dir() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

// Points the "executable folder" (logs, data) at a temporary folder for one test.
class ScopedModuleDir {
 public:
  explicit ScopedModuleDir(const std::string& dir);
  ~ScopedModuleDir();
  ScopedModuleDir(const ScopedModuleDir&) = delete;
  ScopedModuleDir& operator=(const ScopedModuleDir&) = delete;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteFileText(const std::string& path, const std::string& text);
std::string ReadFileText(const std::string& path);

// The source tree (for reference images and data checked into tests/).
std::filesystem::path SourceDir();

}  // namespace testsupport
