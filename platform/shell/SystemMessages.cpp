// The installer code table and the system's error texts.
#include "platform/shell/SystemMessages.h"

#include <cstring>
#include <string_view>

namespace {

struct InstallerMessage {
  int code;
  const char* text;
};

// Sorted by code. The texts say what happened and what the user can do about it.
constexpr InstallerMessage kInstallerMessages[] = {
    {1601, "The installer could not be started. Check that the installer program is present beside this program and may be run."},
    {1602, "The installation was cancelled by the user."},
    {1603, "The installation failed because of an unexpected error. Nothing was changed; see the installer's log for details."},
    {1604, "The installation was interrupted and is not complete."},
    {1605, "There is no installed product with this product code, so there is nothing to change or remove."},
    {1612, "The files needed to install this product are not available. Check that the package can still be reached."},
    {1618, "Another installation is running. Wait until it has finished, then try again."},
    {1619, "The installation package could not be opened. Check that the file exists and that you may read it."},
    {1620, "The installation package could not be opened: the file is not a valid installation package."},
    {1622, "The installer could not write its log file. Check that the folder exists and that you may write to it."},
    {1625, "Installing this product is not allowed on this system."},
    {1633, "This installation package is made for another platform."},
    {1638, "Another version of this product is already installed. Remove it first, then install this version."},
    {1639, "The installer was started with arguments it does not accept."},
    {1641, "The installation finished and the system is restarting."},
    {3010, "The installation finished. Restart the system to complete it."},
};

const char* InstallerText(int code) {
  for (const InstallerMessage& message : kInstallerMessages) {
    if (message.code == code) return message.text;
  }
  return nullptr;
}

// strerror_r exists in a GNU form (returns the text) and an XSI form (fills the buffer); take
// whichever the C library declares.
[[maybe_unused]] const char* ErrorText(char* result, const char*) { return result; }
[[maybe_unused]] const char* ErrorText(int result, const char* buffer) { return result == 0 ? buffer : nullptr; }

}  // namespace

bool IsInstallerCode(int code) { return InstallerText(code) != nullptr; }

std::string SystemMessageText(int code) {
  if (const char* text = InstallerText(code)) return text;
  char buffer[256] = {};
  const char* text = ErrorText(strerror_r(code, buffer, sizeof buffer), buffer);
  if (text == nullptr || *text == '\0') return "Unknown error " + std::to_string(code);
  return text;
}
