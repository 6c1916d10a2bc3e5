// Recurring appointments: patterns, GetOccurrence, changed and deleted occurrences.
#include "tests/platform/outlookmodel/OutlookFixture.h"

class RecurrenceTest : public OutlookFixture {
 protected:
  // A series saved with `configure` applied to its pattern, starting at `start` for `minutes`.
  outlook::AppointmentItem NewSeries(double start, int minutes,
                                     const std::function<void(const outlook::RecurrencePattern&)>& configure) const {
    const outlook::AppointmentItem series(Calendar().GetItems().Add("IPM.Appointment"));
    series.SetSubject("Series");
    series.SetStart(start);
    series.SetEnd(start + minutes / 1440.0);
    configure(series.GetRecurrencePattern());
    series.Save();
    return outlook::AppointmentItem(mNamespace.GetItemFromID(series.GetEntryID(), ""));
  }

  // A weekly series on Monday and Wednesday at 10:00 for an hour, 4 to 27 March 2024.
  outlook::AppointmentItem MondayWednesdaySeries() const {
    return NewSeries(At(2024, 3, 4, 10, 0), 60, [](const outlook::RecurrencePattern& pattern) {
      pattern.SetRecurrenceType(olRecursWeekly);
      pattern.SetInterval(1);
      pattern.SetDayOfWeekMask(olMonday | olWednesday);
      pattern.SetPatternEndDate(At(2024, 3, 27));
    });
  }

  static bool HasOccurrence(const outlook::AppointmentItem& series, double date) {
    return ErrorOf([&] { series.GetRecurrencePattern().GetOccurrence(date); }).Code() == 0;
  }
};

TEST_F(RecurrenceTest, WeeklyPatternIsStoredWithItsDaysAndEnd) {
  const outlook::AppointmentItem series = MondayWednesdaySeries();
  EXPECT_EQ(series.GetRecurrenceState(), olApptMaster);
  const outlook::RecurrencePattern pattern = series.GetRecurrencePattern();
  EXPECT_EQ(pattern.GetRecurrenceType(), olRecursWeekly);
  EXPECT_EQ(pattern.GetInterval(), 1);
  EXPECT_EQ(pattern.GetDayOfWeekMask(), olMonday | olWednesday);
  EXPECT_FALSE(pattern.GetNoEndDate());
  EXPECT_EQ(pattern.GetPatternEndDate(), At(2024, 3, 27));
  EXPECT_EQ(pattern.GetOccurrences(), 8);
  EXPECT_DOUBLE_EQ(pattern.GetStartTime(), TimeOfDay(At(2024, 3, 4, 10, 0)));
  EXPECT_EQ(Calendar().GetItems().GetCount(), 1);
}

TEST_F(RecurrenceTest, GetOccurrenceFindsOccurrencesAndRefusesOtherDates) {
  const outlook::AppointmentItem series = MondayWednesdaySeries();
  const outlook::AppointmentItem wednesday = series.GetRecurrencePattern().GetOccurrence(At(2024, 3, 6, 10, 0));
  EXPECT_EQ(wednesday.GetStart(), At(2024, 3, 6, 10, 0));
  EXPECT_EQ(wednesday.GetEnd(), At(2024, 3, 6, 11, 0));
  EXPECT_EQ(wednesday.GetRecurrenceState(), olApptOccurrence);
  EXPECT_EQ(wednesday.GetSubject(), "Series");
  EXPECT_EQ(wednesday.GetEntryID(), series.GetEntryID());

  EXPECT_TRUE(HasOccurrence(series, At(2024, 3, 27)));            // the date alone
  EXPECT_FALSE(HasOccurrence(series, At(2024, 3, 5, 10, 0)));     // a Tuesday
  EXPECT_FALSE(HasOccurrence(series, At(2024, 3, 6, 9, 0)));      // another time of day
  EXPECT_FALSE(HasOccurrence(series, At(2024, 4, 1, 10, 0)));     // after the end
  EXPECT_FALSE(HasOccurrence(series, At(2024, 2, 28, 10, 0)));    // before the start
  const AutomationError error = ErrorOf([&] { series.GetRecurrencePattern().GetOccurrence(At(2024, 3, 5, 10, 0)); });
  EXPECT_EQ(error.Code(), AutomationCode::kNotFound);
  EXPECT_FALSE(error.Description().empty());
}

TEST_F(RecurrenceTest, ChangedAndDeletedOccurrencesBecomeExceptionsWithTheirOriginalDate) {
  const outlook::AppointmentItem series = MondayWednesdaySeries();
  const double stampBefore = series.GetLastModificationTime();
  const outlook::AppointmentItem moved = series.GetRecurrencePattern().GetOccurrence(At(2024, 3, 11, 10, 0));
  moved.SetSubject("Moved");
  moved.SetStart(At(2024, 3, 11, 14, 0));
  moved.Save();
  series.GetRecurrencePattern().GetOccurrence(At(2024, 3, 13, 10, 0)).Delete();

  const outlook::AppointmentItem stored(Logon(Connect()).GetItemFromID(series.GetEntryID(), ""));
  EXPECT_GT(stored.GetLastModificationTime(), stampBefore);
  EXPECT_EQ(stored.GetSubject(), "Series");
  const outlook::Exceptions exceptions = stored.GetRecurrencePattern().GetExceptions();
  ASSERT_EQ(exceptions.GetCount(), 2);

  const outlook::Exception changed = exceptions.Item(1);
  EXPECT_EQ(changed.GetOriginalDate(), At(2024, 3, 11, 10, 0));
  EXPECT_FALSE(changed.GetDeleted());
  const outlook::AppointmentItem changedItem = changed.GetAppointmentItem();
  EXPECT_EQ(changedItem.GetSubject(), "Moved");
  EXPECT_EQ(changedItem.GetStart(), At(2024, 3, 11, 14, 0));
  EXPECT_EQ(changedItem.GetEnd(), At(2024, 3, 11, 15, 0));
  EXPECT_EQ(changedItem.GetRecurrenceState(), olApptException);

  const outlook::Exception deleted = exceptions.Item(2);
  EXPECT_EQ(deleted.GetOriginalDate(), At(2024, 3, 13, 10, 0));
  EXPECT_TRUE(deleted.GetDeleted());
  EXPECT_NE(ErrorOf([&] { deleted.GetAppointmentItem(); }).Code(), 0u);

  EXPECT_FALSE(HasOccurrence(stored, At(2024, 3, 13, 10, 0)));
  EXPECT_EQ(stored.GetRecurrencePattern().GetOccurrence(At(2024, 3, 11, 10, 0)).GetSubject(), "Moved");
}

TEST_F(RecurrenceTest, MonthlyByWeekdayPatternKeepsItsIntervalAndInstance) {
  // Every second month on the last Friday, from the last Friday of January 2024.
  const outlook::AppointmentItem series = NewSeries(At(2024, 1, 26, 18, 0), 120, [](const outlook::RecurrencePattern& p) {
    p.SetRecurrenceType(olRecursMonthNth);
    p.SetInterval(2);
    p.SetDayOfWeekMask(olFriday);
    p.SetInstance(5);
  });
  const outlook::RecurrencePattern pattern = series.GetRecurrencePattern();
  EXPECT_EQ(pattern.GetRecurrenceType(), olRecursMonthNth);
  EXPECT_EQ(pattern.GetInterval(), 2);
  EXPECT_EQ(pattern.GetDayOfWeekMask(), olFriday);
  EXPECT_TRUE(pattern.GetNoEndDate());
  EXPECT_TRUE(IsNoDate(pattern.GetPatternEndDate()));
  EXPECT_TRUE(HasOccurrence(series, At(2024, 3, 29, 18, 0)));
  EXPECT_TRUE(HasOccurrence(series, At(2024, 5, 31, 18, 0)));
  EXPECT_FALSE(HasOccurrence(series, At(2024, 2, 23, 18, 0)));  // skipped month
  EXPECT_FALSE(HasOccurrence(series, At(2024, 3, 22, 18, 0)));  // not the last Friday
}

TEST_F(RecurrenceTest, YearlyPatternsCountTheirIntervalInMonths) {
  const outlook::AppointmentItem yearly = NewSeries(At(2023, 7, 14), 1440, [](const outlook::RecurrencePattern& p) {
    p.SetRecurrenceType(olRecursYearly);
  });
  EXPECT_EQ(yearly.GetRecurrencePattern().GetInterval(), 12);
  EXPECT_EQ(yearly.GetRecurrencePattern().GetMonthOfYear(), 7);
  EXPECT_EQ(yearly.GetRecurrencePattern().GetDayOfMonth(), 14);
  EXPECT_TRUE(HasOccurrence(yearly, At(2030, 7, 14)));
  EXPECT_FALSE(HasOccurrence(yearly, At(2030, 8, 14)));

  // The second Sunday of May, every other year.
  const outlook::AppointmentItem yearNth = NewSeries(At(2024, 5, 12, 12, 0), 60, [](const outlook::RecurrencePattern& p) {
    p.SetRecurrenceType(olRecursYearNth);
    p.SetInterval(24);
    p.SetDayOfWeekMask(olSunday);
    p.SetInstance(2);
  });
  EXPECT_TRUE(HasOccurrence(yearNth, At(2026, 5, 10, 12, 0)));
  EXPECT_FALSE(HasOccurrence(yearNth, At(2025, 5, 11, 12, 0)));
}

TEST_F(RecurrenceTest, DailyPatternWithIntervalAndEndByCount) {
  const outlook::AppointmentItem series = NewSeries(At(2024, 6, 1, 8, 0), 30, [](const outlook::RecurrencePattern& p) {
    p.SetRecurrenceType(olRecursDaily);
    p.SetInterval(3);
    p.Put(OutlookId::kOccurrences, int32_t{4});
  });
  EXPECT_EQ(series.GetRecurrencePattern().GetPatternEndDate(), At(2024, 6, 10));
  EXPECT_TRUE(HasOccurrence(series, At(2024, 6, 7, 8, 0)));
  EXPECT_FALSE(HasOccurrence(series, At(2024, 6, 8, 8, 0)));
  EXPECT_FALSE(HasOccurrence(series, At(2024, 6, 13, 8, 0)));
}

TEST_F(RecurrenceTest, MonthlyPatternOnThe31stFallsOnTheLastDayOfShorterMonths) {
  const outlook::AppointmentItem series = NewSeries(At(2024, 1, 31, 9, 0), 60, [](const outlook::RecurrencePattern& p) {
    p.SetRecurrenceType(olRecursMonthly);
  });
  EXPECT_EQ(series.GetRecurrencePattern().GetDayOfMonth(), 31);
  EXPECT_TRUE(HasOccurrence(series, At(2024, 2, 29, 9, 0)));
  EXPECT_TRUE(HasOccurrence(series, At(2024, 4, 30, 9, 0)));
  EXPECT_FALSE(HasOccurrence(series, At(2024, 2, 28, 9, 0)));
}

TEST_F(RecurrenceTest, SeriesStartsOnItsFirstOccurrence) {
  // Created on a Monday for Wednesdays only: the series begins on the Wednesday.
  const outlook::AppointmentItem series = NewSeries(At(2024, 3, 4, 10, 0), 60, [](const outlook::RecurrencePattern& p) {
    p.SetRecurrenceType(olRecursWeekly);
    p.SetDayOfWeekMask(olWednesday);
  });
  EXPECT_EQ(series.GetStart(), At(2024, 3, 6, 10, 0));
  EXPECT_EQ(series.GetEnd(), At(2024, 3, 6, 11, 0));
  EXPECT_EQ(series.GetRecurrencePattern().GetPatternStartDate(), At(2024, 3, 6));
}

TEST_F(RecurrenceTest, ClearingThePatternMakesTheAppointmentSingleAgain) {
  const outlook::AppointmentItem series = MondayWednesdaySeries();
  series.GetRecurrencePattern().GetOccurrence(At(2024, 3, 13, 10, 0)).Delete();
  const outlook::AppointmentItem stored(mNamespace.GetItemFromID(series.GetEntryID(), ""));
  stored.ClearRecurrencePattern();
  stored.Save();
  const outlook::AppointmentItem single(mNamespace.GetItemFromID(series.GetEntryID(), ""));
  EXPECT_EQ(single.GetRecurrenceState(), olApptNotRecurring);
  EXPECT_EQ(single.GetStart(), At(2024, 3, 4, 10, 0));
}

TEST_F(RecurrenceTest, AllDayEventRunsFromMidnightToTheNextMidnight) {
  const outlook::AppointmentItem event(Calendar().GetItems().Add("IPM.Appointment"));
  event.SetStart(At(2024, 3, 15, 9, 0));
  event.SetEnd(At(2024, 3, 15, 10, 0));
  event.SetAllDayEvent(true);
  event.Save();
  const outlook::AppointmentItem stored(mNamespace.GetItemFromID(event.GetEntryID(), ""));
  EXPECT_TRUE(stored.GetAllDayEvent());
  EXPECT_EQ(stored.GetStart(), At(2024, 3, 15));
  EXPECT_EQ(stored.GetEnd(), At(2024, 3, 16));
}

TEST_F(RecurrenceTest, EndBeforeStartIsRefusedOnSave) {
  const outlook::AppointmentItem event(Calendar().GetItems().Add("IPM.Appointment"));
  event.SetStart(At(2024, 3, 15, 9, 0));
  event.SetEnd(At(2024, 3, 15, 8, 0));
  EXPECT_EQ(ErrorOf([&] { event.Save(); }).Code(), AutomationCode::kInvalidArgument);
  EXPECT_EQ(Calendar().GetItems().GetCount(), 0);
}
