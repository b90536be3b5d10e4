// The program's icon for desktops: the ship with its blade over the planet, drawn at any
// size (the installation takes 256 x 256 and 48 x 48) and written as RGBA PNG.
#pragma once

#include <filesystem>

namespace assetgen {

// Writes tavvyhop-256.png and tavvyhop-48.png into dir.
void WriteIcons(const std::filesystem::path& dir);

}  // namespace assetgen
