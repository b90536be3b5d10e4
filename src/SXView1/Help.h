// The port's help on the title screen: H shows the controls over the title picture (in the
// chosen language), H again, or any game state but the title, takes it away.
#pragma once

#include <array>
#include <string>
#include <vector>

class TForm1;

// The lines of the help; `buttonKeys` name the keys of fire, afterburner, thrust, missiles,
// blade and view, and `directionKeys` those of up, down, left and right.
std::vector<std::string> HelpLines(const std::string& language, const std::array<std::string, 6>& buttonKeys,
                                   const std::array<std::string, 4>& directionKeys);

// Installs the H key on the form's title screen.
void InstallTitleHelp(TForm1& form, std::vector<std::string> lines);
