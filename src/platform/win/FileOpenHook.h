// A watch on the files the program opens for reading. A demo recording fingerprints every
// data file the game reads, and its playback checks them, through this one hook.
#pragma once

#include <functional>
#include <string>

namespace win {

// Called with the resolved path of every file opened for reading (after the open succeeded),
// on the thread that opened it. One observer at a time; an empty function removes it.
// Returns the previous observer.
using FileOpenObserver = std::function<void(const std::string& path)>;
FileOpenObserver SetFileOpenObserver(FileOpenObserver observer);

// The file readers of the platform call this after a successful open for reading.
void NoteFileOpenedForReading(const std::string& path);

}  // namespace win
