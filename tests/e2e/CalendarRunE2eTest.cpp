// Calendar runs against the local SyncEvolution server with each store that holds events and
// tasks: series with deleted and moved occurrences, ordinal and yearly rules, alarms, attendees
// and all-day items uploaded and downloaded into a fresh store, compared field by field and
// occurrence by occurrence in two client time zones; one occurrence changed on the server; and
// the sync period.
#include <ctime>
#include <filesystem>
#include <map>

#include "pim/CalendarRecordBuilder.h"
#include "pim/OleDate.h"
#include "pim/VCalItemReader.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/ItemFields.h"

namespace {

namespace fs = std::filesystem;

std::string Calendar(const std::string& component) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + component + "END:VCALENDAR\r\n";
}

// The items of the scenarios, as a user's calendar holds them.
const char* const kEvents[] = {
    "BEGIN:VEVENT\r\nUID:c-weekly\r\nSUMMARY:Weekly planning\r\nDTSTART:20270104T080000Z\r\nDTEND:20270104T090000Z\r\n"
    "RRULE:FREQ=WEEKLY;COUNT=10\r\nEXDATE:20270111T080000Z,20270125T080000Z\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:c-weekly\r\nRECURRENCE-ID:20270118T080000Z\r\nSUMMARY:Weekly planning, moved\r\n"
    "DTSTART:20270119T130000Z\r\nDTEND:20270119T140000Z\r\nEND:VEVENT\r\n",
    "BEGIN:VEVENT\r\nUID:c-monthly\r\nSUMMARY:Board meeting\r\nDTSTART:20270112T150000Z\r\nDTEND:20270112T170000Z\r\n"
    "RRULE:FREQ=MONTHLY;BYDAY=2TU;UNTIL=20271231T235959Z\r\nEND:VEVENT\r\n",
    "BEGIN:VEVENT\r\nUID:c-birthday\r\nSUMMARY:Birthday of Ada\r\nDTSTART;VALUE=DATE:20271210\r\n"
    "DTEND;VALUE=DATE:20271211\r\nRRULE:FREQ=YEARLY\r\nCATEGORIES:Birthday\r\nEND:VEVENT\r\n",
    "BEGIN:VEVENT\r\nUID:c-daily\r\nSUMMARY:Physiotherapy\r\nDTSTART:20270301T070000Z\r\nDTEND:20270301T073000Z\r\n"
    "RRULE:FREQ=DAILY;COUNT=6\r\nEND:VEVENT\r\n",
    "BEGIN:VEVENT\r\nUID:c-remind\r\nSUMMARY:Dentist\r\nLOCATION:High Street 4\r\nDTSTART:20270405T090000Z\r\n"
    "DTEND:20270405T094500Z\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-P1D\r\nEND:VALARM\r\nEND:VEVENT\r\n",
    "BEGIN:VEVENT\r\nUID:c-meeting\r\nSUMMARY:Design review\r\nDESCRIPTION:Agenda:\\n1. Scope\\n2. Dates\r\n"
    "CLASS:PRIVATE\r\nPRIORITY:1\r\nDTSTART:20270506T120000Z\r\nDTEND:20270506T133000Z\r\n"
    "ORGANIZER:MAILTO:chair@example.org\r\nATTENDEE;CN=\"Doe, Jane\";PARTSTAT=ACCEPTED:MAILTO:jane@example.org\r\n"
    "ATTENDEE;PARTSTAT=DECLINED:MAILTO:joe@example.org\r\nEND:VEVENT\r\n",
    "BEGIN:VEVENT\r\nUID:c-trip\r\nSUMMARY:Conference trip\r\nDTSTART;VALUE=DATE:20270614\r\n"
    "DTEND;VALUE=DATE:20270618\r\nEND:VEVENT\r\n",
};
const char* const kTasks[] = {
    "BEGIN:VTODO\r\nUID:t-dated\r\nSUMMARY:Tax return\r\nPRIORITY:1\r\nSTATUS:IN-PROCESS\r\nPERCENT-COMPLETE:30\r\n"
    "DTSTART;VALUE=DATE:20270301\r\nDUE;VALUE=DATE:20270531\r\nEND:VTODO\r\n",
    "BEGIN:VTODO\r\nUID:t-someday\r\nSUMMARY:Read the manual\r\nEND:VTODO\r\n",
};

// An item as any calendar store keeps it: the record the shared rules read from its text, written
// again. Texts that say the same in other words, or with lines no record keeps, read the same.
std::string Kept(const std::string& text) { return ToVCalendar(CalendarRecordBuilder::BuildAll(text)); }

std::string SummaryOf(const std::string& text) {
  const CDataItem::Ptr record = CalendarRecordBuilder::Build(text);
  return record ? record->Property("VC_SUMMARY") : std::string();
}

// Outlook gives every item its own UID, a class and an importance, and every task a status; an
// item that named none is sent with Outlook's.
bool IsStoreDefault(const FieldDifference& difference) {
  if (difference.name == "UID") return true;
  const bool unnamed = difference.expected.empty() || difference.expected == std::vector<std::string>{""};
  const auto is = [&](const char* name, const char* value) {
    return difference.name == name && difference.actual == std::vector<std::string>{value};
  };
  return unnamed && (is("CLASS", "PUBLIC") || is("PRIORITY", "2") || is("STATUS", "NEEDS-ACTION"));
}

// The fields of each item by its summary; a changed occurrence sent as an item of its own joins
// the series of its UID.
std::map<std::string, std::vector<ItemField>> ItemsBySummary(const std::vector<std::string>& texts) {
  std::map<std::string, std::string> summaryOfUid;
  std::vector<std::pair<std::string, std::vector<ItemField>>> occurrences;
  std::map<std::string, std::vector<ItemField>> items;
  for (const std::string& text : texts) {
    std::vector<ItemField> fields = ReadItemFields(Kept(text));
    const CDataItem::Ptr first = CalendarRecordBuilder::Build(text);
    if (first && IsChangedOccurrence(*first)) {
      occurrences.emplace_back(FindRecurrenceId(text).uid, std::move(fields));
      continue;
    }
    summaryOfUid[FindRecurrenceId(text).uid] = SummaryOf(text);
    items[SummaryOf(text)] = std::move(fields);
  }
  for (auto& [uid, fields] : occurrences) {
    std::vector<ItemField>& series = items[summaryOfUid[uid]];
    std::erase_if(fields, [](const ItemField& field) { return field.name == "UID"; });
    series.insert(series.end(), fields.begin(), fields.end());
  }
  return items;
}

void ExpectSameItems(const std::vector<std::string>& originals, const std::vector<std::string>& copies) {
  const std::map<std::string, std::vector<ItemField>> copied = ItemsBySummary(copies);
  EXPECT_EQ(copied.size(), originals.size());
  for (const auto& [summary, fields] : ItemsBySummary(originals)) {
    const auto copy = copied.find(summary);
    if (copy == copied.end()) {
      ADD_FAILURE() << "no copy of " << summary;
      continue;
    }
    for (const FieldDifference& difference : CompareItemFields(fields, copy->second)) {
      if (!IsStoreDefault(difference)) ADD_FAILURE() << summary << ": " << difference.Describe();
    }
  }
}

// Records of the texts: a series and each changed occurrence count once.
int RecordCount(const std::vector<std::string>& texts) {
  int count = 0;
  for (const std::string& text : texts) count += static_cast<int>(CalendarRecordBuilder::BuildAll(text).size());
  return count;
}

class CalendarRunE2eTest : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    if (!IsSkipped() && !Can().calendar) GTEST_SKIP() << Local().Name() << " store holds no events";
  }
  void TearDown() override {
    mZone.reset();
    ::tzset();
    E2eTest::TearDown();
  }
  // The client's zone from now on (the server keeps its own).
  void UseZone(const char* zone) {
    mZone.reset();  // the old one restores its TZ before the new one is set
    mZone = std::make_unique<ScopedEnv>("TZ", zone);
    ::tzset();
  }
  void SyncOk() {
    const SyncRunOutcome outcome = Sync();
    ASSERT_TRUE(outcome.Succeeded()) << outcome.error << " " << Link(1).mStatusText << " | " << Link(2).mStatusText;
  }
  int ServerChangesApplied() {
    int count = 0;
    for (int link = 0; link < 3; ++link) {
      const ChangeCounts& counts = Link(link).mServerCounts;
      count += counts.added + counts.updated + counts.deleted;
    }
    return count;
  }
  // The same client with an empty store: its links forget their anchors, indexes and last run, so
  // the next run is a first one and brings everything down.
  void SwitchToAFreshStore() {
    mLocal = MakeLocalSide(GetParam().store, mDir.Path() + "fresh/");
    fs::create_directories(mDir.Path() + "fresh/outlook");
    mLocal->Configure(*mConf);
    for (size_t i = 0; i < mConf->Links().Size(); ++i) {
      CSyncLink& link = Link(static_cast<int>(i));
      fs::remove(mConf->ConfigFolder() + link.LocalFileName() + ".anc");
      fs::remove(mConf->ConfigFolder() + link.LocalFileName() + ".dat");
      link.mState = SYNC_STATE_NEVER;
      link.mLastSyncTime = 0;
    }
    mConf->Save();
  }
  void RoundTripIn(const char* zone) {
    UseZone(zone);
    std::vector<std::string> events, tasks;
    for (const char* event : kEvents) events.push_back(Calendar(event));
    for (const char* task : kTasks) tasks.push_back(Calendar(task));
    for (const std::string& event : events) Local().AddCalendarItem(DATA_TYPE_EVENTS, event);
    for (const std::string& task : tasks) Local().AddCalendarItem(DATA_TYPE_TASKS, task);
    SyncOk();
    EXPECT_EQ(Link(1).mLocalCounts.added, RecordCount(events));
    EXPECT_EQ(Link(2).mLocalCounts.added, RecordCount(tasks));
    ExpectSameItems(events, Server().Items("events"));
    ExpectSameItems(tasks, Server().Items("tasks"));
    SyncOk();
    EXPECT_EQ(ItemCommandsInLog(), 0) << "the second run sends nothing";

    SwitchToAFreshStore();
    SyncOk();
    ExpectSameItems(events, Local().CalendarItems(DATA_TYPE_EVENTS));
    ExpectSameItems(tasks, Local().CalendarItems(DATA_TYPE_TASKS));
    SyncOk();
    EXPECT_EQ(ItemCommandsInLog(), 0) << "what came down is not sent back";
    EXPECT_EQ(ServerChangesApplied(), 0);
  }
  // An event `daysAgo` days before today at noon, for an hour.
  static std::string EventDaysAgo(const std::string& summary, int daysAgo, const std::string& extraLines = "") {
    const OleDate noon = OleDate(DayOfToday() - daysAgo) + OleDateSpan(0, 12, 0, 0);
    return Calendar("BEGIN:VEVENT\r\nSUMMARY:" + summary + "\r\nDTSTART:" + noon.Format("%Y%m%dT%H%M%SZ") +
                    "\r\nDTEND:" + (noon + OleDateSpan(0, 1, 0, 0)).Format("%Y%m%dT%H%M%SZ") + "\r\n" + extraLines +
                    "END:VEVENT\r\n");
  }
  static double DayOfToday() {
    const OleDate now = OleDate::Now();
    return OleDate(now.Year(), now.Month(), now.Day()).Days();
  }
  std::vector<std::string> Summaries(const std::vector<std::string>& texts) const {
    std::vector<std::string> summaries;
    for (const std::string& text : texts) summaries.push_back(SummaryOf(text));
    std::sort(summaries.begin(), summaries.end());
    return summaries;
  }

  // A run with a sync period sends the Alert's date filter; SyncEvolution refuses it (406
  // "Invalid <Filter> in target options"), and the session runs again without it.
  void SkipWithoutPeriod() const {
    if (!Can().syncPeriod) GTEST_SKIP() << Local().Name() << " store has no sync period";
  }

  std::unique_ptr<ScopedEnv> mZone;
};

TEST_P(CalendarRunE2eTest, TheCalendarGoesUpAndComesDownIntoAFreshStoreFieldByFieldInBerlin) { RoundTripIn("Europe/Berlin"); }

TEST_P(CalendarRunE2eTest, TheCalendarGoesUpAndComesDownIntoAFreshStoreFieldByFieldInSydney) { RoundTripIn("Australia/Sydney"); }

TEST_P(CalendarRunE2eTest, AServerChangeOfOneOccurrenceLandsOnThatOccurrenceOnly) {
  UseZone("Europe/Berlin");
  const std::string series =
      "BEGIN:VEVENT\r\nUID:server-series\r\nSUMMARY:Choir\r\nDTSTART:20270104T180000Z\r\nDTEND:20270104T200000Z\r\n"
      "RRULE:FREQ=WEEKLY;COUNT=6\r\nEND:VEVENT\r\n";
  WriteServer("events", "server-series", Calendar(series));
  SyncOk();
  ASSERT_EQ(Local().CalendarItems(DATA_TYPE_EVENTS).size(), 1u);
  const std::vector<ItemField> before = ReadItemFields(Kept(Local().CalendarItems(DATA_TYPE_EVENTS).front()));

  const std::string changed = series +
                              "BEGIN:VEVENT\r\nUID:server-series\r\nRECURRENCE-ID:20270118T180000Z\r\nSUMMARY:Choir, concert\r\n"
                              "DTSTART:20270118T190000Z\r\nDTEND:20270118T220000Z\r\nEND:VEVENT\r\n";
  WriteServer("events", "server-series", Calendar(changed));
  SyncOk();
  const std::vector<std::string> local = Local().CalendarItems(DATA_TYPE_EVENTS);
  ASSERT_EQ(local.size(), 1u);
  const std::vector<ItemField> after = ReadItemFields(Kept(local.front()));
  // The series says what it said; the one occurrence is its own component with the server's values.
  for (const FieldDifference& difference : CompareItemFields(before, after)) {
    EXPECT_NE(difference.component.find("RECURRENCE-ID=2027-01-18T18:00:00Z"), std::string::npos) << difference.Describe();
  }
  ExpectSameItems({Calendar(changed)}, local);
  SyncOk();
  EXPECT_EQ(ItemCommandsInLog(), 0);
}

TEST_P(CalendarRunE2eTest, OnlyEventsInThePeriodGoOutAndTheOthersAreNeitherSentNorDeleted) {
  SkipWithoutPeriod();
  if (IsSkipped()) return;
  mConf->SetSyncPeriod(1);  // the last 31 days
  Local().AddCalendarItem(DATA_TYPE_EVENTS, EventDaysAgo("Recent", 3));
  Local().AddCalendarItem(DATA_TYPE_EVENTS, EventDaysAgo("Old", 90));
  Local().AddCalendarItem(DATA_TYPE_EVENTS, EventDaysAgo("Open series", 90, "RRULE:FREQ=WEEKLY\r\n"));
  const OleDate ended = OleDate(DayOfToday() - 60);
  Local().AddCalendarItem(DATA_TYPE_EVENTS, EventDaysAgo("Ended series", 90, "RRULE:FREQ=DAILY;UNTIL=" + ended.Format("%Y%m%d") + "T235959Z\r\n"));
  SyncOk();
  EXPECT_EQ(Summaries(Server().Items("events")), (std::vector<std::string>{"Open series", "Recent"}));
  SyncOk();
  EXPECT_EQ(ItemCommandsInLog(), 0) << "nothing outside the period is reported deleted";
  EXPECT_EQ(Local().CalendarItems(DATA_TYPE_EVENTS).size(), 4u);
}

TEST_P(CalendarRunE2eTest, AServerDeletionOfAnEventOutsideThePeriodLeavesItInTheStore) {
  SkipWithoutPeriod();
  if (IsSkipped()) return;
  WriteServer("events", "server-old", EventDaysAgo("Old", 90));
  WriteServer("events", "server-recent", EventDaysAgo("Recent", 2));
  SyncOk();
  ASSERT_EQ(Local().CalendarItems(DATA_TYPE_EVENTS).size(), 2u);
  mConf->SetSyncPeriod(1);
  SyncOk();
  EXPECT_EQ(ItemCommandsInLog(), 0);
  DeleteServer("events", "server-old");
  DeleteServer("events", "server-recent");
  SyncOk();
  EXPECT_EQ(Summaries(Local().CalendarItems(DATA_TYPE_EVENTS)), std::vector<std::string>{"Old"});
}

// The starts of a series' occurrences as the machine's wall clock reads them ("Mon 10:00").
std::vector<std::string> WallClockOfOccurrences(const std::string& text) {
  std::vector<std::string> starts;
  for (const ItemField& field : ReadItemFields(text)) {
    if (field.component != "VEVENT" || field.name != "OCCURRENCE") continue;
    std::tm utc{};
    if (strptime(field.value.c_str(), "%Y-%m-%dT%H:%M:%SZ", &utc) == nullptr) continue;
    const std::time_t instant = timegm(&utc);
    std::tm local{};
    localtime_r(&instant, &local);
    char wall[16];
    std::strftime(wall, sizeof wall, "%a %H:%M", &local);
    starts.push_back(wall);
  }
  return starts;
}

// A series the user makes in Outlook in Berlin goes up in Berlin's zone, so that every occurrence
// is at 10:00 Berlin time on either side of the changes of daylight time; downloaded into Outlook
// on a machine in New York, it shows at the New York times of those instants, on Mondays.
TEST_P(CalendarRunE2eTest, AWeeklySeriesMadeInBerlinKeepsItsWallClockOnTheServerAndShowsInNewYorkTime) {
  if (GetParam().store != StoreKind::Outlook) GTEST_SKIP() << Local().Name() << " store has no series made in an application";
  if (IsSkipped()) return;
  UseZone("Europe/Berlin");
  // Monday 4 January 2027, 48 weeks: across 28 March and 31 October.
  Local().AddWeeklySeries("Jour fixe", OleDate(2027, 1, 4, 10, 0).Days(), 60, 48);
  SyncOk();
  const std::vector<std::string> server = Server().Items("events");
  ASSERT_EQ(server.size(), 1u);
  EXPECT_NE(server.front().find("TZID=Europe/Berlin"), std::string::npos) << server.front();
  EXPECT_EQ(WallClockOfOccurrences(server.front()), std::vector<std::string>(48, "Mon 10:00")) << server.front();

  SwitchToAFreshStore();
  UseZone("America/New_York");
  SyncOk();
  const auto shown = [&](int month, int day) { return Local().OccurrenceShownOn("Jour fixe", OleDate(2027, month, day).Days()); };
  EXPECT_EQ(shown(1, 4), OleDate(2027, 1, 4, 4, 0).Days());
  EXPECT_EQ(shown(7, 5), OleDate(2027, 7, 5, 4, 0).Days());
  // Between New York's change (14 March) and Berlin's (28 March) the same 10:00 Berlin is 05:00.
  EXPECT_EQ(shown(3, 15), OleDate(2027, 3, 15, 5, 0).Days());
  EXPECT_EQ(shown(1, 5), std::nullopt) << "no occurrence on Tuesday";
  EXPECT_EQ(shown(1, 3), std::nullopt) << "no occurrence on Sunday";
  SyncOk();
  EXPECT_EQ(ItemCommandsInLog(), 0) << "what came down is not sent back";
}

INSTANTIATE_TEST_SUITE_P(Stores, CalendarRunE2eTest,
                         ::testing::Values(E2eParam(PeerKind::SyncEvolution, StoreKind::Folder),
                                           E2eParam(PeerKind::SyncEvolution, StoreKind::Outlook),
                                           E2eParam(PeerKind::Scripted, StoreKind::Folder),
                                           E2eParam(PeerKind::Scripted, StoreKind::Outlook)),
                         StoreAndPeerTestName);

}  // namespace
