// Recipients, Recipient and AddressEntry.
#include "platform/outlookmodel/OutlookRecipient_p.h"

#include "platform/automation/OutlookDispIds.h"

namespace outlookmodel {

using DispatchArgs::PutValue;
using DispatchArgs::RequireCount;

RecipientData ResolveRecipient(ProfileStore& profile, int64_t store, int64_t folder, const std::string& text,
                               bool& resolved) {
  resolved = false;
  if (const std::optional<ContactMatch> contact = profile.FindContact(store, folder, text)) {
    resolved = true;
    return {contact->fileAs, contact->email, kContactReferencePrefix + contact->entryId, 1, 0};
  }
  if (text.find('@') != std::string::npos) return {text, text, "", 1, 0};
  return {text, "", "", 1, 0};
}

Variant OutlookRecipient::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (kind == InvokeKind::PropertyPut) {
    if (mReadOnly || (id != OutlookId::kMeetingResponseStatus && id != OutlookId::kRecipientType)) {
      ThrowMemberNotFound("Recipient", id);
    }
    (id == OutlookId::kRecipientType ? mData->type : mData->responseStatus) = PutValue(args).ToInt();
    return Variant();
  }
  RequireCount(args, 0, 0);
  switch (id) {
    case OutlookId::kName: return Variant(mData->name);
    case OutlookId::kAddress: return Variant(mData->address);
    case OutlookId::kEntryID: return Variant(mData->entryId);
    case OutlookId::kRecipientType: return Variant(mData->type);
    case OutlookId::kMeetingResponseStatus: return Variant(mData->responseStatus);
    case OutlookId::kAddressEntry: return Dispatch::Ptr(std::make_shared<OutlookAddressEntry>(mData, mReadOnly));
    case OutlookId::kClass: return Variant(int32_t{olRecipient});
    case OutlookId::kParent: return mParent;
    case OutlookId::kApplication: return mSession->MakeApplication();
    case OutlookId::kSession: return mSession->MakeNamespace();
    default: break;
  }
  ThrowMemberNotFound("Recipient", id);
}

Variant OutlookAddressEntry::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (kind == InvokeKind::PropertyPut) {
    if (mReadOnly || (id != OutlookId::kName && id != OutlookId::kAddress)) ThrowMemberNotFound("AddressEntry", id);
    (id == OutlookId::kName ? mData->name : mData->address) = PutValue(args).ToString();
    return Variant();
  }
  RequireCount(args, 0, 0);
  switch (id) {
    case OutlookId::kName: return Variant(mData->name);
    case OutlookId::kAddress: return Variant(mData->address);
    case OutlookId::kClass: return Variant(int32_t{olAddressEntry});
    default: break;
  }
  ThrowMemberNotFound("AddressEntry", id);
}

Variant OutlookRecipients::Invoke(DispId id, InvokeKind kind, const std::vector<Variant>& args) {
  if (!IsGetCall(kind)) ThrowMemberNotFound("Recipients", id);
  std::vector<std::shared_ptr<RecipientData>>& list = mOwner->RecipientList();
  const auto at = [&](const Variant& index) -> size_t {
    const int32_t position = index.ToInt();
    if (position < 1 || static_cast<size_t>(position) > list.size()) ThrowBadIndex();
    return static_cast<size_t>(position - 1);
  };
  switch (id) {
    case OutlookId::kCount: RequireCount(args, 0, 0); return Variant(static_cast<int32_t>(list.size()));
    case OutlookId::kItem:
      RequireCount(args, 1, 1);
      return Dispatch::Ptr(std::make_shared<OutlookRecipient>(mOwner->SessionPtr(), list[at(args[0])], mOwner, false));
    case OutlookId::kRecipientsAdd: {
      RequireCount(args, 1, 1);
      const std::string text = args[0].ToString();
      if (text.empty()) ThrowInvalidArgument();
      bool resolved = false;
      list.push_back(std::make_shared<RecipientData>(
          ResolveRecipient(mOwner->Session().Store(), mOwner->StoreId(), mOwner->FolderId(), text, resolved)));
      return Dispatch::Ptr(std::make_shared<OutlookRecipient>(mOwner->SessionPtr(), list.back(), mOwner, false));
    }
    case OutlookId::kRemove:
      RequireCount(args, 1, 1);
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(at(args[0])));
      return Variant();
    case OutlookId::kClass: RequireCount(args, 0, 0); return Variant(int32_t{olRecipients});
    case OutlookId::kParent: RequireCount(args, 0, 0); return Dispatch::Ptr(mOwner);
    default: break;
  }
  ThrowMemberNotFound("Recipients", id);
}

}  // namespace outlookmodel
