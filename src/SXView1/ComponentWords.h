// The components' own messages (the display, sound, input and archive units and the scene
// library speak Japanese) in English, for the message boxes a player sees when the chosen
// language is English. The log files keep the original lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// One message of a component: `japanese` as the component writes it, `english` its
// counterpart. "%s" in either stands for a part that varies (a file name, a number); the
// English text holds the same parts in the same order.
struct TComponentMessage {
  std::string_view japanese;
  std::string_view english;
};

// Every message of the components that can reach a message box.
const std::vector<TComponentMessage>& ComponentMessages();

// `text` in English where it is, or begins with, one of the components' messages (the rest,
// such as an appended "(Error Code(…))", is kept as it stands); any other text unchanged.
std::string ComponentMessageInEnglish(const std::string& text);
