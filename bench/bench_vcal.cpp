// Benchmark: reading (property lines and the component walk) and writing (ToVCalendar) 10,000
// realistic vCalendar events, against merely splitting the same bytes into lines as a floor.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "pim/CDataItem.h"
#include "pim/EncodedText.h"
#include "pim/VCalItemReader.h"

namespace {

constexpr int kEvents = 10000;

const char* const kSubjects[] = {"Quarterly planning", "Stand-up", "Dentist", "Lunch with Søren, Anna",
                                 "Release review; go/no-go", "Yoga", "Board meeting", "Kundentermin Müller"};
const char* const kPlaces[] = {"Room 4.12", "Café Zürich", "Online", "Main building\nLevel 2", "東京 office"};
const char* const kRules[] = {"FREQ=WEEKLY;INTERVAL=1;BYDAY=MO,WE;UNTIL=20250630T093000Z", "FREQ=DAILY;INTERVAL=1",
                              "FREQ=MONTHLY;INTERVAL=1;BYDAY=FR", "FREQ=YEARLY;INTERVAL=1"};

std::string Digits(int value, int width) {
  std::string text = std::to_string(value);
  return std::string(width - std::min<int>(width, static_cast<int>(text.size())), '0') + text;
}

// An event record as the store loads it, varied by `i`: timed or all-day, some with attendees,
// a reminder, a recurrence rule with exceptions.
CDataItem MakeRecord(int i) {
  CDataItem item(ITEM_EVENT);
  const std::string day = "2025" + Digits(1 + i % 12, 2) + Digits(1 + i % 28, 2);
  item["PR_ENTRYID"] = "00000000A1B2C3D4E5F6" + std::to_string(100000 + i);
  item["PR_LAST_MODIFICATION_TIME"] = "45650.50000000000000000000";
  item["VC_SUMMARY"] = kSubjects[i % 8];
  item["VC_DESCRIPTION"] =
      EncodeTransfer("Agenda for meeting " + std::to_string(i) + ":\r\n1. Review — numbers\r\n2. Next steps", TRANSFER_QUOTED_PRINTABLE);
  item["VC_CLASS"] = i % 5 == 0 ? "PRIVATE" : "PUBLIC";
  item["VC_PRIORITY"] = std::to_string(1 + i % 3);
  if (i % 7 == 0) {
    item["VC_DTSTART"] = day;
    item["VC_DTEND"] = day;
  } else {
    item["VC_DTSTART"] = day + "T0" + std::to_string(7 + i % 3) + "3000Z";
    item["VC_DTEND"] = day + "T1" + std::to_string(i % 8) + "0000Z";
  }
  if (i % 2 == 0) item["VC_TRIGGER"] = i % 4 == 0 ? "-PT15M" : "-P1D";
  item["VC_CATEGORIES"] = i % 3 == 0 ? "Business" : "Appointment";
  item["VC_LOCATION"] = kPlaces[i % 5];
  if (i % 3 == 0) {
    item["VC_ORGANIZER"] = "anna.kovacs@example.org";
    item["VC_ATTENDEE_COUNT"] = "2";
    item["VC_ATTENDEE_NAME_1"] = "Smith, Bob";
    item["VC_ATTENDEE_EMAIL_1"] = "bob" + std::to_string(i) + "@example.org";
    item["VC_ATTENDEE_STATUS_1"] = "ACCEPTED";
    item["VC_ATTENDEE_NAME_2"] = "Chen Li";
    item["VC_ATTENDEE_EMAIL_2"] = "li.chen@example.net";
    item["VC_ATTENDEE_STATUS_2"] = "NEEDS-ACTION";
  }
  if (i % 4 == 1) {
    item["VC_RRULE"] = kRules[(i / 4) % 4];
    item["EXDATE"] = day + "T093000Z," + day.substr(0, 6) + "28T093000Z";
  }
  return item;
}

// A server's form of an event: a time zone, zoned times, folded and escaped text.
std::string ServerEvent(int i) {
  const std::string day = "2025" + Digits(1 + i % 12, 2) + Digits(1 + i % 28, 2);
  return "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Example Corp//Calendar Server 3.1//EN\n"
         "BEGIN:VTIMEZONE\nTZID:Europe/Berlin\nBEGIN:DAYLIGHT\nTZOFFSETFROM:+0100\nTZOFFSETTO:+0200\nTZNAME:CEST\n"
         "DTSTART:19700329T020000\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\nEND:DAYLIGHT\nBEGIN:STANDARD\n"
         "TZOFFSETFROM:+0200\nTZOFFSETTO:+0100\nTZNAME:CET\nDTSTART:19701025T030000\n"
         "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\nEND:STANDARD\nEND:VTIMEZONE\nBEGIN:VEVENT\n"
         "UID:" + std::to_string(i) + "-4711@calendar.example.org\nDTSTAMP:20250103T081512Z\n"
         "SUMMARY:" + kSubjects[i % 8] + " with the whole product team and \n the partners from Lyon\n"
         "DESCRIPTION:Agenda:\\n1. Review\\, numbers\\n2. Roadmap\\; risks\\nRoom key at t\n he desk\n"
         "LOCATION:Main building\\, room 4.12\nCLASS:PUBLIC\nPRIORITY:2\nCATEGORIES:Business,Planning\n"
         "DTSTART;TZID=Europe/Berlin:" + day + "T093000\nDTEND;TZID=Europe/Berlin:" + day + "T110000\n"
         "ORGANIZER;CN=\"Kovacs, Anna\":mailto:anna.kovacs@example.org\n"
         "ATTENDEE;CN=\"Smith, Bob\";PARTSTAT=ACCEPTED;ROLE=REQ-PARTICIPANT:MAILTO:bob@example.org\n"
         "BEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:Reminder\nTRIGGER;VALUE=DURATION:-PT15M\nEND:VALARM\n"
         "END:VEVENT\nEND:VCALENDAR\n";
}

// Text as the incoming-command handler passes it on: CR LF turned into LF.
std::string WithLfLineEnds(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  }
  return out;
}

struct Corpus {
  std::vector<CDataItem> records;
  std::vector<std::string> incoming;  // three written events to one server event
  size_t incomingBytes = 0;
  size_t writtenBytes = 0;
};

const Corpus& Events() {
  static const Corpus corpus = [] {
    Corpus built;
    for (int i = 0; i < kEvents; ++i) {
      built.records.push_back(MakeRecord(i));
      const std::string written = built.records.back().ToVCalendar();
      built.writtenBytes += written.size();
      built.incoming.push_back(i % 4 == 3 ? ServerEvent(i) : WithLfLineEnds(written));
      built.incomingBytes += built.incoming.back().size();
    }
    return built;
  }();
  return corpus;
}

void Report(benchmark::State& state, size_t bytes) {
  state.SetItemsProcessed(state.iterations() * kEvents);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The floor: finding every line of every event, and nothing else.
void BM_SplitLines(benchmark::State& state) {
  const Corpus& corpus = Events();
  for (auto _ : state) {
    size_t lines = 0;
    for (const std::string_view text : corpus.incoming) {
      for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        benchmark::DoNotOptimize(text.substr(start, end - start));
        ++lines;
        start = end == std::string_view::npos ? text.size() : end + 1;
      }
    }
    benchmark::DoNotOptimize(lines);
  }
  Report(state, corpus.incomingBytes);
}
BENCHMARK(BM_SplitLines)->Unit(benchmark::kMillisecond);

void BM_ReadVCalEvents(benchmark::State& state) {
  const Corpus& corpus = Events();
  VCalItemContent content;
  for (auto _ : state) {
    for (const std::string& text : corpus.incoming) {
      ReadVCalItem(text, {}, content);
      benchmark::DoNotOptimize(content.components.data());
    }
  }
  Report(state, corpus.incomingBytes);
}
BENCHMARK(BM_ReadVCalEvents)->Unit(benchmark::kMillisecond);

void BM_WriteVCalEvents(benchmark::State& state) {
  const Corpus& corpus = Events();
  for (auto _ : state) {
    for (const CDataItem& record : corpus.records) {
      const std::string text = record.ToVCalendar();
      benchmark::DoNotOptimize(text.data());
    }
  }
  Report(state, corpus.writtenBytes);
}
BENCHMARK(BM_WriteVCalEvents)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
