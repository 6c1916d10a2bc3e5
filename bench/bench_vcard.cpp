// Benchmark: parsing and writing 10,000 realistic vCards, against merely splitting the same bytes
// into lines as a floor.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "pim/CDataItem.h"
#include "pim/PVCard.h"
#include "pim/VCardContext.h"
#include "pim/VCardParser.h"
#include "pim/VCardSerializer.h"
#include "pim/VCardStream.h"

namespace {

constexpr int kCards = 10000;

const char* const kGivenNames[] = {"Renée", "Jürgen", "Anna", "Łukasz", "María José", "Søren", "Yuki", "Zoë"};
const char* const kSurnames[] = {"Grünwald", "Müller", "Schmidt", "Kowalski", "García; López", "Østergaard", "田中", "O'Brien"};
const char* const kCities[] = {"Berlin", "Köln", "Kraków", "Sevilla", "København", "東京", "Dublin", "Zürich"};

// A contact record as a store would load it, varied by `i`.
CDataItem MakeRecord(int i) {
  CDataItem item;
  const std::string given = kGivenNames[i % 8];
  const std::string surname = kSurnames[(i / 8) % 8];
  item["PR_ENTRYID"] = "00000000A1B2C3D4E5F6" + std::to_string(100000 + i);
  item["PR_DISPLAY_NAME"] = given + " " + surname;
  item["PR_GIVEN_NAME"] = given;
  item["PR_SURNAME"] = surname;
  item["PR_COMPANY_NAME"] = i % 3 == 0 ? "Hahn & Partner; Berlin" : "Example Trading GmbH";
  item["PR_TITLE"] = "Account Manager";
  item["PR_ZEP_EMAIL_ADDRESSES_TYPES"] = "W:user" + std::to_string(i) + "@work.example\tH:me" + std::to_string(i) + "@home.example\t";
  item["PR_EMAIL_ADDRESS"] = "me" + std::to_string(i) + "@home.example";
  item["PR_STREET_ADDRESS"] = i % 4 == 0 ? "Friedrichstraße " + std::to_string(i % 200) + "\r\nRear building" : "Main Street 1";
  item["PR_LOCALITY"] = kCities[i % 8];
  item["PR_POSTAL_CODE"] = std::to_string(10000 + i % 80000);
  item["PR_COUNTRY"] = "Germany";
  item["PR_HOME_ADDRESS_STREET"] = "Am Hang " + std::to_string(i % 50);
  item["PR_HOME_ADDRESS_CITY"] = kCities[(i + 3) % 8];
  item["PR_BUSINESS_TELEPHONE_NUMBER"] = "+49 30 " + std::to_string(1000000 + i);
  item["PR_MOBILE_TELEPHONE_NUMBER"] = "+49 170 " + std::to_string(2000000 + i);
  item["PR_PRIMARY_PHONE_NUMBER"] = item["PR_MOBILE_TELEPHONE_NUMBER"];
  if (i % 2 == 0) item["PR_COMMENT"] = "Met at the fair in " + std::string(kCities[i % 8]) + ".\r\nPrefers e-mail — never calls.";
  return item;
}

struct Corpus {
  std::vector<std::string> cards;
  size_t bytes = 0;
};

const Corpus& Cards() {
  static const Corpus corpus = [] {
    Corpus built;
    for (int i = 0; i < kCards; ++i) {
      built.cards.push_back(MakeRecord(i).ToVCard());
      built.bytes += built.cards.back().size();
    }
    return built;
  }();
  return corpus;
}

void Report(benchmark::State& state, size_t bytes) {
  state.SetItemsProcessed(state.iterations() * kCards);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

// The floor: finding every line of every card, and nothing else.
void BM_SplitLines(benchmark::State& state) {
  const Corpus& corpus = Cards();
  for (auto _ : state) {
    size_t lines = 0;
    for (const std::string_view card : corpus.cards) {
      for (size_t start = 0; start < card.size();) {
        const size_t end = card.find('\n', start);
        benchmark::DoNotOptimize(card.substr(start, end - start));
        ++lines;
        start = end == std::string_view::npos ? card.size() : end + 1;
      }
    }
    benchmark::DoNotOptimize(lines);
  }
  Report(state, Cards().bytes);
}
BENCHMARK(BM_SplitLines)->Unit(benchmark::kMillisecond);

void BM_ParseVCards(benchmark::State& state) {
  const Corpus& corpus = Cards();
  VCardContext context;
  for (auto _ : state) {
    for (const auto& card : corpus.cards) {
      PVCardPtr parsed = Zep3_PVCard_FromStream(&context, card);
      benchmark::DoNotOptimize(parsed.get());
    }
  }
  Report(state, corpus.bytes);
}
BENCHMARK(BM_ParseVCards)->Unit(benchmark::kMillisecond);

void BM_SerializeVCards(benchmark::State& state) {
  const Corpus& corpus = Cards();
  VCardContext context;
  std::vector<PVCardPtr> parsed;
  for (const auto& card : corpus.cards) parsed.push_back(Zep3_PVCard_FromStream(&context, card));
  for (auto _ : state) {
    for (const auto& card : parsed) {
      std::unique_ptr<VCardOutputStream> stream;
      SerializeVCard(*card, stream);
      benchmark::DoNotOptimize(stream->Size());
    }
  }
  Report(state, corpus.bytes);
}
BENCHMARK(BM_SerializeVCards)->Unit(benchmark::kMillisecond);

// The whole writing path of a sync: record to card to text.
void BM_RecordToVCard(benchmark::State& state) {
  std::vector<CDataItem> records;
  for (int i = 0; i < kCards; ++i) records.push_back(MakeRecord(i));
  for (auto _ : state) {
    for (const auto& record : records) {
      std::string text = record.ToVCard();
      benchmark::DoNotOptimize(text.data());
    }
  }
  Report(state, Cards().bytes);
}
BENCHMARK(BM_RecordToVCard)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
