// Running a short-lived program with text on its standard input and its output collected.
#pragma once

#include <string>
#include <vector>

// What a piped run of a program came to.
struct PipedRun {
  bool started = false;
  // errno of a failed start (ENOENT: no such program in PATH).
  int error = 0;
  // Exit status 0-255; -1 when it ended by a signal or its output exceeded the ceiling.
  int exitStatus = -1;
  std::string output;
  std::string errorOutput;

  bool Succeeded() const { return started && exitStatus == 0; }
};

// Output beyond this many bytes (on either stream) makes the run fail.
inline constexpr std::size_t kPipedOutputCeiling = 1 << 20;

// Runs `program` (looked up in PATH when it holds no "/") with `arguments`, writes `input` to its
// standard input and closes it, collects standard output and error, and waits for its end.
PipedRun RunPiped(const std::string& program, const std::vector<std::string>& arguments, const std::string& input);
