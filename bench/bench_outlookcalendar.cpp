// Benchmark of the Outlook store's calendar over the object model against the folder store in the
// same run: LoadEvents of 5,000 events (a tenth of them weekly series with a deleted and a moved
// occurrence) against the folder store's load of the same items, and the store's part of a first
// download of 2,000 server events (each written with AddCalendarItem, flushed once) in both.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/BenchSupport.h"
#include "common/Prompt.h"
#include "config/CConf.h"
#include "pim/OleDate.h"
#include "platform/automation/ObjectFactory.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "stores/folder/FolderStore.h"
#include "stores/outlook/COutlook.h"

namespace {

constexpr int kLoaded = 5000;
constexpr int kDownloaded = 2000;
constexpr int kAllEvents = 5;

// Event `n` as a server sends it: every tenth a weekly series of 20 with its third occurrence
// deleted and its fifth moved, in the same item; the others single events with a reminder.
std::string ServerEvent(int n) {
  const std::string tag = std::to_string(n);
  const OleDate first(2027, n % 12 + 1, n % 28 + 1);
  const auto day = [&first](int weeks) { return (first + OleDateSpan(7.0 * weeks)).Format("%Y%m%d"); };
  std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:bench-" + tag + "\r\nSUMMARY:Event " + tag +
                     "\r\nLOCATION:Room " + std::to_string(n % 40) + "\r\nDESCRIPTION:Generated event " + tag +
                     "\r\nDTSTART:" + day(0) + "T090000Z\r\nDTEND:" + day(0) + "T100000Z\r\n";
  if (n % 10 != 0) {
    return text + "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  }
  text += "RRULE:FREQ=WEEKLY;COUNT=20\r\nEXDATE:" + day(2) + "T090000Z\r\nEND:VEVENT\r\n";
  return text + "BEGIN:VEVENT\r\nUID:bench-" + tag + "\r\nRECURRENCE-ID:" + day(4) + "T090000Z\r\nSUMMARY:Event " + tag +
         " (moved)\r\nDTSTART:" + day(4) + "T140000Z\r\nDTEND:" + day(4) + "T150000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

// One store of either kind over its own data, with the calendar selected, as a run makes it.
class BenchStore {
 public:
  BenchStore(bool outlook, const std::string& data) : mConf(data + ".config") {
    mConf.SetSilent(true);
    mConf.SetSyncPeriod(kAllEvents);
    if (outlook) {
      mFactory.Register("Outlook.Application", [data] { return outlookmodel::CreateOutlookApplication(data + ".db"); });
      mOutlook = std::make_unique<COutlook>(mConf, mPrompt, mFactory);
      mStore = mOutlook.get();
    } else {
      mFolder = std::make_unique<FolderStore>(mConf, data + ".items/");
      mStore = mFolder.get();
    }
    mStore->SetCurrentFolder(DATA_TYPE_EVENTS, "", "");
  }
  CDatabaseObject& Store() { return *mStore; }
  COutlook* Outlook() { return mOutlook.get(); }

 private:
  ObjectFactory mFactory;
  CConf mConf;
  NoPrompt mPrompt;
  std::unique_ptr<COutlook> mOutlook;
  std::unique_ptr<FolderStore> mFolder;
  CDatabaseObject* mStore = nullptr;
};

void WriteEvents(CDatabaseObject& store, int count) {
  for (int n = 1; n <= count; ++n) {
    std::string id;
    if (store.AddCalendarItem(ServerEvent(n), id) != kStoreOk) std::abort();
  }
  store.CommitWrites();
}

void Download(benchmark::State& state, bool outlook) {
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    BenchStore bench(outlook, Folder().path + (outlook ? "download-outlook" : "download-folder") + std::to_string(++run));
    state.ResumeTiming();
    WriteEvents(bench.Store(), kDownloaded);
  }
  state.counters["items/s"] = benchmark::Counter(double(kDownloaded) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DownloadEventsOutlook(benchmark::State& state) { Download(state, true); }
void BM_DownloadEventsFolderReference(benchmark::State& state) { Download(state, false); }

// The data of 5,000 events, written once per store kind.
const std::string& Loaded(bool outlook) {
  static const std::string paths[2] = {
      [] {
        const std::string path = Folder().path + "loaded-folder";
        BenchStore bench(false, path);
        WriteEvents(bench.Store(), kLoaded);
        return path;
      }(),
      [] {
        const std::string path = Folder().path + "loaded-outlook";
        BenchStore bench(true, path);
        WriteEvents(bench.Store(), kLoaded);
        return path;
      }(),
  };
  return paths[outlook ? 1 : 0];
}

// Records of 5,000 events: a series and its moved occurrence are two.
constexpr size_t kLoadedRecords = kLoaded + kLoaded / 10;

void BM_LoadEventsOutlook(benchmark::State& state) {
  BenchStore bench(true, Loaded(true));
  for (auto _ : state) {
    CDataItemList list;
    if (bench.Outlook()->LoadEvents(list) != kStoreOk || list.Count() != kLoadedRecords) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(list.Count());
  }
  state.counters["items/s"] = benchmark::Counter(double(kLoaded) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_LoadEventsFolderReference(benchmark::State& state) {
  BenchStore bench(false, Loaded(false));
  for (auto _ : state) {
    if (bench.Store().LoadContent("bench") != kStoreOk || bench.Store().mCurrentItems.Count() != kLoadedRecords) {
      state.SkipWithError("load failed");
    }
    benchmark::DoNotOptimize(bench.Store().mCurrentItems.Count());
  }
  state.counters["items/s"] = benchmark::Counter(double(kLoaded) * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_LoadEventsFolderReference)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadEventsOutlook)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DownloadEventsFolderReference)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DownloadEventsOutlook)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
