// Where the program file lies: the data and the diagnostic logs are found beside it.
#pragma once

#include <string>

namespace win {

// Folder of the running executable with a trailing '/'.
std::string ModuleDirectory();

// Tests and tools point the "executable folder" elsewhere (a temporary folder);
// an empty string returns to the real one.
void SetModuleDirectoryOverride(const std::string& dir);

// Finds `name` in `dir` as the Windows file system would: the exact name first,
// then a case-insensitive match. Returns the path to use (the exact one when nothing matches).
std::string ResolvePathCaseInsensitive(const std::string& path);

}  // namespace win
