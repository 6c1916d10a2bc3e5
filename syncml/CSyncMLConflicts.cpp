// Conflicts of the session: an item the client changed that the server changed too (409 on the
// client's Replace), settled as the configuration or the user decides.
#include <string>

#include "common/CXException.h"
#include "common/Prompt.h"
#include "config/CLog.h"
#include "pim/ItemDifferences.h"
#include "syncml/CSyncML.h"
#include "syncml/CSyncML_p.h"
#include "syncml/ItemSink.h"

namespace {

constexpr const char* kOperation = "myHandleStatusCmd";

constexpr int kStatusClientWins = 208;
constexpr int kStatusDuplicated = 209;
constexpr int kStatusServerWins = 419;
constexpr int kStatusFailed = 500;

ConflictItemKind KindOf(const CDataItem& record) {
  switch (record.kind) {
    case ITEM_EVENT:
      return ConflictItemKind::Event;
    case ITEM_TASK:
      return ConflictItemKind::Task;
    default:
      return ConflictItemKind::Contact;
  }
}

// "https://user@sync.example.org:8443/path" gives "sync.example.org".
std::string HostOf(const std::string& url) {
  std::size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  std::size_t end = url.find_first_of("/?#", start);
  std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (const std::size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
  if (!authority.empty() && authority.front() == '[') return authority.substr(0, authority.find(']') + 1);
  return authority.substr(0, authority.find(':'));
}

}  // namespace

void CSyncML::KeepServerName(const SmlDevInf& devInf) {
  const std::string modelText = TextOf(devInf.mod);
  const std::string makerText = TextOf(devInf.man);
  const std::string model(TrimBlanks(modelText));
  const std::string maker(TrimBlanks(makerText));
  if (!model.empty() || !maker.empty()) mServerName = model.empty() ? maker : model;
}

std::string CSyncML::ServerName() const { return mServerName.empty() ? HostOf(mSettings.serverUrl) : mServerName; }

// The server refused a Replace because its copy changed too. The item waits for the server's
// version; a conflict settled before in this session that comes back is the server refusing
// the answer: the item stays a pending change of the client.
void CSyncML::NoteConflict(const SmlStatus& status) {
  if (mSink == nullptr) return;
  const std::string localId = status.sourceRefs.empty() ? std::string() : status.sourceRefs.front();
  const std::string serverId = status.targetRefs.empty() ? std::string() : status.targetRefs.front();
  const CDataItem::Ptr record = mSink->StoredItem(localId);
  if (!record) return;
  if (mConflicts.Settled(localId)) {
    NoteRefusedByServer(status, 409);
    return;
  }
  LogDebug(kOperation, "Conflict on the server: " + localId);
  mConflicts.Add({localId, serverId, status.cmdId, std::make_shared<CDataItem>(*record)});
}

ConflictAnswer CSyncML::AskConflict(const PendingConflicts::Conflict& conflict, const CDataItem* serverVersion) {
  if (mAutoResolveConflicts || mSilent || mPrompt == nullptr) return ConflictAnswer::Both;
  const CDataItem& local = *conflict.local;
  ConflictQuestion question;
  question.kind = KindOf(local);
  question.displayName = local.Property(question.kind == ConflictItemKind::Contact ? "PR_DISPLAY_NAME" : "VC_SUMMARY");
  if (question.kind == ConflictItemKind::Contact) question.nickname = local.Property("PR_NICKNAME");
  question.serverName = ServerName();
  question.serverVersionKnown = serverVersion != nullptr;
  if (serverVersion != nullptr) question.fields = DifferingFields(local, *serverVersion);
  return mPrompt->AskConflict(question);
}

// The server's version is there: the answer is carried out here and told with the status of the
// server's Replace. Server: it is written. This computer: it is not written, and the local version
// goes to the server again. Both: the local version becomes a new item on both sides (a local copy
// sent as an Add), and the server's version is written over the original.
int CSyncML::SettleConflict(const PendingConflicts::Conflict& conflict, const std::string& text,
                            const std::function<int()>& writeServerVersion) {
  const CDataItem::Ptr serverVersion = RecordOfItemText(text);
  const ConflictAnswer answer = AskConflict(conflict, serverVersion.get());
  mConflicts.NoteSettled(conflict.localId);
  const CDataItem& local = *conflict.local;
  switch (answer) {
    case ConflictAnswer::Server:
      return writeServerVersion();
    case ConflictAnswer::Local:
      mSendAfterStatus.push_back({false, conflict.localId, mSink->ItemText(local, mTextOptions), local.ContentTypeOf(mTextOptions)});
      return kStatusClientWins;
    case ConflictAnswer::Both: {
      std::string copyId;
      if (!mSink->AddLocalCopy(local, copyId)) {
        LogError(kOperation, "The local copy of " + conflict.localId + " could not be made: both versions stay as they are");
        return kStatusFailed;
      }
      const int written = writeServerVersion();
      const CDataItem::Ptr copy = mSink->StoredItem(copyId);
      // The copy is a new item: it goes without the original's kept text (a contact gets a UID of its own).
      CDataItem sent = copy ? *copy : local;
      sent.itemId = copyId;
      mSendAfterStatus.push_back({true, copyId, mSink->ItemText(sent, mTextOptions), sent.ContentTypeOf(mTextOptions)});
      return written == 200 ? kStatusDuplicated : written;
    }
  }
  return kStatusFailed;
}

// The server's package ended without its version of the item: the answer goes to the server in the
// original protocol's requests (an Alert naming the item, a Status about the server's Status, the
// local version as a Replace), which a server of that protocol carries out itself.
void CSyncML::SettleWithoutServerVersion(const PendingConflicts::Conflict& conflict) {
  const ConflictAnswer answer = AskConflict(conflict, nullptr);
  mConflicts.NoteSettled(conflict.localId);
  const CDataItem& local = *conflict.local;
  try {
    switch (answer) {
      case ConflictAnswer::Both:
        Alert(conflict.localId, conflict.serverId);
        Status(conflict.statusCmdId, "Status", kStatusDuplicated, conflict.localId, conflict.serverId);
        Replace(conflict.localId, mSink->ItemText(local, mTextOptions), local.ContentTypeOf(mTextOptions));
        break;
      case ConflictAnswer::Server:
        Alert(conflict.localId, conflict.serverId);
        Status(conflict.statusCmdId, "Status", kStatusServerWins, conflict.localId, conflict.serverId);
        break;
      case ConflictAnswer::Local:
        Status(conflict.statusCmdId, "Status", kStatusClientWins, conflict.localId, std::nullopt);
        Replace(conflict.localId, mSink->ItemText(local, mTextOptions), local.ContentTypeOf(mTextOptions));
        break;
    }
  } catch (const CSyncmlException&) {
    LogError(kOperation, "SyncML Alert error");
  }
}
