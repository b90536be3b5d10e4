#include "platform/host/headless/Script.h"

#include <algorithm>
#include <charconv>

#include "platform/host/Hosts.h"

namespace host {
namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

template <typename T>
bool ParseNumber(std::string_view word, T& value) {
  auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
  return ec == std::errc() && end == word.data() + word.size();
}

constexpr std::string_view kEvents = "down, up, mouse, blur, audio or surfaces";

bool Lower(std::string_view word, std::string_view expected) {
  if (word.size() != expected.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != expected[i]) return false;
  }
  return true;
}

}  // namespace

std::vector<ScriptEvent> ParseScript(std::string_view text, const std::string& fileName) {
  std::vector<ScriptEvent> events;
  int lineNo = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNo;
    if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto words = Words(line);
    if (words.empty()) continue;
    auto fail = [&](const std::string& why) {
      throw ScriptError(fileName + " line " + std::to_string(lineNo) + ": " + why);
    };
    ScriptEvent ev;
    if (!ParseNumber(words[0], ev.tick))
      fail("the line must start with a tick number, not '" + std::string(words[0]) + "'");
    if (words.size() < 2) fail("an event (" + std::string(kEvents) + ") must follow the tick");
    if (Lower(words[1], "down") || Lower(words[1], "up")) {
      ev.kind = Lower(words[1], "down") ? ScriptEvent::Kind::Down : ScriptEvent::Kind::Up;
      if (words.size() != 3) fail("'" + std::string(words[1]) + "' takes exactly one key name");
      auto key = KeyByName(words[2]);
      if (!key) fail("unknown key '" + std::string(words[2]) + "'");
      ev.key = *key;
    } else if (Lower(words[1], "mouse")) {
      ev.kind = ScriptEvent::Kind::Mouse;
      if (words.size() < 4 || !ParseNumber(words[2], ev.x) || !ParseNumber(words[3], ev.y)) {
        fail("'mouse' takes the client position X Y");
      }
      for (size_t i = 4; i < words.size(); ++i) {
        if (Lower(words[i], "left")) {
          ev.left = true;
        } else if (Lower(words[i], "right")) {
          ev.right = true;
        } else if (Lower(words[i], "shift")) {
          ev.shift = true;
        } else {
          fail("unknown mouse flag '" + std::string(words[i]) + "' (left, right or shift)");
        }
      }
    } else if (Lower(words[1], "blur")) {
      ev.kind = ScriptEvent::Kind::Blur;
      if (words.size() != 3 || !ParseNumber(words[2], ev.x) || ev.x < 0) fail("'blur' takes the milliseconds away");
    } else if (Lower(words[1], "audio")) {
      if (words.size() != 3 || !(Lower(words[2], "lost") || Lower(words[2], "back")))
        fail("'audio' takes 'lost' or 'back'");
      ev.kind = Lower(words[2], "lost") ? ScriptEvent::Kind::AudioLost : ScriptEvent::Kind::AudioBack;
    } else if (Lower(words[1], "surfaces")) {
      ev.kind = ScriptEvent::Kind::SurfacesLost;
      if (words.size() != 4 || !Lower(words[2], "lost") || !ParseNumber(words[3], ev.x) || ev.x < 0)
        fail("'surfaces' takes 'lost' and the milliseconds away");
    } else {
      fail("unknown event '" + std::string(words[1]) + "' (" + std::string(kEvents) + ")");
    }
    events.push_back(ev);
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const ScriptEvent& a, const ScriptEvent& b) { return a.tick < b.tick; });
  return events;
}

}  // namespace host
