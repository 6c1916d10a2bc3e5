// The field-by-field comparator of the end-to-end suites: texts that say the same in other words
// compare equal, and a changed field, a moved occurrence or a lost exclusion does not.
#include <gtest/gtest.h>

#include "tests/pim/VCalTestZone.h"
#include "tests/support/ItemFields.h"

namespace {

std::string Calendar(const std::string& version, const std::string& lines) {
  return "BEGIN:VCALENDAR\r\nVERSION:" + version + "\r\nBEGIN:VEVENT\r\n" + lines + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

std::vector<std::string> Differences(const std::string& expected, const std::string& actual) {
  std::vector<std::string> described;
  for (const FieldDifference& difference : CompareItemFields(ReadItemFields(expected), ReadItemFields(actual))) {
    described.push_back(difference.Describe());
  }
  return described;
}

constexpr const char* kBerlinWeekly =
    "SUMMARY:Weekly\r\nDTSTART;TZID=Europe/Berlin:20250106T090000\r\nRRULE:FREQ=WEEKLY;BYDAY=MO;COUNT=8\r\n"
    "EXDATE;TZID=Europe/Berlin:20250113T090000\r\n";

}  // namespace

TEST(ItemFields, TimesAreInstantsWhateverZoneOrFormWritesThem) {
  ScopedTimeZone machine(kZoneUtc);
  // The same instant; only the zone it is kept in differs.
  const std::vector<std::string> zone = Differences(Calendar("2.0", "DTSTART;TZID=Europe/Berlin:20250701T093000\r\n"),
                                                    Calendar("2.0", "DTSTART:20250701T073000Z\r\n"));
  ASSERT_EQ(zone.size(), 1u);
  EXPECT_NE(zone[0].find("ZONE: expected Europe/Berlin; found UTC"), std::string::npos) << zone[0];
  EXPECT_TRUE(Differences(Calendar("2.0", "DTSTART:20250701T073000Z\r\nDURATION:PT1H\r\n"),
                          Calendar("1.0", "DTEND:20250701T083000Z\r\nDTSTART:20250701T073000Z\r\n"))
                  .empty());
  EXPECT_EQ(Differences(Calendar("2.0", "DTSTART:20250701T073000Z\r\n"), Calendar("2.0", "DTSTART:20250701T083000Z\r\n")).size(), 1u);
  EXPECT_EQ(Differences(Calendar("2.0", "DTSTART;VALUE=DATE:20250701\r\n"), Calendar("2.0", "DTSTART:20250701T000000Z\r\n")).size(), 2u)
      << "a date is no instant, and has no zone";
}

TEST(ItemFields, TheZoneOfATimedStartIsAFieldOfItsOwn) {
  ScopedTimeZone machine(kZoneUtc);
  // A TZID with a path is the zone its trailing parts name; a VTIMEZONE the database does not name
  // is its rule.
  EXPECT_TRUE(Differences(Calendar("2.0", "DTSTART;TZID=/mozilla.org/20050126_1/Europe/Berlin:20250701T093000\r\n"),
                          Calendar("2.0", "DTSTART;TZID=Europe/Berlin:20250701T093000\r\n"))
                  .empty());
  const std::string custom =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VTIMEZONE\r\nTZID:Tokyo Standard Time\r\nBEGIN:STANDARD\r\n"
      "DTSTART:16010101T000000\r\nTZOFFSETFROM:+0900\r\nTZOFFSETTO:+0900\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
      "BEGIN:VEVENT\r\nDTSTART;TZID=Tokyo Standard Time:20250701T093000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  EXPECT_EQ(ReadItemFields(custom).back(), (ItemField{"VEVENT", "ZONE", "<+0900>-9"}));
  // vCalendar 1.0's floating times are in the zone of TZ and DAYLIGHT, a floating time of 2.0 in none.
  const std::string old =
      "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nTZ:-05\r\nDAYLIGHT:TRUE;-04;20250309T070000Z;20251102T060000Z;EDT;EST\r\n"
      "BEGIN:VEVENT\r\nDTSTART:20250701T093000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  const std::vector<ItemField> fields = ReadItemFields(old);
  EXPECT_NE(std::find(fields.begin(), fields.end(), ItemField{"VEVENT", "DTSTART", "2025-07-01T13:30:00Z"}), fields.end());
  EXPECT_NE(std::find(fields.begin(), fields.end(), ItemField{"VEVENT", "ZONE", "<-0500>5<-0400>4,M3.2.0/2,M11.1.0/2"}),
            fields.end());
  EXPECT_EQ(ReadItemFields(Calendar("2.0", "DTSTART:20250701T093000\r\n")).back(), (ItemField{"VEVENT", "ZONE", "(floating)"}));
}

TEST(ItemFields, RecurrencesCompareAsTheirOccurrences) {
  ScopedTimeZone machine(kZoneUtc);
  const std::string zoned = Calendar("2.0", kBerlinWeekly);
  // The same eight Mondays less one, in the 1.0 grammar, and as a list of dates.
  EXPECT_TRUE(Differences(zoned, Calendar("2.0", std::string(kBerlinWeekly) + "X-IGNORED:1\r\n")).size() == 1u);
  EXPECT_TRUE(Differences(zoned, Calendar("2.0", "SUMMARY:Weekly\r\nDTSTART;TZID=Europe/Berlin:20250106T090000\r\n"
                                                 "RRULE:FREQ=WEEKLY;UNTIL=20250224T080000Z\r\nEXDATE:20250113T080000Z\r\n"))
                  .empty());
  // A lost exclusion, or the series anchored in UTC across no change: different occurrences.
  const std::vector<std::string> lost = Differences(
      zoned, Calendar("2.0", "SUMMARY:Weekly\r\nDTSTART;TZID=Europe/Berlin:20250106T090000\r\nRRULE:FREQ=WEEKLY;COUNT=8\r\n"));
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_NE(lost[0].find("OCCURRENCE: expected nothing; found 2025-01-13T08:00:00Z"), std::string::npos) << lost[0];
  const std::string summer = "SUMMARY:Summer\r\nDTSTART;TZID=Europe/Berlin:20250303T090000\r\nRRULE:FREQ=WEEKLY;COUNT=6\r\n";
  EXPECT_EQ(Differences(Calendar("2.0", summer),
                        Calendar("2.0", "SUMMARY:Summer\r\nDTSTART:20250303T080000Z\r\nRRULE:FREQ=WEEKLY;COUNT=6\r\n"))
                .size(),
            2u)
      << "after 30 March the UTC series is an hour later (and its zone is UTC)";
  // Monthly by position in both grammars.
  EXPECT_TRUE(Differences(Calendar("2.0", "DTSTART:20250314T180000Z\r\nRRULE:FREQ=MONTHLY;BYDAY=2FR;COUNT=5\r\n"),
                          Calendar("1.0", "DTSTART:20250314T180000Z\r\nRRULE:MP1 2+ FR #5\r\n"))
                  .empty());
  EXPECT_EQ(Differences(Calendar("2.0", "DTSTART:20250314T180000Z\r\nRRULE:FREQ=MONTHLY;BYDAY=2FR;COUNT=5\r\n"),
                        Calendar("2.0", "DTSTART:20250314T180000Z\r\nRRULE:FREQ=MONTHLY;BYDAY=FR;COUNT=5\r\n"))
                .size(),
            1u)
      << "every Friday is not the second one";
}

TEST(ItemFields, ParametersAreOrderFreeAndAddressesLoseTheirScheme) {
  EXPECT_TRUE(Differences(Calendar("2.0", "ATTENDEE;CN=Ann;PARTSTAT=ACCEPTED:mailto:Ann@Example.org\r\n"),
                          Calendar("2.0", "ATTENDEE;PARTSTAT=ACCEPTED;CN=Ann:MAILTO:ann@example.org\r\n"))
                  .empty());
  EXPECT_TRUE(Differences(Calendar("1.0", "ATTENDEE;ROLE=ORGANIZER:Jo <jo@x>\r\nATTENDEE;ROLE=ATTENDEE;STATUS=ACCEPTED:Sam <sam@x>\r\n"),
                          Calendar("2.0", "ORGANIZER;CN=Jo:mailto:jo@x\r\nATTENDEE;CN=Sam;PARTSTAT=ACCEPTED:mailto:sam@x\r\n"))
                  .empty());
  EXPECT_EQ(Differences(Calendar("2.0", "ATTENDEE;CN=Ann;PARTSTAT=ACCEPTED:mailto:ann@x\r\n"),
                        Calendar("2.0", "ATTENDEE;CN=Ann;PARTSTAT=DECLINED:mailto:ann@x\r\n"))
                .size(),
            1u);
  EXPECT_TRUE(Differences(Calendar("1.0", "CATEGORIES:B;A\r\n"), Calendar("2.0", "CATEGORIES:A,B\r\n")).empty());
}

TEST(ItemFields, AlarmsAreLeadTimesAndChangedOccurrencesTheirOwnComponents) {
  ScopedTimeZone machine(kZoneUtc);
  const std::string start = "DTSTART:20250301T100000Z\r\nDTEND:20250301T110000Z\r\n";
  EXPECT_TRUE(Differences(Calendar("2.0", start + "BEGIN:VALARM\r\nACTION:AUDIO\r\nTRIGGER;VALUE=DATE-TIME:20250301T094500Z\r\nEND:VALARM\r\n"),
                          Calendar("1.0", start + "AALARM:20250301T094500Z;;;\r\n"))
                  .empty());
  EXPECT_TRUE(Differences(Calendar("2.0", start + "BEGIN:VALARM\r\nTRIGGER;RELATED=END:-PT75M\r\nEND:VALARM\r\n"),
                          Calendar("2.0", start + "BEGIN:VALARM\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n"))
                  .empty());
  const std::string series = Calendar("2.0", "UID:a\r\nSUMMARY:x\r\n" + start) + "";
  const std::string withMoved = "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:a\r\nSUMMARY:x\r\n" + start +
                                "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:a\r\nRECURRENCE-ID:20250308T100000Z\r\nSUMMARY:moved\r\n"
                                "END:VEVENT\r\nEND:VCALENDAR\r\n";
  const std::vector<std::string> moved = Differences(series, withMoved);
  ASSERT_EQ(moved.size(), 2u);  // the UID and the SUMMARY of the changed occurrence
  EXPECT_NE(moved[0].find("VEVENT RECURRENCE-ID=2025-03-08T10:00:00Z"), std::string::npos) << moved[0];
}

TEST(ItemFields, CardsCompareTheirValuesAndTypesAndNameWhatTheLibraryDoesNotKnow) {
  const std::string card21 =
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;Jo;;;\r\nTEL;WORK;VOICE:+1 555\r\nEMAIL;PREF;INTERNET:jo@x\r\nBDAY:1990-01-01\r\nEND:VCARD\r\n";
  const std::string card30 =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nCHARSET:utf-8\r\nN:Doe;Jo\r\nTEL;TYPE=VOICE,WORK:+1 555\r\nitem1.EMAIL;type=pref:jo@x\r\n"
      "BDAY:1991-01-01\r\nEND:VCARD\r\n";
  EXPECT_TRUE(Differences(card21, card30).empty()) << "a property the library does not know is compared by name only";
  const std::vector<std::string> differences =
      Differences(card21, "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;Jo\r\nTEL;HOME:+1 555\r\nEND:VCARD\r\n");
  ASSERT_EQ(differences.size(), 3u);
  EXPECT_NE(differences[0].find("BDAY"), std::string::npos);
  EXPECT_NE(differences[1].find("EMAIL"), std::string::npos);
  EXPECT_NE(differences[2].find("TEL: expected [WORK,VOICE] +1 555; found [HOME] +1 555"), std::string::npos) << differences[2];
}
