// Benchmark of the Windows Contacts store: the first download of 5,000 server contacts into an
// empty address book, against the same download into the folder store in the same run (each card
// parsed, written through the store, and the index saved, as a sync's download does), and the
// load of an address book of 10,000 contacts.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/Prompt.h"
#include "config/CConf.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "stores/folder/FolderStore.h"
#include "platform/wab/WabConnection.h"
#include "platform/wab/WabPtr.h"
#include "stores/wab/OutlookExpress.h"

namespace {

constexpr int kDownload = 5000;
constexpr int kLoad = 10000;

// A private folder removed at exit; the address book's setting names the library beside the
// program (an empty value) and the book lies in the folder.
class BenchFolder {
 public:
  BenchFolder() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/lark-bench-wab-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    mPath = pattern + "/";
    const std::string setting = mPath + "wab.conf";
    std::FILE* file = std::fopen(setting.c_str(), "w");
    if (file == nullptr) std::abort();
    std::fputs("DLLPath=\n", file);
    std::fclose(file);
    ::setenv("LARK_WAB_CONF", setting.c_str(), 1);
  }
  ~BenchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(mPath, ignored);
  }
  // A new empty sub-folder.
  std::string Fresh(const std::string& name) {
    const std::string path = mPath + name + std::to_string(mCount++) + "/";
    std::filesystem::create_directories(path);
    return path;
  }

 private:
  std::string mPath;
  int mCount = 0;
};

BenchFolder& Folder() {
  static BenchFolder folder;
  return folder;
}

std::string ServerCard(int n) {
  const std::string tag = std::to_string(n);
  std::ostringstream card;
  card << "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Person" << tag << ";Given" << tag << ";;;\r\nFN:Given" << tag << " Person" << tag
       << "\r\nORG:Company " << tag << ";Dept\r\nTITLE:Engineer\r\nTEL;WORK;VOICE:+49 30 " << tag
       << "\r\nTEL;CELL:+49 170 " << tag << "\r\nTEL;WORK;FAX:+49 30 9" << tag << "\r\nEMAIL;INTERNET;PREF:person" << tag
       << "@example.org\r\nEMAIL;INTERNET;WORK:work" << tag << "@example.org\r\nADR;WORK:;;Street " << tag
       << ";Berlin;;10115;Germany\r\nURL;WORK:https://example.org/" << tag << "\r\nNOTE:Benchmark contact " << tag
       << "\r\nEND:VCARD\r\n";
  return card.str();
}

const std::vector<std::string>& ServerCards() {
  static const std::vector<std::string> cards = [] {
    std::vector<std::string> all;
    for (int n = 1; n <= kDownload; ++n) all.push_back(ServerCard(n));
    return all;
  }();
  return cards;
}

// The download part of a first sync: every server card written as a new item, then the index.
void Download(CDatabaseObject& store, benchmark::State& state) {
  if (store.LoadContent("Contacts") != kStoreOk) state.SkipWithError("the store cannot be loaded");
  int n = 0;
  for (const std::string& text : ServerCards()) {
    VCardContext context;
    const PVCardPtr card = Zep3_PVCard_FromStream(&context, text);
    std::string id;
    if (!card || store.AddAddressBookItem(*card, id, "server-" + std::to_string(++n), "text/x-vcard") != kStoreOk) {
      state.SkipWithError("a contact could not be written");
      return;
    }
  }
  store.mCurrentItems.SaveFile();
}

void BM_FirstDownloadIntoFolderStore(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string folder = Folder().Fresh("folder");
    CConf conf(folder + "config/");
    std::filesystem::create_directories(folder + "config/");
    conf.SetSyncWithOutlook(0);
    state.ResumeTiming();
    FolderStore store(conf, folder + "items");
    store.SetCurrentFolder(DATA_TYPE_CONTACTS, "", "");
    Download(store, state);
  }
  state.SetItemsProcessed(state.iterations() * kDownload);
}

void BM_FirstDownloadIntoAddressBook(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    const std::string folder = Folder().Fresh("wab");
    CConf conf(folder + "config/");
    std::filesystem::create_directories(folder + "config/");
    conf.SetSilent(true);
    HeadlessPrompt prompt(std::cerr);
    WabOpenOptions options;
    options.bookFile = folder + "addressbook.db";
    state.ResumeTiming();
    OutlookExpress store(conf, prompt, options);
    if (store.mInitError != 0) state.SkipWithError("the address book cannot be opened");
    Download(store, state);
  }
  state.SetItemsProcessed(state.iterations() * kDownload);
}

// A book of kLoad contacts, made once.
const std::string& LoadBook() {
  static const std::string book = [] {
    const std::string folder = Folder().Fresh("load");
    CConf conf(folder);
    conf.SetSilent(true);
    HeadlessPrompt prompt(std::cerr);
    WabOpenOptions options;
    options.bookFile = folder + "addressbook.db";
    OutlookExpress store(conf, prompt, options);
    for (int n = 1; n <= kLoad; ++n) {
      VCardContext context;
      const PVCardPtr card = Zep3_PVCard_FromStream(&context, ServerCard(n));
      std::string id;
      if (!card || store.AddAddressBookItem(*card, id, "", "text/x-vcard") != kStoreOk) std::abort();
    }
    return options.bookFile;
  }();
  return book;
}

void BM_LoadAddressBook(benchmark::State& state) {
  const std::string& book = LoadBook();
  CConf conf(std::string{});
  conf.SetSilent(true);
  HeadlessPrompt prompt(std::cerr);
  WabOpenOptions options;
  options.bookFile = book;
  for (auto _ : state) {
    OutlookExpress store(conf, prompt, options);
    store.mCurrentItems.Clear();
    if (store.LoadAddressBook() != kStoreOk || store.mCurrentItems.Count() != static_cast<std::size_t>(kLoad)) {
      state.SkipWithError("the book did not load whole");
    }
  }
  state.SetItemsProcessed(state.iterations() * kLoad);
}

// The reference for the load: the address book library's own cost of the same reads (every
// entry opened and all its properties fetched), with nothing made of them.
void BM_ReadEveryEntryThroughTheInterface(benchmark::State& state) {
  WabOpenOptions options;
  options.bookFile = LoadBook();
  for (auto _ : state) {
    WabConnection book(options);
    WabRef<IMAPITable> table;
    if (!book.IsOpen() || HrFailed(book.Container()->GetContentsTable(MAPI_UNICODE, table.Put()))) {
      state.SkipWithError("the book cannot be read");
      return;
    }
    std::size_t read = 0;
    for (;;) {
      WabRowSet rows(book.Allocator());
      if (HrFailed(table->QueryRows(256, 0, rows.Put())) || rows.Count() == 0) break;
      for (ULONG i = 0; i < rows.Count(); ++i) {
        const SBinary& id = rows.Row(i).lpProps[0].Value.bin;
        ULONG type = 0;
        WabRef<IUnknown> entry;
        if (HrFailed(book.AddrBook()->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, MAPI_MODIFY, &type, entry.Put()))) continue;
        ULONG count = 0;
        WabBuffer<SPropValue> values(book.Allocator());
        static_cast<IMAPIProp*>(entry.Get())->GetProps(nullptr, MAPI_UNICODE, &count, values.Put());
        read += count > 0 ? 1 : 0;
      }
    }
    if (read != static_cast<std::size_t>(kLoad)) state.SkipWithError("the book did not read whole");
  }
  state.SetItemsProcessed(state.iterations() * kLoad);
}

}  // namespace

BENCHMARK(BM_ReadEveryEntryThroughTheInterface)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FirstDownloadIntoFolderStore)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FirstDownloadIntoAddressBook)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_LoadAddressBook)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
