// Benchmark of the object model: create 10,000 contacts, then read every property of all of them
// through Dispatch the way the store adapter loads a contact folder (Items, Count, Item, members).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/automation/OutlookDispatch.h"
#include "platform/outlookmodel/ItemSchema.h"
#include "platform/outlookmodel/OutlookModel.h"

namespace {

constexpr int kContacts = 10000;

// A profile in a private temporary folder, removed at exit.
struct BenchProfile {
  BenchProfile() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/lark-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
    path = folder + "/profile.db";
  }
  ~BenchProfile() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::string folder;
  std::string path;
};

BenchProfile& Profile() {
  static BenchProfile profile;
  return profile;
}

outlook::MAPIFolder ContactsOf(const outlook::Application& application) {
  const outlook::NameSpace session = application.GetNamespace("MAPI");
  session.Logon();
  return session.GetDefaultFolder(olFolderContacts);
}

void FillContact(const outlook::ContactItem& contact, int n) {
  const std::string tag = std::to_string(n);
  for (const outlookmodel::PropertyDef& property : outlookmodel::PropertiesOf(outlookmodel::ItemKind::Contact)) {
    if (property.type == VariantType::String) contact.Put(property.id, std::string(property.name) + " " + tag);
  }
  contact.SetEmail1Address("person" + tag + "@example.org");
}

void BM_CreateContacts(benchmark::State& state) {
  for (auto _ : state) {
    const outlook::Application application(outlookmodel::CreateOutlookApplication(Profile().path));
    const outlook::Items items = ContactsOf(application).GetItems();
    for (int n = 1; n <= kContacts; ++n) {
      const outlook::ContactItem contact(items.Add("IPM.Contact"));
      FillContact(contact, n);
      contact.Save();
    }
  }
  state.counters["items/s"] = benchmark::Counter(kContacts, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReadContacts(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    const outlook::Application application(outlookmodel::CreateOutlookApplication(Profile().path));
    const outlook::Items items = ContactsOf(application).GetItems();
    const int32_t count = items.GetCount();
    if (count != kContacts) state.SkipWithError("the profile does not hold the created contacts");
    for (int32_t index = 1; index <= count; ++index) {
      const outlook::ContactItem contact(items.Item(index));
      bytes += contact.GetEntryID().size() + contact.GetMessageClass().size();
      benchmark::DoNotOptimize(contact.GetLastModificationTime());
      for (const outlookmodel::PropertyDef& property : outlookmodel::PropertiesOf(outlookmodel::ItemKind::Contact)) {
        bytes += contact.Get(property.id).ToString().size();
      }
    }
  }
  benchmark::DoNotOptimize(bytes);
  state.counters["items/s"] = benchmark::Counter(kContacts, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

BENCHMARK(BM_CreateContacts)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadContacts)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();
