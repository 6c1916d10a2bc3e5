// A real Secret Service for one test: the test program runs again, under a session bus of its own
// (dbus-run-session) with an unlocked keyring daemon whose keyrings live in a private home.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

// Why a real Secret Service cannot be started here (the programs it needs are missing: CI installs
// them through scripts/packages/keyring.txt); std::nullopt when it can.
std::optional<std::string> MissingKeyringPrograms();

// True in the test program that RunInKeyringSession started.
bool InKeyringSession();

struct KeyringSessionResult {
  int status = -1;     // exit status of the test program in the session
  std::string output;  // what it wrote (standard output and error)
};

// Runs this test program again with only the tests `filter` names, under dbus-run-session with
// gnome-keyring-daemon unlocked, HOME and XDG_DATA_HOME in `home` (ending in "/") and a private
// XDG_RUNTIME_DIR; waits for it to end.
KeyringSessionResult RunInKeyringSession(const std::string& filter, const std::string& home);

// The body of a test that runs the test `filter` names inside a keyring session and expects it to
// pass; skipped inside the session itself and, with the reason, where the programs are missing.
void ExpectPassesInKeyringSession(const std::string& filter);
