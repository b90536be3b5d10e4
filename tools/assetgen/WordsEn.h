// The English message lines, written beside the Japanese words.dat for players who choose
// English. The game itself reads whichever file the program's start-up names.
#pragma once

#include <filesystem>

namespace assetgen {

// Writes "words-en.dat": the same thirteen messages, line for line, in English.
void WriteEnglishWords(const std::filesystem::path& dir);

}  // namespace assetgen
