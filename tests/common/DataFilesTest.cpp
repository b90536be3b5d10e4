#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "common/DataFiles.h"
#include "common/DataReport.h"
#include "platform/rtl/SysUtils.h"
#include "support/TestSupport.h"

namespace {

TEST(DataFiles, FoldersDevicesAndOversizedFilesAreRefusedByName) {
  testsupport::TempDir dir;
  using data::TDataKind;
  EXPECT_EQ(data::ProbeProblem(dir.File("none.sx"), TDataKind::Mesh), "is missing");
  std::filesystem::create_directories(dir.Path() / "dotai.sx");
  EXPECT_EQ(data::ProbeProblem(dir.File("dotai.sx"), TDataKind::Mesh), "is a folder, not a file");
  ASSERT_EQ(::mkfifo(dir.File("words.dat").c_str(), 0600), 0);
  EXPECT_EQ(data::ProbeProblem(dir.File("words.dat"), TDataKind::Text),
            "is not a plain file (a device, pipe or socket)");
  // Sizes: one byte past the limit of its kind is refused, the limit itself is not.
  for (TDataKind kind : {TDataKind::Mesh, TDataKind::Bitmap, TDataKind::Wave, TDataKind::Text}) {
    const std::string path = dir.File("f");
    std::ofstream(path).close();
    std::filesystem::resize_file(path, static_cast<uintmax_t>(data::MaxBytes(kind)));
    EXPECT_EQ(data::ProbeProblem(path, kind), "");
    std::filesystem::resize_file(path, static_cast<uintmax_t>(data::MaxBytes(kind)) + 1);
    EXPECT_NE(data::ProbeProblem(path, kind).find("more than the " + std::to_string(data::MaxBytes(kind)) + " bytes"),
              std::string::npos);
  }
  // Names are matched as the loaders match them: exactly, then ignoring case.
  testsupport::WriteFileText(dir.File("View.DAT"), "1");
  EXPECT_EQ(data::ProbeProblem(dir.File("view.dat"), TDataKind::Text), "");
  EXPECT_EQ(data::DescribeBytes(uint64_t(2) << 30), "2147483648 bytes (2.0 GiB)");
}

TEST(DataReport, EachFileIsToldOnceAndABatchComesTogether) {
  std::vector<std::vector<std::string>> batches;
  data::ForgetReports();
  data::SetDataSink([&](const std::vector<data::TDataProblem>& problems) {
    batches.emplace_back();
    for (const auto& p : problems) batches.back().push_back(data::Describe(p));
  });
  data::Report({{"a.sx", "is missing", data::TDataEffect::Stops, {}},
                {"b.bmp", "is empty", data::TDataEffect::GoesOn, {}},
                {"a.sx", "is missing again", data::TDataEffect::Stops, {}}});
  data::Report("b.bmp", "is cut short", data::TDataEffect::GoesOn);
  data::Report("c.wav", "is cut short", data::TDataEffect::GoesOn, "the game plays what it holds");
  EXPECT_TRUE(data::Reported("a.sx"));
  EXPECT_FALSE(data::Reported("d.dat"));
  try {
    data::Stop("d.dat", "is missing");
    ADD_FAILURE();
  } catch (const rtl::EHalt& halt) {
    EXPECT_EQ(halt.ExitCode, data::kDataProblemExitCode);
  }
  data::SetDataSink(nullptr);
  data::ForgetReports();
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[0], (std::vector<std::string>{"a.sx: is missing; the game cannot do without it and stops.",
                                                  "b.bmp: is empty; the game goes on without it."}));
  EXPECT_EQ(batches[1], (std::vector<std::string>{"c.wav: is cut short; the game plays what it holds."}));
  EXPECT_EQ(batches[2], (std::vector<std::string>{"d.dat: is missing; the game cannot do without it and stops."}));
}

}  // namespace
