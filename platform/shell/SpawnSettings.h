// posix_spawn's file actions and attributes for a child that inherits only what it is given.
#pragma once

#include <spawn.h>

#include <string>

// Destroyed with the scope. Each step returns 0 or the error number of the call that failed.
class SpawnSettings {
 public:
  SpawnSettings();
  ~SpawnSettings();
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;

  // The child's standard input, output and error become `in`, `out` and `err`; call before Isolate.
  int RedirectStandardStreams(int in, int out, int err);

  // No descriptor beyond 0-2 reaches the child (the instance lock and sockets among them), it
  // starts in `workingDirectory` (empty: the caller's), with default signal handling and nothing
  // blocked, whatever the caller's threads set.
  int Isolate(const std::string& workingDirectory);

  const posix_spawn_file_actions_t* Actions() const { return &mActions; }
  const posix_spawnattr_t* Attributes() const { return &mAttributes; }

 private:
  posix_spawn_file_actions_t mActions;
  posix_spawnattr_t mAttributes;
};
