// The Windows Contacts store: the local store interface over the personal address book.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/wab/WabApi.h"
#include "platform/wab/WabConnection.h"
#include "platform/wab/WabPtr.h"
#include "stores/CDatabaseObject.h"

class Prompt;
class WabPropertyArray;

// One store, one folder, contacts only: every contact of the personal address book becomes a
// record keyed by the identifier the store keeps in the contact itself (PR_ZEP_ENTRYID, made
// and saved the first time a contact is read); distribution lists are neither read nor written.
//
// Opening (the constructor) never throws: the library setting, the library, its entry point,
// WABOpen, the personal address book and its container are tried in turn, and the first step
// that fails leaves mInitError at the string id of its message (125, 140, 113, 141, 151, 152).
// Read and write failures set mInitError to the message of the failing step (124, 144, 145, 146,
// 147, 149), formatted with the result code when reported.
//
// Ownership: the store owns the connection (library, allocator, address book and container,
// released in that reverse order on destruction) and the map of identifiers to binary entry
// identifiers. `conf` and `prompt` (the e-mail type question) are not owned and outlive the store.
// Used on one thread at a time.
class OutlookExpress : public CDatabaseObject {
 public:
  // Seconds since 1970, the time part of new identifiers.
  using Clock = std::function<long long()>;
  using Bytes = std::vector<BYTE>;

  // `options` can name another library or book file (tools, tests); `clock` defaults to the
  // system's time.
  OutlookExpress(CConf& conf, Prompt& prompt, const WabOpenOptions& options = {}, Clock clock = {});
  ~OutlookExpress() override;

  bool SetCurrentFolder(SyncDataType dataType, const std::string& folderEntryId, const std::string& storeId) override;
  StoreContentKind GetContentKind() override;
  bool ItemExists(const std::string& entryId) override;
  int32_t AddAddressBookItem(PVCard& card, std::string& newEntryId, const std::string& serverId,
                             const std::string& contentType) override;
  int32_t UpdateAddressBookItem(PVCard& card, std::string& entryId, const std::string& serverId,
                                const std::string& contentType, StoreWriteStatus& writeStatus) override;
  int32_t AddCalendarItem(const std::string& vcalendarText, std::string& entryId) override;
  bool RemoveItem(const std::string& entryId) override;

  // Reads every contact of the book into mCurrentItems, which the caller has emptied (LoadContent
  // then loads the saved index). An empty book is no error. kStoreOk, or the failing result
  // code (kStoreFail when no book is open) with the error logged.
  int32_t LoadAddressBook();
  // The binary entry identifier of a contact read or written in this run, or null.
  const Bytes* BinaryEntryId(const std::string& entryId) const;

 protected:
  int32_t ReadCurrentFolder() override { return LoadAddressBook(); }

 private:
  void ReportOpenFailure();
  // With `mayMakeIdentifier` false, an entry that needs a new identifier is left unread (`record`
  // stays empty) so that it can be read once every identifier the book holds is known.
  HRESULT ReadMapiEntry(const SBinary& entryId, CDataItem::Ptr& record, bool mayMakeIdentifier = true);
  HRESULT OpenContact(const SBinary& entryId, WabRef<IMAPIProp>& entry);
  HRESULT GetAllProps(IMAPIProp* entry, WabBuffer<SPropValue>& values, ULONG& count);
  // The PR_ZEP_ENTRYID of an entry whose properties are `values`: kept when it is set and no
  // other entry read in this run has it, else made and saved into the entry (`saved` true).
  // With `mayMake` false, `identifier` comes back empty where a new one would be made.
  HRESULT EnsureIdentifier(IMAPIProp* entry, const SBinary& entryId, const SPropValue* values, ULONG count,
                           std::string& identifier, bool& saved, bool mayMake = true);
  // Saves `entry` after a property write that gave `written`; a failure of either step leaves
  // its message id in mInitError.
  HRESULT SaveAfterWrite(IMAPIProp* entry, HRESULT written);
  // Types the entry's e-mail addresses; writes the typed list back and saves when it changed.
  HRESULT ResolveEmailAddresses(IMAPIProp* entry, const SPropValue* values, ULONG count, bool& saved);
  CDataItem::Ptr RecordOf(const std::string& identifier, const SPropValue* values, ULONG count);
  std::string MemberIdentifier(const SBinary& memberEntryId);

  bool Pvcard2Contact(const PVCard& card, const std::string& identifier, WabPropertyArray& properties);
  HRESULT AddMapiPropEntry(const std::string& identifier, WabPropertyArray& properties);
  HRESULT UpdateMapiPropEntry(const std::string& identifier, WabPropertyArray& properties);
  HRESULT GetOutlookExpressTemplateId(ULONG kind, Bytes& templateId);
  HRESULT CleanContact(IMAPIProp* entry);
  HRESULT WriteAndSave(IMAPIProp* entry, WabPropertyArray& properties, const char* operation);
  // Brings the record of the saved `entry` in mCurrentItems up to date with what the book holds.
  HRESULT RefreshRecord(const std::string& identifier, IMAPIProp* entry, const char* operation);

  std::string NewEntryIdentifier();
  bool IdentifierInUse(const std::string& identifier) const;
  void ClearEntryIdMap();

  Prompt& mPrompt;
  // Owns the library and the objects below; declared before them.
  WabConnection mConnection;
  IWABObject* mWabObject = nullptr;
  IAddrBook* mWabAbook = nullptr;
  IABContainer* mWabContainer = nullptr;
  // Identifier (PR_ZEP_ENTRYID) -> binary entry identifier.
  std::unordered_map<std::string, Bytes> mEntryIds;
  Bytes mContactTemplate;
  Clock mClock;
  int mIdentifierCounter = 0;
};
