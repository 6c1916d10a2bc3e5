// The reply handlers of the SyncML session: the server's items applied to the store, its
// statuses turned into the session's error state, conflicts resolved, and the answers (Status,
// Map, Results) put into the next message.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

#include "common/CXException.h"
#include "common/Format.h"
#include "common/Prompt.h"
#include "common/StringTable.h"
#include "config/CLog.h"
#include "pim/CDataItem.h"
#include "pim/VCardParser.h"
#include "syncml/CSyncML.h"
#include "syncml/CSyncML_p.h"
#include "syncml/DeviceInfo.h"
#include "syncml/ItemSink.h"

namespace {

constexpr const char* kAddOperation = "myHandleAddCmd";
constexpr const char* kReplaceOperation = "myHandleReplaceCmd";
constexpr const char* kDeleteOperation = "myHandleDeleteCmd";
constexpr const char* kStatusOperation = "myHandleStatusCmd";

constexpr int kStatusFailed = 500;

// Item text as the stores take it: CR LF line ends become LF.
std::string WithLfLineEnds(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// An item's Meta, or the command's when the item has none: SyncML applies a command's Meta to
// every item that does not give its own.
const SmlPcdata& ItemMeta(const SmlItemCommand& command, const SmlItem& item) {
  return item.meta.IsPresent() ? item.meta : command.meta;
}

const std::string* TargetUri(const SmlItem& item) {
  return item.target && item.target->locUri ? &*item.target->locUri : nullptr;
}

void LogAutomationError(const char* operation, const CAutomationException& error) {
  LogError(operation, FormatText(LoadString(IDS_OUTLOOK_REFUSES), {error.Description()}));
}

}  // namespace

// An item is written into the store only when its Status and Map still fit into the next
// message: a written item whose answers are lost would come again as a second copy.
bool CSyncML::HasRoomForAnswers(const SmlItem& item) const {
  constexpr std::size_t kAnswersOfOneItem = 1024;
  const auto length = [](const auto& part) { return part && part->locUri ? part->locUri->size() : 0; };
  const std::size_t needed = kAnswersOfOneItem + 2 * (length(item.source) + length(item.target) + mTargetDatabase.size() +
                                                     mSourceDatabase.size());
  if (Codec().OutputRoom() >= needed) return true;
  LogError("CSyncML::Parse", "No room left for the answers of the server's items");
  return false;
}

SmlRet CSyncML::HandlerResult() const {
  return mCancelRequested && mCancelRequested() ? SML_CANCEL : SML_OK;
}

// ---- Message frame

SmlRet CSyncML::myHandleStartMessage(const SmlSyncHdr& header) {
  OperationLog log("myHandleStartMessage");
  mServerMsgId = header.msgId;
  // The server binds the session to this address; later messages go there.
  if (header.respUri && !header.respUri->empty()) mRespUri = *header.respUri;
  // A server's limit caps the client's messages too.
  if (const SmlMetInf* meta = header.meta.MetInf(); meta != nullptr && meta->maxMsgSize) {
    mServerMaxMsgSize = PositiveNumber(meta->maxMsgSize);
  }
  try {
    StartMessage(true);
  } catch (const CSyncmlException&) {
    LogError("myHandleStartMessage", "SyncML StartMessage error");
  }
  Status("0", "SyncHdr", 212);
  mFinished = true;  // the header's Status needs no answer
  return HandlerResult();
}

// A message without Final is one of several: the session goes on until the server's last one.
// When the client has sent all of its own and has nothing to answer, it asks for the next one.
// A conflict still waiting when the server has sent all it will send (its final message, and the
// client owes it no answer) is settled without the server's version.
SmlRet CSyncML::myHandleEndMessage(bool final) {
  OperationLog log("myHandleEndMessage");
  if (!final) {
    if (mFinished && mSentFinal) RequestNextMessage();
    mFinished = false;
  } else if (mFinished && mSentFinal) {
    for (const PendingConflicts::Conflict& conflict : mConflicts.TakeAll()) SettleWithoutServerVersion(conflict);
  }
  return HandlerResult();
}

void CSyncML::RequestNextMessage() {
  LogDebug("myHandleEndMessage", "More messages follow: asking for the next one");
  SmlAlert alert;
  alert.cmdId = std::to_string(mCommandCounter);
  alert.data = SmlPcdata::Plain("222");
  SmlItem item;
  if (!mTargetDatabase.empty()) item.target = SmlTarget{mTargetDatabase, std::nullopt, std::nullopt};
  if (!mSourceDatabase.empty()) item.source = SmlSource{mSourceDatabase, std::nullopt};
  alert.items.push_back(std::move(item));
  if (!AddAnswer(alert)) LogError("myHandleEndMessage", "SyncML Alert error");
}

SmlRet CSyncML::myHandleStartSync(const SmlSync& sync) {
  OperationLog log("myHandleStartSync");
  Status(TextOf(sync.cmdId), "Sync", 200);
  return HandlerResult();
}

SmlRet CSyncML::myHandleEndSync() {
  OperationLog log("myHandleEndSync");
  return HandlerResult();
}

SmlRet CSyncML::myHandleMapCmd(const SmlMap&) {
  OperationLog log("myHandleMapCmd");
  return HandlerResult();
}

SmlRet CSyncML::myHandlePutCmd(const SmlPut& put) {
  OperationLog log("myHandlePutCmd");
  Status(put.cmdId, "Put", 200);
  // A server's Put of its own device information names it.
  for (const SmlItem& item : put.items) {
    if (const SmlDevInf* devInf = item.data.DevInf()) KeepServerName(*devInf);
  }
  return HandlerResult();
}

SmlRet CSyncML::myHandleGetCmd(const SmlGet& get) {
  OperationLog log("myHandleGetCmd");
  Status(get.cmdId, "Get", 200);
  AnswerDevInfRequest(get);
  return HandlerResult();
}

// A server that asks for the client's device information gets it in a Results.
void CSyncML::AnswerDevInfRequest(const SmlGet& get) {
  for (const SmlItem& item : get.items) {
    const std::string* uri = TargetUri(item);
    if (uri == nullptr || (*uri != kDevInf11Uri && *uri != kDevInf12Uri)) continue;
    SmlResults results;
    results.cmdId = std::to_string(mCommandCounter);
    results.msgRef = mServerMsgId;
    results.cmdRef = get.cmdId;
    SmlMetInf meta;
    meta.type = kDevInfType;
    results.meta = SmlPcdata::Of(std::move(meta));
    SmlItem answer;
    answer.source = SmlSource{*uri, std::nullopt};
    answer.data = SmlPcdata::Of(mSettings.clientDevInf);
    results.items.push_back(std::move(answer));
    if (AddAnswer(results)) mFinished = false;
    return;
  }
}

// ---- Alerts

// Every server Alert is answered: a server that gets no Status for its Alert takes the session as
// failed and forces a slow sync on the next one.
SmlRet CSyncML::myHandleAlertCmd(const SmlAlert& alert) {
  static constexpr const char* kOperation = "myHandleAlertCmd";
  OperationLog log(kOperation);
  const SmlItem* item = alert.items.empty() ? nullptr : &alert.items.front();
  const auto itemUri = [](const auto& part) { return part && part->locUri ? part->locUri : std::nullopt; };
  if (!alert.noResp) {
    Status(alert.cmdId, "Alert", 200, item ? itemUri(item->source) : std::nullopt, item ? itemUri(item->target) : std::nullopt);
  }
  const std::string code = TextOf(alert.data);
  if (code == "100") {
    const std::string text = item ? TextOf(item->data) : std::string();
    LogError(kOperation, "status 100: " + text);
    SetErrorState(SYNC_ERROR_DISPLAY_ALERT);
  } else if (code == "201") {
    LogDebug(kOperation, "request for a SLOW SYNC");
    SetErrorState(SYNC_ERROR_SLOW_REQUESTED);
  }
  return HandlerResult();
}

// ---- Server items

// Upload to the server only, or a session ending without items: the server's changes must not
// reach the store, even when the server turned the one-way Alert into a two-way sync.
bool CSyncML::RefusesServerChanges(const SmlItemCommand& command, const char* name) {
  if (mSyncMode != 2 && !mRefusingItems) return false;
  LogError(name, mRefusingItems ? "Session ending without items: the server's change is not applied"
                                : "Upload only: the server's change is not applied");
  for (std::size_t i = 0; i < std::max<std::size_t>(command.items.size(), 1); ++i) Status(command.cmdId, name, 405);
  return true;
}

SmlRet CSyncML::myHandleAddCmd(const SmlAdd& add) {
  OperationLog log(kAddOperation);
  if (RefusesServerChanges(add, "Add")) return HandlerResult();
  if (add.items.empty()) {
    LogError(kAddOperation, "Protocol error: the ADD command MUST contain some data!");
    Status(add.cmdId, "Add", kStatusFailed);
  }
  for (const SmlItem& item : add.items) {
    std::string localId;
    int status = kStatusFailed;
    try {
      if (!HasRoomForAnswers(item)) return SML_ERR_BUFFER_FULL;
      status = AddServerItem(add, item, localId);
    } catch (const CAutomationException& error) {
      LogAutomationError(kAddOperation, error);
      NoteRefusedByClient(item.source && item.source->locUri ? *item.source->locUri : std::string(), "Add", kStatusFailed);
      break;
    }
    Status(add.cmdId, "Add", status);
    if (status == 201) {
      Map(localId, *item.source->locUri);
      ++mServerAdditions;
    } else {
      NoteRefusedByClient(item.source && item.source->locUri ? *item.source->locUri : std::string(), "Add", status);
    }
  }
  return HandlerResult();
}

int CSyncML::AddServerItem(const SmlItemCommand& add, const SmlItem& item, std::string& localId) {
  if (!item.data.IsPresent()) {
    LogError(kAddOperation, "Protocol error: the ADD command MUST contain DATA tag!");
    return kStatusFailed;
  }
  if (!item.source || !item.source->locUri) {
    LogError(kAddOperation, "Protocol error: the ADD command MUST contain SOURCE tag!");
    return kStatusFailed;
  }
  const SmlPcdata& meta = ItemMeta(add, item);
  const std::string contentType = ContentTypeOf(meta);
  if (contentType.empty()) LogError(kAddOperation, "Protocol error: the ADD command MUST contain META tag!");
  if (!meta.IsPresent()) return kStatusFailed;
  const std::string& serverId = *item.source->locUri;
  const std::string text = WithLfLineEnds(TextOf(item.data));
  if (StartsWith(text, "BEGIN:VCARD")) {
    const PVCardPtr card = Zep3_PVCard_FromStream(mVCardContext.get(), text);
    if (!card) {
      LogError(kAddOperation, "Zep3_PVCard_FromStream error");
      return kStatusFailed;
    }
    if (mSink == nullptr || !mSink->AddContact(*card, serverId, contentType, localId)) {
      LogError(kAddOperation, "Error adding entry to WAB:" + localId);
      return kStatusFailed;
    }
    mSink->KeepServerText(localId, TextOf(item.data));
    return 201;
  }
  if (StartsWith(text, "BEGIN:VCALENDAR")) {
    if (mSink == nullptr || !mSink->AddCalendarItem(text, serverId, localId)) {
      LogError(kAddOperation, "Error adding entry to CAL:" + localId);
      return kStatusFailed;
    }
    mSink->KeepServerText(localId, TextOf(item.data));
    return 201;
  }
  return kStatusFailed;
}

SmlRet CSyncML::myHandleReplaceCmd(const SmlReplace& replace) {
  OperationLog log(kReplaceOperation);
  if (RefusesServerChanges(replace, "Replace")) return HandlerResult();
  if (replace.items.empty()) {
    LogError(kReplaceOperation, "Protocol error: the REPLACE command MUST contain some data!");
    Status(replace.cmdId, "Replace", kStatusFailed);
  }
  for (const SmlItem& item : replace.items) {
    int status = kStatusFailed;
    const std::string target = TargetUri(item) != nullptr ? *TargetUri(item) : std::string();
    try {
      if (!HasRoomForAnswers(item)) return SML_ERR_BUFFER_FULL;
      status = ReplaceServerItem(replace, item);
    } catch (const CAutomationException& error) {
      LogAutomationError(kReplaceOperation, error);
      NoteRefusedByClient(target, "Replace", kStatusFailed);
      break;
    }
    Status(replace.cmdId, "Replace", status);
    for (const ItemToSend& answer : std::exchange(mSendAfterStatus, {})) {
      if (answer.add) {
        Add(answer.id, answer.text, answer.contentType);
      } else {
        Replace(answer.id, answer.text, answer.contentType);
      }
    }
    // 209: written, and the local version kept as a new item; 208: the local version stays.
    if (status == 200 || status == 209) {
      ++mServerReplacements;
    } else if (status != 208) {
      NoteRefusedByClient(target, "Replace", status);
    }
  }
  return HandlerResult();
}

int CSyncML::ReplaceServerItem(const SmlItemCommand& replace, const SmlItem& item) {
  if (!item.data.IsPresent()) {
    LogError(kReplaceOperation, "Protocol error: the REPLACE command MUST contain DATA tag!");
    return kStatusFailed;
  }
  const SmlPcdata& meta = ItemMeta(replace, item);
  if (!meta.IsPresent()) {
    LogError(kReplaceOperation, "Protocol error: the REPLACE command MUST contain META tag!");
    return kStatusFailed;
  }
  if (TargetUri(item) == nullptr) {
    LogError(kReplaceOperation, "Protocol error: the REPLACE command MUST specify a TARGET tag!");
    return kStatusFailed;
  }
  const std::string contentType = ContentTypeOf(meta);
  if (contentType.empty()) LogError(kReplaceOperation, "Protocol error: the REPLACE command MUST contain META tag!");
  std::string localId = *TargetUri(item);
  const std::string received = TextOf(item.data);
  const std::string text = WithLfLineEnds(received);
  const auto write = [&] { return WriteServerItem(text, received, contentType, localId); };
  if (StartsWith(text, "BEGIN:VCARD") || StartsWith(text, "BEGIN:VCALENDAR")) {
    if (std::optional<PendingConflicts::Conflict> conflict = mConflicts.Take(localId)) return SettleConflict(*conflict, text, write);
  }
  return write();
}

int CSyncML::WriteServerItem(const std::string& text, const std::string& received, const std::string& contentType,
                             std::string& localId) {
  if (StartsWith(text, "BEGIN:VCARD")) {
    const PVCardPtr card = Zep3_PVCard_FromStream(mVCardContext.get(), text);
    if (!card) {
      LogError(kReplaceOperation, "Zep3_PVCard_FromStream error");
      return kStatusFailed;
    }
    const ContactWrite written = mSink == nullptr ? ContactWrite::Failed : mSink->ReplaceContact(*card, contentType, localId);
    if (written == ContactWrite::Failed) {
      LogError(kReplaceOperation, "Error updating entry to WAB:" + localId);
      return kStatusFailed;
    }
    mSink->KeepServerText(localId, received);
    // The store completed the name the card lacked: the server gets the item as stored.
    if (written == ContactWrite::NameCompleted) SendStoredItemBack(localId);
    return 200;
  }
  if (StartsWith(text, "BEGIN:VCALENDAR")) {
    if (mSink == nullptr || !mSink->ReplaceCalendarItem(text, localId)) {
      LogError(kReplaceOperation, "Error updating entry to CAL:" + localId);
      return kStatusFailed;
    }
    mSink->KeepServerText(localId, received);
    return 200;
  }
  return kStatusFailed;
}

void CSyncML::SendStoredItemBack(const std::string& localId) {
  const CDataItem::Ptr record = mSink->StoredItem(localId);
  if (record) Replace(localId, mSink->ItemText(*record, mTextOptions), record->ContentTypeOf(mTextOptions));
}

SmlRet CSyncML::myHandleDeleteCmd(const SmlDelete& del) {
  OperationLog log(kDeleteOperation);
  if (RefusesServerChanges(del, "Delete")) return HandlerResult();
  for (const SmlItem& item : del.items) {
    const std::string* target = TargetUri(item);
    int status = kStatusFailed;
    if (!HasRoomForAnswers(item)) return SML_ERR_BUFFER_FULL;
    try {
      // A Delete needs no Meta (servers send none). An item the store does not hold is gone
      // already: 211, not a failure.
      if (target == nullptr) {
        LogError(kDeleteOperation, "Protocol error: the DELETE command MUST specify a TARGET URI !");
      } else if (mSink != nullptr) {
        switch (mSink->RemoveItem(*target)) {
          case ItemRemoval::Removed:
            status = 210;
            ++mServerDeletions;
            break;
          case ItemRemoval::NotHeld:
            LogDebug(kDeleteOperation, "Item not held: " + *target);
            status = 211;
            break;
          case ItemRemoval::Failed:
            break;
        }
      }
    } catch (const CAutomationException& error) {
      LogAutomationError(kDeleteOperation, error);
      NoteRefusedByClient(target ? *target : std::string(), "Delete", kStatusFailed);
      break;
    }
    Status(del.cmdId, "Delete", status, std::nullopt, target ? std::optional<std::string>(*target) : std::nullopt);
    if (status >= 400) NoteRefusedByClient(target ? *target : std::string(), "Delete", status);
  }
  return HandlerResult();
}

// ---- Statuses of the server about the client's commands

SmlRet CSyncML::myHandleStatusCmd(const SmlStatus& status) {
  OperationLog log(kStatusOperation);
  const std::string& cmd = status.cmd;
  const std::string code = TextOf(status.data);
  if (IsItemCommand(cmd)) NoteAnswered(status);
  if (IsItemCommand(cmd) && !IsAboutTheSession(code)) {
    HandleItemStatus(status, code);
  } else if (code == "400") {
    SetErrorState(SYNC_ERROR_BAD_REQUEST);
  } else if (code == "403") {
    SetErrorState(SYNC_ERROR_FORBIDDEN);
  } else if (code == "404") {
    SetErrorState(SYNC_ERROR_NOT_FOUND);
  } else if (code == "409") {
    if (cmd == "Replace") NoteConflict(status);
  } else if (code == "406" && cmd == "Alert" && !mFilterStartDate.empty()) {
    // Filters are optional for a server (some refuse them with "optional feature not supported").
    LogError(kStatusOperation, "the server refused the date filter of the Alert");
    SetErrorState(SYNC_ERROR_FILTER_REFUSED);
  } else if (code == "417") {
    SetErrorState(SYNC_ERROR_IN_PROGRESS);
  } else if (code == "420") {
    SetErrorState(SYNC_ERROR_STORE_FULL);
  } else if (code == "503") {
    SetErrorState(SYNC_ERROR_UNAVAILABLE);
  } else if (code == "508") {
    LogDebug(kStatusOperation, "request for a SLOW SYNC");
    SetErrorState(SYNC_ERROR_SLOW_REQUESTED);
  } else if (code == "510") {
    SetErrorState(SYNC_ERROR_SERVER_DATABASE);
  } else if (code == "513") {
    SetErrorState(SYNC_ERROR_VERSION);
  } else {
    DecideStatusByCommand(cmd, code);
  }
  return HandlerResult();
}

// The sent command a Status answers: by its MsgRef (the last message posted when it has none) and
// CmdRef, else the unanswered command of that name for the item its references name.
void CSyncML::NoteAnswered(const SmlStatus& status) {
  const std::string msgRef = TextOf(status.msgRef).empty() ? mPostedMsgId : TextOf(status.msgRef);
  if (const auto sent = mSentItems.find(msgRef + "/" + TextOf(status.cmdRef)); sent != mSentItems.end() && sent->second.command == status.cmd) {
    sent->second.answered = true;
    return;
  }
  for (auto& entry : mSentItems) {
    SentItem& sent = entry.second;
    if (sent.answered || sent.command != status.cmd) continue;
    const std::string& id = sent.localId;
    const auto names = [&id](const std::vector<std::string>& refs) { return std::find(refs.begin(), refs.end(), id) != refs.end(); };
    if (names(status.sourceRefs) || names(status.targetRefs)) {
      sent.answered = true;
      return;
    }
  }
}

void CSyncML::FailUnansweredItems() {
  // An item sent again (a slow sync the server asked for re-sends everything) needs one answer.
  std::map<std::string, std::size_t> lastAnswered;
  for (const auto& [key, sent] : mSentItems) {
    if (sent.answered) lastAnswered[sent.localId] = std::max(lastAnswered[sent.localId], sent.sequence + 1);
  }
  std::vector<const SentItem*> unanswered;
  for (auto& [key, sent] : mSentItems) {
    if (sent.answered) continue;
    sent.answered = true;
    if (lastAnswered[sent.localId] > sent.sequence) continue;
    unanswered.push_back(&sent);
  }
  std::sort(unanswered.begin(), unanswered.end(), [](const SentItem* a, const SentItem* b) { return a->sequence < b->sequence; });
  for (const SentItem* sent : unanswered) {
    LogError(kStatusOperation, sent->command + " never answered by the server: " + sent->localId);
    mItemFailures.push_back(ItemFailure{true, sent->localId, sent->command, 0});
  }
}

bool CSyncML::IsItemCommand(const std::string& cmd) { return cmd == "Add" || cmd == "Replace" || cmd == "Delete"; }

bool CSyncML::IsAboutTheSession(const std::string& code) {
  static constexpr const char* kAboutTheSession[] = {"401", "407", "417", "420", "503", "508", "510", "513"};
  for (const char* session : kAboutTheSession) {
    if (code == session) return true;
  }
  return false;
}

// A status for one of the client's items: accepted, a conflict, or a refusal of that item alone
// (any other 4xx or 5xx); a Delete of an item the server does not hold (404) leaves what was
// wanted, and one it failed to carry out (500) is retried like any refused item.
void CSyncML::HandleItemStatus(const SmlStatus& status, const std::string& code) {
  const std::string& cmd = status.cmd;
  if (code == "409") {
    if (cmd == "Replace") NoteConflict(status);
  } else if (cmd == "Delete" && code == "404") {
    LogDebug(kStatusOperation, "Delete of an item the server does not hold");
  } else if (code != "418" && code != "419" && code.size() == 3 && (code[0] == '4' || code[0] == '5')) {
    NoteRefusedByServer(status, std::atoi(code.c_str()));
  } else {
    DecideStatusByCommand(cmd, code);
  }
}

// The item stays a pending change of the client: the driver keeps it out of the saved index (or
// keeps its previous record there), so the next run sends it once more.
void CSyncML::NoteRefusedByServer(const SmlStatus& status, int code) {
  std::string localId;
  if (const auto sent = mSentItems.find(TextOf(status.msgRef) + "/" + TextOf(status.cmdRef)); sent != mSentItems.end()) {
    localId = sent->second.localId;
  } else if (!status.sourceRefs.empty()) {
    localId = status.sourceRefs.front();
  } else if (!status.targetRefs.empty()) {
    localId = status.targetRefs.front();
  }
  LogError(kStatusOperation, status.cmd + " refused by the server (" + std::to_string(code) + "): " + localId);
  mItemFailures.push_back(ItemFailure{true, localId, status.cmd, code});
}

void CSyncML::NoteRefusedByClient(const std::string& id, const std::string& command, int code) {
  LogError(kStatusOperation, "Server " + command + " refused (" + std::to_string(code) + "): " + id);
  mItemFailures.push_back(ItemFailure{false, id, command, code});
}

void CSyncML::DecideStatusByCommand(const std::string& cmd, const std::string& code) {
  if (cmd == "SyncHdr") {
    if (code == "212" || code == "200") {
      LogDebug(kStatusOperation, "authenticated");
    } else if (code == "402") {
      SetErrorState(SYNC_ERROR_PAYMENT);
    } else {
      LogError(kStatusOperation, "authentication error");
      SetErrorState(SYNC_ERROR_AUTHENTICATION);
    }
  } else if (cmd == "Add") {
    if (code == "201" || code == "200" || code == "418" || code == "208") return;
    LogError(kStatusOperation, "Add error on the server: " + code);
    SetErrorState(SYNC_ERROR_ADD);
  } else if (cmd == "Replace") {
    if (code == "201" || code == "200" || code == "208") return;
    LogError(kStatusOperation, "Replace error on the server: " + code);
    SetErrorState(SYNC_ERROR_REPLACE);
  } else if (cmd == "Delete") {
    if (code == "210" || code == "211" || code == "200") return;
    if (code == "419") {
      LogDebug(kStatusOperation, "Delete conflict on the server: server won");
      return;
    }
    LogError(kStatusOperation, "Delete error on the server: " + code);
    SetErrorState(SYNC_ERROR_DELETE);
  }
}

// ---- Device information

// Only a session that asked for the server's databases keeps the device information of a Results
// (the caller rebuilds the links from it): a Results arriving during a link's sync must not change
// the links the driver is walking.
SmlRet CSyncML::myHandleResultsCmd(const SmlResults& results) {
  static constexpr const char* kOperation = "myHandleResultsCmd";
  OperationLog log(kOperation);
  const SmlDevInf* devInf = results.items.empty() ? nullptr : results.items.front().data.DevInf();
  if (devInf != nullptr) KeepServerName(*devInf);
  if (!mDatabasesRequested) {
    LogDebug(kOperation, "Results not asked for, links unchanged");
  } else if (devInf == nullptr) {
    LogError(kOperation, "Results without device information, links unchanged");
  } else {
    mServerDevInf = *devInf;
    LogDebug(kOperation, "Server databases");
    LogDebug(kOperation, static_cast<long long>(devInf->dataStores.size()));
  }
  return HandlerResult();
}
