// Fuzz target: arbitrary reply bytes fed to a whole SyncML session with every reply handler
// running against an in-memory store, without any I/O. The input is split at NUL bytes into the
// replies of one session; before each reply the client writes its next message (the first with
// the Alert and local changes), as the sync driver does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/CXException.h"
#include "common/Prompt.h"
#include "pim/CDataItem.h"
#include "pim/PVCard.h"
#include "pim/VCalMerge.h"
#include "pim/VCardMerge.h"
#include "syncml/CSyncML.h"
#include "syncml/ItemSink.h"

namespace {

constexpr std::size_t kMaxInput = 1 << 20;
constexpr int kMaxReplies = 8;

// Keeps what the server writes; hands records back for conflicts and names completed.
class MemorySink final : public ItemSink {
 public:
  bool AddContact(PVCard&, const std::string& serverId, const std::string&, std::string& localId) override {
    localId = "local-" + std::to_string(++mNext);
    return Keep(localId, ITEM_CONTACT, serverId);
  }
  ContactWrite ReplaceContact(PVCard&, const std::string&, std::string& localId) override {
    if (localId.empty()) localId = "local-" + std::to_string(++mNext);
    Keep(localId, ITEM_CONTACT, "");
    return mNext % 2 == 0 ? ContactWrite::NameCompleted : ContactWrite::Written;
  }
  bool AddCalendarItem(const std::string&, const std::string& serverId, std::string& localId) override {
    localId = "local-" + std::to_string(++mNext);
    return Keep(localId, ITEM_EVENT, serverId);
  }
  bool ReplaceCalendarItem(const std::string&, std::string& localId) override {
    if (localId.empty()) localId = "local-" + std::to_string(++mNext);
    return Keep(localId, ITEM_EVENT, "");
  }
  ItemRemoval RemoveItem(const std::string& localId) override {
    return mItems.erase(localId) != 0 ? ItemRemoval::Removed : ItemRemoval::NotHeld;
  }
  CDataItem::Ptr StoredItem(const std::string& localId) override {
    const auto found = mItems.find(localId);
    return found == mItems.end() ? nullptr : found->second;
  }
  // Items sent back are merged into the server's text, as the driver's sink does.
  std::string ItemText(const CDataItem& record, const ItemTextOptions& options) override {
    const auto kept = mTexts.find(record.itemId);
    if (kept == mTexts.end()) return record.ToText(options);
    return record.kind == ITEM_CONTACT ? MergeContactText(kept->second, record) : MergeCalendarText(kept->second, record, options);
  }
  void KeepServerText(const std::string& localId, const std::string& text) override { mTexts[localId] = text; }
  bool AddLocalCopy(const CDataItem& record, std::string& localId) override {
    localId = "local-" + std::to_string(++mNext);
    return Keep(localId, static_cast<ItemKind>(record.kind), record.Property("PR_DISPLAY_NAME"));
  }

 private:
  bool Keep(const std::string& localId, ItemKind kind, const std::string& name) {
    CDataItem::Ptr record = CDataItem::Create(kind);
    record->itemId = localId;
    (*record)["PR_ENTRYID"] = localId;
    (*record)["PR_DISPLAY_NAME"] = name;
    mItems[localId] = record;
    return true;
  }

  std::map<std::string, CDataItem::Ptr> mItems;
  std::map<std::string, std::string> mTexts;
  long mNext = 0;
};

// Every question gets an answer that makes the handlers write the most: keep both values.
class BothPrompt final : public Prompt {
 public:
  PromptAnswer Message(std::string_view, PromptButtons buttons, PromptKind) override { return SafeDefaultAnswer(buttons); }
  bool AskLogin(LoginRequest&) override { return false; }
};

SessionSettings FuzzSettings() {
  SessionSettings settings;
  settings.serverUrl = "http://sync.example.test/";
  settings.postUrl = "http://sync.example.test/cgi-bin/vudireravaz";
  settings.login = "user";
  settings.password = "secret";
  settings.clientStoreId = "fuzz-client";
  settings.productVersion = "1.0";
  settings.maxMsgSize = 4096;
  settings.clientDevInf.verDtd = "1.1";
  settings.clientDevInf.devId = "fuzz-client";
  settings.clientDevInf.utc = true;
  // Room for the largest input and its answers; small enough that a reply full of items meets
  // the check that their answers still fit.
  settings.workspaceSize = std::size_t{2} << 20;
  return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  MemorySink sink;
  BothPrompt prompt;
  SessionServices services;
  services.sink = &sink;
  services.prompt = &prompt;
  // The first byte chooses the session's mode and whether it is a slow sync.
  const int mode = size > 0 ? static_cast<unsigned char>(input[0]) % 3 : 0;
  try {
    CSyncML session(FuzzSettings(), std::move(services), 7);
    session.SetTargetDatabase("./contacts");
    session.SetSourceDatabase("Contacts");
    session.SetSyncMode(mode);
    session.SetFilterStartDate(mode == 2 ? "20260101" : "");
    if (size > 0 && (input[0] & 0x10) != 0) session.SetErrorState(SYNC_ERROR_SLOW_SYNC);
    std::size_t start = 0;
    for (int reply = 0; reply < kMaxReplies && start <= input.size(); ++reply) {
      const std::size_t end = std::min(input.find('\0', start), input.size());
      session.StartMessage(false);
      session.Alert("", "");
      if (reply == 0) {
        session.StartSync();
        session.Add("local-a", "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:A\r\nEND:VCARD\r\n", "text/x-vcard");
        session.Replace("local-b", "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:B\r\nEND:VCARD\r\n", "text/x-vcard");
        session.Delete("local-c");
      }
      session.Finalize();
      session.SetReceivedMessage(std::string(input.substr(start, end - start)));
      session.Parse();
      if (session.IsFinished() || !IsErrorFree(session.GetErrorState())) break;
      start = end + 1;
    }
  } catch (const CXException&) {
    // A reply the session refuses fails the link with a message: the outcome wanted here.
  }
  return 0;
}
