// Properties over many generated commands of every kind: evaluation measures exactly what a real
// write adds (and fails exactly when it fails), and decoding what was encoded gives it back.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "syncml/SmlInstance.h"
#include "tests/syncml/SmlTestSupport.h"

namespace {

// Choices from a seeded generator; texts are pieces that stress escaping and CDATA.
class SeededChoices {
 public:
  explicit SeededChoices(std::uint32_t seed) : mRandom(seed) {}

  bool Coin() { return (mRandom() & 1) != 0; }
  std::size_t Below(std::size_t n) { return mRandom() % n; }
  std::string Text() {
    static const char* const kPieces[] = {"a",  "Z9", " ",  "\r\n", "&",      "<",  ">",     "]]>", "&amp;",
                                          "'\"", "\xC3\xA9", "\xE2\x82\xAC", "\t", "x&y;", "]]", "<![CDATA["};
    std::string text;
    for (std::size_t n = Below(6); n > 0; --n) text += kPieces[Below(std::size(kPieces))];
    return text;
  }

 private:
  std::mt19937 mRandom;
};

using CommandGenerator = SmlStructureGenerator<SeededChoices>;

SmlInstanceOptions Options(std::size_t size) { return SmlInstanceOptions{SmlEncoding::Xml, "PropertyTest", size}; }

// Evaluates `write`, then writes for real, and checks that both agree on result and length, and
// that neither touched what was written before.
template <class Write>
void ExpectEvaluationMatchesWrite(SmlInstance& instance, Write&& write, const std::string& what) {
  const std::string before = OutputText(instance);
  const MeasuredWrite result = MeasureThenWrite(instance, write);
  ASSERT_EQ(result.lengthAfterEvaluation, before.size()) << what;
  ASSERT_EQ(result.measured, result.written) << what;
  const std::string after = OutputText(instance);
  EXPECT_EQ(after.substr(0, before.size()), before) << what;
  if (result.written == SML_OK) {
    EXPECT_EQ(result.evaluation.outputLength, instance.OutputLength()) << what;
    EXPECT_EQ(result.evaluation.freeBytes, instance.WorkspaceSize() - instance.OutputLength()) << what;
  } else {
    EXPECT_EQ(result.written, SML_ERR_BUFFER_FULL) << what;
    EXPECT_EQ(after, before) << what;
  }
}

}  // namespace

TEST(SmlProperties, EvaluationMeasuresExactlyWhatEachCommandKindAdds) {
  std::mt19937 sizes(7);
  for (std::uint32_t seed = 0; seed < 3000; ++seed) {
    CommandGenerator generator(SeededChoices(seed), false);
    // Small workspaces make many commands hit the limit, large ones let them all fit.
    const std::size_t workspace = seed % 3 == 0 ? 1 << 20 : 300 + sizes() % 3000;
    SmlInstance instance(Options(workspace), SmlHandlers{}, nullptr);
    const SmlSyncHdr header = generator.Header();
    const std::string what = "seed " + std::to_string(seed);
    ExpectEvaluationMatchesWrite(instance, [&] { return instance.StartMessage(header); }, what + " header");
    if (!instance.IsMessageOpen()) continue;
    const SmlSync sync = generator.Sync();
    if (seed % 2 == 1) ExpectEvaluationMatchesWrite(instance, [&] { return instance.StartSync(sync); }, what + " sync");
    for (int i = 0; i < 3; ++i) {
      const SmlCommand command = generator.Command(static_cast<int>((seed + i) % CommandGenerator::kCommandKinds));
      ExpectEvaluationMatchesWrite(instance, [&] { return instance.AddCommand(command); },
                                   what + " command " + std::to_string(command.index()));
    }
    if (instance.IsSyncOpen()) ExpectEvaluationMatchesWrite(instance, [&] { return instance.EndSync(); }, what);
    if (!instance.IsSyncOpen()) ExpectEvaluationMatchesWrite(instance, [&] { return instance.EndMessage(true); }, what);
  }
}

TEST(SmlProperties, DecodingAnEncodedCommandGivesItBack) {
  for (std::uint32_t seed = 0; seed < 3000; ++seed) {
    CommandGenerator generator(SeededChoices(seed), true);
    const SmlSyncHdr header = generator.Header();
    const SmlCommand command = generator.Command(static_cast<int>(seed % CommandGenerator::kCommandKinds));
    SmlCapture captured;
    SmlInstance instance(Options(1 << 20), CapturingHandlers(), &captured);
    ASSERT_EQ(instance.StartMessage(header), SML_OK);
    // Item commands travel inside a Sync, the others beside it.
    const bool inSync = IsItemCommand(command);
    const SmlSync sync = generator.Sync();
    if (inSync) {
      ASSERT_EQ(instance.StartSync(sync), SML_OK);
    }
    ASSERT_EQ(instance.AddCommand(command), SML_OK);
    if (inSync) {
      ASSERT_EQ(instance.EndSync(), SML_OK);
    }
    ASSERT_EQ(instance.EndMessage(true), SML_OK);
    const std::string message = OutputText(instance);
    ASSERT_EQ(instance.UnlockOutput(0), SML_ERR_WRONG_STATE);  // OutputText left it unlocked
    ASSERT_EQ(OutputText(instance, true), message);  // consumed, as the session does before sending

    ASSERT_EQ(instance.AppendInput(message), SML_OK);
    ASSERT_EQ(instance.ProcessData(), SML_OK) << "seed " << seed << ": " << message;
    EXPECT_EQ(captured.header, header) << "seed " << seed;
    EXPECT_EQ(captured.commands, std::vector<SmlCommand>{command}) << "seed " << seed << ": " << message;
    EXPECT_TRUE(captured.final) << "seed " << seed;
    if (inSync) {
      EXPECT_EQ(captured.sync, sync) << "seed " << seed;
    }
  }
}
