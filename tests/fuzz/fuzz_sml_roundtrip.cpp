// Fuzz target: structures built from the fuzz input are encoded (each write measured first, and
// the measure must equal the write), decoded again, and must come back equal.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "syncml/SmlInstance.h"
#include "tests/syncml/SmlTestSupport.h"

namespace {

// Generous for what the input can describe: each input byte adds at most a few escaped text bytes
// or one element.
std::size_t WorkspaceFor(std::size_t size) { return 64 * 1024 + 64 * size; }

void Check(bool condition) {
  if (!condition) std::abort();
}

// Choices read from the fuzz input; once it is used up every choice is the smallest one.
class FuzzedChoices {
 public:
  explicit FuzzedChoices(FuzzedDataProvider& input) : mInput(&input) {}

  bool Coin() { return mInput->ConsumeBool(); }
  std::size_t Below(std::size_t n) { return mInput->ConsumeIntegralInRange<std::size_t>(0, n - 1); }
  // The writer drops the C0 controls XML 1.0 forbids (a test of its own covers that), so texts
  // holding them cannot come back equal.
  std::string Text() {
    std::string text = mInput->ConsumeRandomLengthString(24);
    std::erase_if(text, [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r'; });
    return text;
  }

 private:
  FuzzedDataProvider* mInput;
};

template <class Write>
void WriteMeasured(SmlInstance& instance, Write&& write) {
  const MeasuredWrite result = MeasureThenWrite(instance, write);
  Check(result.written == SML_OK && result.Agrees());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  SmlStructureGenerator<FuzzedChoices> builder(FuzzedChoices(input), true);
  const SmlSyncHdr header = builder.Header();
  const bool final = input.ConsumeBool();
  // Item commands go into one Sync, the others before it.
  std::vector<SmlCommand> outside;
  std::vector<SmlCommand> inside;
  for (int n = input.ConsumeIntegralInRange<int>(0, 4); n > 0; --n) {
    SmlCommand command = builder.AnyCommand();
    (IsItemCommand(command) ? inside : outside).push_back(std::move(command));
  }
  const std::optional<SmlSync> sync = input.ConsumeBool() || !inside.empty() ? std::optional(builder.Sync()) : std::nullopt;

  SmlCapture decoded;
  SmlInstance instance(SmlInstanceOptions{SmlEncoding::Xml, "roundtrip", WorkspaceFor(size)}, CapturingHandlers(), &decoded);
  WriteMeasured(instance, [&] { return instance.StartMessage(header); });
  for (const SmlCommand& command : outside) WriteMeasured(instance, [&] { return instance.AddCommand(command); });
  if (sync) {
    WriteMeasured(instance, [&] { return instance.StartSync(*sync); });
    for (const SmlCommand& command : inside) WriteMeasured(instance, [&] { return instance.AddCommand(command); });
    WriteMeasured(instance, [&] { return instance.EndSync(); });
  }
  WriteMeasured(instance, [&] { return instance.EndMessage(final); });

  const std::string message = OutputText(instance, true);
  Check(instance.AppendInput(message) == SML_OK);
  Check(instance.ProcessData() == SML_OK);

  Check(decoded.header == header);
  Check(decoded.final == final);
  Check(decoded.sync == sync);
  std::vector<SmlCommand> expected = outside;
  expected.insert(expected.end(), inside.begin(), inside.end());
  Check(decoded.commands == expected);
  return 0;
}
