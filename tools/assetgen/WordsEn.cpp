#include "WordsEn.h"

#include <string>

#include "Common.h"

namespace assetgen {

namespace {

// Line n says what line n of words.dat says; each fits the message box beside the portrait.
const char* const kEnglishWords[] = {
    "Stage start! All units, launch!",            // 0  a stage starts
    "Enemy down! Nice shooting!",                 // 1  the ship destroyed an enemy
    "We're hit! The hull won't take much more!",  // 2  the ship was hit
    "They shot down one of their own!",           // 3  an enemy shot down another
    "This is your last ship. Careful now!",       // 4  the last ship
    "Too close to the planet! Pull back!",        // 5  near the planet
    "Nearing the colony. Watch your fire!",       // 6  near the colony
    "You're too far from the battle zone!",       // 7  too far out
    "Enemy beyond radar range! Stay alert!",      // 8  radar warning
    "Rammed! Get out of there!",                  // 9  rammed
    "A huge enemy approaches! Destroy it!",       // 10 the target arrives
    "Direct hit on the target!",                  // 11 the target is hit
    "Target destroyed! Well done!",               // 12 the target is destroyed
};

}  // namespace

void WriteEnglishWords(const std::filesystem::path& dir) {
  std::string words;
  for (const char* w : kEnglishWords) words += std::string(w) + "\r\n";
  WriteFile(dir / "words-en.dat", words);
}

}  // namespace assetgen
