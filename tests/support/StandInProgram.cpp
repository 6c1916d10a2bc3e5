// Stand-in programs as shell scripts.
#include "tests/support/StandInProgram.h"

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/TempDir.h"

void WriteStandInProgram(const std::string& path) {
  std::ofstream script(path);
  script << "#!/bin/sh\n"
            "me=\"$0\"\n"
            "pwd > \"$me.cwd\"\n"
            "if [ -n \"$WATCH\" ] && kill -0 \"$WATCH\" 2>/dev/null; then echo running > \"$me.watch\"; fi\n"
            "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$me.tmp\" && mv \"$me.tmp\" \"$me.args\"\n"
            "[ -f \"$me.exit\" ] && exit $(cat \"$me.exit\")\n"
            "exit 0\n";
  script.close();
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

std::string StandInArguments(const std::string& path, std::chrono::milliseconds timeout) {
  const std::string arguments = path + ".args";
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!std::filesystem::exists(arguments) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return ReadFileBytes(arguments);
}
