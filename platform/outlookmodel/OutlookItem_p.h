// Internal: the item objects (mail, contact, task, distribution list; appointments derive from
// OutlookItem in OutlookAppointment_p.h). An item object holds its own copy of the item: puts
// change only that copy, and Save writes it to the profile in one transaction.
#pragma once

#include <memory>
#include <vector>

#include "platform/outlookmodel/ModelSession_p.h"

namespace outlookmodel {

class OutlookItem : public Dispatch, public std::enable_shared_from_this<OutlookItem> {
 public:
  OutlookItem(std::shared_ptr<ModelSession> session, ItemKind kind, ItemRecord record);
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

  ItemKind Kind() const { return mKind; }
  ModelSession& Session() { return *mSession; }
  const std::shared_ptr<ModelSession>& SessionPtr() const { return mSession; }
  // The item's recipients (attendees, list members, mail recipients), edited in place by the
  // Recipients collection and written with the item.
  std::vector<std::shared_ptr<RecipientData>>& RecipientList() { return mRecipients; }
  // The folder the item is in, or goes to when saved.
  int64_t FolderId();
  int64_t StoreId();

 protected:
  // A subclass's own members; true when `id` was handled.
  virtual bool InvokeOwn(DispId id, InvokeKind kind, const std::vector<Variant>& args, Variant& result);
  // Dates are shown in the machine's local time: one stored as an instant (see InstantNames) is
  // converted from UTC, and a date put is stored as an instant when StoresInstant says so.
  virtual Variant ReadStored(const PropertyDef& property);
  virtual void WriteStored(const PropertyDef& property, const Variant& value);
  virtual bool StoresInstant(const PropertyDef& property, double date);
  virtual void Save();
  virtual void Delete();
  // Completes and checks the item just before it is written.
  virtual void PrepareSave() {}
  virtual std::string EntryId() { return mRecord.entryId; }
  virtual double LastModificationTime() { return mRecord.lastModified; }

  void RequireAlive() const;
  Variant StoredValue(const char* name);
  std::vector<RecipientData> RecipientValues() const;
  void SetRecipientValues(const std::vector<RecipientData>& recipients);
  void PutMessageClass(const Variant& value);

  std::shared_ptr<ModelSession> mSession;
  ItemKind mKind;
  ItemRecord mRecord;
  double mLoadedStamp;
  std::vector<std::shared_ptr<RecipientData>> mRecipients;
  bool mDeleted = false;
};

// A contact: FileAs defaults to "LastName, FirstName" (or the company) when saved without one.
class OutlookContact : public OutlookItem {
 public:
  using OutlookItem::OutlookItem;

 protected:
  void PrepareSave() override;
};

// A distribution list: members are recipients resolved against the contacts of its store; a
// member that is a contact has the entry identifier kContactReferencePrefix + contact EntryID.
class OutlookDistList : public OutlookItem {
 public:
  using OutlookItem::OutlookItem;

 protected:
  bool InvokeOwn(DispId id, InvokeKind kind, const std::vector<Variant>& args, Variant& result) override;

 private:
  void AddMembers(const Variant& recipients);
  void RemoveMembers(const Variant& recipients);
};

// Texts of the recipients in a Recipients object (any Dispatch answering Count, Item and Name).
std::vector<std::string> RecipientNames(const Variant& recipients);

}  // namespace outlookmodel
