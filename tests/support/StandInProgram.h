// A stand-in for a program the code under test starts (installer, helper, the program itself):
// a shell script that records how it was started and ends with a chosen status.
#pragma once

#include <chrono>
#include <string>

// Writes the script at `path` (made executable). When run it writes its current folder into
// `<path>.cwd`, "running" into `<path>.watch` when the process $WATCH still runs, its arguments
// one a line into `<path>.args` (renamed into place, so a reader never sees half of them), and
// exits with the number in `<path>.exit` (0 without that file).
void WriteStandInProgram(const std::string& path);

// The recorded arguments of the stand-in at `path`, waited for up to `timeout` (a program started
// without being waited for writes them on its own time); "" when they never came.
std::string StandInArguments(const std::string& path, std::chrono::milliseconds timeout = std::chrono::seconds(10));
