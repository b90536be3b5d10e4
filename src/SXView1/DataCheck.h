// The check of the data folder at start-up: every file the game will read, now or later
// in the run (the stage target's mesh, the tunes), is opened and read through once, and
// all that is wrong is told at once, before the title. It only reads; the game still
// loads each file when it always did.
#pragma once

#include <string>
#include <vector>

#include "common/DataReport.h"

// Every problem of the data folder `dataDir` (with its trailing separator): Stops for a
// file the game cannot do without, GoesOn for one it plays on without (a texture, a
// tune) or with less (a sound cut short, fewer message lines).
std::vector<data::TDataProblem> CheckGameData(const std::string& dataDir, const std::string& wordsFile = "words.dat");

// The check of one picture loaded as a platform bitmap (the portrait, the explosion sheet,
// the title picture): empty when it loads.
std::string CheckBitmapFile(const std::string& path);
