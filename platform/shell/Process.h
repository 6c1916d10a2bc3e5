// Starting other programs: the installer for uninstall, later the update helper and the program itself.
#pragma once

#include <chrono>
#include <string>
#include <vector>

// The result of starting a program: its process id, or the errno value that stopped it.
struct ProcessStart {
  long pid = -1;
  int error = 0;
  bool Started() const { return pid > 0; }
};

// Starts `program` (a path; not searched in PATH) with `arguments` as argv[1..], each passed as
// one argument without any shell, in the caller's environment at normal priority. Only the
// standard input, output and error are inherited; every other descriptor is closed in the new
// process. Does not wait: the program runs on after the caller ends. A program that does not
// exist or may not be executed fails with ENOENT or EACCES (reported before this returns).
// A non-empty `workingDirectory` is the program's current folder (one that cannot be entered
// fails the start with its errno); empty keeps the caller's.
ProcessStart StartProcess(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& workingDirectory = {});

// Waits for a process this process started; its exit status (0-255), or -1 when it ended by a
// signal or cannot be waited for.
int WaitForProcess(long pid);

// How waiting for a process that is not necessarily this one's child ended.
enum class ProcessWait { Ended, TimedOut, NotRunning };

// Waits until the process `pid` (any process of the user) has ended, at most `timeout`.
// NotRunning: there is no such process (it ended before, or `pid` is not a process id).
ProcessWait WaitForProcessEnd(long pid, std::chrono::milliseconds timeout);
