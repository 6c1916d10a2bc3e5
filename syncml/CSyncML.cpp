// The SyncML session: codec set-up, the outgoing message and its commands with the size check,
// posting, and decoding the reply.
#include "syncml/CSyncML.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include "common/AsciiText.h"
#include "common/Base64.h"
#include "common/CXException.h"
#include "common/RandomIdentity.h"
#include "common/StringIds.h"
#include "common/StringTable.h"
#include "config/CLog.h"
#include "pim/VCardContext.h"
#include "syncml/CSyncML_p.h"
#include "syncml/DeviceInfo.h"
#include "syncml/SyncTransport.h"

namespace {

constexpr const char* kFilterDataPrefix = "SINCE&EQ;";

CSyncML& Session(void* context) { return *static_cast<CSyncML*>(context); }

// A login may hold ":", which separates it from the password in basic credentials.
std::string EscapedLogin(const std::string& login) {
  std::string escaped;
  for (const char c : login) {
    if (c == ':') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

SmlPcdata MetaOfType(const std::string& type) {
  SmlMetInf metInf;
  metInf.type = type;
  return SmlPcdata::Of(std::move(metInf));
}

// The date filter of a calendar Alert: items from `startDate` ("%Y%m%d") on.
SmlFilter CalendarFilter(const std::string& startDate) {
  SmlItem record;
  record.meta = MetaOfType("syncml:filtertype-cgi");
  record.data = SmlPcdata::Plain(kFilterDataPrefix + startDate);
  SmlFilter filter;
  filter.meta = MetaOfType("text/calendar");
  filter.filterType = "INCLUSIVE";
  filter.record.push_back(std::move(record));
  return filter;
}

// The scheme and host of an absolute http or https address, in lower case; empty when it is not
// one. The user information and the port are not part of it.
std::string SchemeAndHost(const std::string& uri) {
  const std::size_t separator = uri.find("://");
  if (separator == std::string::npos) return {};
  const std::string scheme = AsciiLowercase(uri.substr(0, separator));
  if (scheme != "http" && scheme != "https") return {};
  std::string authority = uri.substr(separator + 3, uri.find_first_of("/?#", separator + 3) - separator - 3);
  if (const std::size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  const std::size_t portStart = authority.rfind(':');
  const bool bracketed = !authority.empty() && authority.front() == '[';
  if (portStart != std::string::npos && (!bracketed || portStart > authority.rfind(']'))) authority.erase(portStart);
  return authority.empty() ? std::string() : scheme + "://" + AsciiLowercase(authority);
}


// Whether `uri` addresses the host of `configured`, with its scheme or upgraded to https.
bool IsSameServer(const std::string& uri, const std::string& configured) {
  const std::string target = SchemeAndHost(uri);
  const std::string own = SchemeAndHost(configured);
  if (target.empty() || own.empty()) return false;
  if (target == own) return true;
  return own.starts_with("http://") && target == "https://" + own.substr(7);
}

const char* ItemCommandName(const SmlAdd&) { return "Add"; }
const char* ItemCommandName(const SmlReplace&) { return "Replace"; }
const char* ItemCommandName(const SmlDelete&) { return "Delete"; }

}  // namespace

bool IsErrorFree(int state) {
  return state == SYNC_ERROR_NONE || state == SYNC_ERROR_SLOW_SYNC || state == SYNC_ERROR_SLOW_REQUESTED;
}

unsigned ErrorStateStringId(int state) {
  switch (state) {
    case SYNC_ERROR_DISPLAY_ALERT: return IDS_UNKNOWN_ALERT;
    case SYNC_ERROR_BAD_REQUEST: return IDS_INCORRECT_REQUEST;
    case SYNC_ERROR_VERSION: return IDS_VERSION_NOT_SUPPORTED;
    case SYNC_ERROR_NOT_FOUND: return IDS_DATABASE_NOT_FOUND;
    case SYNC_ERROR_IN_PROGRESS: return IDS_SYNC_IN_PROGRESS_ON_SERVER;
    case SYNC_ERROR_STORE_FULL: return IDS_ADDRESS_BOOK_FULL;
    case SYNC_ERROR_PAYMENT: return IDS_PAYMENT_REQUIRED;
    case SYNC_ERROR_AUTHENTICATION: return IDS_AUTHENTICATION_ERROR;
    case SYNC_ERROR_SERVER_DATABASE: return IDS_SERVER_DATABASE_ERROR;
    case SYNC_ERROR_ADD: return IDS_SERVER_ADD_FAILED;
    case SYNC_ERROR_REPLACE: return IDS_SERVER_UPDATE_FAILED;
    case SYNC_ERROR_DELETE: return IDS_SERVER_DELETE_FAILED;
    case SYNC_ERROR_UNAVAILABLE: return IDS_SERVICE_NOT_AVAILABLE;
    default: return 0;  // no error, slow sync, 403 and unknown states have no message
  }
}

// ---- Construction and destruction

CSyncML::CSyncML(SessionSettings settings, SessionServices services, long lastAnchor)
    : mLastAnchor(lastAnchor),
      mSettings(std::move(settings)),
      mTransport(std::move(services.transport)),
      mSink(services.sink),
      mPrompt(services.prompt),
      mCancelRequested(std::move(services.cancelRequested)),
      mSilent(services.silent),
      mAutoResolveConflicts(services.autoResolveConflicts) {
  OperationLog log("CSyncML::CSyncML");
  mSourceUri = mSettings.clientStoreId.empty() ? std::string(kClientName) : mSettings.clientStoreId;
  if (!mSettings.login.empty()) mCredentials = EscapedLogin(mSettings.login) + ":" + mSettings.password;
  try {
    mVCardContext = std::make_unique<VCardContext>();
    InitializeCodec();
  } catch (const std::bad_alloc&) {
    throw CSyncmlException(IDS_SYNCML_INIT_ERROR);
  }
}

CSyncML::~CSyncML() {
  OperationLog log("CSyncML::~CSyncML");
  if (mCodecState == 2) {
    mCodec->TerminateInstance(mInstance);
    mCodecState = 1;
  }
  mCodec.reset();
  mCodecState = 0;
  mVCardContext.reset();
}

void CSyncML::InitializeCodec() {
  mCodec = std::make_unique<SmlCodec>(mSettings.workspaceSize);
  mCodecState = 1;
  SmlInstanceOptions options{SmlEncoding::Xml, kWorkspaceName, mSettings.workspaceSize};
  if (mCodec->CreateInstance(std::move(options), MakeHandlers(), this, mInstance) != SML_OK) {
    throw CSyncmlException(IDS_SYNCML_INIT_ERROR);
  }
  mCodecState = 2;
}

// Atomic, Sequence and Copy get no handler: the decoder stops at them and the reply fails.
SmlHandlers CSyncML::MakeHandlers() {
  SmlHandlers handlers;
  handlers.startMessage = [](void* c, std::unique_ptr<SmlSyncHdr> e) { return Session(c).myHandleStartMessage(*e); };
  handlers.endMessage = [](void* c, bool final) { return Session(c).myHandleEndMessage(final); };
  handlers.startSync = [](void* c, std::unique_ptr<SmlSync> e) { return Session(c).myHandleStartSync(*e); };
  handlers.endSync = [](void* c) { return Session(c).myHandleEndSync(); };
  handlers.addCmd = [](void* c, std::unique_ptr<SmlAdd> e) { return Session(c).myHandleAddCmd(*e); };
  handlers.alertCmd = [](void* c, std::unique_ptr<SmlAlert> e) { return Session(c).myHandleAlertCmd(*e); };
  handlers.deleteCmd = [](void* c, std::unique_ptr<SmlDelete> e) { return Session(c).myHandleDeleteCmd(*e); };
  handlers.getCmd = [](void* c, std::unique_ptr<SmlGet> e) { return Session(c).myHandleGetCmd(*e); };
  handlers.putCmd = [](void* c, std::unique_ptr<SmlPut> e) { return Session(c).myHandlePutCmd(*e); };
  handlers.mapCmd = [](void* c, std::unique_ptr<SmlMap> e) { return Session(c).myHandleMapCmd(*e); };
  handlers.resultsCmd = [](void* c, std::unique_ptr<SmlResults> e) { return Session(c).myHandleResultsCmd(*e); };
  handlers.statusCmd = [](void* c, std::unique_ptr<SmlStatus> e) { return Session(c).myHandleStatusCmd(*e); };
  handlers.replaceCmd = [](void* c, std::unique_ptr<SmlReplace> e) { return Session(c).myHandleReplaceCmd(*e); };
  return handlers;
}

SmlInstance& CSyncML::Codec() const { return *mCodec->Instance(mInstance); }

// ---- The outgoing message

void CSyncML::StartMessage(bool force) {
  OperationLog log("CSyncML::StartMessage");
  if (!force && mMessageCounter > 1) return;
  // Same alphabet and length as a client store identity, from the same seeded generator.
  if (mSessionId.empty()) mSessionId = RandomIdentity(kSessionIdLength);
  mCommandCounter = 1;
  mFinished = true;
  mMessageFull = false;
  mSyncOpen = false;
  mItemCommands = 0;
  mServerAdditions = mServerReplacements = mServerDeletions = 0;
  if (Codec().StartMessage(MessageHeader()) != SML_OK) throw CSyncmlException(IDS_SYNCML_START_MESSAGE_ERROR);
  ++mMessageCounter;
}

SmlSyncHdr CSyncML::MessageHeader() {
  SmlSyncHdr header;
  header.verDtd = "1.1";
  header.verProto = "SyncML/1.1";
  header.sessionId = mSessionId;
  header.msgId = std::to_string(mMessageCounter);
  header.target.locUri = mSettings.serverUrl;
  header.source = SmlSource{mSourceUri, std::string(kClientName) + mSettings.productVersion};
  SmlMetInf meta;
  meta.maxMsgSize = std::to_string(MessageLimit());
  header.meta = SmlPcdata::Of(std::move(meta));
  if (!mCredentials.empty()) {
    const std::string encoded = EncodeBase64(mCredentials);
    if (encoded.empty()) throw CSyncmlException(IDS_SYNCML_START_MESSAGE_ERROR);
    SmlMetInf credMeta;
    credMeta.format = "b64";
    credMeta.type = "syncml:auth-basic";
    header.cred = SmlCred{SmlPcdata::Of(std::move(credMeta)), SmlPcdata::Plain(encoded)};
  }
  return header;
}

void CSyncML::Alert(const std::string& target, const std::string& source) {
  OperationLog log("CSyncML::Alert");
  // The message being written has MsgID mMessageCounter - 1.
  if (target.empty() && source.empty() && mMessageCounter > 2) return;
  static constexpr const char* kCodes[3][2] = {{"200", "201"}, {"204", "205"}, {"202", "203"}};
  const int mode = mSyncMode == 1 || mSyncMode == 2 ? mSyncMode : 0;
  SmlAlert alert;
  alert.cmdId = std::to_string(mCommandCounter);
  alert.data = SmlPcdata::Plain(kCodes[mode][mErrorState == SYNC_ERROR_SLOW_SYNC ? 1 : 0]);
  alert.items.push_back(AlertItem(target, source));
  if (!CloseSync() || Codec().AddCommand(alert) != SML_OK) throw CSyncmlException(IDS_SYNCML_ALERT_ERROR);
  ++mCommandCounter;
}

SmlItem CSyncML::AlertItem(const std::string& target, const std::string& source) {
  SmlItem item;
  SmlTarget itemTarget{target.empty() ? mTargetDatabase : target, std::nullopt, std::nullopt};
  if (!mFilterStartDate.empty()) itemTarget.filter = CalendarFilter(mFilterStartDate);
  item.target = std::move(itemTarget);
  item.source = SmlSource{source.empty() ? mSourceDatabase : source, std::nullopt};
  SmlMetInf meta;
  const long long last = mLastAnchor;
  meta.anchor = SmlAnchor{std::to_string(last), std::to_string(last + 1)};
  item.meta = SmlPcdata::Of(std::move(meta));
  return item;
}

void CSyncML::StartSync() {
  OperationLog log("CSyncML::StartSync");
  if (mSyncOpen) return;
  if (mTargetDatabase.empty() || mSourceDatabase.empty()) throw CSyncmlException(IDS_SYNCML_START_SYNC_ERROR);
  SmlSync sync;
  sync.cmdId = std::to_string(mCommandCounter);
  sync.target = SmlTarget{mTargetDatabase, std::nullopt, std::nullopt};
  sync.source = SmlSource{mSourceDatabase, std::nullopt};
  if (Codec().StartSync(sync) != SML_OK) throw CSyncmlException(IDS_SYNCML_START_SYNC_ERROR);
  ++mCommandCounter;
  mSyncOpen = true;
}

void CSyncML::Add(const std::string& id, const std::string& data, const std::string& contentType) {
  OperationLog log("CSyncML::Add");
  SmlAdd add;
  FillItemCommand(add, "CSyncML::Add", id, &data, &contentType);
  AddItemCommand(add, "CSyncML::Add", IDS_SYNCML_ADD_ERROR);
}

void CSyncML::Replace(const std::string& id, const std::string& data, const std::string& contentType) {
  OperationLog log("CSyncML::Replace");
  SmlReplace replace;
  FillItemCommand(replace, "CSyncML::Replace", id, &data, &contentType);
  AddItemCommand(replace, "CSyncML::Replace", IDS_SYNCML_UPDATE_ERROR);
}

void CSyncML::Delete(const std::string& id) {
  OperationLog log("CSyncML::Delete");
  SmlDelete del;
  FillItemCommand(del, "CSyncML::Delete", id, nullptr, nullptr);
  AddItemCommand(del, "CSyncML::Delete", IDS_SYNCML_DELETE_ERROR);
}

// Opens the Sync and fills one item; an Add or Replace carries the item's type and text.
void CSyncML::FillItemCommand(SmlItemCommand& command, const char* operation, const std::string& id,
                              const std::string* data, const std::string* contentType) {
  if (data != nullptr) {
    LogDebug(operation, "Item Id");
    LogDebug(operation, id);
  }
  mFinished = false;
  StartSync();
  SmlItem item;
  item.source = SmlSource{id, std::nullopt};
  if (contentType != nullptr) item.meta = MetaOfType(*contentType);
  if (data != nullptr) item.data = SmlPcdata::Plain(*data);
  command.items.push_back(std::move(item));
}

template <class Command>
void CSyncML::AddItemCommand(const Command& command, const char* operation, unsigned errorId) {
  Command numbered = command;
  const std::string cmdId = std::to_string(mCommandCounter);
  numbered.cmdId = cmdId;
  const int itemCommands = mItemCommands;
  if (AddSized(SmlCommand(std::move(numbered)), operation) != SML_OK) throw CSyncmlException(errorId);
  if (mItemCommands == itemCommands) return;  // held back for the next message
  // The message being written has MsgID mMessageCounter - 1.
  const SmlItem& item = command.items.front();
  const std::string localId = item.source && item.source->locUri ? *item.source->locUri : std::string();
  mSentItems[std::to_string(mMessageCounter - 1) + "/" + cmdId] = {localId, ItemCommandName(command), false, mSentItems.size()};
}

// A command that would make the message reach max_msg_size waits for the next message (message
// full), unless it is the first item command of the message: such an item never fits, so it goes
// alone rather than holding the session up for ever. A Replace that a reply handler adds (a
// conflict answer, a contact sent back as stored) is nobody's pending change and would be lost if
// held back, so it goes in whatever the size.
SmlRet CSyncML::AddSized(const SmlCommand& command, const char* operation) {
  const long limit = MessageLimit();
  if (limit > 0 && !mParsing) {
    std::size_t size = 0;
    if (SmlRet ret = MeasureWith(command, size); ret != SML_OK) return ret;
    if (size >= static_cast<unsigned long>(limit)) {
      if (mItemCommands > 0) {
        mMessageFull = true;
        return SML_OK;
      }
      LogDebug(operation, "Item larger than max_msg_size, sent alone in its message");
    }
  }
  const SmlRet ret = Codec().AddCommand(command);
  if (ret == SML_ERR_BUFFER_FULL && mItemCommands > 0 && !mParsing) {
    mMessageFull = true;
    return SML_OK;
  }
  if (ret != SML_OK) return ret;
  ++mItemCommands;
  ++mCommandCounter;
  return SML_OK;
}

// The size the whole message would have, closing tags included, if `command` were its last one.
SmlRet CSyncML::MeasureWith(const SmlCommand& command, std::size_t& size) {
  SmlInstance& codec = Codec();
  if (SmlRet ret = codec.StartEvaluation(); ret != SML_OK) return ret;
  SmlRet ret = codec.AddCommand(command);
  if (ret == SML_OK && codec.IsSyncOpen()) ret = codec.EndSync();
  if (ret == SML_OK) ret = codec.EndMessage(true);
  SmlEvaluation evaluation;
  codec.EndEvaluation(evaluation);
  if (ret == SML_ERR_BUFFER_FULL) {
    size = std::numeric_limits<std::size_t>::max();
    return SML_OK;
  }
  size = evaluation.outputLength;
  return ret;
}

// A Sync holds only item commands: an Alert, Status, Map, Get or Results that comes after one
// closes it, and a later item command opens a new one.
bool CSyncML::CloseSync() {
  if (!mSyncOpen) return true;
  if (Codec().EndSync() != SML_OK) return false;
  mSyncOpen = false;
  return true;
}

bool CSyncML::AddAnswer(const SmlCommand& command) {
  if (!CloseSync() || Codec().AddCommand(command) != SML_OK) return false;
  ++mCommandCounter;
  return true;
}

bool CSyncML::Map(const std::string& localId, const std::string& serverId) {
  static constexpr const char* kOperation = "CSyncML::Map";
  OperationLog log(kOperation);
  mFinished = false;
  if (mTargetDatabase.empty() || mSourceDatabase.empty()) return false;
  SmlMap map;
  map.cmdId = std::to_string(mCommandCounter);
  map.target = SmlTarget{mTargetDatabase, std::nullopt, std::nullopt};
  map.source = SmlSource{mSourceDatabase, std::nullopt};
  map.mapItems.push_back(SmlMapItem{SmlTarget{serverId, std::nullopt, std::nullopt}, SmlSource{localId, std::nullopt}});
  if (!AddAnswer(map)) return false;
  LogDebug(kOperation, "Mapping source");
  LogDebug(kOperation, localId);
  LogDebug(kOperation, "Mapping target");
  LogDebug(kOperation, serverId);
  return true;
}

bool CSyncML::Status(const std::string& cmdRef, const std::string& cmd, int code,
                     const std::optional<std::string>& sourceRef, const std::optional<std::string>& targetRef) {
  OperationLog log("CSyncML::Status");
  mFinished = false;
  SmlStatus status;
  status.cmdId = std::to_string(mCommandCounter);
  status.msgRef = mServerMsgId;
  status.cmdRef = cmdRef;
  status.cmd = cmd;
  if (targetRef) status.targetRefs.push_back(*targetRef);
  if (sourceRef) status.sourceRefs.push_back(*sourceRef);
  status.data = SmlPcdata::Plain(std::to_string(code));
  return AddAnswer(status);
}

void CSyncML::RequestDatabases() {
  OperationLog log("CSyncML::RequestDatabases");
  SmlGet get;
  get.cmdId = std::to_string(mCommandCounter);
  get.meta = MetaOfType(kDevInfType);
  SmlItem item;
  item.target = SmlTarget{kDevInf11Uri, std::nullopt, std::nullopt};
  get.items.push_back(std::move(item));
  if (!AddAnswer(get)) throw CSyncmlException(IDS_SYNCML_REQUEST_ERROR);
  mFinished = false;
  mDatabasesRequested = true;
}

void CSyncML::PutDevInf() {
  OperationLog log("CSyncML::PutDevInf");
  SmlPut put;
  put.cmdId = std::to_string(mCommandCounter);
  put.meta = MetaOfType(kDevInfType);
  SmlItem item;
  item.source = SmlSource{kDevInf11Uri, std::nullopt};
  item.data = SmlPcdata::Of(mSettings.clientDevInf);
  put.items.push_back(std::move(item));
  if (!AddAnswer(put)) throw CSyncmlException(IDS_SYNCML_REQUEST_ERROR);
  mFinished = false;
}

long CSyncML::MessageLimit() const {
  const long own = mSettings.maxMsgSize;
  if (mServerMaxMsgSize <= 0) return own;
  return own > 0 ? std::min(own, mServerMaxMsgSize) : mServerMaxMsgSize;
}

void CSyncML::Finalize() {
  OperationLog log("CSyncML::Finalize");
  SmlInstance& codec = Codec();
  if (!CloseSync()) throw CSyncmlException(IDS_SYNCML_FINALIZE_ERROR);
  if (codec.EndMessage(!mMessageFull) != SML_OK) throw CSyncmlException(IDS_SYNCML_FINALIZE_ERROR);
  if (codec.TakeOutput(mOutgoingMessage) != SML_OK) throw CSyncmlException(IDS_SYNCML_FINALIZE_ERROR);
  mSentFinal = !mMessageFull;
}

// ---- Exchange

void CSyncML::SendRequest() {
  static constexpr const char* kOperation = "CSyncML::SendRequest";
  if (mMessageCounter - 1 > kMaxMessages) {
    LogError(kOperation, "The server did not end the session");
    throw CSyncmlException(IDS_TOO_MANY_MESSAGES, kMaxMessages);
  }
  mReceivedMessage.clear();
  // The credentials of every header go where the messages go: never to another host, and never
  // in clear after https.
  if (!mRespUri.empty() && !IsSameServer(mRespUri, mSettings.postUrl)) {
    LogError(kOperation, "RespURI is not an address of the configured server: " + mRespUri);
    throw CHttpException(IDS_INCORRECT_SERVER_ADDRESS);
  }
  if (!mTransport) throw std::logic_error("CSyncML::SendRequest: the session has no transport");
  mPostedMsgId = std::to_string(mMessageCounter - 1);
  try {
    mReceivedMessage = mTransport->Post(mRespUri.empty() ? mSettings.postUrl : mRespUri, mOutgoingMessage);
  } catch (const CHttpNotSentException&) {
    throw;
  } catch (...) {
    mMayHaveReachedServer = true;
    throw;
  }
  mMayHaveReachedServer = true;
}

void CSyncML::EndShortSession() { PostUntilFinished(3, false, "CSyncML::EndShortSession"); }

void CSyncML::EndWithoutItems() {
  mRefusingItems = true;
  // The client's package is an empty Sync: a server waits for one before it ends the session.
  // Whatever the server sends in return is refused. The answers to the reply that asked for the
  // slow sync go out with it.
  try {
    StartSync();
  } catch (const CXException& error) {
    LogError("CSyncML::EndWithoutItems", error.Message());
  }
  CloseSync();
  // A server may send all its items before it ends the session; each message of them is answered.
  PostUntilFinished(50, true, "CSyncML::EndWithoutItems");
}

void CSyncML::PostUntilFinished(int limit, bool postFirst, const char* operation) {
  for (int sent = 0; sent < limit && (postFirst || !mFinished); ++sent) {
    postFirst = false;
    try {
      Finalize();
      SendRequest();
      Parse();
    } catch (const CXException& error) {
      LogError(operation, error.Message());
      return;
    }
  }
}

void CSyncML::Parse() {
  SmlInstance& codec = Codec();
  if (codec.AppendInput(mReceivedMessage) != SML_OK) throw CSyncmlException(IDS_SYNCML_MEMORY_ERROR);
  struct ParsingScope {
    bool& parsing;
    ~ParsingScope() { parsing = false; }
  } scope{mParsing};
  mParsing = true;
  const SmlRet ret = codec.ProcessData();
  if (ret == SML_OK) return;
  if (ret == SML_CANCEL) throw CSyncmlException(IDS_CANCELED_BY_USER);
  if (ret == SML_ERR_BUFFER_FULL) throw CSyncmlException(IDS_SYNCML_MEMORY_ERROR);
  LogError("CSyncML::Parse error", static_cast<long long>(ret));
  throw CSyncmlException(IDS_SYNCML_PARSE_ERROR);
}

// ---- Error state

void CSyncML::SetErrorState(int state) {
  if (IsErrorFree(mErrorState)) mErrorState = state;
}

std::string CSyncML::GetErrorText() const {
  const unsigned id = ErrorStateStringId(mErrorState);
  return id == 0 ? std::string() : LoadString(id);
}

void CSyncML::ThrowErrorState() const {
  const unsigned id = ErrorStateStringId(mErrorState);
  throw CSyncmlException(id == 0 ? static_cast<unsigned>(IDS_SYNCML_ERROR) : id);
}
