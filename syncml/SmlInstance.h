// One codec instance: a fixed workspace holding the outgoing and the incoming message, the
// encoder that writes into it, and the decoder that calls the registered handlers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "syncml/SmlHandlers.h"
#include "syncml/SmlResult.h"
#include "syncml/SmlTypes.h"

class SmlEncoder;

// Only the XML form is produced and read.
enum class SmlEncoding : std::uint8_t { Xml };

struct SmlInstanceOptions {
  SmlEncoding encoding = SmlEncoding::Xml;
  std::string workspaceName;
  std::size_t workspaceSize = 0;  // bytes; fixed for the instance's life
};

// What EndEvaluation reports about the commands measured since StartEvaluation. While
// ProcessData runs, the part of the incoming message not read yet also occupies the workspace,
// so freeBytes is smaller by that much: compare outputLength (the outgoing message, once the
// previous one was consumed) with a maximum message size.
struct SmlEvaluation {
  std::size_t freeBytes = 0;     // workspace bytes that would still be free after them
  std::size_t outputLength = 0;  // length the output buffer would have with them
};

// The workspace is one block of workspaceSize bytes. The outgoing message grows from its start;
// an incoming message, once unlocked, sits at its end until ProcessData has read it, so handlers
// can write the next message while the reply is decoded. Writing never goes past the incoming
// message or the end of the workspace: what does not fit fails with SML_ERR_BUFFER_FULL and
// leaves the output exactly as it was before the call.
//
// Writing: StartMessage, then AddCommand / StartSync ... EndSync in call order, then EndMessage.
// Between StartEvaluation and EndEvaluation every write is measured exactly as a real write
// (same length, same SML_ERR_BUFFER_FULL) but nothing is kept; EndEvaluation restores the state
// of StartEvaluation, an open Sync or message included.
//
// Not thread-safe: an instance belongs to the thread that uses it. Handlers run on the thread
// that calls ProcessData and may write the next message into this instance while it decodes.
class SmlInstance {
 public:
  // Allocates the workspace (untouched memory costs nothing until used); throws std::bad_alloc
  // when that fails. `userContext` is passed to every handler and is not owned.
  SmlInstance(SmlInstanceOptions options, SmlHandlers handlers, void* userContext);
  ~SmlInstance();
  SmlInstance(const SmlInstance&) = delete;
  SmlInstance& operator=(const SmlInstance&) = delete;

  const std::string& WorkspaceName() const { return mOptions.workspaceName; }
  std::size_t WorkspaceSize() const { return mOptions.workspaceSize; }
  void* UserContext() const { return mUserContext; }

  // Writes the XML declaration, <SyncML> with the namespace of `version`, the header and the
  // <SyncBody> start tag. SML_ERR_WRONG_STATE while a message is open.
  SmlRet StartMessage(const SmlSyncHdr& header, SmlVersion version = SmlVersion::V11);
  // Appends one command; SML_ERR_WRONG_STATE when no message is open. Inside an open Sync the
  // command is written inside it.
  SmlRet AddCommand(const SmlCommand& command);
  SmlRet AddCommand(const SmlAlert& alert);
  SmlRet AddCommand(const SmlAdd& add);
  SmlRet AddCommand(const SmlReplace& replace);
  SmlRet AddCommand(const SmlDelete& del);
  SmlRet AddCommand(const SmlCopy& copy);
  SmlRet AddCommand(const SmlGet& get);
  SmlRet AddCommand(const SmlPut& put);
  SmlRet AddCommand(const SmlMap& map);
  SmlRet AddCommand(const SmlResults& results);
  SmlRet AddCommand(const SmlStatus& status);
  // Opens and closes a Sync; one Sync can be open at a time.
  SmlRet StartSync(const SmlSync& sync);
  SmlRet EndSync();
  // Writes <Final/> when `final`, then closes SyncBody and SyncML. A Sync must be closed first.
  SmlRet EndMessage(bool final);

  SmlRet StartEvaluation();
  SmlRet EndEvaluation(SmlEvaluation& result);
  bool IsEvaluating() const { return mEvaluation != nullptr; }
  bool IsMessageOpen() const { return mMessageOpen; }
  bool IsSyncOpen() const { return mSyncOpen; }

  // The bytes written and not consumed yet. `data` stays valid, and the output unchanged, until
  // UnlockOutput, which removes the first `consumed` bytes. Writing while the output is locked
  // fails with SML_ERR_BUFFER_LOCKED; locking while evaluating is SML_ERR_WRONG_STATE.
  SmlRet LockOutput(const char*& data, std::size_t& length);
  SmlRet UnlockOutput(std::size_t consumed);
  // Bytes written and not consumed (while evaluating: including what is being measured).
  std::size_t OutputLength() const { return mOutputLength; }
  // What the outgoing message may still grow by (the incoming message shares the workspace).
  std::size_t OutputRoom() const { return WriteLimit() > mOutputLength ? WriteLimit() - mOutputLength : 0; }

  // Free space for an incoming message: the caller copies up to `freeSize` bytes to `data` and
  // commits them with UnlockInput; several rounds append. While the input is locked nothing can
  // be written (the free space is lent out). SML_ERR_INVALID_ARGUMENT when `written` exceeds
  // the space given (the input stays locked).
  SmlRet LockInput(char*& data, std::size_t& freeSize);
  SmlRet UnlockInput(std::size_t written);
  std::size_t InputLength() const { return mInputLength; }
  // LockInput, copy and UnlockInput in one step: `bytes` join the incoming message. When they do
  // not fit, nothing is committed and the result is SML_ERR_BUFFER_FULL.
  SmlRet AppendInput(std::string_view bytes);
  // LockOutput, copy and UnlockOutput in one step: `text` receives the whole output, which is
  // consumed. On failure `text` is left as it was.
  SmlRet TakeOutput(std::string& text);

  // Decodes the incoming message, calling the handlers (see SmlDecodeMessage for the result).
  // The whole input is consumed whatever the result, also when a handler throws.
  SmlRet ProcessData();

 private:
  struct Evaluation;
  template <class Command>
  SmlRet WriteCommand(const Command& command);
  template <class Write>
  SmlRet Encode(Write&& write);
  SmlRet CheckWritable(bool needsMessage) const;
  std::size_t WriteLimit() const { return mInputStart; }

  SmlInstanceOptions mOptions;
  SmlHandlers mHandlers;
  void* mUserContext;
  std::unique_ptr<char[]> mWorkspace;
  std::size_t mOutputLength = 0;
  std::size_t mInputStart;  // where the incoming message begins; the workspace size when none
  std::size_t mInputLength = 0;
  std::size_t mLentSize = 0;  // free space handed out by LockInput
  bool mMessageOpen = false;
  bool mSyncOpen = false;
  bool mOutputLocked = false;
  bool mInputLocked = false;
  bool mProcessing = false;
  std::unique_ptr<Evaluation> mEvaluation;  // the state to return to; set while evaluating
};
