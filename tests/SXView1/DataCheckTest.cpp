#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "SXView1/DataCheck.h"
#include "SXView1/ViewData.h"
#include "app/Session.h"
#include "support/TestSupport.h"

namespace {

// A copy of the generated data set that a test may break.
std::string CopyData(const testsupport::TempDir& dir) {
  std::filesystem::create_directories(dir.Path() / "Data");
  for (const auto& e : std::filesystem::directory_iterator(TAVVY_DATA_DIR)) {
    std::filesystem::copy_file(e.path(), dir.Path() / "Data" / e.path().filename());
  }
  return dir.Dir() + "Data/";
}

const data::TDataProblem* Find(const std::vector<data::TDataProblem>& problems, const std::string& name) {
  auto it = std::find_if(problems.begin(), problems.end(), [&](const data::TDataProblem& p) {
    return p.path.size() >= name.size() && p.path.compare(p.path.size() - name.size(), name.size(), name) == 0;
  });
  return it == problems.end() ? nullptr : &*it;
}

TEST(DataCheck, TheGeneratedDataSetHasNoProblem) {
  for (const auto& p : CheckGameData(TAVVY_DATA_DIR)) ADD_FAILURE() << data::Describe(p);
}

TEST(DataCheck, EveryBrokenFileIsFoundAtOnceWithWhatTheGameDoesAboutIt) {
  testsupport::TempDir dir;
  const std::string data = CopyData(dir);
  // The target's mesh, read by the game only when the target comes in.
  testsupport::WriteFileText(data + "pigzam.sx", "Simplified_X01");
  std::filesystem::remove(data + "earth.bmp");
  std::filesystem::resize_file(data + "gunshot.wav", std::filesystem::file_size(data + "gunshot.wav") / 2);
  std::filesystem::remove(data + "bgm_a.wav");
  std::filesystem::create_directories(data + "bgm_a.wav");
  testsupport::WriteFileText(data + "words.dat", "one\ntwo\n");
  testsupport::WriteFileText(data + "View.dat", "1,2,3\n");
  std::filesystem::resize_file(data + "missile.wav", uintmax_t(2) << 30);

  const auto problems = CheckGameData(data);
  ASSERT_EQ(problems.size(), 7u);
  using data::TDataEffect;
  auto expect = [&](const std::string& name, const std::string& what, TDataEffect effect) {
    const data::TDataProblem* p = Find(problems, name);
    ASSERT_TRUE(p) << name;
    EXPECT_NE(p->what.find(what), std::string::npos) << data::Describe(*p);
    EXPECT_EQ(p->effect, effect) << name;
  };
  expect("pigzam.sx", "is cut short inside its header", TDataEffect::Stops);
  expect("earth.bmp", "is missing", TDataEffect::GoesOn);
  expect("gunshot.wav", "is cut short: its sound data should be", TDataEffect::GoesOn);
  expect("bgm_a.wav", "is a folder", TDataEffect::GoesOn);
  expect("words.dat", "holds 2 message lines of the 13", TDataEffect::GoesOn);
  expect("View.dat", "(line 1): List index out of bounds (3)", TDataEffect::Stops);
  expect("missile.wav", "is 2147483648 bytes", TDataEffect::Stops);
}

TEST(DataCheck, TheProgramStopsBeforeTheTitleAndSaysWhy) {
  testsupport::TempDir dir;
  const std::string data = CopyData(dir);
  std::filesystem::remove(data + "pigzam.sx");
  std::filesystem::remove(data + "fire.bmp");
  std::ostringstream out, err;
  const int code =
      RunTavvyhop({"--headless", "--ticks=5", "--stats=" + dir.File("st.txt"), "--data=" + data}, out, err);
  EXPECT_EQ(code, data::kDataProblemExitCode);
  // The problems come first (the program may add its own lines after them).
  EXPECT_EQ(err.str().rfind("tavvyhop: " + data + "pigzam.sx: is missing; the game cannot do without it and stops.\n" +
                                "tavvyhop: " + data + "fire.bmp: is missing; the game goes on without this picture.\n",
                            0),
            0u)
      << err.str();
  EXPECT_EQ(testsupport::ReadFileText(dir.File("st.txt")), "");  // not a tick
  // A tolerated problem alone: the game plays, and says it once.
  testsupport::WriteFileText(data + "pigzam.sx", testsupport::ReadFileText(std::string(TAVVY_DATA_DIR) + "pigzam.sx"));
  std::ostringstream out2, err2;
  EXPECT_EQ(RunTavvyhop({"--headless", "--ticks=5", "--data=" + data}, out2, err2), 0);
  EXPECT_EQ(err2.str().rfind("tavvyhop: " + data + "fire.bmp: is missing; the game goes on without this picture.\n", 0),
            0u)
      << err2.str();
  EXPECT_EQ(err2.str().find("fire.bmp", err2.str().find('\n')), std::string::npos) << "said once";
}

}  // namespace

namespace {

TEST(WordsData, LineByLineAndWholeTextGiveTheSameLines) {
  testsupport::TempDir dir;
  for (const std::string& text :
       {std::string("\xEF\xBB\xBF"), std::string("\xEF\xBB\xBF\r\n"), std::string("\xEF\xBB"), std::string("a\r\r\nb"),
        std::string("\xEF\xBB\xBF\xe6\x95\xb5\n\xff"), std::string("\x82\xa0\0more", 7), std::string("")}) {
    testsupport::WriteFileText(dir.File("w.dat"), text);
    EXPECT_EQ(ReadWordsLines(dir.File("w.dat")), DecodeWordsText(text)) << text;
  }
  // A line past the limit names the file and the limit.
  testsupport::WriteFileText(dir.File("long.dat"), std::string(70000, 'x'));
  try {
    ReadWordsLines(dir.File("long.dat"));
    ADD_FAILURE();
  } catch (const rtl::EReadError& e) {
    EXPECT_EQ(std::string(e.what()), dir.File("long.dat") + ": line 1 is longer than 65536 bytes");
  }
}

}  // namespace
