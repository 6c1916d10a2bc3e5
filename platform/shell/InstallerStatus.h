// How the installer's result codes (1601-1699) pass through a process exit status of 8 bits.
#pragma once

// The exit status for `code`: 0 stays 0, an installer code becomes 100 + (code - 1600), a small
// system error number (1-99) stays itself, anything else becomes 255.
constexpr int InstallerExitStatus(unsigned code) {
  if (code == 0) return 0;
  if (code > 1600 && code < 1700) return static_cast<int>(code - 1500);
  return code < 100 ? static_cast<int>(code) : 255;
}

// The code an installer's exit status stands for; `status` -1 (the installer ended by a signal)
// reads as 1603, the installer's fatal error.
constexpr unsigned InstallerCodeFromExitStatus(int status) {
  if (status < 0) return 1603;
  if (status > 100 && status < 200) return static_cast<unsigned>(status) + 1500;
  return static_cast<unsigned>(status);
}
