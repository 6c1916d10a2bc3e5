// One codec instance: workspace bookkeeping, writing, buffer locking and processing.
#include "syncml/SmlInstance.h"

#include <cstring>
#include <new>
#include <utility>

#include "syncml/SmlDecoder.h"
#include "syncml/SmlEncoder.h"
#include "syncml/SmlXmlWriter.h"

struct SmlInstance::Evaluation {
  std::size_t outputLength;
  bool messageOpen;
  bool syncOpen;
};

SmlInstance::SmlInstance(SmlInstanceOptions options, SmlHandlers handlers, void* userContext)
    : mOptions(std::move(options)),
      mHandlers(std::move(handlers)),
      mUserContext(userContext),
      mWorkspace(std::make_unique_for_overwrite<char[]>(mOptions.workspaceSize)),
      mInputStart(mOptions.workspaceSize) {}

SmlInstance::~SmlInstance() = default;

SmlRet SmlInstance::CheckWritable(bool needsMessage) const {
  if (mOutputLocked) return SML_ERR_BUFFER_LOCKED;
  if (mInputLocked) return SML_ERR_BUFFER_LOCKED;
  if (needsMessage != mMessageOpen) return SML_ERR_WRONG_STATE;
  return SML_OK;
}

// Runs `write` on an encoder over the free workspace; the output grows only when all of it fit.
template <class Write>
SmlRet SmlInstance::Encode(Write&& write) {
  SmlXmlWriter writer(mWorkspace.get(), mOutputLength, WriteLimit(), IsEvaluating());
  SmlEncoder encoder(writer);
  write(encoder);
  if (writer.Overflowed()) return SML_ERR_BUFFER_FULL;
  mOutputLength = writer.Length();
  return SML_OK;
}

template <class Command>
SmlRet SmlInstance::WriteCommand(const Command& command) {
  if (SmlRet ret = CheckWritable(true); ret != SML_OK) return ret;
  return Encode([&](SmlEncoder& encoder) { encoder.Command(command); });
}

SmlRet SmlInstance::StartMessage(const SmlSyncHdr& header, SmlVersion version) {
  if (SmlRet ret = CheckWritable(false); ret != SML_OK) return ret;
  const SmlRet ret = Encode([&](SmlEncoder& encoder) { encoder.MessageStart(header, version); });
  if (ret == SML_OK) mMessageOpen = true;
  return ret;
}

SmlRet SmlInstance::AddCommand(const SmlCommand& command) { return WriteCommand(command); }
SmlRet SmlInstance::AddCommand(const SmlAlert& alert) { return WriteCommand(alert); }
SmlRet SmlInstance::AddCommand(const SmlAdd& add) { return WriteCommand(add); }
SmlRet SmlInstance::AddCommand(const SmlReplace& replace) { return WriteCommand(replace); }
SmlRet SmlInstance::AddCommand(const SmlDelete& del) { return WriteCommand(del); }
SmlRet SmlInstance::AddCommand(const SmlCopy& copy) { return WriteCommand(copy); }
SmlRet SmlInstance::AddCommand(const SmlGet& get) { return WriteCommand(get); }
SmlRet SmlInstance::AddCommand(const SmlPut& put) { return WriteCommand(put); }
SmlRet SmlInstance::AddCommand(const SmlMap& map) { return WriteCommand(map); }
SmlRet SmlInstance::AddCommand(const SmlResults& results) { return WriteCommand(results); }
SmlRet SmlInstance::AddCommand(const SmlStatus& status) { return WriteCommand(status); }

SmlRet SmlInstance::StartSync(const SmlSync& sync) {
  if (SmlRet ret = CheckWritable(true); ret != SML_OK) return ret;
  if (mSyncOpen) return SML_ERR_WRONG_STATE;
  const SmlRet ret = Encode([&](SmlEncoder& encoder) { encoder.SyncStart(sync); });
  if (ret == SML_OK) mSyncOpen = true;
  return ret;
}

SmlRet SmlInstance::EndSync() {
  if (SmlRet ret = CheckWritable(true); ret != SML_OK) return ret;
  if (!mSyncOpen) return SML_ERR_WRONG_STATE;
  const SmlRet ret = Encode([](SmlEncoder& encoder) { encoder.SyncEnd(); });
  if (ret == SML_OK) mSyncOpen = false;
  return ret;
}

SmlRet SmlInstance::EndMessage(bool final) {
  if (SmlRet ret = CheckWritable(true); ret != SML_OK) return ret;
  if (mSyncOpen) return SML_ERR_WRONG_STATE;
  const SmlRet ret = Encode([&](SmlEncoder& encoder) { encoder.MessageEnd(final); });
  if (ret == SML_OK) mMessageOpen = false;
  return ret;
}

SmlRet SmlInstance::StartEvaluation() {
  if (IsEvaluating()) return SML_ERR_WRONG_STATE;
  mEvaluation = std::make_unique<Evaluation>(Evaluation{mOutputLength, mMessageOpen, mSyncOpen});
  return SML_OK;
}

SmlRet SmlInstance::EndEvaluation(SmlEvaluation& result) {
  if (!IsEvaluating()) return SML_ERR_WRONG_STATE;
  result.outputLength = mOutputLength;
  result.freeBytes = WriteLimit() - mOutputLength;
  mOutputLength = mEvaluation->outputLength;
  mMessageOpen = mEvaluation->messageOpen;
  mSyncOpen = mEvaluation->syncOpen;
  mEvaluation.reset();
  return SML_OK;
}

SmlRet SmlInstance::LockOutput(const char*& data, std::size_t& length) {
  if (IsEvaluating()) return SML_ERR_WRONG_STATE;
  if (mOutputLocked) return SML_ERR_BUFFER_LOCKED;
  mOutputLocked = true;
  data = mWorkspace.get();
  length = mOutputLength;
  return SML_OK;
}

SmlRet SmlInstance::UnlockOutput(std::size_t consumed) {
  if (!mOutputLocked) return SML_ERR_WRONG_STATE;
  if (consumed > mOutputLength) return SML_ERR_INVALID_ARGUMENT;
  std::memmove(mWorkspace.get(), mWorkspace.get() + consumed, mOutputLength - consumed);
  mOutputLength -= consumed;
  mOutputLocked = false;
  return SML_OK;
}

SmlRet SmlInstance::LockInput(char*& data, std::size_t& freeSize) {
  if (mProcessing || IsEvaluating()) return SML_ERR_WRONG_STATE;
  if (mInputLocked) return SML_ERR_BUFFER_LOCKED;
  // Gather what is there right after the output, so that new bytes follow it directly.
  char* workspace = mWorkspace.get();
  std::memmove(workspace + mOutputLength, workspace + mInputStart, mInputLength);
  mInputStart = mOutputLength;
  mLentSize = mOptions.workspaceSize - mOutputLength - mInputLength;
  mInputLocked = true;
  data = workspace + mInputStart + mInputLength;
  freeSize = mLentSize;
  return SML_OK;
}

SmlRet SmlInstance::UnlockInput(std::size_t written) {
  if (!mInputLocked) return SML_ERR_WRONG_STATE;
  if (written > mLentSize) return SML_ERR_INVALID_ARGUMENT;
  mInputLength += written;
  // Park the input at the end of the workspace, leaving all free space to the output.
  const std::size_t top = mOptions.workspaceSize - mInputLength;
  std::memmove(mWorkspace.get() + top, mWorkspace.get() + mInputStart, mInputLength);
  mInputStart = top;
  mLentSize = 0;
  mInputLocked = false;
  return SML_OK;
}

SmlRet SmlInstance::AppendInput(std::string_view bytes) {
  char* data = nullptr;
  std::size_t freeSize = 0;
  if (const SmlRet ret = LockInput(data, freeSize); ret != SML_OK) return ret;
  if (bytes.size() > freeSize) {
    UnlockInput(0);
    return SML_ERR_BUFFER_FULL;
  }
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return UnlockInput(bytes.size());
}

SmlRet SmlInstance::TakeOutput(std::string& text) {
  const char* data = nullptr;
  std::size_t length = 0;
  if (const SmlRet ret = LockOutput(data, length); ret != SML_OK) return ret;
  std::string taken(data, length);
  if (const SmlRet ret = UnlockOutput(length); ret != SML_OK) return ret;
  text = std::move(taken);
  return SML_OK;
}

SmlRet SmlInstance::ProcessData() {
  if (mInputLocked) return SML_ERR_BUFFER_LOCKED;
  if (mProcessing || IsEvaluating()) return SML_ERR_WRONG_STATE;
  struct ConsumeInput {
    SmlInstance& instance;
    ~ConsumeInput() {
      instance.mInputStart = instance.mOptions.workspaceSize;
      instance.mInputLength = 0;
      instance.mProcessing = false;
    }
  } consume{*this};
  mProcessing = true;
  const std::string_view message(mWorkspace.get() + mInputStart, mInputLength);
  try {
    return SmlDecodeMessage(message, mHandlers, mUserContext);
  } catch (const std::bad_alloc&) {
    return SML_ERR_OUT_OF_MEMORY;
  }
}
