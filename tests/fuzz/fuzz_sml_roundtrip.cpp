// Fuzz target: structures built from the fuzz input are encoded (each write measured first, and
// the measure must equal the write), decoded again, and must come back equal.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "syncml/SmlInstance.h"
#include "syncml/SmlXmlWriter.h"

namespace {

// Generous for what the input can describe: each input byte adds at most a few escaped text bytes
// or one element.
std::size_t WorkspaceFor(std::size_t size) { return 64 * 1024 + 64 * size; }

void Check(bool condition) {
  if (!condition) std::abort();
}

// Builds structures from the input. Text content uses the kinds decoding gives back: CDATA for
// text holding & < > (or chosen so), plain text otherwise. Names that start a new content type,
// property or parameter in a CTCap are always present.
class StructureBuilder {
 public:
  explicit StructureBuilder(FuzzedDataProvider& input) : mInput(input) {}

  SmlSyncHdr Header() {
    SmlSyncHdr h;
    h.verDtd = Text();
    h.verProto = Text();
    h.sessionId = Text();
    h.msgId = Text();
    h.target = Target(0);
    h.source = Source();
    h.respUri = MaybeText();
    h.noResp = Coin();
    if (Coin()) h.cred = SmlCred{Meta(), Data()};
    h.meta = Meta();
    return h;
  }

  SmlSync Sync() {
    SmlSync s;
    s.cmdId = MaybeText();
    s.noResp = Coin();
    if (Coin()) s.cred = SmlCred{Meta(), Data()};
    if (Coin()) s.target = Target(0);
    if (Coin()) s.source = Source();
    s.meta = Meta();
    s.numberOfChanges = MaybeText();
    return s;
  }

  SmlCommand Command() {
    switch (mInput.ConsumeIntegralInRange<int>(0, 9)) {
      case 0: return SmlAlert{Text(), Coin(), Cred(), Data(), Items(0)};
      case 1: return ItemCommand<SmlAdd>();
      case 2: return ItemCommand<SmlReplace>();
      case 3: return ItemCommand<SmlDelete>();
      case 4: return ItemCommand<SmlCopy>();
      case 5: return Access<SmlGet>();
      case 6: return Access<SmlPut>();
      case 7: return Map();
      case 8: return SmlResults{Text(), MaybeText(), MaybeText(), Meta(), Texts(), Texts(), Items(0)};
      default: {
        SmlStatus s{Text(), MaybeText(), MaybeText(), Text(), Texts(), Texts(), Cred(), std::nullopt, TextContent(), Items(0)};
        if (Coin()) s.chal = SmlChal{Meta()};
        return s;
      }
    }
  }

 private:
  bool Coin() { return mInput.ConsumeBool(); }
  std::size_t Count(std::size_t most) { return mInput.ConsumeIntegralInRange<std::size_t>(0, most); }
  std::string Text() { return mInput.ConsumeRandomLengthString(24); }
  SmlText MaybeText() { return Coin() ? SmlText(Text()) : std::nullopt; }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts(Count(2));
    for (auto& text : texts) text = Text();
    return texts;
  }

  SmlPcdata TextContent() {
    const bool cdata = Coin();
    std::string text = Text();
    return cdata || SmlXmlWriter::NeedsEscaping(text) ? SmlPcdata::Cdata(std::move(text))
                                                      : SmlPcdata::Plain(std::move(text));
  }
  SmlPcdata Meta() {
    switch (Count(2)) {
      case 0: return SmlPcdata{};
      case 1: return TextContent();
      default: break;
    }
    SmlMetInf m;
    m.format = MaybeText();
    m.type = MaybeText();
    m.mark = MaybeText();
    if (Coin()) m.anchor = SmlAnchor{MaybeText(), MaybeText()};
    m.nextNonce = MaybeText();
    m.maxMsgSize = MaybeText();
    m.emi = Texts();
    if (Coin()) m.mem = SmlMem{Coin(), MaybeText(), MaybeText()};
    if (m == SmlMetInf{}) return SmlPcdata::Plain("");  // written as an empty Meta
    return SmlPcdata::Of(std::move(m));
  }
  SmlPcdata Data() {
    switch (Count(2)) {
      case 0: return SmlPcdata{};
      case 1: return TextContent();
      default: return SmlPcdata::Of(DevInf());
    }
  }
  std::optional<SmlCred> Cred() { return Coin() ? std::optional(SmlCred{Meta(), Data()}) : std::nullopt; }

  std::vector<SmlCtCap> CtCaps() {
    std::vector<SmlCtCap> caps(Count(2));
    for (SmlCtCap& cap : caps) {
      cap.ctType = Text();
      cap.verCt = MaybeText();
      cap.properties.resize(Count(2));
      for (SmlProperty& p : cap.properties) {
        p.propName = Text();
        p.valEnums = Texts();
        p.dataType = MaybeText();
        p.size = MaybeText();
        p.displayName = MaybeText();
        p.params.resize(Count(2));
        for (SmlPropParam& param : p.params) param = SmlPropParam{Text(), Texts(), MaybeText(), MaybeText()};
      }
    }
    return caps;
  }
  SmlDevInf DevInf() {
    SmlDevInf d;
    d.verDtd = MaybeText();
    d.man = MaybeText();
    d.devId = MaybeText();
    d.utc = Coin();
    d.supportNumberOfChanges = Coin();
    d.dataStores.resize(Count(2));
    for (SmlDataStore& s : d.dataStores) {
      s.sourceRef = MaybeText();
      if (Coin()) s.rxPref = SmlContentTypeRef{MaybeText(), MaybeText()};
      if (Coin()) s.tx.push_back(SmlContentTypeRef{MaybeText(), MaybeText()});
      s.ctCaps = CtCaps();
      if (Coin()) s.dsMem = SmlDsMem{Coin(), MaybeText(), MaybeText()};
      if (Coin()) s.syncCap = SmlSyncCap{Texts()};
      if (Coin()) s.filterCaps.push_back(SmlFilterCap{MaybeText(), MaybeText(), Texts(), Texts()});
    }
    d.ctCaps = CtCaps();
    if (Coin()) d.exts.push_back(SmlExt{MaybeText(), Texts()});
    return d;
  }

  SmlSource Source() { return SmlSource{MaybeText(), MaybeText()}; }
  SmlTarget Target(int depth) {
    SmlTarget t{MaybeText(), MaybeText(), std::nullopt};
    if (depth < 3 && Coin()) {
      SmlFilter f{Meta(), MaybeText(), {}, {}};
      if (Coin()) f.record.push_back(Item(depth + 1));
      if (Coin()) f.field.push_back(Item(depth + 1));
      t.filter = std::move(f);
    }
    return t;
  }
  SmlItem Item(int depth) {
    SmlItem i;
    if (Coin()) i.target = Target(depth);
    if (Coin()) i.source = Source();
    i.meta = Meta();
    i.data = Data();
    i.moreData = Coin();
    return i;
  }
  std::vector<SmlItem> Items(std::size_t least) {
    std::vector<SmlItem> items;
    for (std::size_t n = least + Count(2); n > 0; --n) items.push_back(Item(0));
    return items;
  }
  template <class C>
  C ItemCommand() {
    C c;
    c.cmdId = Text();
    c.noResp = Coin();
    c.archive = Coin();
    c.sftDel = Coin();
    c.cred = Cred();
    c.meta = Meta();
    c.items = Items(1);
    return c;
  }
  template <class C>
  C Access() {
    C c;
    c.cmdId = Text();
    c.noResp = Coin();
    c.lang = MaybeText();
    c.cred = Cred();
    c.meta = Meta();
    c.items = Items(0);
    return c;
  }
  SmlMap Map() {
    SmlMap m{Text(), Target(0), Source(), Cred(), Meta(), {}};
    for (std::size_t n = 1 + Count(2); n > 0; --n) {
      m.mapItems.push_back(SmlMapItem{Coin() ? std::optional(Target(0)) : std::nullopt,
                                      Coin() ? std::optional(Source()) : std::nullopt});
    }
    return m;
  }

  FuzzedDataProvider& mInput;
};

template <class Write>
void WriteMeasured(SmlInstance& instance, Write&& write) {
  Check(instance.StartEvaluation() == SML_OK);
  const SmlRet measured = write();
  SmlEvaluation evaluation;
  Check(instance.EndEvaluation(evaluation) == SML_OK);
  Check(measured == SML_OK);
  Check(write() == SML_OK);
  Check(evaluation.outputLength == instance.OutputLength());
}

struct Decoded {
  std::optional<SmlSyncHdr> header;
  std::optional<SmlSync> sync;
  std::vector<SmlCommand> commands;
  bool final = false;
};

template <class T>
SmlHandler<T> Keep() {
  return [](void* context, std::unique_ptr<T> element) {
    static_cast<Decoded*>(context)->commands.emplace_back(std::move(*element));
    return SmlRet{SML_OK};
  };
}

SmlHandlers KeepingHandlers() {
  SmlHandlers h;
  h.startMessage = [](void* context, std::unique_ptr<SmlSyncHdr> header) {
    static_cast<Decoded*>(context)->header = std::move(*header);
    return SmlRet{SML_OK};
  };
  h.endMessage = [](void* context, bool final) {
    static_cast<Decoded*>(context)->final = final;
    return SmlRet{SML_OK};
  };
  h.startSync = [](void* context, std::unique_ptr<SmlSync> sync) {
    static_cast<Decoded*>(context)->sync = std::move(*sync);
    return SmlRet{SML_OK};
  };
  h.endSync = [](void*) { return SmlRet{SML_OK}; };
  h.alertCmd = Keep<SmlAlert>();
  h.addCmd = Keep<SmlAdd>();
  h.replaceCmd = Keep<SmlReplace>();
  h.deleteCmd = Keep<SmlDelete>();
  h.copyCmd = Keep<SmlCopy>();
  h.getCmd = Keep<SmlGet>();
  h.putCmd = Keep<SmlPut>();
  h.mapCmd = Keep<SmlMap>();
  h.resultsCmd = Keep<SmlResults>();
  h.statusCmd = Keep<SmlStatus>();
  return h;
}

bool IsItemCommand(const SmlCommand& command) {
  return std::holds_alternative<SmlAdd>(command) || std::holds_alternative<SmlReplace>(command) ||
         std::holds_alternative<SmlDelete>(command) || std::holds_alternative<SmlCopy>(command);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  StructureBuilder builder(input);
  const SmlSyncHdr header = builder.Header();
  const bool final = input.ConsumeBool();
  // Item commands go into one Sync, the others before it.
  std::vector<SmlCommand> outside;
  std::vector<SmlCommand> inside;
  for (int n = input.ConsumeIntegralInRange<int>(0, 4); n > 0; --n) {
    SmlCommand command = builder.Command();
    (IsItemCommand(command) ? inside : outside).push_back(std::move(command));
  }
  const std::optional<SmlSync> sync = input.ConsumeBool() || !inside.empty() ? std::optional(builder.Sync()) : std::nullopt;

  Decoded decoded;
  SmlInstance instance(SmlInstanceOptions{SmlEncoding::Xml, "roundtrip", WorkspaceFor(size)}, KeepingHandlers(), &decoded);
  WriteMeasured(instance, [&] { return instance.StartMessage(header); });
  for (const SmlCommand& command : outside) WriteMeasured(instance, [&] { return instance.AddCommand(command); });
  if (sync) {
    WriteMeasured(instance, [&] { return instance.StartSync(*sync); });
    for (const SmlCommand& command : inside) WriteMeasured(instance, [&] { return instance.AddCommand(command); });
    WriteMeasured(instance, [&] { return instance.EndSync(); });
  }
  WriteMeasured(instance, [&] { return instance.EndMessage(final); });

  const char* output = nullptr;
  std::size_t length = 0;
  Check(instance.LockOutput(output, length) == SML_OK);
  const std::string message(output, length);
  Check(instance.UnlockOutput(length) == SML_OK);
  char* in = nullptr;
  std::size_t free = 0;
  Check(instance.LockInput(in, free) == SML_OK && message.size() <= free);
  std::memcpy(in, message.data(), message.size());
  Check(instance.UnlockInput(message.size()) == SML_OK);
  Check(instance.ProcessData() == SML_OK);

  Check(decoded.header == header);
  Check(decoded.final == final);
  Check(decoded.sync == sync);
  std::vector<SmlCommand> expected = outside;
  expected.insert(expected.end(), inside.begin(), inside.end());
  Check(decoded.commands == expected);
  return 0;
}
