// The scheduled sync task: one line of the user's crontab that starts the program with "/silent".
#pragma once

#include <ctime>
#include <optional>
#include <string>

class CConf;

// How applying the schedule ended.
enum class ScheduleResult {
  Applied,     // the task's line was written (added or replaced)
  Removed,     // the schedule is off and the task's line was taken out
  Unchanged,   // nothing to write: the crontab already says what the settings say
  NotApplied,  // the crontab program failed, or the program path cannot be scheduled
  NoCrontabProgram,  // the schedule is on, but there is no crontab program to keep it
};

// The task of one program for one user. The task is named "<program file name> (<user>)"; its
// crontab line ends with " # " and that name, which is how it is found again. Lines without that
// tag are never changed, reordered or removed. Nothing here throws; failures are logged and give
// NotApplied (with the reason for the user) or NoCrontabProgram, which the caller shows. Stateless
// between calls; any thread.
class SyncScheduler {
 public:
  // Minutes between runs for `schedulePeriod` 0..4 (30, 60, 360, 720, 1440); nullopt otherwise.
  static std::optional<int> IntervalMinutes(int schedulePeriod);

  // `programPath`: absolute path of the program the task runs; `userName`: the user whose crontab
  // holds it; `crontabProgram`: the crontab command ("crontab" is looked up in PATH).
  SyncScheduler(std::string programPath, std::string userName, std::string crontabProgram = "crontab");

  // The task of the running program (its own file) for the current user.
  static SyncScheduler ForRunningProgram();

  // Whether `crontabProgram` can be started: a path to an executable file, or a name found as one
  // in a folder of PATH.
  static bool CrontabInstalled(const std::string& crontabProgram = "crontab");

  // "<program file name> (<user>)".
  std::string TaskName() const;

  // The task's crontab line for `schedulePeriod` when it is saved at `localNow`: the first run at
  // `localNow` plus five minutes, then every interval for the day, every day. nullopt for an
  // unknown period, or a program path or user name that a crontab line cannot carry (a line break).
  std::optional<std::string> TaskLine(int schedulePeriod, const std::tm& localNow) const;

  // Applies "use_schedule" and "schedule_period" of `conf`, as saved at `now`: with the schedule
  // on, the task's line is written (an unknown period keeps the line there is, if any); off, it is
  // removed (a missing line is no error; without a crontab program there is none). `failure`, when
  // given, receives why NotApplied was returned (the crontab program's own message, if any).
  ScheduleResult Apply(const CConf& conf, std::time_t now = std::time(nullptr), std::string* failure = nullptr) const;
  ScheduleResult Apply(bool useSchedule, int schedulePeriod, const std::tm& localNow, std::string* failure = nullptr) const;

 private:
  // The user's crontab, "" when the user has none; nullopt when it cannot be read (`failure`
  // says why; `missing` is set when the program cannot be started at all).
  std::optional<std::string> ReadCrontab(std::string& failure, bool& missing) const;
  bool WriteCrontab(const std::string& content, std::string& failure) const;
  ScheduleResult ApplyLine(bool useSchedule, int schedulePeriod, const std::tm& localNow, std::string& failure) const;
  bool IsTaskLine(const std::string& line) const;
  std::string TaskTag() const;

  std::string mProgramPath;
  std::string mUserName;
  std::string mCrontabProgram;
};
