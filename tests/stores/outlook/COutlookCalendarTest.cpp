// The Outlook store's events and tasks over the object model: records read from what the user
// made, the server's items written and read back field by field, changed occurrences, the sync
// period and deletion.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Prompt.h"
#include "config/CConf.h"
#include "pim/CalendarRecordBuilder.h"
#include "pim/OleDate.h"
#include "pim/VCalDateTime.h"
#include "platform/automation/AutomationDate.h"
#include "platform/automation/AutomationError.h"
#include "platform/automation/ObjectFactory.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "stores/outlook/COutlook.h"
#include "stores/outlook/OutlookCalendarFields.h"
#include "tests/pim/VCalTestZone.h"
#include "tests/support/ItemFields.h"
#include "tests/support/TempDir.h"

namespace {

class SilentPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view, PromptButtons buttons, PromptKind) override { return SafeDefaultAnswer(buttons); }
  bool AskLogin(LoginRequest&) override { return false; }
  std::optional<EmailTypesAnswer> AskEmailTypes(const EmailTypesQuestion&) override { return std::nullopt; }
};

constexpr int kAllEvents = 5;
constexpr int kLastMonth = 1;  // 31 days

double Local(int year, int month, int day, int hour = 0, int minute = 0) {
  return OleDate(year, month, day, hour, minute).Days();
}

std::string Calendar(const std::string& components) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + components + "END:VCALENDAR\r\n";
}

class COutlookCalendarTest : public ::testing::Test {
 protected:
  COutlookCalendarTest() {
    mFactory.Register("Outlook.Application", [path = mProfile] { return outlookmodel::CreateOutlookApplication(path); });
    mConf.SetSyncWithOutlook(LOCAL_APP_OUTLOOK);
    mConf.SetSilent(true);
    mConf.SetSyncPeriod(kAllEvents);
    mConf.SetLogin("me@example.org");
    mStore = std::make_unique<COutlook>(mConf, mPrompt, mFactory);
    mApp = outlook::Application(outlookmodel::CreateOutlookApplication(mProfile));
    mNamespace = mApp.GetNamespace("MAPI");
  }

  outlook::MAPIFolder Folder(int kind) const { return mNamespace.GetDefaultFolder(kind); }
  // An appointment the user makes (not saved yet).
  outlook::AppointmentItem NewEvent(const std::string& subject, double start, double end) const {
    const outlook::AppointmentItem event(Folder(olFolderCalendar).GetItems().Add("IPM.Appointment"));
    event.SetSubject(subject);
    event.SetStart(start);
    event.SetEnd(end);
    return event;
  }
  outlook::AppointmentItem Event(const std::string& entryId) const {
    return outlook::AppointmentItem(mNamespace.GetItemFromID(entryId, ""));
  }
  void Load(SyncDataType type = DATA_TYPE_EVENTS) {
    ASSERT_TRUE(mStore->SetCurrentFolder(type, "", ""));
    ASSERT_EQ(mStore->LoadContent(type == DATA_TYPE_TASKS ? "Tasks" : "Calendar"), kStoreOk);
  }
  CDataItem::Ptr Loaded(const std::string& key) {
    const CDataItem::Ptr record = mStore->mCurrentItems.Find(key);
    EXPECT_TRUE(record) << "no record " << key;
    return record ? record : CDataItem::Create();
  }
  std::string Write(const std::string& text, std::string id = "") {
    EXPECT_EQ(mStore->AddCalendarItem(text, id), kStoreOk) << text;
    return id;
  }
  // The text the store sends for the records of `entryId` (a series with its changed occurrences).
  std::string SentText(const std::string& entryId) {
    std::vector<CDataItem::Ptr> records;
    for (const CDataItem::Ptr& record : mStore->mCurrentItems.Items()) {
      if (SeriesKeyOf(record->itemId) == entryId) records.push_back(record);
    }
    return ToVCalendar(records);
  }
  void NextRun() {
    mStore->mCurrentItems.SaveFile();
    mStore = std::make_unique<COutlook>(mConf, mPrompt, mFactory);
  }

  TempDir mDir;
  std::string mProfile = mDir.Path() + "profile.db";
  ObjectFactory mFactory;
  CConf mConf{mDir.Path() + "config"};
  SilentPrompt mPrompt;
  std::unique_ptr<COutlook> mStore;
  outlook::Application mApp;
  outlook::NameSpace mNamespace;
};

// ---- Reading what the user made

TEST_F(COutlookCalendarTest, AnAllDayEventEndsOnTheFollowingDayAndWhatItDoesNotHoldIsNotSent) {
  ScopedTimeZone zone(kZoneBerlin);
  outlook::AppointmentItem event = NewEvent("Holiday", Local(2025, 7, 4, 10), Local(2025, 7, 4, 11));
  event.SetAllDayEvent(true);
  event.SetBody("Line one\r\nA = B");
  event.Save();
  Load();
  const CDataItem::Ptr record = Loaded(event.GetEntryID());
  EXPECT_EQ(record->kind, ITEM_EVENT);
  EXPECT_EQ(record->Property("VC_DTSTART"), "20250704");
  EXPECT_EQ(record->Property("VC_DTEND"), "20250705");
  EXPECT_EQ(record->Property("VC_DESCRIPTION"), "Line=20one=0D=0AA=20=3D=20B");
  // No categories, normal sensitivity and importance, no location: nothing to send.
  for (const char* key : {"VC_CATEGORIES", "VC_CLASS", "VC_PRIORITY", "VC_LOCATION", "VC_TRIGGER", "VC_TZID"}) {
    EXPECT_EQ(record->properties.count(key), 0u) << key;
  }
}

TEST_F(COutlookCalendarTest, TimedEventsAreSentAsUtcInstantsWhateverTheDaylightRuleOfTheirDate) {
  ScopedTimeZone zone(kZoneBerlin);
  const outlook::AppointmentItem winter = NewEvent("Winter", Local(2025, 1, 6, 8, 30), Local(2025, 1, 6, 9, 30));
  winter.Save();
  const outlook::AppointmentItem summer = NewEvent("Summer", Local(2025, 7, 6, 8, 30), Local(2025, 7, 6, 9, 30));
  summer.Save();
  Load();
  EXPECT_EQ(Loaded(winter.GetEntryID())->Property("VC_DTSTART"), "20250106T073000Z");
  EXPECT_EQ(Loaded(summer.GetEntryID())->Property("VC_DTSTART"), "20250706T063000Z");
  EXPECT_EQ(Loaded(summer.GetEntryID())->Property("VC_DTEND"), "20250706T073000Z");
}

// The record text of a local time is the C library's conversion (mktime) everywhere: through whole
// years of daylight rules with whole-hour and half-hour changes, a day a zone skipped, and its
// history from zone files.
class RecordDateTexts : public ::testing::TestWithParam<const char*> {};

TEST_P(RecordDateTexts, EveryLocalTimeHasTheUtcTextOfTheCLibrarysConversion) {
  ScopedTimeZone zone(GetParam());
  for (const int year : {1945, 2011, 2025}) {
    for (double day = Local(year, 1, 1); day < Local(year + 1, 1, 1); day += 1.0) {
      for (int minutes = 0; minutes < 24 * 60; minutes += 45) {
        const double local = day + minutes / (24.0 * 60);
        ASSERT_EQ(RecordDateText(local, false), DateToVCalText(local, false)) << OleDate(local).Format("%Y-%m-%d %H:%M");
      }
    }
  }
  EXPECT_EQ(RecordDateText(Local(2025, 3, 30), true), "20250330");
  EXPECT_EQ(RecordDateText(0, false), "");
}

INSTANTIATE_TEST_SUITE_P(Zones, RecordDateTexts,
                         ::testing::Values(kZoneBerlin, kZoneSydney, "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0",
                                           "Europe/Berlin", "Pacific/Apia", "America/St_Johns"));

struct ReminderCase {
  int minutes;
  const char* trigger;
};

class COutlookReminders : public COutlookCalendarTest, public ::testing::WithParamInterface<ReminderCase> {};

TEST_P(COutlookReminders, AReminderIsSentInItsLargestWholeUnit) {
  outlook::AppointmentItem event = NewEvent("Remind", Local(2025, 3, 3, 9), Local(2025, 3, 3, 10));
  event.SetReminderSet(true);
  event.SetReminderMinutesBeforeStart(GetParam().minutes);
  event.Save();
  Load();
  EXPECT_EQ(Loaded(event.GetEntryID())->Property("VC_TRIGGER"), GetParam().trigger);
}

INSTANTIATE_TEST_SUITE_P(Units, COutlookReminders,
                         ::testing::Values(ReminderCase{2880, "-P2D"}, ReminderCase{90, "-PT90M"},
                                           ReminderCase{10080, "-P1W"}, ReminderCase{0, "-PT0M"},
                                           ReminderCase{120, "-PT2H"}));

TEST_F(COutlookCalendarTest, AttendeesAreNumberedUnknownOnesSkippedAndTheUserIsNoOrganizer) {
  outlook::AppointmentItem meeting = NewEvent("Meeting", Local(2025, 3, 3, 9), Local(2025, 3, 3, 10));
  const outlook::Recipients recipients = meeting.GetRecipients();
  recipients.Add("ann@example.org").SetMeetingResponseStatus(3);
  recipients.Add("Unknown").GetAddressEntry().PutText(OutlookId::kAddress, "Unknown");
  recipients.Add("bob@example.org").SetMeetingResponseStatus(4);
  meeting.Save();
  outlook::AppointmentItem invited = NewEvent("Invited", Local(2025, 3, 4, 9), Local(2025, 3, 4, 10));
  invited.GetRecipients().Add("me@example.org").SetMeetingResponseStatus(2);
  invited.SetOrganizer("boss@example.org");
  invited.Save();
  Load();
  const CDataItem::Ptr own = Loaded(meeting.GetEntryID());
  EXPECT_EQ(own->Property("VC_ATTENDEE_COUNT"), "2");
  EXPECT_EQ(own->Property("VC_ATTENDEE_EMAIL_1"), "ann@example.org");
  EXPECT_EQ(own->Property("VC_ATTENDEE_STATUS_1"), "ACCEPTED");
  EXPECT_EQ(own->Property("VC_ATTENDEE_EMAIL_2"), "bob@example.org");
  EXPECT_EQ(own->Property("VC_ATTENDEE_STATUS_2"), "DECLINED");
  EXPECT_TRUE(own->Property("VC_ORGANIZER").empty()) << own->Property("VC_ORGANIZER");
  const CDataItem::Ptr other = Loaded(invited.GetEntryID());
  EXPECT_EQ(other->Property("VC_ATTENDEE_STATUS_1"), "TENTATIVE");
  EXPECT_EQ(other->Property("VC_ORGANIZER"), "boss@example.org");
}

struct RuleCase {
  const char* name;
  int32_t type;
  int32_t interval;
  int32_t mask;
  int32_t instance;
  const char* expected;
};

class COutlookRules : public COutlookCalendarTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(COutlookRules, APatternIsSentAsTheRuleItStandsFor) {
  ScopedTimeZone zone(kZoneUtc);
  const RuleCase& rule = GetParam();
  // Tuesday 2025-01-14, the second Tuesday of January.
  outlook::AppointmentItem event = NewEvent(rule.name, Local(2025, 1, 14, 9), Local(2025, 1, 14, 10));
  const outlook::RecurrencePattern pattern = event.GetRecurrencePattern();
  pattern.SetRecurrenceType(rule.type);
  pattern.SetInterval(rule.interval);
  if (rule.mask != 0) pattern.SetDayOfWeekMask(rule.mask);
  if (rule.instance != 0) pattern.SetInstance(rule.instance);
  event.Save();
  Load();
  EXPECT_EQ(Loaded(event.GetEntryID())->Property("VC_RRULE"), rule.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, COutlookRules,
    ::testing::Values(RuleCase{"weekly", olRecursWeekly, 1, olMonday | olWednesday, 0, "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO,WE"},
                      RuleCase{"yearly", olRecursYearly, 12, 0, 0, "FREQ=YEARLY;INTERVAL=1;BYMONTHDAY=14;BYMONTH=1"},
                      RuleCase{"biennial", olRecursYearly, 24, 0, 0, "FREQ=YEARLY;INTERVAL=2;BYMONTHDAY=14;BYMONTH=1"},
                      RuleCase{"second Tuesday", olRecursMonthNth, 1, olTuesday, 2, "FREQ=MONTHLY;INTERVAL=1;BYDAY=2TU"},
                      RuleCase{"daily", olRecursDaily, 3, 0, 0, "FREQ=DAILY;INTERVAL=3"}),
    [](const auto& rule) {
      std::string name = rule.param.name;
      std::erase(name, ' ');
      return name;
    });

TEST_F(COutlookCalendarTest, DeletedOccurrencesAreExcludedDatesAndAChangedOneIsARecordOfItsOwn) {
  ScopedTimeZone zone(kZoneBerlin);
  outlook::AppointmentItem series = NewEvent("Standup", Local(2025, 3, 3, 9), Local(2025, 3, 3, 9, 15));
  series.GetRecurrencePattern().SetRecurrenceType(olRecursWeekly);
  series.GetRecurrencePattern().Put(OutlookId::kOccurrences, Variant(int32_t{6}));
  series.Save();
  series.GetRecurrencePattern().GetOccurrence(Local(2025, 3, 10, 9)).Delete();
  series.GetRecurrencePattern().GetOccurrence(Local(2025, 3, 31, 9)).Delete();
  const outlook::AppointmentItem moved = series.GetRecurrencePattern().GetOccurrence(Local(2025, 3, 17, 9));
  moved.SetStart(Local(2025, 3, 18, 14));
  moved.SetSubject("Standup, moved");
  moved.Save();
  Load();
  const std::string id = series.GetEntryID();
  const CDataItem::Ptr record = Loaded(id);
  // A counted series stays counted; 10 March is still winter time, 31 March summer time.
  EXPECT_EQ(record->Property("VC_RRULE"), "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;COUNT=6");
  EXPECT_EQ(record->Property("EXDATE"), "20250310T080000Z,20250331T070000Z");
  const CDataItem::Ptr occurrence = Loaded(id + "/20250317");
  EXPECT_EQ(occurrence->Property("PR_ENTRYID"), id);
  EXPECT_EQ(occurrence->Property("VC_RECURRENCE_ID"), "20250317T080000Z");
  EXPECT_EQ(occurrence->Property("VC_DTSTART"), "20250318T130000Z");
  EXPECT_EQ(occurrence->Property("VC_SUMMARY"), "Standup, moved");
  EXPECT_TRUE(occurrence->Property("VC_RRULE").empty());
  EXPECT_EQ(mStore->mCurrentItems.Count(), 2u);
}

TEST_F(COutlookCalendarTest, TasksMapImportanceAndStatusAndATaskWithoutDatesHasNone) {
  const outlook::TaskItem plain(Folder(olFolderTasks).GetItems().Add("IPM.Task"));
  plain.SetSubject("Someday");
  plain.Save();
  const outlook::TaskItem dated(Folder(olFolderTasks).GetItems().Add("IPM.Task"));
  dated.SetSubject("Report");
  dated.SetImportance(2);
  dated.SetStatus(2);
  dated.SetPercentComplete(100);
  dated.SetStartDate(Local(2025, 2, 1));
  dated.SetDueDate(Local(2025, 2, 7));
  dated.Save();
  mConf.SetSyncPeriod(kLastMonth);
  Load(DATA_TYPE_TASKS);
  const CDataItem::Ptr someday = Loaded(plain.GetEntryID());
  EXPECT_EQ(someday->kind, ITEM_TASK);
  EXPECT_TRUE(someday->Property("VC_DTSTART").empty());
  EXPECT_TRUE(someday->Property("VC_DUE").empty());
  // Not started and of normal importance: the defaults, sent as nothing.
  EXPECT_EQ(someday->properties.count("VC_STATUS"), 0u);
  EXPECT_EQ(someday->properties.count("VC_PRIORITY"), 0u);
  EXPECT_EQ(someday->properties.count("PERCENT-COMPLETE"), 0u);
  // The dated task lies before the period.
  EXPECT_FALSE(mStore->mCurrentItems.Contains(dated.GetEntryID()));
  mConf.SetSyncPeriod(kAllEvents);
  Load(DATA_TYPE_TASKS);
  const CDataItem::Ptr report = Loaded(dated.GetEntryID());
  EXPECT_EQ(report->Property("VC_PRIORITY"), "1");
  EXPECT_EQ(report->Property("VC_STATUS"), "COMPLETED");
  EXPECT_EQ(report->Property("PERCENT-COMPLETE"), "100");
  EXPECT_EQ(report->Property("VC_DTSTART"), "20250201");
  EXPECT_EQ(report->Property("VC_DUE"), "20250207");
}

// ---- The sync period

TEST_F(COutlookCalendarTest, OnlyEventsInThePeriodAndOpenSeriesThatStartedBeforeItAreLoaded) {
  mConf.SetSyncPeriod(kLastMonth);
  const double today = DayOf(DateNow());
  const outlook::AppointmentItem recent = NewEvent("Recent", today - 3 + 0.4, today - 3 + 0.45);
  recent.Save();
  const outlook::AppointmentItem old = NewEvent("Old", today - 90 + 0.4, today - 90 + 0.45);
  old.Save();
  outlook::AppointmentItem open = NewEvent("Open series", today - 90 + 0.4, today - 90 + 0.45);
  open.GetRecurrencePattern().SetRecurrenceType(olRecursDaily);
  open.Save();
  outlook::AppointmentItem ended = NewEvent("Ended series", today - 90 + 0.4, today - 90 + 0.45);
  ended.GetRecurrencePattern().SetRecurrenceType(olRecursDaily);
  ended.GetRecurrencePattern().SetPatternEndDate(today - 60);
  ended.Save();
  Load();
  EXPECT_TRUE(mStore->mCurrentItems.Contains(recent.GetEntryID()));
  EXPECT_TRUE(mStore->mCurrentItems.Contains(open.GetEntryID()));
  EXPECT_FALSE(mStore->mCurrentItems.Contains(old.GetEntryID()));
  EXPECT_FALSE(mStore->mCurrentItems.Contains(ended.GetEntryID()));
  // Left out, but still there: the change log must not report it deleted.
  EXPECT_TRUE(mStore->ItemExists(old.GetEntryID()));

  const std::string oldId = old.GetEntryID();
  mStore->RemoveItem(oldId);
  EXPECT_TRUE(mStore->ItemExists(oldId));
  EXPECT_EQ(Event(oldId).GetSubject(), "Old");
  EXPECT_TRUE(mStore->RemoveItem(recent.GetEntryID()));
  EXPECT_FALSE(mStore->ItemExists(recent.GetEntryID()));
}

// ---- Writing the server's items

// Items as servers send them; each must read back from Outlook saying the same.
const char* const kServerItems[] = {
    // A weekly series with two deleted occurrences and one moved, in one item.
    "BEGIN:VEVENT\r\nUID:weekly-1\r\nSUMMARY:Weekly\r\nDTSTART:20250303T080000Z\r\nDTEND:20250303T090000Z\r\n"
    "RRULE:FREQ=WEEKLY;COUNT=8\r\nEXDATE:20250310T080000Z,20250324T080000Z\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:weekly-1\r\nRECURRENCE-ID:20250317T080000Z\r\nSUMMARY:Weekly moved\r\n"
    "DTSTART:20250318T120000Z\r\nDTEND:20250318T130000Z\r\nEND:VEVENT\r\n",
    // The second Tuesday of each month, in a zone of its own.
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\n"
    "BEGIN:DAYLIGHT\r\nDTSTART:19700329T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nTZOFFSETFROM:+0100\r\n"
    "TZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
    "BEGIN:VEVENT\r\nUID:monthly-1\r\nSUMMARY:Board\r\nDTSTART;TZID=Europe/Berlin:20250114T100000\r\n"
    "DTEND;TZID=Europe/Berlin:20250114T120000\r\nRRULE:FREQ=MONTHLY;BYDAY=2TU;UNTIL=20251231T000000Z\r\nEND:VEVENT\r\n",
    // A birthday.
    "BEGIN:VEVENT\r\nUID:birthday-1\r\nSUMMARY:Birthday\r\nDTSTART;VALUE=DATE:19800229\r\nDTEND;VALUE=DATE:19800301\r\n"
    "RRULE:FREQ=YEARLY\r\nCATEGORIES:Birthday\r\nEND:VEVENT\r\n",
    // A counted daily series with a reminder.
    "BEGIN:VEVENT\r\nUID:daily-1\r\nSUMMARY:Pills\r\nDTSTART:20250601T060000Z\r\nDTEND:20250601T061500Z\r\n"
    "RRULE:FREQ=DAILY;INTERVAL=2;COUNT=10\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT30M\r\nEND:VALARM\r\nEND:VEVENT\r\n",
    // A meeting: attendees (a name with a comma) and an organizer.
    "BEGIN:VEVENT\r\nUID:meeting-1\r\nSUMMARY:Review\r\nDESCRIPTION:Agenda:\\n1. Budget\\n2. Plan\r\nLOCATION:Room 4\r\n"
    "CLASS:PRIVATE\r\nPRIORITY:1\r\nDTSTART:20250404T130000Z\r\nDTEND:20250404T143000Z\r\n"
    "ORGANIZER:MAILTO:boss@example.org\r\n"
    "ATTENDEE;CN=\"Doe, Jane\";PARTSTAT=ACCEPTED:MAILTO:jane@example.org\r\n"
    "ATTENDEE;PARTSTAT=TENTATIVE:MAILTO:joe@example.org\r\nEND:VEVENT\r\n",
    // An all-day event of three days.
    "BEGIN:VEVENT\r\nUID:trip-1\r\nSUMMARY:Trip\r\nDTSTART;VALUE=DATE:20250812\r\nDTEND;VALUE=DATE:20250815\r\nEND:VEVENT\r\n",
};

// Outlook gives every item its own identifier and a class and an importance; an item that named
// none is sent with Outlook's.
bool IsOutlookDefault(const FieldDifference& difference) {
  if (difference.name == "UID") return true;
  const bool unnamed = difference.expected.empty() || difference.expected == std::vector<std::string>{""};
  return unnamed && ((difference.name == "PRIORITY" && difference.actual == std::vector<std::string>{"2"}) ||
                     (difference.name == "CLASS" && difference.actual == std::vector<std::string>{"PUBLIC"}));
}

class COutlookServerItems : public COutlookCalendarTest,
                            public ::testing::WithParamInterface<std::tuple<const char*, const char*>> {};

TEST_P(COutlookServerItems, AServerItemReadsBackFromOutlookSayingTheSameAndTheNextLoadSeesNoChange) {
  ScopedTimeZone zone(std::get<1>(GetParam()));
  Load();
  const std::string text = Calendar(std::get<0>(GetParam()));
  const std::string id = Write(text);
  ASSERT_FALSE(id.empty());
  // What the server said, as any store that keeps it sends it back.
  const std::string expected = ToVCalendar(CalendarRecordBuilder::BuildAll(text));
  for (const FieldDifference& difference : CompareItemFields(ReadItemFields(expected), ReadItemFields(SentText(id)))) {
    if (!IsOutlookDefault(difference)) ADD_FAILURE() << difference.Describe() << "\n" << SentText(id);
  }
  // The records after the write are what a new load reads, so nothing goes back to the server.
  std::vector<CDataItem::Ptr> written = mStore->mCurrentItems.Items();
  NextRun();
  Load();
  ASSERT_EQ(mStore->mCurrentItems.Count(), written.size());
  for (const CDataItem::Ptr& record : written) {
    EXPECT_EQ(Loaded(record->itemId)->properties, record->properties) << record->itemId;
  }
}

INSTANTIATE_TEST_SUITE_P(Items, COutlookServerItems,
                         ::testing::Combine(::testing::ValuesIn(kServerItems), ::testing::Values(kZoneBerlin, kZoneSydney)));

TEST_F(COutlookCalendarTest, TheUserAsOrganizerAndTheAppointmentCategoryAreNotWrittenIntoOutlook) {
  Load();
  const std::string id = Write(Calendar(
      "BEGIN:VEVENT\r\nUID:x\r\nSUMMARY:Mine\r\nDTSTART:20250404T130000Z\r\nDTEND:20250404T140000Z\r\n"
      "CATEGORIES:Appointment\r\nORGANIZER:MAILTO:me@example.org\r\nATTENDEE:MAILTO:ann@example.org\r\nEND:VEVENT\r\n"));
  const outlook::AppointmentItem event = Event(id);
  EXPECT_EQ(event.GetCategories(), "");
  EXPECT_NE(event.GetOrganizer(), "me@example.org");
  EXPECT_EQ(event.GetMeetingStatus(), 1);
  EXPECT_FALSE(event.GetAllDayEvent());
  EXPECT_EQ(Loaded(id)->properties.count("VC_CATEGORIES"), 0u) << "what this client once sent for none is none";
}

TEST_F(COutlookCalendarTest, ADateWithATimeMakesAnEventTimedAndTwoDatesMakeItAllDay) {
  ScopedTimeZone zone(kZoneBerlin);
  Load();
  const std::string allDay = Write(Calendar(
      "BEGIN:VEVENT\r\nSUMMARY:A\r\nDTSTART;VALUE=DATE:20250704\r\nDTEND;VALUE=DATE:20250705\r\nEND:VEVENT\r\n"));
  const std::string timed = Write(Calendar(
      "BEGIN:VEVENT\r\nSUMMARY:B\r\nDTSTART;VALUE=DATE:20250704\r\nDTEND:20250704T120000Z\r\nEND:VEVENT\r\n"));
  EXPECT_TRUE(Event(allDay).GetAllDayEvent());
  EXPECT_EQ(Event(allDay).GetStart(), Local(2025, 7, 4));
  EXPECT_EQ(Event(allDay).GetEnd(), Local(2025, 7, 5));
  EXPECT_FALSE(Event(timed).GetAllDayEvent());
}

TEST_F(COutlookCalendarTest, AReplacedEventLosesWhatTheServerNoLongerSays) {
  Load();
  std::string id = Write(Calendar(
      "BEGIN:VEVENT\r\nSUMMARY:Full\r\nLOCATION:Here\r\nCATEGORIES:Work\r\nDTSTART:20250404T130000Z\r\n"
      "DTEND:20250404T140000Z\r\nRRULE:FREQ=DAILY;COUNT=3\r\nATTENDEE:MAILTO:ann@example.org\r\n"
      "BEGIN:VALARM\r\nTRIGGER:-PT5M\r\nEND:VALARM\r\nEND:VEVENT\r\n"));
  const std::string same = Write(Calendar(
      "BEGIN:VEVENT\r\nSUMMARY:Bare\r\nDTSTART:20250405T130000Z\r\nDTEND:20250405T140000Z\r\nEND:VEVENT\r\n"), id);
  EXPECT_EQ(same, id);
  const outlook::AppointmentItem event = Event(id);
  EXPECT_EQ(event.GetSubject(), "Bare");
  EXPECT_EQ(event.GetLocation(), "");
  EXPECT_EQ(event.GetCategories(), "");
  EXPECT_FALSE(event.GetReminderSet());
  EXPECT_EQ(event.GetRecipients().GetCount(), 0);
  EXPECT_EQ(event.GetRecurrenceState(), olApptNotRecurring);
}

TEST_F(COutlookCalendarTest, AUtcSeriesRecursOnUtcDaysAndShowsOnTheLocalOnes) {
  ScopedTimeZone zone(kZoneSydney);
  Load();
  // 15:00 UTC on Tuesdays is 02:00 on Wednesdays in Sydney.
  const std::string weekly = Write(Calendar(
      "BEGIN:VEVENT\r\nSUMMARY:Late\r\nDTSTART:20270112T150000Z\r\nDTEND:20270112T160000Z\r\n"
      "RRULE:FREQ=MONTHLY;BYDAY=2TU;COUNT=3\r\nEND:VEVENT\r\n"));
  const std::string monthly = Write(Calendar(
      "BEGIN:VEVENT\r\nSUMMARY:Rent\r\nDTSTART:20270112T150000Z\r\nDTEND:20270112T160000Z\r\n"
      "RRULE:FREQ=MONTHLY;BYMONTHDAY=12;COUNT=3\r\nEND:VEVENT\r\n"));
  const outlook::RecurrencePattern nth = Event(weekly).GetRecurrencePattern();
  EXPECT_EQ(nth.GetDayOfWeekMask(), olTuesday);
  EXPECT_EQ(Event(weekly).GetStartTimeZone(), "UTC");
  EXPECT_EQ(Event(weekly).GetStart(), Local(2027, 1, 13, 2));
  EXPECT_EQ(nth.GetOccurrence(Local(2027, 2, 10)).GetStart(), Local(2027, 2, 10, 2)) << "the second Tuesday, UTC";
  EXPECT_EQ(Event(monthly).GetRecurrencePattern().GetDayOfMonth(), 12);
  EXPECT_EQ(Loaded(weekly)->Property("VC_RRULE"), "FREQ=MONTHLY;INTERVAL=1;BYDAY=2TU;COUNT=3");
  EXPECT_EQ(Loaded(weekly)->properties.count("VC_TZID"), 0u);
}

// ---- Changed occurrences on their own

TEST_F(COutlookCalendarTest, AChangedOccurrenceFindsItsSeriesByIdentifierByUidOfThisRunOrByLocalUid) {
  ScopedTimeZone zone(kZoneBerlin);
  Load();
  const std::string series = Write(Calendar(
      "BEGIN:VEVENT\r\nUID:srv-7\r\nSUMMARY:Series\r\nDTSTART:20250303T080000Z\r\nDTEND:20250303T090000Z\r\n"
      "RRULE:FREQ=DAILY;COUNT=5\r\nEND:VEVENT\r\n"));
  const auto occurrence = [](const std::string& uid, const char* day, const char* subject) {
    return Calendar("BEGIN:VEVENT\r\nUID:" + uid + "\r\nRECURRENCE-ID:202503" + day + "T080000Z\r\nSUMMARY:" + subject +
                    "\r\nDTSTART:202503" + day + "T100000Z\r\nDTEND:202503" + day + "T110000Z\r\nEND:VEVENT\r\n");
  };
  // By the UID the server gave the series earlier in this run.
  EXPECT_EQ(Write(occurrence("srv-7", "04", "Fourth")), series + "/20250304");
  // By the identifier the engine holds for it.
  EXPECT_EQ(Write(occurrence("other", "05", "Fifth"), series + "/20250305"), series + "/20250305");
  // A series this store sent: its UID is the local identifier.
  NextRun();
  Load();
  EXPECT_EQ(Write(occurrence(series, "06", "Sixth")), series + "/20250306");
  EXPECT_EQ(Loaded(series + "/20250304")->Property("VC_SUMMARY"), "Fourth");
  EXPECT_EQ(Loaded(series + "/20250305")->Property("VC_SUMMARY"), "Fifth");
  EXPECT_EQ(Loaded(series + "/20250306")->Property("VC_SUMMARY"), "Sixth");
  EXPECT_EQ(Loaded(series)->Property("VC_SUMMARY"), "Series");
  // Without a UID there is no series to wait for: nothing is written.
  std::string none;
  EXPECT_EQ(mStore->AddCalendarItem(Calendar("BEGIN:VEVENT\r\nRECURRENCE-ID:20250304T080000Z\r\nSUMMARY:Lost\r\n"
                                             "DTSTART:20250304T100000Z\r\nEND:VEVENT\r\n"),
                                    none),
            kStoreFail);
}

// As SyncEvolution's server keeps them: a series and its changed occurrence as two items that
// share the UID, the occurrence arriving first, its series in the same run or a later one.
TEST_F(COutlookCalendarTest, AChangedOccurrenceThatArrivesBeforeItsSeriesKeepsItsIdentifierWhenTheSeriesComes) {
  for (const bool laterRun : {false, true}) {
    ScopedTimeZone zone(kZoneBerlin);
    Load();
    const std::string uid = laterRun ? "early-later" : "early";
    const std::string occurrence = Write(Calendar(
        "BEGIN:VEVENT\r\nUID:" + uid + "\r\nRECURRENCE-ID:20250304T080000Z\r\nSUMMARY:Early\r\n"
        "DTSTART:20250304T100000Z\r\nDTEND:20250304T110000Z\r\nEND:VEVENT\r\n"));
    ASSERT_EQ(occurrence.substr(occurrence.find('/')), "/20250304");
    const std::string standIn = SeriesKeyOf(occurrence);
    // Meanwhile the user sees it where it is now.
    EXPECT_EQ(Event(standIn).GetRecurrencePattern().GetOccurrence(Local(2025, 3, 4)).GetStartUTC(),
              OleDate(2025, 3, 4, 10, 0, 0).Days());
    if (laterRun) {
      NextRun();
      Load();
    }
    const std::string series = Write(Calendar(
        "BEGIN:VEVENT\r\nUID:" + uid + "\r\nSUMMARY:Series\r\nDTSTART:20250303T080000Z\r\nDTEND:20250303T090000Z\r\n"
        "RRULE:FREQ=DAILY;COUNT=5\r\nEND:VEVENT\r\n"));
    EXPECT_EQ(series, standIn) << "the series takes the stand-in's identifier";
    EXPECT_EQ(Loaded(occurrence)->Property("VC_SUMMARY"), "Early");
    EXPECT_EQ(Loaded(occurrence)->Property("VC_DTSTART"), "20250304T100000Z");
    EXPECT_EQ(Loaded(series)->Property("VC_RRULE"), "FREQ=DAILY;INTERVAL=1;COUNT=5");
    // The next run reads the same identifiers, so a later change goes to the server's items.
    NextRun();
    Load();
    EXPECT_TRUE(mStore->mCurrentItems.Contains(occurrence));
    EXPECT_EQ(Loaded(series)->properties.count("VC_STAND_IN_UID"), 0u);
  }
}

TEST_F(COutlookCalendarTest, ASeriesWrittenAgainKeepsItsChangedOccurrencesAndADeletedOneIsGone) {
  ScopedTimeZone zone(kZoneBerlin);
  Load();
  const std::string series = Write(Calendar(
      "BEGIN:VEVENT\r\nUID:s9\r\nSUMMARY:Daily\r\nDTSTART:20250303T080000Z\r\nDTEND:20250303T090000Z\r\n"
      "RRULE:FREQ=DAILY;COUNT=5\r\nEND:VEVENT\r\n"));
  const std::string moved = Write(Calendar(
      "BEGIN:VEVENT\r\nUID:s9\r\nRECURRENCE-ID:20250305T080000Z\r\nSUMMARY:Moved\r\n"
      "DTSTART:20250305T120000Z\r\nDTEND:20250305T130000Z\r\nEND:VEVENT\r\n"));
  ASSERT_EQ(moved, series + "/20250305");
  // The server changes the series alone (its changed occurrence is an item of its own there).
  Write(Calendar("BEGIN:VEVENT\r\nUID:s9\r\nSUMMARY:Daily, renamed\r\nDTSTART:20250303T080000Z\r\n"
                 "DTEND:20250303T090000Z\r\nRRULE:FREQ=DAILY;COUNT=5\r\nEND:VEVENT\r\n"),
        series);
  EXPECT_EQ(Loaded(series)->Property("VC_SUMMARY"), "Daily, renamed");
  EXPECT_EQ(Loaded(moved)->Property("VC_SUMMARY"), "Moved");
  EXPECT_TRUE(mStore->ItemExists(moved));
  // The user deletes the changed occurrence in Outlook: its deletion and the series' excluded
  // date go to the server.
  NextRun();
  Event(series).GetRecurrencePattern().GetOccurrence(Local(2025, 3, 5)).Delete();
  Load();
  EXPECT_FALSE(mStore->mCurrentItems.Contains(moved));
  EXPECT_FALSE(mStore->ItemExists(moved)) << "reported deleted";
  EXPECT_TRUE(mStore->ItemExists(series));
  EXPECT_EQ(Loaded(series)->Property("EXDATE"), "20250305T080000Z");
}

TEST_F(COutlookCalendarTest, ACancelledOccurrenceIsDeletedFromItsSeriesAndACancelledMeetingIsOne) {
  ScopedTimeZone zone(kZoneBerlin);
  Load();
  const std::string series = Write(Calendar(
      "BEGIN:VEVENT\r\nUID:c1\r\nSUMMARY:Board\r\nDTSTART:20250303T080000Z\r\nDTEND:20250303T090000Z\r\n"
      "RRULE:FREQ=WEEKLY;COUNT=4\r\nEND:VEVENT\r\n"));
  Write(Calendar("BEGIN:VEVENT\r\nUID:c1\r\nRECURRENCE-ID:20250310T080000Z\r\nSUMMARY:Board\r\nSTATUS:CANCELLED\r\n"
                 "DTSTART:20250310T080000Z\r\nDTEND:20250310T090000Z\r\nEND:VEVENT\r\n"));
  EXPECT_EQ(Loaded(series)->Property("EXDATE"), "20250310T080000Z");
  EXPECT_FALSE(mStore->mCurrentItems.Contains(series + "/20250310"));
  const std::string meeting = Write(Calendar(
      "BEGIN:VEVENT\r\nUID:c2\r\nSUMMARY:Off\r\nSTATUS:CANCELLED\r\nDTSTART:20250404T130000Z\r\n"
      "DTEND:20250404T140000Z\r\nEND:VEVENT\r\n"));
  EXPECT_EQ(Event(meeting).GetMeetingStatus(), 5);
  EXPECT_EQ(Loaded(meeting)->Property("VC_STATUS"), "CANCELLED");
}

TEST_F(COutlookCalendarTest, OrganizerNameRolesResponsesAndClassesAreOutlooksOwnFields) {
  Load();
  const std::string id = Write(Calendar(
      "BEGIN:VEVENT\r\nUID:m1\r\nSUMMARY:Review\r\nDTSTART:20250404T130000Z\r\nDTEND:20250404T140000Z\r\n"
      "CLASS:CONFIDENTIAL\r\nPRIORITY:9\r\nTRANSP:TRANSPARENT\r\nORGANIZER;CN=\"Weber, Jo\":mailto:jo@example.org\r\n"
      "ATTENDEE;CN=Kim;ROLE=OPT-PARTICIPANT;RSVP=TRUE:mailto:kim@example.org\r\n"
      "ATTENDEE;CN=Sam;PARTSTAT=ACCEPTED;RSVP=TRUE:mailto:sam@example.org\r\nEND:VEVENT\r\n"));
  const outlook::AppointmentItem event = Event(id);
  EXPECT_EQ(event.GetSensitivity(), 3);
  EXPECT_EQ(event.GetImportance(), 0);
  EXPECT_EQ(event.GetBusyStatus(), 0);
  EXPECT_TRUE(event.GetResponseRequested());
  const outlook::Recipients recipients = event.GetRecipients();
  ASSERT_EQ(recipients.GetCount(), 3);
  EXPECT_EQ(recipients.Item(1).GetType(), 0) << "the organizer";
  EXPECT_EQ(recipients.Item(1).GetName(), "Weber, Jo");
  EXPECT_EQ(recipients.Item(2).GetType(), 2) << "optional";
  EXPECT_EQ(recipients.Item(3).GetType(), 1);
  const CDataItem::Ptr record = Loaded(id);
  EXPECT_EQ(record->Property("VC_CLASS"), "CONFIDENTIAL");
  EXPECT_EQ(record->Property("VC_PRIORITY"), "3");
  EXPECT_EQ(record->Property("VC_TRANSP"), "TRANSPARENT");
  EXPECT_EQ(record->Property("VC_ORGANIZER"), "jo@example.org");
  EXPECT_EQ(record->Property("VC_ORGANIZER_NAME"), "Weber, Jo");
  EXPECT_EQ(record->Property("VC_ATTENDEE_COUNT"), "2");
  EXPECT_EQ(record->Property("VC_ATTENDEE_ROLE_1"), "OPT-PARTICIPANT");
  EXPECT_EQ(record->Property("VC_ATTENDEE_RSVP_2"), "TRUE");
  const std::string sent = SentText(id);
  EXPECT_NE(sent.find("\r\nORGANIZER;CN=\"Weber, Jo\":mailto:jo@example.org\r\n"), std::string::npos) << sent;
  EXPECT_NE(sent.find("\r\nPRIORITY:9\r\n"), std::string::npos) << sent;
}

// The series the issue names, written by the server and sent back, with the machine in each zone:
// their rules keep the days of their zone, and a count stays a count with the same dates.
class COutlookZonedSeries : public COutlookCalendarTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(COutlookZonedSeries, RuleDaysAreTheSeriesZonesBothWays) {
  ScopedTimeZone zone(GetParam());
  Load();
  struct Case {
    std::string lines;
    int dayMask;      // of the Outlook pattern
    int dayOfMonth;   // of the Outlook pattern, 0 when not monthly
    std::string rule;  // as sent
    std::string start; // as sent
  };
  const Case cases[] = {
      {"DTSTART;TZID=Asia/Kolkata:20250106T020000\r\nDTEND;TZID=Asia/Kolkata:20250106T030000\r\n"
       "RRULE:FREQ=WEEKLY;BYDAY=MO,WE;COUNT=8\r\n",
       olMonday | olWednesday, 0, "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO,WE;COUNT=8", "DTSTART;TZID=Asia/Kolkata:20250106T020000"},
      {"DTSTART;TZID=America/New_York:20250103T213000\r\nDTEND;TZID=America/New_York:20250103T223000\r\n"
       "RRULE:FREQ=WEEKLY;BYDAY=FR;UNTIL=20250627T013000Z\r\n",
       olFriday, 0, "FREQ=WEEKLY;INTERVAL=1;BYDAY=FR;UNTIL=20250627T013000Z",
       "DTSTART;TZID=America/New_York:20250103T213000"},
      {"DTSTART;TZID=Asia/Tokyo:20250201T080000\r\nDTEND;TZID=Asia/Tokyo:20250201T083000\r\n"
       "RRULE:FREQ=MONTHLY;BYMONTHDAY=1;COUNT=6\r\n",
       0, 1, "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=1;COUNT=6", "DTSTART;TZID=Asia/Tokyo:20250201T080000"},
      {"DTSTART;TZID=Europe/Berlin:20250131T170000\r\nDTEND;TZID=Europe/Berlin:20250131T180000\r\n"
       "RRULE:FREQ=MONTHLY;BYMONTHDAY=31;COUNT=5\r\n",
       0, 31, "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=31;COUNT=5", "DTSTART;TZID=Europe/Berlin:20250131T170000"},
  };
  for (const Case& item : cases) {
    const std::string id = Write(Calendar("BEGIN:VEVENT\r\nUID:z\r\nSUMMARY:s\r\n" + item.lines + "END:VEVENT\r\n"));
    const outlook::RecurrencePattern pattern = Event(id).GetRecurrencePattern();
    if (item.dayMask != 0) {
      EXPECT_EQ(pattern.GetDayOfWeekMask(), item.dayMask) << item.rule;
    }
    if (item.dayOfMonth != 0) {
      EXPECT_EQ(pattern.GetDayOfMonth(), item.dayOfMonth) << item.rule;
    }
    const std::string sent = SentText(id);
    EXPECT_NE(sent.find("\r\nRRULE:" + item.rule + "\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\r\n" + item.start + "\r\n"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("EXDATE"), std::string::npos) << "the short months are the rule's: " << sent;
  }
  // The 31st skips February and April in Outlook too: 31 January, 31 March, 31 May, 31 July, 31 August.
  const std::string id = Write(Calendar(
      "BEGIN:VEVENT\r\nUID:z31\r\nSUMMARY:s\r\nDTSTART;TZID=Europe/Berlin:20250131T170000\r\n"
      "DTEND;TZID=Europe/Berlin:20250131T180000\r\nRRULE:FREQ=MONTHLY;BYMONTHDAY=31;COUNT=5\r\nEND:VEVENT\r\n"));
  const outlook::RecurrencePattern pattern = Event(id).GetRecurrencePattern();
  int shown = 0;
  for (const auto& [month, last] : std::vector<std::pair<int, int>>{{1, 31}, {2, 28}, {3, 31}, {4, 30}, {5, 31},
                                                                    {6, 30}, {7, 31}, {8, 31}, {9, 30}}) {
    // 17:00 in Berlin, on the machine's day it is there.
    OleDate at(2025, month, last, month >= 3 && month <= 10 ? 15 : 16, 0, 0);
    UtcToLocal(at);
    bool occurs = true;
    try {
      pattern.GetOccurrence(Local(at.Year(), at.Month(), at.Day()));
    } catch (const AutomationError&) {
      occurs = false;
    }
    EXPECT_EQ(occurs, last == 31) << month;
    shown += occurs ? 1 : 0;
  }
  EXPECT_EQ(shown, 5);
}

INSTANTIATE_TEST_SUITE_P(Zones, COutlookZonedSeries,
                         ::testing::Values("UTC", "Europe/Berlin", "Asia/Kolkata", "America/New_York", "Australia/Lord_Howe"));

TEST_F(COutlookCalendarTest, AMonthlySeriesOnThe31stMadeInOutlookFallsOnEveryLastDay) {
  ScopedTimeZone zone(kZoneBerlin);
  outlook::AppointmentItem series = NewEvent("Close", Local(2025, 1, 31, 17), Local(2025, 1, 31, 18));
  series.GetRecurrencePattern().SetRecurrenceType(olRecursMonthly);
  series.GetRecurrencePattern().SetDayOfMonth(31);
  series.GetRecurrencePattern().SetOccurrences(4);
  series.Save();
  Load();
  EXPECT_EQ(Loaded(series.GetEntryID())->Property("VC_RRULE"), "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=-1;COUNT=4");
}

TEST_F(COutlookCalendarTest, ATaskReopenedOnTheServerIsReopenedAndItsTimesStayTimes) {
  Load(DATA_TYPE_TASKS);
  std::string id = Write(Calendar(
      "BEGIN:VTODO\r\nUID:t1\r\nSUMMARY:Visa\r\nSTATUS:COMPLETED\r\nPERCENT-COMPLETE:100\r\nCOMPLETED:20250407T151500Z\r\n"
      "DUE;TZID=America/New_York:20250407T113000\r\nCLASS:PRIVATE\r\nCATEGORIES:Travel\r\nEND:VTODO\r\n"));
  CDataItem::Ptr record = Loaded(id);
  EXPECT_EQ(record->Property("VC_DUE"), "20250407T153000Z");
  EXPECT_EQ(record->Property("VC_COMPLETED"), "20250407T151500Z");
  EXPECT_EQ(record->Property("VC_STATUS"), "COMPLETED");
  EXPECT_EQ(record->Property("VC_CLASS"), "PRIVATE");
  EXPECT_EQ(record->Property("VC_CATEGORIES"), "Travel");
  Write(Calendar("BEGIN:VTODO\r\nUID:t1\r\nSUMMARY:Visa\r\nDUE;TZID=America/New_York:20250407T113000\r\nEND:VTODO\r\n"), id);
  const outlook::TaskItem task(mNamespace.GetItemFromID(id, ""));
  EXPECT_EQ(task.GetStatus(), 0);
  EXPECT_EQ(task.GetPercentComplete(), 0);
  EXPECT_TRUE(OleDate(task.GetDateCompleted()).IsAbsent());
  record = Loaded(id);
  EXPECT_EQ(record->properties.count("VC_STATUS"), 0u);
  EXPECT_EQ(record->properties.count("VC_COMPLETED"), 0u);
}

TEST_F(COutlookCalendarTest, AnExcludedDateAtAnotherTimeOfDayRemovesTheOccurrenceOfItsLocalDate) {
  ScopedTimeZone zone(kZoneBerlin);
  Load();
  const std::string id = Write(Calendar(
      "BEGIN:VEVENT\r\nSUMMARY:Gym\r\nDTSTART:20250303T170000Z\r\nDTEND:20250303T180000Z\r\n"
      "RRULE:FREQ=DAILY;COUNT=4\r\nEXDATE;VALUE=DATE:20250304\r\nEXDATE:20250305T000000Z\r\nEND:VEVENT\r\n"));
  const outlook::Exceptions exceptions = Event(id).GetRecurrencePattern().GetExceptions();
  ASSERT_EQ(exceptions.GetCount(), 2);
  EXPECT_TRUE(exceptions.Item(1).GetDeleted());
  EXPECT_EQ(DayOf(exceptions.Item(1).GetOriginalDate()), Local(2025, 3, 4));
  EXPECT_EQ(DayOf(exceptions.Item(2).GetOriginalDate()), Local(2025, 3, 5));
}

TEST_F(COutlookCalendarTest, DeletingAChangedOccurrenceRemovesOnlyThatOccurrence) {
  ScopedTimeZone zone(kZoneBerlin);
  Load();
  const std::string id = Write(Calendar(
      "BEGIN:VEVENT\r\nUID:s\r\nSUMMARY:Series\r\nDTSTART:20250303T080000Z\r\nDTEND:20250303T090000Z\r\n"
      "RRULE:FREQ=DAILY;COUNT=5\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:s\r\nRECURRENCE-ID:20250304T080000Z\r\n"
      "SUMMARY:Changed\r\nDTSTART:20250304T100000Z\r\nDTEND:20250304T110000Z\r\nEND:VEVENT\r\n"));
  ASSERT_TRUE(mStore->mCurrentItems.Contains(id + "/20250304"));
  EXPECT_TRUE(mStore->RemoveItem(id + "/20250304"));
  EXPECT_FALSE(mStore->mCurrentItems.Contains(id + "/20250304"));
  EXPECT_EQ(Loaded(id)->Property("EXDATE"), "20250304T080000Z");
  EXPECT_EQ(Event(id).GetRecurrencePattern().GetOccurrences(), 5);
  EXPECT_TRUE(mStore->RemoveItem(id));
  EXPECT_FALSE(mStore->ItemExists(id));
}

TEST_F(COutlookCalendarTest, AServerTaskIsWrittenAndReplaced) {
  Load(DATA_TYPE_TASKS);
  std::string id = Write(Calendar(
      "BEGIN:VTODO\r\nSUMMARY:File taxes\r\nPRIORITY:1\r\nSTATUS:IN-PROCESS\r\nPERCENT-COMPLETE:40\r\n"
      "DTSTART;VALUE=DATE:20250301\r\nDUE;VALUE=DATE:20250415\r\nEND:VTODO\r\n"));
  const outlook::TaskItem task(mNamespace.GetItemFromID(id, ""));
  EXPECT_EQ(task.GetSubject(), "File taxes");
  EXPECT_EQ(task.GetImportance(), 2);
  EXPECT_EQ(task.GetStatus(), 1);
  EXPECT_EQ(task.GetPercentComplete(), 40);
  EXPECT_EQ(task.GetDueDate(), Local(2025, 4, 15));
  Write(Calendar("BEGIN:VTODO\r\nSUMMARY:Filed\r\nSTATUS:COMPLETED\r\nEND:VTODO\r\n"), id);
  const outlook::TaskItem again(mNamespace.GetItemFromID(id, ""));
  EXPECT_EQ(again.GetSubject(), "Filed");
  EXPECT_TRUE(IsNoDate(again.GetDueDate()));
  EXPECT_EQ(Loaded(id)->Property("VC_STATUS"), "COMPLETED");
  EXPECT_EQ(Folder(olFolderTasks).GetItems().GetCount(), 1);
}

}  // namespace
