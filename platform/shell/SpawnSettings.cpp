// posix_spawn settings shared by every program start.
#include "platform/shell/SpawnSettings.h"

#include <csignal>

SpawnSettings::SpawnSettings() {
  posix_spawn_file_actions_init(&mActions);
  posix_spawnattr_init(&mAttributes);
}

SpawnSettings::~SpawnSettings() {
  posix_spawnattr_destroy(&mAttributes);
  posix_spawn_file_actions_destroy(&mActions);
}

int SpawnSettings::RedirectStandardStreams(int in, int out, int err) {
  if (int error = posix_spawn_file_actions_adddup2(&mActions, in, 0); error != 0) return error;
  if (int error = posix_spawn_file_actions_adddup2(&mActions, out, 1); error != 0) return error;
  return posix_spawn_file_actions_adddup2(&mActions, err, 2);
}

int SpawnSettings::Isolate(const std::string& workingDirectory) {
  if (int error = posix_spawn_file_actions_addclosefrom_np(&mActions, 3); error != 0) return error;
  if (!workingDirectory.empty()) {
    if (int error = posix_spawn_file_actions_addchdir_np(&mActions, workingDirectory.c_str()); error != 0) return error;
  }
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  if (int error = posix_spawnattr_setsigmask(&mAttributes, &none); error != 0) return error;
  if (int error = posix_spawnattr_setsigdefault(&mAttributes, &all); error != 0) return error;
  return posix_spawnattr_setflags(&mAttributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}
