// The handlers an instance calls while it decodes a message, one per element kind.
#pragma once

#include <functional>
#include <memory>

#include "syncml/SmlResult.h"
#include "syncml/SmlTypes.h"

// A handler receives the user context given at instance creation and the decoded structure,
// which it owns from then on: it may keep it or let it go (that frees it). It returns SML_OK to
// go on, or any other code to stop processing; ProcessData then returns that code unchanged.
template <class T>
using SmlHandler = std::function<SmlRet(void* userContext, std::unique_ptr<T> element)>;
using SmlEndHandler = std::function<SmlRet(void* userContext)>;

// Handlers are called in document order: startMessage once the SyncHdr is decoded; each command
// once it is decoded completely; startSync when the Sync's own children are read, before its
// first contained command, and endSync at its end tag (the same for Atomic and Sequence);
// endMessage at the end of the SyncBody with whether it held <Final/>. An element whose handler
// is left empty stops processing with SML_ERR_NOT_HANDLED, as do Exec and Search, which have no
// handler at all.
struct SmlHandlers {
  SmlHandler<SmlSyncHdr> startMessage;
  std::function<SmlRet(void* userContext, bool final)> endMessage;
  SmlHandler<SmlSync> startSync;
  SmlEndHandler endSync;
  SmlHandler<SmlAdd> addCmd;
  SmlHandler<SmlAlert> alertCmd;
  SmlHandler<SmlDelete> deleteCmd;
  SmlHandler<SmlGet> getCmd;
  SmlHandler<SmlPut> putCmd;
  SmlHandler<SmlMap> mapCmd;
  SmlHandler<SmlResults> resultsCmd;
  SmlHandler<SmlStatus> statusCmd;
  SmlHandler<SmlReplace> replaceCmd;
  SmlHandler<SmlCopy> copyCmd;
  SmlHandler<SmlAtomic> startAtomic;
  SmlEndHandler endAtomic;
  SmlHandler<SmlSequence> startSequence;
  SmlEndHandler endSequence;
};
