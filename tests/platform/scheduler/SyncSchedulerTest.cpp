// The scheduled task's crontab line, and how applying it treats the rest of the user's crontab.
#include "platform/scheduler/SyncScheduler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/TempDir.h"

namespace {

std::tm LocalTime(int hour, int minute) {
  std::tm time{};
  time.tm_year = 126;
  time.tm_mon = 11;
  time.tm_mday = 9;
  time.tm_hour = hour;
  time.tm_min = minute;
  return time;
}

constexpr const char* kTag = " # larkspan (alice)";
constexpr const char* kProgram = "/opt/lark/larkspan";

// A crontab program on PATH that keeps the user's table in a file of the test's folder, behaves
// like the real one when there is none yet, and counts its writes.
class FakeCrontab {
 public:
  FakeCrontab() : mPath("PATH", mDir.Path() + ":" + std::string(std::getenv("PATH"))) {
    WriteFileBytes(mDir.File("crontab"),
                   "#!/bin/sh\n"
                   "table='" + Table() + "'\n"
                   "if [ \"$1\" = -l ]; then\n"
                   "  [ -f \"$table\" ] || { echo \"no crontab for alice\" >&2; exit 1; }\n"
                   "  [ -f '" + mDir.File("broken") + "' ] && { echo 'crontab: cannot read' >&2; exit 2; }\n"
                   "  cat \"$table\"; exit 0\n"
                   "fi\n"
                   "[ \"$1\" = - ] || exit 3\n"
                   "cat > \"$table\"; echo x >> '" + mDir.File("writes") + "'\n");
    chmod(mDir.File("crontab").c_str(), 0755);
  }
  std::string Table() const { return mDir.File("table"); }
  std::string Content() const { return ReadFileBytes(Table()); }
  void SetContent(const std::string& text) const { WriteFileBytes(Table(), text); }
  void BreakReading() const { WriteFileBytes(mDir.File("broken"), ""); }
  std::size_t Writes() const { return ReadFileBytes(mDir.File("writes")).size() / 2; }

 private:
  TempDir mDir;
  ScopedEnv mPath;
};

SyncScheduler Scheduler() { return SyncScheduler(kProgram, "alice"); }

std::string Line(const std::string& fields) { return fields + " '/opt/lark/larkspan' /silent" + kTag; }

}  // namespace

TEST(SyncSchedulerLine, SavedAt1057HourlyFirstRunsAt1102ThenEveryHourAllDay) {
  EXPECT_EQ(Scheduler().TaskLine(1, LocalTime(10, 57)), Line("2 * * * *"));
}

TEST(SyncSchedulerLine, EachIntervalRepeatsFromTheStartTimeWithinTheDay) {
  const std::tm at = LocalTime(10, 57);
  EXPECT_EQ(Scheduler().TaskLine(0, at), Line("2,32 * * * *"));
  EXPECT_EQ(Scheduler().TaskLine(2, at), Line("2 5,11,17,23 * * *"));
  EXPECT_EQ(Scheduler().TaskLine(3, at), Line("2 11,23 * * *"));
  EXPECT_EQ(Scheduler().TaskLine(4, at), Line("2 11 * * *"));
}

TEST(SyncSchedulerLine, StartFiveMinutesBeforeMidnightWrapsToTheNextDay) {
  EXPECT_EQ(Scheduler().TaskLine(4, LocalTime(23, 58)), Line("3 0 * * *"));
  EXPECT_EQ(Scheduler().TaskLine(3, LocalTime(23, 55)), Line("0 0,12 * * *"));
}

TEST(SyncSchedulerLine, UnknownPeriodGivesNoLine) {
  EXPECT_FALSE(Scheduler().TaskLine(5, LocalTime(10, 57)));
  EXPECT_FALSE(Scheduler().TaskLine(-1, LocalTime(10, 57)));
}

TEST(SyncSchedulerLine, ProgramPathIsOneShellWordThatCronPassesUnchanged) {
  const SyncScheduler odd("/home/a b/it's 100%/larkspan", "alice");
  EXPECT_EQ(odd.TaskLine(4, LocalTime(10, 57)), "2 11 * * * '/home/a b/it'\\''s 100\\%/larkspan' /silent" + std::string(kTag));
  EXPECT_FALSE(SyncScheduler("/tmp/x\n* * * * * rm -rf ~/larkspan", "alice").TaskLine(1, LocalTime(1, 0)));
  EXPECT_FALSE(SyncScheduler(kProgram, "alice\nx").TaskLine(1, LocalTime(1, 0)));
}

TEST(SyncSchedulerLine, TaskIsNamedByProgramFileAndUser) {
  EXPECT_EQ(Scheduler().TaskName(), "larkspan (alice)");
}

TEST(SyncSchedulerApply, AddsTheTaskToAnEmptyCrontabAndRemovesItAgain) {
  FakeCrontab crontab;
  EXPECT_EQ(Scheduler().Apply(true, 1, LocalTime(10, 57)), ScheduleResult::Applied);
  EXPECT_EQ(crontab.Content(), Line("2 * * * *") + "\n");
  EXPECT_EQ(Scheduler().Apply(false, 1, LocalTime(11, 0)), ScheduleResult::Removed);
  EXPECT_EQ(crontab.Content(), "");
}

TEST(SyncSchedulerApply, OtherLinesStayAsTheyAreAndTheTaskKeepsItsPlace) {
  FakeCrontab crontab;
  const std::string before = "MAILTO=alice\n# comment # larkspan (alice)\n0 3 * * * backup\n";
  const std::string after = "@reboot other\n*/5 * * * * larkspan (bob) # larkspan (bob)\n";
  crontab.SetContent(before + Line("0 * * * *") + "\n" + after);
  EXPECT_EQ(Scheduler().Apply(true, 4, LocalTime(8, 10)), ScheduleResult::Applied);
  EXPECT_EQ(crontab.Content(), before + Line("15 8 * * *") + "\n" + after);
  EXPECT_EQ(Scheduler().Apply(false, 4, LocalTime(8, 10)), ScheduleResult::Removed);
  EXPECT_EQ(crontab.Content(), before + after);
}

TEST(SyncSchedulerApply, DuplicateTaskLinesBecomeOne) {
  FakeCrontab crontab;
  crontab.SetContent(Line("1 * * * *") + "\nkeep\n" + Line("2 * * * *") + "\n");
  EXPECT_EQ(Scheduler().Apply(true, 0, LocalTime(9, 0)), ScheduleResult::Applied);
  EXPECT_EQ(crontab.Content(), Line("5,35 * * * *") + "\nkeep\n");
}

TEST(SyncSchedulerApply, NothingIsWrittenWhenNothingChanges) {
  FakeCrontab crontab;
  EXPECT_EQ(Scheduler().Apply(false, 1, LocalTime(9, 0)), ScheduleResult::Unchanged);
  EXPECT_FALSE(std::filesystem::exists(crontab.Table()));
  crontab.SetContent("keep\n" + Line("5 * * * *") + "\n");
  EXPECT_EQ(Scheduler().Apply(true, 1, LocalTime(9, 0)), ScheduleResult::Unchanged);
  // An unknown period leaves the task with the trigger it has.
  EXPECT_EQ(Scheduler().Apply(true, 9, LocalTime(9, 30)), ScheduleResult::Unchanged);
  EXPECT_EQ(crontab.Content(), "keep\n" + Line("5 * * * *") + "\n");
  EXPECT_EQ(crontab.Writes(), 0u);
}

TEST(SyncSchedulerApply, UnreadableCrontabIsNeverOverwritten) {
  FakeCrontab crontab;
  crontab.SetContent("0 3 * * * backup\n");
  crontab.BreakReading();
  std::string failure;
  EXPECT_EQ(Scheduler().Apply(true, 1, LocalTime(10, 57), &failure), ScheduleResult::NotApplied);
  EXPECT_EQ(failure, "crontab -l failed: crontab: cannot read");
  EXPECT_EQ(crontab.Content(), "0 3 * * * backup\n");
}

// The caller tells the user how to get the program; with the schedule off there is nothing to remove.
TEST(SyncSchedulerApply, WithoutACrontabProgramTheScheduleIsReportedAsImpossible) {
  const SyncScheduler scheduler(kProgram, "alice", "lark-no-such-crontab");
  EXPECT_FALSE(SyncScheduler::CrontabInstalled("lark-no-such-crontab"));
  EXPECT_EQ(scheduler.Apply(true, 1, LocalTime(10, 57)), ScheduleResult::NoCrontabProgram);
  EXPECT_EQ(scheduler.Apply(false, 1, LocalTime(10, 57)), ScheduleResult::Unchanged);
  FakeCrontab crontab;
  EXPECT_TRUE(SyncScheduler::CrontabInstalled());
  EXPECT_TRUE(SyncScheduler::CrontabInstalled("/bin/sh"));
  EXPECT_FALSE(SyncScheduler::CrontabInstalled("/etc/passwd"));
}

TEST(SyncSchedulerApply, ForRunningProgramSchedulesTheProgramBesideTheRunningOne) {
  const SyncScheduler scheduler = SyncScheduler::ForRunningProgram();
  const std::optional<std::string> line = scheduler.TaskLine(1, LocalTime(10, 57));
  ASSERT_TRUE(line);
  EXPECT_NE(line->find("/larkspan' /silent # larkspan ("), std::string::npos) << *line;
}
