// The client side of one SyncML session: builds each outgoing message, posts it, and applies the
// server's reply through the reply handlers (Status, Map and answers go into the next message).
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pim/CDataItem.h"
#include "syncml/PendingConflicts.h"
#include "syncml/SessionSettings.h"
#include "syncml/SmlCodec.h"
#include "syncml/SmlTypes.h"

class ItemSink;
class Prompt;
enum class ConflictAnswer;
class SyncTransport;
class VCardContext;

// Error states of a session, set by the reply handlers. 0, 2 and 3 count as free of error; once
// another state is set it stays (the first error of a session wins).
enum SyncErrorState : int {
  SYNC_ERROR_NONE = 0,
  SYNC_ERROR_DISPLAY_ALERT = 1,      // the server sent a display alert (100)
  SYNC_ERROR_SLOW_SYNC = 2,          // a slow sync is in progress (set by the driver)
  SYNC_ERROR_SLOW_REQUESTED = 3,     // the server asked for a slow sync
  SYNC_ERROR_BAD_REQUEST = 4,        // 400
  SYNC_ERROR_VERSION = 5,            // 513: this client version is not supported
  SYNC_ERROR_NOT_FOUND = 6,          // 404
  SYNC_ERROR_IN_PROGRESS = 7,        // 417
  SYNC_ERROR_STORE_FULL = 8,         // 420
  SYNC_ERROR_PAYMENT = 9,            // 402 on the header
  SYNC_ERROR_AUTHENTICATION = 10,    // any other header status but 200 and 212
  SYNC_ERROR_SERVER_DATABASE = 11,   // 510
  SYNC_ERROR_ADD = 12,               // the server refused an Add
  SYNC_ERROR_REPLACE = 13,           // the server refused a Replace
  SYNC_ERROR_DELETE = 14,            // the server refused a Delete
  SYNC_ERROR_UNAVAILABLE = 15,       // 503
  SYNC_ERROR_FORBIDDEN = 16,         // 403 (no message of its own)
  SYNC_ERROR_FILTER_REFUSED = 17,    // 406 on an Alert that carried the date filter
};

// One item that did not synchronize: a client command the server refused, or a server command
// the client refused (answered with a 4xx or 5xx status).
struct ItemFailure {
  bool refusedByServer = false;
  // The local identifier (refused by the server, and server Replace and Delete), or the server's
  // identifier (a server Add the client refused).
  std::string id;
  std::string command;  // "Add", "Replace" or "Delete"
  int code = 0;

  friend bool operator==(const ItemFailure&, const ItemFailure&) = default;
};

// Whether `state` counts as free of error (0, 2 or 3).
bool IsErrorFree(int state);
// String id of the message of `state`; 0 for the states without one.
unsigned ErrorStateStringId(int state);

// One session per sync link, or a short one without a store for the server check and the
// database request. Calling order per message: StartMessage, commands, Finalize, SendRequest,
// Parse; Parse runs the reply handlers, which start the next message and put their answers into it.
// The session reads no configuration and makes no connection of its own: its settings are a
// value, its transport, item sink and prompt are given (SessionServices), so that a reply can be
// fed with SetReceivedMessage and Parse without any I/O.
//
// Ownership: the session owns its codec instance, its vCard library context and its transport.
// The item sink and the prompt are not owned and must outlive the session. A session belongs to
// the thread that created it.
class CSyncML {
 public:
  // The workspace of the program's sessions (SessionSettings::workspaceSize).
  static constexpr std::size_t kWorkspaceSize = 16777216;
  static constexpr const char* kWorkspaceName = "VudirerAvazWorkSpace";
  // Source LocURI when the configuration has no client store identity; also the LocName prefix.
  static constexpr const char* kClientName = "VudirerAvaz";
  static constexpr std::size_t kSessionIdLength = 64;
  // A session posts at most this many messages; a server that never lets it end fails the link.
  static constexpr long kMaxMessages = 10000;

  // Throws CSyncmlException 292 when the codec or the vCard library context cannot be set up.
  CSyncML(SessionSettings settings, SessionServices services, long lastAnchor);
  ~CSyncML();
  CSyncML(const CSyncML&) = delete;
  CSyncML& operator=(const CSyncML&) = delete;

  // The server database ("./contacts") and the local one (the link's local path).
  void SetTargetDatabase(std::string uri) { mTargetDatabase = std::move(uri); }
  void SetSourceDatabase(std::string uri) { mSourceDatabase = std::move(uri); }
  const std::string& TargetDatabase() const { return mTargetDatabase; }
  const std::string& SourceDatabase() const { return mSourceDatabase; }
  // 0 two-way, 1 download from the server, 2 upload to the server.
  void SetSyncMode(int mode) { mSyncMode = mode; }
  int SyncMode() const { return mSyncMode; }
  // The first day ("%Y%m%d") of the calendar items the Alert asks for; empty: no date filter.
  void SetFilterStartDate(std::string startDate) { mFilterStartDate = std::move(startDate); }
  // How the items sent in this session are written (the calendar version the server takes).
  void SetItemTextOptions(const ItemTextOptions& options) { mTextOptions = options; }
  const ItemTextOptions& TextOptions() const { return mTextOptions; }

  // Begins a new message; without `force` only the first call of the session does anything.
  // Throws CSyncmlException 293.
  void StartMessage(bool force);
  // The sync Alert. With both texts empty it is added only to the first message of the session.
  // Throws CSyncmlException 294.
  void Alert(const std::string& target, const std::string& source);
  // Opens the Sync command unless one is open. Throws CSyncmlException 295 (also when a database
  // is not set). A Sync holds item commands only: the other commands close it, and the next item
  // command opens another.
  void StartSync();
  // One item each, through the size check: a command that would make the message reach
  // max_msg_size is not added and the message is marked full, except that the first item command
  // of a message is always added (an item larger than the limit goes alone). Throw
  // CSyncmlException 296, 297 and 298.
  void Add(const std::string& id, const std::string& data, const std::string& contentType);
  void Replace(const std::string& id, const std::string& data, const std::string& contentType);
  void Delete(const std::string& id);
  // One Map command for one item; true when added.
  bool Map(const std::string& localId, const std::string& serverId);
  // A Status answering a command of the server message being answered; true when added.
  bool Status(const std::string& cmdRef, const std::string& cmd, int code,
              const std::optional<std::string>& sourceRef = std::nullopt,
              const std::optional<std::string>& targetRef = std::nullopt);
  // The Get of the server's device information. Throws CSyncmlException 299.
  void RequestDatabases();
  // The Put of the client's device information ("./devinf11"), for the first message of a sync
  // session: a server that never asks must still learn that the client reads UTC times. Throws
  // CSyncmlException 299.
  void PutDevInf();
  // The largest message the session writes: the smaller of `max_msg_size` and the MaxMsgSize
  // the server announced in its last header (either may be absent).
  long MessageLimit() const;
  // Closes the message and takes its XML text. Throws CSyncmlException 300.
  void Finalize();

  // Posts the finalized message to the settings' post address, or to the RespURI of the last
  // reply that carried one, and keeps the reply. Throws CHttpException (see SyncTransport; 236 for
  // a RespURI that is not http or https), CSyncmlException when the session already posted
  // kMaxMessages messages, and std::logic_error when the session was made without a transport.
  void SendRequest();
  // For the sessions without a store (the server check, the database request), once their result
  // is known: answers what the server's last reply asked for (its Get of the client's device
  // information among them), so that the server ends the session at once instead of holding it
  // (and other devices) until its time-out. At most a few messages; a failure is logged only.
  void EndShortSession();
  // For a sync session that must move no item (the user has not decided on the slow sync the
  // server asked for): from now on every item command of the server is refused (405) and nothing
  // reaches the sink; an empty Sync with the answers the server's last reply asked for is posted,
  // and so on until the server's final message (at most 50 messages), so that the server ends
  // the session at once.
  // A failure is logged only.
  void EndWithoutItems();
  // Decodes the received reply and runs the handlers. Throws CSyncmlException 301 (the reply does
  // not fit the workspace), 305 (cancel requested) or 302 (any decoding failure; the commands
  // before the failure stay applied).
  void Parse();

  // Error state: the setter stores the value only while the state is free of error.
  int GetErrorState() const { return mErrorState; }
  void SetErrorState(int state);
  // The message of the current state; empty for states without one.
  std::string GetErrorText() const;
  // Throws CSyncmlException with the state's message, or string 129 when it has none.
  [[noreturn]] void ThrowErrorState() const;

  // Every item of the session that did not synchronize, in the order the failures were learnt.
  // An item the server refuses does not fail the session: the driver keeps it as a pending change.
  const std::vector<ItemFailure>& ItemFailures() const { return mItemFailures; }
  // Once the session has ended: every item command the server never answered with a Status (and
  // that was not sent again and answered later) becomes a failure refused by the server, code 0,
  // so that the item is sent again next time rather than counted as done. Later calls add nothing.
  void FailUnansweredItems();

  int ServerAdditions() const { return mServerAdditions; }
  int ServerReplacements() const { return mServerReplacements; }
  int ServerDeletions() const { return mServerDeletions; }
  // The server's device information, once a Results answered the Get of RequestDatabases with
  // it; the caller applies it to the links (LinksFromDevInf).
  const std::optional<SmlDevInf>& ServerDevInf() const { return mServerDevInf; }
  // True when the last message carried no command that needs an answer from the server and the
  // last reply was the server's final message (one without Final means more are to come).
  bool IsFinished() const { return mFinished; }
  void SetFinished(bool finished) { mFinished = finished; }
  // A command did not fit into the current message.
  bool IsMessageFull() const { return mMessageFull; }
  // False only while every post of the session failed before any byte of it left: then the
  // server cannot hold anything of this session.
  bool MayHaveReachedServer() const { return mMayHaveReachedServer; }

  const std::string& SessionId() const { return mSessionId; }
  // MsgID of the next message.
  long MessageCounter() const { return mMessageCounter; }
  const std::string& OutgoingMessage() const { return mOutgoingMessage; }
  const std::string& ReceivedMessage() const { return mReceivedMessage; }
  // Sets the reply Parse reads (what SendRequest does with the transport's reply).
  void SetReceivedMessage(std::string message) { mReceivedMessage = std::move(message); }
  // Where the next message is posted; empty until a reply carried a RespURI.
  const std::string& RespUri() const { return mRespUri; }

 private:
  SmlInstance& Codec() const;
  void InitializeCodec();
  SmlHandlers MakeHandlers();
  SmlSyncHdr MessageHeader();
  std::string Credentials() const;
  SmlItem AlertItem(const std::string& target, const std::string& source);
  template <class Command>
  void AddItemCommand(const Command& command, const char* operation, unsigned errorId);
  SmlRet AddSized(const SmlCommand& command, const char* operation);
  SmlRet MeasureWith(const SmlCommand& command, std::size_t& size);
  void FillItemCommand(SmlItemCommand& command, const char* operation, const std::string& id,
                       const std::string* data, const std::string* contentType);
  bool CloseSync();
  // Posts the current message and the answers to each reply until the server's final message, at
  // most `limit` messages; without `postFirst` nothing is posted while the session is finished.
  // A failure is logged under `operation` and ends the posting.
  void PostUntilFinished(int limit, bool postFirst, const char* operation);
  // Adds a command that is not an item command (outside any Sync); false when the codec fails.
  bool AddAnswer(const SmlCommand& command);

  // Reply handlers (CSyncMLHandlers.cpp). Each returns SML_OK, or SML_CANCEL once the user asked
  // to cancel.
  SmlRet myHandleStartMessage(const SmlSyncHdr& header);
  SmlRet myHandleEndMessage(bool final);
  SmlRet myHandleStartSync(const SmlSync& sync);
  SmlRet myHandleEndSync();
  SmlRet myHandleAddCmd(const SmlAdd& add);
  SmlRet myHandleReplaceCmd(const SmlReplace& replace);
  SmlRet myHandleDeleteCmd(const SmlDelete& del);
  SmlRet myHandlePutCmd(const SmlPut& put);
  SmlRet myHandleGetCmd(const SmlGet& get);
  SmlRet myHandleAlertCmd(const SmlAlert& alert);
  SmlRet myHandleMapCmd(const SmlMap& map);
  SmlRet myHandleStatusCmd(const SmlStatus& status);
  SmlRet myHandleResultsCmd(const SmlResults& results);
  SmlRet HandlerResult() const;
  // An upload-only session applies nothing of the server's: its item commands are answered 405.
  bool RefusesServerChanges(const SmlItemCommand& command, const char* name);
  bool HasRoomForAnswers(const SmlItem& item) const;
  // Alert 222: asks the server for the next message of the package it is sending.
  void RequestNextMessage();

  // Apply one server item; the item's status code (201 or 200 when stored, else 500).
  int AddServerItem(const SmlItemCommand& add, const SmlItem& item, std::string& localId);
  int ReplaceServerItem(const SmlItemCommand& replace, const SmlItem& item);
  // Writes a server item's text over the local item `localId` (which a re-created item changes);
  // `received` (the text as it came) is kept as the last text exchanged for it.
  int WriteServerItem(const std::string& text, const std::string& received, const std::string& contentType, std::string& localId);
  void SendStoredItemBack(const std::string& localId);
  void DecideStatusByCommand(const std::string& cmd, const std::string& code);
  static bool IsItemCommand(const std::string& cmd);
  // Codes that speak for the whole session whatever command they answer.
  static bool IsAboutTheSession(const std::string& code);
  void HandleItemStatus(const SmlStatus& status, const std::string& code);
  void NoteRefusedByServer(const SmlStatus& status, int code);
  void NoteRefusedByClient(const std::string& id, const std::string& command, int code);
  // Conflicts (CSyncMLConflicts.cpp): a 409 is noted; the server's version of the item, when it
  // comes, is compared with the local one and the answer carried out on both sides; without it,
  // the answer goes to the server as the requests of the original protocol.
  void NoteConflict(const SmlStatus& status);
  ConflictAnswer AskConflict(const PendingConflicts::Conflict& conflict, const CDataItem* serverVersion);
  // The server's Replace of an item in conflict: its status (200 or 209 when written, 208 when
  // the local version stays, 500 when nothing could be done).
  int SettleConflict(const PendingConflicts::Conflict& conflict, const std::string& text,
                     const std::function<int()>& writeServerVersion);
  void SettleWithoutServerVersion(const PendingConflicts::Conflict& conflict);
  void KeepServerName(const SmlDevInf& devInf);
  // The server as it names itself, else the host of its address.
  std::string ServerName() const;
  void AnswerDevInfRequest(const SmlGet& get);

  std::unique_ptr<SmlCodec> mCodec;
  SmlHandle mInstance = 0;
  std::string mCredentials;
  std::string mSourceUri;
  std::string mTargetDatabase;
  std::string mSourceDatabase;
  std::string mSessionId;
  std::string mReceivedMessage;
  std::string mOutgoingMessage;
  long mMessageCounter = 1;
  long mCommandCounter = 1;
  int mServerAdditions = 0;
  int mServerReplacements = 0;
  int mServerDeletions = 0;
  int mSyncMode = 0;
  long mLastAnchor = 0;
  int mCodecState = 0;
  int mErrorState = SYNC_ERROR_NONE;
  bool mMessageFull = false;
  bool mFinished = true;
  bool mSyncOpen = false;
  std::unique_ptr<VCardContext> mVCardContext;
  SessionSettings mSettings;
  std::unique_ptr<SyncTransport> mTransport;
  ItemSink* mSink;
  Prompt* mPrompt;
  std::function<bool()> mCancelRequested;
  bool mSilent;
  bool mAutoResolveConflicts;
  // Set by EndWithoutItems: the server's item commands are refused.
  bool mRefusingItems = false;
  std::string mFilterStartDate;
  ItemTextOptions mTextOptions;
  // MaxMsgSize of the server's last header; 0 when it gave none.
  long mServerMaxMsgSize = 0;
  std::optional<SmlDevInf> mServerDevInf;
  // The model (else the maker) the server's device information names.
  std::string mServerName;
  PendingConflicts mConflicts;
  // What a settled conflict sends once the Status of the server's Replace is written (a server reads
  // that status first): the local version again, or its copy as a new item.
  struct ItemToSend {
    bool add = false;
    std::string id;
    std::string text;
    std::string contentType;
  };
  std::vector<ItemToSend> mSendAfterStatus;
  // Every item command sent, by "MsgID/CmdID": its local identifier and command (a server Status
  // without references still names its item), whether a Status answered it, and its place in the
  // order of sending.
  struct SentItem {
    std::string localId;
    std::string command;
    bool answered = false;
    std::size_t sequence = 0;
  };
  std::map<std::string, SentItem> mSentItems;
  // MsgID of the last message posted: what a Status without MsgRef refers to.
  std::string mPostedMsgId;
  void NoteAnswered(const SmlStatus& status);
  std::vector<ItemFailure> mItemFailures;
  // Item commands (Add, Replace, Delete) in the current message.
  int mItemCommands = 0;
  // MsgID of the server message being answered (MsgRef of the Statuses and Results).
  std::string mServerMsgId = "1";
  std::string mRespUri;
  // Set by RequestDatabases: only a session that asked may rebuild the links from Results.
  bool mDatabasesRequested = false;
  // The last finalized message carried Final: the client's own package is complete.
  bool mSentFinal = true;
  // Parse is running: the commands the reply handlers add are answers that cannot wait.
  bool mParsing = false;
  bool mMayHaveReachedServer = false;
};
