// Running the whole program in a test: in-process (headless) or as a process in a fresh
// X server (Xvfb), with the generated data set.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Form1Fixture.h"
#include "app/Session.h"
#include "support/TestSupport.h"

namespace programrun {

inline std::vector<std::vector<long>> ReadStats(const std::string& path) {
  std::vector<std::vector<long>> rows;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<long> row;
    long v;
    while (fields >> v) row.push_back(v);
    rows.push_back(row);
  }
  return rows;
}

struct RunResult {
  int code;
  std::string out, err;
};

// The real program builds its whole scene at start-up, so a run needs the meshes and
// pictures of the generated data set beside the small start-up files.
inline void WriteProgramData(const testsupport::TempDir& dir) {
  WriteData(dir);
  for (const auto& e : std::filesystem::directory_iterator(TAVVY_DATA_DIR)) {
    const std::filesystem::path name = e.path().filename();
    const bool scene = name.extension() == ".sx" || (name.extension() == ".bmp" && name != "tavvy.bmp");
    if (scene)
      std::filesystem::copy_file(e.path(), dir.Path() / "Data" / name,
                                 std::filesystem::copy_options::overwrite_existing);
  }
}

// The whole generated data set: runs with a window need it, because the start-up check
// would show what the small start-up files lack in a message box before the dialog.
inline void WriteWholeDataSet(const testsupport::TempDir& dir) {
  WriteProgramData(dir);
  for (const auto& e : std::filesystem::directory_iterator(TAVVY_DATA_DIR)) {
    std::filesystem::copy_file(e.path(), dir.Path() / "Data" / e.path().filename(),
                               std::filesystem::copy_options::overwrite_existing);
  }
}

inline RunResult RunProgram(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = RunTavvyhop(args, out, err);
  return {code, out.str(), err.str()};
}

inline bool Have(const char* tool) {
  std::string cmd = std::string("command -v ") + tool + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// Runs a shell script inside a fresh X server; returns its exit status.
// Each test process starts looking for a free display at its own number, so that
// tests running side by side do not race for the same one.
inline int InXvfb(const std::string& script, const testsupport::TempDir& dir) {
  testsupport::WriteFileText(dir.File("run.sh"), script);
  std::string cmd = "xvfb-run -a -n " + std::to_string(100 + getpid() % 800) + " -s '-screen 0 1024x768x24' bash " +
                    dir.File("run.sh") + " > " + dir.File("log.txt") + " 2>&1";
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace programrun
