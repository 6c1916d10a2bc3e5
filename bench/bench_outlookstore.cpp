// Benchmark of the Outlook store over the object model: writing 5,000 server contacts with the
// adapter's own writer (flushed once, as a run does, against a flush after every item as a
// reference measured in the same run), and LoadContacts of a folder of 10,000 contacts.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/BenchSupport.h"
#include "common/Prompt.h"
#include "config/CConf.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "platform/automation/ObjectFactory.h"
#include "platform/outlookmodel/OutlookModel.h"
#include "stores/outlook/COutlook.h"

namespace {

constexpr int kWrites = 5000;
constexpr int kLoaded = 10000;

std::string ServerCard(int n) {
  const std::string tag = std::to_string(n);
  return "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Family" + tag + ";Given" + tag + ";;;\r\nFN:Given" + tag + " Family" + tag +
         "\r\nORG:Example Works\r\nTITLE:Engineer\r\nTEL;WORK;VOICE:+49 30 " + tag + "\r\nTEL;CELL:+49 170 " + tag +
         "\r\nEMAIL;INTERNET;PREF:person" + tag + "@example.org\r\nADR;WORK:;;Hauptstrasse 1;Berlin;;10115;Germany\r\n"
         "NOTE:Generated contact " + tag + "\r\nEND:VCARD\r\n";
}

// One store on its own profile, as a run makes it.
class BenchStore {
 public:
  explicit BenchStore(const std::string& profile) : mConf(Folder().path + "config") {
    mFactory.Register("Outlook.Application", [profile] { return outlookmodel::CreateOutlookApplication(profile); });
    mConf.SetSilent(true);
    mStore = std::make_unique<COutlook>(mConf, mPrompt, mFactory);
    mStore->SetCurrentFolder(DATA_TYPE_CONTACTS, "", "");
  }
  COutlook& Store() { return *mStore; }

 private:
  ObjectFactory mFactory;
  CConf mConf;
  NoPrompt mPrompt;
  std::unique_ptr<COutlook> mStore;
};

// `flushEach`: the reference, every item made durable on its own.
void WriteServerContacts(benchmark::State& state, bool flushEach) {
  VCardContext context;
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    BenchStore bench(Folder().path + (flushEach ? "each" : "once") + std::to_string(++run) + ".db");
    state.ResumeTiming();
    for (int n = 1; n <= kWrites; ++n) {
      const PVCardPtr card = Zep3_PVCard_FromStream(&context, ServerCard(n));
      std::string id;
      bench.Store().AddAddressBookItem(*card, id, "srv-" + std::to_string(n), "text/x-vcard");
      if (flushEach) bench.Store().CommitWrites();
    }
    bench.Store().CommitWrites();
  }
  state.counters["items/s"] = benchmark::Counter(double(kWrites) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_WriteContactsFlushedOnce(benchmark::State& state) { WriteServerContacts(state, false); }
void BM_WriteContactsFlushedEachItem(benchmark::State& state) { WriteServerContacts(state, true); }

const std::string& LoadedProfile() {
  static const std::string profile = [] {
    const std::string path = Folder().path + "loaded.db";
    BenchStore bench(path);
    VCardContext context;
    for (int n = 1; n <= kLoaded; ++n) {
      const PVCardPtr card = Zep3_PVCard_FromStream(&context, ServerCard(n));
      std::string id;
      bench.Store().Pvcard2AddressBook(*card, id);
    }
    bench.Store().CommitWrites();
    return path;
  }();
  return profile;
}

void BM_LoadContacts(benchmark::State& state) {
  BenchStore bench(LoadedProfile());
  for (auto _ : state) {
    CDataItemList list;
    if (bench.Store().LoadContacts(list) != kStoreOk || list.Count() != size_t{kLoaded}) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(list.Count());
  }
  state.counters["items/s"] = benchmark::Counter(double(kLoaded) * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_WriteContactsFlushedOnce)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WriteContactsFlushedEachItem)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LoadContacts)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
