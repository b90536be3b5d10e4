#include "SXView1/ComponentWords.h"

#include <optional>

namespace {

// A message that matched: the English text with its varying parts filled in, and how much of
// the original text the Japanese pattern took.
struct Match {
  std::string english;
  size_t taken = 0;
};

// Matches `pattern` (literal text with "%s" for a varying part) against the start of `text`.
// A varying part takes the shortest non-empty run of text before the literal that follows it;
// one at the very end of the pattern takes the rest of the text.
std::optional<std::vector<std::string>> MatchStart(std::string_view pattern, std::string_view text, size_t& taken) {
  std::vector<std::string> parts;
  size_t p = 0;
  size_t t = 0;
  while (p < pattern.size()) {
    const size_t hole = pattern.find("%s", p);
    const std::string_view literal =
        pattern.substr(p, hole == std::string_view::npos ? std::string_view::npos : hole - p);
    if (text.substr(t, literal.size()) != literal) return std::nullopt;
    t += literal.size();
    if (hole == std::string_view::npos) break;
    p = hole + 2;
    const size_t next = pattern.find("%s", p);
    const std::string_view after =
        pattern.substr(p, next == std::string_view::npos ? std::string_view::npos : next - p);
    if (after.empty()) {
      if (p < pattern.size() || t >= text.size()) return std::nullopt;
      parts.emplace_back(text.substr(t));
      t = text.size();
      break;
    }
    const size_t end = text.find(after, t + 1);
    if (end == std::string_view::npos) return std::nullopt;
    parts.emplace_back(text.substr(t, end - t));
    t = end;
  }
  taken = t;
  return parts;
}

std::string Fill(std::string_view english, const std::vector<std::string>& parts) {
  std::string out;
  size_t next = 0;
  size_t p = 0;
  while (p < english.size()) {
    const size_t hole = english.find("%s", p);
    if (hole == std::string_view::npos) {
      out += english.substr(p);
      break;
    }
    out += english.substr(p, hole - p);
    if (next < parts.size()) out += parts[next++];
    p = hole + 2;
  }
  return out;
}

}  // namespace

const std::vector<TComponentMessage>& ComponentMessages() {
  static const std::vector<TComponentMessage> messages = {
      // The display unit's warning at start-up.
      {"画面モードが不適切です。色数を %s ビットに設定して、起動しなおしてください。",
       "The screen mode is not suitable. Set the display to %s-bit colour and start the game again."},
      {"KILNコンポーネントを、同一フォームに2つ以上貼る事はできません",
       "A form cannot hold more than one display component."},
      // The archive reader.
      {"Kiln Engine Archiveの扱えるデータではありません", "The data is not a Kiln Engine Archive."},
      {"アーカイブ内には指定されたID '%s' を持つデータが見つかりません", "The archive holds no data with the ID '%s'."},
      // The sound unit.
      {"DirectSound3D Listnerの解放に失敗しました", "The 3-D sound listener could not be released."},
      {"一次バッファの解放に失敗しました", "The primary sound buffer could not be released."},
      {"DirectSoundの解放に失敗しました", "The sound device could not be released."},
      {"DirectSoundの協調レベルの設定に失敗しました", "The sound device's cooperative level could not be set."},
      {"一次バッファの作成に失敗しました", "The primary sound buffer could not be created."},
      {"DirectSound3D Listenerの作成に失敗しました", "The 3-D sound listener could not be created."},
      {"チャンネル番号%sは無効です、%s～%sの範囲で指定してください",
       "Channel number %s is not valid; give a number from %s to %s."},
      {"Listenerに指定されたパラメータが不適切です", "The parameters given to the 3-D sound listener are not valid."},
      {"setWaveData 3Dサウンドバッファの解放に失敗しました",
       "setWaveData: the 3-D sound buffer could not be released."},
      {"setWaveData サウンドバッファの解放に失敗しました", "setWaveData: the sound buffer could not be released."},
      {"setWaveData サウンドバッファの複製に失敗しました", "setWaveData: the sound buffer could not be duplicated."},
      {"二次バッファの解放に失敗しました", "The secondary sound buffer could not be released."},
      {"%sが、見つかりません", "%s cannot be found."},
      {"%sは、WAVEファイルではありません", "%s is not a WAVE file."},
      {"%sには、fmtチャンクが有りません", "%s has no fmt chunk."},
      {"%sのfmtチャンクが不正です", "The fmt chunk of %s is not valid."},
      {"%sには、dataチャンクが有りません", "%s has no data chunk."},
      {"サウンドバッファの作成に失敗しました", "The sound buffer could not be created."},
      {"LoadWAV中に、サウンドバッファのロックが失敗しました", "LoadWAV: the sound buffer could not be locked."},
      {"LoadWAV中に、サウンドバッファのアンロックが失敗しました", "LoadWAV: the sound buffer could not be unlocked."},
      {"DirectSoundNotifyオブジェクトの作成に失敗しました", "The sound notification object could not be created."},
      {"NotifyPositionの設定に失敗しました", "The sound notification positions could not be set."},
      {"DirectSoundBufferのロックに失敗しました", "The sound buffer could not be locked."},
      // The input unit.
      {"DirectInputの作成に失敗しました", "The input system could not be created."},
      {"DirectInputDevice(キーボード)の作成に失敗しました", "The keyboard input device could not be created."},
      {"DirectInputDeviceのデータフォーマット(キーボード)の指定に失敗しました",
       "The keyboard's data format could not be set."},
      {"DirectInputDevice(マウス)の作成に失敗しました", "The mouse input device could not be created."},
      {"DirectInputDeviceのデータフォーマット(マウス)の指定に失敗しました",
       "The mouse's data format could not be set."},
      {"DirectInputDeviceのデータフォーマット(ジョイスティック)の指定に失敗しました",
       "The joystick's data format could not be set."},
      {"DirectInputDeviceの協調レベルの設定に失敗しました", "The input device's cooperative level could not be set."},
      // The scene library.
      {"SXLib: %s が、開けません", "SXLib: %s cannot be opened."},
      {"SXLib: 不正なSXファイルです", "SXLib: not a valid SX file."},
      {"SXLib: ストリームからの読み込み中にエラーが発生しました",
       "SXLib: an error occurred while reading from the stream."},
      {"SXLib: VertexBufferがロックできません", "SXLib: the vertex buffer cannot be locked."},
      {"SXLib: VertexBufferがアンロックできません", "SXLib: the vertex buffer cannot be unlocked."},
      {"SXLib: カメラフレームが設定されていません", "SXLib: no camera frame is set."},
      {"TSXLightGroup @ SXLib: 範囲外のライトを参照しようとしました",
       "TSXLightGroup @ SXLib: a light outside the group was asked for."},
      // The display unit's pictures and textures.
      {"LoadBMP中に、読み込みエラーが発生しました", "LoadBMP: a read error occurred."},
      {"LoadBMP中にサーフェスがロックできませんでした", "LoadBMP: the surface could not be locked."},
      {"LoadBMP中にサーフェスがアンロックできませんでした", "LoadBMP: the surface could not be unlocked."},
      {"色数が8ビット～32ビットの範囲のビットマップを、LoadBMPには指定してください",
       "LoadBMP takes bitmaps of 8 to 32 bits per pixel."},
      {"不正なBMPファイルです", "Not a valid BMP file."},
      {"不正なビットマップです", "Not a valid bitmap."},
      {"ビットマップの読みこみ中に、エラーが発生しました", "An error occurred while reading the bitmap."},
      {"アーカイブからのビットマップの読み取りに失敗しました", "The bitmap could not be read from the archive."},
      {"テクスチャ用サーフェスを作れませんでした", "The texture surface could not be created."},
      {"テクスチャの解放に失敗しました", "The texture could not be released."},
      {"サーフェス情報の取得に失敗しました", "The surface description could not be read."},
      {"サーフェスのデバイスコンテキストの取得に失敗しました", "The surface's device context could not be obtained."},
      {"ColorMatchに不正な色が指定されました", "ColorMatch was given a colour that is not valid."},
      {"ColorMatchに失敗しました、サーフェスがロックできません", "ColorMatch failed: the surface cannot be locked."},
      {"ColorMatchに失敗しました、サーフェスのデバイスコンテキストのハンドルが得られません",
       "ColorMatch failed: the surface's device context cannot be obtained."},
  };
  return messages;
}

std::string ComponentMessageInEnglish(const std::string& text) {
  // Where two messages fit, the one that explains more of the text is meant.
  std::optional<Match> best;
  for (const TComponentMessage& m : ComponentMessages()) {
    size_t taken = 0;
    const auto parts = MatchStart(m.japanese, text, taken);
    if (parts && (!best || taken > best->taken)) best = Match{Fill(m.english, *parts), taken};
  }
  if (!best) return text;
  return best->english + text.substr(best->taken);
}
