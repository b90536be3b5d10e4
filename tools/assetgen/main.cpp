// assetgen: writes the game's data set of our own into a folder, and the title picture
// as a C++ source file for the program.
//
//   assetgen [--data DIR] [--title-cpp FILE] [--title-jpeg FILE] [--icons DIR] [--timings]
//
// --timings prints how long each group took (to stderr; the files do not change).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "Common.h"
#include "Icon.h"
#include "WordsEn.h"

int main(int argc, char** argv) {
  std::string data, titleCpp, titleJpeg, icons;
  bool timings = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "assetgen: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      out = argv[++i];
    };
    if (a == "--data")
      value(data);
    else if (a == "--title-cpp")
      value(titleCpp);
    else if (a == "--title-jpeg")
      value(titleJpeg);
    else if (a == "--timings")
      timings = true;
    else if (a == "--icons")
      value(icons);
    else {
      std::fprintf(stderr, "usage: assetgen [--data DIR] [--title-cpp FILE] [--title-jpeg FILE] [--timings]\n");
      return 2;
    }
  }
  if (!icons.empty()) {
    try {
      assetgen::WriteIcons(icons);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "assetgen: %s\n", e.what());
      return 1;
    }
    if (data.empty() && titleCpp.empty() && titleJpeg.empty()) return 0;
  }
  if (data.empty() && titleCpp.empty() && titleJpeg.empty()) {
    std::fprintf(stderr, "usage: assetgen [--data DIR] [--title-cpp FILE] [--title-jpeg FILE] [--timings]\n");
    return 2;
  }
  try {
    using namespace assetgen;
    if (!data.empty()) {
      const std::filesystem::path dir(data);
      std::filesystem::create_directories(dir);
      auto timed = [&](const char* name, void (*write)(const std::filesystem::path&)) {
        const auto t0 = std::chrono::steady_clock::now();
        write(dir);
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        if (timings) std::fprintf(stderr, "assetgen: %-8s %.2f s\n", name, d.count());
      };
      timed("meshes", WriteMeshes);
      timed("textures", WriteTextures);
      timed("sounds", WriteSounds);
      timed("music", WriteMusic);
      timed("texts", WriteTexts);
      timed("english", WriteEnglishWords);
    }
    if (!titleCpp.empty() || !titleJpeg.empty()) {
      const auto jpeg = EncodeJpeg(PaintTitlePicture(), 92);
      if (!titleJpeg.empty()) WriteFile(titleJpeg, jpeg);
      if (!titleCpp.empty()) WriteFile(titleCpp, TitleJpegSource(jpeg));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "assetgen: %s\n", e.what());
    return 1;
  }
  return 0;
}
