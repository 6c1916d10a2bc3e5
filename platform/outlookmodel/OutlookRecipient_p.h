// Internal: Recipients, Recipient and AddressEntry, and the resolution of typed names against contacts.
#pragma once

#include <memory>

#include "platform/outlookmodel/OutlookItem_p.h"

namespace outlookmodel {

// A recipient (one entry of an item's recipient list, or a stand-alone one such as CurrentUser).
// The data is shared with the list, so changes through this object are part of the item.
class OutlookRecipient : public Dispatch {
 public:
  OutlookRecipient(std::shared_ptr<ModelSession> session, std::shared_ptr<RecipientData> data, Dispatch::Ptr parent,
                   bool readOnly)
      : mSession(std::move(session)), mData(std::move(data)), mParent(std::move(parent)), mReadOnly(readOnly) {}
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  std::shared_ptr<ModelSession> mSession;
  std::shared_ptr<RecipientData> mData;
  Dispatch::Ptr mParent;
  bool mReadOnly;
};

// The address entry of a recipient: its Name is the recipient's display name.
class OutlookAddressEntry : public Dispatch {
 public:
  OutlookAddressEntry(std::shared_ptr<RecipientData> data, bool readOnly) : mData(std::move(data)), mReadOnly(readOnly) {}
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  std::shared_ptr<RecipientData> mData;
  bool mReadOnly;
};

// The recipients of one item object, one-based.
class OutlookRecipients : public Dispatch {
 public:
  explicit OutlookRecipients(std::shared_ptr<OutlookItem> owner) : mOwner(std::move(owner)) {}
  Variant Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) override;

 private:
  std::shared_ptr<OutlookItem> mOwner;
};

// A recipient for the text typed as its name: a contact of `store` whose FileAs or e-mail address
// it is (preferring `folder`) becomes a reference to that contact; an e-mail address stays itself;
// anything else is an unresolved name (no address). `resolved` tells whether a contact was found.
RecipientData ResolveRecipient(ProfileStore& profile, int64_t store, int64_t folder, const std::string& text,
                               bool& resolved);

}  // namespace outlookmodel
