// The machine's faults scripted through the real program (tests/SXView1/faults/ plays them
// through a whole game tick by tick).
#include "ProgramRun.h"

namespace {

// The script events through the real program: the statistics and the pictures are the
// undisturbed run's, and the loss of sound is said once.
TEST(FaultsProgram, ScriptedFaultsLeaveTheStatisticsAndPicturesAsTheyWere) {
  testsupport::TempDir dir;
  programrun::WriteProgramData(dir);
  const std::string start = "10 down Enter\n11 up Enter\n";
  testsupport::WriteFileText(dir.File("a.txt"), start);
  testsupport::WriteFileText(dir.File("b.txt"), start + "40 audio lost\n50 surfaces lost 2000\n90 audio back\n");
  std::string errors;
  for (const char* name : {"a", "b"}) {
    testing::internal::CaptureStderr();
    const programrun::RunResult r = programrun::RunProgram(
        {"--headless", "--seed=1", "--ticks=150", std::string("--script=") + dir.File(std::string(name) + ".txt"),
         std::string("--stats=") + dir.File(std::string(name) + ".st"),
         std::string("--frame-hashes=") + dir.File(std::string(name) + ".h"), "--data=" + dir.Dir() + "Data"});
    errors = testing::internal::GetCapturedStderr();
    ASSERT_EQ(r.code, 0) << r.err;
  }
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("b.st")), testsupport::ReadFileBytes(dir.File("a.st")));
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("b.h")), testsupport::ReadFileBytes(dir.File("a.h")));
  EXPECT_EQ(errors, "tavvyhop: Sound device lost: the game goes on without sound\ntavvyhop: Sound is back\n");
}

}  // namespace
