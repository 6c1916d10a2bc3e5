// Change detection over large contact folders, and writing and reading their index file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/Format.h"
#include "config/CConf.h"
#include "engine/CChangeLog.h"
#include "engine/CDataItemList.h"
#include "tests/support/ListOnlyStore.h"

namespace {

// A contact as a contact store loads it: an entry identifier of Outlook's length, a stamp and
// the usual data keys.
CDataItem::Ptr Contact(int number, double stamp) {
  auto item = CDataItem::Create(ITEM_CONTACT);
  item->itemId = FormatText("00000000B1C2D3E4F5061728394A5B6C0700%016X%024d", {number, number});
  auto& p = *item;
  p["PR_ENTRYID"] = item->itemId;
  p["PR_LAST_MODIFICATION_TIME"] = FormatText("%.20f", {stamp});
  p["PR_MESSAGE_CLASS"] = "IPM.Contact";
  p["PR_DISPLAY_NAME"] = FormatText("Contact Number %d", {number});
  p["PR_GIVEN_NAME"] = "Contact";
  p["PR_SURNAME"] = FormatText("Number %d", {number});
  p["PR_COMPANY_NAME"] = "Tarnwell Industries";
  p["PR_BUSINESS_TELEPHONE_NUMBER"] = FormatText("+33 1 40 %06d", {number});
  p["PR_MOBILE_TELEPHONE_NUMBER"] = FormatText("+33 6 12 %06d", {number});
  p["PR_CONTACT_EMAIL_ADDRESSES"] = FormatText("contact%d@example.org\t\t\t", {number});
  p["PR_ZEP_EMAIL_ADDRESSES_TYPES"] = FormatText("W:contact%d@example.org\t", {number});
  p["PR_STREET_ADDRESS"] = "12 rue des Lilas";
  p["PR_LOCALITY"] = "Lyon";
  p["PR_POSTAL_CODE"] = "69003";
  p["PR_COUNTRY"] = "France";
  p["PR_COMMENT"] = "Met at the spring fair; prefers e-mail.";
  return item;
}

// A store whose lists are filled directly: the index holds `count` contacts, the folder the same
// with 1% changed, 1% deleted and 1% added.
class BenchStore : public ListOnlyStore {
 public:
  BenchStore(CConf& conf, int count) : ListOnlyStore(conf) {
    const double stamp = 46023.5;
    for (int i = 0; i < count; ++i) {
      mSavedItems.Add(Contact(i, stamp));
      if (i % 100 == 1) continue;  // deleted
      mCurrentItems.Add(Contact(i, i % 100 == 0 ? stamp + 0.25 : stamp));
    }
    for (int i = 0; i < count / 100; ++i) mCurrentItems.Add(Contact(count + i, stamp));
  }
};

std::string BenchFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string folder = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/lark-bench-changelog/";
  std::filesystem::create_directories(folder);
  return folder;
}

void BM_CheckUpdate(benchmark::State& state) {
  CConf conf(BenchFolder());
  const int count = static_cast<int>(state.range(0));
  BenchStore store(conf, count);
  CChangeLog log(conf);
  log.InitAnchor(1, "bench");
  for (auto _ : state) benchmark::DoNotOptimize(log.CheckUpdate(store, false));
  if (log.NewCount() != count / 100 || log.UpdatedCount() != count / 100 || log.DeletedCount() != count / 100) {
    state.SkipWithError("unexpected change counts");
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["entries"] = log.TotalCount();
}
BENCHMARK(BM_CheckUpdate)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

CDataItemList& IndexOf(int count) {
  static CDataItemList list;
  if (static_cast<int>(list.Count()) != count) {
    list.Clear();
    for (int i = 0; i < count; ++i) list.Add(Contact(i, 46023.5));
    list.SetPath(BenchFolder(), "bench_index");
  }
  return list;
}

void BM_SaveFile(benchmark::State& state) {
  CDataItemList& list = IndexOf(static_cast<int>(state.range(0)));
  for (auto _ : state) list.SaveFile();
  const auto bytes = std::filesystem::file_size(list.Path());
  state.counters["file_bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_SaveFile)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_LoadFile(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  IndexOf(count).SaveFile();
  CDataItemList loaded;
  loaded.SetPath(BenchFolder(), "bench_index");
  for (auto _ : state) loaded.LoadFile();
  if (static_cast<int>(loaded.Count()) != count) state.SkipWithError("index did not load whole");
  const auto bytes = std::filesystem::file_size(loaded.Path());
  state.counters["file_bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_LoadFile)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
