// Properties over many generated commands of every kind: evaluation measures exactly what a real
// write adds (and fails exactly when it fails), and decoding what was encoded gives it back.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "syncml/SmlInstance.h"
#include "syncml/SmlXmlWriter.h"

namespace {

// Random structures with every optional part sometimes present. With `canonical`, text content
// kinds are the ones decoding gives back (CDATA for text holding & < >, no Opaque), so that a
// round trip can be compared with ==.
class CommandGenerator {
 public:
  CommandGenerator(std::uint32_t seed, bool canonical) : mRandom(seed), mCanonical(canonical) {}

  static constexpr int kKinds = 10;

  SmlCommand Command(int kind) {
    switch (kind) {
      case 0: return Alert();
      case 1: return ItemCommand<SmlAdd>();
      case 2: return ItemCommand<SmlReplace>();
      case 3: return ItemCommand<SmlDelete>();
      case 4: return ItemCommand<SmlCopy>();
      case 5: return Access<SmlGet>();
      case 6: return Access<SmlPut>();
      case 7: return Map();
      case 8: return Results();
      default: return Status();
    }
  }

  SmlSyncHdr Header() {
    SmlSyncHdr header;
    header.verDtd = Text();
    header.verProto = Text();
    header.sessionId = Text();
    header.msgId = Text();
    header.target = Target(0);
    header.source = Source();
    header.respUri = MaybeText();
    header.noResp = Coin();
    if (Coin()) header.cred = Cred();
    header.meta = Meta();
    return header;
  }

  SmlSync Sync() {
    SmlSync sync;
    sync.cmdId = MaybeText();
    sync.noResp = Coin();
    if (Coin()) sync.cred = Cred();
    if (Coin()) sync.target = Target(0);
    if (Coin()) sync.source = Source();
    sync.meta = Meta();
    sync.numberOfChanges = MaybeText();
    return sync;
  }

 private:
  bool Coin() { return (mRandom() & 1) != 0; }
  std::size_t Below(std::size_t n) { return mRandom() % n; }

  std::string Text() {
    static const char* const kPieces[] = {"a",  "Z9", " ",  "\r\n", "&",      "<",  ">",     "]]>", "&amp;",
                                          "'\"", "\xC3\xA9", "\xE2\x82\xAC", "\t", "x&y;", "]]", "<![CDATA["};
    std::string text;
    for (std::size_t n = Below(6); n > 0; --n) text += kPieces[Below(std::size(kPieces))];
    return text;
  }
  SmlText MaybeText() { return Coin() ? SmlText(Text()) : std::nullopt; }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts(Below(3));
    for (std::string& text : texts) text = Text();
    return texts;
  }

  SmlPcdata TextContent() {
    std::string text = Text();
    const std::size_t kind = Below(3);
    if (mCanonical) {
      return kind == 2 || SmlXmlWriter::NeedsEscaping(text) ? SmlPcdata::Cdata(std::move(text))
                                                            : SmlPcdata::Plain(std::move(text));
    }
    return kind == 0 ? SmlPcdata::Plain(std::move(text))
                     : kind == 1 ? SmlPcdata::Opaque(std::move(text)) : SmlPcdata::Cdata(std::move(text));
  }
  SmlPcdata Meta() {
    const std::size_t choice = Below(3);
    if (choice == 0) return SmlPcdata{};
    if (choice == 1) return TextContent();
    SmlMetInf metInf = MetInf();
    // A MetInf without any element is written as an empty Meta, which reads back as empty text.
    if (mCanonical && metInf == SmlMetInf{}) return SmlPcdata::Plain("");
    return SmlPcdata::Of(std::move(metInf));
  }
  SmlPcdata Data() {
    const std::size_t choice = Below(4);
    if (choice == 0) return SmlPcdata{};
    return choice == 3 ? SmlPcdata::Of(DevInf()) : TextContent();
  }

  SmlMetInf MetInf() {
    SmlMetInf m;
    m.format = MaybeText();
    m.type = MaybeText();
    m.mark = MaybeText();
    m.size = MaybeText();
    if (Coin()) m.anchor = SmlAnchor{MaybeText(), MaybeText()};
    m.version = MaybeText();
    m.nextNonce = MaybeText();
    m.maxMsgSize = MaybeText();
    m.maxObjSize = MaybeText();
    m.emi = Texts();
    if (Coin()) m.mem = SmlMem{Coin(), MaybeText(), MaybeText()};
    return m;
  }

  SmlContentTypeRef TypeRef() { return SmlContentTypeRef{MaybeText(), MaybeText()}; }
  std::vector<SmlContentTypeRef> TypeRefs() {
    std::vector<SmlContentTypeRef> refs(Below(3));
    for (auto& ref : refs) ref = TypeRef();
    return refs;
  }
  // Content types, properties and parameters always have their names: in the flat form the name
  // is what starts a new one.
  std::vector<SmlCtCap> CtCaps() {
    std::vector<SmlCtCap> caps(Below(3));
    for (SmlCtCap& cap : caps) {
      cap.ctType = Text();
      cap.verCt = MaybeText();
      cap.properties.resize(Below(3));
      for (SmlProperty& property : cap.properties) {
        property.propName = Text();
        property.valEnums = Texts();
        property.dataType = MaybeText();
        property.size = MaybeText();
        property.maxOccur = MaybeText();
        property.displayName = MaybeText();
        property.params.resize(Below(3));
        for (SmlPropParam& param : property.params) {
          param = SmlPropParam{Text(), Texts(), MaybeText(), MaybeText()};
        }
      }
    }
    return caps;
  }
  SmlDevInf DevInf() {
    SmlDevInf d;
    d.verDtd = MaybeText();
    d.man = MaybeText();
    d.devId = MaybeText();
    d.devTyp = MaybeText();
    d.utc = Coin();
    d.supportLargeObjs = Coin();
    d.dataStores.resize(Below(3));
    for (SmlDataStore& store : d.dataStores) {
      store.sourceRef = MaybeText();
      store.displayName = MaybeText();
      store.maxGuidSize = MaybeText();
      if (Coin()) store.rxPref = TypeRef();
      store.rx = TypeRefs();
      if (Coin()) store.txPref = TypeRef();
      store.tx = TypeRefs();
      store.ctCaps = CtCaps();
      if (Coin()) store.dsMem = SmlDsMem{Coin(), MaybeText(), MaybeText()};
      if (Coin()) store.syncCap = SmlSyncCap{Texts()};
      store.filterRx = TypeRefs();
      if (Coin()) store.filterCaps.push_back(SmlFilterCap{MaybeText(), MaybeText(), Texts(), Texts()});
    }
    d.ctCaps = CtCaps();
    if (Coin()) d.exts.push_back(SmlExt{MaybeText(), Texts()});
    return d;
  }

  SmlCred Cred() { return SmlCred{Meta(), Data()}; }
  SmlSource Source() { return SmlSource{MaybeText(), MaybeText()}; }
  SmlTarget Target(int depth) {
    SmlTarget target{MaybeText(), MaybeText(), std::nullopt};
    if (depth < 2 && Below(4) == 0) {
      SmlFilter filter;
      filter.meta = Meta();
      filter.filterType = MaybeText();
      if (Coin()) filter.record.push_back(Item(depth + 1));
      if (Coin()) filter.field.push_back(Item(depth + 1));
      target.filter = std::move(filter);
    }
    return target;
  }
  SmlItem Item(int depth) {
    SmlItem item;
    if (Coin()) item.target = Target(depth);
    if (Coin()) item.source = Source();
    item.meta = Meta();
    item.data = Data();
    item.moreData = Coin();
    return item;
  }
  std::vector<SmlItem> Items(std::size_t minimum) {
    std::vector<SmlItem> items;
    for (std::size_t n = minimum + Below(3); n > 0; --n) items.push_back(Item(0));
    return items;
  }

  SmlAlert Alert() {
    return SmlAlert{Text(), Coin(), Coin() ? std::optional(Cred()) : std::nullopt, Data(), Items(0)};
  }
  template <class C>
  C ItemCommand() {
    C command;
    command.cmdId = Text();
    command.noResp = Coin();
    command.archive = Coin();
    command.sftDel = Coin();
    if (Coin()) command.cred = Cred();
    command.meta = Meta();
    command.items = Items(1);
    return command;
  }
  template <class C>
  C Access() {
    C command;
    command.cmdId = Text();
    command.noResp = Coin();
    command.lang = MaybeText();
    if (Coin()) command.cred = Cred();
    command.meta = Meta();
    command.items = Items(0);
    return command;
  }
  SmlMap Map() {
    SmlMap map{Text(), Target(0), Source(), std::nullopt, Meta(), {}};
    if (Coin()) map.cred = Cred();
    for (std::size_t n = 1 + Below(3); n > 0; --n) {
      map.mapItems.push_back(SmlMapItem{Coin() ? std::optional(Target(0)) : std::nullopt,
                                        Coin() ? std::optional(Source()) : std::nullopt});
    }
    return map;
  }
  SmlResults Results() {
    return SmlResults{Text(), MaybeText(), MaybeText(), Meta(), Texts(), Texts(), Items(0)};
  }
  SmlStatus Status() {
    SmlStatus status{Text(), MaybeText(), MaybeText(), Text(), Texts(), Texts(), std::nullopt, std::nullopt,
                     TextContent(), Items(0)};
    if (Coin()) status.cred = Cred();
    if (Coin()) status.chal = SmlChal{Meta()};
    return status;
  }

  std::mt19937 mRandom;
  bool mCanonical;
};

SmlInstanceOptions Options(std::size_t size) { return SmlInstanceOptions{SmlEncoding::Xml, "PropertyTest", size}; }

std::string Output(SmlInstance& instance) {
  const char* data = nullptr;
  std::size_t length = 0;
  EXPECT_EQ(instance.LockOutput(data, length), SML_OK);
  std::string text(data, length);
  EXPECT_EQ(instance.UnlockOutput(0), SML_OK);
  return text;
}

// Evaluates `write`, then writes for real, and checks that both agree on result and length.
template <class Write>
void ExpectEvaluationMatchesWrite(SmlInstance& instance, Write&& write, const std::string& what) {
  const std::string before = Output(instance);
  ASSERT_EQ(instance.StartEvaluation(), SML_OK);
  const SmlRet measured = write();
  SmlEvaluation evaluation;
  ASSERT_EQ(instance.EndEvaluation(evaluation), SML_OK);
  ASSERT_EQ(Output(instance), before) << what;
  const SmlRet real = write();
  ASSERT_EQ(measured, real) << what;
  if (real == SML_OK) {
    EXPECT_EQ(evaluation.outputLength, instance.OutputLength()) << what;
    EXPECT_EQ(evaluation.freeBytes, instance.WorkspaceSize() - instance.OutputLength()) << what;
  } else {
    EXPECT_EQ(real, SML_ERR_BUFFER_FULL) << what;
    EXPECT_EQ(Output(instance), before) << what;
  }
}

}  // namespace

TEST(SmlProperties, EvaluationMeasuresExactlyWhatEachCommandKindAdds) {
  std::mt19937 sizes(7);
  for (std::uint32_t seed = 0; seed < 3000; ++seed) {
    CommandGenerator generator(seed, false);
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
      const SmlCommand command = generator.Command(static_cast<int>((seed + i) % CommandGenerator::kKinds));
      ExpectEvaluationMatchesWrite(instance, [&] { return instance.AddCommand(command); },
                                   what + " command " + std::to_string(command.index()));
    }
    if (instance.IsSyncOpen()) ExpectEvaluationMatchesWrite(instance, [&] { return instance.EndSync(); }, what);
    if (!instance.IsSyncOpen()) ExpectEvaluationMatchesWrite(instance, [&] { return instance.EndMessage(true); }, what);
  }
}

namespace {

// Keeps whatever command, header or Sync a message carried.
struct Captured {
  std::optional<SmlSyncHdr> header;
  std::optional<SmlSync> sync;
  std::optional<SmlCommand> command;
};

template <class T>
SmlHandler<T> CaptureCommand() {
  return [](void* context, std::unique_ptr<T> element) {
    static_cast<Captured*>(context)->command = std::move(*element);
    return SmlRet{SML_OK};
  };
}

SmlHandlers CapturingHandlers() {
  SmlHandlers h;
  h.startMessage = [](void* context, std::unique_ptr<SmlSyncHdr> header) {
    static_cast<Captured*>(context)->header = std::move(*header);
    return SmlRet{SML_OK};
  };
  h.endMessage = [](void*, bool) { return SmlRet{SML_OK}; };
  h.startSync = [](void* context, std::unique_ptr<SmlSync> sync) {
    static_cast<Captured*>(context)->sync = std::move(*sync);
    return SmlRet{SML_OK};
  };
  h.endSync = [](void*) { return SmlRet{SML_OK}; };
  h.alertCmd = CaptureCommand<SmlAlert>();
  h.addCmd = CaptureCommand<SmlAdd>();
  h.replaceCmd = CaptureCommand<SmlReplace>();
  h.deleteCmd = CaptureCommand<SmlDelete>();
  h.copyCmd = CaptureCommand<SmlCopy>();
  h.getCmd = CaptureCommand<SmlGet>();
  h.putCmd = CaptureCommand<SmlPut>();
  h.mapCmd = CaptureCommand<SmlMap>();
  h.resultsCmd = CaptureCommand<SmlResults>();
  h.statusCmd = CaptureCommand<SmlStatus>();
  return h;
}

}  // namespace

TEST(SmlProperties, DecodingAnEncodedCommandGivesItBack) {
  for (std::uint32_t seed = 0; seed < 3000; ++seed) {
    CommandGenerator generator(seed, true);
    const SmlSyncHdr header = generator.Header();
    const SmlCommand command = generator.Command(static_cast<int>(seed % CommandGenerator::kKinds));
    Captured captured;
    SmlInstance instance(Options(1 << 20), CapturingHandlers(), &captured);
    ASSERT_EQ(instance.StartMessage(header), SML_OK);
    // Item commands travel inside a Sync, the others beside it.
    const bool inSync = command.index() >= 1 && command.index() <= 4;
    const SmlSync sync = generator.Sync();
    if (inSync) {
      ASSERT_EQ(instance.StartSync(sync), SML_OK);
    }
    ASSERT_EQ(instance.AddCommand(command), SML_OK);
    if (inSync) {
      ASSERT_EQ(instance.EndSync(), SML_OK);
    }
    ASSERT_EQ(instance.EndMessage(true), SML_OK);
    const std::string message = Output(instance);
    ASSERT_EQ(instance.UnlockOutput(0), SML_ERR_WRONG_STATE);  // Output() left it unlocked
    const char* data = nullptr;
    std::size_t length = 0;
    ASSERT_EQ(instance.LockOutput(data, length), SML_OK);
    ASSERT_EQ(instance.UnlockOutput(length), SML_OK);  // consumed, as the session does before sending

    char* input = nullptr;
    std::size_t free = 0;
    ASSERT_EQ(instance.LockInput(input, free), SML_OK);
    std::copy(message.begin(), message.end(), input);
    ASSERT_EQ(instance.UnlockInput(message.size()), SML_OK);
    ASSERT_EQ(instance.ProcessData(), SML_OK) << "seed " << seed << ": " << message;
    EXPECT_EQ(captured.header, header) << "seed " << seed;
    EXPECT_EQ(captured.command, command) << "seed " << seed << ": " << message;
    if (inSync) {
      EXPECT_EQ(captured.sync, sync) << "seed " << seed;
    }
  }
}
