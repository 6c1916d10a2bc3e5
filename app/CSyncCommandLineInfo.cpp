// Command line parsing for the program's switches.
#include "app/CSyncCommandLineInfo.h"

#include <cctype>
#include <climits>

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
