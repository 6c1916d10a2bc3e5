// Appointment times are instants shown in the machine's local time; a series recurs at the wall
// clock of its own zone; a profile written before both is converted once when opened.
#include <filesystem>

#include "tests/pim/VCalTestZone.h"
#include "tests/platform/outlookmodel/OutlookFixture.h"

namespace {

// The date of a UTC time, as StartUTC and EndUTC give it.
double Utc(int year, int month, int day, int hour = 0, int minute = 0) { return At(year, month, day, hour, minute); }

}  // namespace

class ZoneTest : public OutlookFixture {
 protected:
  ZoneTest() { mMachine = std::make_unique<ScopedTimeZone>("Europe/Berlin"); }

  void MoveMachineTo(const char* zone) {
    mMachine.reset();
    mMachine = std::make_unique<ScopedTimeZone>(zone);
  }

  outlook::AppointmentItem Reloaded(const outlook::AppointmentItem& item) const {
    return outlook::AppointmentItem(Logon(Connect()).GetItemFromID(item.GetEntryID(), ""));
  }

  // A weekly series on Mondays at 10:00 of `zone` for an hour, from 13 January 2025, 30 times.
  outlook::AppointmentItem MondaySeries(const std::string& zone) const {
    const outlook::AppointmentItem series(Calendar().GetItems().Add("IPM.Appointment"));
    series.SetSubject("Weekly");
    if (!zone.empty()) series.SetStartTimeZone(zone);
    series.SetStartUTC(Utc(2025, 1, 13, 9, 0));
    series.SetEndUTC(Utc(2025, 1, 13, 10, 0));
    const outlook::RecurrencePattern pattern = series.GetRecurrencePattern();
    pattern.SetRecurrenceType(olRecursWeekly);
    pattern.SetDayOfWeekMask(olMonday);
    pattern.Put(OutlookId::kOccurrences, Variant(30));
    series.Save();
    return Reloaded(series);
  }

  std::unique_ptr<ScopedTimeZone> mMachine;
};

TEST_F(ZoneTest, AnEventAcrossTheEndOfDaylightTimeKeepsItsLength) {
  const outlook::AppointmentItem event(Calendar().GetItems().Add("IPM.Appointment"));
  // 01:30 summer time to 02:30 winter time: two hours, though the local times are one apart.
  event.SetStartUTC(Utc(2024, 10, 26, 23, 30));
  event.SetEndUTC(Utc(2024, 10, 27, 1, 30));
  event.Save();
  const outlook::AppointmentItem stored = Reloaded(event);
  EXPECT_EQ(stored.GetStart(), At(2024, 10, 27, 1, 30));
  EXPECT_EQ(stored.GetEnd(), At(2024, 10, 27, 2, 30));
  EXPECT_EQ(stored.GetInt(OutlookId::kDuration), 120);
  EXPECT_EQ(stored.GetEndUTC(), Utc(2024, 10, 27, 1, 30));
}

TEST_F(ZoneTest, ATimedEventStaysAtItsInstantWhenTheMachineMoves) {
  const outlook::AppointmentItem event(Calendar().GetItems().Add("IPM.Appointment"));
  event.SetStart(At(2025, 7, 15, 10, 0));
  event.SetEnd(At(2025, 7, 15, 11, 30));
  event.Save();
  const double stamp = Reloaded(event).GetLastModificationTime();
  EXPECT_EQ(Reloaded(event).GetStartUTC(), Utc(2025, 7, 15, 8, 0));

  MoveMachineTo("America/New_York");
  const outlook::AppointmentItem there = Reloaded(event);
  EXPECT_EQ(there.GetStart(), At(2025, 7, 15, 4, 0));
  EXPECT_EQ(there.GetEnd(), At(2025, 7, 15, 5, 30));
  EXPECT_EQ(there.GetLastModificationTime(), stamp) << "nothing changed";
  EXPECT_EQ(there.GetStartTimeZone(), "Europe/Berlin") << "the zone it was made in";

  // All-day events are days of the calendar wherever the machine is.
  const outlook::AppointmentItem holiday(Calendar().GetItems().Add("IPM.Appointment"));
  holiday.SetStart(At(2025, 8, 1));
  holiday.SetEnd(At(2025, 8, 2));
  holiday.SetAllDayEvent(true);
  holiday.Save();
  MoveMachineTo("Asia/Tokyo");
  EXPECT_EQ(Reloaded(holiday).GetStart(), At(2025, 8, 1));
  EXPECT_EQ(Reloaded(holiday).GetEnd(), At(2025, 8, 2));
}

TEST_F(ZoneTest, ASeriesKeepsTheWallClockOfItsZoneOnTheZonesDays) {
  MoveMachineTo("America/New_York");
  const outlook::AppointmentItem series = MondaySeries("Europe/Berlin");
  const outlook::RecurrencePattern pattern = series.GetRecurrencePattern();
  EXPECT_EQ(pattern.GetDayOfWeekMask(), olMonday);
  EXPECT_DOUBLE_EQ(pattern.GetStartTime(), TimeOfDay(At(2025, 1, 1, 10, 0))) << "the zone's wall clock";
  EXPECT_EQ(pattern.GetOccurrences(), 30);
  EXPECT_EQ(pattern.GetPatternEndDate(), At(2025, 8, 4));
  // 10:00 Berlin is 04:00 New York in January and in July, on Monday; in the weeks the two zones
  // change to summer time on different days it is 05:00.
  EXPECT_EQ(pattern.GetOccurrence(At(2025, 1, 20)).GetStart(), At(2025, 1, 20, 4, 0));
  EXPECT_EQ(pattern.GetOccurrence(At(2025, 7, 14)).GetStart(), At(2025, 7, 14, 4, 0));
  EXPECT_EQ(pattern.GetOccurrence(At(2025, 3, 17)).GetStart(), At(2025, 3, 17, 5, 0));
  EXPECT_EQ(pattern.GetOccurrence(At(2025, 7, 14, 4, 0)).GetStartUTC(), Utc(2025, 7, 14, 8, 0));
  EXPECT_NE(ErrorOf([&] { pattern.GetOccurrence(At(2025, 7, 15)); }).Code(), 0u) << "a Tuesday";

  // A series in a zone far east: Monday 02:00 Kolkata is Sunday afternoon in New York.
  const outlook::AppointmentItem kolkata(Calendar().GetItems().Add("IPM.Appointment"));
  kolkata.SetStartTimeZone("Asia/Kolkata");
  kolkata.SetStartUTC(Utc(2025, 1, 12, 20, 30));
  kolkata.SetEndUTC(Utc(2025, 1, 12, 21, 30));
  kolkata.GetRecurrencePattern().SetRecurrenceType(olRecursWeekly);
  kolkata.GetRecurrencePattern().SetDayOfWeekMask(olMonday | olWednesday);
  kolkata.Save();
  const outlook::RecurrencePattern east = Reloaded(kolkata).GetRecurrencePattern();
  EXPECT_EQ(east.GetDayOfWeekMask(), olMonday | olWednesday);
  EXPECT_EQ(east.GetPatternStartDate(), At(2025, 1, 13));
  const outlook::AppointmentItem tuesday = east.GetOccurrence(At(2025, 1, 14));  // Wednesday 02:00 Kolkata
  EXPECT_EQ(tuesday.GetStartUTC(), Utc(2025, 1, 14, 20, 30));
  EXPECT_EQ(tuesday.GetStart(), At(2025, 1, 14, 15, 30));
}

TEST_F(ZoneTest, ChangedAndDeletedOccurrencesKeepTheirOriginalWallClock) {
  MoveMachineTo("America/New_York");
  const outlook::AppointmentItem series = MondaySeries("Europe/Berlin");
  const outlook::AppointmentItem moved = series.GetRecurrencePattern().GetOccurrence(At(2025, 7, 7));
  moved.SetStartUTC(Utc(2025, 7, 7, 9, 30));
  moved.Save();
  series.GetRecurrencePattern().GetOccurrence(At(2025, 1, 27)).Delete();

  MoveMachineTo("Europe/Berlin");
  const outlook::Exceptions exceptions = Reloaded(series).GetRecurrencePattern().GetExceptions();
  ASSERT_EQ(exceptions.GetCount(), 2);
  EXPECT_EQ(exceptions.Item(1).GetOriginalDate(), At(2025, 1, 27, 10, 0));
  EXPECT_TRUE(exceptions.Item(1).GetDeleted());
  EXPECT_EQ(exceptions.Item(2).GetOriginalDate(), At(2025, 7, 7, 10, 0));
  EXPECT_EQ(exceptions.Item(2).GetAppointmentItem().GetStart(), At(2025, 7, 7, 11, 30));
  const outlook::RecurrencePattern pattern = Reloaded(series).GetRecurrencePattern();
  EXPECT_EQ(pattern.GetOccurrence(At(2025, 7, 7, 10, 0)).GetStart(), At(2025, 7, 7, 11, 30));
  EXPECT_NE(ErrorOf([&] { pattern.GetOccurrence(At(2025, 1, 27)); }).Code(), 0u);
}

TEST_F(ZoneTest, ASeriesMadeHereTakesTheMachinesZone) {
  const outlook::AppointmentItem series(Calendar().GetItems().Add("IPM.Appointment"));
  series.SetStart(At(2025, 1, 13, 10, 0));
  series.SetEnd(At(2025, 1, 13, 11, 0));
  series.GetRecurrencePattern().SetRecurrenceType(olRecursWeekly);
  series.Save();
  EXPECT_EQ(Reloaded(series).GetStartTimeZone(), "Europe/Berlin");
  EXPECT_EQ(Reloaded(series).GetRecurrencePattern().GetOccurrence(At(2025, 7, 14)).GetStart(), At(2025, 7, 14, 10, 0));
  EXPECT_NE(ErrorOf([&] { series.SetStartTimeZone("Not/AZone"); }).Code(), 0u);
}

// A profile of the model from before instants (schema 1), made on a machine in Berlin with the
// tool: "Summer review" 15 July 2024 10:00-11:30, "Winter review" 15 January 2024 10:00-11:00, an
// all-day "Holiday" on 1 August 2024, "Weekly review" on Mondays at 10:00 from 8 January 2024 (30
// times; 22 January deleted, 8 April moved to 11:30-12:30), and a task due 1 March 2024.
TEST_F(ZoneTest, AProfileFromBeforeInstantsIsConvertedOnceWhenOpened) {
  const std::string profile = mDir.File("old/profile.db");
  std::filesystem::create_directories(mDir.File("old"));
  std::filesystem::copy_file(std::string(LARK_TEST_DATA) + "/outlookmodel/profile-v1-berlin.db", profile);
  ScopedEnv path("LARK_OUTLOOKMODEL_PROFILE", profile);
  const outlook::NameSpace session = Logon(Connect());
  const outlook::Items items = session.GetDefaultFolder(olFolderCalendar).GetItems();
  ASSERT_EQ(items.GetCount(), 4);
  const outlook::AppointmentItem summer(items.Item(1));
  const outlook::AppointmentItem winter(items.Item(2));
  const outlook::AppointmentItem holiday(items.Item(3));
  const outlook::AppointmentItem weekly(items.Item(4));
  EXPECT_EQ(summer.GetStartUTC(), Utc(2024, 7, 15, 8, 0));
  EXPECT_EQ(summer.GetEndUTC(), Utc(2024, 7, 15, 9, 30));
  EXPECT_EQ(winter.GetStartUTC(), Utc(2024, 1, 15, 9, 0));
  EXPECT_EQ(summer.GetStart(), At(2024, 7, 15, 10, 0)) << "unchanged where it was made";
  EXPECT_EQ(summer.GetLastModificationTime(), 46366.24409581018699100241) << "no change stamp";
  EXPECT_EQ(weekly.GetStartTimeZone(), "Europe/Berlin");
  const outlook::RecurrencePattern pattern = weekly.GetRecurrencePattern();
  EXPECT_EQ(pattern.GetOccurrence(At(2024, 7, 1)).GetStartUTC(), Utc(2024, 7, 1, 8, 0)) << "10:00 in summer";
  EXPECT_EQ(pattern.GetOccurrence(At(2024, 1, 15)).GetStartUTC(), Utc(2024, 1, 15, 9, 0)) << "10:00 in winter";
  EXPECT_EQ(pattern.GetOccurrence(At(2024, 4, 8)).GetStart(), At(2024, 4, 8, 11, 30));
  EXPECT_NE(ErrorOf([&] { pattern.GetOccurrence(At(2024, 1, 22)); }).Code(), 0u);

  MoveMachineTo("America/New_York");
  const outlook::Items there = Logon(Connect()).GetDefaultFolder(olFolderCalendar).GetItems();
  EXPECT_EQ(outlook::AppointmentItem(there.Item(1)).GetStart(), At(2024, 7, 15, 4, 0));
  EXPECT_EQ(outlook::AppointmentItem(there.Item(3)).GetStart(), At(2024, 8, 1)) << "a day stays a day";
  const outlook::RecurrencePattern far = outlook::AppointmentItem(there.Item(4)).GetRecurrencePattern();
  EXPECT_EQ(far.GetOccurrence(At(2024, 7, 1)).GetStart(), At(2024, 7, 1, 4, 0));
  EXPECT_EQ(far.GetOccurrence(At(2024, 4, 8)).GetStart(), At(2024, 4, 8, 5, 30));
  const outlook::TaskItem task(Logon(Connect()).GetDefaultFolder(olFolderTasks).GetItems().Item(1));
  EXPECT_EQ(task.GetDueDate(), At(2024, 3, 1));
}
