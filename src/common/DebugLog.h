// The diagnostic log shared by the three device units (display, sound, input).
//
// Each unit has one log file beside the executable, a line counter and three
// switches: halt-on-error (bit 0), write-lines (bit 1) and a third switch
// (bit 2: detail lines for the display unit, raise-on-every-line for the others).
// The switches belong to the unit, not to a component instance.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/win/WinTypes.h"

namespace dbg {

class TDebugUnit {
 public:
  // `raise` is called after every line when the third switch means "raise" (sound, input);
  // it is empty for the display unit, whose third switch means "detail lines".
  TDebugUnit(std::string fileName, std::function<void(const std::string&)> raise);

  bool HaltOnError() const { return halt_; }
  bool WriteLines() const { return write_; }
  bool ThirdSwitch() const { return third_; }
  int32_t Counter() const { return counter_; }

  // Sets the switches from bits 0, 1 and 2 of a component's DebugOption set.
  void SetSwitches(uint32_t bits);

  // Writes "debug#00001 ... message" + CR LF in the ANSI code page when the write
  // switch is on (the first line of a run empties the file). With a raise handler
  // and the third switch on, raises after the line was (or was not) written.
  // A file that cannot be written (a read-only folder, a full disk) keeps what it held;
  // the player is told once and the line is dropped.
  void Log(const std::string& message);

  // Returns 0 for 0; otherwise logs message + "(Error Code(%X))" and halts or
  // returns the result, as the switches say.
  HRESULT Check(HRESULT result, const std::string& message);

  // Path of the log file (the executable's folder + the file name).
  std::string Path() const;

  // Back to the start-of-run state: counter 0 and the given switches (for tests).
  void ResetForTest(uint32_t bits);

 private:
  std::string fileName_;
  std::function<void(const std::string&)> raise_;
  std::mutex mutex_;
  bool halt_ = true;
  bool write_ = true;
  bool third_ = false;
  int32_t counter_ = 0;
  bool started_ = false;  // this run's file has been written
};

// "(Error Code(%X))" with the 32-bit value of the result.
std::string ErrorCodeSuffix(HRESULT result);

}  // namespace dbg
