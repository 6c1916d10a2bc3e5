// Fuzz target: process data over arbitrary bytes with every handler registered. Each handler
// writes what it was given into the next message of the same instance while the input is still
// being decoded (measured first, then written: both must agree), and the message so produced
// must decode again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "syncml/SmlInstance.h"
#include "tests/syncml/SmlTestSupport.h"

namespace {

constexpr std::size_t kMaxInput = 1 << 20;

// Room for the input and for its echo, which escaping can make a few times larger; an echo that
// does not fit simply stops with a full buffer.
std::size_t WorkspaceFor(std::size_t size) { return 64 * 1024 + 8 * size; }

void Check(bool condition) {
  if (!condition) std::abort();
}

template <class Write>
void WriteMeasured(SmlInstance& instance, Write&& write) {
  Check(MeasureThenWrite(instance, write).Agrees());
}

SmlInstance& Echo(void* context) { return **static_cast<SmlInstance**>(context); }

// Commands are echoed where the decoder accepts them again: item commands anywhere, the others
// only outside a Sync.
template <class T>
SmlHandler<T> EchoCommand(bool allowedInSync) {
  return [allowedInSync](void* context, std::unique_ptr<T> command) {
    SmlInstance& out = Echo(context);
    if (out.IsMessageOpen() && (allowedInSync || !out.IsSyncOpen())) {
      WriteMeasured(out, [&] { return out.AddCommand(*command); });
    }
    return SmlRet{SML_OK};
  };
}

SmlHandlers EchoHandlers() {
  SmlHandlers h;
  h.startMessage = [](void* context, std::unique_ptr<SmlSyncHdr> header) {
    SmlInstance& out = Echo(context);
    if (!out.IsMessageOpen()) WriteMeasured(out, [&] { return out.StartMessage(*header); });
    return SmlRet{SML_OK};
  };
  h.endMessage = [](void* context, bool final) {
    SmlInstance& out = Echo(context);
    if (out.IsSyncOpen()) WriteMeasured(out, [&] { return out.EndSync(); });
    if (out.IsMessageOpen() && !out.IsSyncOpen()) WriteMeasured(out, [&] { return out.EndMessage(final); });
    return SmlRet{SML_OK};
  };
  h.startSync = [](void* context, std::unique_ptr<SmlSync> sync) {
    SmlInstance& out = Echo(context);
    if (out.IsMessageOpen() && !out.IsSyncOpen()) WriteMeasured(out, [&] { return out.StartSync(*sync); });
    return SmlRet{SML_OK};
  };
  h.endSync = [](void* context) {
    SmlInstance& out = Echo(context);
    if (out.IsSyncOpen()) WriteMeasured(out, [&] { return out.EndSync(); });
    return SmlRet{SML_OK};
  };
  h.addCmd = EchoCommand<SmlAdd>(true);
  h.replaceCmd = EchoCommand<SmlReplace>(true);
  h.deleteCmd = EchoCommand<SmlDelete>(true);
  h.copyCmd = EchoCommand<SmlCopy>(true);
  h.alertCmd = EchoCommand<SmlAlert>(false);
  h.getCmd = EchoCommand<SmlGet>(false);
  h.putCmd = EchoCommand<SmlPut>(false);
  h.mapCmd = EchoCommand<SmlMap>(false);
  h.resultsCmd = EchoCommand<SmlResults>(false);
  h.statusCmd = EchoCommand<SmlStatus>(false);
  h.startAtomic = [](void*, std::unique_ptr<SmlAtomic>) { return SmlRet{SML_OK}; };
  h.endAtomic = [](void*) { return SmlRet{SML_OK}; };
  h.startSequence = [](void*, std::unique_ptr<SmlSequence>) { return SmlRet{SML_OK}; };
  h.endSequence = [](void*) { return SmlRet{SML_OK}; };
  return h;
}

// Every handler registered, structures dropped at once.
SmlHandlers DroppingHandlers() {
  SmlHandlers h;
  h.startMessage = [](void*, std::unique_ptr<SmlSyncHdr>) { return SmlRet{SML_OK}; };
  h.endMessage = [](void*, bool) { return SmlRet{SML_OK}; };
  h.startSync = [](void*, std::unique_ptr<SmlSync>) { return SmlRet{SML_OK}; };
  h.endSync = [](void*) { return SmlRet{SML_OK}; };
  h.addCmd = [](void*, std::unique_ptr<SmlAdd>) { return SmlRet{SML_OK}; };
  h.alertCmd = [](void*, std::unique_ptr<SmlAlert>) { return SmlRet{SML_OK}; };
  h.deleteCmd = [](void*, std::unique_ptr<SmlDelete>) { return SmlRet{SML_OK}; };
  h.getCmd = [](void*, std::unique_ptr<SmlGet>) { return SmlRet{SML_OK}; };
  h.putCmd = [](void*, std::unique_ptr<SmlPut>) { return SmlRet{SML_OK}; };
  h.mapCmd = [](void*, std::unique_ptr<SmlMap>) { return SmlRet{SML_OK}; };
  h.resultsCmd = [](void*, std::unique_ptr<SmlResults>) { return SmlRet{SML_OK}; };
  h.statusCmd = [](void*, std::unique_ptr<SmlStatus>) { return SmlRet{SML_OK}; };
  h.replaceCmd = [](void*, std::unique_ptr<SmlReplace>) { return SmlRet{SML_OK}; };
  h.copyCmd = [](void*, std::unique_ptr<SmlCopy>) { return SmlRet{SML_OK}; };
  h.startAtomic = [](void*, std::unique_ptr<SmlAtomic>) { return SmlRet{SML_OK}; };
  h.endAtomic = [](void*) { return SmlRet{SML_OK}; };
  h.startSequence = [](void*, std::unique_ptr<SmlSequence>) { return SmlRet{SML_OK}; };
  h.endSequence = [](void*) { return SmlRet{SML_OK}; };
  return h;
}

SmlRet Process(SmlInstance& instance, std::string_view bytes) {
  Check(instance.AppendInput(bytes) == SML_OK);
  const SmlRet ret = instance.ProcessData();
  Check(instance.InputLength() == 0);
  return ret;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  SmlInstance* self = nullptr;
  SmlInstance instance(SmlInstanceOptions{SmlEncoding::Xml, "fuzz", WorkspaceFor(size)}, EchoHandlers(), &self);
  self = &instance;
  Process(instance, std::string_view(reinterpret_cast<const char*>(data), size));
  if (instance.IsMessageOpen() || instance.OutputLength() == 0) return 0;

  const char* output = nullptr;
  std::size_t length = 0;
  Check(instance.LockOutput(output, length) == SML_OK);
  SmlInstance again(SmlInstanceOptions{SmlEncoding::Xml, "again", length}, DroppingHandlers(), nullptr);
  Check(Process(again, std::string_view(output, length)) == SML_OK);
  Check(instance.UnlockOutput(length) == SML_OK);
  return 0;
}
