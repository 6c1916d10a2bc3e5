// The scheduled sync task in the user's crontab.
#include "platform/scheduler/SyncScheduler.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <vector>

#include "config/CConf.h"
#include "config/CLog.h"
#include "platform/scheduler/PipedProgram.h"
#include "platform/shell/UserFolders.h"

namespace {

constexpr const char* kOperation = "SyncScheduler";
constexpr int kMinutesPerDay = 1440;
constexpr int kStartDelayMinutes = 5;
// The program file the task starts, in the program folder.
constexpr const char* kProgramFileName = "larkspan";

std::string CurrentUserName() {
  if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr) return entry->pw_name;
  const char* user = std::getenv("USER");
  return user != nullptr ? user : "";
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A crontab field listing `values` (sorted), or "*" when they are every value below `all`.
std::string CronField(const std::set<int>& values, int all) {
  if (static_cast<int>(values.size()) == all) return "*";
  std::string field;
  for (const int value : values) {
    if (!field.empty()) field += ',';
    field += std::to_string(value);
  }
  return field;
}

// The program path as one shell word that cron passes on unchanged: single-quoted, and "%"
// (a line break for cron) escaped.
std::string CronShellWord(const std::string& text) {
  std::string word = "'";
  for (const char c : text) {
    if (c == '\'') {
      word += "'\\''";
    } else if (c == '%') {
      word += "\\%";
    } else {
      word += c;
    }
  }
  return word + "'";
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

// A program's error output as one line of a message: trailing line breaks dropped, at most 300 bytes.
std::string TrimmedMessage(std::string text) {
  constexpr std::size_t kLongest = 300;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.size() > kLongest) text = text.substr(0, kLongest) + "...";
  return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

std::optional<int> SyncScheduler::IntervalMinutes(int schedulePeriod) {
  switch (schedulePeriod) {
    case 0: return 30;
    case 1: return 60;
    case 2: return 360;
    case 3: return 720;
    case 4: return kMinutesPerDay;
    default: return std::nullopt;
  }
}

SyncScheduler::SyncScheduler(std::string programPath, std::string userName, std::string crontabProgram)
    : mProgramPath(std::move(programPath)), mUserName(std::move(userName)), mCrontabProgram(std::move(crontabProgram)) {}

bool SyncScheduler::CrontabInstalled(const std::string& crontabProgram) {
  const auto executable = [](const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
  };
  if (crontabProgram.find('/') != std::string::npos) return executable(crontabProgram);
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (executable((folder.empty() ? std::string(".") : folder) + "/" + crontabProgram)) return true;
  }
  return false;
}

SyncScheduler SyncScheduler::ForRunningProgram() {
  return SyncScheduler(ProgramFolder() + kProgramFileName, CurrentUserName());
}

std::string SyncScheduler::TaskName() const { return FileNameOf(mProgramPath) + " (" + mUserName + ")"; }

std::string SyncScheduler::TaskTag() const { return " # " + TaskName(); }

bool SyncScheduler::IsTaskLine(const std::string& line) const {
  const std::string tag = TaskTag();
  return line.size() > tag.size() && line.compare(line.size() - tag.size(), tag.size(), tag) == 0 &&
         line.front() != '#';
}

// A daily trigger from the start time on, repeated every interval within the day: the times of
// day are start + k * interval (mod one day), which cron writes as minutes times hours.
std::optional<std::string> SyncScheduler::TaskLine(int schedulePeriod, const std::tm& localNow) const {
  const std::optional<int> interval = IntervalMinutes(schedulePeriod);
  if (!interval || HasLineBreak(mProgramPath) || HasLineBreak(mUserName)) return std::nullopt;
  const int start = (localNow.tm_hour * 60 + localNow.tm_min + kStartDelayMinutes) % kMinutesPerDay;
  std::set<int> minutes;
  std::set<int> hours;
  for (int time = 0; time < kMinutesPerDay; time += *interval) {
    const int at = (start + time) % kMinutesPerDay;
    minutes.insert(at % 60);
    hours.insert(at / 60);
  }
  return CronField(minutes, 60) + " " + CronField(hours, 24) + " * * * " + CronShellWord(mProgramPath) + " /silent" +
         TaskTag();
}

ScheduleResult SyncScheduler::Apply(const CConf& conf, std::time_t now, std::string* failure) const {
  std::tm local{};
  localtime_r(&now, &local);
  return Apply(conf.UseSchedule(), conf.SchedulePeriod(), local, failure);
}

ScheduleResult SyncScheduler::Apply(bool useSchedule, int schedulePeriod, const std::tm& localNow, std::string* failure) const {
  std::string reason;
  const ScheduleResult result = ApplyLine(useSchedule, schedulePeriod, localNow, reason);
  if (failure != nullptr) *failure = reason;
  return result;
}

ScheduleResult SyncScheduler::ApplyLine(bool useSchedule, int schedulePeriod, const std::tm& localNow, std::string& failure) const {
  std::optional<std::string> newLine;
  if (useSchedule) {
    newLine = TaskLine(schedulePeriod, localNow);
    // An unknown period gives no new trigger: the task keeps the one it has.
    if (!newLine && IntervalMinutes(schedulePeriod)) {
      failure = "the program path or the user name holds a line break: " + mProgramPath;
      LogError(kOperation, failure);
      return ScheduleResult::NotApplied;
    }
    if (!newLine) return ScheduleResult::Unchanged;
  }
  bool missing = false;
  const std::optional<std::string> current = ReadCrontab(failure, missing);
  // Without a crontab program there is no task line to remove either.
  if (missing) return useSchedule ? ScheduleResult::NoCrontabProgram : ScheduleResult::Unchanged;
  if (!current) return ScheduleResult::NotApplied;

  std::string content;
  bool found = false;
  for (const std::string& line : SplitLines(*current)) {
    if (!IsTaskLine(line)) {
      content += line + "\n";
    } else if (!found && newLine) {
      content += *newLine + "\n";  // the task keeps its place among the other lines
      found = true;
    } else {
      found = true;
    }
  }
  if (!found && !newLine) return ScheduleResult::Unchanged;
  if (!found) content += *newLine + "\n";
  if (content == *current) return ScheduleResult::Unchanged;
  if (!WriteCrontab(content, failure)) return ScheduleResult::NotApplied;
  LogDebug(kOperation, newLine ? "task written: " + *newLine : "task removed: " + TaskName());
  return newLine ? ScheduleResult::Applied : ScheduleResult::Removed;
}

std::optional<std::string> SyncScheduler::ReadCrontab(std::string& failure, bool& missing) const {
  const PipedRun run = RunPiped(mCrontabProgram, {"-l"}, "");
  if (!run.started) {
    missing = run.error == ENOENT || run.error == EACCES;
    failure = mCrontabProgram + " cannot be started: " + std::strerror(run.error);
    LogError(kOperation, failure + "; the schedule is not applied");
    return std::nullopt;
  }
  if (run.Succeeded()) return run.output;
  // crontab says so on stderr when the user has none yet; any other failure may hide lines that
  // a rewrite would lose, so nothing is written then.
  if (run.output.empty() && run.errorOutput.rfind("no crontab for", 0) == 0) return std::string();
  failure = mCrontabProgram + " -l failed: " + TrimmedMessage(run.errorOutput);
  LogError(kOperation, failure);
  return std::nullopt;
}

bool SyncScheduler::WriteCrontab(const std::string& content, std::string& failure) const {
  const PipedRun run = RunPiped(mCrontabProgram, {"-"}, content);
  if (run.Succeeded()) return true;
  failure = mCrontabProgram + " - failed: " + TrimmedMessage(run.errorOutput);
  LogError(kOperation, failure);
  return false;
}
