// Codec helpers shared by the SyncML tests and fuzz targets: reading the output, writes measured
// before they are made, handlers that keep a decoded message, and a structure generator.
// Header-only and free of GoogleTest, so that the fuzz programs can use it too.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "syncml/SmlInstance.h"
#include "syncml/SmlXmlWriter.h"

// Throws std::logic_error naming `step` when the codec refused a step the caller relies on.
inline void RequireSmlOk(SmlRet ret, const char* step) {
  if (ret != SML_OK) throw std::logic_error(std::string(step) + ": " + SmlResultName(ret));
}

// The output written and not consumed yet; with `consume` it is consumed as well. Throws when the
// output cannot be locked (while evaluating, or already locked).
inline std::string OutputText(SmlInstance& instance, bool consume = false) {
  std::string text;
  if (consume) {
    RequireSmlOk(instance.TakeOutput(text), "TakeOutput");
    return text;
  }
  const char* data = nullptr;
  std::size_t length = 0;
  RequireSmlOk(instance.LockOutput(data, length), "LockOutput");
  text.assign(data, length);
  RequireSmlOk(instance.UnlockOutput(0), "UnlockOutput");
  return text;
}

// One write made twice: measured in evaluation mode, then for real.
struct MeasuredWrite {
  SmlRet measured = SML_OK;
  SmlRet written = SML_OK;
  SmlEvaluation evaluation;
  std::size_t lengthBefore = 0;            // output length before both
  std::size_t lengthAfterEvaluation = 0;   // must equal lengthBefore: evaluation keeps nothing
  std::size_t lengthAfter = 0;             // after the real write

  // Evaluation kept nothing, and measure and write agree on the result and the length; a failed
  // write left the output as it was.
  bool Agrees() const {
    if (lengthAfterEvaluation != lengthBefore || measured != written) return false;
    return written == SML_OK ? evaluation.outputLength == lengthAfter : lengthAfter == lengthBefore;
  }
};

// Runs `write` (a callable returning SmlRet) between StartEvaluation and EndEvaluation, then once
// more for real, and reports both. Throws when evaluation mode cannot be entered or left.
template <class Write>
MeasuredWrite MeasureThenWrite(SmlInstance& instance, Write&& write) {
  MeasuredWrite result;
  result.lengthBefore = instance.OutputLength();
  RequireSmlOk(instance.StartEvaluation(), "StartEvaluation");
  result.measured = write();
  RequireSmlOk(instance.EndEvaluation(result.evaluation), "EndEvaluation");
  result.lengthAfterEvaluation = instance.OutputLength();
  result.written = write();
  result.lengthAfter = instance.OutputLength();
  return result;
}

// What the capturing handlers keep of a decoded message: header, Sync, every command in document
// order (inside and outside the Sync), and whether the message was final.
struct SmlCapture {
  std::optional<SmlSyncHdr> header;
  std::optional<SmlSync> sync;
  std::vector<SmlCommand> commands;
  bool final = false;
};

// A handler appending each decoded `T` to the SmlCapture that is the instance's user context.
template <class T>
SmlHandler<T> CaptureCommand() {
  return [](void* context, std::unique_ptr<T> element) {
    static_cast<SmlCapture*>(context)->commands.emplace_back(std::move(*element));
    return SmlRet{SML_OK};
  };
}

// Handlers for the header, the Sync and every command the encoder writes; the user context of
// the instance must be an SmlCapture.
inline SmlHandlers CapturingHandlers() {
  SmlHandlers h;
  h.startMessage = [](void* context, std::unique_ptr<SmlSyncHdr> header) {
    static_cast<SmlCapture*>(context)->header = std::move(*header);
    return SmlRet{SML_OK};
  };
  h.endMessage = [](void* context, bool final) {
    static_cast<SmlCapture*>(context)->final = final;
    return SmlRet{SML_OK};
  };
  h.startSync = [](void* context, std::unique_ptr<SmlSync> sync) {
    static_cast<SmlCapture*>(context)->sync = std::move(*sync);
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

// Add, Replace, Delete and Copy: the commands that travel inside a Sync.
inline bool IsItemCommand(const SmlCommand& command) {
  return std::holds_alternative<SmlAdd>(command) || std::holds_alternative<SmlReplace>(command) ||
         std::holds_alternative<SmlDelete>(command) || std::holds_alternative<SmlCopy>(command);
}

// Builds SyncML structures with every optional part sometimes present, from `Choices`, which
// supplies `bool Coin()`, `std::size_t Below(std::size_t n)` (0 to n - 1) and `std::string Text()`.
// With `canonical`, text content takes the kinds decoding gives back (CDATA for text holding
// & < >, no Opaque, an empty MetInf as empty text), so that a decoded copy compares equal.
// Content types, properties and parameters always have their names: in the flat CTCap form the
// name is what starts a new one.
template <class Choices>
class SmlStructureGenerator {
 public:
  static constexpr int kCommandKinds = 10;

  SmlStructureGenerator(Choices choices, bool canonical) : mChoices(std::move(choices)), mCanonical(canonical) {}

  // Kind 0 Alert, 1 to 4 Add, Replace, Delete, Copy, 5 Get, 6 Put, 7 Map, 8 Results, 9 Status.
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
  SmlCommand AnyCommand() { return Command(static_cast<int>(Below(kCommandKinds))); }

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
    header.cred = MaybeCred();
    header.meta = Meta();
    return header;
  }

  SmlSync Sync() {
    SmlSync sync;
    sync.cmdId = MaybeText();
    sync.noResp = Coin();
    sync.cred = MaybeCred();
    if (Coin()) sync.target = Target(0);
    if (Coin()) sync.source = Source();
    sync.meta = Meta();
    sync.numberOfChanges = MaybeText();
    return sync;
  }

  bool Coin() { return mChoices.Coin(); }

 private:
  std::size_t Below(std::size_t n) { return mChoices.Below(n); }
  std::string Text() { return mChoices.Text(); }
  SmlText MaybeText() { return Coin() ? SmlText(Text()) : std::nullopt; }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts(Below(3));
    for (std::string& text : texts) text = Text();
    return texts;
  }

  SmlPcdata TextContent() {
    const std::size_t kind = Below(3);
    std::string text = Text();
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
    for (SmlContentTypeRef& ref : refs) ref = TypeRef();
    return refs;
  }
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
        for (SmlPropParam& param : property.params) param = SmlPropParam{Text(), Texts(), MaybeText(), MaybeText()};
      }
    }
    return caps;
  }
  SmlDataStore DataStore() {
    SmlDataStore store;
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
    return store;
  }
  SmlDevInf DevInf() {
    SmlDevInf d;
    d.verDtd = MaybeText();
    d.man = MaybeText();
    d.mod = MaybeText();
    d.oem = MaybeText();
    d.fwV = MaybeText();
    d.swV = MaybeText();
    d.hwV = MaybeText();
    d.devId = MaybeText();
    d.devTyp = MaybeText();
    d.utc = Coin();
    d.supportLargeObjs = Coin();
    d.supportNumberOfChanges = Coin();
    for (std::size_t n = Below(3); n > 0; --n) d.dataStores.push_back(DataStore());
    d.ctCaps = CtCaps();
    if (Coin()) d.exts.push_back(SmlExt{MaybeText(), Texts()});
    return d;
  }

  SmlCred Cred() { return SmlCred{Meta(), Data()}; }
  std::optional<SmlCred> MaybeCred() { return Coin() ? std::optional(Cred()) : std::nullopt; }
  SmlSource Source() { return SmlSource{MaybeText(), MaybeText()}; }
  // Filters nest through their Record and Field items; two levels are enough.
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
    SmlAlert alert;
    alert.cmdId = Text();
    alert.noResp = Coin();
    alert.cred = MaybeCred();
    alert.data = Data();
    alert.items = Items(0);
    return alert;
  }
  template <class C>
  C ItemCommand() {
    C command;
    command.cmdId = Text();
    command.noResp = Coin();
    command.archive = Coin();
    command.sftDel = Coin();
    command.cred = MaybeCred();
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
    command.cred = MaybeCred();
    command.meta = Meta();
    command.items = Items(0);
    return command;
  }
  SmlMap Map() {
    SmlMap map;
    map.cmdId = Text();
    map.target = Target(0);
    map.source = Source();
    map.cred = MaybeCred();
    map.meta = Meta();
    for (std::size_t n = 1 + Below(3); n > 0; --n) {
      SmlMapItem mapItem;
      if (Coin()) mapItem.target = Target(0);
      if (Coin()) mapItem.source = Source();
      map.mapItems.push_back(std::move(mapItem));
    }
    return map;
  }
  SmlResults Results() {
    SmlResults results;
    results.cmdId = Text();
    results.msgRef = MaybeText();
    results.cmdRef = MaybeText();
    results.meta = Meta();
    results.targetRefs = Texts();
    results.sourceRefs = Texts();
    results.items = Items(0);
    return results;
  }
  SmlStatus Status() {
    SmlStatus status;
    status.cmdId = Text();
    status.msgRef = MaybeText();
    status.cmdRef = MaybeText();
    status.cmd = Text();
    status.targetRefs = Texts();
    status.sourceRefs = Texts();
    status.cred = MaybeCred();
    if (Coin()) status.chal = SmlChal{Meta()};
    status.data = TextContent();
    status.items = Items(0);
    return status;
  }

  Choices mChoices;
  bool mCanonical;
};
