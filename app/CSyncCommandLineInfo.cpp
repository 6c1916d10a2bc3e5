// Command line parsing for the program's switches.
#include "app/CSyncCommandLineInfo.h"

#include <cctype>
#include <climits>

#include "common/BuildInfo.h"

void CSyncCommandLineInfo::Parse(const std::vector<std::string>& arguments) {
  for (size_t i = 0; i < arguments.size(); ++i) ParseParam(arguments[i], i + 1 == arguments.size());
}

void CSyncCommandLineInfo::ParseParam(const std::string& token, bool last) {
  const bool isSwitch = !token.empty() && (token[0] == '/' || token[0] == '-');
  if (isSwitch) {
    if (mHasPending) Record(mPendingSwitch, {});
    mPendingSwitch = token.substr(1);
    mHasPending = true;
    if (last) {
      Record(mPendingSwitch, {});
      mHasPending = false;
    }
    return;
  }
  if (mHasPending) {
    Record(mPendingSwitch, token);
    mHasPending = false;
  }
}

void CSyncCommandLineInfo::Record(const std::string& name, const std::string& value) {
  mSwitches.emplace(name, value);  // keeps the first occurrence
}

std::string CSyncCommandLineInfo::Value(const std::string& name) const {
  const auto it = mSwitches.find(name);
  return it != mSwitches.end() ? it->second : std::string();
}

int CSyncCommandLineInfo::IntValue(const std::string& name) const { return LeadingInt(Value(name)); }

int CSyncCommandLineInfo::LeadingInt(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  long long value = 0;
  for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos) {
    value = value * 10 + (text[pos] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;  // clamped below; stop before overflow
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::string CSyncCommandLineInfo::UsageText() {
  return std::string("Usage: larkspan [/silent] [/status CODE] [/uninstall PRODUCT-CODE]\n"
                     "       larkspan --help | --version\n"
                     "\n"
                     "Keeps the contacts, calendar events and tasks on this computer in step with an account on a\n"
                     "SyncML server. Without switches the main window opens (after the configuration wizard while\n"
                     "the configuration is not complete).\n"
                     "\n"
                     "  /silent                 synchronize every link without asking anything, then exit (what the\n"
                     "                          scheduled synchronization runs)\n"
                     "  /status CODE            report the installer's exit code CODE, then exit (0: start normally)\n"
                     "  /uninstall PRODUCT-CODE remove the installation with that product code, then exit\n"
                     "  --help, -h              show this text and exit\n"
                     "  --version               show the version and exit\n"
                     "\n"
                     "Switches may begin with \"/\" or \"-\". Settings and the log of the last synchronization are\n"
                     "kept in $XDG_DATA_HOME/") +
         BuildInfo::kCompanyName + "/" + BuildInfo::kProductName + "/ (by default ~/.local/share/" + BuildInfo::kCompanyName + "/" +
         BuildInfo::kProductName + "/).\nSee the larkspan(1) manual page.\n";
}

std::string CSyncCommandLineInfo::VersionText() {
  return std::string("larkspan (") + BuildInfo::kProductName + ") " + BuildInfo::kProductVersion + "\n" + BuildInfo::kLegalNotice + "\n";
}
