#include "SXView1/DataCheck.h"

#include "SXView1/ViewData.h"
#include "SXlib/SXFile.h"
#include "common/DataFiles.h"
#include "ddsd/WaveFile.h"
#include "platform/forms/Graphics.h"
#include "platform/rtl/Classes.h"

namespace {

using data::TDataEffect;
using data::TDataProblem;

// The files, in the order the game reads them.
constexpr const char* kMeshes[] = {"dotai.sx",  "nata.sx", "kyu.sx",     "colony.sx", "sankaku.sx",
                                   "fire_s.sx", "beam.sx", "missile.sx", "ball.sx",   "gm.sx",
                                   "core.sx",   "Bomb.sx", "Bomb_s.sx",  "pigzam.sx"};
constexpr const char* kTextures[] = {"earth.bmp", "metal.bmp", "beam.bmp", "beam2.bmp", "fire.bmp"};
constexpr const char* kEffects[] = {"gunshot.wav",  "rocket.wav", "exprosion.wav",   "info.wav",   "crash.wav",
                                    "gunshot2.wav", "nata.wav",   "exprosion_s.wav", "missile.wav"};
constexpr const char* kTunes[] = {"bgm_b.wav", "bgm_a.wav", "clear.wav"};

// The message lines the game shows (0 to 12).
constexpr size_t kMessageLines = 13;

// Reads a text file the game cannot do without through `read`; what goes wrong is a
// problem that stops the game.
template <class Read>
bool ReadText(const std::string& path, std::vector<TDataProblem>& problems, Read&& read) {
  std::string problem = data::ProbeProblem(path, data::TDataKind::Text);
  if (problem.empty()) {
    try {
      read();
    } catch (const std::exception& e) {
      problem = std::string("cannot be read: ") + e.what();
    }
  }
  if (!problem.empty()) problems.push_back({path, problem, TDataEffect::Stops, {}});
  return problem.empty();
}

void CheckView(const std::string& path, std::vector<TDataProblem>& problems) {
  std::vector<std::string> lines;
  const bool read = ReadText(path, problems, [&] {
    lines = ReadViewLines(path);
    TViewMatrices views{};
    ParseViewLines(lines, path, views);
  });
  if (!read) return;
  // Slot 2 is the view every stage starts with; a slot without a line is all zero, and an
  // all-zero camera sees nothing.
  if (lines.size() < 4) {
    problems.push_back({path, "holds " + std::to_string(lines.size()) + " camera placements of 4", TDataEffect::GoesOn,
                        lines.size() < 3 ? "the game goes on, but its 3-D view stays black"
                                         : "the game goes on; the view without a placement shows nothing"});
  }
}

void CheckWords(const std::string& path, std::vector<TDataProblem>& problems) {
  std::vector<std::string> lines;
  if (!ReadText(path, problems, [&] { lines = ReadWordsLines(path); })) return;
  if (lines.size() < kMessageLines) {
    problems.push_back({path,
                        "holds " + std::to_string(lines.size()) + " message lines of the " +
                            std::to_string(kMessageLines) + " the game shows",
                        TDataEffect::GoesOn, "the game goes on and shows the missing ones empty"});
  }
}

void CheckTexture(const std::string& path, std::vector<TDataProblem>& problems) {
  if (std::string problem = CheckBitmapFile(path); !problem.empty()) {
    problems.push_back({path, problem, TDataEffect::GoesOn, "the game goes on without this picture"});
  }
}

void CheckPicture(const std::string& path, std::vector<TDataProblem>& problems, int width = 0, int height = 0) {
  if (std::string problem = CheckBitmapFile(path); !problem.empty()) {
    problems.push_back({path, problem, TDataEffect::Stops, {}});
    return;
  }
  if (width == 0) return;
  forms::TBitmap bitmap;
  bitmap.LoadFromFile(path);
  if (bitmap.Width() != width || bitmap.Height() != height) {
    problems.push_back({path,
                        "is " + std::to_string(bitmap.Width()) + " x " + std::to_string(bitmap.Height()) +
                            " pixels, not " + std::to_string(width) + " x " + std::to_string(height),
                        TDataEffect::GoesOn, "the game goes on; what lies outside the picture shows black"});
  }
}

void CheckEffect(const std::string& path, std::vector<TDataProblem>& problems) {
  TWaveProblem p = CheckWaveFile(path);
  if (p.what.empty()) return;
  problems.push_back({path, p.what, p.plays ? TDataEffect::GoesOn : TDataEffect::Stops,
                      p.plays ? "the game plays what it holds" : ""});
}

void CheckTune(const std::string& path, std::vector<TDataProblem>& problems) {
  // A missing tune is part of the game's rules: the music is simply not played.
  const std::string refused = data::ProbeProblem(path, data::TDataKind::Music);
  if (!refused.empty()) {
    problems.push_back({path, refused, TDataEffect::GoesOn, "the game plays without this tune"});
    return;
  }
  // Tunes are streamed raw into a buffer of 44100 Hz 16-bit stereo; another format is
  // played all the same, and sounds wrong.
  TWaveProblem p = CheckWaveFile(path, true);
  const char* consequence = "the game streams it as it is, and it may sound wrong";
  if (!p.what.empty() && !p.plays) {
    problems.push_back({path, p.what, TDataEffect::GoesOn, consequence});
    return;
  }
  std::string name = path;
  if (HMMIO file = mmioOpenA(name.data(), nullptr, MMIO_ALLOCBUF | MMIO_READ)) {
    TWaveLayout layout;
    const TWaveStep step = DescendWave(file, layout);
    mmioClose(file, 0);
    const WAVEFORMATEX& f = layout.format;
    if (step == TWaveStep::Found && (f.nSamplesPerSec != 44100 || f.wBitsPerSample != 16 || f.nChannels != 2)) {
      problems.push_back({path,
                          "is not 44100 Hz 16-bit stereo (" + std::to_string(f.nSamplesPerSec) + " Hz, " +
                              std::to_string(f.wBitsPerSample) + " bits, " + std::to_string(f.nChannels) + " channels)",
                          TDataEffect::GoesOn, consequence});
    }
  }
}

}  // namespace

std::string CheckBitmapFile(const std::string& path) {
  if (std::string refused = data::ProbeProblem(path, data::TDataKind::Bitmap); !refused.empty()) return refused;
  try {
    forms::TBitmap bitmap;
    bitmap.LoadFromFile(path);
  } catch (const rtl::EReadError&) {
    return "is cut short";
  } catch (const std::exception& e) {
    return std::string("is not a picture that can be read (") + e.what() + ")";
  }
  return {};
}

std::vector<data::TDataProblem> CheckGameData(const std::string& dataDir, const std::string& wordsFile) {
  std::vector<TDataProblem> problems;
  CheckView(dataDir + "View.dat", problems);
  CheckPicture(dataDir + "tavvy.bmp", problems);
  for (const char* name : kEffects) CheckEffect(dataDir + name, problems);
  CheckWords(dataDir + wordsFile, problems);
  for (const char* name : kMeshes) {
    const std::string path = dataDir + name;
    if (std::string problem = CheckSxFile(path); !problem.empty()) {
      problems.push_back({path, problem, TDataEffect::Stops, {}});
    }
  }
  for (const char* name : kTextures) CheckTexture(dataDir + name, problems);
  // The explosion sheet is cut into 4 x 4 tiles of 128 x 128.
  CheckPicture(dataDir + "bakuhatu.bmp", problems, 512, 512);
  CheckPicture(dataDir + "title.bmp", problems);
  for (const char* name : kTunes) CheckTune(dataDir + name, problems);
  return problems;
}
