// Command line parsing for the program's switches.
#include "app/CSyncCommandLineInfo.h"

#include <cctype>
#include <climits>

#include "common/BuildInfo.h"

void CSyncCommandLineInfo::Parse(const std::vector<std::string>& arguments) {
  for (size_t i = 0; i < arguments.size(); ++i) ParseParam(arguments[i], i + 1 == arguments.size());
}

void CSyncCommandLineInfo::ParseParam(const std::string& token, bool last) {
  // The file of "/report" is its value even when it is an absolute path.
  const bool fileValue = mHasPending && mPendingSwitch == kReport;
  const bool isSwitch = !fileValue && !token.empty() && (token[0] == '/' || token[0] == '-');
  if (isSwitch) {
    if (mHasPending) Record(mPendingSwitch, {});
    mPendingSwitch = token.substr(1);
    mHasPending = true;
    mLastSwitch.clear();
    if (last) {
      Record(mPendingSwitch, {});
      mHasPending = false;
    }
    return;
  }
  if (mHasPending) {
    Record(mPendingSwitch, token);
    mLastSwitch = mPendingSwitch;
    mHasPending = false;
  } else if (!mLastSwitch.empty()) {
    mFurtherValues[mLastSwitch].push_back(token);
  }
}

void CSyncCommandLineInfo::Record(const std::string& name, const std::string& value) {
  mSwitches.emplace(name, value);  // keeps the first occurrence
}

std::string CSyncCommandLineInfo::Value(const std::string& name) const {
  const auto it = mSwitches.find(name);
  return it != mSwitches.end() ? it->second : std::string();
}

std::vector<std::string> CSyncCommandLineInfo::Values(const std::string& name) const {
  std::vector<std::string> values;
  const auto first = mSwitches.find(name);
  if (first == mSwitches.end() || first->second.empty()) return values;
  values.push_back(first->second);
  if (const auto further = mFurtherValues.find(name); further != mFurtherValues.end()) {
    values.insert(values.end(), further->second.begin(), further->second.end());
  }
  return values;
}

std::string CSyncCommandLineInfo::Action() const {
  for (const char* action : {kPreview, kRestore, kReport}) {
    if (Has(action)) return action;
  }
  return {};
}

namespace {

// A whole positive decimal number, or 0.
int PositiveNumber(const std::string& text) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoi(text);
}

}  // namespace

std::string CSyncCommandLineInfo::ActionError() const {
  const int actions = Has(kPreview) + Has(kRestore) + Has(kReport);
  if (actions > 1) return "/preview, /restore and /report cannot be combined";
  const std::vector<std::string> values = Values(Action());
  if (Has(kPreview) && !values.empty()) return "/preview takes no value";
  if (Has(kReport) && values.size() != 1) return "/report needs one FILE";
  if (Has(kRestore)) {
    if (values.empty() || values.size() > 2) return "/restore needs LINK and may take RUN";
    for (const std::string& value : values) {
      if (PositiveNumber(value) == 0) return "/restore: \"" + value + "\" is not a number from 1 up";
    }
  }
  return {};
}

int CSyncCommandLineInfo::RestoreLink() const {
  const std::vector<std::string> values = Values(kRestore);
  return values.empty() ? 0 : PositiveNumber(values[0]);
}

int CSyncCommandLineInfo::RestoreRun() const {
  const std::vector<std::string> values = Values(kRestore);
  return values.size() < 2 ? 1 : PositiveNumber(values[1]);
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
                     "       larkspan /preview | /restore LINK [RUN] | /report FILE\n"
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
                     "  /preview                print what the next synchronization would send, per link and item,\n"
                     "                          changing nothing\n"
                     "  /restore LINK [RUN]     put the items of link LINK (the N of its section \"sync_N\") back as\n"
                     "                          they were before its last synchronization that changed them (RUN 2:\n"
                     "                          the one before, and so on); the next synchronization sends them\n"
                     "  /report FILE            save a report for support (a .tar.gz archive: logs, settings without\n"
                     "                          login and password, link states; no item contents)\n"
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
